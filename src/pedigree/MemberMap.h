#pragma once

#include "pedigree/Individual.h"

#include <map>
#include <unordered_map>
#include <utility>

namespace tavirlen {

// A family's members by id, visited in ascending id like a std::map, with an
// index beside it so that finding a member by id costs the same in a family
// of ten or of ten thousand (deep pedigrees look members up all the time).
// Every change goes through here, so the index always matches the map.
class MemberMap {
public:
    using Map = std::map<int, Individual>;
    using iterator = Map::iterator;
    using const_iterator = Map::const_iterator;
    using value_type = Map::value_type;

    MemberMap() = default;
    MemberMap(const MemberMap& other) : map_(other.map_) { reindex(); }
    MemberMap(MemberMap&& other) noexcept : map_(std::move(other.map_)), index_(std::move(other.index_))
    {
        other.map_.clear();
        other.index_.clear();
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
        other.map_.clear();
        other.index_.clear();
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
        auto found = index_.find(id);
        return found == index_.end() ? nullptr : found->second;
    }
    const Individual* lookup(int id) const
    {
        auto found = index_.find(id);
        return found == index_.end() ? nullptr : found->second;
    }

    iterator begin() { return map_.begin(); }
    iterator end() { return map_.end(); }
    const_iterator begin() const { return map_.begin(); }
    const_iterator end() const { return map_.end(); }
    Map::reverse_iterator rbegin() { return map_.rbegin(); }
    Map::reverse_iterator rend() { return map_.rend(); }
    Map::const_reverse_iterator rbegin() const { return map_.rbegin(); }
    Map::const_reverse_iterator rend() const { return map_.rend(); }
    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    std::size_t count(int id) const { return index_.count(id); }
    iterator find(int id) { return map_.find(id); }
    const_iterator find(int id) const { return map_.find(id); }
    Individual& at(int id) { return map_.at(id); }
    const Individual& at(int id) const { return map_.at(id); }

    Individual& operator[](int id)
    {
        auto [at, added] = map_.try_emplace(id);
        if (added) index_.emplace(id, &at->second);
        return at->second;
    }
    template <class... Args>
    std::pair<iterator, bool> emplace(Args&&... args)
    {
        auto placed = map_.emplace(std::forward<Args>(args)...);
        if (placed.second) index_.emplace(placed.first->first, &placed.first->second);
        return placed;
    }
    template <class Value>
    std::pair<iterator, bool> insert_or_assign(int id, Value&& value)
    {
        auto placed = map_.insert_or_assign(id, std::forward<Value>(value));
        index_[id] = &placed.first->second;
        return placed;
    }
    std::size_t erase(int id)
    {
        index_.erase(id);
        return map_.erase(id);
    }
    void clear()
    {
        map_.clear();
        index_.clear();
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
        index_.reserve(map_.size());
        for (auto& [id, m] : map_) index_.emplace(id, &m);
    }

    Map map_;
    std::unordered_map<int, Individual*> index_;
};

} // namespace tavirlen
