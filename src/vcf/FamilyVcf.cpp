#include "vcf/FamilyVcf.h"

#include "vcf/HtsHandles.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace tavirlen {

namespace {

// Reads one sample's GT values as two allele codes (index + 1, 0 missing).
// Returns what makes the call unreadable as a diploid genotype, or nullptr.
// A lone '.' is a missing call, not a haploid one: it carries no allele.
const char* diploidCall(const int32_t* values, int ploidy, int alleleCount, int& first, int& second)
{
    auto absent = [](int32_t v) {
        return v == bcf_int32_vector_end || v == bcf_int32_missing || bcf_gt_is_missing(v);
    };
    int32_t v0 = values[0];
    int32_t v1 = ploidy > 1 ? values[1] : bcf_int32_vector_end;
    if (ploidy > 2 && values[2] != bcf_int32_vector_end) return "a call of more than two alleles";
    if (v1 == bcf_int32_vector_end && !absent(v0)) return "a haploid call";
    int* codes[] = {&first, &second};
    int32_t read[] = {v0, v1};
    for (int i = 0; i < 2; ++i) {
        if (absent(read[i])) {
            *codes[i] = 0;
            continue;
        }
        int index = bcf_gt_allele(read[i]);
        if (index < 0 || index >= alleleCount) return "an allele index the site does not have";
        *codes[i] = index + 1;
    }
    return nullptr;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Gives each member the VCF column of the sample bearing its individual id
// and counts the samples that belong to nobody. A sample name shared by
// members of two families would give one sample's calls to both.
bool matchSamples(FamilyVcfInput& input, const bcf_hdr_t* header, std::string& error)
{
    std::map<std::string, std::vector<std::size_t>> byId;
    for (std::size_t i = 0; i < input.members.size(); ++i) byId[input.members[i].individualId].push_back(i);
    input.sampleCount = bcf_hdr_nsamples(header);
    int matched = 0;
    for (int s = 0; s < input.sampleCount; ++s) {
        auto found = byId.find(header->samples[s]);
        if (found == byId.end()) {
            ++input.samplesOutsidePedigree;
            continue;
        }
        if (found->second.size() > 1) {
            error = std::string("VCF sample ") + header->samples[s] + " matches individuals of families "
                + input.members[found->second[0]].familyId + " and " + input.members[found->second[1]].familyId;
            return false;
        }
        input.sampleIndex[found->second[0]] = s;
        ++matched;
    }
    if (matched == 0) {
        error = "none of the " + std::to_string(input.sampleCount) + " VCF samples is a member of the pedigree";
        return false;
    }
    return true;
}

} // namespace

std::optional<FamilyVcfInput> readFamilyVcf(const std::string& vcfPath, const std::string& pedPath,
                                            const std::string& region, std::string& error)
{
    std::optional<std::vector<MemberLine>> ped = readPedFile(pedPath, error);
    if (!ped) return std::nullopt;
    // Checked first so that a missing file gives our line only, not htslib's.
    std::error_code ignored;
    hts::File file(std::filesystem::is_regular_file(vcfPath, ignored) ? hts_open(vcfPath.c_str(), "r") : nullptr);
    if (!file || hts_get_format(file.get())->category != variant_data) {
        error = "cannot read " + vcfPath + " as a VCF or BCF file";
        return std::nullopt;
    }
    hts::Header header(bcf_hdr_read(file.get()));
    if (!header) {
        error = "cannot read the header of " + vcfPath;
        return std::nullopt;
    }
    FamilyVcfInput input;
    input.members = std::move(*ped);
    input.sampleIndex.assign(input.members.size(), -1);
    if (!matchSamples(input, header.get(), error)) return std::nullopt;
    std::vector<std::pair<MemberLine*, int>> typed; // member, sample
    for (std::size_t i = 0; i < input.members.size(); ++i)
        if (input.sampleIndex[i] >= 0) typed.push_back({&input.members[i], input.sampleIndex[i]});

    hts::Record record(bcf_init());
    hts::Buffer gt;
    std::vector<int> codes(2 * typed.size());
    std::vector<std::string> chromosomes;
    std::set<int> seenChromosomes;
    int currentRid = -1;
    hts_pos_t lastPos = -1;
    bool target = false;
    long recordIndex = -1;
    long recordsRead = 0;
    int status = 0;
    while ((status = bcf_read(file.get(), header.get(), record.get())) == 0) {
        bcf1_t* rec = record.get();
        ++recordsRead;
        if (rec->rid != currentRid) {
            std::string name = bcf_seqname_safe(header.get(), rec);
            if (!seenChromosomes.insert(rec->rid).second) {
                error = "the VCF is not sorted: chromosome " + name + " comes back after " + chromosomes.back();
                return std::nullopt;
            }
            chromosomes.push_back(name);
            currentRid = rec->rid;
            lastPos = -1;
            target = region.empty() ? chromosomes.size() == 1 : name == region;
            if (target) input.chromosome = name;
        }
        if (rec->pos < lastPos) {
            error = "the VCF is not sorted: " + chromosomes.back() + ":" + std::to_string(rec->pos + 1)
                + " comes after position " + std::to_string(lastPos + 1);
            return std::nullopt;
        }
        lastPos = rec->pos;
        if (!target) continue;
        ++recordIndex;

        bcf_unpack(rec, BCF_UN_STR);
        std::string position = input.chromosome + ":" + std::to_string(rec->pos + 1);
        std::string name = std::strcmp(rec->d.id, ".") == 0 ? position : rec->d.id;
        int n = bcf_get_genotypes(header.get(), rec, &gt.values, &gt.capacity);
        const char* problem = n <= 0 ? "no GT field" : nullptr;
        std::size_t t = 0;
        int ploidy = n > 0 ? n / input.sampleCount : 0;
        for (; !problem && t < typed.size(); ++t)
            problem = diploidCall(gt.values + static_cast<std::size_t>(typed[t].second) * ploidy, ploidy,
                                  rec->n_allele, codes[2 * t], codes[2 * t + 1]);
        if (problem) {
            std::string who = n <= 0 ? "it has" : "sample " + typed[t - 1].first->individualId + " has";
            input.siteMessages.push_back("site " + name + " (" + position + ") is left out: " + who + " "
                                         + problem);
            continue;
        }
        input.siteRecords.push_back(recordIndex);
        input.markers.chromosomes.push_back(input.chromosome);
        input.markers.names.push_back(std::move(name));
        input.markers.basePairs.push_back(rec->pos + 1);
        for (t = 0; t < typed.size(); ++t) {
            typed[t].first->alleles.push_back(codes[2 * t]);
            typed[t].first->alleles.push_back(codes[2 * t + 1]);
        }
    }
    if (status < -1) {
        error = "cannot read " + vcfPath + " past its record " + std::to_string(recordsRead);
        return std::nullopt;
    }
    if (region.empty() && chromosomes.size() > 1) {
        error = "the VCF holds several chromosomes (" + joined(chromosomes) + "); choose one with --region";
        return std::nullopt;
    }
    if (input.chromosome.empty()) {
        error = chromosomes.empty() ? "the VCF " + vcfPath + " holds no site"
                                    : "the VCF has no site on chromosome " + region + " (it holds "
                                          + joined(chromosomes) + ")";
        return std::nullopt;
    }
    if (input.siteRecords.empty()) {
        error = "no site of chromosome " + input.chromosome + " has diploid calls for the pedigree";
        return std::nullopt;
    }
    for (MemberLine& m : input.members) m.alleles.resize(2 * input.siteRecords.size(), 0);
    return input;
}

} // namespace tavirlen
