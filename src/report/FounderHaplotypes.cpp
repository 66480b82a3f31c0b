#include "report/FounderHaplotypes.h"

namespace tavirlen {

FounderHaplotypes::FounderHaplotypes(const Pedigree& pedigree) : pedigree_(pedigree)
{
    for (const auto& [id, m] : pedigree.members)
        if (m.isFounder()) founderIndex_.emplace(id, static_cast<int>(founderIndex_.size()));
}

std::vector<int> FounderHaplotypes::trace(int id, int side) const
{
    const Individual* member = pedigree_.member(id);
    if (!member) return {};
    std::vector<int> haplotypes(member->genotypes.size(), -1);
    for (std::size_t k = 0; k < haplotypes.size(); ++k) {
        const Individual* at = member;
        int s = side;
        // A path to a founder is never longer than the family; the bound
        // only guards against parent links that loop.
        for (std::size_t step = 0; at && step <= pedigree_.members.size(); ++step) {
            if (k >= at->genotypes.size() || !at->genotypes[k].phased) break;
            if (at->isFounder()) {
                auto founder = founderIndex_.find(at->individualId);
                if (founder != founderIndex_.end()) haplotypes[k] = 2 * founder->second + s;
                break;
            }
            int source = at->genotypes[k].source(s);
            if (source != 0 && source != 1) break;
            at = pedigree_.member(at->parentId(s));
            s = source;
        }
    }
    return haplotypes;
}

std::vector<int> FounderHaplotypes::crossovers(int id, int side) const
{
    const Individual* member = pedigree_.member(id);
    std::vector<int> loci;
    if (!member || member->isFounder()) return loci;
    int last = -1;
    for (std::size_t k = 0; k < member->genotypes.size(); ++k) {
        int source = member->genotypes[k].source(side);
        if (source < 0) continue;
        if (last >= 0 && source != last) loci.push_back(static_cast<int>(k));
        last = source;
    }
    return loci;
}

} // namespace tavirlen
