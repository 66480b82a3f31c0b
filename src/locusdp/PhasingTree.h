#pragma once

#include "pedigree/Pedigree.h"

#include <map>
#include <set>
#include <vector>

namespace tavirlen {

// One state of a member: the order of its two alleles at every open locus
// (a locus whose record is not yet phased), bit k for the k-th open locus,
// 0 putting the smaller allele first. An open record with two equal alleles
// (untyped, 0 0) has no bit: both orders are the same pair, so a bit for it
// would only double the states, and the lowest of the tied states, the one
// taken, would have it 0 anyway.
struct NodeState {
    int stateIndex = -1;
    // Fewest recombinants in the transmissions below the node, given this state.
    int cost = 0;
    // The first combination that reaches `cost`: one state position per
    // neighbour, the upList entries first, then the downList entries. Later
    // combinations of equal cost are not kept: the trace-back applies the
    // first one it meets and a phased record is never changed again, so they
    // could not alter the result, while keeping them all grows multiplicatively.
    std::vector<int> choices;
};

struct PhasingTreeNode {
    int memberId = 0;
    int treeParent = -1; // position of the node whose expansion placed it
    int openLocusCount = 0; // open loci with two different alleles
    // A second node for a member that already has one (a pedigree loop, or a
    // mate reached before its children): a leaf that lets the transmission
    // through it be costed here; its state is never applied, the member's own
    // node decides its phase.
    bool standIn = false;
    // The member's father, mother and full siblings placed by this node.
    std::vector<int> upList;
    // For each mate of the member with children placed by this node: the
    // mate, then those children.
    std::vector<int> downList;
    // Per downList entry: -1 for a mate, else the position in downList of
    // the child's other parent.
    std::vector<int> downMate;
    int neighbourCount = 0;
    std::vector<NodeState> states; // 2^openLocusCount, filled by solveNode
};

// A member's alleles at every locus as the states of its node arrange them:
// a phased record keeps its stored order; an open one has its smaller allele
// first, swapped when the state's bit for it is set.
struct StateAlleles {
    struct Locus {
        int first = 0;
        int second = 0;
        int bit = -1; // position of the locus among the open ones; -1 when phased
    };
    int sex = 0;
    std::vector<Locus> loci;
};

StateAlleles stateAlleles(const Individual& member);

struct PhasingTree {
    Pedigree* pedigree = nullptr;
    int root = -1; // position of the root node; -1 for an empty family
    std::vector<PhasingTreeNode> nodes; // in creation order, the root first
    std::set<int> placed; // members that have their own (not stand-in) node
    std::map<int, StateAlleles> alleles; // by member id, made as the nodes are solved
};

// Decomposes the family into a tree rooted at its lowest id: every member
// gets its parents and full siblings as up-neighbours and its unplaced
// children, grouped by their other parent, as down-neighbours. Members not
// linked to the root get no node. No state table is allocated here.
PhasingTree buildPhasingTree(Pedigree& pedigree);

// What solving a tree would cost, from the open loci of every node and of the
// nodes it is solved against; computed before anything is allocated.
struct LocusDPEstimate {
    double tableBytes = 0;  // state tables of all nodes plus the largest scratch table
    double locusSteps = 0;  // transmission evaluations times loci walked
    int widestMemberId = 0; // the member with the most open loci
    int widestOpenLoci = 0;
};

LocusDPEstimate estimateLocusDP(const PhasingTree& tree);

} // namespace tavirlen
