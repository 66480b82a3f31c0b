// The pipeline and the filling of missing alleles.
#include "PhasingTestSupport.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavirlen {
namespace {

using test::loci;
using test::readFamily;

constexpr double scale = 3.051850947599719e-5;

// The value the generator yields after `skipped` draws from `seed`.
int drawAfter(unsigned seed, int skipped)
{
    seedRandom(seed);
    for (int i = 0; i < skipped; ++i) tavirlen::rand();
    return tavirlen::rand();
}

TEST(RunBlockExtension, AMendelianInconsistencyLeavesTheFamilyAsReadAndDrawsNothing)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 0 0\n"
                        "1 2 0 0 2 0 0 3 4 5 5\n"
                        "1 3 1 2 1 0 0 1 5 1 5\n");
    const std::string before = loci(*p, 1) + loci(*p, 2) + loci(*p, 3);
    seedRandom(5);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(runBlockExtension(*p));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
              "at Locus: 0 with genotyes: (1,2)\t(3,4)\t(1,5)\n");
    EXPECT_EQ(loci(*p, 1) + loci(*p, 2) + loci(*p, 3), before);
    EXPECT_EQ(p->recombinantCount, 0);
    int next = tavirlen::rand();
    EXPECT_EQ(next, drawAfter(5, 0));
}

TEST(RunBlockExtension, AFamilyOutsideWhatItHandlesIsLeftAlone)
{
    // Member 3 names a father who is not in the family; the batch driver
    // skips such families, a direct call must not read outside the data.
    auto p = readFamily("1 1 0 0 1 0 0 1 2\n"
                        "1 2 0 0 2 0 0 3 4\n"
                        "1 3 9 2 1 0 0 1 3\n");
    EXPECT_FALSE(runBlockExtension(*p));
    EXPECT_EQ(loci(*p, 3), "1 3(-1,-1)");
}

TEST(FillMissingAllelesRandomly, AnUntypedParentIsFilledOnlyWithAllelesItsChildrenAllow)
{
    // Child 5 gives the mother a 5; children 3 and 4 (3,7 like the father)
    // need a 3 or a 7 from her too. Founder frequencies would mostly give her
    // a 9, which nobody could have received.
    for (unsigned seed = 1; seed <= 20; ++seed) {
        DatasetSummary summary;
        summary.addPedigree(readFamily("1 8 0 0 1 0 0 9 9\n1 9 0 0 2 0 0 9 9\n1 10 8 9 1 0 0 9 9\n"));
        Pedigree& p = summary.addPedigree(readFamily("2 1 0 0 1 0 0 3 7\n"
                                                     "2 2 0 0 2 0 0 0 0\n"
                                                     "2 3 1 2 2 0 0 3 7\n"
                                                     "2 4 1 2 1 0 0 3 7\n"
                                                     "2 5 1 2 2 0 0 3 5\n"));
        seedRandom(seed);
        ASSERT_TRUE(runBlockExtension(p));
        const GenotypeRecord& mother = p.member(2)->genotypes[0];
        std::pair<int, int> alleles = std::minmax(mother.allele1, mother.allele2);
        EXPECT_TRUE(alleles == std::make_pair(3, 5) || alleles == std::make_pair(5, 7)) << loci(p, 2);
        EXPECT_EQ(test::writtenFaults(p).unfitAlleles, 0);
    }
}

TEST(RunBlockExtension, MissingAllelesThatNoFillCanReconcileAreAMendelianInconsistency)
{
    // Each trio fits on its own, but the untyped parents would have to pass on
    // 8 and three further alleles.
    auto p = readFamily("5 3 0 0 1 0 0 0 0 1 2\n"
                        "5 4 0 0 2 0 0 0 0 1 2\n"
                        "5 1 3 4 2 0 0 8 3 1 1\n"
                        "5 2 3 4 2 0 0 8 5 2 2\n"
                        "5 10 3 4 1 0 0 8 4 1 2\n");
    const std::string before = loci(*p, 1) + loci(*p, 3);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(runBlockExtension(*p));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Mendel Error: family 5 at Locus: 0 has no genotypes for its missing alleles that fit every child\n");
    EXPECT_EQ(loci(*p, 1) + loci(*p, 3), before);
}

TEST(FillMissingAllelesRandomly, TakesTwoDrawsPerMemberAndLocusEvenWithNothingMissing)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 1\n"
                        "1 2 0 0 2 0 0 3 4 3 4 3 3\n"
                        "1 3 1 2 1 0 0 1 3 1 4 1 3\n"
                        "1 4 1 2 1 0 0 2 3 1 4 1 3\n");
    const std::string before = loci(*p, 3) + loci(*p, 4);
    seedRandom(11);
    inferMissingAlleles(*p);
    EXPECT_EQ(loci(*p, 3) + loci(*p, 4), before);
    int next = tavirlen::rand();
    EXPECT_EQ(next, drawAfter(11, 2 * 4 * 3));
}

TEST(FillMissingAllelesRandomly, FoundersDrawFromFounderFrequenciesAndChildrenFromTheirParents)
{
    // At locus 0 the summary counts alleles 1 (twice), 2 (once), 3 (once)
    // and 0 (twice) over three founders: frequencies 1/2, 1/4, 1/4.
    auto owned = readFamily("1 1 0 0 1 0 0 1 1 5 6\n"
                            "1 2 0 0 2 0 0 2 3 7 8\n"
                            "1 3 0 0 1 0 0 0 0 5 5\n"
                            "1 4 3 2 1 0 0 0 0 0 8\n");
    DatasetSummary summary;
    Pedigree& p = summary.addPedigree(std::move(owned));
    auto founderPick = [](double u) { return u < 0.5 ? 1 : u < 0.75 ? 2 : 3; };
    seedRandom(2024);
    fillMissingAllelesRandomly(p);
    // Draws: founders 1, 2, 3 in id order (two per locus), then member 4.
    double u1 = drawAfter(2024, 8) * scale;
    double u2 = drawAfter(2024, 9) * scale;
    EXPECT_EQ(p.member(3)->genotypes[0].allele1, founderPick(u1));
    EXPECT_EQ(p.member(3)->genotypes[0].allele2, founderPick(u2));
    const GenotypeRecord& mother = p.member(2)->genotypes[0];
    const GenotypeRecord& fatherLocus1 = p.member(3)->genotypes[1];
    const GenotypeRecord& child = p.member(4)->genotypes[0];
    const GenotypeRecord& childLocus1 = p.member(4)->genotypes[1];
    // Member 4: its father is 3, filled just before, and its mother is 2.
    double v1 = drawAfter(2024, 12) * scale;
    double v2 = drawAfter(2024, 13) * scale;
    EXPECT_EQ(child.allele1, v1 < 0.5 ? founderPick(u1) : founderPick(u2));
    EXPECT_EQ(child.allele2, v2 < 0.5 ? mother.allele1 : mother.allele2);
    double w1 = drawAfter(2024, 14) * scale;
    EXPECT_EQ(childLocus1.allele1, w1 < 0.5 ? fatherLocus1.allele1 : fatherLocus1.allele2);
    EXPECT_EQ(childLocus1.allele2, 8);
    EXPECT_FALSE(child.phased);
}

TEST(FillMissingAllelesRandomly, NothingCountedMeansNothingDrawn)
{
    // No founder has an allele at locus 1, so the founder there stays
    // missing; a family without a summary has no frequencies at all.
    auto owned = readFamily("1 1 0 0 1 0 0 1 2 0 0\n"
                            "1 2 0 0 2 0 0 1 2 0 0\n"
                            "1 3 1 2 1 0 0 1 2 0 0\n");
    DatasetSummary summary;
    Pedigree& p = summary.addPedigree(std::move(owned));
    seedRandom(3);
    fillMissingAllelesRandomly(p);
    EXPECT_EQ(loci(p, 1), "1 2(0,0) 0 0(0,0)");
    EXPECT_EQ(loci(p, 3), "1 2(-1,-1) 0 0(-1,-1)");

    auto alone = readFamily("1 1 0 0 1 0 0 0 0\n"
                            "1 2 0 0 2 0 0 1 2\n"
                            "1 3 1 2 1 0 0 1 2\n");
    fillMissingAllelesRandomly(*alone);
    EXPECT_EQ(loci(*alone, 1), "0 0(0,0)");
}

TEST(InferMissingAlleles, AParentTakesTheChildsAlleleThatTheMateCannotHaveGiven)
{
    // Mother 2 lacks allele2 at locus 0: child 3 got 4, which father 1 does
    // not carry. At locus 1 both children share the mother's allele1 (3), so
    // nothing follows; with no summary nothing is drawn either. At locus 2
    // the homozygous child 4 gives its allele.
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2\n"
                        "1 2 0 0 2 0 0 3 0 3 0 0 0\n"
                        "1 3 1 2 1 0 0 1 4 1 3 2 6\n"
                        "1 4 1 2 1 0 0 2 3 2 3 2 2\n");
    seedRandom(1);
    inferMissingAlleles(*p);
    EXPECT_EQ(loci(*p, 2), "3 4(0,0) 3 0(0,0) 6 2(0,0)");
}

TEST(InferMissingAlleles, AChildTakesTheAlleleOfAHomozygousParent)
{
    auto p = readFamily("1 1 0 0 1 0 0 3 3 3 3 3 3 1 2\n"
                        "1 2 0 0 2 0 0 4 4 1 2 1 2 4 4\n"
                        // untyped; typed allele in the slot of the homozygous
                        // father; in the mother's slot; the mother's allele
                        // in the father's slot
                        "1 3 1 2 1 0 0 0 0 1 0 0 3 4 0\n");
    seedRandom(9);
    inferMissingAlleles(*p);
    const Individual& child = *p->member(3);
    EXPECT_EQ(child.genotypes[0].allele1, 3);
    EXPECT_EQ(child.genotypes[0].allele2, 4);
    EXPECT_TRUE(child.genotypes[0].phased);
    EXPECT_EQ(child.genotypes[1].allele1, 3);
    EXPECT_EQ(child.genotypes[1].allele2, 1);
    EXPECT_TRUE(child.genotypes[1].phased);
    // The typed 3 cannot come from the mother (1,2): it is the father's, and
    // the maternal allele is drawn from the mother.
    EXPECT_EQ(child.genotypes[2].allele1, 3);
    EXPECT_TRUE(child.genotypes[2].allele2 == 1 || child.genotypes[2].allele2 == 2);
    // The typed 4 cannot come from the father (1,2): it is the mother's.
    EXPECT_TRUE(child.genotypes[3].allele1 == 1 || child.genotypes[3].allele1 == 2);
    EXPECT_EQ(child.genotypes[3].allele2, 4);
    EXPECT_TRUE(child.genotypes[3].phased);
}

TEST(InferMissingAlleles, AChangeAboveChildrenRepeatsThePassAndTheRandomFill)
{
    // Member 3 gets its alleles from its homozygous parents in the first
    // pass; it has a child, so a second pass runs, and the random fill runs
    // once per pass: four draws per member and locus.
    auto p = readFamily("1 1 0 0 1 0 0 3 3\n"
                        "1 2 0 0 2 0 0 4 4\n"
                        "1 3 1 2 1 0 0 0 0\n"
                        "1 4 0 0 2 0 0 1 2\n"
                        "1 5 3 4 1 0 0 3 1\n");
    seedRandom(21);
    inferMissingAlleles(*p);
    EXPECT_EQ(loci(*p, 3), "3|4(-1,-1)");
    int next = tavirlen::rand();
    EXPECT_EQ(next, drawAfter(21, 2 * 2 * 5));
}

} // namespace
} // namespace tavirlen
