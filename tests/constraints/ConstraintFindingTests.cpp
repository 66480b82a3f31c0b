#include "constraints/ConstraintFinding.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace tavirlen {
namespace {

struct Written {
    int result = 0;
    std::string dat;
    std::string res;
    std::string out;
};

Written runOn(Pedigree& pedigree)
{
    Written w;
    std::ostringstream dat;
    std::ostringstream res;
    std::FILE* out = std::tmpfile();
    w.result = runConstraintFinding(pedigree, dat, res, out);
    std::fflush(out);
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) w.out += static_cast<char>(c);
    std::fclose(out);
    w.dat = dat.str();
    w.res = res.str();
    return w;
}

Written runOn(const std::string& lines)
{
    auto pedigree = test::readFamily(lines);
    return runOn(*pedigree);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

const std::string trio = "1 1 0 0 1 0 0 1 2 1 2\n"
                         "1 2 0 0 2 0 0 1 1 1 1\n"
                         "1 3 1 2 1 0 0 1 1 1 2\n";

TEST(ChildPhaseFromParents, DecidesTheOrderOnlyWhenOneParentCannotGiveAnAllele)
{
    EXPECT_EQ(childPhaseFromParents(1, 2, 1, 1, 1, 2), 1);   // the 2 must be paternal
    EXPECT_EQ(childPhaseFromParents(1, 1, 1, 2, 1, 2), 0);   // the 2 must be maternal
    EXPECT_EQ(childPhaseFromParents(1, 2, 1, 2, 1, 2), -1);  // both orders fit
    EXPECT_EQ(childPhaseFromParents(1, 2, 3, 4, 1, 1), -2);  // no 1 from the mother
    EXPECT_EQ(childPhaseFromParents(1, 2, 1, 3, 1, 1), 0);   // homozygous: no choice
    EXPECT_EQ(childPhaseFromParents(7, 8, 5, 6, 5, 8), 1);   // multi-allelic codes
    // A missing allele is a code like any other.
    EXPECT_EQ(childPhaseFromParents(1, 2, 1, 1, 0, 0), -2);
    EXPECT_EQ(childPhaseFromParents(0, 0, 0, 0, 0, 0), 0);
}

// Variables: father at 0..1, mother at 2..3, child at 4..5.
Trio trioOf(const Pedigree& pedigree)
{
    Trio t;
    t.father = pedigree.member(1);
    t.mother = pedigree.member(2);
    t.child = pedigree.member(3);
    t.fatherBase = 0;
    t.motherBase = 2;
    t.childBase = 4;
    return t;
}

TEST(TransmissionEquations, GiveTheHeterozygousParentsEquations)
{
    // Father only: f0 + f1 + c1 = 0 (the child's 1 at locus 0 is his smaller
    // allele; at locus 1 the child's phase says which allele he gave).
    auto pedigree = test::readFamily(trio);
    auto equations = transmissionEquations(trioOf(*pedigree), 0, 1);
    ASSERT_TRUE(equations);
    ASSERT_EQ(equations->size(), 1u);
    EXPECT_EQ((*equations)[0].variables, (std::vector<int>{0, 1, 5}));
    EXPECT_EQ((*equations)[0].constant, 0);

    // Both parents: father f0 + f1 + c0 = 0 + 1, mother m0 + m1 + c0 = 1 + 1;
    // their sum comes first, where the child's variable cancels.
    pedigree = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n"
                                "1 2 0 0 2 0 0 1 2 1 2\n"
                                "1 3 1 2 1 0 0 1 2 2 2\n");
    equations = transmissionEquations(trioOf(*pedigree), 0, 1);
    ASSERT_TRUE(equations);
    ASSERT_EQ(equations->size(), 2u);
    EXPECT_EQ((*equations)[0].variables, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ((*equations)[0].constant, 1);
    EXPECT_EQ((*equations)[1].variables, (std::vector<int>{0, 1, 4}));
    EXPECT_EQ((*equations)[1].constant, 1);

    // A child that cannot be formed from its parents.
    pedigree = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n"
                                "1 2 0 0 2 0 0 1 1 1 1\n"
                                "1 3 1 2 1 0 0 1 1 2 2\n");
    EXPECT_FALSE(transmissionEquations(trioOf(*pedigree), 0, 1));
}

TEST(ConstraintFinding, TrioHasExactlyOneConfiguration)
{
    auto pedigree = test::readFamily(trio);
    Written w = runOn(*pedigree);
    EXPECT_EQ(w.result, 1);
    const GenotypeRecord& f0 = pedigree->member(1)->genotypes[0];
    const GenotypeRecord& f1 = pedigree->member(1)->genotypes[1];
    const GenotypeRecord& c1 = pedigree->member(3)->genotypes[1];
    EXPECT_EQ(std::make_pair(f0.allele1, f0.allele2), std::make_pair(1, 2));
    EXPECT_EQ(std::make_pair(f1.allele1, f1.allele2), std::make_pair(2, 1));
    EXPECT_EQ(std::make_pair(c1.allele1, c1.allele2), std::make_pair(2, 1));
    EXPECT_EQ(pedigree->recombinantCount, 0);
}

TEST(ConstraintFinding, NoSolutionWritesNothing)
{
    // The child's missing locus is compared as the code 0.
    Written missing = runOn("1 1 0 0 1 0 0 1 2 1 2\n"
                            "1 2 0 0 2 0 0 1 1 1 1\n"
                            "1 3 1 2 1 0 0 1 1 0 0\n");
    // Two children who took different haplotype pieces from their father.
    Written contradictory = runOn("1 1 0 0 1 0 0 1 2 1 2\n"
                                  "1 2 0 0 2 0 0 1 1 1 1\n"
                                  "1 3 1 2 1 0 0 1 1 1 1\n"
                                  "1 4 1 2 2 0 0 1 1 1 2\n");
    for (const Written& w : {missing, contradictory}) {
        EXPECT_EQ(w.result, -1);
        EXPECT_EQ(w.dat + w.res + w.out, "");
    }
}

TEST(ConstraintFinding, UnrelatedFoundersEnumerateEveryFreeVariable)
{
    auto pedigree = test::readFamily("7 1 0 0 1 0 0 1 2 3 4 5 6\n"
                                     "7 2 0 0 2 0 0 2 1 4 3 6 5\n"
                                     "7 3 0 0 1 0 0 1 3 1 3 1 3\n");
    Written w = runOn(*pedigree);
    ASSERT_EQ(w.result, 64);
    std::vector<std::string> res = lines(w.res);
    ASSERT_EQ(res.size(), 64u);
    for (const std::string& line : res) EXPECT_EQ(line.substr(0, 5), "7\t 0\t");
    // Every configuration is different, and each founder keeps its first
    // locus in ascending order.
    std::vector<std::string> out = lines(w.out);
    ASSERT_EQ(out.size(), 3u * 64u);
    std::set<std::string> configurations;
    for (std::size_t k = 0; k < out.size(); k += 3) {
        configurations.insert(out[k] + out[k + 1] + out[k + 2]);
        EXPECT_EQ(out[k].substr(14, 4), "1|2\t");
        EXPECT_EQ(out[k + 1].substr(14, 4), "1|2\t");
        EXPECT_EQ(out[k + 2].substr(14, 4), "1|3\t");
    }
    EXPECT_EQ(configurations.size(), 64u);
    // The least significant bit goes to the smallest free variable: founder 1
    // at locus 1 changes first.
    EXPECT_EQ(out[0].substr(14, 12), "1|2\t3|4\t5|6\t");
    EXPECT_EQ(out[3].substr(14, 12), "1|2\t4|3\t5|6\t");
}

TEST(ConstraintFinding, UntypedFirstLocusTakesTheFoundersFixing)
{
    const std::string others = "7 2 0 0 2 0 0 1 2 1 2\n"
                               "7 3 0 0 1 0 0 1 2 1 2\n";
    Written typed = runOn("7 1 0 0 1 0 0 1 1 1 2\n" + others);
    Written untyped = runOn("7 1 0 0 1 0 0 0 0 1 2\n" + others);
    EXPECT_EQ(typed.result, 4);
    EXPECT_EQ(untyped.result, 8);
}

TEST(ConstraintFinding, MultiAllelicFatherKeepsOneHaplotype)
{
    // The child took 1 and 3, the father's smaller alleles at both loci: he is
    // 1|2 then 3|4. Comparing codes across loci would give 1|2 then 4|3, a
    // recombinant.
    auto pedigree = test::readFamily("5 1 0 0 1 0 0 2 1 4 3\n"
                                     "5 2 0 0 2 0 0 1 1 3 3\n"
                                     "5 3 1 2 2 0 0 1 1 3 3\n");
    EXPECT_EQ(runOn(*pedigree).result, 1);
    EXPECT_EQ(pedigree->member(1)->genotypes[1].allele1, 3);
    EXPECT_EQ(pedigree->recombinantCount, 0);

    // Both parents heterozygous with four codes each; the child's phase is
    // forced and every parent's order follows from it.
    pedigree = test::readFamily("5 1 0 0 1 0 0 1 2 5 6\n"
                                "5 2 0 0 2 0 0 2 3 6 7\n"
                                "5 3 1 2 2 0 0 1 2 6 7\n");
    EXPECT_EQ(runOn(*pedigree).result, 1);
    EXPECT_EQ(pedigree->member(1)->genotypes[1].allele1, 6);
    EXPECT_EQ(pedigree->member(2)->genotypes[1].allele1, 7);
    EXPECT_EQ(pedigree->recombinantCount, 0);
}

TEST(ConstraintFinding, RepeatedIdLeavesNoGapInTheVariables)
{
    // The first line of member 3 is replaced by the later one, so the members'
    // creation indices are 0, 1 and 3.
    auto repeated = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n"
                                     "1 2 0 0 2 0 0 1 1 1 1\n"
                                     "1 3 1 2 1 0 0 2 2 2 2\n"
                                     "1 3 1 2 1 0 0 1 1 1 2\n");
    ASSERT_EQ(repeated->member(3)->memberIndex, 3);
    Written gap = runOn(*repeated);
    Written plain = runOn(trio);
    EXPECT_EQ(gap.result, 1);
    EXPECT_EQ(gap.dat, plain.dat);
    EXPECT_EQ(gap.out, plain.out);
    EXPECT_EQ(test::maskTimes(gap.res), test::maskTimes(plain.res));
}

std::string heterozygousFounder(int id, int loci)
{
    std::string line = "9 " + std::to_string(id) + " 0 0 1 0 0";
    for (int l = 0; l < loci; ++l) line += " 1 2";
    return line + "\n";
}

TEST(ConstraintFinding, BeyondTheCapOnlyTheFirstConfigurationsAreWritten)
{
    std::ostream discard(nullptr);
    std::FILE* out = std::fopen("/dev/null", "w");
    ASSERT_NE(out, nullptr);
    auto atBound = test::readFamily(heterozygousFounder(1, 17));
    EXPECT_EQ(runConstraintFinding(*atBound, discard, discard, out), defaultMaxConfigurations);
    std::fclose(out);

    auto beyond = test::readFamily(heterozygousFounder(1, 18));
    std::ostringstream dat, res;
    std::FILE* kept = std::tmpfile();
    testing::internal::CaptureStdout();
    int freeCount = 0;
    EXPECT_EQ(runConstraintFinding(*beyond, dat, res, kept, 3, &freeCount), 3);
    std::string printed = testing::internal::GetCapturedStdout();
    std::fclose(kept);
    const std::string line = "Pedigree 9 has 2^17 zero recombinant configurations, more than 3; "
                             "only the first 3 were written.\n";
    EXPECT_EQ(freeCount, 17);
    EXPECT_EQ(printed, line);
    EXPECT_EQ(test::maskTimes(res.str()), line + "9\t 0\t <time>\n9\t 0\t <time>\n9\t 0\t <time>\n");
}

TEST(ConstraintFindingMode, WritesEveryFamilyOrItsNoSolutionLine)
{
    test::TempDir dir;
    test::writeFile("families.txt", test::readFile(test::testDataPath("constraints/families.txt")));
    test::RunResult run = test::runTavirlen({"-c", "families.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(test::readFile("families.dat"), test::readFile(test::testDataPath("constraints/families.dat")));
    EXPECT_EQ(test::readFile("families.out"), test::readFile(test::testDataPath("constraints/families.out")));
    EXPECT_EQ(test::maskTimes(test::readFile("families.res")),
              test::readFile(test::testDataPath("constraints/families.res")));
}

TEST(ConstraintFindingMode, FamilyBeyondTheCapGetsOneLineAndItsFirstConfigurations)
{
    test::TempDir dir;
    std::string input;
    for (int id = 1; id <= 3; ++id) input += heterozygousFounder(id, 7);
    test::writeFile("many.txt", input);
    test::RunResult run = test::runTavirlen({"-c", "many.txt", "--max-solutions", "2"});
    const std::string line = "Pedigree 9 has 2^18 zero recombinant configurations, more than 2; "
                             "only the first 2 were written.\n";
    EXPECT_EQ(run.output, line);
    EXPECT_EQ(test::maskTimes(test::readFile("many.res")), "Family\t # of Rec\t Time used(Sec)\n" + line
                  + "9\t 0\t <time>\n9\t 0\t <time>\nTotal Time used(Sec):\t<time>\n\n");
    EXPECT_NE(test::readFile("many.summary.tsv").find("9\t3\t7\tphased\t\tc\tconstraint finding\t0\tyes\t2\t262144\t"),
              std::string::npos);
}

} // namespace
} // namespace tavirlen
