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
    listedBy_.assign(n, {});
    fathered_.assign(n, {});

    std::size_t i = 0;
    for (const auto& [id, m] : pedigree.members) {
        visited_[i] = pedigree.visitedIds.count(id) ? 1 : 0;
        founder_[i] = m.isFounder() ? 1 : 0;
        hasChildren_[i] = m.childIds.empty() ? 0 : 1;
        father_[i] = position(m.fatherId);
        if (!founder_[i] && father_[i] >= 0) fathered_[static_cast<std::size_t>(father_[i])].push_back(static_cast<int>(i));
        for (int childId : m.childIds) {
            int c = position(childId);
            if (c >= 0) listedBy_[static_cast<std::size_t>(c)].push_back(static_cast<int>(i));
        }
        ++i;
    }
    for (std::size_t c = 0; c < n; ++c) {
        if (visited_[c] || !hasChildren_[c]) continue;
        for (int x : listedBy_[c]) ++pending_[static_cast<std::size_t>(x)];
    }
    for (std::size_t c = 0; c < n; ++c) {
        if (ready(static_cast<int>(c))) continue;
        for (int x : listedBy_[c]) ++childrenNotReady_[static_cast<std::size_t>(x)];
    }
    for (std::size_t m = 0; m < n; ++m)
        if (qualifies(static_cast<int>(m))) qualified_.push(static_cast<int>(m));
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
    for (int x : listedBy_[static_cast<std::size_t>(i)]) {
        if (--childrenNotReady_[static_cast<std::size_t>(x)] != 0) continue;
        for (int m : fathered_[static_cast<std::size_t>(x)]) recheck(m);
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
    for (int x : listedBy_[static_cast<std::size_t>(i)]) {
        const std::size_t at = static_cast<std::size_t>(x);
        if (--pending_[at] == 0 && !visited_[at]) becameReady(x);
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
