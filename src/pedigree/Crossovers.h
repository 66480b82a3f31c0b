#pragma once

#include "pedigree/Pedigree.h"

#include <vector>

namespace tavirlen {

// One change of inheritance source along a child's haplotype: between
// `locusBefore` and `locusAfter` (loci counted from 0) the child's allele
// from `parentId` switches to the parent's other haplotype.
struct Crossover {
    int childId = 0;
    int parentId = 0;
    int side = 0; // 0 paternal, 1 maternal
    int locusBefore = 0;
    int locusAfter = 0;
};

// Every change of source in the family as written, counted as the
// recombinant count counts them (a change between two determined sources,
// loci without a source skipped). Each change is placed between the nearest
// loci around it where the parent is typed heterozygous: only there does a
// source say something, so the change can lie anywhere in between.
std::vector<Crossover> findCrossovers(const Pedigree& pedigree);

} // namespace tavirlen
