#include "PhasingTestSupport.h"

#include "memberdp/SourceCosts.h"
#include "memberdp/StateLayout.h"

#include <sstream>
#include <stdexcept>

namespace tavirlen::test {

std::string loci(const Individual& member)
{
    std::ostringstream text;
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
        const GenotypeRecord& g = member.genotypes[k];
        if (k) text << ' ';
        text << g.allele1 << (g.phased ? '|' : ' ') << g.allele2 << '(' << int(g.paternalSource) << ','
             << int(g.maternalSource) << ')';
    }
    return text.str();
}

std::string loci(const Pedigree& pedigree, int id)
{
    const Individual* m = pedigree.member(id);
    if (!m) throw std::invalid_argument("no member " + std::to_string(id));
    return loci(*m);
}

void setLoci(Individual& member, const std::string& text)
{
    std::istringstream in(text);
    for (GenotypeRecord& g : member.genotypes) {
        char bar = 0;
        char open = 0;
        char comma = 0;
        char close = 0;
        int paternal = 0;
        int maternal = 0;
        in >> g.allele1;
        in.get(bar);
        in >> g.allele2 >> open >> paternal >> comma >> maternal >> close;
        if (!in || (bar != '|' && bar != ' ') || open != '(' || comma != ',' || close != ')')
            throw std::invalid_argument("bad loci text: " + text);
        g.phased = bar == '|';
        g.paternalSource = static_cast<signed char>(paternal);
        g.maternalSource = static_cast<signed char>(maternal);
    }
}

} // namespace tavirlen::test

namespace tavirlen::test {

WrittenFaults writtenFaults(const Pedigree& pedigree)
{
    WrittenFaults faults;
    auto note = [&](int id, int side, std::size_t k, const char* what) {
        if (faults.first.empty())
            faults.first = std::string(what) + " at member " + std::to_string(id) + " side " + std::to_string(side)
                + " locus " + std::to_string(k);
    };
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = pedigree.member(m.parentId(side));
            if (!parent) continue;
            for (std::size_t k = 0; k < m.genotypes.size() && k < parent->genotypes.size(); ++k) {
                const GenotypeRecord& g = m.genotypes[k];
                const GenotypeRecord& p = parent->genotypes[k];
                if (g.allele(side) < 1) continue;
                const int source = g.source(side);
                if (p.allele1 >= 1 && p.allele2 >= 1 && g.allele(side) != p.allele1 && g.allele(side) != p.allele2) {
                    ++faults.unfitAlleles;
                    note(id, side, k, "unfit allele");
                } else if ((source == 0 || source == 1) && p.allele(source) >= 1 && p.allele(source) != g.allele(side)) {
                    // Also where the parent lacks its other allele: a source
                    // naming its typed one says the child carries that.
                    ++faults.wrongSources;
                    note(id, side, k, "wrong source");
                }
            }
        }
    }
    return faults;
}

} // namespace tavirlen::test

namespace tavirlen::test {

int fewestRecombinants(const Pedigree& pedigree)
{
    if (stateBitCount(pedigree) > maximumStateBits) return -1;
    StateLayout layout(pedigree);
    if (!layout.sound) return -1;
    if (pedigree.locusCount == 0) return 0;
    std::vector<LocusRules> rules;
    for (int l = 0; l < pedigree.locusCount; ++l) rules.push_back(locusRules(pedigree, layout, l));
    SourceCosts costs = computeSourceCosts(layout, rules);
    return costs.impossibleLocus >= 0 ? -1 : static_cast<int>(costs.base.back());
}

} // namespace tavirlen::test
