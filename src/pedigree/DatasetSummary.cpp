#include "pedigree/DatasetSummary.h"

#include "pedigree/TextLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tavirlen {

Pedigree& DatasetSummary::addPedigree(std::unique_ptr<Pedigree> owned)
{
    countPedigree(*owned);
    return keep(std::move(owned));
}

Pedigree& DatasetSummary::keep(std::unique_ptr<Pedigree> owned)
{
    Pedigree& p = *owned;
    // The entry counted last with this id is this family's.
    auto [first, last] = families.equal_range(p.familyId);
    for (auto entry = last; entry != first;) {
        --entry;
        if (!entry->second.kept) {
            entry->second.kept = &p;
            break;
        }
    }
    pedigrees.emplace(p.familyId, std::move(owned));
    return p;
}

void DatasetSummary::countPedigree(Pedigree& p)
{
    bool first = families.empty();
    families.emplace(p.familyId, FamilyEntry{p.familyText(), 1.0f, nullptr});
    p.datasetSummary = this;
    individualCount += p.memberCount;
    missingAlleleCount += p.missingAlleleCount;
    if (first) {
        locusCount = p.locusCount;
        alleleCounts.assign(static_cast<std::size_t>(std::max(locusCount, 0)), {});
        heterozygousCounts.assign(static_cast<std::size_t>(std::max(locusCount, 0)), 0);
    }

    for (const auto& [id, m] : p.members) {
        if (!m.isFounder()) {
            const Individual* father = p.member(m.fatherId);
            const Individual* mother = p.member(m.motherId);
            if (!father || !mother) continue;
            for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
                if (k >= father->genotypes.size() || k >= mother->genotypes.size()) break;
                const GenotypeRecord& f = father->genotypes[k];
                const GenotypeRecord& mo = mother->genotypes[k];
                if (!m.orderByParents(f.allele1, f.allele2, mo.allele1, mo.allele2, static_cast<int>(k)).ok)
                    ++freeLocusCount;
            }
            continue;
        }
        ++founderCount;
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            bool heterozygous = g.allele1 != g.allele2 && g.allele1 >= 1 && g.allele2 >= 1;
            // A family with more loci than the first one adds what fits the
            // per-locus tables; its phase freedom still counts in full.
            if (k < alleleCounts.size()) {
                ++alleleCounts[k][g.allele1];
                ++alleleCounts[k][g.allele2];
                if (heterozygous) ++heterozygousCounts[k];
            }
            if (heterozygous) ++freeLocusCount;
        }
        --freeLocusCount;
    }
}

void DatasetSummary::countFounderHaplotypes()
{
    for (const auto& [familyId, p] : pedigrees) countFounderHaplotypes(*p);
}

void DatasetSummary::countFounderHaplotypes(const Pedigree& p)
{
    // The alleles' numbers joined, written straight into room for the
    // longest: an int takes at most 11 characters.
    std::string text;
    for (const auto& [id, m] : p.members) {
        if (!m.isFounder()) continue;
        text.resize(11 * m.genotypes.size());
        for (int side = 0; side < 2; ++side) {
            char* at = text.data();
            for (const GenotypeRecord& g : m.genotypes) at = std::to_chars(at, text.data() + text.size(), g.allele(side)).ptr;
            haplotypeTally_.add(std::string_view(text.data(), static_cast<std::size_t>(at - text.data())));
        }
    }
}

std::map<std::string, int> DatasetSummary::haplotypeCounts() const
{
    std::map<std::string, int> counts;
    for (const auto& [text, count] : haplotypeTally_.sorted()) counts.emplace_hint(counts.end(), text, count);
    return counts;
}

void DatasetSummary::computeLikelihoods()
{
    if (likelihoodSkipped) return;
    log10AlleleFrequencies.assign(alleleCounts.size(), {});
    for (std::size_t k = 0; k < alleleCounts.size(); ++k)
        for (const auto& [allele, count] : alleleCounts[k])
            log10AlleleFrequencies[k][allele] = std::log10(count * 0.5 / founderCount);
    log10Theta.clear();
    log10OneMinusTheta.clear();
    for (float theta : markerDistances) {
        log10Theta.push_back(std::log10(static_cast<double>(theta)));
        log10OneMinusTheta.push_back(std::log10(1.0 - static_cast<double>(theta)));
    }
    for (auto& [familyId, entry] : families) {
        if (!entry.kept) continue;
        entry.kept->log10Likelihood = static_cast<float>(log10Likelihood(*entry.kept));
        entry.log10Likelihood = entry.kept->log10Likelihood;
    }
}

double DatasetSummary::log10Likelihood(Pedigree& p)
{
    double likelihood = 0.0;
    for (const auto& [id, m] : p.members) {
        // Loci beyond what this member, the frequency tables or the interval
        // list hold contribute nothing rather than being read out of range.
        std::size_t loci = std::min(m.genotypes.size(), static_cast<std::size_t>(std::max(locusCount, 0)));
        if (m.isFounder()) {
            for (std::size_t k = 0; k < loci && k < log10AlleleFrequencies.size(); ++k) {
                likelihood += log10AlleleFrequencies[k][m.genotypes[k].allele1];
                likelihood += log10AlleleFrequencies[k][m.genotypes[k].allele2];
            }
            continue;
        }
        for (int side = 0; side < 2; ++side) {
            likelihood += std::log10(0.5);
            if (loci == 0) continue;
            int previous = m.genotypes[0].source(side);
            for (std::size_t k = 1; k < loci && k - 1 < log10Theta.size(); ++k) {
                int source = m.genotypes[k].source(side);
                if (source == previous) {
                    likelihood += log10OneMinusTheta[k - 1];
                } else {
                    likelihood += log10Theta[k - 1];
                    previous = source;
                }
            }
        }
    }
    return likelihood;
}

bool DatasetSummary::writeStatistics(std::ostream& res) const
{
    // A large run lists a few numbers per family here: they are formatted in
    // memory as the stream would write them (its precision, default
    // notation) and written a block at a time.
    const int precision = static_cast<int>(res.precision());
    std::string text;
    auto line = [&](std::string_view name, double value) {
        text += name;
        text += '\t';
        appendGeneral(text, value, precision);
        text += '\n';
        writeText(res, text, textBlock);
    };
    text = "Missing rate: ";
    appendGeneral(text, missingAlleleCount * 0.5 / (static_cast<double>(locusCount) * individualCount), precision);
    text += "\n\nPedigreeID\tLog10(likelihood)\n";
    for (const auto& [familyId, entry] : families) line(entry.name, entry.log10Likelihood);
    text += "\nHaplotype\tFrequency\n";
    for (const auto& [haplotype, count] : haplotypeTally_.sorted()) line(haplotype, count / (2.0 * founderCount));
    writeText(res, text);
    return true;
}

bool DatasetSummary::writeLocusStatistics(std::ostream& res) const
{
    res.precision(5);
    res << "Total Number of Founders\t" << founderCount << ";\t"
        << "Total Number of Loci\t" << locusCount << ";\t"
        << "Total Number of Free Loci\t" << freeLocusCount << "\n";
    res << "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n";
    for (std::size_t k = 0; k < alleleCounts.size(); ++k) {
        res << k << "\t";
        for (const auto& [allele, count] : alleleCounts[k])
            res << allele << "\t" << count * 0.5 / founderCount << "\t";
        res << static_cast<double>(heterozygousCounts[k]) / founderCount << "\n";
    }
    return true;
}

} // namespace tavirlen
