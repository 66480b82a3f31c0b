#include "locusdp/LocusDP.h"

#include "phasing/Sources.h"

#include <algorithm>
#include <climits>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace tavirlen {

namespace {

// The member's pair at one locus in the order the state gives it.
inline void arrange(const StateAlleles::Locus& locus, int state, int& first, int& second)
{
    if (locus.bit >= 0 && ((static_cast<unsigned>(state) >> locus.bit) & 1u)) {
        first = locus.second;
        second = locus.first;
    } else {
        first = locus.first;
        second = locus.second;
    }
}

// One step of a side's walk: the source of `allele` in the parent's pair, a
// change against the last informative source counting one recombinant. A
// parent locus that cannot tell its two alleles apart (homozygous, or with a
// missing allele) says nothing, as in the recombinant count: a source made up
// there would have the programme minimise something other than the count.
inline void followSource(int allele, int p, int q, int& previous, int& count)
{
    if (p == q || p < 1 || q < 1) return;
    int source = allele == p ? 0 : 1;
    if (previous != -1 && source != previous) ++count;
    previous = source;
}

PhasingTreeNode& nodeAt(PhasingTree& tree, int index)
{
    return tree.nodes[static_cast<std::size_t>(index)];
}

const StateAlleles& allelesOf(PhasingTree& tree, int memberId)
{
    auto found = tree.alleles.find(memberId);
    if (found != tree.alleles.end()) return found->second;
    const Individual* member = tree.pedigree->member(memberId);
    return tree.alleles.emplace(memberId, member ? stateAlleles(*member) : StateAlleles()).first->second;
}

int stateCount(const PhasingTreeNode& node)
{
    return static_cast<int>(node.states.size());
}

// The lowest state of the child with the smallest cost below it plus the
// transmission from the two parents in their given states. Every minimum of
// the programme starts above any reachable cost, so each state records its
// best combination however costly the family: a fixed ceiling would leave
// states above it without one, and the trace-back would stop there.
std::pair<int, int> bestChildState(const PhasingTreeNode& child, const StateAlleles& childAlleles,
                                   const StateAlleles& a, int stateA, const StateAlleles& b, int stateB)
{
    int best = INT_MAX;
    int position = 0;
    for (int c = 0; c < stateCount(child); ++c) {
        int v = child.states[static_cast<std::size_t>(c)].cost
            + transmissionCost(a, stateA, b, stateB, childAlleles, c);
        if (v < best) {
            best = v;
            position = c;
        }
    }
    return {best, position};
}

// The member's transmission and its full siblings' from the two parents.
void solveParentsAndSiblings(PhasingTree& tree, PhasingTreeNode& node)
{
    const PhasingTreeNode& father = nodeAt(tree, node.upList[0]);
    const PhasingTreeNode& mother = nodeAt(tree, node.upList[1]);
    const StateAlleles& fatherAlleles = allelesOf(tree, father.memberId);
    const StateAlleles& motherAlleles = allelesOf(tree, mother.memberId);
    const StateAlleles& own = allelesOf(tree, node.memberId);
    std::vector<const PhasingTreeNode*> siblings;
    std::vector<const StateAlleles*> siblingAlleles;
    for (std::size_t i = 2; i < node.upList.size(); ++i) {
        siblings.push_back(&nodeAt(tree, node.upList[i]));
        siblingAlleles.push_back(&allelesOf(tree, siblings.back()->memberId));
    }

    const int fathers = stateCount(father);
    const int mothers = stateCount(mother);
    std::vector<int> table(static_cast<std::size_t>(fathers) * static_cast<std::size_t>(mothers));
    for (int f = 0; f < fathers; ++f) {
        for (int m = 0; m < mothers; ++m) {
            int t = father.states[static_cast<std::size_t>(f)].cost + mother.states[static_cast<std::size_t>(m)].cost;
            for (std::size_t s = 0; s < siblings.size(); ++s)
                t += bestChildState(*siblings[s], *siblingAlleles[s], fatherAlleles, f, motherAlleles, m).first;
            table[static_cast<std::size_t>(f) * static_cast<std::size_t>(mothers) + static_cast<std::size_t>(m)] = t;
        }
    }

    // For each own state the first parent pair, fathers outer, that is best.
    std::vector<std::size_t> chosenPair(node.states.size());
    for (int x = 0; x < stateCount(node); ++x) {
        int best = INT_MAX;
        std::size_t pair = 0;
        for (int f = 0; f < fathers; ++f) {
            for (int m = 0; m < mothers; ++m) {
                std::size_t at = static_cast<std::size_t>(f) * static_cast<std::size_t>(mothers) + static_cast<std::size_t>(m);
                int v = table[at] + transmissionCost(fatherAlleles, f, motherAlleles, m, own, x);
                if (v < best) {
                    best = v;
                    pair = at;
                }
            }
        }
        NodeState& state = node.states[static_cast<std::size_t>(x)];
        state.stateIndex = x;
        state.cost = best;
        chosenPair[static_cast<std::size_t>(x)] = pair;
    }

    // The siblings' best states again, only for the pairs some state chose;
    // cheaper in memory than keeping them for every pair.
    std::vector<std::size_t> pairs(chosenPair);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    std::vector<int> siblingStates(pairs.size() * siblings.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        int f = static_cast<int>(pairs[i] / static_cast<std::size_t>(mothers));
        int m = static_cast<int>(pairs[i] % static_cast<std::size_t>(mothers));
        for (std::size_t s = 0; s < siblings.size(); ++s)
            siblingStates[i * siblings.size() + s]
                = bestChildState(*siblings[s], *siblingAlleles[s], fatherAlleles, f, motherAlleles, m).second;
    }
    for (std::size_t x = 0; x < node.states.size(); ++x) {
        std::size_t i = static_cast<std::size_t>(
            std::lower_bound(pairs.begin(), pairs.end(), chosenPair[x]) - pairs.begin());
        std::vector<int>& choices = node.states[x].choices;
        choices.reserve(static_cast<std::size_t>(node.neighbourCount));
        choices.push_back(static_cast<int>(chosenPair[x] / static_cast<std::size_t>(mothers)));
        choices.push_back(static_cast<int>(chosenPair[x] % static_cast<std::size_t>(mothers)));
        for (std::size_t s = 0; s < siblings.size(); ++s)
            choices.push_back(siblingStates[i * siblings.size() + s]);
    }
}

// The transmissions to the member's children, each group of children with
// the mate they share.
void solveMateAndChildren(PhasingTree& tree, PhasingTreeNode& node)
{
    const StateAlleles& own = allelesOf(tree, node.memberId);
    struct Group {
        std::size_t mateEntry;
        std::vector<std::size_t> childEntries;
    };
    std::vector<Group> groups;
    for (std::size_t d = 0; d < node.downList.size(); ++d) {
        if (node.downMate[d] < 0)
            groups.push_back({d, {}});
        else if (!groups.empty())
            groups.back().childEntries.push_back(d);
    }
    std::vector<const PhasingTreeNode*> entries;
    std::vector<const StateAlleles*> entryAlleles;
    for (int index : node.downList) {
        entries.push_back(&nodeAt(tree, index));
        entryAlleles.push_back(&allelesOf(tree, entries.back()->memberId));
    }

    std::vector<int> down(node.downList.size());
    std::vector<int> candidate(node.downList.size());
    for (int x = 0; x < stateCount(node); ++x) {
        NodeState& state = node.states[static_cast<std::size_t>(x)];
        if (state.stateIndex == -1) state.stateIndex = x;
        int total = 0;
        for (const Group& group : groups) {
            const PhasingTreeNode& mate = *entries[group.mateEntry];
            const StateAlleles& mateAlleles = *entryAlleles[group.mateEntry];
            int best = INT_MAX;
            for (int r = 0; r < stateCount(mate); ++r) {
                int v = mate.states[static_cast<std::size_t>(r)].cost;
                for (std::size_t entry : group.childEntries) {
                    auto [cost, position]
                        = bestChildState(*entries[entry], *entryAlleles[entry], own, x, mateAlleles, r);
                    v += cost;
                    candidate[entry] = position;
                }
                if (v < best) {
                    best = v;
                    down[group.mateEntry] = r;
                    for (std::size_t entry : group.childEntries) down[entry] = candidate[entry];
                }
            }
            total += best;
        }
        state.cost += total;
        state.choices.insert(state.choices.end(), down.begin(), down.end());
    }
}

std::string roughly(double value)
{
    std::ostringstream text;
    text << std::setprecision(2) << value;
    return text.str();
}

// The family's records as they came, to put back when it is not attempted.
std::vector<std::vector<GenotypeRecord>> recordsOf(const Pedigree& pedigree)
{
    std::vector<std::vector<GenotypeRecord>> records;
    for (const auto& [id, m] : pedigree.members) records.push_back(m.genotypes);
    return records;
}

void restoreRecords(Pedigree& pedigree, std::vector<std::vector<GenotypeRecord>>& records)
{
    std::size_t i = 0;
    for (auto& [id, m] : pedigree.members) m.genotypes = std::move(records[i++]);
}

FamilyOutcome locusDPStep(FamilyRun& run)
{
    std::unique_ptr<Pedigree>& pedigree = run.pedigree;
    pedigree->prepare();
    auto asRead = recordsOf(*pedigree);
    phaseByMendel(*pedigree);
    auto refusal = runLocusDP(*pedigree);
    if (refusal) {
        restoreRecords(*pedigree, asRead);
        pedigree->recombinantCount = 0;
        std::cout << "Family " << pedigree->familyText() << " left unphased: " << *refusal << std::endl;
    }
    writeFamilyResults(run, *pedigree);
    if (refusal) markFamily(run.row, FamilyStatus::unphased, *refusal, "over the size limit");
    return FamilyOutcome::next;
}

void locusDPFinish(BatchRun& run)
{
    writeTotalTime(run);
}

} // namespace

int transmissionCost(const StateAlleles& parentA, int stateA, const StateAlleles& parentB, int stateB,
                     const StateAlleles& child, int stateChild)
{
    const bool aIsFather = parentA.sex == 1;
    const StateAlleles& father = aIsFather ? parentA : parentB;
    const StateAlleles& mother = aIsFather ? parentB : parentA;
    const int fatherState = aIsFather ? stateA : stateB;
    const int motherState = aIsFather ? stateB : stateA;
    const std::size_t loci = std::min({father.loci.size(), mother.loci.size(), child.loci.size()});
    int count = 0;
    int previous[2] = {-1, -1};
    for (std::size_t k = 0; k < loci; ++k) {
        int paternal, maternal, p, q;
        arrange(child.loci[k], stateChild, paternal, maternal);
        arrange(father.loci[k], fatherState, p, q);
        followSource(paternal, p, q, previous[0], count);
        arrange(mother.loci[k], motherState, p, q);
        followSource(maternal, p, q, previous[1], count);
    }
    return count;
}

int transmissionCost(const Pedigree& pedigree, int parentA, int stateA, int parentB, int stateB,
                     int child, int stateChild)
{
    const Individual* a = pedigree.member(parentA);
    const Individual* b = pedigree.member(parentB);
    const Individual* c = pedigree.member(child);
    if (!a || !b || !c) return 0;
    return transmissionCost(stateAlleles(*a), stateA, stateAlleles(*b), stateB, stateAlleles(*c), stateChild);
}

void solveNode(PhasingTree& tree, int index)
{
    PhasingTreeNode& node = nodeAt(tree, index);
    node.states.assign(std::size_t(1) << node.openLocusCount, NodeState());
    if (node.upList.size() >= 2) solveParentsAndSiblings(tree, node);
    if (!node.downList.empty()) solveMateAndChildren(tree, node);
    for (std::size_t s = 0; s < node.states.size(); ++s)
        if (node.states[s].stateIndex == -1) node.states[s].stateIndex = static_cast<int>(s);
}

void applyNodeState(Individual& member, int state)
{
    unsigned bits = static_cast<unsigned>(state);
    for (GenotypeRecord& g : member.genotypes) {
        if (g.phased) continue;
        g.phased = true;
        if (g.allele1 == g.allele2) continue; // both orders are one pair; no bit
        int low = std::min(g.allele1, g.allele2);
        int high = std::max(g.allele1, g.allele2);
        bool swapped = bits & 1u;
        bits >>= 1;
        g.allele1 = swapped ? high : low;
        g.allele2 = swapped ? low : high;
    }
}

void traceBack(PhasingTree& tree, int node, int state)
{
    std::vector<std::pair<int, int>> pending{{node, state}};
    while (!pending.empty()) {
        auto [index, s] = pending.back();
        pending.pop_back();
        PhasingTreeNode& current = nodeAt(tree, index);
        if (s < 0 || s >= stateCount(current)) continue;
        if (!current.standIn) {
            if (Individual* member = tree.pedigree->member(current.memberId)) applyNodeState(*member, s);
        }
        const std::vector<int>& choices = current.states[static_cast<std::size_t>(s)].choices;
        // Neighbours pushed last-first so the walk visits them in list order.
        for (std::size_t i = choices.size(); i-- > 0;) {
            int neighbour = i < current.upList.size() ? current.upList[i]
                : i - current.upList.size() < current.downList.size()
                ? current.downList[i - current.upList.size()]
                : -1;
            if (neighbour >= 0) pending.push_back({neighbour, choices[i]});
        }
    }
}

std::optional<std::string> locusDPRefusal(const LocusDPEstimate& estimate, const Pedigree* pedigree)
{
    const std::string name = pedigree ? pedigree->idText(estimate.widestMemberId) : std::to_string(estimate.widestMemberId);
    std::string widest = "; individual " + name + " has "
        + std::to_string(estimate.widestOpenLoci) + " open loci";
    if (estimate.tableBytes > locusDPMaxTableBytes)
        return "the locus-based programme would need about " + roughly(estimate.tableBytes)
            + " bytes of tables (limit " + roughly(locusDPMaxTableBytes) + ")" + widest;
    if (estimate.locusSteps > locusDPMaxLocusSteps)
        return "the locus-based programme would need about " + roughly(estimate.locusSteps)
            + " locus comparisons (limit " + roughly(locusDPMaxLocusSteps) + ")" + widest;
    return std::nullopt;
}

std::optional<std::string> runLocusDP(Pedigree& pedigree)
{
    PhasingTree tree = buildPhasingTree(pedigree);
    if (tree.root >= 0) {
        if (auto refusal = locusDPRefusal(estimateLocusDP(tree), &pedigree)) return refusal;
        for (std::size_t i = tree.nodes.size(); i-- > 0;) solveNode(tree, static_cast<int>(i));
        const PhasingTreeNode& root = nodeAt(tree, tree.root);
        int best = 0;
        for (int s = 1; s < stateCount(root); ++s)
            if (root.states[static_cast<std::size_t>(s)].cost < root.states[static_cast<std::size_t>(best)].cost)
                best = s;
        traceBack(tree, tree.root, best);
    }
    countRecombinants(pedigree);
    return std::nullopt;
}

BatchMode locusDPMode()
{
    BatchMode mode;
    mode.method = "locus-based programme";
    mode.headerColumns = 7;
    mode.endOfFamily = locusDPStep;
    mode.finishRun = locusDPFinish;
    return mode;
}

} // namespace tavirlen
