#include "phasing/PolishSupport.h"

#include "phasing/PhasingHelpers.h"

#include <set>
#include <utility>

namespace tavirlen::polish {

int sourceOf(const GenotypeRecord& parent, int allele)
{
    if (missingAllele(allele)) return -1;
    // A parent lacking one allele passed that one on when its typed allele is
    // not the child's; a child carrying the typed one is counted on it, since
    // a sibling may show the missing one to be another allele.
    if (const int lacking = lackingSlot(parent); lacking != -1)
        return allele == parent.allele(1 - lacking) ? 1 - lacking : lacking;
    if (!parent.informative()) return -1;
    if (allele == parent.allele1) return 0;
    if (allele == parent.allele2) return 1;
    return -1;
}

int sideRecombinants(const Individual& member, const Individual* parent, int side)
{
    if (!parent) return 0;
    int last = -1;
    int count = 0;
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
        int source = sourceOf(parent->genotypes[k], member.genotypes[k].allele(side));
        if (source == -1) continue;
        if (last != -1 && source != last) ++count;
        last = source;
    }
    return count;
}

std::vector<Child> childrenOf(const Pedigree& pedigree, const Individual& member)
{
    std::vector<Child> children;
    for (int id : member.childIds)
        if (const Individual* child = pedigree.member(id))
            children.push_back({child, child->fatherId == member.individualId ? 0 : 1});
    return children;
}

bool passable(const Individual* parent, std::size_t k, int allele)
{
    if (!parent || missingAllele(allele)) return true;
    const GenotypeRecord& p = parent->genotypes[k];
    return missingAllele(p.allele1) || missingAllele(p.allele2) || allele == p.allele1 || allele == p.allele2;
}

int moveRecombinants(Pedigree& pedigree, const std::vector<Individual*>& movers)
{
    std::set<std::pair<int, int>> sides; // (member, side)
    for (const Individual* m : movers) {
        sides.insert({m->individualId, 0});
        sides.insert({m->individualId, 1});
        for (const Child& c : childrenOf(pedigree, *m)) sides.insert({c.member->individualId, c.side});
    }
    int count = 0;
    for (auto [id, side] : sides) {
        const Individual* m = pedigree.member(id);
        count += sideRecombinants(*m, parentOf(pedigree, *m, side), side);
    }
    return count;
}

bool openForTurning(Pedigree& pedigree, const Individual& m, std::size_t k)
{
    const GenotypeRecord& g = m.genotypes[k];
    if (!g.informative()) return false;
    for (int side = 0; side < 2; ++side) {
        const Individual* parent = parentOf(pedigree, m, side);
        if (!parent) continue;
        const GenotypeRecord& p = parent->genotypes[k];
        if (!p.informative() || sourceOf(p, g.allele1) == -1 || sourceOf(p, g.allele2) == -1) return false;
    }
    for (const Child& c : childrenOf(pedigree, m))
        if (sourceOf(g, c.member->genotypes[k].allele(c.side)) == -1) return false;
    return true;
}

void relaxSourceChanges(std::vector<int>& reach, std::vector<std::uint16_t>& from, std::size_t states)
{
    for (std::size_t s = 0; s < states; ++s) from[s] = static_cast<std::uint16_t>(s);
    for (std::size_t bit = 1; bit < states; bit <<= 1)
        for (std::size_t s = 0; s < states; ++s) {
            if (s & bit) continue;
            const std::size_t t = s | bit;
            if (reach[t] + 1 < reach[s]) {
                reach[s] = reach[t] + 1;
                from[s] = from[t];
            } else if (reach[s] + 1 < reach[t]) {
                reach[t] = reach[s] + 1;
                from[t] = from[s];
            }
        }
}

} // namespace tavirlen::polish
