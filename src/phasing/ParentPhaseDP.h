#pragma once

#include "pedigree/Pedigree.h"

namespace tavirlen {

// The longest stretch the parent programme handles: its table has room for
// this many loci.
constexpr int parentPhaseLoci = 100;

// Decides the phase of parent `parentId` inside the block, reached from its
// child `childId`: a two-state minimum-recombinant programme over the
// parent's informative loci, counting the children that each change or
// keeping of the parent's arrangement would make recombinant. Phased loci
// constrain it; ties are broken by the child's sources or at random. The
// parent is then visited and filed. Returns false, changing nothing, when the
// stretch from the parent's first heterozygous locus to the end of the block
// is longer than parentPhaseLoci ("There are too may markers!").
bool phaseParentByDP(Pedigree& pedigree, int childId, int parentId);

} // namespace tavirlen
