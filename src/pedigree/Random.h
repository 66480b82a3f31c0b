#pragma once

#include <cstddef>

namespace tavirlen {

// The pseudo-random generator. Every random choice of the program draws from
// it, so a run can be reproduced from its seed. Its state belongs to the
// thread: a family processed on any thread draws from its own stream.
constexpr int randMax = 32767;

// Sets the generator's state to the seed.
void seedRandom(unsigned seed);

// state = state * 214013 + 2531011 (mod 2^32); yields bits 16 to 30: 0..32767.
int rand();

// Moves the generator on by `count` draws, as that many calls of rand()
// would, in steps that grow with the count's bits, not with the count.
void skipRandom(unsigned long long count);

// The seed of one family's stream, from the run's seed and the family's
// position in the input: results do not depend on how many threads run or
// in which order they finish.
unsigned familySeed(unsigned runSeed, std::size_t familyIndex);

} // namespace tavirlen
