#pragma once

#include "pedigree/Pedigree.h"

#include <memory>
#include <random>
#include <string>

namespace tavirlen::test {

// Recombinants of the family's configuration as it stands, counted from the
// alleles alone: on each side of each child, a change of the parental
// haplotype passed on between loci where that parent has two different typed
// alleles.
int recountRecombinants(const Pedigree& pedigree);

// The fewest recombinants over every ordering of every member's alleles that
// fits the parents' genotypes (each founder's first heterozygous locus is
// fixed: swapping a founder's two haplotypes changes no count). -1 when more
// than `maxFreeLoci` loci are free.
int exhaustiveMinimum(const Pedigree& pedigree, int maxFreeLoci = 20);

// Empty when every member is phased at every locus, every child's paternal
// allele is one of its father's and its maternal one of its mother's, and
// every locus holds the same two alleles as `asRead`; else what is wrong.
std::string configurationProblem(const Pedigree& pedigree, const Pedigree& asRead);

// Random families without missing data in the 7-column layout, genotypes
// dropped through the pedigree with recombination, allele pairs shuffled.
// Ids are drawn at random so that any member may be the lowest.
std::string randomNuclearFamily(std::mt19937& rng, int loci, int alleles);
std::string randomThreeGenerationFamily(std::mt19937& rng, int loci, int alleles);

// The family after the Mendelian pass and the programme, straight from text.
std::unique_ptr<Pedigree> phaseFamily(const std::string& lines);

// Everything the .dat and .out files would show for the family.
std::string writtenFamily(const Pedigree& pedigree);

// The programme as first formulated, with the same transmission rule: every
// open record has a state bit (an untyped one too), every tied combination
// is recorded, the minimum starts at 32767, and the trace-back walks every
// tied root state and every combination. For pedigrees without loops or
// second mates only.
struct FullRecordingStats {
    std::size_t mostCombinations = 0; // largest choices list of any state
    std::size_t tiedRootStates = 0;
};
FullRecordingStats runFullRecordingDP(Pedigree& pedigree);

} // namespace tavirlen::test
