#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFile;
using test::runTavirlen;
using test::writeFile;

// family -> {recombinants, status, method, optimal} from a summary table.
std::map<std::string, std::vector<std::string>> summaryRows(const std::string& tsv)
{
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream in(tsv);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
        if (f[0] != "family") rows[f[0]] = {f[7], f[3], f[6], f[8]};
    }
    return rows;
}

// With missing genotypes, mode a is exact: never above mode i's optimum, and
// equal to it.
TEST(BestAvailable, EqualsTheIntegerProgrammeOnFamiliesWithMissingData)
{
    test::TempDir dir;
    writeFile("fam.txt", test::randomFamilies(21, 30));
    ASSERT_EQ(runTavirlen({"-a", "fam.txt", "--quiet", "--seed", "1", "--out", "a"}).status, 0);
    ASSERT_EQ(runTavirlen({"-i", "fam.txt", "--quiet", "--out", "i"}).status, 0);
    auto best = summaryRows(readFile("a.summary.tsv"));
    auto programme = summaryRows(readFile("i.summary.tsv"));
    int compared = 0;
    for (const auto& [family, row] : programme) {
        if (row[1] != "phased") continue;
        EXPECT_EQ(best[family][0], row[0]) << "family " << family;
        EXPECT_EQ(best[family][3], "yes") << "family " << family;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST(BestAvailable, EachFamilyGetsWhatCanBeHadAndSaysWhich)
{
    test::TempDir dir;
    std::ostringstream text;
    auto line = [&](int family, int id, int father, int mother, const std::string& alleles) {
        text << family << " " << id << " " << father << " " << mother << " " << (id % 2 ? 1 : 2) << " 0 0 " << alleles
             << "\n";
    };
    line(1, 1, 0, 0, "1 2 1 2");
    line(1, 2, 0, 0, "3 3 3 4");
    line(1, 3, 1, 2, "1 3 2 4");
    line(2, 1, 0, 0, "1 1 1 2"); // child 3 cannot have its 2 from either parent
    line(2, 2, 0, 0, "1 1 1 1");
    line(2, 3, 1, 2, "2 1 1 1");
    // Fourteen children: 28 inheritance bits, beyond the exact engine.
    line(3, 1, 0, 0, "1 2 1 2 3 4");
    line(3, 2, 0, 0, "3 4 3 4 1 2");
    for (int child = 3; child <= 16; ++child) line(3, child, 1, 2, child % 3 ? "1 3 2 4 3 1" : "2 4 1 3 4 2");
    // The same with an untyped locus: only block extension is left.
    line(4, 1, 0, 0, "1 2 0 0 3 4");
    line(4, 2, 0, 0, "3 4 0 0 1 2");
    for (int child = 3; child <= 16; ++child) line(4, child, 1, 2, child % 3 ? "1 3 0 0 3 1" : "2 4 0 0 4 2");
    writeFile("fam.txt", text.str());
    test::RunResult run = runTavirlen({"-a", "fam.txt", "--quiet", "--seed", "1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Family 2: Mendelian inconsistency: child 3 at locus 0; written unphased\n"),
              std::string::npos)
        << run.output;
    auto rows = summaryRows(readFile("fam.summary.tsv"));
    EXPECT_EQ(rows["1"], (std::vector<std::string>{"0", "phased", "exact", "yes"}));
    EXPECT_EQ(rows["2"], (std::vector<std::string>{"", "mendel", "best available", ""}));
    EXPECT_EQ(rows["3"][1] + rows["3"][2] + rows["3"][3], "phasedinteger programmeyes");
    EXPECT_EQ(rows["4"][1] + rows["4"][2] + rows["4"][3], "phasedblock extension with polishingunknown");
}

// A real file of 494 families, many members untyped: all solved exactly.
TEST(BestAvailable, EveryFamilyOfTheRealChromosomeFileIsSolvedExactly)
{
    const std::string file = std::string(TAVIRLEN_REALDATA) + "/MathematicalMedicine__kelvin__chr5.pre";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real data folder";
    test::TempDir dir;
    std::filesystem::copy_file(file, "chr5.pre");
    ASSERT_EQ(runTavirlen({"-a", "chr5.pre", "--columns", "6", "--quiet", "--seed", "1"}).status, 0);
    auto rows = summaryRows(readFile("chr5.summary.tsv"));
    EXPECT_EQ(rows.size(), 494u);
    for (const auto& [family, row] : rows) EXPECT_EQ(row[1] + " " + row[2] + " " + row[3], "phased exact yes") << family;
}

} // namespace
} // namespace tavirlen
