#pragma once

#include "exact/InheritanceLayout.h"
#include "pedigree/Pedigree.h"

#include <cstdint>
#include <vector>

namespace tavirlen {

struct PathSearch {
    // The first locus at which no vector is possible (-1: every locus has
    // one), with the member at which the genotypes stop fitting there.
    int impossibleLocus = -1;
    int unfittingMember = 0;
    long long optimum = 0;
    // Optimal paths with the representative bits 0 at the first locus, that
    // is, optimal paths counted once for every swap of founder haplotypes.
    // 0 when not counted; 2^53 ("at least") when there are too many to count.
    std::uint64_t pathCount = 0;
    bool tooManyToCount = false;
    std::vector<InheritanceVector> path; // one optimal path, a vector per locus
};

// The programme over the loci: the cost of a vector at a locus is the fewest
// changes of bits along any path of possible vectors that ends in it. Costs
// are carried as one byte per vector, relative to the locus's cheapest, and
// moved from locus to locus by the min-plus transform over the hypercube.
// Only the cost vectors at about sqrt(L) checkpoints are kept; tracing the
// path back recomputes the loci between two checkpoints at a time, from the
// possible vectors kept for every locus when they fit in keptVectorBytes.
PathSearch findOptimalPath(const Pedigree& pedigree, const InheritanceLayout& layout, bool countPaths,
                           std::size_t keptVectorBytes);

} // namespace tavirlen
