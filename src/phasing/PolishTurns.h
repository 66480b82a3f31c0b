#pragma once

#include "pedigree/Pedigree.h"

#include <cstddef>
#include <vector>

namespace tavirlen::polish {

// A move of the polishing pass in which several members turn their allele
// orders together, everyone else held as they are. A member may turn where
// it is open: heterozygous, each of its parents heterozygous for the same two
// alleles, and each child's allele from it known. There a turn changes its
// sources on both sides and its children's from it.
//
// An exact programme over the loci chooses the turns with the fewest
// recombinants on the sides the movers take part in. Its state is one bit
// per mover: whether it is turned at its last open locus. Nothing more needs
// remembering: at every open locus of a member, each side it takes part in
// shows its source, so between two loci where a side shows its source
// neither of its ends has been open.
//
// The movers are a few hubs and leaves; no leaf is a parent of another. The
// leaves' bits are settled one leaf at a time for each pair of hub states,
// so a locus costs (hub states)^2 x leaves x 2^leaves.
//
// The turns are kept when the recount drops. Returns whether it did.
bool turnTogether(Pedigree& pedigree, const std::vector<Individual*>& hubs, const std::vector<Individual*>& leaves);

// How many leaves a move with that many hubs over that many loci may take
// (its memory is a back-pointer per state and locus).
std::size_t leavesAffordable(std::size_t hubs, std::size_t loci);

} // namespace tavirlen::polish
