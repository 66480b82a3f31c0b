#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace tavirlen {

// The positions of a family's member ids, given in ascending order. Files
// mostly number members from 1, so where the ids are dense a table by id
// answers at once; otherwise bisection does. Deep pedigrees ask for
// positions at every step, so the answer must not grow with the family.
class IdPositions {
public:
    IdPositions() = default;
    explicit IdPositions(std::vector<int> ascending) : ids_(std::move(ascending))
    {
        if (ids_.empty()) return;
        const long long span = static_cast<long long>(ids_.back()) - ids_.front();
        if (span >= 4 * static_cast<long long>(ids_.size()) + 64) return;
        byId_.assign(static_cast<std::size_t>(span) + 1, -1);
        for (std::size_t i = 0; i < ids_.size(); ++i)
            byId_[static_cast<std::size_t>(static_cast<long long>(ids_[i]) - ids_.front())] = static_cast<int>(i);
    }

    // The position of `id`, or -1 when it is not among the ids.
    int position(int id) const
    {
        if (!byId_.empty()) {
            const long long at = static_cast<long long>(id) - ids_.front();
            return at < 0 || at >= static_cast<long long>(byId_.size()) ? -1 : byId_[static_cast<std::size_t>(at)];
        }
        auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
        return at == ids_.end() || *at != id ? -1 : static_cast<int>(at - ids_.begin());
    }

    int id(std::size_t position) const { return ids_[position]; }
    std::size_t size() const { return ids_.size(); }

private:
    std::vector<int> ids_;  // ascending
    std::vector<int> byId_; // position by id minus the smallest id, -1 for none; empty when the ids are sparse
};

} // namespace tavirlen
