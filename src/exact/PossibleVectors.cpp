#include "exact/PossibleVectors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavirlen {

namespace {

class VectorSearch {
public:
    VectorSearch(const InheritanceLayout& layout, const LocusPlan& plan, std::size_t activeMembers)
        : layout_(layout), plan_(plan), genes_(layout.members.size(), {-1, -1})
    {
        for (std::size_t i = 0; i < layout.members.size(); ++i) {
            const LayoutMember& m = layout.members[i];
            if (m.isFounder()) {
                if (m.firstGene >= 0) genes_[i] = {m.firstGene, m.firstGene + 1};
                if (i < activeMembers && m.firstGene >= 0) founders_.push_back(static_cast<int>(i));
            } else if (i < activeMembers && plan.relevant[i]) {
                steps_.push_back(static_cast<int>(i));
            }
        }
    }

    // Calls leaf(v) for every vector reached (free bits 0), possibly more
    // than once; leaf returns false to stop the search.
    template <class Leaf>
    void run(Leaf&& leaf)
    {
        stopped_ = false;
        applyFounders(0, GeneLabelling(), leaf);
    }

private:
    template <class Leaf>
    void applyFounders(std::size_t k, const GeneLabelling& labelling, Leaf& leaf)
    {
        if (stopped_) return;
        if (k == founders_.size()) {
            place(0, labelling, 0, leaf);
            return;
        }
        const std::size_t i = static_cast<std::size_t>(founders_[k]);
        applyRule(plan_.rules[i], genes_[i][0], genes_[i][1], labelling,
                  [&](const GeneLabelling& next) { applyFounders(k + 1, next, leaf); });
    }

    template <class Leaf>
    void place(std::size_t level, const GeneLabelling& labelling, InheritanceVector vector, Leaf& leaf)
    {
        if (stopped_) return;
        if (level == steps_.size()) {
            if (!leaf(vector)) stopped_ = true;
            return;
        }
        const std::size_t i = static_cast<std::size_t>(steps_[level]);
        const LayoutMember& m = layout_.members[i];
        const int lastPaternal = (plan_.freeBits >> m.bit) & 1 ? 0 : 1;
        const int lastMaternal = (plan_.freeBits >> (m.bit + 1)) & 1 ? 0 : 1;
        const auto& father = genes_[static_cast<std::size_t>(m.father)];
        const auto& mother = genes_[static_cast<std::size_t>(m.mother)];
        for (int p = 0; p <= lastPaternal; ++p) {
            for (int q = 0; q <= lastMaternal; ++q) {
                const int x = father[static_cast<std::size_t>(p)];
                const int y = mother[static_cast<std::size_t>(q)];
                genes_[i] = {x, y};
                const InheritanceVector next = vector | (InheritanceVector(p) << m.bit)
                    | (InheritanceVector(q) << (m.bit + 1));
                applyRule(plan_.rules[i], x, y, labelling,
                          [&](const GeneLabelling& after) { place(level + 1, after, next, leaf); });
            }
        }
    }

    const InheritanceLayout& layout_;
    const LocusPlan& plan_;
    std::vector<std::array<int, 2>> genes_; // the genes reaching each member on the current branch
    std::vector<int> founders_;             // founders with children (their genotypes first)
    std::vector<int> steps_;                // relevant non-founders, one level each
    bool stopped_ = false;
};

// possible[v | bit] = possible[v] for every v without the bit, for each free bit.
void spreadFreeBits(std::uint8_t* possible, int bitCount, InheritanceVector freeBits)
{
    const std::size_t size = std::size_t(1) << bitCount;
    for (int b = 0; b < bitCount; ++b) {
        if (!((freeBits >> b) & 1)) continue;
        const std::size_t half = std::size_t(1) << b;
        for (std::size_t block = 0; block < size; block += 2 * half) {
            if (half >= 16) {
                std::memcpy(possible + block + half, possible + block, half);
            } else {
                for (std::size_t k = 0; k < half; ++k) possible[block + half + k] = possible[block + k];
            }
        }
    }
}

} // namespace

std::uint64_t markPossibleVectors(const InheritanceLayout& layout, const LocusPlan& plan, std::uint8_t* possible)
{
    std::uint64_t reached = 0;
    VectorSearch search(layout, plan, layout.members.size());
    search.run([&](InheritanceVector v) {
        possible[v] = 1;
        ++reached;
        return true;
    });
    if (reached) spreadFreeBits(possible, layout.bitCount, plan.freeBits);
    return reached;
}

int firstUnfittingMember(const InheritanceLayout& layout, const LocusPlan& plan)
{
    for (std::size_t k = 1; k <= layout.members.size(); ++k) {
        bool found = false;
        VectorSearch search(layout, plan, k);
        search.run([&](InheritanceVector) {
            found = true;
            return false;
        });
        if (!found) return layout.members[k - 1].id;
    }
    return 0;
}

} // namespace tavirlen
