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

TEST(CommandLine, HelpVersionAndUsageErrorsHaveTheirExitStatuses)
{
    test::TempDir dir;
    test::RunResult help = runTavirlen({"--help"});
    EXPECT_EQ(help.status, 0);
    for (char letter : std::string("btclmineds"))
        EXPECT_NE(help.output.find(std::string("  -") + letter + "  "), std::string::npos) << letter;
    for (const char* text : {"--seed N", "--out PREFIX", "--max-solutions N", "--force", "--quiet", ".summary.tsv",
                             "Exit status", "  3  "})
        EXPECT_NE(help.output.find(text), std::string::npos) << text;
    test::RunResult version = runTavirlen({"-b", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("tavirlen ", 0), 0u);

    test::writeFile("f.txt", "1 1 0 0 1 0 0 1 2\n");
    const std::string shortUsage = usageStart + "i:\tinteger linear programming\n";
    const std::vector<std::vector<std::string>> wrong = {
        {"-b", "f.txt", "--bogus"}, {"-b", "f.txt", "--seed", "x"}, {"-b", "f.txt", "--max-solutions", "3"},
        {"-m", "f.txt", "--max-solutions", "0"}, {"--out", "", "-b", "f.txt"},
        {"-b", "f.txt", "--ped", "f.ped", "--vcf-out", "out.txt"}};
    for (const auto& args : wrong) {
        test::RunResult r = runTavirlen(args);
        EXPECT_EQ(r.status, 2) << args[2];
        EXPECT_EQ(r.output, shortUsage) << args[2];
        EXPECT_EQ(r.errors.rfind("tavirlen: ", 0), 0u) << r.errors;
    }
    EXPECT_FALSE(test::fileExists("f.dat") || test::fileExists("f.summary.tsv"));
}

// Options go anywhere, a given seed repeats a run, and a run without one
// names the seed it drew so that it can be repeated.
TEST(CommandLine, ASeedRepeatsARunWhereverTheOptionsStand)
{
    test::TempDir dir;
    test::writeFile("fam.txt", test::readFile(std::string(TAVIRLEN_EXAMPLES) + "/family.txt"));
    ASSERT_EQ(runTavirlen({"--seed", "7", "-b", "fam.txt", "--out", "one"}).status, 0);
    ASSERT_EQ(runTavirlen({"-b", "--out", "two", "fam.txt", "--seed", "7", "--quiet"}).status, 0);
    EXPECT_EQ(test::readFile("one.dat"), test::readFile("two.dat"));
    EXPECT_EQ(test::readFile("one.out"), test::readFile("two.out"));
    EXPECT_EQ(test::maskTimes(test::readFile("one.res")), test::maskTimes(test::readFile("two.res")));

    test::RunResult drawn = runTavirlen({"-b", "fam.txt", "--out", "three"});
    ASSERT_EQ(drawn.errors.rfind("seed ", 0), 0u) << drawn.errors;
    std::string seed = drawn.errors.substr(5, drawn.errors.find('\n') - 5);
    runTavirlen({"-b", "fam.txt", "--out", "four", "--seed", seed});
    EXPECT_EQ(test::readFile("three.out"), test::readFile("four.out"));
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
