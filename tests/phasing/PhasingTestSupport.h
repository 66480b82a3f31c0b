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

namespace tavirlen::test {

// What a reader of the written family could object to, counted over every
// member with parents, side and locus: a determined source that does not
// name the allele the member carries where that parent is typed and
// heterozygous, and a typed allele that its typed parent does not carry.
struct WrittenFaults {
    int wrongSources = 0;
    int unfitAlleles = 0;
    std::string first; // the first fault found, for the failure message
};
WrittenFaults writtenFaults(const Pedigree& pedigree);

} // namespace tavirlen::test

namespace tavirlen::test {

// The fewest recombinants of any configuration of a prepared family, by the
// forward pass of the member-based programme; -1 when the family is beyond
// that programme (more than 20 state bits) or no configuration fits.
int fewestRecombinants(const Pedigree& pedigree);

} // namespace tavirlen::test
