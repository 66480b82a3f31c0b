#include "constraints/LinearSystem.h"
#include "pedigree/Random.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavirlen {
namespace {

Equation equation(std::vector<int> variables, int constant)
{
    Equation e;
    e.variables = std::move(variables);
    e.constant = constant;
    return e;
}

TEST(Equation, IsSortedAndEqualPairsCancel)
{
    Equation e = equation({5, 2, 5, 7, 2, 2}, 1);
    normaliseEquation(e);
    EXPECT_EQ(e.variables, (std::vector<int>{2, 7}));
    EXPECT_EQ(e.leading(), 7);
    Equation sum = addEquations(equation({1, 3, 7}, 1), equation({3, 4, 7}, 1));
    EXPECT_EQ(sum.variables, (std::vector<int>{1, 4}));
    EXPECT_EQ(sum.constant, 0);
}

TEST(LinearSystem, FindsEveryKindOfContradiction)
{
    LinearSystem bothValues(2);
    bothValues.addKnown(0, 0);
    EXPECT_FALSE(bothValues.addKnown(0, 1));

    LinearSystem duplicates(3);
    duplicates.addEquation(equation({0, 1, 2}, 0));
    duplicates.addEquation(equation({2, 1, 0}, 1));
    EXPECT_FALSE(duplicates.solve());

    LinearSystem emptied(2);
    emptied.addKnown(0, 1);
    emptied.addKnown(1, 1);
    emptied.addEquation(equation({0, 1}, 1));
    EXPECT_FALSE(emptied.solve());

    // Only the sum of all three shows it: 0 = 1.
    LinearSystem eliminated(3);
    eliminated.addEquation(equation({0, 1}, 0));
    eliminated.addEquation(equation({1, 2}, 0));
    eliminated.addEquation(equation({0, 2}, 1));
    EXPECT_FALSE(eliminated.solve());
}

// Random small systems: the solutions enumerated from the free variables are
// exactly those found by trying every assignment, and contradictions are
// found exactly when no assignment fits.
TEST(LinearSystem, SolutionsMatchExhaustiveSearch)
{
    seedRandom(4711);
    int solvable = 0;
    for (int round = 0; round < 400; ++round) {
        const int n = 1 + tavirlen::rand() % 10;
        std::vector<Equation> equations;
        std::vector<std::pair<int, int>> knowns;
        LinearSystem system(n);
        bool knownClash = false;
        for (int k = tavirlen::rand() % 3; k > 0; --k) {
            knowns.emplace_back(tavirlen::rand() % n, tavirlen::rand() % 2);
            knownClash |= !system.addKnown(knowns.back().first, knowns.back().second);
        }
        for (int k = tavirlen::rand() % (n + 2); k > 0; --k) {
            Equation e;
            for (int v = 1 + tavirlen::rand() % 4; v > 0; --v) e.variables.push_back(tavirlen::rand() % n);
            e.constant = tavirlen::rand() % 2;
            equations.push_back(e);
            system.addEquation(e);
        }

        std::vector<std::uint32_t> expected;
        for (std::uint32_t a = 0; a < (1u << n); ++a) {
            auto bit = [a](int v) { return static_cast<int>((a >> v) & 1u); };
            bool fits = std::all_of(knowns.begin(), knowns.end(),
                                    [&](const std::pair<int, int>& k) { return bit(k.first) == k.second; });
            for (const Equation& e : equations) {
                int sum = e.constant;
                for (int v : e.variables) sum ^= bit(v);
                fits = fits && sum == 0;
            }
            if (fits) expected.push_back(a);
        }

        if (knownClash || !system.solve()) {
            EXPECT_TRUE(expected.empty()) << "round " << round;
            continue;
        }
        ++solvable;
        std::vector<int> leading;
        for (const Equation& e : system.equations()) {
            ASSERT_GE(e.variables.size(), 2u);
            EXPECT_TRUE(std::is_sorted(e.variables.begin(), e.variables.end()));
            leading.push_back(e.leading());
        }
        EXPECT_TRUE(std::adjacent_find(leading.begin(), leading.end()) == leading.end());
        const std::vector<int> freeList = system.freeVariables();
        std::vector<std::uint32_t> found;
        std::vector<int> values;
        for (std::uint64_t s = 0; s < (1u << freeList.size()); ++s) {
            system.evaluate(s, freeList, values);
            std::uint32_t a = 0;
            for (int v = 0; v < n; ++v) a |= static_cast<std::uint32_t>(values[static_cast<std::size_t>(v)]) << v;
            found.push_back(a);
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected) << "round " << round;
    }
    EXPECT_GT(solvable, 100);
}

} // namespace
} // namespace tavirlen
