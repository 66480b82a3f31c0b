// The files users bring: letter alleles, other layouts, text ids, maps, and
// the crossover table that every phasing mode writes.
#include "ilp/IlpDriver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFile;
using test::runTavirlen;
using test::writeFile;

std::vector<std::vector<std::string>> tsvRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

TEST(InputFiles, LetterAllelesReadAsNumbersAndBadFieldsSkipOnlyTheirFamily)
{
    test::TempDir dir;
    const std::string numbers = "1 1 0 0 1 0 0 1 2 3 3 2 4\n1 2 0 0 2 0 0 2 2 1 3 4 4\n1 3 1 2 1 0 0 1 2 3 1 0 0\n"
                                "2 1 0 0 1 0 0 1 1 1 1 1 1\n2 2 0 0 2 0 0 1 1 1 1 1 1\n2 3 1 2 1 0 0 1 1 1 1 1 1\n";
    const std::string letters = "1 1 0 0 1 0 0 A C G G C T\n1 2 0 0 2 0 0 c c a g t t\n1 3 1 2 1 0 0 A C G A N .\n"
                                "2 1 0 0 1 0 0 1 1 1 1 1 1\n2 2 0 0 2 0 0 1 1 1 1 1 1\n2 3 1 2 1 0 0 1 1 1 1 1 1\n";
    writeFile("numbers.txt", numbers);
    writeFile("letters.txt", letters);
    runTavirlen({"-b", "numbers.txt", "--seed", "5", "--quiet"});
    runTavirlen({"-b", "letters.txt", "--seed", "5", "--quiet"});
    EXPECT_EQ(readFile("numbers.out"), readFile("letters.out"));
    EXPECT_EQ(test::maskTimes(readFile("numbers.res")), test::maskTimes(readFile("letters.res")));

    writeFile("bad.txt", "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 X 2\n1 3 1 2 1 0 0 1 2\n" + numbers.substr(numbers.find("\n2 1 0") + 1));
    test::RunResult bad = runTavirlen({"-b", "bad.txt", "--seed", "5", "--quiet"});
    EXPECT_EQ(bad.output, "Skipping family 1: line 2 field 8 has \"X\", which is not an allele\n");
    EXPECT_EQ(tsvRows(readFile("bad.summary.tsv"))[2][3], "phased");
}

TEST(InputFiles, ASixColumnFileInModeBIsSkippedNotShifted)
{
    test::TempDir dir;
    writeFile("six.txt", "1 1 0 0 1 1 1 2 1 2\n1 2 0 0 2 1 1 1 2 2\n1 3 1 2 1 2 1 1 1 2\n"
                         "2 1 0 0 1 1 1 2 1 2\n2 2 0 0 2 1 1 1 2 2\n2 3 1 2 1 2 1 1 1 2\n");
    test::RunResult run = runTavirlen({"-b", "six.txt", "--seed", "1", "--quiet"});
    const std::string why = " has 3 allele fields, an odd number: does the file have the header columns this "
                            "mode reads (b: 7, t: 6)?\n";
    EXPECT_EQ(run.output, "Skipping family 1: line 1" + why + "Skipping family 2: line 4" + why);
    EXPECT_EQ(readFile("six.out"), "");
    EXPECT_EQ(runTavirlen({"-t", "six.txt", "--seed", "1", "--quiet"}).output, "");
}

TEST(InputFiles, ABlankLineInTheMiddleIsReported)
{
    test::TempDir dir;
    writeFile("gap.txt", "1 1 0 0 1 0 0 1 1\n\n2 1 0 0 1 0 0 1 1\n \n2 2 0 0 1 0 0 1 1\n");
    test::RunResult run = runTavirlen({"-l", "gap.txt", "--quiet"});
    EXPECT_EQ(run.errors, "Reading stopped at the blank line 2; 2 further lines were not read\n");
    EXPECT_EQ(runTavirlen({"-l", "gap.txt", "--quiet", "--out", "x"}).status, 0);
}

// Halves of one family under the threshold are both listed and reported.
TEST(InputFiles, AFamilySplitInTwoSmallPartsLeavesATrace)
{
    test::TempDir dir;
    writeFile("split.txt", "4 1 0 0 1 0 0 1 2\n4 2 0 0 2 0 0 1 1\n5 1 0 0 1 0 0 1 1\n5 2 0 0 2 0 0 1 1\n"
                           "5 3 1 2 1 0 0 1 1\n4 3 1 2 1 0 0 1 1\n4 4 1 2 1 0 0 1 2\n");
    for (const char* mode : {"-b", "-t", "-c", "-i", "-n"}) {
        test::RunResult run = runTavirlen({mode, "split.txt", "--seed", "1", "--quiet", "--columns", "7"});
        EXPECT_EQ(run.errors, "Family 4 has its lines in 2 separate places of the file; 2 of these parts had too few "
                              "members and were skipped (keep a family's lines together)\n") << mode;
        auto rows = tsvRows(readFile("split.summary.tsv"));
        ASSERT_EQ(rows.size(), 4u) << mode;
        EXPECT_EQ(rows[1][0] + rows[1][3] + rows[3][0] + rows[3][3], "4skipped4skipped") << mode;
    }
}

// A five-column file with text ids, parents after their children and loops.
TEST(InputFiles, TheRealFileWithTextIdsPhasesAndKeepsItsIds)
{
    const std::string file = std::string(TAVIRLEN_REALDATA) + "/MathematicalMedicine__kelvin__with_genos.pre";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real data folder";
    test::TempDir dir;
    std::filesystem::copy_file(file, "genos.pre");
    test::RunResult run = runTavirlen({"-t", "genos.pre", "--columns", "5", "--seed", "2", "--quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    auto rows = tsvRows(readFile("genos.summary.tsv"));
    ASSERT_EQ(rows.size(), 13u);
    for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r][3], "phased") << rows[r][0];
    EXPECT_EQ(readFile("genos.out").rfind("Mac10\tMac10_22\t0\t0\t2\t0\t0\t", 0), 0u);
    EXPECT_NE(readFile("genos.out").find("\nMac10\tMac10_23\tMM1662-002\tMac10_22\t1\t"), std::string::npos);
}

// For every family and configuration, the crossover rows are the count on
// its .res line, in every phasing mode.
TEST(CrossoverTable, RowsEqualTheRecombinantCountsOfEveryMode)
{
    test::TempDir dir;
    writeFile("fam.txt", test::randomFamilies(11, 25));
    writeFile("fam6.txt", "");
    {
        std::istringstream in(readFile("fam.txt"));
        std::string six;
        for (std::string line; std::getline(in, line);) six += line.erase(line.find(" 0 0 ", line.find(' ', line.find(' ', line.find(' ') + 1) + 1) + 3), 2) + "\n";
        writeFile("fam6.txt", six);
    }
    for (const char* mode : {"-b", "-t", "-c", "-l", "-m", "-i"}) {
        const std::string input = mode[1] == 't' ? "fam6.txt" : "fam.txt";
        ASSERT_EQ(runTavirlen({mode, input, "--seed", "4", "--quiet", "--out", "r", "--force"}).status, 0) << mode;
        std::map<std::string, int> expected; // "family solution" -> count
        std::map<std::string, int> solutions;
        for (const auto& row : tsvRows(readFile("r.res"))) {
            if (row[0].rfind("Total", 0) == 0) break;
            if (row.size() < 3 || row[0] == "Family" || row[0] == "Solution#") continue;
            const std::size_t first = mode[1] == 'i' ? 2 : 0;
            if (row.size() < first + 3) continue;
            const std::string family = row[first];
            expected[family + " " + std::to_string(++solutions[family])] = std::stoi(row[first + 1]);
        }
        std::map<std::string, int> found;
        for (const auto& row : tsvRows(readFile("r.crossovers.tsv")))
            if (row[0] != "family") ++found[row[0] + " " + row[1]];
        for (auto& [key, count] : expected) EXPECT_EQ(found[key], count) << mode << " family/solution " << key;
        int total = 0;
        for (const auto& [key, count] : found) total += count;
        int written = 0;
        for (const auto& [key, count] : expected) written += count;
        EXPECT_EQ(total, written) << mode;
        // Mode m reads missing alleles as codes, so few of these families have a solution there.
        EXPECT_GT(expected.size(), mode[1] == 'm' ? 2u : 10u) << mode;
    }
}

TEST(MarkerMap, NamesTheCrossoversAndWeighsModeIIntervalsByHaldane)
{
    test::TempDir dir;
    writeFile("fam.txt", "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 3 3 3 3 3 3\n"
                         "1 3 1 2 1 0 0 1 3 2 3 2 3\n1 4 1 2 1 0 0 1 3 1 3 2 3\n"
                         "2 1 0 0 1 0 0 1 2\n2 2 0 0 2 0 0 3 3\n2 3 1 2 1 0 0 1 3\n");
    writeFile("fam.map", "5 rs1 0 1000\n5 rs2 10.0 2000\n5 rs3 25.5 3000\n");
    test::RunResult run = runTavirlen({"-m", "fam.txt", "--map", "fam.map", "--quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Skipping family 2: the map has 3 markers but the family has 1 loci\n");
    auto rows = tsvRows(readFile("fam.crossovers.tsv"));
    ASSERT_EQ(rows.size(), 9u); // four optimal configurations of two crossovers each
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "1", "3", "1", "paternal", "2", "3", "rs2", "rs3", "10", "25.5",
                                                  "2000", "3000"}));

    DatasetSummary summary;
    MarkerMap map;
    map.names = {"a", "b", "c"};
    map.centimorgans = {0.0, 10.0, 25.5};
    useMapDistances(summary, map);
    ASSERT_EQ(summary.markerDistances.size(), 2u);
    EXPECT_NEAR(summary.markerDistances[0], 0.0906346, 1e-6); // (1 - e^-0.2) / 2
    EXPECT_NEAR(summary.markerDistances[1], 0.1332765, 1e-6); // (1 - e^-0.31) / 2

    writeFile("short.map", "5 rs1 0\n5 rs2 1\n");
    test::RunResult none = runTavirlen({"-b", "fam.txt", "--map", "short.map", "--quiet", "--out", "s", "--seed", "1"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.errors, "The map short.map has 2 markers and no family has that many loci\n");
    EXPECT_FALSE(test::fileExists("s.res"));
    // Families skipped for their own reasons keep them: the map is not blamed.
    writeFile("two.txt", "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 3 3 3 3 3 3\n");
    test::RunResult small = runTavirlen({"-b", "two.txt", "--map", "fam.map", "--quiet", "--out", "small", "--seed", "1"});
    EXPECT_EQ(small.status, 0) << small.errors;
    EXPECT_NE(readFile("small.summary.tsv").find("fewer than 3 members"), std::string::npos);

    const std::pair<const char*, const char*> badMaps[] = {
        {"5 rs1 0 1000\n5 rs2 x 2000\n", "line 2: \"x\" is not a position in centimorgans"},
        // With no centimorgans the base pairs order the markers.
        {"5 rs1 0 1000\n5 rs2 0 3000\n5 rs3 0 2000\n", "line 3: marker rs3 lies before the marker above it"},
        {"5 rs1 0 1000\n5 rs2 0 3000\n6 rs3 0 500\n",
         "line 3: marker rs3 is on chromosome 6, the markers above it on 5; a run reads one chromosome"},
    };
    for (const auto& [text, message] : badMaps) {
        writeFile("bad.map", text);
        EXPECT_EQ(runTavirlen({"-b", "fam.txt", "--map", "bad.map", "--quiet", "--seed", "1"}).errors,
                  "Cannot use map file bad.map: " + std::string(message) + "\n");
    }
}

} // namespace
} // namespace tavirlen
