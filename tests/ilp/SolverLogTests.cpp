#include "ilp/SolverLog.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

class SolverLog : public testing::Test {
protected:
    void SetUp() override
    {
        pedigree = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 1 2 1 2\n1 3 1 2 1 0 0 1 2 1 2\n");
        model = std::make_unique<IlpModel>(*pedigree);
    }
    // Reads a hand-written log; returns what the reading printed.
    std::string read(const std::string& log, bool expectListing = true)
    {
        test::writeFile("TavirlenILP.log", log);
        testing::internal::CaptureStdout();
        EXPECT_EQ(readSolverLog(*model, "TavirlenILP.log"), expectListing);
        return testing::internal::GetCapturedStdout();
    }
    test::TempDir dir;
    std::unique_ptr<Pedigree> pedigree;
    std::unique_ptr<IlpModel> model;
};

TEST_F(SolverLog, ListedColumnsAreFixedByTheirActivity)
{
    read("Coin0008I LPDCMP1 read with 0 errors\n"
         "ILP0064I      0  X100000     IV  1\n" // before the listing: ignored
         "\n"
         "1ILP0011I Solution listing\n"
         "ILP0064I      0  X100001     IV  1.0000000\n"
         "ILP0064I      1  X300090     IV  .\n"
         "ILP0064I      2  X300190     IV  0.5\n"
         "ILP0064I      3  X300091     IV  0\n"
         "ILP0064I      4  X300191     IV  0.9999999999\n"
         "Cbc0001I some closing message\n");
    EXPECT_EQ(model->fixedValue(100000), -1);
    EXPECT_EQ(model->fixedValue(100001), 1);
    EXPECT_EQ(model->fixedValue(300090), 0);
    EXPECT_EQ(model->fixedValue(300190), -1); // 0.5 fixes nothing
    EXPECT_EQ(model->fixedValue(300091), -1); // only "." means 0
    EXPECT_EQ(model->fixedValue(300191), 1);
}

TEST_F(SolverLog, MinusSignsSplitTokensAndSkippedSectionsAreSkipped)
{
    read("ILP0008I start of a section\n"
         "1ILP0011I inside the section\n"
         "ILP0064I 0 X100001 IV 1\n"
         "ILP0001I end of the section\n"
         "1ILP0011I-listing\n"
         "ILP0064I-0-X100002-IV-1\n"
         "ILP0064I 1 X100003\n");
    EXPECT_EQ(model->fixedValue(100001), -1);
    EXPECT_EQ(model->fixedValue(100002), 1);
    EXPECT_EQ(model->fixedValue(100003), -1);
}

TEST_F(SolverLog, ASectionThatNeverEndsStopsAtTheEndOfTheFile)
{
    read("ILP0008I\nnext\n1ILP0011I\nILP0064I 0 X100001 IV 1\n", false);
    EXPECT_EQ(model->fixedValue(100001), -1);
}

TEST_F(SolverLog, ConflictsAndBadIdsAreReported)
{
    model->fixVariable(100001, 0);
    std::string printed = read("1ILP0011I\nILP0064I 0 X100001 IV 1\nILP0064I 1 X0 IV 1\n");
    EXPECT_EQ(printed, "possible Mendelian errors: at locus 1\nVar 0 should larger than 0\n");
    EXPECT_EQ(model->fixedValue(100001), 0);
}

TEST_F(SolverLog, MissingLogHoldsNoListing)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readSolverLog(*model, "no-such.log"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(SolverLog, WrittenListingReadsBack)
{
    std::FILE* log = std::fopen("TavirlenILP.log", "w");
    writeSolutionListing(log, {{"X100001", 1.0}, {"X100002", 0.0}, {"X100003", 1e-12}, {"X100004", 0.99999999}, {"X100005", 0.5}});
    std::fclose(log);
    std::string text = test::readFile("TavirlenILP.log");
    EXPECT_EQ(text.substr(0, text.find('\n')), "1ILP0011I Solution listing: 5 columns");
    EXPECT_NE(text.find("ILP0064I       1  X100002     IV  .\n"), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readSolverLog(*model, "TavirlenILP.log"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(model->fixedValue(100001), 1);
    EXPECT_EQ(model->fixedValue(100002), 0);
    EXPECT_EQ(model->fixedValue(100003), 0);
    EXPECT_EQ(model->fixedValue(100004), 1);
    EXPECT_EQ(model->fixedValue(100005), -1);
}

} // namespace
} // namespace tavirlen
