#include "ilp/Solver.h"

#include "ilp/IlpModel.h"
#include "ilp/MpsWriter.h"
#include "ilp/SolverLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

class Solver : public testing::Test {
protected:
    void SetUp() override
    {
        pedigree = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 1 2 1 2\n1 3 0 0 1 0 0 1 2 1 2\n");
        model = std::make_unique<IlpModel>(*pedigree);
    }
    SolverOutcome solve()
    {
        test::writeFile("model.msp", mpsText(*model));
        testing::internal::CaptureStdout();
        SolverOutcome outcome = solveModelFile("model.msp", "TavirlenILP.log");
        // The solver never talks on standard output.
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        return outcome;
    }
    test::TempDir dir;
    std::unique_ptr<Pedigree> pedigree;
    std::unique_ptr<IlpModel> model;
};

TEST_F(Solver, SolvesToOptimalityAndListsEveryColumn)
{
    // Pick one of four, one of two, at least one of 1 and 4; weights make
    // x4 the only optimal choice, which x1 + x4 >= 1 and x4 <= x6 couple.
    model->equalityRows = {{100001, 100002, 100003, 100004, 1}, {100005, 100006, 1}};
    model->inequalityRows = {{-100001, -100004, -1}, {100004, -100006, 0}};
    model->objectiveVariables = {100001, 100002, 100003, 100004, -100005};
    model->objectiveWeights = {3.0f, 1.0f, 1.0f, 2.0f, 0.5f};
    SolverOutcome outcome = solve();
    ASSERT_EQ(outcome.status, SolverStatus::optimal);
    EXPECT_NEAR(outcome.objectiveValue, 2.0, 1e-9); // the constant of "x5 is 0" is not part of it
    EXPECT_TRUE(readSolverLog(*model, "TavirlenILP.log"));
    std::vector<int> expected{0, 0, 0, 1, 0, 1};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(model->fixedValue(100001 + j), expected[static_cast<std::size_t>(j)]) << j;
    std::string log = test::readFile("TavirlenILP.log");
    // The solver's own messages come before the listing.
    EXPECT_LT(log.find("Cbc"), log.find("1ILP0011I"));
    EXPECT_FALSE(test::fileExists("presolve3"));
}

TEST_F(Solver, ReportsAnInfeasibleModel)
{
    model->equalityRows = {{100001, 100002, 1}};
    model->inequalityRows = {{-100001, -100002, -2}};
    EXPECT_EQ(solve().status, SolverStatus::infeasible);
    EXPECT_EQ(test::readFile("TavirlenILP.log").find("1ILP0011I"), std::string::npos);
}

TEST_F(Solver, ModelWithoutColumnsGetsAnEmptyListing)
{
    SolverOutcome outcome = solve();
    EXPECT_EQ(outcome.status, SolverStatus::optimal);
    EXPECT_EQ(test::readFile("TavirlenILP.log"), "Coin0008I LPDCMP1 read with 0 errors\n"
                                                   "1ILP0011I Solution listing: 0 columns\n");
    // An empty row that cannot hold makes even that model infeasible.
    model->inequalityRows = {{-1}};
    EXPECT_EQ(solve().status, SolverStatus::infeasible);
}

TEST_F(Solver, UnreadableModelFileIsAFailure)
{
    test::writeFile("model.msp", "this is not a model\n");
    testing::internal::CaptureStdout();
    SolverOutcome outcome = solveModelFile("model.msp", "TavirlenILP.log");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(outcome.status, SolverStatus::failed);
    EXPECT_FALSE(outcome.problem.empty());
    outcome = solveModelFile("missing.msp", "TavirlenILP.log");
    EXPECT_EQ(outcome.status, SolverStatus::failed);
}

} // namespace
} // namespace tavirlen
