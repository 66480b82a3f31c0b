#pragma once

#include "pedigree/Pedigree.h"

namespace tavirlen {

class BottomUpOrder;

// Sibship inference: within a run of loci a child is assumed to keep the
// source it has, so the alleles siblings received decide, by majority, the
// phase of their parent or of a sibling where Mendelian phasing left it open.

// The next member of a bottom-up walk over the members not in visitedIds (a
// member comes after its children that have children of their own); 0 when
// no member qualifies.
int nextBottomUp(const Pedigree& pedigree);

// Two sibship passes (maternal sibships forwards and backwards, then
// paternal sibships backwards from flanking sources), then the queues and the
// first seed block (seedId, blockStart, blockLength).
bool inferFromSibships(Pedigree& pedigree);
// The same with an order built for this family, which both walks restart
// instead of building their own. The caller has checked that every member
// has the family's number of loci (a walk over a deep family is not free).
bool inferFromSibships(Pedigree& pedigree, BottomUpOrder& order);

// One maternal sibship: the children of the mother of `memberId`.
void extendSibshipBlocks(Pedigree& pedigree, int memberId);

// One paternal sibship: the children of the father of `memberId`.
void phaseParentsFromChildren(Pedigree& pedigree, int memberId);

// Tallies of one vote: keep counts siblings that contradict keeping the
// running source, flip those that contradict changing it.
struct VoteCounts {
    int keep = 0;
    int flip = 0;
};

// Lets sibling J vote on the child's source at locus l of a side, given J's
// reference source on that side and the running source. Returns false,
// adding nothing, when J shows a change of source on either side.
bool voteSibling(const Individual& child, const Individual& sibling, int locus, int reference,
                 int running, int side, VoteCounts& votes);

// The child's locus is unphased and the parent's phased: the votes decide the
// child's order; the running source follows. The child's source on the other
// side is then read from `otherParent` when its locus is phased.
void phaseChildByVotes(Individual& child, const Individual& parent, const Individual* otherParent,
                       int locus, int& running, int side, const VoteCounts& votes);

// The child's locus is phased and the parent's unphased: the votes decide the
// parent's order; a parent so phased gets its own sources from its parents.
void phaseParentByVotes(Pedigree& pedigree, Individual& child, Individual& parent, int locus,
                        int& running, int side, const VoteCounts& votes);

} // namespace tavirlen
