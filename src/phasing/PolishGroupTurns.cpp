#include "phasing/PolishGroupTurns.h"

#include "phasing/PhasingHelpers.h"
#include "phasing/PolishSupport.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace tavirlen::polish {

namespace {

// A member's side from one of its parents, with the loci where it shows its
// source and the source there.
struct GroupSide {
    std::size_t child;
    std::size_t parent;
    int side;
    std::vector<std::size_t> loci;
    std::vector<int> sources;
};

// The family as the windows see it: members by index, where each is open,
// and every side with its sources. Read again after each kept group.
class FamilyView {
public:
    explicit FamilyView(Pedigree& pedigree) : pedigree_(pedigree)
    {
        for (auto& [id, m] : pedigree.members) {
            index_[id] = members_.size();
            members_.push_back(&m);
        }
        loci_ = static_cast<std::size_t>(pedigree.locusCount);
        read();
    }

    void read()
    {
        openBefore_.assign(members_.size(), std::vector<int>(loci_ + 1, 0));
        for (std::size_t i = 0; i < members_.size(); ++i)
            for (std::size_t k = 0; k < loci_; ++k)
                openBefore_[i][k + 1] = openBefore_[i][k] + (openForTurning(pedigree_, *members_[i], k) ? 1 : 0);
        sides_.clear();
        std::vector<int> changes(loci_ + 1, 0);
        for (std::size_t i = 0; i < members_.size(); ++i) {
            for (int side = 0; side < 2; ++side) {
                const Individual* parent = parentOf(pedigree_, *members_[i], side);
                if (!parent) continue;
                GroupSide s{i, index_.at(parent->individualId), side, {}, {}};
                for (std::size_t k = 0; k < loci_; ++k) {
                    int source = sourceOf(parent->genotypes[k], members_[i]->genotypes[k].allele(side));
                    if (source == -1) continue;
                    // Windows touching a change of source, from the locus
                    // before it to the locus after, are worth trying.
                    if (!s.sources.empty() && s.sources.back() != source) {
                        ++changes[s.loci.back()];
                        --changes[k + 1];
                    }
                    s.loci.push_back(k);
                    s.sources.push_back(source);
                }
                sides_.push_back(std::move(s));
            }
        }
        changesBefore_.assign(loci_ + 1, 0);
        for (std::size_t k = 0, running = 0; k < loci_; ++k) {
            running += static_cast<std::size_t>(changes[k]);
            changesBefore_[k + 1] = changesBefore_[k] + (running > 0 ? 1 : 0);
        }
    }

    std::size_t loci() const { return loci_; }
    std::size_t size() const { return members_.size(); }
    Individual& member(std::size_t i) const { return *members_[i]; }
    bool openIn(std::size_t i, std::size_t first, std::size_t last) const
    {
        return openBefore_[i][last + 1] > openBefore_[i][first];
    }
    bool open(std::size_t i, std::size_t k) const { return openBefore_[i][k + 1] > openBefore_[i][k]; }
    bool changeNear(std::size_t first, std::size_t last) const
    {
        return changesBefore_[last + 1] > changesBefore_[first];
    }
    const std::vector<GroupSide>& sides() const { return sides_; }

private:
    Pedigree& pedigree_;
    std::vector<Individual*> members_;
    std::map<int, std::size_t> index_;
    std::size_t loci_ = 0;
    std::vector<std::vector<int>> openBefore_;
    std::vector<int> changesBefore_;
    std::vector<GroupSide> sides_;
};

// The changes of source along a side from the last locus before the window
// where it shows its source to the first one after, for each pair of turns
// of its parent and of the member (bit 1 the parent's, bit 0 the member's).
std::array<int, 4> windowCosts(const FamilyView& view, const GroupSide& s, std::size_t first, std::size_t last)
{
    std::array<int, 4> costs{};
    const auto from = std::lower_bound(s.loci.begin(), s.loci.end(), first) - s.loci.begin();
    const auto to = std::upper_bound(s.loci.begin(), s.loci.end(), last) - s.loci.begin();
    if (from == to) return costs;
    for (int turns = 0; turns < 4; ++turns) {
        const int parentTurns = turns >> 1;
        const int childTurns = turns & 1;
        int previous = from > 0 ? s.sources[static_cast<std::size_t>(from - 1)] : -1;
        int count = 0;
        for (auto x = from; x < to; ++x) {
            const std::size_t k = s.loci[static_cast<std::size_t>(x)];
            int source = s.sources[static_cast<std::size_t>(x)];
            source ^= (parentTurns & static_cast<int>(view.open(s.parent, k))) ^ (childTurns & static_cast<int>(view.open(s.child, k)));
            count += previous != -1 && previous != source;
            previous = source;
        }
        if (to < static_cast<std::ptrdiff_t>(s.loci.size()))
            count += previous != s.sources[static_cast<std::size_t>(to)];
        costs[static_cast<std::size_t>(turns)] = count;
    }
    return costs;
}

// Hubs covering every side between two movers: greedily the mover on the
// most uncovered such sides. The search stops once it holds more than
// `most` hubs, which the caller then refuses: in a deep pedigree a window
// can hold thousands of linked movers, and each step of the greedy cover
// counts every side again.
std::vector<std::size_t> coverOf(const std::vector<std::size_t>& movers,
                                 const std::vector<std::pair<std::size_t, std::size_t>>& links, std::size_t most)
{
    std::vector<std::size_t> hubs;
    std::vector<char> covered(links.size(), 0);
    // Per mover, its uncovered sides (movers are small indices, and every
    // side links two of them).
    std::vector<int> degree(*std::max_element(movers.begin(), movers.end()) + 1, 0);
    while (hubs.size() <= most) {
        std::fill(degree.begin(), degree.end(), 0);
        bool uncovered = false;
        for (std::size_t l = 0; l < links.size(); ++l) {
            if (covered[l]) continue;
            uncovered = true;
            ++degree[links[l].first];
            ++degree[links[l].second];
        }
        if (!uncovered) break;
        std::size_t best = movers.front();
        int highest = 0;
        for (std::size_t m : movers)
            if (degree[m] > highest) {
                highest = degree[m];
                best = m;
            }
        hubs.push_back(best);
        for (std::size_t l = 0; l < links.size(); ++l)
            if (links[l].first == best || links[l].second == best) covered[l] = 1;
    }
    return hubs;
}

// Tries one window; turns the best group when the recount drops.
bool turnWindow(Pedigree& pedigree, FamilyView& view, std::size_t first, std::size_t last, std::size_t mostHubs)
{
    std::vector<std::size_t> movers;
    std::vector<int> moverOf(view.size(), -1);
    for (std::size_t i = 0; i < view.size(); ++i)
        if (view.openIn(i, first, last)) {
            moverOf[i] = static_cast<int>(movers.size());
            movers.push_back(i);
        }
    if (movers.empty()) return false;

    // The sides a mover takes part in, with their costs per pair of turns.
    struct Touched {
        int parent, child; // mover index, or -1
        std::array<int, 4> costs;
    };
    std::vector<Touched> touched;
    std::vector<std::pair<std::size_t, std::size_t>> links;
    int now = 0;
    for (const GroupSide& s : view.sides()) {
        const int parent = moverOf[s.parent];
        const int child = moverOf[s.child];
        if (parent == -1 && child == -1) continue;
        std::array<int, 4> costs = windowCosts(view, s, first, last);
        touched.push_back({parent, child, costs});
        now += costs[0];
        if (parent != -1 && child != -1)
            links.push_back({static_cast<std::size_t>(parent), static_cast<std::size_t>(child)});
    }
    if (now == 0) return false;
    std::vector<std::size_t> indices(movers.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
    const std::vector<std::size_t> hubs = coverOf(indices, links, mostHubs);
    if (hubs.size() > mostHubs) return false;

    // Per mover: -1 a leaf, else its hub bit.
    std::vector<int> hubBit(movers.size(), -1);
    for (std::size_t h = 0; h < hubs.size(); ++h) hubBit[hubs[h]] = static_cast<int>(h);
    std::vector<std::vector<const Touched*>> leafSides(movers.size());
    std::vector<const Touched*> hubSides;
    for (const Touched& t : touched) {
        if (t.parent != -1 && hubBit[static_cast<std::size_t>(t.parent)] == -1)
            leafSides[static_cast<std::size_t>(t.parent)].push_back(&t);
        else if (t.child != -1 && hubBit[static_cast<std::size_t>(t.child)] == -1)
            leafSides[static_cast<std::size_t>(t.child)].push_back(&t);
        else
            hubSides.push_back(&t);
    }
    auto turnOf = [&](int mover, std::size_t hubTurns, int leafTurn) {
        if (mover == -1) return 0;
        const int bit = hubBit[static_cast<std::size_t>(mover)];
        return bit == -1 ? leafTurn : static_cast<int>((hubTurns >> bit) & 1);
    };
    auto costOf = [&](const Touched& t, std::size_t hubTurns, int leafTurn) {
        return t.costs[static_cast<std::size_t>(turnOf(t.parent, hubTurns, leafTurn) * 2 + turnOf(t.child, hubTurns, leafTurn))];
    };
    int best = now;
    std::size_t bestHubs = 0;
    for (std::size_t hubTurns = 0; hubTurns < (std::size_t(1) << hubs.size()); ++hubTurns) {
        int total = 0;
        for (const Touched* t : hubSides) total += costOf(*t, hubTurns, 0);
        for (std::size_t m = 0; m < movers.size() && total < best; ++m) {
            if (hubBit[m] != -1) continue;
            int kept = 0;
            int turned = 0;
            for (const Touched* t : leafSides[m]) {
                kept += costOf(*t, hubTurns, 0);
                turned += costOf(*t, hubTurns, 1);
            }
            total += std::min(kept, turned);
        }
        if (total < best) {
            best = total;
            bestHubs = hubTurns;
        }
    }
    if (best >= now) return false;

    // The group: the hubs turned in the best choice, and every leaf that is
    // then better turned.
    std::vector<Individual*> group;
    for (std::size_t m = 0; m < movers.size(); ++m) {
        bool turns = false;
        if (hubBit[m] != -1) {
            turns = (bestHubs >> hubBit[m]) & 1;
        } else {
            int kept = 0;
            int turned = 0;
            for (const Touched* t : leafSides[m]) {
                kept += costOf(*t, bestHubs, 0);
                turned += costOf(*t, bestHubs, 1);
            }
            turns = turned < kept;
        }
        if (turns) group.push_back(&view.member(movers[m]));
    }
    std::vector<std::pair<Individual*, std::size_t>> turnedAt;
    for (Individual* m : group)
        for (std::size_t k = first; k <= last; ++k)
            if (openForTurning(pedigree, *m, k)) turnedAt.push_back({m, k});
    const int before = moveRecombinants(pedigree, group);
    for (auto [m, k] : turnedAt) std::swap(m->genotypes[k].allele1, m->genotypes[k].allele2);
    if (moveRecombinants(pedigree, group) < before) {
        view.read();
        return true;
    }
    for (auto [m, k] : turnedAt) std::swap(m->genotypes[k].allele1, m->genotypes[k].allele2);
    return false;
}

} // namespace

bool turnGroupsInWindows(Pedigree& pedigree, std::size_t widest, std::size_t mostHubs)
{
    FamilyView view(pedigree);
    bool improved = false;
    for (std::size_t width = 1; width <= widest; ++width)
        for (std::size_t first = 0; first + width <= view.loci(); ++first) {
            const std::size_t last = first + width - 1;
            if (!view.changeNear(first, last)) continue;
            improved = turnWindow(pedigree, view, first, last, mostHubs) || improved;
        }
    return improved;
}

} // namespace tavirlen::polish
