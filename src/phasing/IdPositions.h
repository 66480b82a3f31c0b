#pragma once

#include "pedigree/IdTable.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace tavirlen {

// The positions of a family's member ids, given in ascending order. Deep
// pedigrees ask for positions at every step, so the answer must not grow
// with the family: the id table answers at once.
class IdPositions {
public:
    IdPositions() = default;
    explicit IdPositions(std::vector<int> ascending) : ids_(std::move(ascending))
    {
        for (std::size_t i = 0; i < ids_.size(); ++i) positions_.insert(ids_[i], static_cast<int>(i) + 1);
    }

    // The position of `id`, or -1 when it is not among the ids.
    int position(int id) const { return positions_.find(id) - 1; }

    int id(std::size_t position) const { return ids_[position]; }
    std::size_t size() const { return ids_.size(); }

private:
    std::vector<int> ids_;     // ascending
    IdTable<int> positions_;   // by id, the position plus one (0 is "none")
};

} // namespace tavirlen
