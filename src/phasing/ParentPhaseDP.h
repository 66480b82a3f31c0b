#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/PhaseIndex.h"

namespace tavirlen {

// Decides the phase of parent `parentId` inside the block, reached from its
// child `childId`: a two-state minimum-recombinant programme over the
// parent's informative loci, counting the children that each change or
// keeping of the parent's arrangement would make recombinant. Phased loci
// constrain it; ties are broken by the child's sources or at random. The
// parent is then visited and filed. The table holds two cells per locus of
// the block, so its memory grows linearly with the block. Returns false,
// changing nothing, only when the child or the parent is not in the family.
bool phaseParentByDP(Pedigree& pedigree, int childId, int parentId);

// The same over the walk's index of the family (every member must have the
// family's number of loci).
bool phaseParentByDP(Pedigree& pedigree, PhaseIndex& index, int childId, int parentId);

} // namespace tavirlen
