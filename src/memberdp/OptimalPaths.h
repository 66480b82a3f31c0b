#pragma once

#include "memberdp/SourceCosts.h"
#include "memberdp/StateLayout.h"

#include <functional>
#include <limits>

namespace tavirlen {

// Follows the optimal paths of the programme depth-first from the last locus
// down, larger states first at every branching, applying each state to the
// pedigree on the way down. Each time a path reaches locus 0 with a phase
// configuration (the states masked by the phase mask) not met before, the
// pedigree holds exactly that path and `write` is called.
//
// Work is kept to what can still produce a new configuration: below a cell,
// the configurations reachable depend only on the cell, so a cell met again
// under the same phases at every locus above it is not followed a second time.
// That never changes which configurations are written, nor their order, nor
// the path (and so the sources) each one is written with.
//
// At most `limit` configurations are written; the walk stops at the next one
// it meets. Returns the number of configurations met: all of them when that
// is at most `limit`, else limit + 1.
long long writeOptimalConfigurations(Pedigree& pedigree, const StateLayout& layout,
                                     const std::vector<LocusRules>& rules, const SourceCosts& costs,
                                     const std::function<void()>& write,
                                     long long limit = std::numeric_limits<long long>::max() - 1);

} // namespace tavirlen
