#include "pedigree/Random.h"

#include <cstdint>

namespace tavirlen {

namespace {
thread_local std::uint32_t generatorState = 1;
}

void seedRandom(unsigned seed)
{
    generatorState = seed;
}

unsigned familySeed(unsigned runSeed, std::size_t familyIndex)
{
    // splitmix64 of the pair: neighbouring families get unrelated streams.
    std::uint64_t z = (static_cast<std::uint64_t>(runSeed) << 32) ^ (static_cast<std::uint64_t>(familyIndex) + 1);
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<unsigned>(z ^ (z >> 31));
}

int rand()
{
    generatorState = generatorState * 214013u + 2531011u;
    return static_cast<int>((generatorState >> 16) & 0x7fff);
}

void skipRandom(unsigned long long count)
{
    // Each bit of the count applies the step composed with itself that many
    // times: state * multiplier + increment, both taken mod 2^32.
    std::uint32_t multiplier = 214013u;
    std::uint32_t increment = 2531011u;
    for (; count != 0; count >>= 1) {
        if (count & 1) generatorState = generatorState * multiplier + increment;
        increment = increment * multiplier + increment;
        multiplier *= multiplier;
    }
}

} // namespace tavirlen
