#pragma once

#include "pedigree/Pedigree.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// Reads the first block of a pedigree structure file (individual id, father,
// mother, sex per line; separators blank, comma or tab) into `pedigree`, up to
// the first empty line or the end of the input. A later line with the same id
// replaces the earlier one. Returns the first line it cannot use, described
// with its line number, or nothing when every line was read.
std::optional<std::string> readStructure(Pedigree& pedigree, std::istream& input);

// What makes a structure impossible to simulate: a non-founder with only one
// parent, a parent without a line of its own, parent links that form a cycle.
std::optional<std::string> checkStructure(const Pedigree& pedigree);

// The order in which genes are dropped: founders in ascending id, then each
// non-founder as soon as both its parents are done, the lowest such id first.
// For a structure whose parents are numbered below their children this is
// plain ascending id order. Members that can never be placed (see
// checkStructure) are left out.
std::vector<int> simulationOrder(const Pedigree& pedigree);

} // namespace tavirlen
