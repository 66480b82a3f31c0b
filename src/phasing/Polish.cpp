#include "phasing/Polish.h"

#include "phasing/PhasingHelpers.h"
#include "phasing/Sources.h"

#include <cstdint>
#include <limits>
#include <set>
#include <utility>
#include <vector>

namespace tavirlen {

namespace {

// Which of the parent's two alleles the allele is: 0 or 1, or -1 where that
// does not tell (the parent homozygous or not fully typed, the allele
// missing or not the parent's).
int sourceOf(const GenotypeRecord& parent, int allele)
{
    if (!parent.informative() || missingAllele(allele)) return -1;
    if (allele == parent.allele1) return 0;
    if (allele == parent.allele2) return 1;
    return -1;
}

// Changes of source along one side of a member, read from the alleles.
int sideRecombinants(const Individual& member, const Individual* parent, int side)
{
    if (!parent) return 0;
    int last = -1;
    int count = 0;
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
        int source = sourceOf(parent->genotypes[k], member.genotypes[k].allele(side));
        if (source == -1) continue;
        if (last != -1 && source != last) ++count;
        last = source;
    }
    return count;
}

struct Child {
    const Individual* member;
    int side; // the side on which it received the polished member's allele
};

std::vector<Child> childrenOf(const Pedigree& pedigree, const Individual& member)
{
    std::vector<Child> children;
    for (int id : member.childIds)
        if (const Individual* child = pedigree.member(id))
            children.push_back({child, child->fatherId == member.individualId ? 0 : 1});
    return children;
}

// Whether the parent on that side can have passed the allele on.
bool passable(const Individual* parent, std::size_t k, int allele)
{
    if (!parent || missingAllele(allele)) return true;
    const GenotypeRecord& p = parent->genotypes[k];
    return missingAllele(p.allele1) || missingAllele(p.allele2) || allele == p.allele1 || allele == p.allele2;
}

// Which of the parent's alleles the allele is, with the parent's order
// swapped or not.
int sourceOf(const GenotypeRecord& parent, bool swapped, int allele)
{
    int source = sourceOf(parent, allele);
    return source == -1 || !swapped ? source : 1 - source;
}

// One side of a member whose source the programme follows along the loci:
// the member moves, its parent may or may not.
struct FollowedSide {
    std::size_t child;  // index among the movers
    int side;
    const Individual* parent;
    int parentMover; // index among the movers, or -1
};

// A move: the allele orders of one to three members chosen together at the
// loci their genotypes and parents leave open, with everyone else held as
// they are, so that the recombinants they take part in are fewest. An exact
// programme over the loci. Its state holds:
//   - per mover, its order at its last heterozygous locus: the sources of
//     its children that do not move change only at its heterozygous loci,
//     which follow each other;
//   - per followed side (a mover's own side), the last source on it (0, 1 or
//     none yet): that side may skip some of the mover's heterozygous loci
//     (where the parent is homozygous), so its last source travels along.
// One member alone has 2 x 3 x 3 states; a child with both parents, 8 x 9
// when the parents are founders.
class JointProgramme {
public:
    JointProgramme(Pedigree& pedigree, const std::vector<Individual*>& movers) : movers_(movers)
    {
        for (std::size_t i = 0; i < movers_.size(); ++i) {
            std::vector<Child> outside;
            for (const Child& c : childrenOf(pedigree, *movers_[i]))
                if (moverIndex(c.member) == -1) outside.push_back(c);
            outside_.push_back(outside);
            for (int side = 0; side < 2; ++side)
                if (const Individual* parent = parentOf(pedigree, *movers_[i], side))
                    followed_.push_back({i, side, parent, moverIndex(parent)});
        }
        orderStates_ = std::size_t(1) << movers_.size();
        states_ = orderStates_;
        for (std::size_t f = 0; f < followed_.size(); ++f) states_ *= 3;
    }

    std::size_t stateCount() const { return states_; }

    // Per mover and locus, whether its stored order is to be swapped. On
    // equal costs the stored orders stay.
    std::vector<std::vector<bool>> solve() const
    {
        const std::size_t movers = movers_.size();
        const std::size_t followed = followed_.size();
        const std::size_t loci = movers_[0]->genotypes.size();
        struct Back {
            std::uint32_t from = 0;
            std::uint8_t choice = 0;
        };
        std::vector<Back> back(loci * states_);
        std::vector<int> cost(states_, unreachable);
        std::vector<int> next(states_);
        // Place value of each followed side's digit in a state.
        std::vector<std::size_t> place(followed);
        for (std::size_t f = 0, value = orderStates_; f < followed; ++f, value *= 3) place[f] = value;
        std::size_t start = 0;
        for (std::size_t f = 0; f < followed; ++f) start += none * place[f];
        cost[start] = 0;
        std::vector<int> lastHeterozygous(movers, -1);
        std::vector<char> heterozygous(movers);
        std::vector<std::pair<int, int>> ranks(movers);
        std::vector<std::size_t> choices;
        // Source on each followed side for each choice at the locus (-1: none).
        std::vector<int> sources(followed * orderStates_);
        for (std::size_t k = 0; k < loci; ++k) {
            choices.clear();
            std::size_t fixedMask = 0;
            for (std::size_t i = 0; i < movers; ++i) {
                const GenotypeRecord& g = movers_[i]->genotypes[k];
                heterozygous[i] = g.informative();
                ranks[i] = {0, 0};
                if (heterozygous[i] && lastHeterozygous[i] != -1)
                    ranks[i] = rankChildren(i, static_cast<std::size_t>(lastHeterozygous[i]), k);
                if (!g.informative() || !passable(father(i), k, g.allele2) || !passable(mother(i), k, g.allele1))
                    fixedMask |= std::size_t(1) << i;
            }
            for (std::size_t choice = 0; choice < orderStates_; ++choice) {
                if (choice & fixedMask) continue;
                choices.push_back(choice);
                for (std::size_t f = 0; f < followed; ++f) {
                    const FollowedSide& side = followed_[f];
                    const GenotypeRecord& g = movers_[side.child]->genotypes[k];
                    const bool childSwapped = choice >> side.child & 1;
                    const bool parentSwapped = side.parentMover != -1 && (choice >> side.parentMover & 1);
                    sources[f * orderStates_ + choice] = sourceOf(
                        side.parent->genotypes[k], parentSwapped, g.allele(childSwapped ? 1 - side.side : side.side));
                }
            }
            std::fill(next.begin(), next.end(), unreachable);
            for (std::size_t state = 0; state < states_; ++state) {
                if (cost[state] == unreachable) continue;
                const std::size_t orders = state % orderStates_;
                for (std::size_t choice : choices) {
                    int total = cost[state];
                    std::size_t to = state - orders;
                    for (std::size_t i = 0; i < movers; ++i) {
                        const std::size_t bit = std::size_t(1) << i;
                        if (!heterozygous[i]) {
                            to += orders & bit;
                            continue;
                        }
                        if (lastHeterozygous[i] != -1)
                            total += (choice & bit) == (orders & bit) ? ranks[i].second : ranks[i].first;
                        to += choice & bit;
                    }
                    for (std::size_t f = 0; f < followed; ++f) {
                        const int source = sources[f * orderStates_ + choice];
                        if (source == -1) continue;
                        const int last = static_cast<int>(state / place[f] % 3);
                        if (last != none && last != source) ++total;
                        to = to - static_cast<std::size_t>(last) * place[f] + static_cast<std::size_t>(source) * place[f];
                    }
                    if (total < next[to]) {
                        next[to] = total;
                        back[k * states_ + to] = {static_cast<std::uint32_t>(state), static_cast<std::uint8_t>(choice)};
                    }
                }
            }
            for (std::size_t i = 0; i < movers; ++i)
                if (heterozygous[i]) lastHeterozygous[i] = static_cast<int>(k);
            std::swap(cost, next);
        }

        std::size_t best = 0;
        for (std::size_t s = 1; s < states_; ++s)
            if (cost[s] < cost[best]) best = s;
        std::vector<std::vector<bool>> swaps(movers, std::vector<bool>(loci, false));
        for (std::size_t k = loci; k-- > 0;) {
            const Back& b = back[k * states_ + best];
            for (std::size_t i = 0; i < movers; ++i) swaps[i][k] = b.choice >> i & 1;
            best = b.from;
        }
        return swaps;
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

    const Individual* parent(std::size_t i, int side) const
    {
        for (const FollowedSide& f : followed_)
            if (f.child == i && f.side == side) return f.parent;
        return nullptr;
    }
    const Individual* father(std::size_t i) const { return parent(i, 0); }
    const Individual* mother(std::size_t i) const { return parent(i, 1); }

    // Over the mover's children that do not move, from its heterozygous
    // locus j to k: (same rank, different rank), the children that keep
    // their source when the mover keeps its orders and those that change.
    std::pair<int, int> rankChildren(std::size_t i, std::size_t j, std::size_t k) const
    {
        std::pair<int, int> ranks{0, 0};
        const Individual& m = *movers_[i];
        for (const Child& c : outside_[i]) {
            int from = sourceOf(m.genotypes[j], c.member->genotypes[j].allele(c.side));
            int to = sourceOf(m.genotypes[k], c.member->genotypes[k].allele(c.side));
            if (from == -1 || to == -1) continue;
            ++(from == to ? ranks.first : ranks.second);
        }
        return ranks;
    }

    std::vector<Individual*> movers_;
    std::vector<std::vector<Child>> outside_;
    std::vector<FollowedSide> followed_;
    std::size_t orderStates_ = 1;
    std::size_t states_ = 1;
};

// The largest programme a move may use; a child whose two parents both have
// parents of their own would need 8 x 729.
constexpr std::size_t largestMove = 648;

// The recombinants that depend on the movers' orders.
int moveRecombinants(Pedigree& pedigree, const std::vector<Individual*>& movers)
{
    std::set<std::pair<int, int>> sides; // (member, side)
    for (const Individual* m : movers) {
        sides.insert({m->individualId, 0});
        sides.insert({m->individualId, 1});
        for (const Child& c : childrenOf(pedigree, *m)) sides.insert({c.member->individualId, c.side});
    }
    int count = 0;
    for (auto [id, side] : sides) {
        const Individual* m = pedigree.member(id);
        count += sideRecombinants(*m, parentOf(pedigree, *m, side), side);
    }
    return count;
}

// Chooses the movers' orders again; keeps them only when they count fewer.
bool polishMove(Pedigree& pedigree, const std::vector<Individual*>& movers)
{
    JointProgramme programme(pedigree, movers);
    if (programme.stateCount() > largestMove) return false;
    std::vector<std::vector<bool>> swaps = programme.solve();
    bool any = false;
    for (const auto& perMover : swaps)
        for (bool s : perMover) any = any || s;
    if (!any) return false;
    const int before = moveRecombinants(pedigree, movers);
    auto swapAll = [&] {
        for (std::size_t i = 0; i < movers.size(); ++i)
            for (std::size_t k = 0; k < swaps[i].size(); ++k)
                if (swaps[i][k]) std::swap(movers[i]->genotypes[k].allele1, movers[i]->genotypes[k].allele2);
    };
    swapAll();
    if (moveRecombinants(pedigree, movers) < before) return true;
    swapAll();
    return false;
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

bool polishPedigree(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree) || !storedOrdersFit(pedigree)) return false;
    const int before = pedigree.recombinantCount;
    const std::map<int, Individual> asExtended = pedigree.members;
    for (bool improved = true; improved;) {
        improved = false;
        for (auto& [id, m] : pedigree.members) improved = polishMove(pedigree, {&m}) || improved;
        // A child with its two parents: where the three are heterozygous for
        // the same two alleles, turning one of them alone never pays, all
        // three together may.
        for (auto& [id, m] : pedigree.members) {
            Individual* father = parentOf(pedigree, m, 0);
            Individual* mother = parentOf(pedigree, m, 1);
            if (father && mother) improved = polishMove(pedigree, {&m, father, mother}) || improved;
        }
    }
    completeAndCount(pedigree);
    if (pedigree.recombinantCount > before) {
        pedigree.members = asExtended;
        pedigree.recombinantCount = before;
        return false;
    }
    return pedigree.recombinantCount < before;
}

} // namespace tavirlen
