#pragma once

#include "pedigree/IdTable.h"

#include <cstddef>
#include <ostream>
#include <set>
#include <vector>

namespace tavirlen {

// A set of member ids for the walks over a family, which mark every member
// and clear the marks again several times per family: marking allocates
// nothing once the table has grown, and clearing costs what was marked.
class IdSet {
public:
    bool insert(int id) { return table_.insert(id, 1); }
    std::size_t count(int id) const { return table_.find(id) ? 1 : 0; }
    std::size_t size() const { return table_.size(); }
    bool empty() const { return table_.size() == 0; }
    void clear() { table_.clear(); }
    // Room for `count` ids from low to high, before any is inserted.
    void reserve(int low, int high, std::size_t count) { table_.reserve(low, high, count); }

    // The ids inserted since the set held `first` of them, in the order of
    // insertion.
    template <class Visit>
    void forEachInsertedSince(std::size_t first, Visit visit) const
    {
        table_.forEachFrom(first, [&](int id, char) { visit(id); });
    }

    // The ids in ascending order.
    std::set<int> sorted() const
    {
        std::set<int> ids;
        table_.forEach([&](int id, char) { ids.insert(id); });
        return ids;
    }
    friend bool operator==(const IdSet& a, const std::set<int>& b) { return a.sorted() == b; }
    friend std::ostream& operator<<(std::ostream& out, const IdSet& set)
    {
        out << '{';
        const char* separator = "";
        for (int id : set.sorted()) {
            out << separator << id;
            separator = ", ";
        }
        return out << '}';
    }

private:
    IdTable<char> table_;
};

} // namespace tavirlen
