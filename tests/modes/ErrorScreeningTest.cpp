#include "modes/ErrorScreening.h"
#include "modes/ScreeningInput.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string header = "id\tfather\tmother\tx\ty\tz\tgenotypes\n";

// One input line: ids, three ignored fields, then the allele text.
std::string row(int id, int father, int mother, const std::string& alleles)
{
    return std::to_string(id) + "\t" + std::to_string(father) + "\t" + std::to_string(mother)
        + "\t0\t0\t0\t" + alleles + "\n";
}

// Runs mode e on `lines` (after the header) and returns standard output.
std::string screen(const std::string& lines)
{
    writeFile("in.txt", header + lines);
    test::RunResult run = test::runTavirlen({"-e", "in.txt", "--quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    return run.output;
}

TEST(ErrorScreening, AnAlleleNoParentCarriesIsALikelyError)
{
    TempDir dir;
    std::string output = screen(row(1, 0, 0, "1 1 5 6") + row(2, 0, 0, "2 2 7 8") + row(3, 1, 2, "1 3 5 7"));
    EXPECT_EQ(output,
              "Family ID: 1 Individual IDs: 0\t1\t2\t3\t2000\t2001\t\n"
              "\n"
              "Family ID: 1 individual: 3 at locus 1 allele 3 is likely an error\n");
}

TEST(ErrorScreening, AnAlleleTypedChildrenCarryOnIsALikelyMutationScoredByItsCarriers)
{
    TempDir dir;
    std::string output = screen(row(1, 0, 0, "1 1") + row(2, 0, 0, "2 2") + row(3, 1, 2, "1 3")
                                + row(4, 0, 0, "1 1") + row(5, 3, 4, "3 1") + row(6, 3, 4, "1 3")
                                + row(7, 3, 4, "1 1"));
    EXPECT_EQ(output,
              "Family ID: 1 Individual IDs: 0\t1\t2\t3\t4\t5\t6\t7\t2000\t2001\t2002\t\n"
              "\n"
              "Family ID: 1 individual: 3 at locus 1 allele 3 is likely a mutation with score 2\n");
}

TEST(ErrorScreening, GrandparentsStandInForAnUntypedFather)
{
    TempDir dir;
    // Father 3 is untyped; his parents carry 4 and 5. Child 5 got 4 from
    // them, child 6 shows an allele 1 nobody above it carries.
    std::string output = screen(row(1, 0, 0, "4 4") + row(2, 0, 0, "5 5") + row(3, 1, 2, "0 0")
                                + row(4, 0, 0, "2 2") + row(5, 3, 4, "4 2") + row(6, 3, 4, "1 2"));
    EXPECT_NE(output.find("\n\nFamily ID: 1 individual: 6 at locus 1 allele 1 is likely an error\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("individual: 5 "), std::string::npos) << output;
}

TEST(ErrorScreening, NothingIsSaidWhenALineOfDescentEndsInAnUntypedFounder)
{
    TempDir dir;
    // Father 7 has no line (an untyped placeholder); father 0 is nobody.
    std::string output = screen(row(2, 9, 0, "2 2") + row(3, 7, 2, "9 9") + row(4, 0, 2, "9 9"));
    EXPECT_EQ(output, "Family ID: 1 Individual IDs: 0\t2\t3\t4\t7\t9\t2000\t\n\n");
}

TEST(ErrorScreening, ASharedMotherLinksFamiliesAndAMissingMotherDoesNot)
{
    TempDir dir;
    std::string output = screen(row(1, 5, 9, "1 1") + row(2, 6, 9, "1 1") + row(3, 7, 0, "1 1")
                                + "4\t8\n");
    EXPECT_EQ(output,
              "Family ID: 1 Individual IDs: 1\t2\t5\t6\t9\t\n"
              "Family ID: 2 Individual IDs: 3\t7\t2000\t\n"
              "Family ID: 3 Individual IDs: 4\t8\t2001\t\n"
              "\n");
}

TEST(ErrorScreening, ReplacementMotherIdsPassOverIdsTheInputUses)
{
    TempDir dir;
    // Id 2000 has a line of its own; the missing mother of 1 must not become it.
    std::string output = screen(row(2000, 5, 6, "1 1") + row(1, 7, 0, "1 1") + row(2002, 8, 0, "1 1"));
    EXPECT_EQ(output,
              "Family ID: 1 Individual IDs: 5\t6\t2000\t\n"
              "Family ID: 2 Individual IDs: 1\t7\t2001\t\n"
              "Family ID: 3 Individual IDs: 8\t2002\t2003\t\n"
              "\n");
}

TEST(ErrorScreening, ParentsWithoutALineArePlaceholdersInBothOutputFiles)
{
    TempDir dir;
    std::string output = screen("3\t1\t2\tx\ty\tz\t1\t2\n");
    EXPECT_EQ(output, "Family ID: 1 Individual IDs: 1\t2\t3\t\n\n");
    std::string empties(9, '\n');
    EXPECT_EQ(readFile("in.inb"), "1-1\nM\n  ,  \n0 0\n" + empties + "1-2\nF\n  ,  \n0 0\n" + empties
                                      + "1-3\nF\n1-1 , 1-2\n1 2\n" + empties);
    EXPECT_EQ(readFile("in.mrh"),
              "1\t1\t0\t0\t1\t0\t0\t0|0\t-1\t-1\n"
              "1\t2\t0\t0\t2\t0\t0\t0|0\t-1\t-1\n"
              "1\t3\t1\t2\t0\t0\t0\t1|2\t-1\t-1\n");
}

TEST(ErrorScreening, ACyclicFamilyIsReportedOnceAndTheOthersAreScreened)
{
    TempDir dir;
    std::string output = screen(row(1, 2, 3, "1 1") + row(2, 1, 3, "5 5") + row(11, 0, 0, "1 1")
                                + row(12, 0, 0, "2 2") + row(13, 11, 12, "1 3") + row(4, 4, 3, "6 6"));
    EXPECT_EQ(output,
              "Family ID: 1 Individual IDs: 1\t2\t3\t4\t\n"
              "Family ID: 2 Individual IDs: 0\t11\t12\t13\t2000\t2001\t\n"
              "\n"
              "Family ID: 1 is not screened: parent links form a cycle through individual 1\n"
              "Family ID: 2 individual: 13 at locus 1 allele 3 is likely an error\n");
}

TEST(ErrorScreening, UnusableLinesAreSkippedWithAMessageNamingThem)
{
    TempDir dir;
    std::string output = screen("lonely\n" + row(0, 1, 2, "1 1") + "x\t1\n" + row(5, 6, 7, "1 1")
                                + "99999999999\t1\t2\n" + "9\tdad\t2\t0\t0\t0\t1 1\n" + "-4\t1\t2\t0\t0\t0\t1 1\n"
                                + "\n" + row(8, 9, 10, "1 1"));
    EXPECT_EQ(output,
              "Skipping line 2: fewer than two tab-separated fields\n"
              "Skipping line 3: individual id 0 is not a valid id (0 means no father)\n"
              "Skipping line 4: the individual id x is not a number\n"
              "Skipping line 6: a number is too large for a 32-bit integer\n"
              "Skipping line 7: the father id dad is not a number\n"
              "Skipping line 8: the individual id -4 is negative\n"
              "Family ID: 1 Individual IDs: 5\t6\t7\t\n"
              "\n");
}

TEST(ErrorScreening, AMemberWithFewerLociIsUntypedAtTheLociItLacks)
{
    TempDir dir;
    // Father 3 has one locus; at the second his parents answer for him.
    std::string output = screen(row(1, 0, 0, "4 4 7 7") + row(2, 0, 0, "2 2 8 8") + row(3, 1, 2, "4 2")
                                + row(4, 0, 0, "5 5 6 6") + row(5, 3, 4, "4 5 9 6"));
    EXPECT_NE(output.find("\n\nFamily ID: 1 individual: 5 at locus 2 allele 9 is likely an error\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("locus 1"), std::string::npos) << output;
}

TEST(ErrorScreening, ADescendantReachedTwiceCountsOnceAndAsATypedChild)
{
    TempDir dir;
    // 6 is a child of 3 and of 3's untyped daughter 4.
    std::string output = screen(row(1, 0, 0, "1 1") + row(2, 0, 0, "2 2") + row(3, 1, 2, "1 3")
                                + row(5, 0, 0, "2 2") + row(4, 3, 5, "0 0") + row(6, 3, 4, "3 3"));
    EXPECT_NE(output.find("individual: 3 at locus 1 allele 3 is likely a mutation with score 1\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("individual: 6"), std::string::npos) << output;
}

TEST(ErrorScreening, FilesThatCannotBeOpenedOrCreatedEndTheRunWithStatusOne)
{
    TempDir dir;
    test::RunResult missing = test::runTavirlen({"-e", "absent.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors, "Cannot open input file: absent.txt\n");

    writeFile("in.txt", header + row(1, 0, 0, "1 1"));
    std::filesystem::create_directory("in.mrh");
    test::RunResult blocked = test::runTavirlen({"-e", "in.txt"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.errors, "Cannot create result file: in.mrh (Is a directory)\n");
    EXPECT_EQ(blocked.output, "");

    writeFile("x.inb", header);
    EXPECT_EQ(test::runTavirlen({"-e", "x.inb"}).status, 1);
    EXPECT_EQ(readFile("x.inb"), header);
}

TEST(ScreeningInput, LeadingFieldsAreTabSeparatedAndAllelesBlankOrTabSeparated)
{
    std::istringstream input(header + "3\t1\t2\ta\tb\tc\t1\t2 3  4\t5\n" + "4\t1\t\t\n" + "5\t1\t2\t0\t0\t0\t6 7\r\n");
    std::ostringstream messages;
    ScreeningInput data = readScreeningInput(input, messages);
    EXPECT_EQ(messages.str(), "");
    ASSERT_EQ(data.individuals.size(), 3u);
    const Individual& three = data.individuals.at(3);
    ASSERT_EQ(three.genotypes.size(), 2u); // the odd fifth allele is dropped
    EXPECT_EQ(three.genotypes[1].allele1, 3);
    EXPECT_EQ(three.genotypes[1].allele2, 4);
    EXPECT_EQ(three.genotypes[0].paternalSource, -1);
    EXPECT_EQ(data.individuals.at(4).motherId, 2000);
    EXPECT_TRUE(data.individuals.at(4).genotypes.empty());
    EXPECT_EQ(data.locusCount, 1); // the last line's
    ASSERT_EQ(data.idSets.size(), 3u);
    EXPECT_EQ(data.idSets[1], (std::array<int, 3>{4, 1, 2000}));
}

// The grouping as first described: from the last set down, each set merges
// into the nearest earlier set it shares an id with.
std::vector<std::set<int>> mergeDownwards(const std::vector<std::array<int, 3>>& idSets)
{
    std::vector<std::set<int>> sets;
    for (const auto& ids : idSets) sets.emplace_back(ids.begin(), ids.end());
    for (std::size_t i = sets.size(); i-- > 1;) {
        for (std::size_t j = i; j-- > 0;) {
            bool shared = std::any_of(sets[i].begin(), sets[i].end(), [&](int id) { return sets[j].count(id); });
            if (!shared) continue;
            sets[j].insert(sets[i].begin(), sets[i].end());
            sets.erase(sets.begin() + static_cast<long>(i));
            break;
        }
    }
    return sets;
}

TEST(ScreeningInput, FamiliesAreTheGroupsOfLinesLinkedBySharedIdsInOrderOfTheirFirstLine)
{
    EXPECT_EQ(formFamilies({{10, 11, 12}, {20, 21, 22}, {30, 31, 32}, {12, 30, 40}}),
              (std::vector<std::set<int>>{{10, 11, 12, 30, 31, 32, 40}, {20, 21, 22}}));
    EXPECT_TRUE(formFamilies({}).empty());

    std::mt19937 random(7);
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<std::array<int, 3>> idSets(random() % 12);
        for (auto& ids : idSets)
            for (int& id : ids) id = static_cast<int>(random() % 20);
        EXPECT_EQ(formFamilies(idSets), mergeDownwards(idSets)) << "trial " << trial;
    }
}

} // namespace
} // namespace tavirlen
