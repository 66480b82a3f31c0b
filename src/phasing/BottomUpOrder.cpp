#include "phasing/BottomUpOrder.h"

#include <algorithm>

namespace tavirlen {

BottomUpOrder::BottomUpOrder(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) ids_.push_back(id);
    const std::size_t n = ids_.size();
    visited_.assign(n, 0);
    founder_.assign(n, 0);
    hasChildren_.assign(n, 0);
    father_.assign(n, -1);
    pending_.assign(n, 0);
    childrenNotReady_.assign(n, 0);
    std::vector<std::pair<int, int>> listed;
    std::vector<std::pair<int, int>> fathered;

    std::size_t i = 0;
    for (const auto& [id, m] : pedigree.members) {
        visited_[i] = pedigree.visitedIds.count(id) ? 1 : 0;
        founder_[i] = m.isFounder() ? 1 : 0;
        hasChildren_[i] = m.childIds.empty() ? 0 : 1;
        father_[i] = position(m.fatherId);
        if (!founder_[i] && father_[i] >= 0) fathered.emplace_back(father_[i], static_cast<int>(i));
        for (int childId : m.childIds) {
            int c = position(childId);
            if (c >= 0) listed.emplace_back(c, static_cast<int>(i));
        }
        ++i;
    }
    listedBy_.build(n, listed);
    fathered_.build(n, fathered);
    for (std::size_t c = 0; c < n; ++c) {
        if (visited_[c] || !hasChildren_[c]) continue;
        for (const int* x = listedBy_.begin(static_cast<int>(c)); x != listedBy_.end(static_cast<int>(c)); ++x)
            ++pending_[static_cast<std::size_t>(*x)];
    }
    for (std::size_t c = 0; c < n; ++c) {
        if (ready(static_cast<int>(c))) continue;
        for (const int* x = listedBy_.begin(static_cast<int>(c)); x != listedBy_.end(static_cast<int>(c)); ++x)
            ++childrenNotReady_[static_cast<std::size_t>(*x)];
    }
    for (std::size_t m = 0; m < n; ++m)
        if (qualifies(static_cast<int>(m))) qualified_.push(static_cast<int>(m));
}

void BottomUpOrder::Links::build(std::size_t positions, const std::vector<std::pair<int, int>>& pairs)
{
    start.assign(positions + 1, 0);
    for (const auto& [owner, linked] : pairs) ++start[static_cast<std::size_t>(owner) + 1];
    for (std::size_t i = 0; i < positions; ++i) start[i + 1] += start[i];
    items.assign(pairs.size(), 0);
    std::vector<int> next(start.begin(), start.end() - 1);
    for (const auto& [owner, linked] : pairs) items[static_cast<std::size_t>(next[static_cast<std::size_t>(owner)]++)] = linked;
}

int BottomUpOrder::position(int id) const
{
    auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
    return at == ids_.end() || *at != id ? -1 : static_cast<int>(at - ids_.begin());
}

bool BottomUpOrder::qualifies(int i) const
{
    const std::size_t at = static_cast<std::size_t>(i);
    if (visited_[at] || !ready(i)) return false;
    if (founder_[at] || father_[at] < 0) return true;
    return childrenNotReady_[static_cast<std::size_t>(father_[at])] == 0;
}

int BottomUpOrder::next() const
{
    while (!qualified_.empty() && visited_[static_cast<std::size_t>(qualified_.top())]) qualified_.pop();
    return qualified_.empty() ? 0 : ids_[static_cast<std::size_t>(qualified_.top())];
}

void BottomUpOrder::recheck(int i)
{
    if (qualifies(i)) qualified_.push(i);
}

void BottomUpOrder::becameReady(int i)
{
    recheck(i);
    for (const int* x = listedBy_.begin(i); x != listedBy_.end(i); ++x) {
        if (--childrenNotReady_[static_cast<std::size_t>(*x)] != 0) continue;
        for (const int* m = fathered_.begin(*x); m != fathered_.end(*x); ++m) recheck(*m);
    }
}

void BottomUpOrder::visit(int id)
{
    const int i = position(id);
    if (i < 0 || visited_[static_cast<std::size_t>(i)]) return;
    const bool wasReady = ready(i);
    visited_[static_cast<std::size_t>(i)] = 1;
    if (!wasReady) becameReady(i);
    if (!hasChildren_[static_cast<std::size_t>(i)]) return;
    for (const int* x = listedBy_.begin(i); x != listedBy_.end(i); ++x) {
        const std::size_t at = static_cast<std::size_t>(*x);
        if (--pending_[at] == 0 && !visited_[at]) becameReady(*x);
    }
}

void BottomUpOrder::catchUp(const Pedigree& pedigree, int id)
{
    if (pedigree.visitedIds.count(id)) visit(id);
    const Individual* member = pedigree.member(id);
    if (!member) return;
    for (int parentId : {member->fatherId, member->motherId}) {
        const Individual* parent = parentId == 0 ? nullptr : pedigree.member(parentId);
        if (!parent) continue;
        for (int childId : parent->childIds)
            if (pedigree.visitedIds.count(childId)) visit(childId);
    }
}

} // namespace tavirlen
