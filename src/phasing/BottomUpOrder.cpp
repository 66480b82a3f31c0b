#include "phasing/BottomUpOrder.h"

#include <algorithm>

namespace tavirlen {

BottomUpOrder::BottomUpOrder(const Pedigree& pedigree)
{
    ids_ = IdPositions(pedigree);
    const std::size_t n = ids_.size();
    nodes_.assign(n, Node{});
    // Sized once: a family of a few members would otherwise grow each list
    // a doubling at a time.
    std::size_t links = 0;
    for (const auto& [id, m] : pedigree.members) links += m.childIds.size();
    std::vector<std::pair<std::size_t, int>> listed;
    std::vector<std::pair<std::size_t, int>> fathered;
    listed.reserve(links);
    fathered.reserve(n);

    std::size_t i = 0;
    for (const auto& [id, m] : pedigree.members) {
        nodes_[i].founder = m.isFounder() ? 1 : 0;
        nodes_[i].hasChildren = m.childIds.empty() ? 0 : 1;
        nodes_[i].father = position(m.fatherId);
        if (!nodes_[i].founder && nodes_[i].father >= 0)
            fathered.emplace_back(static_cast<std::size_t>(nodes_[i].father), static_cast<int>(i));
        for (int childId : m.childIds) {
            int c = position(childId);
            if (c >= 0) listed.emplace_back(static_cast<std::size_t>(c), static_cast<int>(i));
        }
        ++i;
    }
    listedBy_.build(n, listed);
    fathered_.build(n, fathered);
    restart(pedigree);
}

void BottomUpOrder::restart(const Pedigree& pedigree)
{
    const std::size_t n = ids_.size();
    qualified_ = PositionSet(static_cast<int>(n));
    searchFrom_ = 0;
    for (Node& node : nodes_) {
        node.visited = 0;
        node.pending = 0;
        node.childrenNotReady = 0;
    }
    if (!pedigree.visitedIds.empty())
        for (std::size_t c = 0; c < n; ++c) nodes_[c].visited = pedigree.visitedIds.count(ids_.id(c)) ? 1 : 0;
    for (std::size_t c = 0; c < n; ++c) {
        if (nodes_[c].visited || !nodes_[c].hasChildren) continue;
        for (const int* x = listedBy_.begin(c); x != listedBy_.end(c); ++x)
            ++nodes_[static_cast<std::size_t>(*x)].pending;
    }
    for (std::size_t c = 0; c < n; ++c) {
        if (ready(static_cast<int>(c))) continue;
        for (const int* x = listedBy_.begin(c); x != listedBy_.end(c); ++x)
            ++nodes_[static_cast<std::size_t>(*x)].childrenNotReady;
    }
    for (std::size_t m = 0; m < n; ++m)
        if (qualifies(static_cast<int>(m))) qualified_.insert(static_cast<int>(m));
    caughtUp_ = pedigree.visitedIds.size();
}

bool BottomUpOrder::qualifies(int i) const
{
    const std::size_t at = static_cast<std::size_t>(i);
    if (nodes_[at].visited || !ready(i)) return false;
    if (nodes_[at].founder || nodes_[at].father < 0) return true;
    return nodes_[static_cast<std::size_t>(nodes_[at].father)].childrenNotReady == 0;
}

int BottomUpOrder::next() const
{
    const int i = qualified_.next(searchFrom_);
    searchFrom_ = i < 0 ? qualified_.size() : i;
    return i < 0 ? 0 : ids_.id(static_cast<std::size_t>(i));
}

void BottomUpOrder::recheck(int i)
{
    if (!qualifies(i)) return;
    qualified_.insert(i);
    searchFrom_ = std::min(searchFrom_, i);
}

void BottomUpOrder::becameReady(int i)
{
    recheck(i);
    const std::size_t at = static_cast<std::size_t>(i);
    for (const int* x = listedBy_.begin(at); x != listedBy_.end(at); ++x) {
        const std::size_t parent = static_cast<std::size_t>(*x);
        if (--nodes_[parent].childrenNotReady != 0) continue;
        for (const int* m = fathered_.begin(parent); m != fathered_.end(parent); ++m) recheck(*m);
    }
}

void BottomUpOrder::visit(int id)
{
    const int i = position(id);
    if (i < 0 || nodes_[static_cast<std::size_t>(i)].visited) return;
    const bool wasReady = ready(i);
    nodes_[static_cast<std::size_t>(i)].visited = 1;
    qualified_.erase(i);
    if (!wasReady) becameReady(i);
    if (!nodes_[static_cast<std::size_t>(i)].hasChildren) return;
    for (const int* x = listedBy_.begin(static_cast<std::size_t>(i)); x != listedBy_.end(static_cast<std::size_t>(i)); ++x) {
        const std::size_t at = static_cast<std::size_t>(*x);
        if (--nodes_[at].pending == 0 && !nodes_[at].visited) becameReady(*x);
    }
}

void BottomUpOrder::catchUp(const Pedigree& pedigree)
{
    // visitedIds is only ever added to between restarts; should it have
    // been cleared, every id it holds is new.
    if (pedigree.visitedIds.size() < caughtUp_) caughtUp_ = 0;
    pedigree.visitedIds.forEachInsertedSince(caughtUp_, [this](int id) { visit(id); });
    caughtUp_ = pedigree.visitedIds.size();
}

} // namespace tavirlen
