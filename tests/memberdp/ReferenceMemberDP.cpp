#include "memberdp/ReferenceMemberDP.h"

#include <utility>
#include <vector>

namespace tavirlen::reference {

namespace {

constexpr int impossible = 32767;

bool hasHeterozygousLocusBefore(const Individual& m, int locus)
{
    for (int k = 0; k < locus; ++k) {
        const GenotypeRecord& g = m.genotypes[static_cast<std::size_t>(k)];
        if (g.allele1 != g.allele2 && g.allele1 != 0 && g.allele2 != 0) return true;
    }
    return false;
}

} // namespace

int applyState(Pedigree& pedigree, unsigned state, int locus)
{
    for (int id : pedigree.processingOrder) {
        Individual& m = *pedigree.member(id);
        GenotypeRecord& g = m.genotypes[static_cast<std::size_t>(locus)];
        const unsigned phase = state & 1;
        state >>= 1;
        g.phased = true;
        if ((phase == 0 && g.allele1 > g.allele2) || (phase == 1 && g.allele1 < g.allele2))
            std::swap(g.allele1, g.allele2);
        if (m.isFounder()) {
            g.paternalSource = 0;
            g.maternalSource = 0;
        } else {
            g.paternalSource = static_cast<int>(state & 1);
            g.maternalSource = static_cast<int>((state >> 1) & 1);
            state >>= 2;
        }
        if (phase == 1 && g.allele1 == g.allele2) return impossible;
        if (phase == 1 && m.isFounder() && !hasHeterozygousLocusBefore(m, locus)) return impossible;
    }
    return 0;
}

int stateCost(Pedigree& pedigree, unsigned state, int locus)
{
    if (applyState(pedigree, state, locus) == impossible) return impossible;
    const std::size_t k = static_cast<std::size_t>(locus);
    for (int id : pedigree.processingOrder) {
        const Individual& m = *pedigree.member(id);
        const int side = m.sex - 1;
        for (int childId : m.childIds) {
            const GenotypeRecord& c = pedigree.member(childId)->genotypes[k];
            if (c.allele(side) != m.genotypes[k].allele(c.source(side))) return impossible;
        }
    }
    return 0;
}

int transitionCost(Pedigree& pedigree, unsigned previous, unsigned next, int locus)
{
    applyState(pedigree, previous, locus - 1);
    applyState(pedigree, next, locus);
    int count = 0;
    for (auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        const GenotypeRecord& a = m.genotypes[static_cast<std::size_t>(locus - 1)];
        const GenotypeRecord& b = m.genotypes[static_cast<std::size_t>(locus)];
        count += (a.paternalSource != b.paternalSource) + (a.maternalSource != b.maternalSource);
    }
    return count;
}

long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res,
                          long long pathLimit)
{
    const int n = static_cast<int>(pedigree.members.size());
    const int f = pedigree.founderCount;
    const unsigned states = 1u << (3 * n - 2 * f);
    const int loci = pedigree.locusCount;

    struct Cell {
        int cost = impossible;
        std::vector<unsigned> predecessors;
    };
    std::vector<std::vector<Cell>> table(states, std::vector<Cell>(static_cast<std::size_t>(loci)));
    for (unsigned x = 0; x < states; ++x) table[x][0].cost = stateCost(pedigree, x, 0);
    for (int l = 1; l < loci; ++l) {
        for (unsigned x = 0; x < states; ++x) {
            Cell& cell = table[x][static_cast<std::size_t>(l)];
            if (stateCost(pedigree, x, l) == impossible) continue;
            for (unsigned y = 0; y < states; ++y) {
                const int before = table[y][static_cast<std::size_t>(l - 1)].cost;
                if (before == impossible) continue;
                const int c = before + transitionCost(pedigree, y, x, l);
                if (c < cell.cost) {
                    cell.cost = c;
                    cell.predecessors = {y};
                } else if (c == cell.cost) {
                    cell.predecessors.push_back(y);
                }
            }
        }
    }

    std::vector<int> current(static_cast<std::size_t>(loci), 0);
    unsigned phaseMask = 0;
    int bit = 0;
    for (int id : pedigree.processingOrder) {
        phaseMask |= 1u << bit;
        bit += pedigree.member(id)->isFounder() ? 1 : 3;
    }
    int optimum = impossible;
    for (unsigned x = 0; x < states; ++x)
        if (table[x][static_cast<std::size_t>(loci - 1)].cost < optimum) optimum = table[x][static_cast<std::size_t>(loci - 1)].cost;

    std::vector<std::pair<unsigned, int>> stack;
    for (unsigned x = 0; x < states; ++x)
        if (table[x][static_cast<std::size_t>(loci - 1)].cost == optimum) stack.push_back({x, loci - 1});

    std::vector<std::vector<int>> written;
    long long paths = 0;
    while (!stack.empty()) {
        auto [x, l] = stack.back();
        stack.pop_back();
        while (true) {
            current[static_cast<std::size_t>(l)] = static_cast<int>(x & phaseMask);
            applyState(pedigree, x, l);
            if (l == 0) break;
            const std::vector<unsigned>& before = table[x][static_cast<std::size_t>(l)].predecessors;
            if (before.size() == 1) {
                x = before.front();
                --l;
                continue;
            }
            for (unsigned y : before) stack.push_back({y, l - 1});
            break;
        }
        if (l != 0) continue;
        if (++paths > pathLimit) return -1;
        bool seen = false;
        for (const auto& w : written) seen = seen || w == current;
        if (seen) continue;
        pedigree.recombinantCount = optimum;
        pedigree.writeOut(out);
        pedigree.writeDat(dat);
        pedigree.writeRes(res);
        written.push_back(current);
    }
    return static_cast<long long>(written.size());
}

} // namespace tavirlen::reference
