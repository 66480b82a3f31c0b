#include "phasing/PositionSet.h"

namespace tavirlen {

namespace {

constexpr std::uint64_t bit(std::size_t i) { return std::uint64_t(1) << (i & 63); }

std::size_t word(std::size_t i) { return i >> 6; }

int lowest(std::uint64_t w) { return __builtin_ctzll(w); }

int highest(std::uint64_t w) { return 63 - __builtin_clzll(w); }

} // namespace

PositionSet::PositionSet(int size) : size_(size > 0 ? size : 0)
{
    if (size_ <= inPlace) return;
    levels_ = std::make_unique<Levels>();
    std::size_t bits = static_cast<std::size_t>(size_);
    do {
        std::size_t words = (bits + 63) / 64;
        levels_->emplace_back(words == 0 ? 1 : words, 0);
        bits = words;
    } while (bits > 1);
}

void PositionSet::insertLarge(int k)
{
    if (k < 0 || k >= size_) return;
    std::size_t i = static_cast<std::size_t>(k);
    for (std::vector<std::uint64_t>& level : *levels_) {
        bool wasEmpty = level[word(i)] == 0;
        level[word(i)] |= bit(i);
        if (!wasEmpty) break;
        i = word(i);
    }
}

void PositionSet::eraseLarge(int k)
{
    if (!contains(k)) return;
    std::size_t i = static_cast<std::size_t>(k);
    for (std::vector<std::uint64_t>& level : *levels_) {
        level[word(i)] &= ~bit(i);
        if (level[word(i)] != 0) break;
        i = word(i);
    }
}

int PositionSet::nextLarge(int k) const
{
    if (k >= size_) return -1;
    std::size_t i = static_cast<std::size_t>(k < 0 ? 0 : k);
    // Up until a word holds a member at or after i, then down along the
    // lowest members.
    std::size_t level = 0;
    for (;;) {
        const std::vector<std::uint64_t>& words = (*levels_)[level];
        if (word(i) >= words.size()) return -1;
        std::uint64_t w = words[word(i)] & (~std::uint64_t(0) << (i & 63));
        if (w != 0) {
            i = (word(i) << 6) + static_cast<std::size_t>(lowest(w));
            break;
        }
        if (level + 1 == levels_->size()) return -1;
        i = word(i) + 1;
        ++level;
    }
    while (level-- > 0) i = (i << 6) + static_cast<std::size_t>(lowest((*levels_)[level][i]));
    return static_cast<int>(i);
}

int PositionSet::previousLarge(int k) const
{
    if (k <= 0 || size_ == 0) return -1;
    std::size_t i = static_cast<std::size_t>(k > size_ ? size_ : k) - 1;
    // Up until a word holds a member at or before i, then down along the
    // highest members.
    std::size_t level = 0;
    for (;;) {
        std::uint64_t mask = (i & 63) == 63 ? ~std::uint64_t(0) : (bit(i) << 1) - 1;
        std::uint64_t w = (*levels_)[level][word(i)] & mask;
        if (w != 0) {
            i = (word(i) << 6) + static_cast<std::size_t>(highest(w));
            break;
        }
        if (word(i) == 0 || level + 1 == levels_->size()) return -1;
        i = word(i) - 1;
        ++level;
    }
    while (level-- > 0) i = (i << 6) + static_cast<std::size_t>(highest((*levels_)[level][i]));
    return static_cast<int>(i);
}

} // namespace tavirlen
