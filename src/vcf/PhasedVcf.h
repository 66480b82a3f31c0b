#pragma once

#include "pedigree/Pedigree.h"
#include "vcf/FamilyVcf.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavirlen {

// The phased genotypes of the pedigree members that have a VCF sample,
// gathered family by family and written back into the input VCF at the end.
// Per sample and locus two GT values in htslib's encoding (8 bytes).
class PhasedVcfCalls {
public:
    // Marks a locus for which a sample has no result: its input call stays.
    static constexpr int32_t keepInput = INT32_MIN;

    // With `writeFilled` false, a call whose input had a missing allele keeps
    // its input call even when the phasing filled the allele in.
    PhasedVcfCalls(const FamilyVcfInput& input, bool writeFilled);

    // Takes the genotypes of every member of a finished family that has a VCF
    // sample (the member's Pedigree::idText is the sample name): allele1 and
    // allele2 per locus, written paternal|maternal where `phased`.
    void addPedigree(const Pedigree& pedigree);

    // Two GT values per locus of the sample, or nullptr when no family gave
    // the sample a result.
    const int32_t* callsOf(int sample) const;

    const std::string& chromosome() const { return chromosome_; }
    const std::vector<long>& siteRecords() const { return siteRecords_; }
    const std::vector<long long>& positions() const { return positions_; }
    int sampleCount() const { return static_cast<int>(slotOfSample_.size()); }
    bool writeFilled() const { return writeFilled_; }

private:
    std::string chromosome_;
    std::vector<long> siteRecords_;
    std::vector<long long> positions_;
    bool writeFilled_;
    std::map<std::string, int> sampleOfMember_;
    std::vector<int> slotOfSample_;
    std::vector<std::vector<int32_t>> calls_;
};

// Re-reads the input VCF/BCF and writes the records of the chromosome that
// was read, with every sample, to `outputPath` (.vcf, .vcf.gz or .bcf by its
// ending). A phased call is written paternal|maternal with PS, the position of
// the chromosome's first site, as the family's one phase set; an unphased one
// a/b without PS. A call keeps its input when it has no result, when the
// input had a missing allele and filled calls are not wanted, or when the
// result would change a typed allele. Samples outside the pedigree and the
// sites that were left out pass unchanged. The file appears under its name
// only once it is complete; on failure nothing is left and `error` holds one
// line.
// True when the name ends in .vcf, .vcf.gz or .bcf, the formats written.
bool namesVcfFormat(const std::string& path);

// True when the file is a VCF/BCF this program wrote (its header states the
// paternal-first convention), so that a later run may replace it.
bool phasedVcfOfTavirlen(const std::string& path);

bool writePhasedVcf(const std::string& inputPath, const std::string& outputPath, const PhasedVcfCalls& calls,
                    std::string& error);

} // namespace tavirlen
