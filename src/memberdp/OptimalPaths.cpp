#include "memberdp/OptimalPaths.h"

#include <algorithm>
#include <bitset>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace tavirlen {

namespace {

using StateList = std::vector<MemberState>;
using SharedStates = std::shared_ptr<const StateList>;

// Predecessor lists are kept while they fit this many states in total; beyond
// that the cache starts afresh and a list needed again is recovered again.
constexpr std::size_t cachedStateLimit = std::size_t(1) << 22;

int bitsSet(std::uint32_t value)
{
    return static_cast<int>(std::bitset<32>(value).count());
}

class PathWalk {
public:
    PathWalk(Pedigree& pedigree, const StateLayout& layout, const std::vector<LocusRules>& rules,
             const SourceCosts& costs)
        : pedigree_(pedigree), layout_(layout), rules_(rules), costs_(costs),
          sourceVectors_(std::uint32_t(1) << layout.sourceBitCount)
    {
    }

    long long run(const std::function<void()>& write, long long limit);

private:
    struct Frame {
        int locus;
        std::uint32_t classAbove; // phases at the loci above this frame's
        SharedStates states;      // ascending; taken from the back
        std::size_t remaining;
    };

    void addFittingStates(StateList& states, int locus, std::uint32_t packed) const;
    template <class Wanted>
    void forEachSourceVector(std::uint32_t centre, int radius, Wanted&& wanted) const;
    SharedStates optimalLastStates() const;
    SharedStates predecessors(MemberState state, int locus);
    std::uint32_t phaseClass(std::uint32_t above, MemberState phases);

    Pedigree& pedigree_;
    const StateLayout& layout_;
    const std::vector<LocusRules>& rules_;
    const SourceCosts& costs_;
    const std::uint32_t sourceVectors_;

    std::unordered_map<std::uint64_t, SharedStates> predecessorCache_;
    std::size_t cachedStates_ = 0;

    // Phase classes form a tree: class 0 is the empty prefix above the last
    // locus; the class of a cell is its parent's class extended by the cell's
    // phases. A class at locus 0 is one whole phase configuration.
    std::unordered_map<std::uint64_t, std::uint32_t> classes_;
    std::uint32_t classCount_ = 1;
    std::unordered_set<std::uint64_t> followed_; // (class, state) already followed
    std::vector<bool> written_;                  // by class, for locus-0 classes
};

void PathWalk::addFittingStates(StateList& states, int locus, std::uint32_t packed) const
{
    forEachFittingState(
        layout_, rules_[static_cast<std::size_t>(locus)],
        [&](MemberState state, std::uint32_t) {
            states.push_back(state);
            return true;
        },
        &packed);
}

// Calls wanted(s, distance) for every packed source vector s within `radius`
// bits of `centre`: by growing distance when the ball is small, else by a
// plain scan of all vectors.
template <class Wanted>
void PathWalk::forEachSourceVector(std::uint32_t centre, int radius, Wanted&& wanted) const
{
    const int bits = layout_.sourceBitCount;
    if (radius < 0) return;
    if (2 * radius >= bits) {
        for (std::uint32_t s = 0; s < sourceVectors_; ++s) {
            int distance = bitsSet(s ^ centre);
            if (distance <= radius) wanted(s, distance);
        }
        return;
    }
    wanted(centre, 0);
    for (int distance = 1; distance <= radius; ++distance) {
        // Every mask with `distance` bits set, in increasing order.
        std::uint32_t mask = (std::uint32_t(1) << distance) - 1;
        while (mask < sourceVectors_) {
            wanted(centre ^ mask, distance);
            std::uint32_t lowest = mask & (~mask + 1);
            std::uint32_t ripple = mask + lowest;
            mask = (((ripple ^ mask) >> 2) / lowest) | ripple;
        }
    }
}

SharedStates PathWalk::optimalLastStates() const
{
    const int last = static_cast<int>(costs_.relative.size()) - 1;
    const std::vector<std::uint8_t>& relative = costs_.relative.back();
    auto states = std::make_shared<StateList>();
    for (std::uint32_t s = 0; s < sourceVectors_; ++s)
        if (relative[s] == 0) addFittingStates(*states, last, s);
    std::sort(states->begin(), states->end());
    return states;
}

// Every state y at locus - 1 with cost(y) + transition(y, state) equal to the
// cost of `state` at `locus`, in ascending order.
SharedStates PathWalk::predecessors(MemberState state, int locus)
{
    const std::uint64_t key = (std::uint64_t(static_cast<std::uint32_t>(locus)) << 32) | state;
    auto cached = predecessorCache_.find(key);
    if (cached != predecessorCache_.end()) return cached->second;

    const std::size_t l = static_cast<std::size_t>(locus);
    const std::uint32_t packed = layout_.packedSources(state);
    const std::vector<std::uint8_t>& previous = costs_.relative[l - 1];
    const int target = costs_.relative[l][packed] + static_cast<int>(costs_.base[l] - costs_.base[l - 1]);
    auto states = std::make_shared<StateList>();
    forEachSourceVector(packed, target, [&](std::uint32_t s, int distance) {
        if (previous[s] != SourceCosts::unreachable && previous[s] + distance == target)
            addFittingStates(*states, locus - 1, s);
    });
    std::sort(states->begin(), states->end());

    if (cachedStates_ + states->size() > cachedStateLimit) {
        predecessorCache_.clear();
        cachedStates_ = 0;
    }
    cachedStates_ += states->size();
    predecessorCache_.emplace(key, states);
    return states;
}

std::uint32_t PathWalk::phaseClass(std::uint32_t above, MemberState phases)
{
    auto [entry, added] = classes_.try_emplace((std::uint64_t(above) << 32) | phases, classCount_);
    if (added) ++classCount_;
    return entry->second;
}

long long PathWalk::run(const std::function<void()>& write, long long limit)
{
    long long writtenCount = 0;
    std::vector<Frame> stack;
    SharedStates last = optimalLastStates();
    stack.push_back({static_cast<int>(costs_.relative.size()) - 1, 0, last, last->size()});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.remaining == 0) {
            stack.pop_back();
            continue;
        }
        const MemberState state = (*frame.states)[--frame.remaining];
        const int locus = frame.locus;
        const std::uint32_t cls = phaseClass(frame.classAbove, state & layout_.phaseMask);
        if (locus == 0) {
            if (written_.size() <= cls) written_.resize(std::size_t(cls) + 1, false);
            if (written_[cls]) continue;
            written_[cls] = true;
            if (writtenCount == limit) return limit + 1;
            applyState(pedigree_, layout_, state, 0);
            write();
            ++writtenCount;
            continue;
        }
        // Below this cell lie the same configurations as when it was last
        // followed under these phases; they are all written already.
        if (!followed_.insert((std::uint64_t(cls) << 32) | state).second) continue;
        applyState(pedigree_, layout_, state, locus);
        SharedStates below = predecessors(state, locus);
        stack.push_back({locus - 1, cls, below, below->size()}); // `frame` is not used after this
    }
    return writtenCount;
}

} // namespace

long long writeOptimalConfigurations(Pedigree& pedigree, const StateLayout& layout,
                                     const std::vector<LocusRules>& rules, const SourceCosts& costs,
                                     const std::function<void()>& write, long long limit)
{
    if (costs.relative.empty() || costs.impossibleLocus >= 0) return 0;
    return PathWalk(pedigree, layout, rules, costs).run(write, limit);
}

} // namespace tavirlen
