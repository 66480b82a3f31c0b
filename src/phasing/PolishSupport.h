#pragma once

#include "pedigree/Pedigree.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavirlen::polish {

// What the moves of the polishing pass share: sources read from the alleles,
// and the recombinants a move can change.

// What a member may take at one locus: ordered allele pairs (allele1,
// allele2), the stored pair first.
using Records = std::vector<std::pair<int, int>>;

// Which of the parent's two alleles the allele is: 0 or 1, or -1 where that
// does not tell (the parent homozygous or not fully typed, the allele
// missing or not the parent's).
int sourceOf(const GenotypeRecord& parent, int allele);

// Changes of source along one side of a member, read from the alleles.
int sideRecombinants(const Individual& member, const Individual* parent, int side);

struct Child {
    const Individual* member;
    int side; // the side on which it received the member's allele
};
std::vector<Child> childrenOf(const Pedigree& pedigree, const Individual& member);

// Whether the parent on that side can have passed the allele on.
bool passable(const Individual* parent, std::size_t k, int allele);

// The recombinants that depend on the movers' records: their own two sides
// and their children's sides from them.
int moveRecombinants(Pedigree& pedigree, const std::vector<Individual*>& movers);

// Whether the member may turn its allele order at locus k within a move:
// it is heterozygous, each of its parents is heterozygous for the same two
// alleles, and each child's allele from it is known. A turn there changes
// its sources on both sides and every child's source from it.
bool openForTurning(Pedigree& pedigree, const Individual& member, std::size_t k);

// One step of the programmes over source bits: the cheapest way to reach each
// state from the states of the last locus, where each source that changes
// costs one (a min-plus pass over the hypercube). `from` gets the state each
// one is reached from.
void relaxSourceChanges(std::vector<int>& reach, std::vector<std::uint16_t>& from, std::size_t states);

} // namespace tavirlen::polish
