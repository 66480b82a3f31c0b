#include "ExactTestSupport.h"

#include "exact/ExactEngine.h"
#include "memberdp/MemberDP.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

using test::Shape;

const Shape shapes[] = {Shape::nuclear, Shape::threeGenerations, Shape::halfSiblings, Shape::loop};

// Solves a copy and checks what it wrote. Searching the possible vectors
// again on the way back instead of keeping them must write the same; solving
// the written configuration again (its filled alleles now read as typed)
// must not change the optimum.
ExactResult solveAndCheck(const Pedigree& input)
{
    Pedigree solved = input, searchedAgain = input;
    ExactResult result = solveExactly(solved);
    if (result.status != ExactStatus::solved) return result;
    test::expectSoundPhase(input, solved, result.recombinants);
    ExactLimits lean;
    lean.keptVectorBytes = 0;
    lean.countConfigurations = false;
    solveExactly(searchedAgain, lean);
    for (const auto& [id, m] : solved.members)
        for (std::size_t l = 0; l < m.genotypes.size(); ++l) {
            const GenotypeRecord &a = m.genotypes[l], &b = searchedAgain.members.at(id).genotypes[l];
            EXPECT_TRUE(a.allele1 == b.allele1 && a.allele2 == b.allele2 && a.paternalSource == b.paternalSource
                        && a.maternalSource == b.maternalSource) << id << " " << l;
        }
    EXPECT_EQ(solveExactly(solved, lean).recombinants, result.recombinants);
    return result;
}

TEST(ExactEngine, EqualsAnExhaustiveSearchOnTinyFamilies)
{
    seedRandom(11);
    for (int round = 0; round < 120; ++round) {
        // Up to 12 bits; some families get a typing error.
        const Shape shape = shapes[round % 4];
        const int children = 2 + rand() % (shape == Shape::nuclear ? 5 : 2);
        std::string text = test::exactFamilyText(round + 1, shape, children, 2 + rand() % 4, 2 + rand() % 3,
                                                 5 + rand() % 26, round % 3);
        auto family = test::readFamily(text);
        test::Reference reference = test::exhaustiveReference(*family);
        ExactResult result = solveAndCheck(*family);
        ASSERT_EQ(result.status, reference.possible ? ExactStatus::solved : ExactStatus::inconsistent) << text;
        if (!reference.possible) continue;
        EXPECT_EQ(result.recombinants, reference.optimum) << text;
        EXPECT_EQ(result.configurations, reference.configurations) << text;
    }
}

TEST(ExactEngine, EqualsModeMOnCompleteData)
{
    seedRandom(23);
    for (int round = 0; round < 40; ++round) {
        const Shape shape = shapes[round % 4];
        // Within mode m's 20 state bits (3 per non-founder, 1 per founder).
        std::string text = test::exactFamilyText(round + 1, shape, shape == Shape::nuclear ? 5 : 2, 5 + rand() % 10,
                                                 2 + rand() % 4, 0);
        auto family = test::readFamily(text);
        ExactResult result = solveAndCheck(*family);
        ASSERT_EQ(result.status, ExactStatus::solved) << text;

        std::FILE* out = std::tmpfile();
        std::ostringstream dat, res;
        Pedigree byModeM = *family;
        solveByMemberDP(byModeM, out, dat, res);
        std::fclose(out);
        EXPECT_EQ(result.recombinants, byModeM.recombinantCount) << text;
    }
}

// Mode i's optimum on a handful of small families with missing genotypes
// (slow: the solver runs once per family).
TEST(ExactEngine, EqualsModeIWithMissingGenotypes)
{
    seedRandom(5);
    std::string text;
    for (int f = 1; f <= 6; ++f)
        text += test::exactFamilyText(f, shapes[f % 4], 2, 3 + rand() % 3, 3, 10 + 3 * f);
    test::TempDir dir;
    test::writeFile("fam.txt", text);
    test::runTavirlen({"-i", "fam.txt"});
    std::map<int, int> byModeI;
    std::istringstream res(test::readFile("fam.res"));
    for (std::string line; std::getline(res, line);) {
        long long solutions = 0, solution = 0;
        int familyId = 0, recombinants = 0;
        if (std::istringstream(line) >> solutions >> solution >> familyId >> recombinants) byModeI[familyId] = recombinants;
    }
    ASSERT_EQ(byModeI.size(), 6u) << test::readFile("fam.res");
    for (const auto& family : test::readFamilies(text)) {
        family->finalise();
        family->prepare();
        EXPECT_EQ(solveAndCheck(*family).recombinants, byModeI[family->familyId]) << family->familyId;
    }
}

TEST(ExactEngine, NamesTheLocusAndMemberWhereNoInheritanceFits)
{
    // At locus 1 children 3/4 and 5/6 of untyped parents fit; a third child
    // with none of their alleles cannot: two of the three would share a gene
    // of their father.
    auto family = test::readFamily("1 1 0 0 1 0 0  1 1  0 0\n"
                                   "1 2 0 0 2 0 0  1 1  0 0\n"
                                   "1 3 1 2 1 0 0  1 1  3 4\n"
                                   "1 4 1 2 2 0 0  1 1  5 6\n"
                                   "1 5 1 2 2 0 0  1 1  1 2\n");
    Pedigree before = *family;
    ExactResult result = solveExactly(*family);
    EXPECT_EQ(result.status, ExactStatus::inconsistent);
    EXPECT_FALSE(result.optimal);
    EXPECT_EQ(result.locus, 1);
    EXPECT_EQ(result.memberId, 5);
    EXPECT_EQ(result.reason, "family 1 has no possible inheritance at locus 1 (Mendelian inconsistency at member 5)");
    EXPECT_EQ(family->members.at(5).genotypes[1].allele1, before.members.at(5).genotypes[1].allele1);
}

TEST(ExactEngine, RefusesFamiliesBeyondItsLimitsWithoutTrying)
{
    std::string text = "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 3 4\n";
    for (int c = 3; c <= 15; ++c) text += "1 " + std::to_string(c) + " 1 2 1 0 0 1 3\n";
    auto family = test::readFamily(text);
    ExactResult result = solveExactly(*family);
    EXPECT_EQ(result.status, ExactStatus::tooBig);
    EXPECT_EQ(result.bits, 26);
    EXPECT_EQ(result.reason, "family 1 has 26 inheritance bits, more than 24");
    EXPECT_FALSE(family->members.at(3).genotypes[0].phased);
    ExactLimits wider;
    wider.maximumBits = 26;
    wider.maximumNonFounders = 13;
    EXPECT_TRUE(fitsExactLimits(*family, wider));
}

// The written phase of families with untyped and half-typed members: alleles
// filled where the founder gene's value is forced, 0 where it is not; in
// family 3 the children's sources at the untyped locus carry the four
// recombinants the data forces there.
TEST(ExactEngine, WritesTheExpectedPhase)
{
    std::string input = test::readFile(test::testDataPath("exact/missing.txt"));
    test::TempDir dir;
    std::FILE* out = std::fopen("missing.out", "w");
    for (auto& family : test::readFamilies(input)) {
        family->finalise();
        family->prepare();
        ASSERT_EQ(solveExactly(*family).status, ExactStatus::solved);
        family->writeOut(out);
    }
    std::fclose(out);
    EXPECT_EQ(test::readFile("missing.out"), test::readFile(test::testDataPath("exact/missing.out")));
}

// Every family of the real data sets that fits is solved and written
// soundly; the two of linkped.pre (untyped parents, five children) also equal
// the exhaustive search.
TEST(ExactEngine, SolvesRealFamilies)
{
    const std::string folder = std::string(TAVIRLEN_REALDATA) + "/";
    std::string chr5 = test::readFile(folder + "MathematicalMedicine__kelvin__chr5.pre");
    std::string linkped = test::readFile(folder + "cran__gap__linkped.pre");
    if (chr5.empty() || linkped.empty()) GTEST_SKIP() << "no real data";
    int solved = 0;
    for (bool small : {false, true}) {
        for (const auto& family : test::readFamilies(small ? linkped : chr5, 6)) {
            family->finalise();
            family->prepare();
            if (!fitsExactLimits(*family, ExactLimits())) continue;
            ExactResult result = solveAndCheck(*family);
            solved += result.status == ExactStatus::solved;
            if (small) {
                EXPECT_EQ(result.recombinants, test::exhaustiveReference(*family).optimum);
            }
        }
    }
    EXPECT_GT(solved, 400);
}

} // namespace
} // namespace tavirlen
