#pragma once

#include <cstddef>
#include <cstdint>

namespace tavirlen {

// Costs of the inheritance vectors at one locus, relative to the cheapest
// possible vector there. Real costs never exceed the number of bits; the
// sentinel marks a vector that is impossible or not reached, and stays below
// 255 even after every bit has added one to it.
constexpr std::uint8_t unreachableCost = 127;

// Optimal-path counts saturate at this value ("too many to count").
constexpr std::uint64_t countCeiling = ~std::uint64_t(0);

// The min-plus transform over the hypercube of `bits` bits, in place:
//   cost'[t] = min over s of cost[s] + popcount(s ^ t)
// and, when `count` is given, count'[t] = the sum of count[s] over the s that
// attain that minimum (saturating). One relaxation per bit; the bits are
// taken in cache-sized tiles.
void relaxHypercube(std::uint8_t* cost, std::uint64_t* count, int bits);

} // namespace tavirlen
