#pragma once

#include "pedigree/Pedigree.h"

#include <memory>
#include <random>
#include <string>

namespace tavirlen::test {

// Random families for property tests: founder couples, their children, and
// children of children married to new founders; genotypes dropped from the
// founders with recombination. No allele is missing, so every family is
// Mendelian consistent. The text is in the seven-column input layout.
struct RandomFamilyOptions {
    int minLoci = 2;
    int maxLoci = 12;
    int maxAlleles = 4;
    int maxChildren = 5;
    int generations = 3;
    double recombination = 0.1;
};

std::string randomFamilyText(std::mt19937& engine, int familyId, const RandomFamilyOptions& options);

} // namespace tavirlen::test
