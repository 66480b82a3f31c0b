#pragma once

#include "pedigree/IdTable.h"
#include "pedigree/Pedigree.h"

#include <cstddef>
#include <vector>

namespace tavirlen {

// The positions of a family's members in ascending id (the order of
// `members`). Deep pedigrees ask for positions at every step, so the answer
// must not grow with the family: the id table answers at once.
class IdPositions {
public:
    IdPositions() = default;
    explicit IdPositions(const Pedigree& pedigree)
    {
        ids_.reserve(pedigree.members.size());
        if (!pedigree.members.empty())
            positions_.reserve(pedigree.members.begin()->first, pedigree.members.rbegin()->first,
                               pedigree.members.size());
        for (const auto& [id, m] : pedigree.members) {
            positions_.insert(id, static_cast<int>(ids_.size()) + 1);
            ids_.push_back(id);
        }
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
