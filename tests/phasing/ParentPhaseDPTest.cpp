// The parent's phase inside a block by the two-state programme.
#include "PhasingTestSupport.h"

#include "pedigree/Random.h"
#include "phasing/ParentPhaseDP.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

using test::loci;
using test::readFamily;
using test::setLoci;

// Father heterozygous (1,2) at `heterozygous` loci after one homozygous
// locus, mother homozygous, child phased with the father's allele1
// everywhere.
std::unique_ptr<Pedigree> longTrio(int heterozygous)
{
    std::string father = "1 1 0 0 1 0 0 3 3";
    std::string mother = "1 2 0 0 2 0 0 4 4";
    std::string child = "1 3 1 2 1 0 0 3 4";
    for (int i = 0; i < heterozygous; ++i) {
        father += " 1 2";
        mother += " 4 4";
        child += " 1 4";
    }
    auto p = readFamily(father + "\n" + mother + "\n" + child + "\n");
    for (GenotypeRecord& g : p->member(3)->genotypes) g.phased = true;
    p->blockStart = 0;
    p->blockLength = heterozygous + 1;
    return p;
}

TEST(PhaseParentByDP, ARangeOfAnyLengthIsPhased)
{
    for (int heterozygous : {100, 101, 2000}) {
        auto p = longTrio(heterozygous);
        seedRandom(4);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(phaseParentByDP(*p, 3, 1));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        // Nothing tells the two arrangements apart but the coin; the child
        // then keeps one source all along.
        const Individual& father = *p->member(1);
        const Individual& child = *p->member(3);
        for (std::size_t k = 1; k <= static_cast<std::size_t>(heterozygous); ++k) {
            ASSERT_TRUE(father.genotypes[k].phased);
            ASSERT_EQ(father.genotypes[k].allele1, father.genotypes[1].allele1);
            ASSERT_EQ(child.genotypes[k].paternalSource, child.genotypes[1].paternalSource);
        }
        EXPECT_EQ(p->visitedIds, (std::set<int>{1}));
        EXPECT_EQ(p->cleanQueue, (std::deque<int>{1}));
    }
}

// A father (1,2) at three loci with four children (mother homozygous): the
// paternal alleles are 1,1,2 / 1,1,2 / 2,2,1 / 1,2,2. The least recombinant
// phase puts 1,1,2 on one haplotype: two recombinants, both in child 6.
std::unique_ptr<Pedigree> fourChildren()
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 5 6\n"
                        "1 2 0 0 2 0 0 3 3 3 3 3 3 3 3\n"
                        "1 3 1 2 1 0 0 1 3 1 3 2 3 5 3\n"
                        "1 4 1 2 1 0 0 1 3 1 3 2 3 5 3\n"
                        "1 5 1 2 1 0 0 2 3 2 3 1 3 5 3\n"
                        "1 6 1 2 1 0 0 1 3 2 3 2 3 5 3\n");
    for (int id = 3; id <= 6; ++id)
        for (GenotypeRecord& g : p->member(id)->genotypes) g.phased = true;
    setLoci(*p->member(2), "3|3(0,0) 3|3(0,0) 3|3(0,0) 3|3(0,0)");
    p->blockStart = 0;
    p->blockLength = 3;
    return p;
}

TEST(PhaseParentByDP, ThePhaseWithFewestRecombinantChildrenIsChosen)
{
    auto p = fourChildren();
    // Both mirror images cost two; child 3's own source at locus 0 decides.
    p->member(3)->genotypes[0].paternalSource = 0;
    EXPECT_TRUE(phaseParentByDP(*p, 3, 1));
    EXPECT_EQ(loci(*p, 1), "1|2(0,0) 1|2(0,0) 2|1(0,0) 5 6(0,0)");
    EXPECT_EQ(loci(*p, 3), "1|3(0,-1) 1|3(0,-1) 2|3(0,-1) 5|3(-1,-1)");
    EXPECT_EQ(loci(*p, 5), "2|3(1,-1) 2|3(1,-1) 1|3(1,-1) 5|3(-1,-1)");
    EXPECT_EQ(loci(*p, 6), "1|3(0,-1) 2|3(1,-1) 2|3(0,-1) 5|3(-1,-1)");
}

TEST(PhaseParentByDP, OnEqualCostsAtTheLastLocusTheChildsAgreeingFlanksComeFirst)
{
    // Child 3's nearest source at the last block locus is its own 1 there,
    // but its sources on both sides (loci 1 and 3) say 0: the flanks win.
    auto p = fourChildren();
    p->member(3)->genotypes[1].paternalSource = 0;
    p->member(3)->genotypes[2].paternalSource = 1;
    p->member(3)->genotypes[3].paternalSource = 0;
    EXPECT_TRUE(phaseParentByDP(*p, 3, 1));
    EXPECT_EQ(loci(*p, 1), "1|2(0,0) 1|2(0,0) 2|1(0,0) 5 6(0,0)");

    // With nothing agreeing the founder's arrangement is left to the coin:
    // one of the two mirror images.
    auto q = fourChildren();
    seedRandom(99);
    EXPECT_TRUE(phaseParentByDP(*q, 3, 1));
    std::string father = loci(*q, 1);
    EXPECT_TRUE(father == "1|2(0,0) 1|2(0,0) 2|1(0,0) 5 6(0,0)" || father == "2|1(0,0) 2|1(0,0) 1|2(0,0) 5 6(0,0)")
        << father;
}

TEST(PhaseParentByDP, APhasedParentKeepsItsOrderAndOnlySourcesAreFilled)
{
    // The father is a non-founder, already phased (against his children's
    // best interest). He is not turned round; the one locus the programme
    // decides when all are phased (the first) gets his own sources from his
    // parents, and his children's open sources follow his alleles.
    auto p = readFamily("1 1 0 0 1 0 0 1 7 8 2\n"
                        "1 2 0 0 2 0 0 9 2 1 9\n"
                        "1 3 1 2 1 0 0 1 2 2 1\n"
                        "1 4 0 0 2 0 0 3 3 3 3\n"
                        "1 5 3 4 1 0 0 1 3 1 3\n"
                        "1 6 3 4 1 0 0 1 3 2 3\n");
    setLoci(*p->member(1), "1|7(0,0) 8|2(0,0)");
    setLoci(*p->member(2), "9|2(0,0) 1|9(0,0)");
    setLoci(*p->member(3), "1|2(-1,-1) 2|1(-1,-1)");
    setLoci(*p->member(5), "1|3(-1,-1) 1|3(-1,-1)");
    setLoci(*p->member(6), "1|3(-1,-1) 2|3(-1,-1)");
    p->blockLength = 2;
    EXPECT_TRUE(phaseParentByDP(*p, 5, 3));
    EXPECT_EQ(loci(*p, 3), "1|2(0,1) 2|1(-1,-1)");
    EXPECT_EQ(loci(*p, 5), "1|3(0,-1) 1|3(1,-1)");
    EXPECT_EQ(loci(*p, 6), "1|3(0,-1) 2|3(0,-1)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{3}));
}

TEST(PhaseParentByDP, AParentHomozygousThroughoutTheBlockIsOnlyVisitedAndFiled)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 3 3 4 4\n"
                        "1 2 0 0 2 0 0 5 5 5 5 5 5\n"
                        "1 3 1 2 1 0 0 1 5 3 5 4 5\n");
    setLoci(*p->member(3), "1|5(-1,-1) 3|5(-1,-1) 4|5(-1,-1)");
    p->blockStart = 1;
    p->blockLength = 2;
    const std::string father = loci(*p, 1);
    seedRandom(1);
    EXPECT_TRUE(phaseParentByDP(*p, 3, 1));
    EXPECT_EQ(loci(*p, 1), father);
    EXPECT_EQ(loci(*p, 3), "1|5(-1,-1) 3|5(-1,-1) 4|5(-1,-1)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{1}));
    EXPECT_EQ(p->cleanQueue, (std::deque<int>{1}));
    int next = tavirlen::rand();
    seedRandom(1);
    EXPECT_EQ(next, tavirlen::rand()); // no coin was needed
}

} // namespace
} // namespace tavirlen
