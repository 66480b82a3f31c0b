#pragma once

#include "pedigree/Individual.h"

#include <array>
#include <istream>
#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace tavirlen {

// What the screening mode reads: every individual by id, each line's ids
// (individual, father, mother) in line order, and the number of loci of the
// last line read, which the whole run uses.
struct ScreeningInput {
    std::map<int, Individual> individuals;
    std::vector<std::array<int, 3>> idSets;
    int locusCount = 0;
};

// First replacement id for a mother that is not given; every replacement
// takes the next id that no line of the input uses.
constexpr int firstReplacementMotherId = 2000;

// Reads the screening layout: a header line, then one individual per line up
// to the first empty line: individual id, father id, mother id and up to three
// further fields, separated by tabs, then allele pairs separated by blanks or
// tabs. A mother that is not given gets an id of her own. Lines that cannot be
// used are reported to `messages`, naming the line, and skipped.
ScreeningInput readScreeningInput(std::istream& input, std::ostream& messages);

// Groups the lines' id sets into families: two lines belong to one family
// when a chain of shared ids links them. Families come in the order of their
// first line, each as the set of all ids of its lines.
std::vector<std::set<int>> formFamilies(const std::vector<std::array<int, 3>>& idSets);

} // namespace tavirlen
