#include "locusdp/PhasingTree.h"

#include <algorithm>
#include <cmath>

namespace tavirlen {

namespace {

int countOpenLoci(const Individual& member)
{
    int open = 0;
    for (const GenotypeRecord& g : member.genotypes) open += !g.phased && g.allele1 != g.allele2 ? 1 : 0;
    return open;
}

class TreeBuilder {
public:
    explicit TreeBuilder(Pedigree& pedigree) { tree_.pedigree = &pedigree; }

    PhasingTree build()
    {
        Pedigree& pedigree = *tree_.pedigree;
        if (pedigree.members.empty()) return std::move(tree_);
        tree_.root = makeNode(pedigree.members.begin()->first, -1, false);
        // Depth first, as a recursive expansion would go: a node's whole
        // subtree is expanded before its next neighbour. An explicit stack
        // keeps deep pedigrees off the call stack.
        std::vector<int> pending{tree_.root};
        while (!pending.empty()) {
            int index = pending.back();
            pending.pop_back();
            expand(index);
            const PhasingTreeNode& node = tree_.nodes[static_cast<std::size_t>(index)];
            for (auto it = node.downList.rbegin(); it != node.downList.rend(); ++it) pending.push_back(*it);
            for (auto it = node.upList.rbegin(); it != node.upList.rend(); ++it) pending.push_back(*it);
        }
        return std::move(tree_);
    }

private:
    int makeNode(int memberId, int treeParent, bool standIn)
    {
        PhasingTreeNode node;
        node.memberId = memberId;
        node.treeParent = treeParent;
        node.standIn = standIn;
        const Individual* member = tree_.pedigree->member(memberId);
        node.openLocusCount = member ? countOpenLoci(*member) : 0;
        if (!standIn) tree_.placed.insert(memberId);
        tree_.nodes.push_back(std::move(node));
        return static_cast<int>(tree_.nodes.size()) - 1;
    }

    // A member placed from node `from`: its own node, or a stand-in when it
    // already has one.
    int reach(int memberId, int from)
    {
        return makeNode(memberId, from, tree_.placed.count(memberId) > 0);
    }

    PhasingTreeNode& node(int index) { return tree_.nodes[static_cast<std::size_t>(index)]; }

    void expand(int index)
    {
        if (node(index).standIn) return;
        Pedigree& pedigree = *tree_.pedigree;
        const int id = node(index).memberId;
        const Individual* member = pedigree.member(id);
        if (!member) return;

        // Parents and full siblings, unless this member's own transmission is
        // already costed at another node (it was placed as a child or sibling).
        const Individual* father = member->fatherId > 0 ? pedigree.member(member->fatherId) : nullptr;
        const Individual* mother = member->motherId > 0 ? pedigree.member(member->motherId) : nullptr;
        if (father && mother && !costed_.count(id)) {
            costed_.insert(id);
            std::vector<int> up;
            up.push_back(reach(father->individualId, index));
            up.push_back(reach(mother->individualId, index));
            for (int childId : father->childIds) {
                const Individual* sibling = pedigree.member(childId);
                if (!sibling || sibling->motherId != mother->individualId || tree_.placed.count(childId))
                    continue;
                up.push_back(makeNode(childId, index, false));
                costed_.insert(childId);
            }
            node(index).upList = up;
        }

        // Children not yet placed, grouped by their other parent in the order
        // of the first child of each group.
        std::vector<std::pair<int, std::vector<int>>> groups;
        for (int childId : member->childIds) {
            const Individual* child = pedigree.member(childId);
            if (!child || tree_.placed.count(childId)) continue;
            int other = child->fatherId != id ? child->fatherId : child->motherId;
            auto group = std::find_if(groups.begin(), groups.end(),
                                      [other](const auto& g) { return g.first == other; });
            if (group == groups.end()) {
                groups.push_back({other, {}});
                group = groups.end() - 1;
            }
            group->second.push_back(childId);
        }
        std::vector<int> down;
        std::vector<int> downMate;
        for (const auto& [mateId, children] : groups) {
            int matePosition = static_cast<int>(down.size());
            down.push_back(reach(mateId, index));
            downMate.push_back(-1);
            for (int childId : children) {
                down.push_back(makeNode(childId, index, false));
                downMate.push_back(matePosition);
                costed_.insert(childId);
            }
        }
        PhasingTreeNode& self = node(index);
        self.downList = down;
        self.downMate = downMate;
        self.neighbourCount = static_cast<int>(self.upList.size() + self.downList.size());
    }

    PhasingTree tree_;
    // Members whose transmission from their parents some node already costs.
    std::set<int> costed_;
};

double powerOfTwo(int exponent)
{
    return std::ldexp(1.0, exponent);
}

} // namespace

StateAlleles stateAlleles(const Individual& member)
{
    StateAlleles alleles;
    alleles.sex = member.sex;
    alleles.loci.reserve(member.genotypes.size());
    int bit = 0;
    for (const GenotypeRecord& g : member.genotypes) {
        StateAlleles::Locus locus;
        if (g.phased) {
            locus.first = g.allele1;
            locus.second = g.allele2;
        } else {
            locus.first = std::min(g.allele1, g.allele2);
            locus.second = std::max(g.allele1, g.allele2);
            if (g.allele1 != g.allele2) locus.bit = bit++;
        }
        alleles.loci.push_back(locus);
    }
    return alleles;
}

PhasingTree buildPhasingTree(Pedigree& pedigree)
{
    return TreeBuilder(pedigree).build();
}

LocusDPEstimate estimateLocusDP(const PhasingTree& tree)
{
    LocusDPEstimate estimate;
    int loci = tree.pedigree ? std::max(tree.pedigree->locusCount, 1) : 1;
    double stateBytes = 0;
    double largestScratch = 0;
    double evaluations = 0;
    auto states = [&](int index) {
        return powerOfTwo(tree.nodes[static_cast<std::size_t>(index)].openLocusCount);
    };
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        const PhasingTreeNode& node = tree.nodes[i];
        double own = powerOfTwo(node.openLocusCount);
        if (i == 0 || node.openLocusCount > estimate.widestOpenLoci) {
            estimate.widestOpenLoci = node.openLocusCount;
            estimate.widestMemberId = node.memberId;
        }
        // Each state: the record itself, and a kept combination of one int
        // per neighbour with its allocation overhead.
        double perState = sizeof(NodeState) + (node.neighbourCount > 0 ? 16.0 + 4.0 * node.neighbourCount : 0.0);
        stateBytes += own * perState;
        evaluations += own;
        if (node.upList.size() >= 2) {
            double pairs = states(node.upList[0]) * states(node.upList[1]);
            double siblings = 0;
            for (std::size_t s = 2; s < node.upList.size(); ++s) siblings += states(node.upList[s]);
            // The table over parent pairs, then each state of the member
            // against every pair, then the siblings again for the pairs chosen.
            evaluations += pairs * (siblings + own) + std::min(own, pairs) * siblings;
            double scratch = pairs * 4.0 + own * 8.0
                + std::min(own, pairs) * 4.0 * static_cast<double>(node.upList.size());
            largestScratch = std::max(largestScratch, scratch);
        }
        double groupChildren = 0;
        for (std::size_t d = node.downList.size(); d-- > 0;) {
            if (node.downMate[d] < 0) {
                evaluations += own * states(node.downList[d]) * groupChildren;
                groupChildren = 0;
            } else {
                groupChildren += states(node.downList[d]);
            }
        }
    }
    estimate.tableBytes = stateBytes + largestScratch;
    estimate.locusSteps = evaluations * loci;
    return estimate;
}

} // namespace tavirlen
