#include "pedigree/PedigreeReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace tavirlen {
namespace {

using test::readFamilies;
using test::readFamily;

std::vector<std::pair<int, int>> loci(const Individual& m)
{
    std::vector<std::pair<int, int>> pairs;
    for (const GenotypeRecord& g : m.genotypes) pairs.push_back({g.allele1, g.allele2});
    return pairs;
}

TEST(Reader, HeaderColumnsDependOnTheMode)
{
    const std::string line = "1 2 0 0 1 0 0 1 2 3 4\n";
    auto seven = readFamily(line, 7, false);
    const Individual& a = seven->members.at(2);
    EXPECT_EQ(a.familyId, 1);
    EXPECT_EQ(a.sex, 1);
    EXPECT_EQ(loci(a), (std::vector<std::pair<int, int>>{{1, 2}, {3, 4}}));
    EXPECT_EQ(a.genotypes[0].paternalSource, 0);
    EXPECT_EQ(a.genotypes[0].maternalSource, 0);
    EXPECT_EQ(a.missingAlleleCount, 0);

    // Seven-column lines read with six: an odd number of allele fields is
    // the sign of it, and the family is not read shifted by one field.
    auto six = readFamily(line, 6, false);
    EXPECT_EQ(six->readProblem, "line 1 has 5 allele fields, an odd number: does the file have the header columns "
                                "this mode reads (b: 7, t: 6)?");

    auto five = readFamily(line, 5, false);
    EXPECT_EQ(loci(five->members.at(2)), (std::vector<std::pair<int, int>>{{0, 0}, {1, 2}, {3, 4}}));
    EXPECT_EQ(five->locusCount, 3);
}

TEST(Reader, MixedSeparatorsAndCarriageReturns)
{
    auto plain = readFamily("1 2 0 0 1 0 0 1 2 3 4\n", 7, false);
    auto mixed = readFamily(" 1,2\t0 0,1 , 0\t0,\t1 2 3\t 4 ,\r\n", 7, false);
    EXPECT_EQ(loci(plain->members.at(2)), loci(mixed->members.at(2)));
    EXPECT_EQ(mixed->members.at(2).individualId, 2);
}

TEST(Reader, NonFounderRecordsStartUndeterminedAndZeroCountsAsMissing)
{
    auto p = readFamily("1 3 1 2 2 0 0 0 5 -1 -1\n", 7, false);
    const Individual& m = p->members.at(3);
    EXPECT_EQ(m.genotypes[0].paternalSource, -1);
    EXPECT_EQ(m.genotypes[1].maternalSource, -1);
    // A negative allele is not counted as missing here.
    EXPECT_EQ(m.missingAlleleCount, 1);
    EXPECT_FALSE(m.genotypes[0].phased);
}

// Base letters are alleles; any other text is not, and is never read as one.
TEST(Reader, BaseLettersAreAllelesAndOtherTextIsAProblem)
{
    auto letters = readFamily("1 2 0 0 1 0 0 A c g T N . - 0 7 8\n", 7, false);
    EXPECT_EQ(loci(letters->members.at(2)), (std::vector<std::pair<int, int>>{{1, 2}, {3, 4}, {0, 0}, {0, 0}, {7, 8}}));
    EXPECT_EQ(letters->members.at(2).missingAlleleCount, 4);
    EXPECT_TRUE(letters->readProblem.empty());
    for (const char* bad : {"abc", "12x", "1.5", "AC"}) {
        auto p = readFamily("1 1 0 0 1 0 0 1 1\n1 2 0 0 1 0 0 7 8 " + std::string(bad) + " 9\n", 7, false);
        EXPECT_EQ(p->readProblem, "line 2 field 10 has \"" + std::string(bad) + "\", which is not an allele");
    }
}

// Text ids get numbers after the family's numeric ids, in order of first
// appearance, and keep their text; numeric files are read as before.
TEST(Reader, TextIdsAreNumberedAfterTheNumericOnesAndKeepTheirText)
{
    auto families = readFamilies("F1 kid 7 mum 1 0 0 1 1\nF1 7 0 0 1 0 0 1 1\nF1 mum 0 0 2 0 0 1 1\n"
                                 "2 1 0 0 1 0 0 1 1\nF1 x 0 0 1 0 0 1 1\n");
    ASSERT_EQ(families.size(), 3u);
    const Pedigree& f1 = *families[0];
    EXPECT_EQ(f1.familyText(), "F1");
    EXPECT_GT(f1.familyId, families[1]->familyId);
    EXPECT_EQ(families[2]->familyId, f1.familyId);
    std::vector<std::string> order;
    for (const auto& [id, m] : f1.members) order.push_back(f1.idText(id));
    EXPECT_EQ(order, (std::vector<std::string>{"7", "kid", "mum"}));
    const Individual& kid = f1.members.at(8);
    EXPECT_EQ(kid.fatherId, 7);
    EXPECT_EQ(f1.idText(kid.motherId), "mum");
    EXPECT_TRUE(families[1]->idNames.empty());
    EXPECT_EQ(families[1]->familyText(), "2");
}

// A padded id keeps its text and never merges with the number it spells;
// zeros alone still mean "no parent".
TEST(Reader, PaddedIdsAreTextAndZerosAloneAreNoParent)
{
    auto families = readFamilies("007 01 00 000 1 0 0 1 1\n007 1 0 0 2 0 0 1 1\n007 +2 01 1 1 0 0 1 1\n"
                                 "7 1 0 0 1 0 0 1 1\n");
    ASSERT_EQ(families.size(), 2u);
    const Pedigree& f = *families[0];
    EXPECT_EQ(f.familyText() + " " + families[1]->familyText(), "007 7");
    ASSERT_EQ(f.members.size(), 3u);
    EXPECT_TRUE(f.members.at(2).isFounder());
    EXPECT_EQ(f.idText(3) + " of " + f.idText(f.members.at(3).fatherId), "+2 of 01");
    EXPECT_EQ(f.members.at(3).motherId, 1);
}

TEST(Reader, GroupsConsecutiveLinesOnly)
{
    auto families = readFamilies("5 1 0 0 1 0 0 1 1\n5 2 0 0 2 0 0 1 1\n7 1 0 0 1 0 0 1 1\n"
                                 "5 3 0 0 1 0 0 1 1\n");
    ASSERT_EQ(families.size(), 3u);
    EXPECT_EQ(families[0]->familyId, 5);
    EXPECT_EQ(families[0]->members.size(), 2u);
    EXPECT_EQ(families[1]->familyId, 7);
    EXPECT_EQ(families[2]->familyId, 5);
    EXPECT_EQ(families[2]->members.begin()->first, 3);
}

TEST(Reader, BlankLineEndsTheInput)
{
    auto families = readFamilies("1 1 0 0 1 0 0 1 1\n\n2 1 0 0 1 0 0 1 1\n");
    EXPECT_EQ(families.size(), 1u);
    families = readFamilies("1 1 0 0 1 0 0 1 1\n \t,\r\n2 1 0 0 1 0 0 1 1\n");
    EXPECT_EQ(families.size(), 1u);
    EXPECT_TRUE(readFamilies("\n1 1 0 0 1 0 0 1 1\n").empty());
}

TEST(Reader, RepeatedIdKeepsTheLaterLineAndMembersAreInIdOrder)
{
    auto p = readFamily("1 9 0 0 1 0 0 1 1\n1 3 0 0 2 0 0 2 2\n1 9 0 0 2 0 0 4 4\n", 7, false);
    ASSERT_EQ(p->members.size(), 2u);
    EXPECT_EQ(p->members.begin()->first, 3);
    EXPECT_EQ(p->members.at(9).genotypes[0].allele1, 4);
    EXPECT_EQ(p->members.at(3).memberIndex, 1);
    EXPECT_EQ(p->members.at(9).memberIndex, 2);
}

TEST(Reader, MemberIndexRestartsWithEveryPedigree)
{
    auto families = readFamilies("1 1 0 0 1 0 0 1 1\n1 2 0 0 1 0 0 1 1\n2 5 0 0 1 0 0 1 1\n");
    EXPECT_EQ(families[0]->members.at(2).memberIndex, 1);
    EXPECT_EQ(families[1]->members.at(5).memberIndex, 0);
}

TEST(Reader, FirstLineAlwaysStartsAFamily)
{
    auto families = readFamilies("-1 1 0 0 1 0 0 1 1\n-1 2 0 0 1 0 0 1 1\n3 1 0 0 1 0 0 1 1\n");
    ASSERT_EQ(families.size(), 2u);
    EXPECT_EQ(families[0]->familyId, -1);
    EXPECT_EQ(families[0]->members.size(), 2u);

    families = readFamilies("fam 1 0 0 1 0 0 1 1\nfam 2 0 0 1 0 0 1 1\n");
    ASSERT_EQ(families.size(), 1u);
    EXPECT_EQ(families[0]->members.size(), 2u);
}

TEST(Reader, LongLinesAreReadWhole)
{
    std::string line = "1 1 0 0 1 0 0";
    for (int k = 0; k < 3000; ++k) line += " 1 2";
    line += " 7 8\n";
    auto p = readFamily(line, 7, false);
    EXPECT_EQ(p->locusCount, 3001);
    EXPECT_EQ(p->members.at(1).genotypes.back().allele1, 7);
}

TEST(Reader, MalformedLinesAreNotedForTheFamilyCheck)
{
    auto shortLine = readFamily("1 4 0 0\n", 7, false);
    EXPECT_EQ(shortLine->readProblem, "the line of individual 4 has 4 fields, fewer than the 7 header columns");
    auto overflow = readFamily("1 4 0 0 1 0 0 99999999999 1\n", 7, false);
    EXPECT_EQ(overflow->readProblem, "a number on the line of individual 4 is too large for a 32-bit integer");
    // Digits beyond 32 bits in an id are an id all the same, kept as text.
    auto longId = readFamily("4294967296 4 0 0 1 0 0 1 1\n", 7, false);
    EXPECT_EQ(longId->familyText(), "4294967296");
    EXPECT_TRUE(longId->readProblem.empty());
    EXPECT_TRUE(readFamily("1 4 0 0 1 0 0 1 1\n", 7, false)->readProblem.empty());
    // The sex is not an id: a text there keeps 0 and is shown as female.
    EXPECT_TRUE(readFamily("1 4 0 0 f 0 0 1 1\n", 7, false)->readProblem.empty());
}

TEST(ParseDecimal, BehavesLikePercentDWithoutOverflow)
{
    int v = 5;
    EXPECT_EQ(parseDecimal("-12x", v), ParseStatus::parsed);
    EXPECT_EQ(v, -12);
    EXPECT_EQ(parseDecimal("+7", v), ParseStatus::parsed);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(parseDecimal("x1", v), ParseStatus::noNumber);
    EXPECT_EQ(parseDecimal("-", v), ParseStatus::noNumber);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(parseDecimal("2147483647", v), ParseStatus::parsed);
    EXPECT_EQ(v, INT_MAX);
    EXPECT_EQ(parseDecimal("-2147483648", v), ParseStatus::parsed);
    EXPECT_EQ(v, INT_MIN);
    EXPECT_EQ(parseDecimal("2147483648", v), ParseStatus::overflow);
    EXPECT_EQ(parseDecimal("-99999999999999999999999", v), ParseStatus::overflow);
    EXPECT_EQ(v, INT_MIN);
}

} // namespace
} // namespace tavirlen
