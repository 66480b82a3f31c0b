#include "phasing/Polish.h"

#include "phasing/BlockExtension.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/PolishSupport.h"
#include "phasing/PolishGroupTurns.h"
#include "phasing/PolishFamily.h"
#include "phasing/PolishMember.h"
#include "phasing/PolishTurns.h"
#include "phasing/Sources.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <tuple>
#include <set>
#include <utility>
#include <vector>

namespace tavirlen {

namespace {

using polish::Child;
using polish::childrenOf;
using polish::moveRecombinants;
using polish::passable;
using polish::sideRecombinants;
using polish::sourceOf;

// One side of a member whose source the programme follows along the loci:
// the member or its parent (or both) moves.
struct FollowedSide {
    const Individual* child;
    int childMover; // index among the movers, or -1
    int side;
    const Individual* parent;
    int parentMover; // index among the movers, or -1
};

using polish::Records;

// Which of the parent's alleles the allele is, the parent holding `record`.
int sourceOf(std::pair<int, int> record, int allele)
{
    GenotypeRecord g;
    g.allele1 = record.first;
    g.allele2 = record.second;
    return sourceOf(g, allele);
}

std::pair<int, int> recordOf(const GenotypeRecord& g) { return {g.allele1, g.allele2}; }
int alleleOf(std::pair<int, int> record, int side) { return side == 0 ? record.first : record.second; }

// A move: one to three members take again, at every locus, one of the
// records allowed them there (their stored alleles swapped where both orders
// fit their parents; filled alleles chosen again), with everyone else held as
// they are, so that the recombinants they take part in are fewest. An exact
// programme over the loci. Its state holds:
//   - per mover, its record at its last heterozygous locus: the sources of
//     its children that do not move change only at its heterozygous loci,
//     which follow each other (a mover with such children keeps being
//     heterozygous where it was, and homozygous where it was);
//   - per followed side (a mover's own side), the last source on it (0, 1 or
//     none yet): that side may skip some of the mover's heterozygous loci
//     (where the parent is homozygous), so its last source travels along.
// With `followChildren`, a mover's children are followed sides too, each with
// its own last source, and the mover may turn homozygous or back.
// One member alone that only turns has 2 x 3 x 3 states; a child turning
// with both parents, 8 x 9 when the parents are founders; a member following
// four children, 3 to the power 6.
class JointProgramme {
public:
    // `records[i][k]`: what mover i may take at locus k.
    JointProgramme(Pedigree& pedigree, const std::vector<Individual*>& movers, std::vector<std::vector<Records>> records,
                   bool followChildren = false)
        : movers_(movers), records_(std::move(records))
    {
        for (std::size_t i = 0; i < movers_.size(); ++i) {
            std::vector<Child> outside;
            for (const Child& c : childrenOf(pedigree, *movers_[i])) {
                if (moverIndex(c.member) != -1) continue;
                if (followChildren)
                    followed_.push_back({c.member, -1, c.side, movers_[i], static_cast<int>(i)});
                else
                    outside.push_back(c);
            }
            outside_.push_back(outside);
            for (int side = 0; side < 2; ++side)
                if (const Individual* parent = parentOf(pedigree, *movers_[i], side))
                    followed_.push_back({movers_[i], static_cast<int>(i), side, parent, moverIndex(parent)});
            std::size_t most = 1;
            for (const Records& r : records_[i]) most = std::max(most, r.size());
            radix_.push_back(most);
            stateRadix_.push_back(outside_.back().empty() ? 1 : most);
        }
        recordStates_ = 1;
        for (std::size_t r : stateRadix_) recordStates_ *= r;
        states_ = recordStates_;
        for (std::size_t f = 0; f < followed_.size(); ++f) states_ *= 3;
    }

    std::size_t stateCount() const { return states_; }

    // Per mover and locus, the index of the record to take. On equal costs
    // the stored records stay.
    std::vector<std::vector<std::size_t>> solve() const
    {
        const std::size_t movers = movers_.size();
        const std::size_t followed = followed_.size();
        const std::size_t loci = movers_[0]->genotypes.size();
        struct Back {
            std::uint32_t from = 0;
            std::uint32_t choice = 0;
        };
        std::vector<Back> back(loci * states_);
        std::vector<int> cost(states_, unreachable);
        std::vector<int> next(states_);
        // Place values: of each mover's record digit, of each followed side's.
        std::vector<std::size_t> moverPlace(movers);
        for (std::size_t i = 0, value = 1; i < movers; value *= stateRadix_[i], ++i) moverPlace[i] = value;
        std::vector<std::size_t> place(followed);
        for (std::size_t f = 0, value = recordStates_; f < followed; ++f, value *= 3) place[f] = value;
        std::size_t start = 0;
        for (std::size_t f = 0; f < followed; ++f) start += none * place[f];
        cost[start] = 0;
        std::vector<int> lastHeterozygous(movers, -1);
        std::vector<char> heterozygous(movers);
        // Per mover, the cost of its non-moving children's sides for each
        // (record at the last heterozygous locus, record here).
        std::vector<std::vector<int>> ranks(movers);
        // Per choice (a record index per mover), its digits and the source it
        // gives each followed side (-1: none).
        std::vector<std::vector<std::size_t>> choices;
        std::vector<std::vector<int>> sources;
        for (std::size_t k = 0; k < loci; ++k) {
            for (std::size_t i = 0; i < movers; ++i) {
                heterozygous[i] = movers_[i]->genotypes[k].informative();
                ranks[i].clear();
                if (heterozygous[i] && lastHeterozygous[i] != -1 && stateRadix_[i] > 1)
                    ranks[i] = rankChildren(i, static_cast<std::size_t>(lastHeterozygous[i]), k);
            }
            choices.clear();
            sources.clear();
            std::vector<std::size_t> digits(movers, 0);
            for (bool more = true; more;) {
                std::vector<int> side(followed);
                bool fits = true;
                for (std::size_t f = 0; f < followed; ++f) {
                    const FollowedSide& fs = followed_[f];
                    std::pair<int, int> child = fs.childMover != -1
                        ? records_[static_cast<std::size_t>(fs.childMover)][k][digits[static_cast<std::size_t>(fs.childMover)]]
                        : recordOf(fs.child->genotypes[k]);
                    std::pair<int, int> parent = fs.parentMover != -1
                        ? records_[static_cast<std::size_t>(fs.parentMover)][k][digits[static_cast<std::size_t>(fs.parentMover)]]
                        : recordOf(fs.parent->genotypes[k]);
                    side[f] = sourceOf(parent, alleleOf(child, fs.side));
                    // A child and a parent that both move must still fit.
                    const int allele = alleleOf(child, fs.side);
                    if (fs.childMover != -1 && fs.parentMover != -1 && !missingAllele(allele)
                        && !missingAllele(parent.first) && !missingAllele(parent.second) && allele != parent.first
                        && allele != parent.second)
                        fits = false;
                }
                if (fits) {
                    choices.push_back(digits);
                    sources.push_back(side);
                }
                more = false;
                for (std::size_t i = 0; i < movers && !more; ++i) {
                    if (++digits[i] < records_[i][k].size()) {
                        more = true;
                    } else {
                        digits[i] = 0;
                    }
                }
            }
            std::fill(next.begin(), next.end(), unreachable);
            for (std::size_t state = 0; state < states_; ++state) {
                if (cost[state] == unreachable) continue;
                for (std::size_t c = 0; c < choices.size(); ++c) {
                    const std::vector<std::size_t>& choice = choices[c];
                    int total = cost[state];
                    std::size_t to = state;
                    for (std::size_t i = 0; i < movers; ++i) {
                        if (!heterozygous[i] || stateRadix_[i] == 1) continue;
                        const std::size_t last = state / moverPlace[i] % radix_[i];
                        if (lastHeterozygous[i] != -1) total += ranks[i][last * radix_[i] + choice[i]];
                        to = to - last * moverPlace[i] + choice[i] * moverPlace[i];
                    }
                    for (std::size_t f = 0; f < followed; ++f) {
                        const int source = sources[c][f];
                        if (source == -1) continue;
                        const int last = static_cast<int>(state / place[f] % 3);
                        if (last != none && last != source) ++total;
                        to = to - static_cast<std::size_t>(last) * place[f] + static_cast<std::size_t>(source) * place[f];
                    }
                    if (total < next[to]) {
                        next[to] = total;
                        back[k * states_ + to] = {static_cast<std::uint32_t>(state), static_cast<std::uint32_t>(c)};
                    }
                }
            }
            for (std::size_t i = 0; i < movers; ++i)
                if (heterozygous[i]) lastHeterozygous[i] = static_cast<int>(k);
            backChoices_.push_back(choices);
            std::swap(cost, next);
        }

        std::size_t best = 0;
        for (std::size_t s = 1; s < states_; ++s)
            if (cost[s] < cost[best]) best = s;
        std::vector<std::vector<std::size_t>> taken(movers, std::vector<std::size_t>(loci, 0));
        for (std::size_t k = loci; k-- > 0;) {
            const Back& b = back[k * states_ + best];
            for (std::size_t i = 0; i < movers; ++i) taken[i][k] = backChoices_[k][b.choice][i];
            best = b.from;
        }
        backChoices_.clear();
        return taken;
    }

private:
    static constexpr int none = 2;
    static constexpr int unreachable = std::numeric_limits<int>::max();

    int moverIndex(const Individual* member) const
    {
        for (std::size_t i = 0; i < movers_.size(); ++i)
            if (movers_[i] == member) return static_cast<int>(i);
        return -1;
    }

    // Over the mover's children that do not move, from its heterozygous
    // locus j to k: for each pair of records there and here, how many of
    // them change source.
    std::vector<int> rankChildren(std::size_t i, std::size_t j, std::size_t k) const
    {
        const Records& from = records_[i][j];
        const Records& to = records_[i][k];
        std::vector<int> ranks(radix_[i] * radix_[i], 0);
        for (const Child& c : outside_[i]) {
            const int a = c.member->genotypes[j].allele(c.side);
            const int b = c.member->genotypes[k].allele(c.side);
            for (std::size_t r = 0; r < from.size(); ++r) {
                const int s = sourceOf(from[r], a);
                if (s == -1) continue;
                for (std::size_t q = 0; q < to.size(); ++q) {
                    const int t = sourceOf(to[q], b);
                    if (t != -1 && t != s) ++ranks[r * radix_[i] + q];
                }
            }
        }
        return ranks;
    }

    std::vector<Individual*> movers_;
    std::vector<std::vector<Records>> records_;
    std::vector<std::vector<Child>> outside_;
    std::vector<FollowedSide> followed_;
    std::vector<std::size_t> radix_;      // records a mover may take at a locus, at most
    std::vector<std::size_t> stateRadix_; // kept in the state: 1 when no child is grouped
    std::size_t recordStates_ = 1;
    std::size_t states_ = 1;
    mutable std::vector<std::vector<std::vector<std::size_t>>> backChoices_;
};

// The work a move may take: states times the combinations of records over
// the loci (a child whose two parents both have parents of their own needs
// 8 x 729 states; a member following six children on their own, 3 to the
// power 8).
constexpr std::size_t largestMove = 50000000;

// The most members a move of a couple with their children takes (the
// choices at a locus multiply over them).
constexpr std::size_t largestFamilyMove = 7;

// The most children a member follows one by one while taking filled alleles
// again, loci permitting.
constexpr std::size_t followedChildren = 6;

// Whether a move with that many states over the family's loci is small
// enough.
bool affordable(std::size_t states, std::size_t loci)
{
    return states <= largestMove / std::max<std::size_t>(loci, 1);
}

// The records a member may take at locus k: its stored alleles, and swapped
// where both orders fit its parents.
Records turns(Pedigree& pedigree, const Individual& m, std::size_t k)
{
    const GenotypeRecord& g = m.genotypes[k];
    Records records{recordOf(g)};
    if (g.informative() && passable(parentOf(pedigree, m, 0), k, g.allele2)
        && passable(parentOf(pedigree, m, 1), k, g.allele1))
        records.push_back({g.allele2, g.allele1});
    return records;
}

// Takes the movers' records again; keeps them only when they count fewer.
bool polishMove(Pedigree& pedigree, const std::vector<Individual*>& movers,
                std::vector<std::vector<Records>> records, bool followChildren = false)
{
    // The work: every state meets every combination of records at a locus.
    std::size_t work = 0;
    for (std::size_t k = 0; k < records[0].size(); ++k) {
        std::size_t combinations = 1;
        for (const auto& perMover : records) combinations *= perMover[k].size();
        work += combinations;
    }
    JointProgramme programme(pedigree, movers, records, followChildren);
    if (programme.stateCount() > largestMove / std::max<std::size_t>(work, 1)) return false;
    std::vector<std::vector<std::size_t>> taken = programme.solve();
    bool any = false;
    for (const auto& perMover : taken)
        for (std::size_t t : perMover) any = any || t != 0;
    if (!any) return false;
    const int before = moveRecombinants(pedigree, movers);
    std::vector<std::vector<std::pair<int, int>>> stored(movers.size());
    for (std::size_t i = 0; i < movers.size(); ++i) {
        for (std::size_t k = 0; k < taken[i].size(); ++k) {
            GenotypeRecord& g = movers[i]->genotypes[k];
            stored[i].push_back(recordOf(g));
            std::tie(g.allele1, g.allele2) = records[i][k][taken[i][k]];
        }
    }
    if (moveRecombinants(pedigree, movers) < before) return true;
    for (std::size_t i = 0; i < movers.size(); ++i)
        for (std::size_t k = 0; k < taken[i].size(); ++k)
            std::tie(movers[i]->genotypes[k].allele1, movers[i]->genotypes[k].allele2) = stored[i][k];
    return false;
}

// Turns only.
bool polishMove(Pedigree& pedigree, const std::vector<Individual*>& movers)
{
    std::vector<std::vector<Records>> records(movers.size());
    for (std::size_t i = 0; i < movers.size(); ++i)
        for (std::size_t k = 0; k < movers[i]->genotypes.size(); ++k)
            records[i].push_back(turns(pedigree, *movers[i], k));
    return polishMove(pedigree, movers, std::move(records));
}

// The source on one side of a member at the nearest locus below `first`
// (step -1) or above `last` (step +1) where it is determined; -1 where there
// is none.
int nearestSource(const Individual& member, const Individual& parent, int side, std::size_t from, int step)
{
    for (std::size_t l = from + static_cast<std::size_t>(step); l < member.genotypes.size();
         l += static_cast<std::size_t>(step)) {
        int source = sourceOf(parent.genotypes[l], member.genotypes[l].allele(side));
        if (source != -1) return source;
    }
    return -1;
}

// A side whose sources in a window of loci may change: the member's side
// from that parent, with the determined sources just outside the window.
struct WindowSide {
    const Individual* member;
    const Individual* parent;
    int side;
    int below, above;
};

// The recombinants along a side in the window and at its two edges.
int windowRecombinants(const WindowSide& s, std::size_t first, std::size_t last)
{
    int total = 0;
    int previous = s.below;
    for (std::size_t k = first; k <= last; ++k) {
        int source = sourceOf(s.parent->genotypes[k], s.member->genotypes[k].allele(s.side));
        if (source == -1) continue;
        total += previous != -1 && previous != source;
        previous = source;
    }
    return total + (previous != -1 && s.above != -1 && previous != s.above);
}

// The most loci over which a group of members turns together.
constexpr std::size_t groupWindowWidth = 4;

// The most loci a window spans, and the most in which it also takes filled
// alleles again (a wider one tries too many combinations for what it finds).
constexpr std::size_t windowWidth = 4;
constexpr std::size_t refillWidth = 2;

// The most combinations a window tries for the parents, and for each child.
constexpr std::size_t largestWindow = 4096;
constexpr std::size_t largestChildWindow = 256;

// What a member may take at one locus of a window: `records` (the stored
// record first).
struct Slot {
    Individual* member;
    std::size_t locus;
    Records records;
};

// Sets every slot to its record in the combination (a mixed-radix number).
void take(std::vector<Slot>& slots, std::size_t combination)
{
    for (Slot& s : slots) {
        GenotypeRecord& g = s.member->genotypes[s.locus];
        std::tie(g.allele1, g.allele2) = s.records[combination % s.records.size()];
        combination /= s.records.size();
    }
}

std::size_t combinations(const std::vector<Slot>& slots)
{
    std::size_t count = 1;
    for (const Slot& s : slots) count *= s.records.size();
    return count;
}

// A few neighbouring loci of a couple and their children, every record they
// may take there tried: the parents' records together, and for each of them
// each child's own (the children's sides depend on their own records and
// their parents', so each child is best on its own). Where parents and
// children are heterozygous for the same two alleles, a child's two sources
// follow both parents' orders and its own: the combination that fits the
// neighbouring loci can need several of them turned at once.
// `recordsAt(member, k, parents)` gives what a member may take at locus k;
// for a child, `parents` holds its father's and its mother's records there as
// the window may try them.
using WindowRecords = std::function<Records(const Individual&, std::size_t, const std::array<Records, 2>*)>;

bool polishWindow(Pedigree& pedigree, Individual& father, Individual& mother, std::size_t first, std::size_t last,
                  const WindowRecords& recordsAt)
{
    auto sideOf = [&](const Individual* member, int side) {
        const Individual* parent = parentOf(pedigree, *member, side);
        return WindowSide{member, parent, side, nearestSource(*member, *parent, side, first, -1),
                          nearestSource(*member, *parent, side, last, 1)};
    };
    // The parents' records at each locus of the window.
    std::vector<std::array<Records, 2>> parentRecords(last - first + 1);
    auto slotsOf = [&](Individual& m, std::vector<Slot>& slots) {
        const bool parent = &m == &father || &m == &mother;
        for (std::size_t k = first; k <= last; ++k) {
            Records records = recordsAt(m, k, parent ? nullptr : &parentRecords[k - first]);
            if (parent) parentRecords[k - first][&m == &father ? 0 : 1] = records;
            if (records.size() > 1) slots.push_back({&m, k, std::move(records)});
        }
    };

    // The parents' slots, their sides and those of their other children.
    std::vector<Slot> parentSlots;
    slotsOf(father, parentSlots);
    slotsOf(mother, parentSlots);
    std::vector<Individual*> children;
    std::vector<WindowSide> parentSides;
    for (Individual* parent : {&father, &mother}) {
        for (int side = 0; side < 2; ++side)
            if (parentOf(pedigree, *parent, side)) parentSides.push_back(sideOf(parent, side));
        for (const Child& c : childrenOf(pedigree, *parent)) {
            Individual* child = pedigree.member(c.member->individualId);
            if (child->fatherId == father.individualId && child->motherId == mother.individualId) {
                if (parent == &father) children.push_back(child);
            } else {
                parentSides.push_back(sideOf(child, c.side));
            }
        }
    }
    // Each child's slots and the sides they decide: its own two and its
    // children's from it.
    std::vector<std::vector<Slot>> childSlots(children.size());
    std::vector<std::vector<WindowSide>> childSides(children.size());
    bool any = !parentSlots.empty();
    for (std::size_t c = 0; c < children.size(); ++c) {
        slotsOf(*children[c], childSlots[c]);
        if (combinations(childSlots[c]) > largestChildWindow) return false;
        any = any || !childSlots[c].empty();
        childSides[c] = {sideOf(children[c], 0), sideOf(children[c], 1)};
        for (const Child& g : childrenOf(pedigree, *children[c])) childSides[c].push_back(sideOf(g.member, g.side));
    }
    if (!any || combinations(parentSlots) > largestWindow) return false;

    auto sidesCost = [&](const std::vector<WindowSide>& sides) {
        int total = 0;
        for (const WindowSide& s : sides) total += windowRecombinants(s, first, last);
        return total;
    };
    // For a combination of the parents' records: the cost, with each child's
    // best combination of its own (the lowest one on equal costs).
    // A child's records as tried must still fit its parents' as tried.
    auto fits = [&](const Individual& child) {
        for (std::size_t k = first; k <= last; ++k)
            if (!passable(&father, k, child.genotypes[k].allele1) || !passable(&mother, k, child.genotypes[k].allele2))
                return false;
        return true;
    };
    auto evaluate = [&](std::size_t parents, std::vector<std::size_t>& best) {
        take(parentSlots, parents);
        int total = sidesCost(parentSides);
        for (std::size_t c = 0; c < children.size() && total != std::numeric_limits<int>::max(); ++c) {
            int bestCost = std::numeric_limits<int>::max();
            for (std::size_t own = 0; own < combinations(childSlots[c]); ++own) {
                take(childSlots[c], own);
                if (!fits(*children[c])) continue;
                int cost = sidesCost(childSides[c]);
                if (cost < bestCost) {
                    bestCost = cost;
                    best[c] = own;
                }
            }
            take(childSlots[c], 0);
            total = bestCost == std::numeric_limits<int>::max() ? bestCost : total + bestCost;
        }
        return total;
    };
    const int now = sidesCost(parentSides) + [&] {
        int total = 0;
        for (const auto& sides : childSides) total += sidesCost(sides);
        return total;
    }();
    // A founder parent may also turn at every locus after the window: that
    // turns each of its children's sources there, which changes nothing but
    // the edge of the window. So where the window settles a filled allele
    // that block extension got wrong, the founder's phase on the far side
    // can follow.
    std::vector<const Individual*> founders;
    if (last + 1 < father.genotypes.size())
        for (const Individual* parent : {&father, &mother})
            if (parent->isFounder()) founders.push_back(parent);
    auto turnAbove = [&](std::size_t suffix) {
        for (std::size_t f = 0; f < founders.size(); ++f) {
            if (!((suffix >> f) & 1)) continue;
            for (std::vector<WindowSide>* sides : [&] {
                     std::vector<std::vector<WindowSide>*> all{&parentSides};
                     for (auto& c : childSides) all.push_back(&c);
                     return all;
                 }())
                for (WindowSide& side : *sides)
                    if (side.parent == founders[f] && side.above != -1) side.above ^= 1;
        }
    };
    std::vector<std::size_t> best(children.size(), 0);
    std::vector<std::size_t> trial(children.size(), 0);
    std::size_t bestParents = 0;
    std::size_t bestSuffix = 0;
    int bestCost = now;
    for (std::size_t suffix = 0; suffix < (std::size_t(1) << founders.size()); ++suffix) {
        turnAbove(suffix);
        for (std::size_t parents = 0; parents < combinations(parentSlots); ++parents) {
            int cost = evaluate(parents, trial);
            if (cost < bestCost) {
                bestCost = cost;
                bestParents = parents;
                bestSuffix = suffix;
                best = trial;
            }
        }
        turnAbove(suffix);
    }
    take(parentSlots, bestParents);
    for (std::size_t c = 0; c < children.size(); ++c) take(childSlots[c], best[c]);
    for (std::size_t f = 0; f < founders.size(); ++f) {
        if (!((bestSuffix >> f) & 1)) continue;
        Individual* founder = pedigree.member(founders[f]->individualId);
        for (std::size_t k = last + 1; k < founder->genotypes.size(); ++k)
            std::swap(founder->genotypes[k].allele1, founder->genotypes[k].allele2);
    }
    return bestCost < now;
}

// The records a member may take at locus k when some of its alleles there
// were filled (missing as read): the typed alleles kept, a non-founder's
// paternal allele one of its father's and its maternal one of its mother's,
// a founder's from its own alleles and its children's. Every child must keep
// fitting, and a member with children keeps being heterozygous where it was
// (and homozygous where it was).
Records refills(Pedigree& pedigree, const Individual& m, std::size_t k, const GenotypeRecord& asRead,
                bool keepHeterozygosity = true, const std::vector<Individual*>* turning = nullptr,
                const std::map<int, Individual>* read = nullptr)
{
    const GenotypeRecord& g = m.genotypes[k];
    std::vector<int> typed;
    for (int a : {asRead.allele1, asRead.allele2})
        if (!missingAllele(a)) typed.push_back(a);
    if (typed.size() == 2) return turns(pedigree, m, k);
    const std::vector<Child> children = childrenOf(pedigree, m);
    std::vector<int> options[2];
    for (int side = 0; side < 2; ++side) {
        if (const Individual* parent = parentOf(pedigree, m, side)) {
            for (int a : {parent->genotypes[k].allele1, parent->genotypes[k].allele2})
                if (!missingAllele(a)) options[side].push_back(a);
        } else {
            options[side] = {g.allele1, g.allele2};
            for (const Child& c : children)
                for (int a : {c.member->genotypes[k].allele1, c.member->genotypes[k].allele2})
                    if (!missingAllele(a)) options[side].push_back(a);
        }
        if (options[side].empty()) options[side] = {g.allele(side)};
    }
    Records records{recordOf(g)};
    for (int a : options[0]) {
        for (int b : options[1]) {
            if (std::find(records.begin(), records.end(), std::make_pair(a, b)) != records.end()) continue;
            bool keeps = typed.empty() || a == typed[0] || b == typed[0];
            GenotypeRecord trial;
            trial.allele1 = a;
            trial.allele2 = b;
            keeps = keeps && (children.empty() || !keepHeterozygosity || trial.informative() == g.informative());
            for (const Child& c : children) {
                const GenotypeRecord& cg = c.member->genotypes[k];
                int carried = cg.allele(c.side);
                // A child that moves with the member may carry its other
                // allele from it; the move checks the two together.
                bool moving = turning && std::find(turning->begin(), turning->end(), c.member) != turning->end();
                // Its filled alleles may be taken again too: only what it
                // was read with binds it.
                const GenotypeRecord* childRead = nullptr;
                if (moving && read) {
                    auto at = read->find(c.member->individualId);
                    if (at != read->end() && k < at->second.genotypes.size()) childRead = &at->second.genotypes[k];
                }
                if (childRead) {
                    const int x = childRead->allele1;
                    const int y = childRead->allele2;
                    keeps = keeps && (missingAllele(x) || missingAllele(y) || x == a || x == b || y == a || y == b);
                    continue;
                }
                keeps = keeps && (missingAllele(carried) || carried == a || carried == b
                                  || (moving && (cg.allele(1 - c.side) == a || cg.allele(1 - c.side) == b)));
            }
            if (keeps) records.push_back({a, b});
        }
    }
    return records;
}

// Every child fits its parents in the stored orders.
bool storedOrdersFit(Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) {
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = parentOf(pedigree, m, side);
            if (!parent) continue;
            for (std::size_t k = 0; k < m.genotypes.size(); ++k)
                if (!passable(parent, k, m.genotypes[k].allele(side))) return false;
        }
    }
    return true;
}

// Every locus phased, every source read from the alleles, then counted.
void completeAndCount(Pedigree& pedigree)
{
    for (auto& [id, m] : pedigree.members) {
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            GenotypeRecord& g = m.genotypes[k];
            g.phased = true;
            if (m.isFounder()) continue;
            for (int side = 0; side < 2; ++side) {
                const Individual* parent = parentOf(pedigree, m, side);
                g.source(side) = parent ? sourceOf(parent->genotypes[k], g.allele(side)) : -1;
            }
        }
    }
    countRecombinants(pedigree);
}

} // namespace

int storedRecombinants(const Pedigree& pedigree)
{
    int count = 0;
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        count += sideRecombinants(m, pedigree.member(m.fatherId), 0);
        count += sideRecombinants(m, pedigree.member(m.motherId), 1);
    }
    return count;
}

namespace {

// What a member may take at each locus: turned only, or, given the member as
// read, with its filled alleles taken again.
class Choices {
public:
    Choices(Pedigree& pedigree, const std::map<int, Individual>* asRead) : pedigree_(pedigree), asRead_(asRead) {}

    bool refilling() const { return asRead_ != nullptr; }

    const GenotypeRecord* asRead(const Individual& m, std::size_t k) const
    {
        if (!asRead_) return nullptr;
        auto read = asRead_->find(m.individualId);
        if (read == asRead_->end() || k >= read->second.genotypes.size()) return nullptr;
        return &read->second.genotypes[k];
    }

    Records at(const Individual& m, std::size_t k, bool keepHeterozygosity = false,
               const std::vector<Individual*>* turning = nullptr) const
    {
        const GenotypeRecord* read = asRead(m, k);
        return read ? refills(pedigree_, m, k, *read, keepHeterozygosity, turning, asRead_) : turns(pedigree_, m, k);
    }

    // For a child whose parents' records at k may be any of `parents`: its
    // typed alleles in either order, its filled ones from what those records
    // hold, as long as its own children keep fitting. The stored record
    // first.
    Records withParents(const Individual& m, std::size_t k, const std::array<Records, 2>& parents,
                        const std::vector<Individual*>* moving = nullptr) const
    {
        const GenotypeRecord& g = m.genotypes[k];
        const GenotypeRecord* read = asRead(m, k);
        std::vector<int> typed;
        for (int a : {read ? read->allele1 : g.allele1, read ? read->allele2 : g.allele2})
            if (!missingAllele(a)) typed.push_back(a);
        std::vector<int> from[2];
        for (int side = 0; side < 2; ++side) {
            for (const auto& [a, b] : parents[static_cast<std::size_t>(side)])
                for (int allele : {a, b})
                    if (!missingAllele(allele) && std::find(from[side].begin(), from[side].end(), allele) == from[side].end())
                        from[side].push_back(allele);
            if (from[side].empty()) from[side] = {g.allele(side)};
        }
        const std::vector<Child> children = childrenOf(pedigree_, m);
        Records records{recordOf(g)};
        for (int a : from[0]) {
            for (int b : from[1]) {
                std::pair<int, int> record{a, b};
                if (std::find(records.begin(), records.end(), record) != records.end()) continue;
                bool keeps = typed.size() < 2 || (a == typed[0] && b == typed[1]) || (a == typed[1] && b == typed[0]);
                keeps = keeps && (typed.size() != 1 || a == typed[0] || b == typed[0]);
                for (const Child& c : children) {
                    // A child that moves along is bound only by what it was
                    // read with.
                    const GenotypeRecord* childRead = nullptr;
                    if (moving && std::find(moving->begin(), moving->end(), c.member) != moving->end())
                        childRead = asRead(*c.member, k);
                    if (childRead) {
                        const int x = childRead->allele1;
                        const int y = childRead->allele2;
                        keeps = keeps && (missingAllele(x) || missingAllele(y) || x == a || x == b || y == a || y == b);
                        continue;
                    }
                    const int carried = c.member->genotypes[k].allele(c.side);
                    keeps = keeps && (missingAllele(carried) || carried == a || carried == b);
                }
                if (keeps) records.push_back(record);
            }
        }
        return records;
    }

private:
    Pedigree& pedigree_;
    const std::map<int, Individual>* asRead_;
};

struct Couple {
    Individual* father;
    Individual* mother;
    std::vector<Individual*> children;
};

std::vector<Couple> couplesOf(Pedigree& pedigree)
{
    std::vector<Couple> couples;
    // Each couple's place, so that a deep pedigree does not search all its
    // couples for every child.
    std::map<std::pair<int, int>, std::size_t> placeOf;
    for (auto& [id, m] : pedigree.members) {
        Individual* father = parentOf(pedigree, m, 0);
        Individual* mother = parentOf(pedigree, m, 1);
        if (!father || !mother) continue;
        auto [at, added] = placeOf.insert({{father->individualId, mother->individualId}, couples.size()});
        if (added) couples.push_back({father, mother, {}});
        couples[at->second].children.push_back(&m);
    }
    return couples;
}

// Each member on its own. With few children, each child is followed on its
// own and the member may turn homozygous where that pays; with more, the
// children are counted together and the member keeps its heterozygous loci.
bool polishMembers(Pedigree& pedigree, const Choices& choices)
{
    bool improved = false;
    for (auto& [id, m] : pedigree.members) {
        if (m.childIds.size() + 2 <= polish::mostFollowedSides) {
            std::vector<Records> records;
            for (std::size_t k = 0; k < m.genotypes.size(); ++k) records.push_back(choices.at(m, k, false));
            improved = polish::rechooseMember(pedigree, m, records) || improved;
            continue;
        }
        std::size_t states = m.isFounder() ? 1 : 9;
        for (std::size_t c = 0; c < m.childIds.size(); ++c) states *= 3;
        const bool followChildren = choices.refilling() && m.childIds.size() <= followedChildren
            && affordable(states * 8, m.genotypes.size());
        std::vector<std::vector<Records>> records(1);
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) records[0].push_back(choices.at(m, k, !followChildren));
        improved = polishMove(pedigree, {&m}, std::move(records), followChildren) || improved;
    }
    return improved;
}

// Parents and all their children taking their records again together. Where
// parents are untyped, which of a child's alleles came from which parent
// follows from what the parents are given, so neither can be settled alone.
// The children's records follow what their parents may take, not what they
// hold now: a parent's filled allele taken again can need a child turned to
// fit it, and the move checks the two together.
// What the family moves found nothing in, by their movers: a fingerprint of
// the records of every member whose sides they see. A move whose members and
// neighbours have not changed since would find nothing again.
using Settled = std::map<std::vector<int>, std::size_t>;

std::size_t fingerprint(Pedigree& pedigree, const std::vector<Individual*>& movers)
{
    std::set<const Individual*> seen;
    for (const Individual* m : movers) {
        seen.insert(m);
        for (int side = 0; side < 2; ++side)
            if (const Individual* parent = parentOf(pedigree, *m, side)) seen.insert(parent);
        for (const Child& c : childrenOf(pedigree, *m)) seen.insert(c.member);
    }
    std::size_t hash = 1469598103934665603ull;
    for (const Individual* m : seen) {
        hash = (hash ^ static_cast<std::size_t>(m->individualId)) * 1099511628211ull;
        for (const GenotypeRecord& g : m->genotypes)
            hash = (hash ^ static_cast<std::size_t>(g.allele1 * 131 + g.allele2)) * 1099511628211ull;
    }
    return hash;
}

std::optional<bool> polishParentsAndChildren(Pedigree& pedigree, const Choices& choices,
                                             const std::vector<Individual*>& parents,
                                             const std::vector<Individual*>& children, Settled& settled,
                                             std::vector<std::vector<Records>>* records = nullptr,
                                             Individual* middle = nullptr)
{
    std::vector<Individual*> movers = parents;
    movers.insert(movers.end(), children.begin(), children.end());
    std::vector<int> key;
    for (const Individual* m : movers) key.push_back(m->individualId);
    const std::size_t now = fingerprint(pedigree, movers);
    auto found = settled.find(key);
    if (found != settled.end() && found->second == now) return false;
    auto parentIndex = [&](int id) {
        for (std::size_t p = 0; p < parents.size(); ++p)
            if (parents[p]->individualId == id) return p;
        return std::size_t(0);
    };
    std::vector<std::vector<Records>> parentRecords;
    std::vector<std::vector<Records>> childRecords(children.size());
    for (std::size_t k = 0; k < parents[0]->genotypes.size(); ++k) {
        parentRecords.emplace_back();
        for (Individual* parent : parents) {
            std::vector<Individual*> own;
            for (Individual* c : children)
                if (c->fatherId == parent->individualId || c->motherId == parent->individualId) own.push_back(c);
            if (middle && (middle->fatherId == parent->individualId || middle->motherId == parent->individualId))
                own.push_back(middle);
            if (parent == middle) {
                // Its own parents come first among the parents.
                const std::array<Records, 2> its{parentRecords.back()[0], parentRecords.back()[1]};
                parentRecords.back().push_back(choices.withParents(*parent, k, its, &own));
            } else {
                parentRecords.back().push_back(choices.at(*parent, k, false, &own));
            }
        }
        for (std::size_t c = 0; c < children.size(); ++c) {
            const std::array<Records, 2> its{parentRecords.back()[parentIndex(children[c]->fatherId)],
                                             parentRecords.back()[parentIndex(children[c]->motherId)]};
            childRecords[c].push_back(choices.withParents(*children[c], k, its));
        }
    }
    if (records) {
        records->clear();
        for (std::size_t p = 0; p < parents.size(); ++p) {
            records->emplace_back();
            for (const auto& atLocus : parentRecords) records->back().push_back(atLocus[p]);
        }
        records->insert(records->end(), childRecords.begin(), childRecords.end());
    }
    std::optional<bool> kept = polish::rechooseFamily(pedigree, parents, children, parentRecords, childRecords);
    if (kept && !*kept) settled[key] = now;
    return kept;
}

bool polishFamilies(Pedigree& pedigree, const Choices& choices, Settled& settled)
{
    bool improved = false;
    for (const Couple& couple : couplesOf(pedigree)) {
        std::vector<Individual*> family{couple.father, couple.mother};
        family.insert(family.end(), couple.children.begin(), couple.children.end());
        std::vector<std::vector<Records>> records;
        std::optional<bool> kept =
            polishParentsAndChildren(pedigree, choices, {couple.father, couple.mother}, couple.children, settled,
                                     &records);
        improved = kept.value_or(false) || improved;
        // The joint programme takes the same records where the family move
        // does not fit.
        if (kept || family.size() > largestFamilyMove) continue;
        improved = polishMove(pedigree, family, std::move(records), true) || improved;
    }
    // A member with children by several mates, with all of them: its phase
    // over a stretch moves every child's source, half-siblings' too.
    for (auto& [id, m] : pedigree.members) {
        std::vector<Individual*> parents{&m};
        std::vector<Individual*> children;
        for (const Child& c : childrenOf(pedigree, m)) {
            Individual* child = pedigree.member(c.member->individualId);
            Individual* mate = parentOf(pedigree, *child, 1 - c.side);
            if (!mate) {
                children.clear();
                break;
            }
            children.push_back(child);
            if (std::find(parents.begin(), parents.end(), mate) == parents.end()) parents.push_back(mate);
        }
        if (parents.size() >= 3)
            improved = polishParentsAndChildren(pedigree, choices, parents, children, settled).value_or(false) || improved;
        // And with its own parents: where it is filled, what it may take
        // follows from both its parents and its children.
        Individual* father = parentOf(pedigree, m, 0);
        Individual* mother = parentOf(pedigree, m, 1);
        if (children.empty() || !father || !mother) continue;
        parents.erase(parents.begin());
        parents.insert(parents.begin(), {father, mother, &m});
        improved = polishParentsAndChildren(pedigree, choices, parents, children, settled, nullptr, &m).value_or(false)
                   || improved;
    }
    return improved;
}

// A child with its two parents: where the three are heterozygous for the
// same two alleles, turning one of them alone never pays, all three
// together may.
bool polishTrios(Pedigree& pedigree)
{
    bool improved = false;
    for (const Couple& couple : couplesOf(pedigree))
        for (Individual* child : couple.children)
            improved = polishMove(pedigree, {child, couple.father, couple.mother}) || improved;
    return improved;
}

// A member with its children, then a couple with theirs (children of either),
// turning together: on a dense map of two-allele markers most informative
// loci have parents and children heterozygous for the same two alleles,
// where a parent turned alone moves every child's source with it.
bool polishTurns(Pedigree& pedigree)
{
    bool improved = false;
    auto turnWith = [&](const std::vector<Individual*>& hubs, std::vector<Individual*> children) {
        children.erase(std::remove_if(children.begin(), children.end(),
                                      [&](Individual* c) {
                                          return std::find(hubs.begin(), hubs.end(), c) != hubs.end();
                                      }),
                       children.end());
        const std::size_t most = std::max<std::size_t>(
            polish::leavesAffordable(hubs.size(), static_cast<std::size_t>(pedigree.locusCount)), 1);
        for (std::size_t first = 0; first < std::max<std::size_t>(children.size(), 1); first += most) {
            std::vector<Individual*> leaves(children.begin() + static_cast<std::ptrdiff_t>(first),
                                            children.begin()
                                                + static_cast<std::ptrdiff_t>(std::min(children.size(), first + most)));
            improved = polish::turnTogether(pedigree, hubs, leaves) || improved;
        }
    };
    auto childrenOfAll = [&](const std::vector<Individual*>& parents) {
        std::vector<Individual*> children;
        for (const Individual* parent : parents)
            for (const Child& c : childrenOf(pedigree, *parent)) {
                Individual* child = pedigree.member(c.member->individualId);
                if (std::find(children.begin(), children.end(), child) == children.end()) children.push_back(child);
            }
        return children;
    };
    for (auto& [id, m] : pedigree.members) turnWith({&m}, childrenOfAll({&m}));
    for (const Couple& couple : couplesOf(pedigree))
        turnWith({couple.father, couple.mother}, childrenOfAll({couple.father, couple.mother}));
    for (auto& [id, m] : pedigree.members) {
        Individual* father = parentOf(pedigree, m, 0);
        Individual* mother = parentOf(pedigree, m, 1);
        if (father && mother && !m.childIds.empty())
            turnWith({&m, father, mother}, childrenOfAll({&m, father, mother}));
    }
    return improved;
}

bool polishWindows(Pedigree& pedigree, const Choices& choices)
{
    const WindowRecords turned = [&](const Individual& m, std::size_t k, const std::array<Records, 2>*) {
        return turns(pedigree, m, k);
    };
    bool improved = false;
    for (const Couple& couple : couplesOf(pedigree)) {
        // The children move with their parents in the window: a parent's
        // filled alleles may be any that the children can be turned to fit,
        // and a child's any that the parents' records as tried allow.
        const WindowRecords refilled = [&](const Individual& m, std::size_t k, const std::array<Records, 2>* parents) {
            if (parents) return choices.withParents(m, k, *parents);
            return choices.at(m, k, false, &couple.children);
        };
        const std::size_t loci = couple.father->genotypes.size();
        for (std::size_t width = 0; width < windowWidth; ++width)
            for (std::size_t k = 0; k + width < loci; ++k)
                improved = polishWindow(pedigree, *couple.father, *couple.mother, k, k + width,
                                        width < refillWidth ? refilled : turned) || improved;
    }
    return improved;
}

} // namespace

bool polishPedigree(Pedigree& pedigree, const std::map<int, Individual>* asRead)
{
    if (!sameLocusCount(pedigree) || !storedOrdersFit(pedigree)) return false;
    const int before = pedigree.recombinantCount;
    const std::map<int, Individual> asExtended = pedigree.members;
    const Choices choices(pedigree, asRead);
    Settled settled;
    for (bool improved = true; improved;) {
        improved = polishMembers(pedigree, choices);
        if (asRead) improved = polishFamilies(pedigree, choices, settled) || improved;
        improved = polishTrios(pedigree) || improved;
        improved = polishTurns(pedigree) || improved;
        improved = polish::turnGroupsInWindows(pedigree, groupWindowWidth) || improved;
        improved = polishWindows(pedigree, choices) || improved;
    }
    completeAndCount(pedigree);
    if (pedigree.recombinantCount > before) {
        pedigree.members = asExtended;
        pedigree.recombinantCount = before;
        return false;
    }
    return pedigree.recombinantCount < before;
}

bool runPolishedBlockExtension(Pedigree& pedigree)
{
    const std::map<int, Individual> asRead = pedigree.members;
    if (!runBlockExtension(pedigree)) return false;
    polishPedigree(pedigree, &asRead);
    return true;
}

} // namespace tavirlen
