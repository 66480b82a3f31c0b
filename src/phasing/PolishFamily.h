#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/PolishSupport.h"

#include <optional>
#include <vector>

namespace tavirlen::polish {

// A move of the polishing pass for a few parents (a couple, or a member with
// all its mates) and all their children at once: each takes again, at every
// locus, one of the records allowed it there (orders, and filled alleles),
// everyone else held as they are. Where a parent's filled allele or its
// phase over a stretch is wrong, the children's orders have to change with
// it, so no smaller move finds it.
//
// An exact programme over the loci whose state is the source on every side
// with a moving end (the parents' own, the children's, and those of any
// other child of theirs), one bit each; a side that does not show its source
// at a locus leaves its bit free, and a change of bit costs one recombinant.
// At a locus every combination of the parents' records is tried (the first
// 4,096); given that, the children are independent, each allowing the bits its
// fitting records give. Each child's two parents must be among the movers.
//
// `parents[k][p]` holds parent p's records at locus k and `children[c][k]`
// child c's, the stored record first. Kept when the recount drops; returns
// whether it did, or nothing when the move is too large for the family's
// loci (more sides than its memory allows).
std::optional<bool> rechooseFamily(Pedigree& pedigree, const std::vector<Individual*>& parentMovers,
                                   const std::vector<Individual*>& children,
                                   const std::vector<std::vector<Records>>& parents,
                                   const std::vector<std::vector<Records>>& childRecords);

} // namespace tavirlen::polish
