#include "phasing/PolishMember.h"

#include "phasing/PhasingHelpers.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

namespace tavirlen::polish {

namespace {

constexpr int unreachable = std::numeric_limits<int>::max() / 4;

// Back-pointers take three bytes per state and locus; a move may use this
// many states times loci.
constexpr std::size_t mostStateLoci = std::size_t(1) << 24;

// A side the member takes part in: its own from a parent, or a child's from
// it.
struct Followed {
    const Individual* parent; // nullptr: the member itself is the parent
    const Individual* child;  // nullptr: the member itself is the child
    int side;
};

// The sources a record allows: the state must have `value` on the bits of
// `mask`; the other bits are free. False when some child's or the member's
// own allele does not fit the record.
bool allowed(const std::vector<Followed>& sides, std::size_t k, std::pair<int, int> record, std::size_t& mask,
             std::size_t& value)
{
    GenotypeRecord g;
    g.allele1 = record.first;
    g.allele2 = record.second;
    mask = 0;
    value = 0;
    for (std::size_t b = 0; b < sides.size(); ++b) {
        const Followed& s = sides[b];
        const GenotypeRecord& parent = s.parent ? s.parent->genotypes[k] : g;
        const int allele = s.child ? s.child->genotypes[k].allele(s.side) : g.allele(s.side);
        if (!parent.informative() || missingAllele(allele)) continue;
        const int source = sourceOf(parent, allele);
        if (source == -1) return false;
        mask |= std::size_t(1) << b;
        if (source == 1) value |= std::size_t(1) << b;
    }
    return true;
}

} // namespace

bool rechooseMember(Pedigree& pedigree, Individual& member, const std::vector<Records>& records)
{
    std::vector<Followed> sides;
    for (int side = 0; side < 2; ++side)
        if (const Individual* parent = parentOf(pedigree, member, side)) sides.push_back({parent, nullptr, side});
    for (const Child& c : childrenOf(pedigree, member)) sides.push_back({nullptr, c.member, c.side});
    const std::size_t loci = records.size();
    const std::size_t states = std::size_t(1) << sides.size();
    if (sides.empty() || sides.size() > mostFollowedSides || states > mostStateLoci / std::max<std::size_t>(loci, 1))
        return false;

    std::vector<int> cost(states, 0);
    std::vector<int> reach(states);
    std::vector<std::uint16_t> from(states);
    std::vector<std::uint16_t> previous(loci * states);
    std::vector<std::uint8_t> taken(loci * states);
    bool changes = false;
    for (std::size_t k = 0; k < loci; ++k) {
        if (records[k].size() > 1) changes = true;
        // The cheapest way to reach each state from the last locus: each
        // source that changes costs one.
        reach = cost;
        relaxSourceChanges(reach, from, states);
        std::fill(cost.begin(), cost.end(), unreachable);
        for (std::size_t r = records[k].size(); r-- > 0;) {
            std::size_t mask = 0;
            std::size_t value = 0;
            if (!allowed(sides, k, records[k][r], mask, value)) continue;
            for (std::size_t s = 0; s < states; ++s) {
                if ((s & mask) != value || reach[s] > cost[s]) continue;
                cost[s] = reach[s];
                previous[k * states + s] = from[s];
                taken[k * states + s] = static_cast<std::uint8_t>(r);
            }
        }
        if (std::find_if(cost.begin(), cost.end(), [](int c) { return c < unreachable; }) == cost.end()) return false;
    }
    if (!changes) return false;

    std::size_t state = static_cast<std::size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
    std::vector<std::pair<int, int>> stored(loci);
    for (std::size_t k = 0; k < loci; ++k) stored[k] = {member.genotypes[k].allele1, member.genotypes[k].allele2};
    const int before = moveRecombinants(pedigree, {&member});
    if (cost[state] >= before) return false;
    for (std::size_t k = loci; k-- > 0;) {
        std::tie(member.genotypes[k].allele1, member.genotypes[k].allele2) = records[k][taken[k * states + state]];
        state = previous[k * states + state];
    }
    if (moveRecombinants(pedigree, {&member}) < before) return true;
    for (std::size_t k = 0; k < loci; ++k) std::tie(member.genotypes[k].allele1, member.genotypes[k].allele2) = stored[k];
    return false;
}

} // namespace tavirlen::polish
