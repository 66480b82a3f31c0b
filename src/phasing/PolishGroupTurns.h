#pragma once

#include "pedigree/Pedigree.h"

#include <cstddef>

namespace tavirlen::polish {

// A move of the polishing pass over a few neighbouring loci: any group of
// members turns its allele orders there together (each member at the loci
// of the window where it is open, see turnTogether), everyone else held as
// they are. Where parents, children and grandchildren are heterozygous for
// the same two alleles, turning all of them keeps their sources among each
// other and changes only those of the relatives that are homozygous there;
// no smaller move does that.
//
// Every window of up to `widest` loci in which some side shows a change of
// source is tried. The group is found exactly: the members that may turn
// are split into hubs, which cover every side between two of them, and the
// rest, each of which is then best on its own for every choice of the hubs'
// turns. Windows whose hubs would be more than `mostHubs` are left out.
// A group is kept when the recount drops. Returns whether it ever did.
bool turnGroupsInWindows(Pedigree& pedigree, std::size_t widest, std::size_t mostHubs = 12);

} // namespace tavirlen::polish
