#pragma once

#include "memberdp/StateLayout.h"

#include <cstdint>
#include <vector>

namespace tavirlen {

// The costs of the member-based programme in compact form. The cheapest way
// to reach a state depends only on whether the state fits its locus and on
// its source bits, because a step costs the number of source bits that change
// and phase bits cost nothing. So a locus keeps one cost per packed source
// vector, relative to the locus's cheapest state:
//   cost(x, l) = base[l] + relative[l][packedSources(x)]   when x fits locus l,
//   impossible                                             otherwise.
// An entry is `unreachable` when no state with these sources fits the locus.
// Relative costs never exceed the number of source bits, so a byte holds them.
struct SourceCosts {
    static constexpr std::uint8_t unreachable = 255;

    int sourceBitCount = 0;
    std::vector<std::vector<std::uint8_t>> relative; // [locus][packed sources]
    std::vector<long long> base;                      // [locus]
    // The first locus at which no state fits (-1: every locus has one). The
    // tables stop before it.
    int impossibleLocus = -1;
};

// The forward pass: per locus, which source vectors some fitting state has,
// then the best cost of each source vector by a min-plus transform over the
// source-bit hypercube (one relaxation per bit).
SourceCosts computeSourceCosts(const StateLayout& layout, const std::vector<LocusRules>& rules);

} // namespace tavirlen
