#include "exact/HypercubeCosts.h"
#include "pedigree/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tavirlen {
namespace {

// The cache-blocked, vectorised transform against one plain relaxation per
// bit over the whole array, on sizes that reach every blocking level.
TEST(HypercubeCosts, EqualsOnePlainRelaxationPerBit)
{
    seedRandom(3);
    for (int bits : {0, 2, 5, 15, 17, 20}) {
        const std::size_t size = std::size_t(1) << bits;
        std::vector<std::uint8_t> cost(size), expectedCost;
        std::vector<double> count(size), expectedCount;
        for (std::size_t v = 0; v < size; ++v) {
            cost[v] = rand() % 3 ? unreachableCost : static_cast<std::uint8_t>(rand() % 6);
            count[v] = cost[v] == unreachableCost ? 0.0 : 1 + rand() % 4;
        }
        expectedCost = cost;
        expectedCount = count;
        for (int bit = 0; bit < bits; ++bit)
            for (std::size_t i = 0; i < size; ++i) {
                const std::size_t j = i ^ (std::size_t(1) << bit);
                if (j < i) continue;
                const int a = expectedCost[i], b = expectedCost[j];
                const double na = expectedCount[i], nb = expectedCount[j];
                expectedCount[i] = (a <= b + 1 ? na : 0) + (b + 1 <= a ? nb : 0);
                expectedCount[j] = (b <= a + 1 ? nb : 0) + (a + 1 <= b ? na : 0);
                expectedCost[i] = static_cast<std::uint8_t>(std::min(a, b + 1));
                expectedCost[j] = static_cast<std::uint8_t>(std::min(b, a + 1));
            }
        std::vector<std::uint8_t> costOnly = cost, baselineCost = cost;
        std::vector<double> baselineCount = count;
        relaxHypercube(cost.data(), count.data(), bits);
        relaxHypercube(baselineCost.data(), baselineCount.data(), bits, true);
        relaxHypercube(costOnly.data(), nullptr, bits);
        EXPECT_EQ(cost, expectedCost) << bits;
        EXPECT_EQ(baselineCost, expectedCost) << bits;
        EXPECT_EQ(costOnly, expectedCost) << bits;
        EXPECT_EQ(count, expectedCount) << bits;
        EXPECT_EQ(baselineCount, expectedCount) << bits;
    }
}

} // namespace
} // namespace tavirlen
