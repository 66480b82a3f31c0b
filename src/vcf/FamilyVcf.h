#pragma once

#include "pedigree/MarkerMap.h"
#include "vcf/PedFile.h"

#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// A family VCF read against its pedigree: one chromosome, its sites in file
// order as loci, and every pedigree member with two allele codes per locus.
struct FamilyVcfInput {
    // Chromosome, name (ID, or CHROM:POS when the ID is '.') and position of
    // every kept site. No genetic positions: centimorgans stays empty.
    MarkerMap markers;
    // The pedigree's lines in file order, with their genotypes.
    std::vector<MemberLine> members;
    // Each member's column in the VCF, -1 when the VCF has no sample of that name.
    std::vector<int> sampleIndex;
    std::string chromosome;
    int sampleCount = 0;
    // VCF samples that are no member of the pedigree; their calls are ignored.
    int samplesOutsidePedigree = 0;
    // For every kept site, its index among the chromosome's records, so that
    // a writer re-reading the file finds the loci again.
    std::vector<long> siteRecords;
    // One line per site left out (a haploid, polyploid or malformed call of a
    // pedigree member, or no GT field); the run goes on without the site.
    std::vector<std::string> siteMessages;
};

// Reads the VCF (plain, bgzipped or BCF) and the PED/FAM file. VCF samples
// are matched to individual ids as text; a member without a sample is
// untyped. Genotypes come from GT: allele index + 1, a missing allele 0,
// multi-allelic sites kept, the input's phase ignored. `region` names the
// chromosome to read; when empty the file must hold one chromosome.
// Returns nothing, with a one-line reason in `error`, when a file cannot be
// read, the PED is malformed or its parent links form a cycle, no VCF sample
// is a pedigree member, a sample name matches members of two families, the
// VCF holds several chromosomes and no region is given, the region names no
// chromosome of the file, the file is unsorted (positions going backwards
// within a chromosome, or a chromosome coming back after another), or no
// site remains.
std::optional<FamilyVcfInput> readFamilyVcf(const std::string& vcfPath, const std::string& pedPath,
                                            const std::string& region, std::string& error);

} // namespace tavirlen
