#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavirlen {
namespace {

using test::runTavirlen;

const std::string usageStart = "USAGE: Tavirlen.exe -option infile\n\noptions:\n"
                               "b:\tblock-extension algorithm\nc:\tconstraint-finding algorithm\n"
                               "l:\tlocus-based DP algorithm\nm:\tmember-based DP algorithm\n";

TEST(CommandLine, WrongArgumentCountPrintsTheShortUsage)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"-b"}, {"-b", "x", "y"}}) {
        test::RunResult r = runTavirlen(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output, usageStart + "i:\tinteger linear programming\n");
        EXPECT_EQ(r.errors, "");
    }
}

TEST(CommandLine, UnknownLetterPrintsTheLongUsageAndOpensNothing)
{
    test::TempDir dir;
    for (const std::string option : {"-x", "-", "", "b"}) {
        test::RunResult r = runTavirlen({option, "in.txt"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output, usageStart + "i:\tinteger linear programming algorithm\n") << option;
    }
    EXPECT_FALSE(test::fileExists("in.dat"));
}

TEST(CommandLine, OnlyTheSecondCharacterSelectsTheMode)
{
    test::TempDir dir;
    test::writeFile("fam.txt", "1 1 0 0 1 1 2\n1 2 0 0 2 1 1\n1 3 1 2 1 1 1\n");
    for (const std::string option : {"-n", "/n", "xnonsense"}) {
        test::RunResult r = runTavirlen({option, "fam.txt"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, "");
    }
    // Three runs of mode n appended three copies of the 39-line block.
    std::string exported = test::readFile("fam.txt-m5.txt");
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 3 * 39);
}

TEST(Random, FollowsTheLinearCongruentialDefinition)
{
    seedRandom(0);
    EXPECT_EQ(tavirlen::rand(), 38);
    EXPECT_EQ(tavirlen::rand(), 7719);
    EXPECT_EQ(tavirlen::rand(), 21238);
    seedRandom(1);
    EXPECT_EQ(tavirlen::rand(), 41);
    EXPECT_EQ(tavirlen::rand(), 18467);
    seedRandom(1);
    EXPECT_EQ(tavirlen::rand(), 41);
    // The state wraps modulo 2^32 and only bits 16 to 30 come out.
    seedRandom(0xFFFFFFFFu);
    int v = tavirlen::rand();
    EXPECT_GE(v, 0);
    EXPECT_LE(v, randMax);
}

} // namespace
} // namespace tavirlen
