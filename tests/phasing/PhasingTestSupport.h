#pragma once

#include "pedigree/Pedigree.h"

#include <string>

namespace tavirlen::test {

// A member's loci in one line, as the .dat file shows them: "1|2(0,1)" for a
// phased locus with its sources, "1 2(-1,-1)" for an unphased one; loci
// separated by spaces.
std::string loci(const Individual& member);

// The same for the member of a pedigree with that id.
std::string loci(const Pedigree& pedigree, int id);

// Sets one member's phase at every locus from a string in the notation of
// `loci` ("1|2(0,1) 3 4(-1,-1) ..."), to put a family into a chosen state.
void setLoci(Individual& member, const std::string& text);

} // namespace tavirlen::test
