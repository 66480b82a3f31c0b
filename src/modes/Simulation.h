#pragma once

#include "batch/RunOptions.h"
#include "pedigree/Pedigree.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace tavirlen {

// Modes d and s: 100 gene-dropped replicates of a pedigree structure, with
// and without recombination. Each returns the exit status: 0, or 1 when the
// structure cannot be read or simulated or a file cannot be opened or created
// (a message on standard error says which).
int simulateWithRecombination(const RunOptions& options);
int simulateWithoutRecombination(const RunOptions& options);
int simulateWithRecombination(const std::string& inputName);
int simulateWithoutRecombination(const std::string& inputName);

constexpr int replicateCount = 100;

// Fills every member's genotypes for replicate `replicate` at `locusCount`
// loci with alleles 1..alleleCount: founders draw both alleles, children take
// one allele of each parent, parents before children. With `fractions` (one
// recombination fraction per interval between neighbouring loci) a child's
// inherited side switches at random and each switch is reported to `report`;
// without, a child keeps one side of each parent along all loci. Returns the
// number of recombinations, or -1 (nothing drawn) for a structure that
// checkStructure rejects.
int dropGenes(Pedigree& pedigree, std::ostream* report, int replicate, int locusCount,
              const std::vector<float>* fractions, int alleleCount);

// One replicate in the pedigree input layout, members in ascending id.
void writeReplicate(std::ostream& out, const Pedigree& pedigree);

// One replicate as a SimWalk pedigree block: a header line, then per member a
// line with its ids, sex and the first three loci and three loci per further line.
void writeSimWalkBlock(std::FILE* out, const Pedigree& pedigree);

// The input name without its 4-character extension; a name of 4 characters or
// fewer is kept whole, so the output never loses its name.
std::string simulationBaseName(const std::string& inputName);

} // namespace tavirlen
