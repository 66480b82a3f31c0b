#include "exact/HypercubeCosts.h"

#include <algorithm>

namespace tavirlen {

namespace {

// Tiles of 2^tileBits entries (costs and counts) stay in the second-level
// cache while their low bits are relaxed; the high bits are then relaxed on
// columns of stripWidth consecutive entries across all tiles.
constexpr int tileBits = 13;
constexpr std::size_t stripWidth = 64;

inline std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t sum = a + b;
    return sum < a ? countCeiling : sum;
}

// One relaxation between the entries a[k] (bit clear) and b[k] (bit set).
void relaxPairs(std::uint8_t* a, std::uint8_t* b, std::size_t length)
{
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t ca = a[k], cb = b[k];
        a[k] = std::min<std::uint8_t>(ca, static_cast<std::uint8_t>(cb + 1));
        b[k] = std::min<std::uint8_t>(cb, static_cast<std::uint8_t>(ca + 1));
    }
}

void relaxPairs(std::uint8_t* a, std::uint8_t* b, std::uint64_t* na, std::uint64_t* nb, std::size_t length)
{
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t ca = a[k], cb = b[k];
        const std::uint8_t viaB = static_cast<std::uint8_t>(cb + 1), viaA = static_cast<std::uint8_t>(ca + 1);
        const std::uint64_t countA = na[k], countB = nb[k];
        na[k] = ca < viaB ? countA : ca > viaB ? countB : saturatingAdd(countA, countB);
        nb[k] = cb < viaA ? countB : cb > viaA ? countA : saturatingAdd(countA, countB);
        a[k] = std::min(ca, viaB);
        b[k] = std::min(cb, viaA);
    }
}

// Relaxes bit `bit` for the entries start + j (j < width) of every run of
// `width` entries that begins `stride` apart and has the bit clear.
void relaxBit(std::uint8_t* cost, std::uint64_t* count, std::size_t size, int bit, std::size_t start,
              std::size_t width, std::size_t stride)
{
    const std::size_t half = std::size_t(1) << bit;
    for (std::size_t run = 0; run < size; run += stride) {
        if (run & half) continue;
        const std::size_t i = start + run;
        if (count)
            relaxPairs(cost + i, cost + i + half, count + i, count + i + half, width);
        else
            relaxPairs(cost + i, cost + i + half, width);
    }
}

} // namespace

void relaxHypercube(std::uint8_t* cost, std::uint64_t* count, int bits)
{
    const std::size_t size = std::size_t(1) << bits;
    const int low = std::min(bits, tileBits);
    const std::size_t tile = std::size_t(1) << low;
    for (std::size_t start = 0; start < size; start += tile)
        for (int bit = 0; bit < low; ++bit)
            relaxBit(cost + start, count ? count + start : nullptr, tile, bit, 0, std::size_t(1) << bit,
                     std::size_t(1) << bit);
    if (bits <= tileBits) return;
    for (std::size_t column = 0; column < tile; column += stripWidth)
        for (int bit = low; bit < bits; ++bit) relaxBit(cost, count, size, bit, column, stripWidth, tile);
}

} // namespace tavirlen
