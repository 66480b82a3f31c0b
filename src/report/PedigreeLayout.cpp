#include "report/PedigreeLayout.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace tavirlen {

const PlacedMember* PedigreeLayout::find(int id) const
{
    auto at = std::lower_bound(members.begin(), members.end(), id,
                               [](const PlacedMember& m, int value) { return m.id < value; });
    return at != members.end() && at->id == id ? &*at : nullptr;
}

namespace {

// Two parents (member indices, -1 when not a member) and their children.
struct Couple {
    int father = -1;
    int mother = -1;
    std::vector<int> children;
    bool both() const { return father >= 0 && mother >= 0; }
};

// A run of members of one row kept together in this order: a sibship with
// the spouses who married into it, or a group of founders joined by marriage.
struct Block {
    std::vector<int> members;
    int couple = -1; // the siblings' parents, -1 for founders
};

// Pieces of line that live in the channel between two rows and must not lie
// on top of each other: each gets a level.
struct ChannelLine {
    int couple = 0;
    double low = 0;
    double high = 0;
    int level = 0;
};

// Where a vertical line passes through a horizontal one without ending on
// it, the horizontal is broken for a few units, so that the crossing does not
// read as a junction.
void breakCrossings(std::vector<Segment>& lines)
{
    const double half = 4;
    std::vector<Segment> out;
    for (const Segment& h : lines) {
        if (h.y1 != h.y2) {
            out.push_back(h);
            continue;
        }
        std::vector<double> cuts;
        double low = std::min(h.x1, h.x2), high = std::max(h.x1, h.x2);
        for (const Segment& v : lines)
            if (v.x1 == v.x2 && v.x1 > low + half && v.x1 < high - half && std::min(v.y1, v.y2) < h.y1
                && std::max(v.y1, v.y2) > h.y1)
                cuts.push_back(v.x1);
        std::sort(cuts.begin(), cuts.end());
        for (double x : cuts) {
            if (x - half > low) out.push_back({low, h.y1, x - half, h.y1});
            low = std::max(low, x + half);
        }
        out.push_back({low, h.y1, high, h.y1});
    }
    lines = std::move(out);
}

class LayoutBuilder {
public:
    LayoutBuilder(const Pedigree& pedigree, const LayoutSizes& sizes) : sizes_(sizes) { readMembers(pedigree); }

    PedigreeLayout build();

private:
    void readMembers(const Pedigree& pedigree);
    void assignGenerations();
    void orderRow(int row, const std::vector<int>& rowMembers);
    std::vector<int> marriageChain(int start, int row);
    void placeRow(int row, bool withChildren);
    double centre(int i) const { return x_[i] + sizes_.memberWidth / 2; }
    double nodeX(int couple) const;
    bool sideBySide(int couple) const;
    bool unanchored(int i) const { return parentCouple_[i] < 0; }
    void drawLines(PedigreeLayout& layout);

    LayoutSizes sizes_;
    std::vector<int> ids_;
    std::vector<int> parentCouple_;
    std::vector<Couple> couples_;
    std::vector<std::set<int>> spouses_;
    std::vector<std::vector<int>> parentIn_; // couples a member is a parent of
    std::vector<int> row_;
    std::vector<int> position_;
    std::vector<double> x_;
    std::vector<bool> placed_;
    std::vector<std::vector<Block>> blocks_;
    std::vector<std::vector<int>> rowOrder_;
    std::vector<int> descentGap_; // couples apart in a row: the gap after this position
    int rows_ = 0;
};

void LayoutBuilder::readMembers(const Pedigree& pedigree)
{
    std::map<int, int> index;
    for (const auto& [id, m] : pedigree.members) {
        index[id] = static_cast<int>(ids_.size());
        ids_.push_back(id);
    }
    auto indexOf = [&](int id) {
        auto found = id != 0 ? index.find(id) : index.end();
        return found == index.end() ? -1 : found->second;
    };
    std::map<std::pair<int, int>, int> coupleOf;
    parentCouple_.assign(ids_.size(), -1);
    spouses_.resize(ids_.size());
    parentIn_.resize(ids_.size());
    for (const auto& [id, m] : pedigree.members) {
        int f = indexOf(m.fatherId);
        int mo = indexOf(m.motherId);
        int self = index[id];
        if ((f < 0 && mo < 0) || f == self || mo == self) continue;
        auto [at, added] = coupleOf.emplace(std::make_pair(f, mo), static_cast<int>(couples_.size()));
        if (added) {
            couples_.push_back({f, mo, {}});
            if (f >= 0) parentIn_[f].push_back(at->second);
            if (mo >= 0 && mo != f) parentIn_[mo].push_back(at->second);
        }
        couples_[at->second].children.push_back(self);
        parentCouple_[self] = at->second;
        if (f >= 0 && mo >= 0 && f != mo) {
            spouses_[f].insert(mo);
            spouses_[mo].insert(f);
        }
    }
}

// Rows by depth from the founders: a child one row below its lower parent,
// and spouses in one row (the upper one moves down), which puts founders who
// married into the family beside their spouse. Capped rounds keep a strange
// pedigree (someone married to a grandchild) from pushing forever; children
// stay below their parents in any case.
void LayoutBuilder::assignGenerations()
{
    const int n = static_cast<int>(ids_.size());
    // Parents before children, so that one pass carries a change down.
    std::vector<int> order, waiting(n, 0);
    for (int i = 0; i < n; ++i)
        if (parentCouple_[i] < 0) order.push_back(i);
        else waiting[i] = couples_[parentCouple_[i]].both() ? 2 : 1;
    for (std::size_t k = 0; k < order.size(); ++k)
        for (int c : parentIn_[order[k]])
            for (int child : couples_[c].children)
                if (--waiting[child] == 0) order.push_back(child);
    for (int i = 0; i < n; ++i)
        if (waiting[i] > 0) order.push_back(i); // parent links that loop: cannot come from a checked family

    std::vector<int> generation(n, 0);
    auto childrenBelowParents = [&] {
        bool changed = false;
        for (int i : order) {
            if (parentCouple_[i] < 0) continue;
            const Couple& c = couples_[parentCouple_[i]];
            int below = 1 + std::max(c.father >= 0 ? generation[c.father] : 0, c.mother >= 0 ? generation[c.mother] : 0);
            if (generation[i] < below) {
                generation[i] = below;
                changed = true;
            }
        }
        return changed;
    };
    for (int round = 0; round <= n; ++round) {
        bool changed = childrenBelowParents();
        for (const Couple& c : couples_) {
            if (!c.both() || generation[c.father] == generation[c.mother]) continue;
            generation[c.father] = generation[c.mother] = std::max(generation[c.father], generation[c.mother]);
            changed = true;
        }
        if (!changed) break;
    }
    childrenBelowParents();
    std::set<int> used(generation.begin(), generation.end());
    std::map<int, int> rowOf;
    for (int g : used) rowOf.emplace(g, static_cast<int>(rowOf.size()));
    row_.resize(n);
    for (int i = 0; i < n; ++i) row_[i] = rowOf[generation[i]];
    rows_ = static_cast<int>(rowOf.size());
}

double LayoutBuilder::nodeX(int couple) const
{
    const Couple& c = couples_[couple];
    if (int gap = descentGap_[couple]; gap >= 0) {
        const std::vector<int>& order = rowOrder_[row_[c.father]];
        return (x_[order[gap]] + x_[order[gap + 1]] + sizes_.memberWidth) / 2;
    }
    if (c.both()) return (centre(c.father) + centre(c.mother)) / 2;
    return centre(c.father >= 0 ? c.father : c.mother);
}

bool LayoutBuilder::sideBySide(int couple) const
{
    const Couple& c = couples_[couple];
    return c.both() && row_[c.father] == row_[c.mother] && std::abs(position_[c.father] - position_[c.mother]) == 1;
}

// A member and the founders of its row married to it, or to them in turn,
// not yet placed: a chain that is walked spouse by spouse, so that a path of
// marriages comes out in path order.
std::vector<int> LayoutBuilder::marriageChain(int start, int row)
{
    std::vector<int> chain;
    std::vector<int> stack{start};
    while (!stack.empty()) {
        int i = stack.back();
        stack.pop_back();
        if (placed_[i]) continue;
        placed_[i] = true;
        chain.push_back(i);
        for (auto s = spouses_[i].rbegin(); s != spouses_[i].rend(); ++s)
            if (!placed_[*s] && row_[*s] == row && unanchored(*s)) stack.push_back(*s);
    }
    return chain;
}

void LayoutBuilder::orderRow(int row, const std::vector<int>& rowMembers)
{
    std::map<int, std::vector<int>> sibships;
    for (int i : rowMembers)
        if (!unanchored(i)) sibships[parentCouple_[i]].push_back(i);
    std::vector<std::pair<int, std::vector<int>>> groups(sibships.begin(), sibships.end());
    std::stable_sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
        return nodeX(a.first) < nodeX(b.first);
    });

    // Where two neighbouring sibships hold a couple, that couple goes to the
    // touching ends so the two sit side by side.
    const std::size_t g = groups.size();
    std::vector<int> leftEnd(g, -1), rightEnd(g, -1);
    for (std::size_t k = 0; k + 1 < g; ++k) {
        bool found = false;
        for (int a : groups[k].second) {
            if (found || (a == leftEnd[k] && groups[k].second.size() > 1)) continue;
            for (int b : groups[k + 1].second)
                if (spouses_[a].count(b)) {
                    rightEnd[k] = a;
                    leftEnd[k + 1] = b;
                    found = true;
                    break;
                }
        }
    }

    std::vector<Block> blocks;
    for (std::size_t k = 0; k < g; ++k) {
        std::vector<int> siblings;
        if (leftEnd[k] >= 0) siblings.push_back(leftEnd[k]);
        for (int i : groups[k].second)
            if (i != leftEnd[k] && i != rightEnd[k]) siblings.push_back(i);
        if (rightEnd[k] >= 0 && rightEnd[k] != leftEnd[k]) siblings.push_back(rightEnd[k]);
        for (int s : siblings) placed_[s] = true;

        Block block;
        block.couple = groups[k].first;
        for (std::size_t j = 0; j < siblings.size(); ++j) {
            int s = siblings[j];
            // Married-in spouses go to the outer side of the first sibling,
            // else to the right; a second one to the other side.
            bool left = j == 0 && siblings.size() > 1;
            if (s == rightEnd[k]) left = true;
            if (s == leftEnd[k]) left = false;
            std::vector<int> leftSide, rightSide;
            int taken = 0;
            for (int a : spouses_[s]) {
                if (placed_[a] || row_[a] != row || !unanchored(a)) continue;
                std::vector<int> chain = marriageChain(a, row);
                bool toLeft = (taken++ % 2 == 0) ? left : !left;
                std::vector<int>& side = toLeft ? leftSide : rightSide;
                side.insert(side.end(), chain.begin(), chain.end());
            }
            block.members.insert(block.members.end(), leftSide.rbegin(), leftSide.rend());
            block.members.push_back(s);
            block.members.insert(block.members.end(), rightSide.begin(), rightSide.end());
        }
        blocks.push_back(std::move(block));
    }

    // Founders (and whoever is left): groups joined by marriage, walked from
    // an end of the chain so that spouses come side by side.
    for (int i : rowMembers) {
        if (placed_[i]) continue;
        std::vector<int> component{i};
        std::set<int> seen{i};
        for (std::size_t k = 0; k < component.size(); ++k)
            for (int s : spouses_[component[k]])
                if (!placed_[s] && row_[s] == row && seen.insert(s).second) component.push_back(s);
        int start = -1;
        for (int c : component) {
            int degree = 0;
            for (int s : spouses_[c]) degree += seen.count(s) ? 1 : 0;
            if (degree <= 1 && (start < 0 || c < start)) start = c;
        }
        if (start < 0) start = i;
        Block block;
        for (int c = start; c >= 0;) {
            placed_[c] = true;
            block.members.push_back(c);
            int next = -1;
            for (int s : spouses_[c])
                if (seen.count(s) && !placed_[s]) {
                    next = s;
                    break;
                }
            if (next < 0)
                for (int m : component)
                    if (!placed_[m]) {
                        next = m;
                        break;
                    }
            c = next;
        }
        blocks.push_back(std::move(block));
    }

    std::vector<int>& order = rowOrder_[row];
    for (const Block& block : blocks)
        for (int i : block.members) {
            position_[i] = static_cast<int>(order.size());
            order.push_back(i);
        }
    blocks_[row] = std::move(blocks);

    // A couple apart in the row descends from a gap between them that no
    // couple sitting side by side uses, the one nearest their middle.
    std::set<int> usedGaps;
    for (int i : order)
        for (int c : parentIn_[i])
            if (sideBySide(c)) usedGaps.insert(std::min(position_[couples_[c].father], position_[couples_[c].mother]));
    for (int i : order)
        for (int c : parentIn_[i]) {
            const Couple& couple = couples_[c];
            if (!couple.both() || i != couple.father || row_[couple.mother] != row || sideBySide(c)) continue;
            int low = std::min(position_[couple.father], position_[couple.mother]);
            int high = std::max(position_[couple.father], position_[couple.mother]) - 1;
            if (high < low) continue;
            int best = (low + high) / 2;
            for (int gap = low, bestDistance = -1; gap <= high; ++gap) {
                int distance = std::abs(2 * gap - (low + high));
                if (!usedGaps.count(gap) && (bestDistance < 0 || distance < bestDistance)) {
                    best = gap;
                    bestDistance = distance;
                }
            }
            usedGaps.insert(best);
            descentGap_[c] = best;
        }
}

// Places the members of a row in their order, each as near to where it
// wants to be as the others allow: neighbours that would overlap are merged
// into a run that is put at the mean of their wishes. A member wants to be
// where its sibship is centred under its parents and, once the rows below
// are placed, where its couples are over the middle of their children; a
// member with neither stays. Sibships and couples keep their order and may
// only spread apart.
void LayoutBuilder::placeRow(int row, bool withChildren)
{
    const std::vector<int>& order = rowOrder_[row];
    const double step = sizes_.memberWidth + sizes_.gap;
    std::vector<double> want(order.size()), gapBefore(order.size(), sizes_.gap);
    std::size_t e = 0;
    for (const Block& block : blocks_[row]) {
        gapBefore[e] = sizes_.gap * 1.5; // sibships stand a little apart
        double start = 0;
        if (block.couple >= 0) {
            double offsets = 0;
            int siblings = 0;
            for (std::size_t j = 0; j < block.members.size(); ++j)
                if (parentCouple_[block.members[j]] == block.couple) {
                    offsets += static_cast<double>(j) * step + sizes_.memberWidth / 2;
                    ++siblings;
                }
            start = nodeX(block.couple) - offsets / siblings;
        }
        for (std::size_t j = 0; j < block.members.size(); ++j, ++e) {
            int i = block.members[j];
            double sum = block.couple >= 0 ? start + static_cast<double>(j) * step : 0;
            int count = block.couple >= 0 ? 1 : 0;
            if (withChildren) {
                // Side by side, each spouse half a place off the middle.
                for (int c : parentIn_[i]) {
                    double children = 0;
                    for (int child : couples_[c].children) children += centre(child);
                    children /= static_cast<double>(couples_[c].children.size());
                    if (sideBySide(c)) {
                        int other = couples_[c].father == i ? couples_[c].mother : couples_[c].father;
                        children += position_[i] < position_[other] ? -step / 2 : step / 2;
                    }
                    sum += children - sizes_.memberWidth / 2;
                    ++count;
                }
            }
            want[e] = count > 0 ? sum / count : x_[i];
        }
    }

    struct Cluster {
        std::size_t first;
        double sum;
        int count;
        double width;
        double start() const { return sum / count; }
    };
    std::vector<Cluster> clusters;
    for (std::size_t k = 0; k < order.size(); ++k) {
        Cluster next{k, want[k], 1, sizes_.memberWidth};
        while (!clusters.empty() && clusters.back().start() + clusters.back().width + gapBefore[k] > next.start()) {
            const Cluster& last = clusters.back();
            double shift = last.width + gapBefore[next.first];
            next = {last.first, last.sum + next.sum - shift * next.count, last.count + next.count, shift + next.width};
            clusters.pop_back();
        }
        clusters.push_back(next);
    }
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        std::size_t end = c + 1 < clusters.size() ? clusters[c + 1].first : order.size();
        double x = clusters[c].start();
        for (std::size_t k = clusters[c].first; k < end; ++k) {
            if (k > clusters[c].first) x += gapBefore[k];
            x_[order[k]] = x;
            x += sizes_.memberWidth;
        }
    }
}

PedigreeLayout LayoutBuilder::build()
{
    PedigreeLayout layout;
    const std::size_t n = ids_.size();
    if (n == 0) return layout;
    assignGenerations();
    position_.assign(n, 0);
    x_.assign(n, 0);
    placed_.assign(n, false);
    blocks_.assign(rows_, {});
    rowOrder_.assign(rows_, {});
    descentGap_.assign(couples_.size(), -1);
    std::vector<std::vector<int>> rowMembers(rows_);
    for (std::size_t i = 0; i < n; ++i) rowMembers[row_[i]].push_back(static_cast<int>(i));

    for (int r = 0; r < rows_; ++r) {
        orderRow(r, rowMembers[r]);
        placeRow(r, false);
    }
    for (int round = 0; round < 3; ++round) {
        for (int r = rows_ - 2; r >= 0; --r) placeRow(r, true);
        for (int r = 1; r < rows_; ++r) placeRow(r, true);
    }
    double left = *std::min_element(x_.begin(), x_.end());
    for (double& x : x_) x += sizes_.marginLeft - left;

    drawLines(layout);
    return layout;
}

void LayoutBuilder::drawLines(PedigreeLayout& layout)
{
    const double levelStep = 5;
    const double w = sizes_.memberWidth;
    const double h = sizes_.memberHeight;

    // The channel above row r holds the sibship lines of row r and the lines
    // joining couples of row r-1 who do not sit side by side.
    std::vector<std::vector<ChannelLine>> sibships(rows_ + 1), links(rows_ + 1);
    for (std::size_t c = 0; c < couples_.size(); ++c) {
        const Couple& couple = couples_[c];
        std::map<int, std::pair<double, double>> spans;
        for (int child : couple.children) {
            auto [at, added] = spans.emplace(row_[child], std::make_pair(nodeX(static_cast<int>(c)), nodeX(static_cast<int>(c))));
            at->second.first = std::min(at->second.first, centre(child));
            at->second.second = std::max(at->second.second, centre(child));
        }
        for (const auto& [row, span] : spans)
            sibships[row].push_back({static_cast<int>(c), span.first, span.second, 0});
        if (couple.both() && !sideBySide(static_cast<int>(c))) {
            int row = std::max(row_[couple.father], row_[couple.mother]);
            double a = centre(couple.father), b = centre(couple.mother);
            links[row + 1].push_back({static_cast<int>(c), std::min(a, b), std::max(a, b), 0});
        }
    }
    auto assignLevels = [](std::vector<ChannelLine>& lines) {
        std::vector<ChannelLine*> sorted;
        for (ChannelLine& line : lines) sorted.push_back(&line);
        std::stable_sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->low < b->low; });
        std::vector<double> ends;
        for (ChannelLine* line : sorted) {
            std::size_t level = 0;
            while (level < ends.size() && ends[level] + 6 > line->low) ++level;
            if (level == ends.size()) ends.push_back(0);
            ends[level] = line->high;
            line->level = static_cast<int>(level);
        }
        return static_cast<int>(ends.size());
    };

    std::vector<double> rowTop(rows_ + 1, sizes_.marginTop);
    std::vector<int> linkLevels(rows_ + 1, 0);
    double bottomChannel = 0;
    for (int r = 1; r <= rows_; ++r) {
        int sibLevels = assignLevels(sibships[r]);
        linkLevels[r] = assignLevels(links[r]);
        double channel = std::max(34.0, (linkLevels[r] > 0 ? 10 + linkLevels[r] * levelStep : 0)
                                            + (sibLevels > 0 ? 14 + sibLevels * levelStep : 0) + 10);
        if (r == rows_) bottomChannel = linkLevels[r] > 0 ? 10 + linkLevels[r] * levelStep : 0;
        rowTop[r] = rowTop[r - 1] + h + channel;
    }

    auto symbolY = [&](int i) { return rowTop[row_[i]] + sizes_.symbol / 2; };
    auto boxBottom = [&](int i) { return rowTop[row_[i]] + h; };
    auto add = [&](double x1, double y1, double x2, double y2) {
        if (x1 != x2 || y1 != y2) layout.lines.push_back({x1, y1, x2, y2});
    };
    std::vector<std::pair<double, double>> node(couples_.size());
    for (std::size_t c = 0; c < couples_.size(); ++c) {
        const Couple& couple = couples_[c];
        double x = nodeX(static_cast<int>(c));
        if (!couple.both()) {
            node[c] = {x, boxBottom(couple.father >= 0 ? couple.father : couple.mother)};
        } else if (sideBySide(static_cast<int>(c))) {
            int left = x_[couple.father] < x_[couple.mother] ? couple.father : couple.mother;
            int right = left == couple.father ? couple.mother : couple.father;
            double y = symbolY(left);
            add(centre(left) + sizes_.symbol / 2, y, centre(right) - sizes_.symbol / 2, y);
            node[c] = {x, y};
        }
    }
    for (int r = 1; r <= rows_; ++r)
        for (const ChannelLine& link : links[r]) {
            const Couple& couple = couples_[link.couple];
            double y = rowTop[r - 1] + h + 10 + link.level * levelStep;
            add(centre(couple.father), boxBottom(couple.father), centre(couple.father), y);
            add(centre(couple.mother), boxBottom(couple.mother), centre(couple.mother), y);
            add(link.low, y, link.high, y);
            node[link.couple] = {nodeX(link.couple), y};
        }
    for (int r = 1; r < rows_; ++r)
        for (const ChannelLine& sibship : sibships[r]) {
            double y = rowTop[r] - 14 - sibship.level * levelStep;
            auto [nx, ny] = node[sibship.couple];
            add(nx, ny, nx, y);
            add(sibship.low, y, sibship.high, y);
            for (int child : couples_[sibship.couple].children)
                if (row_[child] == r) add(centre(child), y, centre(child), rowTop[r]);
        }

    breakCrossings(layout.lines);
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        PlacedMember m;
        m.id = ids_[i];
        m.row = row_[i];
        m.box = {x_[i], rowTop[row_[i]], w, h};
        m.symbol = {x_[i] + (w - sizes_.symbol) / 2, rowTop[row_[i]], sizes_.symbol, sizes_.symbol};
        layout.members.push_back(m);
        layout.width = std::max(layout.width, m.box.right() + sizes_.marginTop);
    }
    layout.rows = rows_;
    layout.height = rowTop[rows_ - 1] + h + bottomChannel + sizes_.marginTop;
}

} // namespace

PedigreeLayout layoutPedigree(const Pedigree& pedigree, const LayoutSizes& sizes)
{
    return LayoutBuilder(pedigree, sizes).build();
}

} // namespace tavirlen
