#pragma once

#include <string>

namespace tavirlen {

// Modes d and s: 100 gene-dropped replicates of a pedigree structure, with
// and without recombination. Each returns the exit status.
int simulateWithRecombination(const std::string& inputName);
int simulateWithoutRecombination(const std::string& inputName);

} // namespace tavirlen
