#include "pedigree/Random.h"

#include <cstdint>

namespace tavirlen {

namespace {
std::uint32_t generatorState = 1;
}

void seedRandom(unsigned seed)
{
    generatorState = seed;
}

int rand()
{
    generatorState = generatorState * 214013u + 2531011u;
    return static_cast<int>((generatorState >> 16) & 0x7fff);
}

} // namespace tavirlen
