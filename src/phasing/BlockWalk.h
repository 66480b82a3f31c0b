#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/PhaseIndex.h"

namespace tavirlen {

// The extension walk: the phase of the current block (the blockLength loci
// from blockStart of the seed member) spreads to children and parents, member
// by member through the two queues, until both are empty.

// Walks from seedId until both queues are empty, then marks the block's loci
// as covered in locusWork.
void extendFromSeed(Pedigree& pedigree);

// Chooses the next seed and block among runs of phased loci that still hold
// an uncovered locus, preferring members free of recombination. Returns false
// when every member is completely phased or no such run of two loci is left.
bool findNextBlock(Pedigree& pedigree);

// Phases child `childId` inside the block from one parent: it keeps the
// first source it shows there (or a random one) and follows its own recorded
// changes. The child is then visited and filed.
void extendToChild(Pedigree& pedigree, int parentId, int childId);

// Phases child `childId` inside the block when both parents are done: each
// unphased locus takes the order whose sources disagree least with the
// flanking sources (the stored order on a tie). The child is then visited and
// filed.
void extendToChildOfPair(Pedigree& pedigree, int parentId, int mateId, int childId);

// The same steps over an index of the family that the caller keeps from one
// walk to the next (the entries above make a fresh one each time). Every
// member must have the family's number of loci.
void extendFromSeed(Pedigree& pedigree, PhaseIndex& index);
bool findNextBlock(Pedigree& pedigree, PhaseIndex& index);
void extendToChild(Pedigree& pedigree, PhaseIndex& index, int parentId, int childId);
void extendToChildOfPair(Pedigree& pedigree, PhaseIndex& index, int parentId, int mateId, int childId);

} // namespace tavirlen
