#include "ilp/IlpReduction.h"

#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace tavirlen {
namespace {

// Hand-made rows over the variables x(0), x(1), ... of one member's locus.
class Reduction : public testing::Test {
protected:
    void SetUp() override
    {
        pedigree = test::readFamily("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 0 0 1 0 0 1 2\n");
        model = std::make_unique<IlpModel>(*pedigree);
    }
    static int x(int i) { return variableId(0, 0, i); }
    int value(int i) const { return model->fixedValue(x(i)); }
    void fix(int i, int v) { model->fixVariable(x(i), v); }
    // Runs a rule with standard output captured into `printed`.
    template <typename Rule> auto quietly(Rule rule)
    {
        testing::internal::CaptureStdout();
        auto result = rule();
        printed = testing::internal::GetCapturedStdout();
        return result;
    }

    std::unique_ptr<Pedigree> pedigree;
    std::unique_ptr<IlpModel> model;
    std::string printed;
};

TEST_F(Reduction, PropagationFixesTheLastOpenTermOfAnEqualityRow)
{
    model->equalityRows = {{x(0), x(1), x(2), 1}};
    fix(0, 0);
    fix(1, 0);
    EXPECT_EQ(propagate(*model), 0);
    EXPECT_EQ(value(2), 1);
    EXPECT_TRUE(model->equalityRows.empty());
}

TEST_F(Reduction, PropagationClearsTheRowOfATermFixedToOne)
{
    model->equalityRows = {{x(0), x(1), x(2), x(3), 1}};
    fix(2, 1);
    EXPECT_EQ(propagate(*model), 0);
    EXPECT_EQ(value(0), 0);
    EXPECT_EQ(value(1), 0);
    EXPECT_EQ(value(3), 0);
    EXPECT_TRUE(model->equalityRows.empty());
}

TEST_F(Reduction, PropagationMergesTheTwoTermsLeftAsComplementary)
{
    model->equalityRows = {{x(0), x(1), x(2), 1}};
    fix(1, 0);
    EXPECT_EQ(propagate(*model), 1);
    ASSERT_EQ(model->mergedClasses.size(), 1u);
    EXPECT_EQ(model->mergedClasses[0].firstSet, std::set<int>{x(0)});
    EXPECT_EQ(model->mergedClasses[0].secondSet, std::set<int>{x(2)});
    EXPECT_TRUE(model->equalityRows.empty());
}

TEST_F(Reduction, PropagationOnInequalityRows)
{
    // x0 - x1 - x2 <= 0 with x1 = x2 = 0 forces x0 = 0; -x3 - x4 <= -1 with
    // x4 = 0 forces x3 = 1; a row that now always holds goes.
    model->inequalityRows = {{x(0), -x(1), -x(2), 0}, {-x(3), -x(4), -1}, {x(5), x(6), x(7), 2}, {x(8), x(9), 1}};
    fix(1, 0);
    fix(2, 0);
    fix(4, 0);
    fix(8, 0);
    EXPECT_EQ(propagate(*model), 0);
    EXPECT_EQ(value(0), 0);
    EXPECT_EQ(value(3), 1);
    // r + p + q <= 2 forbids all three at 1 and must stay while all are open.
    EXPECT_EQ(model->inequalityRows, (std::vector<IlpRow>{{x(5), x(6), x(7), 2}}));
}

TEST_F(Reduction, PropagationReportsAnInequalityThatCannotHold)
{
    model->inequalityRows = {{-x(0), -x(1), -x(2), -1}};
    fix(0, 0);
    fix(1, 0);
    fix(2, 0);
    EXPECT_LT(quietly([&] { return propagate(*model); }), 0);
    EXPECT_EQ(printed, "Find inconsistency\n");
    EXPECT_TRUE(model->inconsistent);
}

TEST_F(Reduction, PropagationFollowsImplications)
{
    model->implicationGraph = {{x(0), {x(1), -x(2)}}, {x(3), {x(4)}}, {x(1), {}}, {-x(2), {}}, {x(4), {}}};
    fix(0, 1);
    fix(4, 0);
    propagate(*model);
    EXPECT_EQ(value(1), 1);
    EXPECT_EQ(value(2), 0);
    EXPECT_EQ(value(3), 0); // a false conclusion makes its premise false
    EXPECT_TRUE(model->implicationGraph.empty());
}

TEST_F(Reduction, ComplementaryMergeBuildsAndExtendsClasses)
{
    EXPECT_TRUE(mergeComplementary(*model, x(0), x(1)));   // x0 = 1 - x1
    EXPECT_TRUE(mergeComplementary(*model, x(1), x(2)));   // x2 = 1 - x1
    EXPECT_TRUE(mergeComplementary(*model, x(3), -x(2)));  // x3 = x2
    ASSERT_EQ(model->mergedClasses.size(), 1u);
    EXPECT_EQ(model->mergedClasses[0].firstSet, (std::set<int>{x(0), x(2), x(3)}));
    EXPECT_EQ(model->mergedClasses[0].secondSet, std::set<int>{x(1)});
    // x0 and x2 already sit in one set: they cannot be complementary.
    EXPECT_FALSE(quietly([&] { return mergeComplementary(*model, x(0), x(2)); }));
    EXPECT_EQ(printed, "Find inconsistency\n");
}

TEST_F(Reduction, ComplementaryMergeWithAFixedVariableFixesTheOther)
{
    fix(5, 1);
    EXPECT_TRUE(mergeComplementary(*model, x(5), x(6)));
    EXPECT_EQ(value(6), 0);
    EXPECT_TRUE(model->mergedClasses.empty());
}

TEST_F(Reduction, UnionPoursALaterClassIntoAnEarlierOne)
{
    model->mergedClasses = {{{x(0)}, {x(1)}}, {{x(5)}, {x(6)}}, {{x(1), x(7)}, {x(8)}}};
    uniteClasses(*model);
    ASSERT_EQ(model->mergedClasses.size(), 2u);
    // x1 is in the second set of the first class and the first set of the
    // third: the third is poured in crosswise.
    EXPECT_EQ(model->mergedClasses[0].firstSet, (std::set<int>{x(0), x(8)}));
    EXPECT_EQ(model->mergedClasses[0].secondSet, (std::set<int>{x(1), x(7)}));
}

TEST_F(Reduction, SubstitutionUsesTheRepresentativeAndShiftsTheRightHandSide)
{
    model->mergedClasses = {{{x(2), x(4)}, {x(3)}}};
    model->inequalityRows = {{x(4), x(3), -x(9), 1}, {-x(3), x(9), 0}};
    model->equalityRows = {{x(3), x(4), x(5), 1}};
    substituteRepresentatives(*model);
    EXPECT_EQ(model->inequalityRows, (std::vector<IlpRow>{{x(2), -x(2), -x(9), 0}, {x(2), x(9), 1}}));
    EXPECT_EQ(model->equalityRows, (std::vector<IlpRow>{{-x(2), x(2), x(5), 0}}));
}

TEST_F(Reduction, TwoTermRowsFixVanishOrBecomeImplications)
{
    model->inequalityRows = {
        {x(0), x(1), 1},    // x0 + x1 <= 1: stays, x0 -> not x1, x1 -> not x0
        {x(2), x(3), 0},    // both 0
        {-x(4), -x(5), -2}, // both 1
        {x(6), -x(7), -1},  // x6 = 0, x7 = 1
        {x(8), -x(8), 0},   // always holds
        {-x(10), -x(11), -1}, // x10 + x11 >= 1: not x10 -> x11, not x11 -> x10
    };
    EXPECT_EQ(reduceTwoTermRows(*model), 0);
    EXPECT_EQ(model->inequalityRows, (std::vector<IlpRow>{{x(0), x(1), 1}, {-x(10), -x(11), -1}}));
    EXPECT_EQ(value(2), 0);
    EXPECT_EQ(value(3), 0);
    EXPECT_EQ(value(4), 1);
    EXPECT_EQ(value(5), 1);
    EXPECT_EQ(value(6), 0);
    EXPECT_EQ(value(7), 1);
    using Pair = std::pair<int, int>;
    EXPECT_EQ(model->implicationPairs,
              (std::vector<Pair>{{-x(10), x(11)}, {-x(11), x(10)}, {x(0), -x(1)}, {x(1), -x(0)}}));
}

TEST_F(Reduction, TwoTermRowOfOneVariableTwice)
{
    model->inequalityRows = {{x(0), x(0), 1}, {-x(1), -x(1), -1}};
    reduceTwoTermRows(*model);
    EXPECT_EQ(value(0), 0);
    EXPECT_EQ(value(1), 1);
    EXPECT_TRUE(model->inequalityRows.empty());
    model->inequalityRows = {{x(2), x(3), -1}};
    EXPECT_LT(quietly([&] { return reduceTwoTermRows(*model); }), 0);
    EXPECT_EQ(printed, "Find inconsistency\n");
}

TEST_F(Reduction, ImplicationsEnterTheGraphOnce)
{
    model->implicationPairs = {{x(0), -x(1)}, {x(1), -x(0)}};
    enterImplications(*model);
    model->implicationPairs.push_back({x(0), -x(1)});
    enterImplications(*model);
    EXPECT_EQ(model->implicationGraph.size(), 4u);
    EXPECT_EQ(model->implicationGraph[x(0)], std::set<int>{-x(1)});
    EXPECT_EQ(model->enteredPairs, 3u);
}

TEST_F(Reduction, ContradictoryImplicationsMakeTheirPremiseFalse)
{
    model->implicationGraph = {{x(0), {x(1), -x(1)}}, {-x(2), {x(2)}}, {x(3), {x(4)}}};
    EXPECT_EQ(fixContradictoryImplications(*model), 1);
    EXPECT_EQ(value(0), 0);
    EXPECT_EQ(value(2), 1);
    EXPECT_EQ(value(3), -1);
    EXPECT_EQ(fixContradictoryImplications(*model), 0);
}

TEST_F(Reduction, ComponentsOfTheImplicationGraphBecomeClasses)
{
    // x0 -> x1 -> x0 and the mirror; not x2 -> x3 -> not x2.
    model->implicationGraph = {{x(0), {x(1)}}, {x(1), {x(0)}}, {-x(0), {-x(1)}}, {-x(1), {-x(0)}},
                               {-x(2), {x(3)}}, {x(3), {-x(2)}}, {x(4), {x(5)}}};
    EXPECT_TRUE(mergeComponents(*model));
    ASSERT_EQ(model->mergedClasses.size(), 2u);
    auto holding = [&](int v) {
        for (const MergedClass& merged : model->mergedClasses)
            if (merged.firstSet.count(v) || merged.secondSet.count(v)) return merged;
        return MergedClass{};
    };
    MergedClass equal = holding(x(0));
    EXPECT_EQ(equal.firstSet, (std::set<int>{x(0), x(1)}));
    EXPECT_TRUE(equal.secondSet.empty());
    // not x2 is equivalent to x3: the two take opposite values.
    MergedClass opposite = holding(x(2));
    EXPECT_EQ(opposite.firstSet.size(), 1u);
    EXPECT_EQ(opposite.secondSet.size(), 1u);
    EXPECT_EQ(opposite.firstSet.count(x(2)), opposite.secondSet.count(x(3)));
    EXPECT_FALSE(mergeComponents(*model)); // nothing new the second time
}

TEST_F(Reduction, ALiteralEquivalentToItsNegationIsInconsistent)
{
    model->implicationGraph = {{x(0), {-x(0)}}, {-x(0), {x(0)}}};
    quietly([&] { return mergeComponents(*model); });
    EXPECT_EQ(printed, "Find inconsistency\n");
    EXPECT_TRUE(model->inconsistent);
}

TEST_F(Reduction, ObjectiveDropsFixedEntriesMapsAndFoldsTheRest)
{
    model->mergedClasses = {{{x(2), x(4)}, {x(3)}}, {{}, {x(6), x(5)}}};
    model->objectiveVariables = {x(0), x(1), x(4), x(3), x(6), x(2)};
    model->objectiveWeights = {1.0f, 2.0f, 0.5f, 0.25f, 3.0f, 1.0f};
    fix(1, 1);
    finaliseObjective(*model);
    // x4 -> +x2 (0.5), x3 -> -x2 (-0.25 on x2), x2 -> +x2: 0.5 - 0.25 + 1.
    EXPECT_EQ(model->objectiveVariables, (std::vector<int>{x(0), x(2), x(5)}));
    EXPECT_EQ(model->objectiveWeights, (std::vector<float>{1.0f, 1.25f, 3.0f}));

    model->mergedClasses = {{{x(2)}, {x(3)}}};
    model->objectiveVariables = {x(2), x(3)};
    model->objectiveWeights = {0.25f, 1.0f};
    finaliseObjective(*model);
    // 0.25 x2 + (1 - x2) is -0.75 x2 plus a constant: 0.75 on "x2 is 0".
    EXPECT_EQ(model->objectiveVariables, (std::vector<int>{-x(2)}));
    EXPECT_EQ(model->objectiveWeights, (std::vector<float>{0.75f}));
}

// Random feasible rows over a few variables: the reduced model (its rows,
// fixed values and classes) must allow exactly the assignments the original
// rows allow, and its objective must differ from the original one by the
// same constant on every one of them.
TEST_F(Reduction, ReductionKeepsExactlyTheFeasibleAssignments)
{
    seedRandom(20240611);
    const int n = 8;
    for (int round = 0; round < 300; ++round) {
        SetUp();
        std::vector<int> planted(n);
        for (int& bit : planted) bit = rand() % 2;
        auto randomRow = [&](int terms, bool equality) {
            IlpRow row;
            int activity = 0;
            for (int t = 0; t < terms; ++t) {
                int i = rand() % n;
                bool negative = !equality && rand() % 2 == 0;
                row.push_back(negative ? -x(i) : x(i));
                activity += negative ? -planted[static_cast<std::size_t>(i)] : planted[static_cast<std::size_t>(i)];
            }
            row.push_back(equality ? activity : activity + rand() % 2);
            return row;
        };
        for (int r = rand() % 4; r > 0; --r) model->equalityRows.push_back(randomRow(2 + rand() % 2, true));
        for (int r = 2 + rand() % 8; r > 0; --r) model->inequalityRows.push_back(randomRow(2 + rand() % 2, false));
        for (int r = rand() % 4; r > 0; --r) {
            model->objectiveVariables.push_back(x(rand() % n));
            model->objectiveWeights.push_back(static_cast<float>(1 + rand() % 3));
        }
        const std::vector<IlpRow> equalities = model->equalityRows;
        const std::vector<IlpRow> inequalities = model->inequalityRows;
        const std::vector<int> objective = model->objectiveVariables;
        const std::vector<float> weights = model->objectiveWeights;

        auto activity = [&](const IlpRow& row, unsigned mask) {
            int sum = 0;
            for (std::size_t t = 0; t + 1 < row.size(); ++t) {
                int i = variableKind(std::abs(row[t]));
                int bit = static_cast<int>((mask >> i) & 1u);
                sum += row[t] < 0 ? -bit : bit;
            }
            return sum;
        };
        auto satisfies = [&](const std::vector<IlpRow>& eq, const std::vector<IlpRow>& le, unsigned mask) {
            for (const IlpRow& row : eq)
                if (activity(row, mask) != row.back()) return false;
            for (const IlpRow& row : le)
                if (activity(row, mask) > row.back()) return false;
            return true;
        };
        auto objectiveValue = [&](const std::vector<int>& vars, const std::vector<float>& w, unsigned mask) {
            double sum = 0;
            for (std::size_t k = 0; k < vars.size(); ++k) {
                int bit = static_cast<int>((mask >> variableKind(std::abs(vars[k]))) & 1u);
                sum += w[k] * (vars[k] > 0 ? bit : 1 - bit);
            }
            return sum;
        };

        testing::internal::CaptureStdout();
        bool consistent = reduceModel(*model);
        testing::internal::GetCapturedStdout();

        bool anyFeasible = false;
        bool haveOffset = false;
        double offset = 0;
        for (unsigned mask = 0; mask < (1u << n); ++mask) {
            bool original = satisfies(equalities, inequalities, mask);
            anyFeasible = anyFeasible || original;
            if (!consistent) continue;
            bool reduced = satisfies(model->equalityRows, model->inequalityRows, mask);
            for (int i = 0; i < n && reduced; ++i) {
                int fixed = value(i);
                if (fixed >= 0 && fixed != static_cast<int>((mask >> i) & 1u)) reduced = false;
            }
            for (const MergedClass& merged : model->mergedClasses) {
                std::set<int> values;
                for (int v : merged.firstSet) values.insert(static_cast<int>((mask >> variableKind(v)) & 1u));
                for (int v : merged.secondSet) values.insert(1 - static_cast<int>((mask >> variableKind(v)) & 1u));
                if (values.size() > 1) reduced = false;
            }
            ASSERT_EQ(original, reduced) << "round " << round << " assignment " << mask;
            if (!original) continue;
            double difference = objectiveValue(objective, weights, mask)
                - objectiveValue(model->objectiveVariables, model->objectiveWeights, mask);
            if (!haveOffset) offset = difference;
            haveOffset = true;
            EXPECT_NEAR(difference, offset, 1e-5) << "round " << round;
        }
        // Rows are feasible by construction, so the reduction may never
        // call them inconsistent.
        EXPECT_TRUE(anyFeasible);
        EXPECT_TRUE(consistent) << "round " << round;
        // What is left for the solver names only open class representatives.
        for (const auto* rows : {&model->equalityRows, &model->inequalityRows})
            for (const IlpRow& row : *rows)
                for (std::size_t t = 0; t + 1 < row.size(); ++t) {
                    int v = std::abs(row[t]);
                    EXPECT_EQ(model->fixedValue(v), -1);
                    for (const MergedClass& merged : model->mergedClasses) {
                        if (merged.firstSet.count(v) || merged.secondSet.count(v)) {
                            EXPECT_EQ(v, classRepresentative(merged));
                        }
                    }
                }
    }
}

} // namespace
} // namespace tavirlen
