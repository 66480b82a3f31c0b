#include "memberdp/SourceCosts.h"

#include <algorithm>

namespace tavirlen {

namespace {

// Marks every packed source vector that some state fitting the locus has.
std::vector<std::uint8_t> reachableSources(const StateLayout& layout, const LocusRules& rules)
{
    const std::size_t size = std::size_t(1) << layout.sourceBitCount;
    std::vector<std::uint8_t> reachable(size, 0);
    std::size_t marked = 0;
    forEachFittingState(layout, rules, [&](MemberState, std::uint32_t packed) {
        if (!reachable[packed]) {
            reachable[packed] = 1;
            ++marked;
        }
        return marked < size; // nothing more to learn once every vector is marked
    });
    return reachable;
}

} // namespace

SourceCosts computeSourceCosts(const StateLayout& layout, const std::vector<LocusRules>& rules)
{
    SourceCosts costs;
    costs.sourceBitCount = layout.sourceBitCount;
    const std::size_t size = std::size_t(1) << layout.sourceBitCount;
    constexpr std::uint16_t far = 0x3fff; // unreachable while transforming; far + 1 cannot wrap
    std::vector<std::uint16_t> best(size);

    for (std::size_t locus = 0; locus < rules.size(); ++locus) {
        std::vector<std::uint8_t> reachable = reachableSources(layout, rules[locus]);
        if (locus == 0) {
            std::fill(best.begin(), best.end(), 0);
        } else {
            // best[t] = min over s of cost(s, previous locus) + popcount(s ^ t),
            // built one bit at a time.
            const std::vector<std::uint8_t>& previous = costs.relative.back();
            for (std::size_t s = 0; s < size; ++s)
                best[s] = previous[s] == SourceCosts::unreachable ? far : previous[s];
            for (std::size_t bit = 1; bit < size; bit <<= 1) {
                for (std::size_t t = 0; t < size; ++t) {
                    if (t & bit) continue;
                    const std::uint16_t a = best[t], b = best[t | bit];
                    best[t] = std::min<std::uint16_t>(a, std::uint16_t(b + 1));
                    best[t | bit] = std::min<std::uint16_t>(b, std::uint16_t(a + 1));
                }
            }
        }
        std::uint16_t lowest = far;
        for (std::size_t s = 0; s < size; ++s)
            if (reachable[s]) lowest = std::min(lowest, best[s]);
        if (lowest == far) {
            costs.impossibleLocus = static_cast<int>(locus);
            return costs;
        }
        std::vector<std::uint8_t> relative(size, SourceCosts::unreachable);
        for (std::size_t s = 0; s < size; ++s)
            if (reachable[s]) relative[s] = static_cast<std::uint8_t>(best[s] - lowest);
        costs.relative.push_back(std::move(relative));
        costs.base.push_back((locus == 0 ? 0 : costs.base.back()) + lowest);
    }
    return costs;
}

} // namespace tavirlen
