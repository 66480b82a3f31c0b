#include "pedigree/Random.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

TEST(SkipRandom, LeavesTheGeneratorWhereThatManyDrawsWould)
{
    for (unsigned long long count : {0ULL, 1ULL, 2ULL, 7ULL, 120ULL, 65537ULL, 1000003ULL}) {
        seedRandom(4242);
        for (unsigned long long i = 0; i < count; ++i) tavirlen::rand();
        const int drawn = tavirlen::rand();
        seedRandom(4242);
        skipRandom(count);
        EXPECT_EQ(tavirlen::rand(), drawn) << count;
    }
}

} // namespace
} // namespace tavirlen
