#pragma once

#include "batch/BatchDriver.h"
#include "locusdp/PhasingTree.h"

#include <optional>
#include <string>

namespace tavirlen {

// A family is attempted only when its estimated tables fit in this many bytes
// and its estimated work in this many locus comparisons (a transmission
// evaluation walks every locus once). At the 1e8 to 1.6e8 comparisons a
// second measured by bench/locusdp, the work limit is one to two minutes.
constexpr double locusDPMaxTableBytes = 1024.0 * 1024.0 * 1024.0;
constexpr double locusDPMaxLocusSteps = 1e10;

// Recombinants of the child's two transmissions when parent A, parent B and
// the child take the given states; the parent whose sex is 1 is the father.
// Loci where the parent is homozygous or has a missing allele are skipped; a
// child allele that is neither of the parent's counts as its second one.
int transmissionCost(const StateAlleles& parentA, int stateA, const StateAlleles& parentB, int stateB,
                     const StateAlleles& child, int stateChild);
int transmissionCost(const Pedigree& pedigree, int parentA, int stateA, int parentB, int stateB,
                     int child, int stateChild);

// Fills the node's states; every neighbour must be solved already.
void solveNode(PhasingTree& tree, int node);

// Orders the member's open loci by the bits of `state` (none for an open
// record with two equal alleles) and marks them phased.
void applyNodeState(Individual& member, int state);

// Applies `state` to the node's member and follows the kept combination down
// the tree. A stand-in node's state is not applied.
void traceBack(PhasingTree& tree, int node, int state);

// Why a family with this estimate is not attempted; nothing when it fits.
std::optional<std::string> locusDPRefusal(const LocusDPEstimate& estimate, const Pedigree* pedigree = nullptr);

// Phases the loci the Mendelian pass left open in every member linked to the
// lowest id, with the fewest recombinants the tree allows, and counts the
// recombinants. A family over the limits is left exactly as it came and the
// reason is returned.
std::optional<std::string> runLocusDP(Pedigree& pedigree);

// Mode l: the locus-based dynamic programme over a tree of members.
BatchMode locusDPMode();

} // namespace tavirlen
