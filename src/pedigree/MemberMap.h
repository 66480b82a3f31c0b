#pragma once

#include "pedigree/IdTable.h"
#include "pedigree/Individual.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace tavirlen {

// A family's members by id, visited in ascending id like a std::map, with an
// index beside it so that finding a member by id costs the same in a family
// of ten or of ten thousand (deep pedigrees look members up all the time),
// and the members in order in one array, so that walking a large family
// reads memory in sequence instead of climbing the tree from node to node.
// Every change goes through here, so index and order always match the map.
class MemberMap {
public:
    using Map = std::map<int, Individual>;
    using value_type = Map::value_type;

    template <class Value>
    class Iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = MemberMap::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = Value*;
        using reference = Value&;

        Iterator() = default;
        explicit Iterator(std::vector<MemberMap::value_type*>::const_iterator at) : at_(at) {}
        template <class Other>
        Iterator(const Iterator<Other>& other) : at_(other.position())
        {
        }

        reference operator*() const { return **at_; }
        pointer operator->() const { return *at_; }
        Iterator& operator++()
        {
            ++at_;
            return *this;
        }
        Iterator operator++(int) { return Iterator(at_++); }
        Iterator& operator--()
        {
            --at_;
            return *this;
        }
        Iterator operator--(int) { return Iterator(at_--); }
        template <class Other>
        bool operator==(const Iterator<Other>& other) const { return at_ == other.position(); }
        template <class Other>
        bool operator!=(const Iterator<Other>& other) const { return at_ != other.position(); }
        std::vector<MemberMap::value_type*>::const_iterator position() const { return at_; }

    private:
        std::vector<MemberMap::value_type*>::const_iterator at_;
    };
    using iterator = Iterator<value_type>;
    using const_iterator = Iterator<const value_type>;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    MemberMap() = default;
    MemberMap(const MemberMap& other) : map_(other.map_) { reindex(); }
    MemberMap(MemberMap&& other) noexcept
        : map_(std::move(other.map_)), index_(std::move(other.index_)), order_(std::move(other.order_))
    {
        other.map_.clear();
        other.index_.clear();
        other.order_.clear();
    }
    MemberMap& operator=(const MemberMap& other)
    {
        if (this != &other) assign(other.map_);
        return *this;
    }
    MemberMap& operator=(MemberMap&& other) noexcept
    {
        if (this == &other) return *this;
        map_ = std::move(other.map_);
        index_ = std::move(other.index_);
        order_ = std::move(other.order_);
        other.map_.clear();
        other.index_.clear();
        other.order_.clear();
        return *this;
    }
    MemberMap& operator=(const Map& map)
    {
        assign(map);
        return *this;
    }
    operator const Map&() const { return map_; }

    // The member with this id, or nullptr.
    Individual* lookup(int id)
    {
        return index_.find(id);
    }
    const Individual* lookup(int id) const { return index_.find(id); }

    iterator begin() { return iterator(order_.cbegin()); }
    iterator end() { return iterator(order_.cend()); }
    const_iterator begin() const { return const_iterator(order_.cbegin()); }
    const_iterator end() const { return const_iterator(order_.cend()); }
    reverse_iterator rbegin() { return reverse_iterator(end()); }
    reverse_iterator rend() { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }
    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    std::size_t count(int id) const { return index_.find(id) ? 1 : 0; }
    iterator find(int id) { return count(id) ? iterator(orderPosition(id)) : end(); }
    const_iterator find(int id) const { return count(id) ? const_iterator(orderPosition(id)) : end(); }
    Individual& at(int id) { return map_.at(id); }
    const Individual& at(int id) const { return map_.at(id); }

    Individual& operator[](int id)
    {
        auto [at, added] = map_.try_emplace(id);
        if (added) addToIndex(*at);
        return at->second;
    }
    template <class... Args>
    std::pair<iterator, bool> emplace(Args&&... args)
    {
        auto placed = map_.emplace(std::forward<Args>(args)...);
        if (placed.second) addToIndex(*placed.first);
        return {iterator(orderPosition(placed.first->first)), placed.second};
    }
    template <class Value>
    std::pair<iterator, bool> insert_or_assign(int id, Value&& value)
    {
        // Files are mostly in ascending id: a member after the last one goes
        // to the end without a search, which keeps reading a deep pedigree
        // linear in its members.
        if (map_.empty() || map_.rbegin()->first < id) {
            auto at = map_.emplace_hint(map_.end(), id, std::forward<Value>(value));
            addToIndex(*at);
            return {iterator(order_.cend() - 1), true};
        }
        auto placed = map_.insert_or_assign(id, std::forward<Value>(value));
        if (placed.second) addToIndex(*placed.first);
        return {iterator(orderPosition(id)), placed.second};
    }
    std::size_t erase(int id)
    {
        if (!count(id)) return 0;
        order_.erase(orderPosition(id));
        map_.erase(id);
        reindex();
        return 1;
    }
    void clear()
    {
        map_.clear();
        index_.clear();
        order_.clear();
    }

private:
    void assign(const Map& map)
    {
        map_ = map;
        reindex();
    }
    void reindex()
    {
        index_.clear();
        order_.clear();
        order_.reserve(map_.size());
        for (auto& entry : map_) {
            index_.insert(entry.first, &entry.second);
            order_.push_back(&entry);
        }
    }

    // A new member: files are mostly in ascending id, so it usually goes last.
    void addToIndex(value_type& entry)
    {
        index_.insert(entry.first, &entry.second);
        if (order_.empty() || order_.back()->first < entry.first)
            order_.push_back(&entry);
        else
            order_.insert(orderPosition(entry.first), &entry);
    }

    std::vector<value_type*>::const_iterator orderPosition(int id) const
    {
        return std::lower_bound(order_.cbegin(), order_.cend(), id,
                                [](const value_type* entry, int key) { return entry->first < key; });
    }

    Map map_;
    IdTable<Individual*> index_; // id to record
    std::vector<value_type*> order_; // the map's entries in ascending id
};

} // namespace tavirlen
