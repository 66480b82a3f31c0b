#pragma once

#include "pedigree/Pedigree.h"

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

} // namespace tavirlen
