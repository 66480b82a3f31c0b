#include "phasing/PolishFamily.h"

#include "phasing/PhasingHelpers.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

namespace tavirlen::polish {

namespace {

constexpr int unreachable = std::numeric_limits<int>::max() / 4;

// Back-pointers take four bytes per state and locus, and each locus tries
// every state for each pair of the parents' records and each child: a move
// may use this many states times loci.
constexpr std::size_t mostStateLoci = std::size_t(1) << 24;
constexpr std::size_t mostSides = 16;
constexpr std::size_t mostCombinations = 4096;
constexpr std::size_t mostWork = std::size_t(1) << 29;

// Which of the parent's alleles the child's allele is (0 or 1); -1 where
// that does not show (the parent homozygous for it, either missing); -2
// where the parent cannot have passed it on.
int link(std::pair<int, int> parent, int allele)
{
    if (missingAllele(allele)) return -1;
    if (missingAllele(parent.first) != missingAllele(parent.second)) {
        // As polish::sourceOf: the typed allele where the child carries it, else the missing one.
        const int lacking = missingAllele(parent.first) ? 0 : 1;
        const int typed = lacking == 0 ? parent.second : parent.first;
        return allele == typed ? 1 - lacking : lacking;
    }
    if (missingAllele(parent.first)) return -1;
    if (parent.first == parent.second) return allele == parent.first ? -1 : -2;
    if (allele == parent.first) return 0;
    if (allele == parent.second) return 1;
    return -2;
}

std::pair<int, int> recordOf(const GenotypeRecord& g) { return {g.allele1, g.allele2}; }
int alleleOf(std::pair<int, int> record, int side) { return side == 0 ? record.first : record.second; }

// A side with a moving end. Movers: the parents, then the children.
struct Side {
    const Individual* child;
    const Individual* parent;
    int side;
    int childMover;  // -1: held
    int parentMover; // -1: held
};

// The bits a side's source asks for, added to mask and value; false when the
// records do not fit.
bool require(std::pair<int, int> parent, std::pair<int, int> child, int side, std::size_t bit, std::size_t& mask,
             std::size_t& value)
{
    const int source = link(parent, alleleOf(child, side));
    if (source == -2) return false;
    if (source == -1) return true;
    mask |= std::size_t(1) << bit;
    if (source == 1) value |= std::size_t(1) << bit;
    return true;
}

} // namespace

std::optional<bool> rechooseFamily(Pedigree& pedigree, const std::vector<Individual*>& parentMovers,
                                   const std::vector<Individual*>& children,
                                   const std::vector<std::vector<Records>>& parents,
                                   const std::vector<std::vector<Records>>& childRecords)
{
    const std::size_t hubs = parentMovers.size();
    std::vector<Individual*> movers = parentMovers;
    movers.insert(movers.end(), children.begin(), children.end());
    auto moverOf = [&](const Individual* m) {
        auto at = std::find(movers.begin(), movers.end(), m);
        return at == movers.end() ? -1 : static_cast<int>(at - movers.begin());
    };
    // The sides, and which depend on the parents' records only (owner 0) or
    // on child c's too (owner c + 1).
    std::vector<Side> sides;
    std::vector<std::size_t> owner;
    for (std::size_t i = 0; i < movers.size(); ++i) {
        for (int side = 0; side < 2; ++side)
            if (const Individual* parent = parentOf(pedigree, *movers[i], side)) {
                sides.push_back({movers[i], parent, side, static_cast<int>(i), moverOf(parent)});
                owner.push_back(i < hubs ? 0 : i - hubs + 1);
            }
        for (const Child& c : childrenOf(pedigree, *movers[i])) {
            if (moverOf(c.member) != -1) continue;
            sides.push_back({c.member, movers[i], c.side, -1, static_cast<int>(i)});
            owner.push_back(i < hubs ? 0 : i - hubs + 1);
        }
    }
    const std::size_t loci = parents.size();
    const std::size_t states = std::size_t(1) << std::min(sides.size(), mostSides + 1);
    if (sides.empty() || sides.size() > mostSides || states > mostStateLoci / std::max<std::size_t>(loci, 1))
        return std::nullopt;
    // Each locus meets every state with every combination of the parents'
    // records.
    std::size_t work = 0;
    for (std::size_t k = 0; k < loci; ++k) {
        std::size_t combinations = 1;
        for (const Records& r : parents[k]) combinations = std::min(combinations * r.size(), mostCombinations);
        work += combinations;
    }
    if (work > mostWork / states) return std::nullopt;

    std::vector<int> cost(states, 0);
    std::vector<int> reach(states);
    std::vector<std::uint16_t> from(states);
    std::vector<std::uint16_t> previous(loci * states);
    std::vector<std::uint16_t> taken(loci * states);
    // Per child: (mask, value) of each record that fits the parents' pair.
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> fitting(children.size());
    // A combination of the parents' records at k, as a mixed-radix number.
    auto pairOf = [&](std::size_t k, std::size_t pair) {
        std::vector<std::pair<int, int>> records;
        for (const Records& r : parents[k]) {
            records.push_back(r[pair % r.size()]);
            pair /= r.size();
        }
        return records;
    };
    // The records the movers take at k for a pair, a child's own (-1 for the
    // parents): the bits they ask of their sides.
    auto ask = [&](std::size_t k, std::size_t pair, int child, std::size_t record, std::size_t& mask,
                   std::size_t& value) {
        const std::vector<std::pair<int, int>> combination = pairOf(k, pair);
        auto recordAt = [&](int mover) -> std::pair<int, int> {
            if (mover < static_cast<int>(hubs)) return combination[static_cast<std::size_t>(mover)];
            if (mover == child + static_cast<int>(hubs)) return childRecords[static_cast<std::size_t>(child)][k][record];
            return recordOf(movers[static_cast<std::size_t>(mover)]->genotypes[k]);
        };
        mask = 0;
        value = 0;
        for (std::size_t b = 0; b < sides.size(); ++b) {
            if (owner[b] != static_cast<std::size_t>(child + 1)) continue;
            const Side& s = sides[b];
            const auto p = s.parentMover == -1 ? recordOf(s.parent->genotypes[k]) : recordAt(s.parentMover);
            const auto c = s.childMover == -1 ? recordOf(s.child->genotypes[k]) : recordAt(s.childMover);
            if (!require(p, c, s.side, b, mask, value)) return false;
        }
        return true;
    };

    bool changes = false;
    for (std::size_t k = 0; k < loci; ++k) {
        reach = cost;
        relaxSourceChanges(reach, from, states);
        std::fill(cost.begin(), cost.end(), unreachable);
        std::size_t pairs = 1;
        for (const Records& r : parents[k]) pairs *= r.size();
        changes = changes || pairs > 1;
        for (std::size_t c = 0; c < children.size(); ++c) changes = changes || childRecords[c][k].size() > 1;
        for (std::size_t pair = 0; pair < std::min(pairs, mostCombinations); ++pair) {
            std::size_t mask = 0;
            std::size_t value = 0;
            if (!ask(k, pair, -1, 0, mask, value)) continue;
            bool possible = true;
            for (std::size_t c = 0; c < children.size() && possible; ++c) {
                fitting[c].clear();
                for (std::size_t r = 0; r < childRecords[c][k].size(); ++r) {
                    std::size_t m = 0;
                    std::size_t v = 0;
                    if (ask(k, pair, static_cast<int>(c), r, m, v)) fitting[c].push_back({m, v});
                }
                possible = !fitting[c].empty();
            }
            if (!possible) continue;
            for (std::size_t s = 0; s < states; ++s) {
                if ((s & mask) != value || reach[s] >= cost[s]) continue;
                bool allowed = true;
                for (std::size_t c = 0; c < children.size() && allowed; ++c)
                    allowed = std::any_of(fitting[c].begin(), fitting[c].end(),
                                          [&](const auto& mv) { return (s & mv.first) == mv.second; });
                if (!allowed) continue;
                cost[s] = reach[s];
                previous[k * states + s] = from[s];
                taken[k * states + s] = static_cast<std::uint16_t>(pair);
            }
        }
        if (std::none_of(cost.begin(), cost.end(), [](int c) { return c < unreachable; })) return false;
    }
    if (!changes) return false;

    std::size_t state = static_cast<std::size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
    const int before = moveRecombinants(pedigree, movers);
    if (cost[state] >= before) return false;
    std::vector<std::vector<std::pair<int, int>>> stored(movers.size());
    for (std::size_t i = 0; i < movers.size(); ++i)
        for (const GenotypeRecord& g : movers[i]->genotypes) stored[i].push_back(recordOf(g));
    // Back along the loci: the parents' pair as chosen, then each child's
    // first record that gives the state's bits.
    std::vector<std::vector<std::pair<int, int>>> chosen(movers.size(), std::vector<std::pair<int, int>>(loci));
    for (std::size_t k = loci; k-- > 0;) {
        const std::size_t pair = taken[k * states + state];
        const std::vector<std::pair<int, int>> combination = pairOf(k, pair);
        for (std::size_t p = 0; p < hubs; ++p) chosen[p][k] = combination[p];
        for (std::size_t c = 0; c < children.size(); ++c) {
            chosen[c + hubs][k] = childRecords[c][k][0];
            for (std::size_t r = 0; r < childRecords[c][k].size(); ++r) {
                std::size_t m = 0;
                std::size_t v = 0;
                if (ask(k, pair, static_cast<int>(c), r, m, v) && (state & m) == v) {
                    chosen[c + hubs][k] = childRecords[c][k][r];
                    break;
                }
            }
        }
        state = previous[k * states + state];
    }
    auto set = [&](const std::vector<std::vector<std::pair<int, int>>>& records) {
        for (std::size_t i = 0; i < movers.size(); ++i)
            for (std::size_t k = 0; k < loci; ++k)
                std::tie(movers[i]->genotypes[k].allele1, movers[i]->genotypes[k].allele2) = records[i][k];
    };
    set(chosen);
    if (moveRecombinants(pedigree, movers) < before) return true;
    set(stored);
    return false;
}

} // namespace tavirlen::polish
