#pragma once

#include "pedigree/Pedigree.h"

#include <memory>
#include <random>
#include <string>

namespace tavirlen::test {

// Random families for property tests: founder couples, their children, and
// children of children married to new founders; genotypes dropped from the
// founders with recombination. Without missing alleles every family is
// Mendelian consistent, and dropping alleles keeps it so.
struct RandomFamilyOptions {
    int minLoci = 2;
    int maxLoci = 12;
    int maxAlleles = 4;
    int maxChildren = 5;
    int generations = 3;
    double recombination = 0.1;
    // Layout: 7 header columns (mode b) or 6 (mode t).
    int headerColumns = 7;
    // Ids drawn at random and lines in random order instead of 1, 2, ...
    // with parents first.
    bool shuffleIds = false;
    // Chance that one parent of a couple also has children with another mate.
    double halfSiblings = 0;
    // Share of genotypes written 0 0; a tenth as many lose one allele only.
    double missing = 0;
    int minChildren = 1;
};

std::string randomFamilyText(std::mt19937& engine, int familyId, const RandomFamilyOptions& options);

} // namespace tavirlen::test
