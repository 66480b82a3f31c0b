#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavirlen {

// How often each haplotype text was seen. A large run meets hundreds of
// thousands of founder haplotypes, most of them once: the texts are kept end
// to end in one buffer and found through an open-addressed table, so that a
// new one costs no allocation of its own and a run's memory stays a few
// bytes per text.
class HaplotypeTally {
public:
    void add(std::string_view text);
    // Every text with its count, in the order of the texts.
    std::vector<std::pair<std::string_view, int>> sorted() const;

private:
    struct Entry {
        std::size_t start = 0;
        std::uint32_t length = 0;
        int count = 0;
    };
    std::string_view textOf(const Entry& e) const { return std::string_view(texts_).substr(e.start, e.length); }
    void grow();

    std::string texts_;
    std::vector<Entry> entries_;
    // Per slot, an index into entries_ plus one; 0 is an empty slot.
    std::vector<std::uint32_t> slots_;
};

} // namespace tavirlen
