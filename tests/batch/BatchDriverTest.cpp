#include "batch/BatchDriver.h"
#include "modes/Export.h"
#include "phasing/BlockExtensionMode.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

namespace tavirlen {
namespace {

using test::fileExists;
using test::readFile;
using test::runTavirlen;
using test::writeFile;

// The first field of every family line of a .res text, in order.
std::vector<std::string> resFamilies(const std::string& res)
{
    std::vector<std::string> ids;
    std::istringstream in(res);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line) && line.rfind("Total", 0) != 0) ids.push_back(line.substr(0, line.find('\t')));
    return ids;
}

const std::string emptySummary = "Missing rate: -nan\n\nPedigreeID\tLog10(likelihood)\n\nHaplotype\tFrequency\n"
                                 "Total Number of Founders\t0;\tTotal Number of Loci\t0;\tTotal Number of Free Loci\t0\n"
                                 "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n";

TEST(ResultFileName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(resultFileName("family.txt", "dat"), "family.dat");
    EXPECT_EQ(resultFileName("data.ped", "res"), "data.res");
    EXPECT_EQ(resultFileName("fam", "out"), "out");
    EXPECT_EQ(resultFileName("ab", "dat"), "ab.dat");
    EXPECT_EQ(resultFileName("", "dat"), ".dat");
    std::string longName(300, 'x');
    EXPECT_EQ(resultFileName(longName + ".txt", "dat"), longName + ".dat");
}

TEST(ExportMode, WritesTheSameBlocksToFourFilesAndAppends)
{
    test::TempDir dir;
    writeFile("fam.txt", "3 1 0 0 1 1 2 3 4\n3 2 0 0 2 5 6 7 8\n3 9 1 2 1 1 5 3 7\n"
                         "4 1 0 0 1 1 1\n4 2 0 0 2 1 1\n");
    EXPECT_EQ(runBatch(exportMode(), "fam.txt"), 0);
    std::string block = "3-1\nM\n  ,  \n1 2\n3 4\n\n\n\n\n\n\n\n\n"
                        "3-2\nF\n  ,  \n5 6\n7 8\n\n\n\n\n\n\n\n\n"
                        "3-9\nM\n3-1 , 3-2\n1 5\n3 7\n\n\n\n\n\n\n\n\n";
    for (const char* suffix : {"-m5.txt", "-m10.txt", "-m15.txt", "-m20.txt"})
        EXPECT_EQ(readFile(std::string("fam.txt") + suffix), block) << suffix;
    EXPECT_FALSE(fileExists("fam.dat"));
    EXPECT_FALSE(fileExists("fam.res"));
    runBatch(exportMode(), "fam.txt");
    EXPECT_EQ(readFile("fam.txt-m20.txt"), block + block);
}

TEST(BlockExtensionMode, SmallFamiliesLeaveOnlyHeadersAndTotals)
{
    test::TempDir dir;
    writeFile("two.txt", "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n");
    EXPECT_EQ(runBatch(blockExtensionMode(7), "two.txt"), 0);
    EXPECT_EQ(test::maskTimes(readFile("two.res")),
              "Family\t # of Rec\t Time used(Sec)\nTotal Time used(Sec):\t<time>\n\n" + emptySummary);
    EXPECT_EQ(readFile("two.dat"), "");
    EXPECT_EQ(readFile("two.out"), "");
}

TEST(BlockExtensionMode, MendelFailureIsReportedAndTheFamilyWrittenAsRead)
{
    test::TempDir dir;
    writeFile("bad.txt", "8 1 0 0 1 0 0 1 2\n8 2 0 0 2 0 0 3 4\n8 3 1 2 1 0 0 2 1\n");
    testing::internal::CaptureStdout();
    runBatch(blockExtensionMode(7), "bad.txt");
    // The summary's count of loci the parents order reports the trio first.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Mendel errors\n"
              "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
              "at Locus: 0 with genotyes: (1,2)\t(3,4)\t(2,1)\n");
    EXPECT_EQ(readFile("bad.dat"), "8-1\nM\n  ,  \n1 2\n\n\n\n\n\n\n\n\n\n"
                                   "8-2\nF\n  ,  \n3 4\n\n\n\n\n\n\n\n\n\n"
                                   "8-3\nM\n8-1 , 8-2\n2 1\n\n\n\n\n\n\n\n\n\n");
    EXPECT_EQ(readFile("bad.out"), "8\t1\t0\t0\t1\t0\t0\t1|2\t0\t0\n"
                                   "8\t2\t0\t0\t2\t0\t0\t3|4\t0\t0\n"
                                   "8\t3\t1\t2\t1\t0\t0\t2|1\t-1\t-1\n");
    std::string res = test::maskTimes(readFile("bad.res"));
    EXPECT_EQ(res.substr(0, res.find("Total")), "Family\t # of Rec\t Time used(Sec)\n8\t 0\t <time>\n");
}

TEST(BlockExtensionMode, UnsafeFamiliesAreSkippedWithOneLineAndTheRunGoesOn)
{
    test::TempDir dir;
    writeFile("mixed.txt",
              "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"
              "2 1 0 0 1 0 0 1 1\n2 2 0 0 2 0 0 1 1\n2 7 12 2 1 0 0 1 1\n"
              "3 1 0 0 1 0 0 1 1\n3 2 0 0 2 0 0 1 1\n3 3 1 0 1 0 0 1 1\n"
              "4 1 0 0 1 0 0 1 1\n4 2 0 0 2 0 0 1 1 2 2\n4 3 1 2 1 0 0 1 1\n"
              "5 1 3 2 1 0 0 1 1\n5 2 0 0 2 0 0 1 1\n5 3 1 2 1 0 0 1 1\n"
              "6 1 0 0 1 0 0 1 1\n6 2 0 0 2 0 0 1 1\n6 3 1\n"
              "7 1 0 0 1 0 0 1 1\n7 2 0 0 2 0 0 1 1\n7 0 1 2 1 0 0 1 1\n"
              "8 1 0 0 1 0 0 1 1\n8 2 0 0 2 0 0 1 1\n8 3 1 2 1 0 0 1 99999999999\n"
              "9 1 0 0 1 0 0 1 1\n9 2 0 0 2 0 0 1 1\n9 3 1 2 1 0 0 1 1\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(runBatch(blockExtensionMode(7), "mixed.txt"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Skipping family 2: individual 7 has father 12, who is not in the family\n"
              "Skipping family 3: individual 3 has only one parent given\n"
              "Skipping family 4: individual 1 has 1 loci but individual 2 has 2\n"
              "Skipping family 5: parent links form a cycle through individual 1\n"
              "Skipping family 6: the line of individual 3 has 3 fields, fewer than the 7 header columns\n"
              "Skipping family 7: individual id 0 is not a valid id (0 means no parent)\n"
              "Skipping family 8: a number on the line of individual 3 is too large for a 32-bit integer\n");
    EXPECT_EQ(resFamilies(readFile("mixed.res")), (std::vector<std::string>{"1", "9"}));
}

TEST(BlockExtensionMode, TextIdsArePhasedAndWrittenAsRead)
{
    test::TempDir dir;
    writeFile("text.txt", "F1 A1 0 0 1 0 0 1 1\nF1 A2 0 0 2 0 0 1 1\nF1 A3 A1 A2 1 0 0 1 1\n"
                          "2 1 0 0 1 0 0 1 1\n2 2 0 0 2 0 0 1 1\n");
    testing::internal::CaptureStdout();
    runBatch(blockExtensionMode(7), "text.txt");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(resFamilies(readFile("text.res")), std::vector<std::string>{"F1"});
    EXPECT_NE(readFile("text.dat").find("F1-A3\nM\nF1-A1 , F1-A2\n1|1("), std::string::npos);
    EXPECT_NE(readFile("text.out").find("F1\tA3\tA1\tA2\t1\t0\t0\t1|1\t"), std::string::npos);
}

TEST(BlockExtensionMode, ARepeatedFamilyIdGivesTwoFamiliesBothKept)
{
    test::TempDir dir;
    writeFile("rep.txt", "5 1 0 0 1 0 0 1 1\n5 2 0 0 2 0 0 2 2\n5 3 1 2 1 0 0 1 2\n"
                         "2 1 0 0 1 0 0 3 3\n2 2 0 0 2 0 0 3 3\n2 3 1 2 1 0 0 3 3\n"
                         "5 7 0 0 1 0 0 4 4\n5 8 0 0 2 0 0 4 4\n5 9 7 8 1 0 0 4 4\n");
    runBatch(blockExtensionMode(7), "rep.txt");
    std::string res = readFile("rep.res");
    EXPECT_EQ(resFamilies(res), (std::vector<std::string>{"5", "2", "5"}));
    EXPECT_NE(res.find("PedigreeID\tLog10(likelihood)\n2\t1\n5\t1\n5\t1\n"), std::string::npos) << res;
    // Six founders, twelve founder haplotypes: the frequencies sum to one.
    EXPECT_NE(res.find("Haplotype\tFrequency\n1\t0.166667\n2\t0.166667\n3\t0.333333\n4\t0.333333\n"
                       "Total Number of Founders\t6;"),
              std::string::npos)
        << res;
}

TEST(BatchDriver, NamesOfAnyLength)
{
    test::TempDir dir;
    const std::string family = "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n";
    writeFile("ab", family);
    runBatch(blockExtensionMode(7), "ab");
    EXPECT_TRUE(fileExists("ab.dat") && fileExists("ab.res") && fileExists("ab.out"));
    writeFile("fam", family);
    runBatch(blockExtensionMode(7), "fam");
    EXPECT_TRUE(fileExists("dat") && fileExists("res") && fileExists("out"));
    std::string longName(120, 'q');
    writeFile(longName + ".txt", family);
    runBatch(blockExtensionMode(7), longName + ".txt");
    EXPECT_EQ(resFamilies(readFile(longName + ".res")), (std::vector<std::string>{"1"}));
    runBatch(exportMode(), longName + ".txt");
    EXPECT_TRUE(fileExists(longName + ".txt-m20.txt"));
}

// Families hand their output streams on: a family's text is its own, also
// after a longer family wrote to the same stream.
TEST(BatchDriver, AFamilysOutputHoldsOnlyItsOwnText)
{
    BatchRun run(RunOptions{});
    {
        FamilyRun longer(run, 0);
        std::fputs("a longer line of an earlier family\n", longer.out);
        EXPECT_EQ(longer.outText(), "a longer line of an earlier family\n");
    }
    FamilyRun shorter(run, 1);
    EXPECT_EQ(shorter.outText(), "");
    std::fputs("short\n", shorter.out);
    EXPECT_EQ(shorter.outText(), "short\n");
}

TEST(BatchDriver, MissingInputIsAnErrorAndCreatesNothing)
{
    test::TempDir dir;
    test::RunResult r = runTavirlen({"-b", "absent.txt", "--seed", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Cannot open input file: absent.txt\n");
    EXPECT_EQ(r.output, "");
    EXPECT_FALSE(fileExists("absent.dat") || fileExists("absent.res") || fileExists("absent.out"));
    EXPECT_EQ(runTavirlen({"-n", "absent.txt"}).status, 1);
    EXPECT_FALSE(fileExists("absent.txt-m5.txt"));
}

TEST(BatchDriver, ResultFileThatCannotBeCreatedIsAnError)
{
    test::TempDir dir;
    writeFile("fam.txt", "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n");
    std::filesystem::create_directory("fam.res");
    test::RunResult r = runTavirlen({"-b", "fam.txt", "--seed", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Cannot create result file: fam.res (Is a directory)\n");

    std::filesystem::create_directory("fam.txt-m10.txt");
    r = runTavirlen({"-n", "fam.txt", "--quiet"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Cannot create result file: fam.txt-m10.txt (Is a directory)\n");
    EXPECT_FALSE(fileExists("fam.txt-m15.txt"));

    r = runTavirlen({"-b", "fam.txt", "--seed", "1", "--out", "missing/fam"});
    EXPECT_EQ(r.errors, "Cannot create result file: missing/fam.dat (No such file or directory)\n");
}

TEST(BatchDriver, NeverOverwritesTheInput)
{
    test::TempDir dir;
    const std::string family = "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n";
    writeFile("fam.dat", family);
    test::RunResult r = runTavirlen({"--seed", "1", "-b", "fam.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Result file fam.dat would overwrite the input file\n");
    EXPECT_EQ(readFile("fam.dat"), family);
}

// Public pedigree files must run through the export without a fault (the
// sanitizer build makes any out-of-bounds access fatal).
TEST(BatchDriver, RealDataExports)
{
    const std::filesystem::path realdata = TAVIRLEN_REALDATA;
    if (!std::filesystem::exists(realdata)) GTEST_SKIP() << "no real data folder";
    test::TempDir dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(realdata)) {
        std::string name = entry.path().filename().string();
        if (name == "SOURCES.md") continue;
        std::filesystem::copy_file(entry.path(), name);
        EXPECT_EQ(runBatch(exportMode(), name), 0) << name;
        // The file with text ids reads as one family whose members all have
        // id 0, which leaves a single member: nothing to export.
        if (name.find("with_genos") == std::string::npos) {
            EXPECT_TRUE(fileExists(name + "-m5.txt")) << name;
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

// The table that programs read: one row per family of the input, in input
// order, whatever became of it.
TEST(SummaryTable, OneRowPerInputFamilyWithItsStatus)
{
    test::TempDir dir;
    std::ostringstream text;
    auto line = [&](int family, int id, int father, int mother, int sex, const char* pair, int loci) {
        text << family << " " << id << " " << father << " " << mother << " " << sex << " 0 0";
        for (int k = 0; k < loci; ++k) text << " " << pair;
        text << "\n";
    };
    line(1, 1, 0, 0, 1, "1 2", 3);
    line(1, 2, 0, 0, 2, "1 1", 3);
    line(1, 3, 1, 2, 1, "2 1", 3);
    line(2, 1, 0, 0, 1, "1 1", 3);                      // one member
    line(3, 1, 0, 0, 1, "1 1", 3);                      // two members
    line(3, 2, 0, 0, 2, "1 1", 3);
    line(4, 1, 0, 0, 1, "1 1", 3);                      // a parent who is not there
    line(4, 2, 0, 0, 2, "1 1", 3);
    line(4, 3, 1, 9, 1, "1 1", 3);
    line(5, 1, 0, 0, 1, "1 2", 3);                      // Mendelian inconsistency
    line(5, 2, 0, 0, 2, "1 2", 3);
    line(5, 3, 1, 2, 1, "3 3", 3);
    line(6, 1, 0, 0, 1, "1 2", 40);                     // over mode l's bound
    line(6, 2, 0, 0, 2, "3 4", 40);
    line(6, 3, 1, 2, 1, "1 3", 40);
    for (int child = 3; child <= 9; ++child) line(7, child, 1, 2, 1, "1 1", 2); // 23 bits for mode m
    line(7, 1, 0, 0, 1, "1 1", 2);
    line(7, 2, 0, 0, 2, "1 1", 2);
    writeFile("fam.txt", text.str());

    auto rows = [](const std::string& tsv) {
        std::vector<std::vector<std::string>> table;
        std::istringstream in(tsv);
        std::string row;
        std::getline(in, row);
        EXPECT_EQ(row, "family\tmembers\tloci\tstatus\treason\tmode\tmethod\trecombinants\toptimal\t"
                       "solutions_written\tsolutions_in_all\tseconds");
        while (std::getline(in, row)) {
            std::vector<std::string> fields;
            std::istringstream cells(row);
            for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
            table.push_back(fields);
        }
        return table;
    };
    auto statuses = [&](const char* mode) {
        runTavirlen({mode, "fam.txt", "--quiet", "--seed", "3"});
        std::vector<std::string> found;
        for (const auto& row : rows(readFile("fam.summary.tsv"))) found.push_back(row[0] + ":" + row[3]);
        return found;
    };
    EXPECT_EQ(statuses("-b"), (std::vector<std::string>{"1:phased", "2:skipped", "3:skipped", "4:skipped",
                                                         "5:mendel", "6:phased", "7:phased"}));
    EXPECT_EQ(statuses("-l"), (std::vector<std::string>{"1:phased", "2:phased", "3:phased", "4:skipped",
                                                         "5:phased", "6:unphased", "7:phased"}));
    EXPECT_EQ(statuses("-m"), (std::vector<std::string>{"1:phased", "2:phased", "3:phased", "4:skipped",
                                                         "5:no-solution", "6:phased", "7:too-big"}));

    // The recombinant column is the .res count of every phased family.
    for (const char* mode : {"-b", "-l", "-m", "-c"}) {
        runTavirlen({mode, "fam.txt", "--quiet", "--seed", "3"});
        std::string res = readFile("fam.res");
        for (const auto& row : rows(readFile("fam.summary.tsv"))) {
            if (row[3] != "phased") continue;
            EXPECT_NE(res.find("\n" + row[0] + "\t " + row[7] + "\t "), std::string::npos) << mode << row[0];
        }
    }
    const auto table = rows(readFile("fam.summary.tsv"));
    EXPECT_EQ(table[1][4], "fewer than 3 members");
    EXPECT_EQ(table[3][4], "individual 3 has mother 9, who is not in the family");
}

// Families worked on side by side write exactly what one thread writes, in
// every mode, messages on standard output included.
TEST(Threads, AnyNumberOfThreadsWritesTheSameBytes)
{
    test::TempDir dir;
    writeFile("fam.txt", test::randomFamilies(5, 40) + "99 1 0 0 1 0 0 1 2 1 1 1 1\n99 2 0 0 2 0 0 2 2 2 2 2 2\n"
                                                        "99 3 1 2 1 0 0 3 3 1 2 1 2\n");
    auto withoutSeconds = [](const std::string& tsv) {
        std::string kept;
        std::istringstream in(tsv);
        for (std::string line; std::getline(in, line);) kept += line.substr(0, line.rfind('\t')) + "\n";
        return kept;
    };
    for (const char* mode : {"-a", "-b", "-c", "-l", "-m", "-i"}) {
        std::string first[6];
        for (const char* threads : {"1", "2", "4"}) {
            test::RunResult run = runTavirlen({mode, "fam.txt", "--threads", threads, "--seed", "9", "--quiet",
                                               "--report", "--out", std::string("r") + threads});
            // Mode i stops at the Mendelian inconsistency of the last family.
            ASSERT_EQ(run.status, mode[1] == 'i' ? 3 : 0) << mode << threads;
            const std::string prefix = std::string("r") + threads;
            const std::string got[6] = {readFile(prefix + ".dat"), readFile(prefix + ".out"),
                                        test::maskTimes(readFile(prefix + ".res")),
                                        readFile(prefix + ".crossovers.tsv"),
                                        withoutSeconds(readFile(prefix + ".summary.tsv")), run.output};
            for (int k = 0; k < 6; ++k) {
                if (threads[0] == '1')
                    first[k] = got[k];
                else
                    EXPECT_EQ(got[k], first[k]) << mode << " with " << threads << " threads, file " << k;
            }
            EXPECT_EQ(readFile(prefix + ".html"), readFile("r1.html")) << mode << threads;
        }
    }
}

// A file run as parts (a job array) and merged gives what one run gives.
TEST(FamilyRanges, PartsRunApartAndMergedEqualOneRun)
{
    test::TempDir dir;
    writeFile("fam.txt", test::randomFamilies(8, 50));
    const std::string binary = TAVIRLEN_BINARY;
    const std::string scripts = TAVIRLEN_SCRIPTS;
    for (const char* mode : {"-b", "-a", "-c"}) {
        ASSERT_EQ(runTavirlen({mode, "fam.txt", "--seed", "3", "--quiet", "--out", "whole"}).status, 0);
        const std::string command = scripts + "/family-ranges fam.txt 3 | { n=0; while read range; do n=$((n+1)); "
            + binary + " " + mode + " fam.txt --families $range --seed 3 --quiet --out part$n || exit 1; done; } && "
            + scripts + "/merge-results merged part1 part2 part3";
        ASSERT_EQ(std::system(command.c_str()), 0) << mode;
        for (const char* ending : {".dat", ".out", ".crossovers.tsv"})
            EXPECT_EQ(readFile(std::string("merged") + ending), readFile(std::string("whole") + ending)) << mode << ending;
        auto families = [](const std::string& tsv) {
            std::string kept;
            std::istringstream in(tsv);
            for (std::string line; std::getline(in, line);) kept += line.substr(0, line.rfind('\t')) + "\n";
            return kept;
        };
        EXPECT_EQ(families(readFile("merged.summary.tsv")), families(readFile("whole.summary.tsv"))) << mode;
        const std::string whole = test::maskTimes(readFile("whole.res"));
        EXPECT_EQ(test::maskTimes(readFile("merged.res")), whole.substr(0, whole.find("Total"))) << mode;
    }
    // A range past the end is no error (a job array's last part) but says so.
    test::RunResult past = runTavirlen({"-b", "fam.txt", "--families", "51:60", "--seed", "3", "--quiet", "--out", "p"});
    EXPECT_EQ(past.status, 0);
    EXPECT_EQ(past.errors, "--families 51:60: the input holds 50 families; none is in the range\n");
}

// --polish through the command line: a complete trio over 2,000 markers,
// which block extension alone leaves with recombinants, ends with none.
TEST(Polish, ACompleteTrioOverTwoThousandMarkersEndsWithoutRecombinants)
{
    test::TempDir dir;
    std::mt19937 random(4);
    std::string father = "1 1 0 0 1 0 0", mother = "1 2 0 0 2 0 0", child = "1 3 1 2 1 0 0";
    for (int l = 0; l < 2000; ++l) {
        const int f[2] = {1 + static_cast<int>(random() % 2), 1 + static_cast<int>(random() % 2)};
        const int m[2] = {1 + static_cast<int>(random() % 2), 1 + static_cast<int>(random() % 2)};
        father += " " + std::to_string(f[0]) + " " + std::to_string(f[1]);
        mother += " " + std::to_string(m[0]) + " " + std::to_string(m[1]);
        child += " " + std::to_string(f[0]) + " " + std::to_string(m[1]);
    }
    writeFile("trio.txt", father + "\n" + mother + "\n" + child + "\n");
    ASSERT_EQ(runTavirlen({"-b", "trio.txt", "--polish", "--seed", "1", "--quiet"}).status, 0);
    EXPECT_EQ(resFamilies(readFile("trio.res")), std::vector<std::string>{"1"});
    EXPECT_NE(readFile("trio.res").find("\n1\t 0\t"), std::string::npos);
    EXPECT_NE(readFile("trio.summary.tsv").find("\tb\tblock extension with polishing\t0\t"), std::string::npos);
}

} // namespace
} // namespace tavirlen
