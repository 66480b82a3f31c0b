#pragma once

namespace tavirlen {

// The process-wide pseudo-random generator. Every random choice of the program
// draws from it, so a run can be reproduced from its seed.
constexpr int randMax = 32767;

// Sets the generator's state to the seed.
void seedRandom(unsigned seed);

// state = state * 214013 + 2531011 (mod 2^32); yields bits 16 to 30: 0..32767.
int rand();

} // namespace tavirlen
