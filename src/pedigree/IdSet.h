#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <set>
#include <vector>

namespace tavirlen {

// The home slot of an id in an open-addressed table of 2^bits slots.
// Fibonacci hashing: the top bits of the product spread any run of ids.
inline std::size_t idHomeSlot(int id, int bits)
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ULL)
                                    >> (64 - bits));
}

// A set of member ids for the walks over a family, which mark every member
// and clear the marks again several times per family: open addressing in
// one block, so marking allocates nothing once the block has grown, and
// clearing costs what was marked.
class IdSet {
public:
    bool insert(int id)
    {
        if (2 * (size_ + 1) > slots_.size()) grow();
        std::size_t at = home(id);
        while (used_[at]) {
            if (slots_[at] == id) return false;
            at = (at + 1) & (slots_.size() - 1);
        }
        used_[at] = 1;
        slots_[at] = id;
        filled_.push_back(at);
        ++size_;
        return true;
    }

    std::size_t count(int id) const
    {
        if (size_ == 0) return 0;
        for (std::size_t at = home(id); used_[at]; at = (at + 1) & (slots_.size() - 1))
            if (slots_[at] == id) return 1;
        return 0;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    void clear()
    {
        for (std::size_t at : filled_) used_[at] = 0;
        filled_.clear();
        size_ = 0;
    }

    // The ids in ascending order.
    std::set<int> sorted() const
    {
        std::set<int> ids;
        for (std::size_t at : filled_) ids.insert(slots_[at]);
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
    std::size_t home(int id) const { return idHomeSlot(id, bits_); }

    void grow()
    {
        std::vector<int> ids;
        ids.reserve(size_);
        for (std::size_t at : filled_) ids.push_back(slots_[at]);
        bits_ = slots_.empty() ? 4 : bits_ + 1;
        const std::size_t capacity = std::size_t{1} << bits_;
        slots_.assign(capacity, 0);
        used_.assign(capacity, 0);
        filled_.clear();
        size_ = 0;
        for (int id : ids) insert(id);
    }

    std::vector<int> slots_;
    std::vector<char> used_;
    std::vector<std::size_t> filled_; // the slots in use, in the order of insertion
    std::size_t size_ = 0;
    int bits_ = 0; // the table holds 2^bits_ slots
};

} // namespace tavirlen
