#include "ilp/IlpDriver.h"

#include "ilp/IlpReduction.h"
#include "ResultCheck.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace tavirlen {
namespace {

using test::expectConsistentResult;
using test::maskTimes;
using test::readFile;
using test::runTavirlen;
using test::testDataPath;
using test::writeFile;

const std::string noDistances = "Can not find the marker distance file: markerdist.txt, assume evenly spaced!\n";
const std::string header = "Solution#\tSolution\tFamilyID\tRec#\tTime(Sec)\n";

// The summary part of a .res file after the total time.
std::string statistics(const std::string& missingRate, const std::string& likelihoods,
                       const std::string& haplotypes)
{
    return "Total Time used(Sec):\t<time>\n\nMissing rate: " + missingRate
        + "\n\nPedigreeID\tLog10(likelihood)\n" + likelihoods + "\nHaplotype\tFrequency\n" + haplotypes;
}

TEST(IlpMode, TwoUndeterminedClassesGiveFourSolutions)
{
    test::TempDir dir;
    writeFile("fam.txt", readFile(testDataPath("ilp/two-choices.txt")));
    test::RunResult run = runTavirlen({"-i", "fam.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, noDistances + "Processing pedigree 1\n");
    EXPECT_EQ(maskTimes(readFile("fam.res")),
              header + "4\t1\t1\t 0\t <time>\n4\t2\t1\t 0\t <time>\n4\t3\t1\t 0\t <time>\n4\t4\t1\t 0\t <time>\n"
                  + statistics("0.333333", "1\t1\n", "1\t0.833333\n2\t0.166667\n"));
    EXPECT_EQ(readFile("fam.out"), readFile(testDataPath("ilp/two-choices.out")));
    EXPECT_EQ(readFile("fam.dat"), readFile(testDataPath("ilp/two-choices.dat")));
}

TEST(IlpMode, WholeRunWithMarkerDistances)
{
    test::TempDir dir;
    const std::string input = readFile(testDataPath("ilp/families.txt"));
    writeFile("fam.txt", input);
    // First fields only, up to the first blank line.
    writeFile("markerdist.txt", "0.05\n0.1, cM\n0.2\t7\n0.5\n\n0.3\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt"});
    EXPECT_EQ(run.output, "Processing pedigree 5\nProcessing pedigree 9\n");
    // Which of several equally good configurations the solver returns is its
    // own choice; what the files must show holds for each of them.
    std::string res = readFile("fam.res");
    expectConsistentResult(input, readFile("fam.out"), res);
    std::string likelihoods = res.substr(res.find("PedigreeID\tLog10(likelihood)\n"));
    EXPECT_EQ(likelihoods.rfind("PedigreeID\tLog10(likelihood)\n5\t-", 0), 0u);
    EXPECT_NE(likelihoods.find("\n9\t-"), std::string::npos);
    // The model file and the solver listing live in a private folder; no
    // working file is left in the run's folder.
    EXPECT_FALSE(test::fileExists("fam.msp"));
    EXPECT_FALSE(test::fileExists("TavirlenILP.log"));
    EXPECT_FALSE(test::fileExists("presolve3"));
}

TEST(IlpMode, WithoutDistancesEveryRecombinationWeighsOne)
{
    test::TempDir dir;
    const std::string input = readFile(testDataPath("ilp/families.txt"));
    writeFile("fam.txt", input);
    runTavirlen({"-i", "fam.txt"});
    std::string res = maskTimes(readFile("fam.res"));
    expectConsistentResult(input, readFile("fam.out"), res);
    EXPECT_NE(res.find(header + "1\t1\t5\t 7\t <time>\n1\t1\t9\t 0\t <time>\n"), std::string::npos);
    EXPECT_NE(res.find("PedigreeID\tLog10(likelihood)\n5\t1\n9\t1\n"), std::string::npos);
}

TEST(IlpMode, UnusableMarkerDistancesFallBackToEvenSpacing)
{
    test::TempDir dir;
    writeFile("fam.txt", readFile(testDataPath("ilp/families.txt")));
    writeFile("markerdist.txt", "0.05\n0.7\n0.1\n0.1\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt"});
    EXPECT_EQ(run.output, "Marker distance \"0.7\" on line 2 of markerdist.txt is not a recombination fraction "
                          "in (0, 0.5], assume evenly spaced!\n"
                          "Processing pedigree 5\nProcessing pedigree 9\n");
    EXPECT_NE(readFile("fam.res").find("PedigreeID\tLog10(likelihood)\n5\t1\n9\t1\n"), std::string::npos);

    // Only whole decimal numbers are distances; a byte-order mark and lone
    // carriage returns do not get in the way.
    for (const std::string bad : {"abc", "0.1abc", "0x0.1p0", "inf"}) {
        writeFile("markerdist.txt", "\xEF\xBB\xBF" "0.05\r0.1\r" + bad + "\r");
        run = runTavirlen({"-i", "fam.txt"});
        EXPECT_EQ(run.output.substr(0, run.output.find('\n')),
                  "Marker distance \"" + bad + "\" on line 3 of markerdist.txt is not a recombination fraction in (0, "
                  "0.5], assume evenly spaced!");
    }

    writeFile("markerdist.txt", "0.05\n0.1\n0.1\n");
    run = runTavirlen({"-i", "fam.txt"});
    EXPECT_EQ(run.output, "Processing pedigree 5\n"
                          "markerdist.txt holds 3 distances but family 5 has 4 marker intervals, assume evenly "
                          "spaced!\n"
                          "Processing pedigree 9\n");
    std::string res = maskTimes(readFile("fam.res"));
    EXPECT_NE(res.find("PedigreeID\tLog10(likelihood)\n5\t1\n9\t1\n"), std::string::npos);
}

TEST(IlpMode, MendelianInconsistencyEndsTheRun)
{
    test::TempDir dir;
    writeFile("fam.txt", "1 1 0 0 1 0 0 1 1 1 2\n1 2 0 0 2 0 0 1 1 1 2\n1 3 1 2 1 0 0 2 2 1 2\n"
                         "2 1 0 0 1 0 0 1 2 1 2\n2 2 0 0 2 0 0 1 2 1 2\n2 3 1 2 1 0 0 1 2 1 2\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt", "--quiet"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output, noDistances
                  + "Processing pedigree 1\n"
                    "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
                    "at Locus: 0 with genotyes: (1,1)\t(1,1)\t(2,2)\n");
    EXPECT_EQ(run.errors, "tavirlen: the run stopped at family 1: Mendelian inconsistency (reported on standard "
                          "output)\n");
    EXPECT_EQ(readFile("fam.res"), header);
    EXPECT_EQ(readFile("fam.out"), "");
    // The family after the stop is listed all the same.
    EXPECT_NE(readFile("fam.summary.tsv").find("\n2\t3\t2\tskipped\tnot processed: the run stopped at family 1\ti"),
              std::string::npos);
}

TEST(IlpMode, FamiliesThatCannotBeModelledAreSkippedWithAMessage)
{
    test::TempDir dir;
    std::string wide = "4 1 0 0 1 0 0 1 2\n";
    for (int id = 2; id <= 23; ++id)
        wide += "4 " + std::to_string(id) + " 0 0 1 0 0 " + std::to_string(2 * id - 1) + " "
            + std::to_string(2 * id) + "\n";
    writeFile("fam.txt", "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n"
                         "2 1 0 0 1 0 0 1 2 0 0\n2 2 0 0 2 0 0 1 2 0 0\n2 3 1 2 1 0 0 1 1 0 0\n"
                         "3 1 0 0 1 0 0 1 2\n3 2 0 0 2 0 0 1 2\n3 3 1 0 1 0 0 1 2\n"
                         + wide + "5 1 0 0 1 0 0 1 2\n5 2 0 0 2 0 0 1 2\n5 3 1 2 1 0 0 1 1\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt"});
    EXPECT_EQ(run.output, noDistances
                  + "Processing pedigree 1\n"
                    "Processing pedigree 2\n"
                    "2 missing all alleles on some markers!\n"
                    "Processing pedigree 3\n"
                    "Skipping family 3: individual 3 has only one parent given\n"
                    "Processing pedigree 4\n"
                    "Skipping family 4: 46 distinct alleles at locus 1, more than the 45 the integer programme "
                    "can number\n"
                    "Processing pedigree 5\n");
    const std::string expected = header + "1\t1\t5\t 0\t <time>\nTotal";
    EXPECT_EQ(maskTimes(readFile("fam.res")).substr(0, expected.size()), expected);
}

TEST(IlpMode, AFamilyWithoutAnySolutionGetsOneLineAndTheRunGoesOn)
{
    test::TempDir dir;
    // The untyped father would need three alleles at locus 1.
    writeFile("fam.txt", "7 1 0 0 1 0 0 0 0 1 2\n7 2 0 0 2 0 0 1 1 1 1\n7 3 1 2 1 0 0 2 1 1 1\n"
                         "7 4 1 2 1 0 0 3 1 2 1\n7 5 1 2 1 0 0 4 1 1 1\n"
                         "8 1 0 0 1 0 0 1 2 1 2\n8 2 0 0 2 0 0 1 1 1 1\n8 3 1 2 1 0 0 2 1 1 1\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt"});
    const std::string line = "Family 7: the solver found no feasible haplotype configuration; no solution written\n";
    EXPECT_EQ(run.output, noDistances + "Processing pedigree 7\n" + line + "Processing pedigree 8\n");
    const std::string expected = header + line + "1\t1\t8\t 0\t <time>\nTotal";
    EXPECT_EQ(maskTimes(readFile("fam.res")).substr(0, expected.size()), expected);
    // Only family 8 has .out lines.
    EXPECT_EQ(readFile("fam.out").substr(0, 2), "8\t");
}

TEST(IlpMode, AnInconsistentModelIsNotSolved)
{
    test::TempDir dir;
    // Past the Mendelian check, which the driver would stop at: the model's
    // own propagation finds that the child's paternal allele fits no source.
    auto pedigree = test::readFamily("1 1 0 0 1 0 0 1 1 1 2\n1 2 0 0 2 0 0 1 1 1 2\n1 3 1 2 1 0 0 2 2 1 2\n");
    pedigree->markerWeights = {1.0f};
    std::ostringstream dat;
    std::ostringstream res;
    testing::internal::CaptureStdout();
    IlpResult result = solvePedigreeByIlp(*pedigree, dat, res, nullptr, IlpSettings{"fam.msp", "fam.log"});
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, IlpResult::inconsistent);
    const std::string line = "Family 1: the integer programme is inconsistent (no haplotype configuration fits the "
                             "genotypes); no solution written\n";
    EXPECT_EQ(res.str(), line);
    EXPECT_EQ(printed.substr(printed.size() - line.size()), line);
    EXPECT_EQ(dat.str(), "");
    EXPECT_EQ(readFile("fam.msp"), "");
}

TEST(IlpMode, BeyondTheCapOnlyTheFirstSolutionsAreWritten)
{
    test::TempDir dir;
    std::string untyped;
    std::string typed;
    for (int l = 0; l < 16; ++l) {
        untyped += " 0 0";
        typed += " 1 2";
    }
    writeFile("fam.txt", "1 1 0 0 1 0 0" + typed + "\n1 2 0 0 2 0 0" + typed + "\n1 3 0 0 1 0 0" + untyped + "\n");
    test::RunResult run = runTavirlen({"-i", "fam.txt", "--max-solutions", "2"});
    // Two choices per untyped locus, one per founder locus after the first.
    const std::string line = "Family 1: 62 undetermined phase choices; only the first 2 of 2^62 equally "
                             "good solutions are written\n";
    EXPECT_EQ(run.output, noDistances + "Processing pedigree 1\n" + line);
    const std::string expected = header + line + "2\t1\t1\t 0\t <time>\n2\t2\t1\t 0\t <time>\nTotal";
    EXPECT_EQ(maskTimes(readFile("fam.res")).substr(0, expected.size()), expected);
    EXPECT_NE(readFile("fam.summary.tsv").find("\tphased\t\ti\tinteger programme\t0\tyes\t2\t4611686018427387904\t"),
              std::string::npos);
}

// Each run keeps its working files to itself: runs started together in one
// folder write what they write one after the other.
TEST(IlpMode, RunsStartedTogetherInOneFolderDoNotMixTheirWorkingFiles)
{
    test::TempDir dir;
    const std::string input = readFile(testDataPath("ilp/families.txt"));
    writeFile("a.txt", input);
    writeFile("b.txt", readFile(testDataPath("ilp/two-choices.txt")));
    const std::string binary = TAVIRLEN_BINARY;
    ASSERT_EQ(std::system((binary + " -i a.txt --quiet >/dev/null && " + binary + " -i b.txt --quiet >/dev/null").c_str()), 0);
    const std::string alone[2] = {readFile("a.out"), readFile("b.out")};
    ASSERT_EQ(std::system((binary + " -i a.txt --quiet >/dev/null & " + binary + " -i b.txt --quiet >/dev/null & wait").c_str()), 0);
    EXPECT_EQ(readFile("a.out"), alone[0]);
    EXPECT_EQ(readFile("b.out"), alone[1]);
    EXPECT_FALSE(test::fileExists("a.msp") || test::fileExists("TavirlenILP.log"));
}

TEST(IlpMode, SettlingTheObjectiveAndTheClasses)
{
    test::TempDir dir;
    auto pedigree = test::readFamily("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 0 0 1 0 0 1 2\n");
    IlpModel model(*pedigree);
    auto x = [](int i) { return variableId(0, 0, i); };
    model.objectiveVariables = {x(0), -x(1), x(2), -x(3)};
    model.objectiveWeights = {1, 1, 1, 1};
    model.fixVariable(x(2), 1);
    model.fixVariable(x(3), 0);
    settleObjective(model);
    EXPECT_EQ(model.fixedValue(x(0)), 0);
    EXPECT_EQ(model.fixedValue(x(1)), 1);
    EXPECT_EQ(model.fixedValue(x(2)), 1);
    EXPECT_EQ(model.fixedValue(x(3)), 0);

    model.fixVariable(x(11), 0);
    model.fixVariable(x(12), 1);
    model.fixVariable(x(13), 1);
    model.mergedClasses = {{{x(10), x(11)}, {x(14)}},   // x11 = 0: x10 = 0, x14 = 1
                           {{x(20)}, {x(12), x(21)}},   // second set has x12 = 1
                           {{x(30)}, {x(31)}},          // nothing fixed
                           {{x(13), x(12)}, {x(0)}}};   // x12 = x13 = 1 but x0 = 0: agrees
    settleMergedClasses(model);
    EXPECT_EQ(model.fixedValue(x(10)), 0);
    EXPECT_EQ(model.fixedValue(x(14)), 1);
    EXPECT_EQ(model.fixedValue(x(20)), 0);
    EXPECT_EQ(model.fixedValue(x(21)), 1);
    ASSERT_EQ(model.undeterminedClasses.size(), 1u);
    EXPECT_EQ(model.undeterminedClasses[0].firstSet, std::set<int>{x(30)});

    // A class whose fixed members disagree is reported and left undetermined.
    model.mergedClasses = {{{x(0), x(12)}, {}}};
    testing::internal::CaptureStdout();
    settleMergedClasses(model);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error 2\n");
    EXPECT_EQ(model.undeterminedClasses.size(), 1u);
}

} // namespace
} // namespace tavirlen
