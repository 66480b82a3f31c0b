#pragma once

#include <string>

// Random families in the input layout for comparing the programme with the
// reference formulation and with an exhaustive search. Draws from the
// program's own generator, so the caller seeds it.
namespace tavirlen::test {

struct RandomFamilyOptions {
    int maximumBits = 12;     // 1 per founder + 3 per non-founder
    int minimumLoci = 1;
    int maximumLoci = 6;
    int maximumAlleles = 4;   // alleles per locus are drawn from 2..this
    // Chances that a founder allele is drawn as missing (0) or as -1; children
    // inherit such alleles like any other.
    int missingPercent = 8;
    int negativePercent = 1;
    // Chance that a genotype gets a wrong allele or loses one, which usually
    // leaves no possible state at that locus.
    int errorPercent = 2;
    int switchPercent = 25;   // chance of a change of source between loci
};

// One family with the given id, mostly using the whole bit budget. Ids, line
// order, sexes and the order of the two alleles on a line are random; every
// child fits its parents unless an error was drawn.
std::string randomFamilyText(int familyId, const RandomFamilyOptions& options);

} // namespace tavirlen::test
