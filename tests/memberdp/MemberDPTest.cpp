#include "memberdp/MemberDP.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

namespace tavirlen {
namespace {

using test::readFile;
using test::runTavirlen;
using test::writeFile;

const std::string resHeader = "Family\t # of Rec\t Time used(Sec)\n";

struct ModeRun {
    std::string out, dat, res, printed;
};

ModeRun runModeM(const std::string& input)
{
    writeFile("fam.txt", input);
    test::RunResult r = runTavirlen({"-m", "fam.txt"});
    EXPECT_EQ(r.status, 0);
    return {readFile("fam.out"), readFile("fam.dat"), test::maskTimes(readFile("fam.res")), r.output};
}

TEST(MemberDPMode, BothOrdersOfAnAmbiguousLocusAreWrittenLargerStateFirst)
{
    // At locus 1 everyone is (1,2): the child got 1 from its father and 2 from
    // its mother, or the reverse. Each fits without recombinant once the
    // founders' phases follow, so both configurations are optimal; they
    // differ in both founders' phases.
    test::TempDir dir;
    std::string input = readFile(test::testDataPath("memberdp/ambiguous.txt"));
    ModeRun run = runModeM(input);
    EXPECT_EQ(run.out, readFile(test::testDataPath("memberdp/ambiguous.out")));
    EXPECT_EQ(run.dat, readFile(test::testDataPath("memberdp/ambiguous.dat")));
    // One line per configuration, no total time and no statistics.
    EXPECT_EQ(run.res, resHeader + "1\t 0\t <time>\n1\t 0\t <time>\n");
    EXPECT_EQ(run.printed, "");
}

TEST(MemberDPMode, ConfigurationsDifferingOnlyInSourcesAreWrittenOnce)
{
    // The father is homozygous at locus 1, so child 5's recombination lies
    // before or after it: two optimal paths with the same allele orders. The
    // one written is the first found, which keeps source 1 as long as it can.
    test::TempDir dir;
    ModeRun run = runModeM("2 1 0 0 1 0 0 1 2 3 3 1 2\n"
                           "2 2 0 0 2 0 0 5 6 5 6 5 6\n"
                           "2 3 1 2 1 0 0 1 5 3 5 1 5\n"
                           "2 4 1 2 2 0 0 5 1 5 3 5 1\n"
                           "2 5 1 2 1 0 0 1 5 3 5 2 5\n");
    EXPECT_EQ(run.out, "2\t1\t0\t0\t1\t0\t0\t1|2\t3|3\t1|2\t000\t000\n"
                       "2\t2\t0\t0\t2\t0\t0\t5|6\t5|6\t5|6\t000\t000\n"
                       "2\t3\t1\t2\t1\t0\t0\t1|5\t3|5\t1|5\t000\t000\n"
                       "2\t4\t1\t2\t2\t0\t0\t1|5\t3|5\t1|5\t000\t000\n"
                       "2\t5\t1\t2\t1\t0\t0\t1|5\t3|5\t2|5\t011\t000\n");
    EXPECT_EQ(run.res, resHeader + "2\t 1\t <time>\n");
}

TEST(MemberDPMode, HomozygousLocusIsWrittenInPhaseZero)
{
    test::TempDir dir;
    ModeRun run = runModeM("1 1 0 0 1 0 0 1 2 2 2\n1 2 0 0 2 0 0 3 4 2 2\n1 3 1 2 1 0 0 3 1 2 2\n");
    EXPECT_EQ(run.out, "1\t1\t0\t0\t1\t0\t0\t1|2\t2|2\t00\t00\n"
                       "1\t2\t0\t0\t2\t0\t0\t3|4\t2|2\t00\t00\n"
                       "1\t3\t1\t2\t1\t0\t0\t1|3\t2|2\t00\t00\n");
    EXPECT_EQ(run.dat.substr(0, 31), "1-1\nM\n  ,  \n1|2(0,0)\n2|2(0,0)\n\n");
}

TEST(MemberDPMode, TooBigFamilyGetsOnlyItsLineInTheOutFile)
{
    // Three founders and six children: 3 x 9 - 2 x 3 = 21 state bits.
    test::TempDir dir;
    std::string big = "7 1 0 0 1 0 0 1 2\n7 2 0 0 2 0 0 1 2\n7 3 0 0 2 0 0 1 2\n";
    for (int c = 4; c <= 9; ++c) big += "7 " + std::to_string(c) + " 1 " + (c % 2 ? "2" : "3") + " 1 0 0 1 2\n";
    ModeRun run = runModeM(big + "3 1 0 0 1 0 0 1 1\n3 2 0 0 2 0 0 2 2\n3 3 1 2 1 0 0 1 2\n");
    // With homozygous parents every source fits; the walk meets the largest
    // state first, so the child is written with sources 1 and 1.
    EXPECT_EQ(run.out, "3\t1\t0\t0\t1\t0\t0\t1|1\t0\t0\n"
                       "3\t2\t0\t0\t2\t0\t0\t2|2\t0\t0\n"
                       "3\t3\t1\t2\t1\t0\t0\t1|2\t1\t1\n"
                       "Pedigree 7 is to big!\n");
    EXPECT_EQ(run.res, resHeader + "3\t 0\t <time>\n");
    EXPECT_EQ(run.dat.find("7-"), std::string::npos);
    EXPECT_EQ(run.printed, "");
}

TEST(MemberDPMode, ImpossibleLocusIsReportedAndNothingWritten)
{
    // Child 3 misses an allele at locus 1 that neither parent lacks.
    test::TempDir dir;
    ModeRun run = runModeM("3 1 0 0 1 0 0 1 2 1 2 1 2\n3 2 0 0 2 0 0 3 4 3 4 3 4\n3 3 1 2 1 0 0 1 3 0 3 1 3\n"
                           "4 1 0 0 1 0 0 1 1 1 1 1 1\n4 2 0 0 2 0 0 2 2 2 2 2 2\n4 3 1 2 1 0 0 1 2 1 2 1 2\n");
    EXPECT_EQ(run.printed, "Pedigree 3 has no possible phase configuration at locus 1 "
                           "(Mendelian inconsistency or missing allele); nothing written for it\n");
    EXPECT_EQ(run.res, resHeader + "4\t 0\t <time>\n");
    EXPECT_EQ(run.out, "4\t1\t0\t0\t1\t0\t0\t1|1\t1|1\t1|1\t000\t000\n"
                       "4\t2\t0\t0\t2\t0\t0\t2|2\t2|2\t2|2\t000\t000\n"
                       "4\t3\t1\t2\t1\t0\t0\t1|2\t1|2\t1|2\t111\t111\n");
}

TEST(MemberDPMode, SingleLocusFamilyWithNoPossibleStateGetsOneLine)
{
    // Every state reaches locus 0 at once here; writing them all as optimal
    // would flood the files with configurations that fit nothing.
    test::TempDir dir;
    ModeRun run = runModeM("5 1 0 0 1 0 0 1 2\n5 2 0 0 2 0 0 3 4\n5 3 1 2 1 0 0 5 6\n");
    EXPECT_EQ(run.printed, "Mendel errors\n"
                           "Pedigree 5 has no possible phase configuration at locus 0 "
                           "(Mendelian inconsistency or missing allele); nothing written for it\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.dat, "");
    EXPECT_EQ(run.res, resHeader);
}

TEST(MemberDPMode, FamilyWithoutLociIsWrittenOnce)
{
    test::TempDir dir;
    ModeRun run = runModeM("6 1 0 0 1 0 0\n6 2 0 0 2 0 0\n6 3 1 2 2 0 0\n");
    EXPECT_EQ(run.out, "6\t1\t0\t0\t1\t0\t0\t\t\n6\t2\t0\t0\t2\t0\t0\t\t\n6\t3\t1\t2\t2\t0\t0\t\t\n");
    EXPECT_EQ(run.res, resHeader + "6\t 0\t <time>\n");
}

TEST(MemberDPMode, SolvesAfterReadingAllInAscendingIdAndKeepsRepeatedIds)
{
    test::TempDir dir;
    const std::string one = " 1 0 0 1 0 0 1 2\n";
    ModeRun run = runModeM("9" + one + "2" + one + "9 2 0 0 2 0 0 3 3\n");
    // Family 9 is read twice (its lines are not consecutive): both are solved,
    // in the order read, after family 2. Single members are not skipped.
    EXPECT_EQ(run.out, "2\t1\t0\t0\t1\t0\t0\t1|2\t0\t0\n"
                       "9\t1\t0\t0\t1\t0\t0\t1|2\t0\t0\n"
                       "9\t2\t0\t0\t2\t0\t0\t3|3\t0\t0\n");
    EXPECT_EQ(run.res, resHeader + "2\t 0\t <time>\n9\t 0\t <time>\n9\t 0\t <time>\n");
}

TEST(MemberDPSolve, RefusesAFamilyThatWasNotPrepared)
{
    // The driver prepares and checks every family; called directly on one
    // that is not, the programme says so instead of reading outside the data.
    auto p = test::readFamily("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 1 2\n", 7, false);
    std::ostringstream dat, res;
    testing::internal::CaptureStdout();
    EXPECT_EQ(solveByMemberDP(*p, nullptr, dat, res), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Pedigree 1 cannot be solved: it is not prepared or its members' loci differ; nothing written for it\n");
    EXPECT_EQ(dat.str() + res.str(), "");
}

TEST(MemberDPMode, TiedRecombinationPositionsStayPractical)
{
    // Six children; the father is homozygous over loci 5 to 34 and the mother
    // over loci 10 to 39. Two children recombine on each side somewhere in
    // those stretches: 31^4 optimal paths with one phase configuration.
    test::TempDir dir;
    const int loci = 45;
    auto genotype = [&](int member, int l) -> std::pair<int, int> {
        const bool fatherHom = l >= 5 && l < 35, motherHom = l >= 10 && l < 40;
        std::pair<int, int> father = fatherHom ? std::pair{3, 3} : std::pair{1, 2};
        std::pair<int, int> mother = motherHom ? std::pair{7, 7} : std::pair{5, 6};
        if (member == 1) return father;
        if (member == 2) return mother;
        const bool late = l >= 35;
        const bool recombinesPaternally = member == 3 || member == 4;
        const bool recombinesMaternally = member == 5 || member == 6;
        int paternal = fatherHom ? 3 : (recombinesPaternally && late ? 2 : 1);
        int maternal = motherHom ? 7 : (recombinesMaternally && l >= 40 ? 6 : 5);
        return {paternal, maternal};
    };
    std::string input;
    for (int m = 1; m <= 8; ++m) {
        input += "1 " + std::to_string(m) + (m <= 2 ? " 0 0 " : " 1 2 ") + (m == 2 ? "2" : "1") + " 0 0";
        for (int l = 0; l < loci; ++l) {
            auto [a, b] = genotype(m, l);
            input += " " + std::to_string(a) + " " + std::to_string(b);
        }
        input += "\n";
    }
    auto started = std::chrono::steady_clock::now();
    ModeRun run = runModeM(input);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(run.res, resHeader + "1\t 4\t <time>\n");
    // Each recombination is placed where the walk first meets it: as low as
    // the homozygous stretch allows.
    std::string paternal3(5, '0'), maternal5(10, '0');
    paternal3 += std::string(loci - 5, '1');
    maternal5 += std::string(loci - 10, '1');
    EXPECT_NE(run.out.find("\t" + paternal3 + "\t" + std::string(loci, '0') + "\n"), std::string::npos);
    EXPECT_NE(run.out.find("\t" + std::string(loci, '0') + "\t" + maternal5 + "\n"), std::string::npos);
}

} // namespace
} // namespace tavirlen
