#pragma once

#include "exact/InheritanceLayout.h"
#include "pedigree/Pedigree.h"

#include <vector>

namespace tavirlen {

// Writes the phase of an inheritance path (one possible vector per locus)
// into every member's records, all of them marked phased:
//   - each member's paternal and maternal allele is the value of the founder
//     gene that reached it, under one assignment of alleles to founder genes
//     that gives every typed member its genotype;
//   - a missing allele is filled where every such assignment gives its gene
//     the same value, and stays 0 otherwise; typed alleles are kept;
//   - a founder's two haplotypes are arranged so that the smaller allele
//     comes first at its first heterozygous locus (before it, its loci are
//     homozygous or incomplete and their order tells nothing);
//   - a child's source on a side is the path's bit, wherever the parent's
//     written locus is not homozygous; where it is, the bit tells nothing and
//     the source stays -1 for the recount to carry over.
// Ends with countRecombinants, which fills those sources and sets
// recombinantCount to the number of changes along the path.
void writePhase(Pedigree& pedigree, const InheritanceLayout& layout, const std::vector<InheritanceVector>& path);

} // namespace tavirlen
