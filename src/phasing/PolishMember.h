#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/PolishSupport.h"

#include <vector>

namespace tavirlen::polish {

// A move of the polishing pass for one member: it takes again, at every
// locus, one of the records allowed it there (its order, and its filled
// alleles), everyone else held as they are. An exact programme over the
// loci: its state is the source on each side the member takes part in (its
// own two and each child's from it), the way the inheritance is followed
// along a chromosome. A record allows a source on a side where it names the
// allele carried, and either source where that parent's two alleles are the
// same; a change of source between neighbouring loci is one recombinant. So
// a filled allele that turns the member homozygous frees its children's
// sources there, and one that makes it heterozygous ties them.
//
// `records[k]` is what the member may take at locus k, the stored record
// first; every record must let each child keep fitting. The records are
// kept when the recount drops. Returns whether it did.
bool rechooseMember(Pedigree& pedigree, Individual& member, const std::vector<Records>& records);

// The most sides the programme follows (2 to this power states per locus).
constexpr std::size_t mostFollowedSides = 11;

} // namespace tavirlen::polish
