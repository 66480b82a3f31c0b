#include "pedigree/Crossovers.h"

#include <algorithm>

namespace tavirlen {

std::vector<Crossover> findCrossovers(const Pedigree& pedigree)
{
    std::vector<Crossover> crossovers;
    // One per counted recombinant, as a rule: room for them at once, never
    // more than a change per member, side and locus whatever the count says.
    const std::size_t most = 2 * pedigree.members.size() * static_cast<std::size_t>(std::max(pedigree.locusCount, 0));
    crossovers.reserve(std::min(static_cast<std::size_t>(std::max(pedigree.recombinantCount, 0)), most));
    for (const auto& [id, member] : pedigree.members) {
        if (member.isFounder()) continue;
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = pedigree.member(member.parentId(side));
            auto informative = [&](std::size_t k) {
                return parent && k < parent->genotypes.size() && parent->genotypes[k].informative();
            };
            const std::size_t loci = member.genotypes.size();
            int last = -1;
            std::size_t lastDetermined = 0;
            std::size_t lastInformative = loci; // none yet
            for (std::size_t k = 0; k < loci; ++k) {
                const int source = member.genotypes[k].source(side);
                if (source == -1) continue;
                if (last != -1 && source != last) {
                    Crossover crossover{id, member.parentId(side), side, 0, static_cast<int>(k)};
                    crossover.locusBefore = static_cast<int>(lastInformative < loci ? lastInformative : lastDetermined);
                    for (std::size_t j = k; j < loci; ++j) {
                        const int next = member.genotypes[j].source(side);
                        if (next != -1 && next != source) break;
                        if (next == source && informative(j)) {
                            crossover.locusAfter = static_cast<int>(j);
                            break;
                        }
                    }
                    crossovers.push_back(crossover);
                    lastInformative = loci;
                }
                last = source;
                lastDetermined = k;
                if (informative(k)) lastInformative = k;
            }
        }
    }
    return crossovers;
}

} // namespace tavirlen
