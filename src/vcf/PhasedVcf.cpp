#include "vcf/PhasedVcf.h"

#include "vcf/HtsHandles.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace tavirlen {

PhasedVcfCalls::PhasedVcfCalls(const FamilyVcfInput& input, bool writeFilled)
    : chromosome_(input.chromosome),
      siteRecords_(input.siteRecords),
      positions_(input.markers.basePairs),
      writeFilled_(writeFilled),
      slotOfSample_(static_cast<std::size_t>(input.sampleCount), -1)
{
    for (std::size_t i = 0; i < input.members.size(); ++i)
        if (input.sampleIndex[i] >= 0) sampleOfMember_[input.members[i].individualId] = input.sampleIndex[i];
}

void PhasedVcfCalls::addPedigree(const Pedigree& pedigree)
{
    auto encode = [](int allele, bool phased) { return (allele >= 1 ? allele << 1 : 0) | (phased ? 1 : 0); };
    for (const auto& [id, member] : pedigree.members) {
        auto found = sampleOfMember_.find(pedigree.idText(id));
        if (found == sampleOfMember_.end()) continue;
        int& slot = slotOfSample_[static_cast<std::size_t>(found->second)];
        if (slot < 0) {
            slot = static_cast<int>(calls_.size());
            calls_.emplace_back(2 * siteRecords_.size(), keepInput);
        }
        std::vector<int32_t>& calls = calls_[static_cast<std::size_t>(slot)];
        std::size_t loci = std::min(siteRecords_.size(), member.genotypes.size());
        for (std::size_t k = 0; k < loci; ++k) {
            const GenotypeRecord& g = member.genotypes[k];
            calls[2 * k] = encode(g.allele1, false);
            calls[2 * k + 1] = encode(g.allele2, g.phased);
        }
    }
}

const int32_t* PhasedVcfCalls::callsOf(int sample) const
{
    if (sample < 0 || sample >= sampleCount()) return nullptr;
    int slot = slotOfSample_[static_cast<std::size_t>(sample)];
    return slot < 0 ? nullptr : calls_[static_cast<std::size_t>(slot)].data();
}

namespace {

const char* const phasingLine = "##tavirlenPhasing=Calls that carry a PS value were phased within their "
                                "pedigree and are written paternal|maternal: the allele from the father first";
const char* const phaseSetLine = "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: the calls of "
                                 "one sample with the same PS are phased together\">";

const char* outputMode(const std::string& path)
{
    auto endsWith = [&path](const std::string& ending) {
        return path.size() > ending.size() && path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
    };
    if (endsWith(".bcf")) return "wb";
    if (endsWith(".vcf.gz")) return "wz";
    if (endsWith(".vcf")) return "w";
    return nullptr;
}

int alleleCode(int32_t value)
{
    if (value == bcf_int32_vector_end || value == bcf_int32_missing || bcf_gt_is_missing(value)) return 0;
    return bcf_gt_allele(value) + 1;
}

// Whether the result may replace the input call: it must keep every typed
// allele of the input, name only alleles of the site, and fill a missing
// allele only when filled calls are wanted.
bool replaces(int32_t in0, int32_t in1, const int32_t* result, int alleleCount, bool writeFilled)
{
    int i0 = alleleCode(in0), i1 = alleleCode(in1);
    int r0 = result[0] >> 1, r1 = result[1] >> 1;
    if (r0 > alleleCount || r1 > alleleCount || (r0 == 0 && r1 == 0)) return false;
    if (i0 == 0 || i1 == 0) {
        if (!writeFilled) return false;
        int typed = std::max(i0, i1);
        return typed == 0 || r0 == typed || r1 == typed;
    }
    return (r0 == i0 && r1 == i1) || (r0 == i1 && r1 == i0);
}

class PhasedVcfWriter {
public:
    PhasedVcfWriter(const PhasedVcfCalls& calls, bcf_hdr_t* header, int32_t phaseSet)
        : calls_(calls), header_(header), phaseSet_(phaseSet)
    {
    }

    // Puts the results of locus k into the record; false when the record has
    // no GT where the reading found one.
    bool rewrite(bcf1_t* rec, std::size_t k)
    {
        const int samples = calls_.sampleCount();
        int n = bcf_get_genotypes(header_, rec, &gt_.values, &gt_.capacity);
        if (n <= 0) return false;
        const int ploidy = n / samples, width = std::max(ploidy, 2);
        values_.assign(static_cast<std::size_t>(samples) * width, bcf_int32_vector_end);
        for (int s = 0; s < samples; ++s)
            std::copy_n(gt_.values + s * ploidy, ploidy, values_.begin() + s * width);
        bool hadPhaseSets = bcf_get_format_int32(header_, rec, "PS", &ps_.values, &ps_.capacity) == samples;
        phaseSets_.assign(static_cast<std::size_t>(samples), bcf_int32_missing);
        if (hadPhaseSets) std::copy_n(ps_.values, samples, phaseSets_.begin());
        bool anyPhaseSet = hadPhaseSets;
        for (int s = 0; s < samples; ++s) {
            const int32_t* result = calls_.callsOf(s);
            if (!result || result[2 * k] == PhasedVcfCalls::keepInput) continue;
            result += 2 * k;
            int32_t* call = &values_[static_cast<std::size_t>(s) * width];
            if (!replaces(call[0], call[1], result, rec->n_allele, calls_.writeFilled())) continue;
            std::fill_n(call, width, bcf_int32_vector_end);
            call[0] = result[0];
            call[1] = result[1];
            bool phased = bcf_gt_is_phased(result[1]);
            phaseSets_[static_cast<std::size_t>(s)] = phased ? phaseSet_ : bcf_int32_missing;
            anyPhaseSet = anyPhaseSet || phased;
        }
        if (bcf_update_genotypes(header_, rec, values_.data(), static_cast<int>(values_.size())) < 0) return false;
        return !anyPhaseSet || bcf_update_format_int32(header_, rec, "PS", phaseSets_.data(), samples) >= 0;
    }

private:
    const PhasedVcfCalls& calls_;
    bcf_hdr_t* header_;
    int32_t phaseSet_;
    hts::Buffer gt_;
    hts::Buffer ps_;
    std::vector<int32_t> values_;
    std::vector<int32_t> phaseSets_;
};

// Adds what the output needs to the input's header, which then serves for
// reading and writing alike: the phasing line, PS, and the chromosome's
// contig line when the input lacks it (BCF output needs it).
bool prepareHeader(bcf_hdr_t* header, const std::string& chromosome, std::string& error)
{
    int psId = bcf_hdr_id2int(header, BCF_DT_ID, "PS");
    if (psId >= 0 && bcf_hdr_idinfo_exists(header, BCF_HL_FMT, psId)
        && bcf_hdr_id2type(header, BCF_HL_FMT, psId) != BCF_HT_INT) {
        error = "the input VCF defines the FORMAT tag PS as something other than an integer";
        return false;
    }
    bool sound = bcf_hdr_get_hrec(header, BCF_HL_GEN, "tavirlenPhasing", nullptr, nullptr)
        || bcf_hdr_append(header, phasingLine) == 0;
    if (psId < 0 || !bcf_hdr_idinfo_exists(header, BCF_HL_FMT, psId))
        sound = sound && bcf_hdr_append(header, phaseSetLine) == 0;
    if (bcf_hdr_name2id(header, chromosome.c_str()) < 0)
        sound = sound && bcf_hdr_append(header, ("##contig=<ID=" + chromosome + ">").c_str()) == 0;
    if (!sound || bcf_hdr_sync(header) != 0) {
        error = "cannot extend the VCF header for the output";
        return false;
    }
    return true;
}

// A temporary file next to the final name; removed unless committed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& finalPath)
    {
        std::filesystem::path target(finalPath);
        path_ = (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(getpid()) + ".tmp"))
                    .string();
        int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        created_ = fd >= 0;
        if (created_) close(fd);
    }
    ~TemporaryFile()
    {
        if (created_) std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    bool created() const { return created_; }
    const std::string& path() const { return path_; }
    bool commit(const std::string& finalPath)
    {
        if (std::rename(path_.c_str(), finalPath.c_str()) != 0) return false;
        created_ = false;
        return true;
    }

private:
    std::string path_;
    bool created_ = false;
};

} // namespace

bool namesVcfFormat(const std::string& path)
{
    return outputMode(path) != nullptr;
}

bool writePhasedVcf(const std::string& inputPath, const std::string& outputPath, const PhasedVcfCalls& calls,
                    std::string& error)
{
    const char* mode = outputMode(outputPath);
    if (!mode) {
        error = "the VCF output " + outputPath + " must end in .vcf, .vcf.gz or .bcf";
        return false;
    }
    std::error_code ignored;
    if (std::filesystem::equivalent(inputPath, outputPath, ignored)) {
        error = "the VCF output " + outputPath + " would overwrite the input";
        return false;
    }
    hts::File in(hts_open(inputPath.c_str(), "r"));
    hts::Header header(in ? bcf_hdr_read(in.get()) : nullptr);
    if (!header) {
        error = "cannot read " + inputPath + " again to write the phased VCF";
        return false;
    }
    const std::string changed = "the VCF " + inputPath + " changed since it was read; " + outputPath + " not written";
    if (bcf_hdr_nsamples(header.get()) != calls.sampleCount()) {
        error = changed;
        return false;
    }
    if (!prepareHeader(header.get(), calls.chromosome(), error)) return false;
    const int rid = bcf_hdr_name2id(header.get(), calls.chromosome().c_str());

    TemporaryFile temporary(outputPath);
    hts::File out(temporary.created() ? hts_open(temporary.path().c_str(), mode) : nullptr);
    if (!out || bcf_hdr_write(out.get(), header.get()) < 0) {
        error = "cannot write " + outputPath;
        return false;
    }
    const std::vector<long>& sites = calls.siteRecords();
    long long firstPosition = calls.positions().empty() ? 1 : calls.positions().front();
    PhasedVcfWriter writer(calls, header.get(), static_cast<int32_t>(std::min<long long>(firstPosition, INT32_MAX)));
    hts::Record record(bcf_init());
    std::size_t k = 0;
    long recordIndex = -1;
    int status = 0;
    while ((status = bcf_read(in.get(), header.get(), record.get())) == 0) {
        bcf1_t* rec = record.get();
        if (rec->rid != rid) continue;
        if (++recordIndex == (k < sites.size() ? sites[k] : -1)) {
            if (rec->pos + 1 != calls.positions()[k] || !writer.rewrite(rec, k)) {
                error = changed;
                return false;
            }
            ++k;
        }
        if (bcf_write(out.get(), header.get(), rec) < 0) {
            error = "cannot write " + outputPath;
            return false;
        }
    }
    if (status < -1 || k != sites.size()) {
        error = status < -1 ? "cannot read " + inputPath + " again to write the phased VCF" : changed;
        return false;
    }
    if (hts_close(out.release()) != 0 || !temporary.commit(outputPath)) {
        error = "cannot write " + outputPath;
        return false;
    }
    return true;
}

bool phasedVcfOfTavirlen(const std::string& path)
{
    // Any file may stand under the name; htslib need not complain about it.
    const enum htsLogLevel level = hts_get_log_level();
    hts_set_log_level(HTS_LOG_OFF);
    hts::File in(hts_open(path.c_str(), "r"));
    hts::Header header(in ? bcf_hdr_read(in.get()) : nullptr);
    hts_set_log_level(level);
    return header && bcf_hdr_get_hrec(header.get(), BCF_HL_GEN, "tavirlenPhasing", nullptr, nullptr) != nullptr;
}

} // namespace tavirlen
