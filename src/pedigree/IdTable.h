#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavirlen {

// The home slot of an id in an open-addressed table of 2^bits slots.
// Fibonacci hashing: the top bits of the product spread any run of ids.
inline std::size_t idHomeSlot(int id, int bits)
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ULL)
                                    >> (64 - bits));
}

// Values by member id, for the lookups and marks the walks over a family
// make all the time; a default Value means "not in the table". Files mostly
// number members from 1: while the ids are dense, a table by id keeps
// neighbouring ids in neighbouring slots, so the walks of a deep pedigree
// stay in the processor's cache. Once the ids are too sparse for that, open
// addressing in one block, where a lookup reads one slot or a few
// neighbours. Clearing costs what was inserted, so a table cleared and
// filled again many times allocates nothing once it has grown.
template <class Value>
class IdTable {
public:
    Value find(int id) const
    {
        if (size_ == 0) return Value{};
        if (direct_) {
            const long long at = static_cast<long long>(id) - base_;
            return at < 0 || at >= static_cast<long long>(table_.size()) ? Value{} : table_[static_cast<std::size_t>(at)];
        }
        for (std::size_t at = home(id); slots_[at].second != Value{}; at = (at + 1) & (slots_.size() - 1))
            if (slots_[at].first == id) return slots_[at].second;
        return Value{};
    }

    // Adds the id with a value other than the default one; false, with
    // nothing changed, when the id is in the table already.
    bool insert(int id, Value value)
    {
        // Marking a member already in range is the common case: it stays a
        // few instructions, and widening is left to a call of its own.
        const long long direct = static_cast<long long>(id) - base_;
        if (direct_ && (direct < 0 || direct >= static_cast<long long>(table_.size())) && !fitsDirect(id))
            becomeHashed();
        if (direct_) {
            Value& held = table_[static_cast<std::size_t>(static_cast<long long>(id) - base_)];
            if (held != Value{}) return false;
            held = value;
            filled_.push_back(static_cast<std::size_t>(static_cast<long long>(id) - base_));
            ++size_;
            return true;
        }
        if (2 * (size_ + 1) > slots_.size()) grow();
        std::size_t at = home(id);
        for (; slots_[at].second != Value{}; at = (at + 1) & (slots_.size() - 1))
            if (slots_[at].first == id) return false;
        slots_[at] = {id, value};
        filled_.push_back(at);
        ++size_;
        return true;
    }

    std::size_t size() const { return size_; }

    // Room for `count` ids from low to high before they are inserted: a
    // table filled from a whole family then allocates once instead of
    // widening by half again a score of times.
    void reserve(int low, int high, std::size_t count)
    {
        filled_.reserve(count);
        if (!direct_ || size_ != 0 || low > high) return;
        const long long span = static_cast<long long>(high) - low + 1;
        if (span > 4 * static_cast<long long>(count) + 64) return;
        base_ = low;
        table_.assign(static_cast<std::size_t>(span), Value{});
    }

    void clear()
    {
        for (std::size_t at : filled_) {
            if (direct_)
                table_[at] = Value{};
            else
                slots_[at] = {0, Value{}};
        }
        filled_.clear();
        size_ = 0;
    }

    // Every id with its value, in the order of insertion.
    template <class Visit>
    void forEach(Visit visit) const
    {
        forEachFrom(0, visit);
    }

    // The same from the `first`-th insertion on (growing the table keeps the
    // order of insertion).
    template <class Visit>
    void forEachFrom(std::size_t first, Visit visit) const
    {
        for (std::size_t i = first; i < filled_.size(); ++i) {
            const std::size_t at = filled_[i];
            if (direct_)
                visit(static_cast<int>(base_ + static_cast<long long>(at)), table_[at]);
            else
                visit(slots_[at].first, slots_[at].second);
        }
    }

private:
    // Whether the id has a slot in the table by id, widening it (by half
    // again, so that ids arriving in either order cost amortised constant
    // time); false when the ids would become too sparse for such a table.
    bool fitsDirect(int id)
    {
        if (table_.empty()) base_ = id;
        const long long at = static_cast<long long>(id) - base_;
        if (at >= 0 && at < static_cast<long long>(table_.size())) return true;
        const long long low = std::min<long long>(base_, id);
        const long long high = std::max<long long>(base_ + static_cast<long long>(table_.size()) - 1, id);
        const long long span = high - low + 1;
        if (span > 4 * static_cast<long long>(size_ + 1) + 64) return false;
        const long long slack = span / 2 + 8;
        const long long newBase = at < 0 ? low - slack : low;
        const std::size_t shift = static_cast<std::size_t>(base_ - newBase);
        std::vector<Value> widened(static_cast<std::size_t>(span + slack), Value{});
        std::copy(table_.begin(), table_.end(), widened.begin() + static_cast<std::ptrdiff_t>(shift));
        table_.swap(widened);
        for (std::size_t& position : filled_) position += shift;
        base_ = newBase;
        return true;
    }

    std::vector<std::pair<int, Value>> entries() const
    {
        std::vector<std::pair<int, Value>> all;
        all.reserve(size_);
        forEach([&](int id, Value value) { all.emplace_back(id, value); });
        return all;
    }

    void becomeHashed()
    {
        const std::vector<std::pair<int, Value>> all = entries();
        direct_ = false;
        std::vector<Value>().swap(table_);
        filled_.clear();
        size_ = 0;
        for (const auto& [id, value] : all) insert(id, value);
    }

    std::size_t home(int id) const { return idHomeSlot(id, bits_); }

    void grow()
    {
        const std::vector<std::pair<int, Value>> all = entries();
        bits_ = bits_ == 0 ? 4 : bits_ + 1;
        slots_.assign(std::size_t{1} << bits_, {0, Value{}});
        filled_.clear();
        size_ = 0;
        for (const auto& [id, value] : all) insert(id, value);
    }

    bool direct_ = true;
    long long base_ = 0;                         // the id of table_[0]
    std::vector<Value> table_;                   // by id minus base_
    std::vector<std::pair<int, Value>> slots_;   // open addressing, once the ids are sparse
    std::vector<std::size_t> filled_;            // positions holding a value, in the order of insertion
    std::size_t size_ = 0;
    int bits_ = 0;                               // slots_ holds 2^bits_ slots
};

} // namespace tavirlen
