#pragma once

#include <cstddef>
#include <cstdint>

namespace tavirlen {

// Costs of the inheritance vectors at one locus, relative to the cheapest
// possible vector there. Real costs never exceed the number of bits; the
// sentinel marks a vector that is impossible or not reached, and stays below
// 255 even after every bit has added one to it.
constexpr std::uint8_t unreachableCost = 127;

// Optimal-path counts are carried as doubles: exact below 2^53, which is
// where "too many to count" begins.
constexpr double exactCountLimit = 9007199254740992.0;

// The min-plus transform over the hypercube of `bits` bits, in place:
//   cost'[t] = min over s of cost[s] + popcount(s ^ t)
// and, when `count` is given, count'[t] = the sum of count[s] over the s that
// attain that minimum. One relaxation per bit; the bits are taken in
// cache-sized tiles, sixteen entries at a time. Counts use 256-bit
// instructions where the processor has them, unless `baseline` asks for the
// instructions every 64-bit processor has (the tests check both).
void relaxHypercube(std::uint8_t* cost, double* count, int bits, bool baseline = false);

} // namespace tavirlen
