#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace tavirlen {

// What each position of a family is linked to, all in one array: the walks
// over a deep pedigree read the links of thousands of members, and a vector
// per member would scatter them.
template <class Item>
struct Links {
    std::vector<std::size_t> start; // per position, where its links begin; one more at the end
    std::vector<Item> items;

    // From (position, linked) pairs, each position's links in the order given.
    void build(std::size_t positions, const std::vector<std::pair<std::size_t, Item>>& pairs)
    {
        start.assign(positions + 1, 0);
        for (const auto& pair : pairs) ++start[pair.first + 1];
        for (std::size_t i = 0; i < positions; ++i) start[i + 1] += start[i];
        items.assign(pairs.size(), Item{});
        // Each position's start serves as its next free place while the
        // links are placed, and is moved back one position after: a family
        // builds these for every walk, and a second array would cost an
        // allocation each time.
        for (const auto& [owner, linked] : pairs) items[start[owner]++] = linked;
        for (std::size_t i = positions; i > 0; --i) start[i] = start[i - 1];
        start[0] = 0;
    }
    const Item* begin(std::size_t i) const { return items.data() + start[i]; }
    const Item* end(std::size_t i) const { return items.data() + start[i + 1]; }
};

} // namespace tavirlen
