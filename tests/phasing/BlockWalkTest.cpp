// The extension walk from a seed block.
#include "PhasingTestSupport.h"

#include "pedigree/Random.h"
#include "phasing/BlockWalk.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

using test::loci;
using test::readFamily;
using test::setLoci;

// A couple and two children with six loci; each test sets the phase.
std::unique_ptr<Pedigree> couple()
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 1 2 1 2\n"
                        "1 2 0 0 2 0 0 3 4 3 3 3 4 3 4 3 4 3 4\n"
                        "1 3 1 2 1 0 0 2 3 2 3 2 3 2 4 1 3 1 4\n"
                        "1 4 1 2 2 0 0 1 3 1 3 1 3 1 3 1 3 1 3\n");
    setLoci(*p->member(1), "1|2(0,0) 1|2(0,0) 1|2(0,0) 1|2(0,0) 1|2(0,0) 1|2(0,0)");
    setLoci(*p->member(2), "3|4(0,0) 3|3(0,0) 4|3(0,0) 3 4(0,0) 3 4(0,0) 3 4(0,0)");
    p->blockStart = 0;
    p->blockLength = 6;
    return p;
}

TEST(ExtendToChild, TheChildKeepsItsFirstSourceInTheBlockAndFollowsRecordedChanges)
{
    auto p = couple();
    setLoci(*p->member(3), "3 2(-1,-1) 2|3(-1,1) 2|3(1,-1) 2|4(-1,-1) 1|3(0,0) 4 1(-1,-1)");
    extendToChild(*p, 1, 3);
    // Paternal: source 1 from locus 2 back to locus 0 (ordered there) and on
    // to locus 3; the recorded 0 at locus 4 carries to locus 5 (ordered).
    // Maternal: read afresh where the mother is phased and heterozygous.
    EXPECT_EQ(loci(*p, 3), "2|3(1,0) 2|3(1,-1) 2|3(1,1) 2|4(1,-1) 1|3(0,-1) 1|4(0,-1)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{3}));
    EXPECT_EQ(p->recombinantQueue, (std::deque<int>{3}));
}

TEST(ExtendToChild, OnlyTheBlockIsTouched)
{
    auto p = couple();
    p->blockStart = 1;
    p->blockLength = 3;
    setLoci(*p->member(3), "3 2(-1,-1) 2|3(-1,-1) 2|3(-1,-1) 2|4(1,-1) 1|3(0,0) 4 1(-1,-1)");
    extendToChild(*p, 1, 3);
    EXPECT_EQ(loci(*p, 3), "3 2(-1,-1) 2|3(1,-1) 2|3(1,1) 2|4(1,-1) 1|3(0,0) 4 1(-1,-1)");
}

TEST(ExtendToChild, WithoutASourceTheChildGetsARandomOneForTheWholeBlock)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        auto p = readFamily("1 1 0 0 1 0 0 1 2 1 1 1 2 1 2\n"
                            "1 2 0 0 2 0 0 1 2 1 2 1 2 1 2\n"
                            "1 3 1 2 1 0 0 2 1 1 2 1 2 2 1\n");
        setLoci(*p->member(1), "1|2(0,0) 1|1(0,0) 2|1(0,0) 1|2(0,0)");
        setLoci(*p->member(3), "2 1(-1,-1) 1|2(-1,-1) 1 2(-1,-1) 2 1(-1,-1)");
        p->blockLength = 4;
        seedRandom(seed);
        int source = tavirlen::rand() >= 16383 ? 1 : 0;
        seedRandom(seed);
        extendToChild(*p, 1, 3);
        // The father's allele `source` goes to the paternal side at every
        // locus (the homozygous one keeps its order); the mother is unphased.
        const char* expected[2] = {"1|2(0,-1) 1|2(0,-1) 2|1(0,-1) 1|2(0,-1)",
                                   "2|1(1,-1) 1|2(1,-1) 1|2(1,-1) 2|1(1,-1)"};
        EXPECT_EQ(loci(*p, 3), expected[source]);
    }
}

TEST(ExtendToChild, AChildCarryingTheParentsOtherAlleleHasChangedSource)
{
    auto p = couple();
    // From locus 0 on the child has source 0, but at loci 1 and 2 (phased
    // earlier, source still open) it carries the father's allele2.
    setLoci(*p->member(3), "1|3(0,-1) 2|3(-1,-1) 2|3(-1,-1) 2 4(-1,-1) 1|3(-1,-1) 1 4(-1,-1)");
    extendToChild(*p, 1, 3);
    EXPECT_EQ(loci(*p, 3), "1|3(0,0) 2|3(1,-1) 2|3(1,1) 2|4(1,-1) 1|3(0,-1) 1|4(0,-1)");
}

TEST(ExtendToChildOfPair, EachOpenLocusTakesTheOrderThatAgreesBestWithItsFlanks)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 1 2\n"
                        "1 2 0 0 2 0 0 3 4 1 2 3 4 1 2 3 4\n"
                        "1 3 1 2 1 0 0 1 3 2 1 1 3 2 1 1 4\n");
    setLoci(*p->member(1), "1|2(0,0) 1|2(0,0) 1|2(0,0) 1|2(0,0) 1|2(0,0)");
    setLoci(*p->member(2), "3|4(0,0) 1|2(0,0) 3|4(0,0) 1|2(0,0) 3|4(0,0)");
    setLoci(*p->member(3), "1|3(0,0) 2 1(-1,-1) 1|3(0,0) 2 1(-1,-1) 1|4(0,1)");
    p->blockStart = 0;
    p->blockLength = 5;
    extendToChildOfPair(*p, 2, 1, 3);
    // Locus 1: keeping (sources 1,0) and swapping (0,1) each disagree with
    // two flanking sources: the stored order stays. Locus 3: keeping
    // disagrees three times, swapping once.
    EXPECT_EQ(loci(*p, 3), "1|3(0,0) 2|1(1,0) 1|3(0,0) 1|2(0,1) 1|4(0,1)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{3}));
    EXPECT_EQ(p->recombinantQueue, (std::deque<int>{3}));
}

TEST(ExtendToChildOfPair, AChildWithoutSourcesInTheBlockIsOnlyVisitedAndFiled)
{
    auto p = couple();
    setLoci(*p->member(4), "1 3(-1,-1) 1 3(-1,-1) 1|3(-1,-1) 1 3(-1,-1) 1 3(0,0) 1 3(0,0)");
    p->blockLength = 4;
    extendToChildOfPair(*p, 1, 2, 4);
    EXPECT_EQ(loci(*p, 4), "1 3(-1,-1) 1 3(-1,-1) 1|3(-1,-1) 1 3(-1,-1) 1 3(0,0) 1 3(0,0)");
    EXPECT_EQ(p->cleanQueue, (std::deque<int>{4}));
    EXPECT_EQ(p->visitedIds, (std::set<int>{4}));
}

TEST(FindNextBlock, PrefersMembersFreeOfRecombinationWithRunsOfTwoAndSkipsCoveredLoci)
{
    auto p = couple();
    for (int id : {1, 2})
        for (std::size_t k = 1; k < 6; ++k) p->member(id)->genotypes[k].phased = false;
    // Child 3 is free with a run of two (loci 0-1); child 4 changes source and
    // has a run of five (loci 1-5). Founders' runs are shorter.
    setLoci(*p->member(3), "2|3(1,0) 2|3(1,0) 2 3(-1,-1) 2 4(-1,-1) 1|3(-1,-1) 1 4(-1,-1)");
    setLoci(*p->member(4), "1 3(-1,-1) 1|3(0,0) 1|3(0,0) 1|3(1,0) 1|3(1,0) 1|3(1,0)");
    p->recombinantQueue = {9};
    EXPECT_TRUE(findNextBlock(*p));
    EXPECT_EQ(p->seedId, 3);
    EXPECT_EQ(p->blockStart, 0);
    EXPECT_EQ(p->blockLength, 2);
    EXPECT_TRUE(p->cleanQueue.empty());
    EXPECT_EQ(p->recombinantQueue, (std::deque<int>{9}));

    // A free run of one: the longer run of the member with a change is taken.
    p->member(3)->genotypes[1].phased = false;
    EXPECT_TRUE(findNextBlock(*p));
    EXPECT_EQ(p->seedId, 4);
    EXPECT_EQ(p->blockStart, 1);
    EXPECT_EQ(p->blockLength, 5);

    // Covered loci: runs made only of them are never chosen.
    p->locusWork = {0, 1, 1, 1, 1, 1};
    p->member(3)->genotypes[1].phased = true;
    EXPECT_TRUE(findNextBlock(*p));
    EXPECT_EQ(p->seedId, 3);
    p->locusWork = {1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(findNextBlock(*p));

    // Everybody completely phased: the extension is finished; everybody was
    // visited and filed on the way.
    p->locusWork = {0, 0, 0, 0, 0, 0};
    for (auto& [id, m] : p->members)
        for (GenotypeRecord& g : m.genotypes) g.phased = true;
    EXPECT_FALSE(findNextBlock(*p));
    EXPECT_EQ(p->cleanQueue, (std::deque<int>{1, 2, 3}));
    EXPECT_EQ(p->recombinantQueue, (std::deque<int>{9, 4}));
}

TEST(ExtendFromSeed, AnEmptyBlockOnlyVisitsAndFilesAndCoversNothing)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2\n"
                        "1 2 0 0 2 0 0 1 2 2 1\n"
                        "1 3 1 2 1 0 0 2 1 1 2\n");
    setLoci(*p->member(1), "1|2(0,0) 1 2(0,0)");
    setLoci(*p->member(2), "1|2(0,0) 2 1(0,0)");
    const std::string before = loci(*p, 1) + loci(*p, 2) + loci(*p, 3);
    p->seedId = 3;
    p->blockStart = 0;
    p->blockLength = 0;
    extendFromSeed(*p);
    EXPECT_EQ(loci(*p, 1) + loci(*p, 2) + loci(*p, 3), before);
    EXPECT_EQ(p->visitedIds, (std::set<int>{1, 2, 3}));
    EXPECT_TRUE(p->cleanQueue.empty());
    EXPECT_EQ(p->locusWork, (std::vector<int>{0, 0}));
}

TEST(ExtendFromSeed, PhaseSpreadsToParentsAndChildrenAndTheBlockIsCovered)
{
    // Everybody carries 1 and 2. Seed: child 3, phased; child 4 is phased at
    // locus 0 only, with its sources. The parent programme phases father and
    // mother from child 3 (equal costs at the last locus: child 4's source
    // there decides), then child 4 is extended from the pair.
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2\n"
                        "1 2 0 0 2 0 0 1 2 1 2 1 2\n"
                        "1 3 1 2 1 0 0 1 2 1 2 2 1\n"
                        "1 4 1 2 2 0 0 1 2 1 2 1 2\n");
    setLoci(*p->member(1), "1 2(0,0) 1 2(0,0) 1 2(0,0)");
    setLoci(*p->member(2), "1 2(0,0) 1 2(0,0) 1 2(0,0)");
    setLoci(*p->member(3), "1|2(-1,-1) 1|2(-1,-1) 2|1(-1,-1)");
    setLoci(*p->member(4), "1|2(0,0) 1 2(-1,-1) 1 2(-1,-1)");
    p->seedId = 3;
    p->blockLength = 3;
    seedRandom(8);
    testing::internal::CaptureStderr();
    extendFromSeed(*p);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(loci(*p, 1), "1|2(0,0) 1|2(0,0) 2|1(0,0)");
    EXPECT_EQ(loci(*p, 2), "2|1(0,0) 2|1(0,0) 1|2(0,0)");
    EXPECT_EQ(loci(*p, 3), "1|2(0,0) 1|2(0,0) 2|1(0,0)");
    EXPECT_EQ(loci(*p, 4), "1|2(0,0) 1|2(0,0) 2|1(0,0)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{1, 2, 3, 4}));
    EXPECT_EQ(p->locusWork, (std::vector<int>{1, 1, 1}));
    EXPECT_TRUE(p->cleanQueue.empty());
}

} // namespace
} // namespace tavirlen
