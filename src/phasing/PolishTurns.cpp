#include "phasing/PolishTurns.h"

#include "phasing/PhasingHelpers.h"
#include "phasing/PolishSupport.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace tavirlen::polish {

namespace {

constexpr int unreachable = std::numeric_limits<int>::max() / 4;

// Back-pointers take two bytes per state and locus; a move may use this many.
constexpr std::size_t mostBackPointers = std::size_t(1) << 24;
constexpr std::size_t mostMovers = 16;

// A side that a mover takes part in: a member's side from its parent.
struct TurnSide {
    int childMover;  // index among the movers, or -1
    int parentMover; // likewise
};

// A side showing its source at a locus after showing it last at locus j:
// its sources there as stored, and whether each end was open at j and is
// open here (only for an end that moves).
struct Event {
    int side;
    int before, now;
    bool parentThen, childThen, parentNow, childNow;

    int charge(int oldParent, int oldChild, int newParent, int newChild) const
    {
        int then = before ^ (parentThen & oldParent) ^ (childThen & oldChild);
        int here = now ^ (parentNow & newParent) ^ (childNow & newChild);
        return then != here;
    }
};

class TurnProgramme {
public:
    TurnProgramme(Pedigree& pedigree, const std::vector<Individual*>& hubs, const std::vector<Individual*>& leaves)
        : hubCount_(hubs.size()), leafCount_(leaves.size())
    {
        movers_ = hubs;
        movers_.insert(movers_.end(), leaves.begin(), leaves.end());
        loci_ = movers_.empty() ? 0 : movers_[0]->genotypes.size();
        auto index = [&](const Individual* m) {
            auto at = std::find(movers_.begin(), movers_.end(), m);
            return at == movers_.end() ? -1 : static_cast<int>(at - movers_.begin());
        };
        open_.assign(movers_.size(), std::vector<char>(loci_));
        for (std::size_t i = 0; i < movers_.size(); ++i)
            for (std::size_t k = 0; k < loci_; ++k) open_[i][k] = openForTurning(pedigree, *movers_[i], k);

        // Every side with a moving end, once.
        struct Ends {
            const Individual* child;
            int side;
            const Individual* parent;
        };
        std::vector<Ends> ends;
        auto add = [&](const Individual* child, int side) {
            for (const Ends& e : ends)
                if (e.child == child && e.side == side) return;
            if (const Individual* parent = parentOf(pedigree, *child, side)) ends.push_back({child, side, parent});
        };
        for (const Individual* m : movers_) {
            add(m, 0);
            add(m, 1);
            for (const Child& c : childrenOf(pedigree, *m)) add(c.member, c.side);
        }
        events_.resize(loci_);
        for (const Ends& e : ends) {
            const int side = static_cast<int>(sides_.size());
            sides_.push_back({index(e.child), index(e.parent)});
            leavesRelated_ = leavesRelated_ || (isLeaf(sides_.back().childMover) && isLeaf(sides_.back().parentMover));
            auto isOpen = [&](int mover, std::size_t k) { return mover != -1 && open_[static_cast<std::size_t>(mover)][k]; };
            int last = -1;
            std::size_t lastLocus = 0;
            for (std::size_t k = 0; k < loci_; ++k) {
                int source = sourceOf(e.parent->genotypes[k], e.child->genotypes[k].allele(e.side));
                if (source == -1) continue;
                if (last != -1)
                    events_[k].push_back({side, last, source, isOpen(sides_.back().parentMover, lastLocus),
                                          isOpen(sides_.back().childMover, lastLocus),
                                          isOpen(sides_.back().parentMover, k), isOpen(sides_.back().childMover, k)});
                last = source;
                lastLocus = k;
            }
        }
    }

    bool fits() const
    {
        return !movers_.empty() && !leavesRelated_ && movers_.size() <= mostMovers
            && (std::size_t(1) << movers_.size()) <= mostBackPointers / std::max<std::size_t>(loci_, 1);
    }

    // Per mover and locus, whether it turns.
    std::vector<std::vector<char>> solve() const
    {
        const std::size_t hubStates = std::size_t(1) << hubCount_;
        const std::size_t leafStates = std::size_t(1) << leafCount_;
        const std::size_t states = hubStates * leafStates;
        std::vector<int> cost(states, unreachable);
        std::vector<int> next(states);
        std::vector<std::uint16_t> back(states * loci_);
        cost[0] = 0;
        std::vector<int> table(leafStates);
        std::vector<int> spare(leafStates);
        std::vector<std::uint16_t> origin(leafStates);
        std::vector<std::uint16_t> spareOrigin(leafStates);
        std::vector<std::vector<const Event*>> leafEvents(leafCount_);
        std::vector<const Event*> hubEvents;

        for (std::size_t k = 0; k < loci_; ++k) {
            std::size_t hubOpen = 0;
            for (std::size_t h = 0; h < hubCount_; ++h)
                if (open_[h][k]) hubOpen |= std::size_t(1) << h;
            hubEvents.clear();
            for (auto& list : leafEvents) list.clear();
            for (const Event& e : events_[k]) {
                const TurnSide& s = sides_[static_cast<std::size_t>(e.side)];
                int leaf = isLeaf(s.childMover) ? s.childMover : isLeaf(s.parentMover) ? s.parentMover : -1;
                if (leaf == -1)
                    hubEvents.push_back(&e);
                else
                    leafEvents[static_cast<std::size_t>(leaf) - hubCount_].push_back(&e);
            }
            std::fill(next.begin(), next.end(), unreachable);
            for (std::size_t hubOld = 0; hubOld < hubStates; ++hubOld) {
                for (std::size_t turned = hubOpen;; turned = (turned - 1) & hubOpen) {
                    const std::size_t hubNew = (hubOld & ~hubOpen) | turned;
                    int base = 0;
                    for (const Event* e : hubEvents) base += chargeOf(*e, hubOld, hubNew, 0, 0);
                    bool any = false;
                    for (std::size_t b = 0; b < leafStates; ++b) {
                        const int c = cost[hubOld | (b << hubCount_)];
                        table[b] = c == unreachable ? unreachable : c + base;
                        origin[b] = static_cast<std::uint16_t>(b);
                        any = any || c != unreachable;
                    }
                    if (any) {
                        for (std::size_t leaf = 0; leaf < leafCount_; ++leaf)
                            settleLeaf(leaf, k, leafEvents[leaf], hubOld, hubNew, table, origin, spare, spareOrigin);
                        for (std::size_t b = 0; b < leafStates; ++b) {
                            const std::size_t to = hubNew | (b << hubCount_);
                            if (table[b] < next[to]) {
                                next[to] = table[b];
                                back[k * states + to] = static_cast<std::uint16_t>(hubOld | (origin[b] << hubCount_));
                            }
                        }
                    }
                    if (turned == 0) break;
                }
            }
            std::swap(cost, next);
        }

        std::size_t state = static_cast<std::size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
        best_ = cost[state];
        std::vector<std::vector<char>> turns(movers_.size(), std::vector<char>(loci_, 0));
        for (std::size_t k = loci_; k-- > 0;) {
            for (std::size_t i = 0; i < movers_.size(); ++i)
                if (open_[i][k]) turns[i][k] = static_cast<char>((state >> i) & 1);
            state = back[k * states + state];
        }
        return turns;
    }

    // The recombinants on the movers' sides with the turns solve() chose.
    int best() const { return best_; }

    const std::vector<Individual*>& movers() const { return movers_; }

private:
    bool isLeaf(int mover) const { return mover >= static_cast<int>(hubCount_); }

    // The charge of an event given the hubs' bits before and after the locus
    // and the leaf's own (0 when the event has no leaf).
    int chargeOf(const Event& e, std::size_t hubOld, std::size_t hubNew, int leafOld, int leafNew) const
    {
        const TurnSide& s = sides_[static_cast<std::size_t>(e.side)];
        auto bit = [&](int mover, std::size_t hubs, int leaf) {
            if (mover == -1) return 0;
            if (isLeaf(mover)) return leaf;
            return static_cast<int>((hubs >> mover) & 1);
        };
        return e.charge(bit(s.parentMover, hubOld, leafOld), bit(s.childMover, hubOld, leafOld),
                        bit(s.parentMover, hubNew, leafNew), bit(s.childMover, hubNew, leafNew));
    }

    // Adds one leaf's charges at locus k to the table over the leaves' bits
    // and, where the leaf is open, lets its bit change (the cheaper of its
    // two old bits, keeping it on equal cost).
    void settleLeaf(std::size_t leaf, std::size_t k, const std::vector<const Event*>& events, std::size_t hubOld,
                    std::size_t hubNew, std::vector<int>& table, std::vector<std::uint16_t>& origin,
                    std::vector<int>& spare, std::vector<std::uint16_t>& spareOrigin) const
    {
        const bool open = open_[hubCount_ + leaf][k];
        if (events.empty() && !open) return;
        int charge[2][2] = {{0, 0}, {0, 0}};
        for (const Event* e : events)
            for (int from = 0; from < 2; ++from)
                for (int to = 0; to < 2; ++to) charge[from][to] += chargeOf(*e, hubOld, hubNew, from, to);
        const std::size_t bit = std::size_t(1) << leaf;
        if (!open) {
            for (std::size_t b = 0; b < table.size(); ++b)
                if (table[b] != unreachable) table[b] += (b & bit) ? charge[1][1] : charge[0][0];
            return;
        }
        for (std::size_t b = 0; b < table.size(); ++b) {
            const int to = (b & bit) ? 1 : 0;
            const std::size_t same = b;
            const std::size_t other = b ^ bit;
            const int stay = table[same] == unreachable ? unreachable : table[same] + charge[to][to];
            const int move = table[other] == unreachable ? unreachable : table[other] + charge[1 - to][to];
            if (move < stay) {
                spare[b] = move;
                spareOrigin[b] = origin[other];
            } else {
                spare[b] = stay;
                spareOrigin[b] = origin[same];
            }
        }
        std::swap(table, spare);
        std::swap(origin, spareOrigin);
    }

    std::size_t hubCount_;
    std::size_t leafCount_;
    std::vector<Individual*> movers_;
    std::size_t loci_ = 0;
    std::vector<std::vector<char>> open_;
    std::vector<TurnSide> sides_;
    std::vector<std::vector<Event>> events_;
    bool leavesRelated_ = false;
    mutable int best_ = 0;
};

} // namespace

std::size_t leavesAffordable(std::size_t hubs, std::size_t loci)
{
    std::size_t leaves = 0;
    while (hubs + leaves + 1 <= mostMovers
           && (std::size_t(1) << (hubs + leaves + 1)) <= mostBackPointers / std::max<std::size_t>(loci, 1))
        ++leaves;
    return leaves;
}

bool turnTogether(Pedigree& pedigree, const std::vector<Individual*>& hubs, const std::vector<Individual*>& leaves)
{
    TurnProgramme programme(pedigree, hubs, leaves);
    if (!programme.fits()) return false;
    std::vector<std::vector<char>> turns = programme.solve();
    const std::vector<Individual*>& movers = programme.movers();
    const int before = moveRecombinants(pedigree, movers);
    if (programme.best() >= before) return false;
    auto turnAll = [&] {
        for (std::size_t i = 0; i < movers.size(); ++i)
            for (std::size_t k = 0; k < turns[i].size(); ++k)
                if (turns[i][k]) std::swap(movers[i]->genotypes[k].allele1, movers[i]->genotypes[k].allele2);
    };
    turnAll();
    if (moveRecombinants(pedigree, movers) < before) return true;
    turnAll();
    return false;
}

} // namespace tavirlen::polish
