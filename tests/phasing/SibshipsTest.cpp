// Sibship inference and the first seed block.
#include "PhasingTestSupport.h"
#include "RandomFamilies.h"

#include "phasing/BottomUpOrder.h"
#include "phasing/Sibships.h"
#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tavirlen {
namespace {

using test::loci;
using test::readFamily;
using test::setLoci;

// Father homozygous everywhere, mother heterozygous with her second locus
// stored the other way round; three children: 3 and 4 keep the mother's
// first haplotype up to locus 1, 5 changes between loci 0 and 1, and at
// locus 2 the children split.
const char* threeChildren = "1 1 0 0 1 0 0 3 3 3 3 3 3\n"
                            "1 2 0 0 2 0 0 1 2 2 1 1 2\n"
                            "1 3 1 2 1 0 0 3 1 3 1 3 1\n"
                            "1 4 1 2 2 0 0 3 1 3 1 3 2\n"
                            "1 5 1 2 1 0 0 3 1 3 2 3 2\n";

TEST(NextBottomUp, MembersWithFamiliesComeBeforeTheirParents)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2\n"
                        "1 2 0 0 2 0 0 1 2\n"
                        "1 3 1 2 1 0 0 1 2\n"
                        "1 4 0 0 2 0 0 1 2\n"
                        "1 5 1 2 2 0 0 1 2\n"
                        "1 6 3 4 1 0 0 1 2\n"
                        "1 7 3 4 2 0 0 1 2\n");
    std::vector<int> order;
    for (int id; (id = nextBottomUp(*p)) != 0;) {
        order.push_back(id);
        p->visitedIds.insert(id);
    }
    EXPECT_EQ(order, (std::vector<int>{3, 1, 2, 4, 5, 6, 7}));
}

// The order kept up to date between visits gives what the plain scan would,
// with ids numbered in order or drawn at random (a table by id, or bisection)
// and members visited out of turn now and then, as a sibship pass does.
TEST(NextBottomUp, KeptAndRestartedOrderMatchesThePlainScanOnRandomFamilies)
{
    std::mt19937 engine(21);
    for (int family = 0; family < 60; ++family) {
        test::RandomFamilyOptions options;
        options.generations = 2 + family % 4;
        options.shuffleIds = family % 2 == 1;
        options.halfSiblings = 0.3;
        auto p = readFamily(test::randomFamilyText(engine, 1, options).c_str());
        BottomUpOrder order(*p);
        std::vector<int> ids;
        for (const auto& [id, m] : p->members) ids.push_back(id);
        // A second walk restarts the same order, after a first one left off
        // half-way, from some members visited already: nothing of the
        // first walk may carry over.
        for (int walk = 0; walk < 2; ++walk) {
            if (walk == 1) {
                p->visitedIds.clear();
                for (int id : ids)
                    if (engine() % 5 == 0) p->visitedIds.insert(id);
                order.restart(*p);
            }
            const std::size_t steps = walk == 0 ? ids.size() / 2 : ids.size();
            for (int id; p->visitedIds.size() < steps && (id = nextBottomUp(*p)) != 0;) {
                ASSERT_EQ(order.next(), id) << "family " << family << ", walk " << walk;
                int visited = engine() % 4 == 0 ? ids[engine() % ids.size()] : id;
                p->visitedIds.insert(visited);
                order.visit(visited);
            }
        }
        EXPECT_EQ(order.next(), 0);
    }
}

TEST(ExtendSibshipBlocks, SiblingsVoteOnTheParentsPhaseAndTiesLeaveItOpen)
{
    auto p = readFamily(threeChildren);
    phaseByMendel(*p);
    ASSERT_EQ(loci(*p, 2), "1|2(0,0) 2 1(0,0) 1 2(0,0)");
    ASSERT_EQ(loci(*p, 5), "3|1(-1,0) 3|2(-1,-1) 3|2(-1,-1)");
    p->visitedIds.clear();
    extendSibshipBlocks(*p, 3);
    // Children 3 and 4 meet a tie at locus 1 (one sibling for keeping, one
    // against) and carry no source further. Child 5 has both siblings against
    // keeping its source: it changes, and the mother is turned to fit it. At
    // locus 2 its siblings split again: the mother stays unphased there.
    EXPECT_EQ(loci(*p, 2), "1|2(0,0) 1|2(0,0) 1 2(0,0)");
    EXPECT_EQ(loci(*p, 3), "3|1(-1,0) 3|1(-1,-1) 3|1(-1,-1)");
    EXPECT_EQ(loci(*p, 4), "3|1(-1,0) 3|1(-1,-1) 3|2(-1,-1)");
    EXPECT_EQ(loci(*p, 5), "3|1(-1,0) 3|2(-1,1) 3|2(-1,-1)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{3, 4, 5}));
}

TEST(ExtendSibshipBlocks, SiblingsThatAllShowAChangeAreLeftAsTheyAre)
{
    auto p = readFamily(threeChildren);
    phaseByMendel(*p);
    for (int id : {3, 4, 5}) p->member(id)->genotypes[2].maternalSource = 1;
    const std::string before = loci(*p, 2) + loci(*p, 3) + loci(*p, 4) + loci(*p, 5);
    p->visitedIds.clear();
    extendSibshipBlocks(*p, 4);
    EXPECT_EQ(loci(*p, 2) + loci(*p, 3) + loci(*p, 4) + loci(*p, 5), before);
    EXPECT_EQ(p->visitedIds, (std::set<int>{3, 4, 5}));
}

TEST(ExtendSibshipBlocks, AChildWhosePhasedAlleleShowsAChangeFollowsIt)
{
    // Mother already phased at locus 1; child 3 carries her allele2 there
    // although its running source is 0: it gets source 1, not 0. At locus 2
    // its sibling 4 (5 shows a change) has another allele and source 1: the
    // vote brings child 3 back to source 0.
    auto p = readFamily(threeChildren);
    setLoci(*p->member(2), "1|2(0,0) 1|2(0,0) 1 2(0,0)");
    setLoci(*p->member(3), "3|1(-1,0) 3|2(-1,-1) 3|1(-1,-1)");
    setLoci(*p->member(4), "3|1(-1,1) 3|1(-1,1) 3|2(-1,1)");
    setLoci(*p->member(5), "3|1(-1,1) 3|2(-1,0) 3|2(-1,-1)");
    extendSibshipBlocks(*p, 3);
    EXPECT_EQ(loci(*p, 3), "3|1(-1,0) 3|2(-1,1) 3|1(-1,0)");
    EXPECT_EQ(loci(*p, 2), "1|2(0,0) 1|2(0,0) 1|2(0,0)");
}

TEST(VoteSibling, ASiblingWithAChangeOfSourceIsNotConsulted)
{
    auto p = readFamily(threeChildren);
    phaseByMendel(*p);
    VoteCounts votes;
    // Same allele at locus 1, reference 0, running 0: contradicts changing.
    EXPECT_TRUE(voteSibling(*p->member(3), *p->member(4), 1, 0, 0, 1, votes));
    EXPECT_EQ(votes.keep, 0);
    EXPECT_EQ(votes.flip, 1);
    // Different allele, reference 1, running 0: contradicts changing again.
    EXPECT_TRUE(voteSibling(*p->member(3), *p->member(5), 1, 1, 0, 1, votes));
    EXPECT_EQ(votes.keep, 0);
    EXPECT_EQ(votes.flip, 2);
    p->member(5)->genotypes[2].paternalSource = 1;
    p->member(5)->genotypes[1].paternalSource = 0;
    EXPECT_FALSE(voteSibling(*p->member(3), *p->member(5), 1, 1, 0, 1, votes));
    EXPECT_EQ(votes.flip, 2);
}

TEST(PhaseChildByVotes, TheMajorityOrdersTheChildAndATieLeavesItOpen)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2\n"
                        "1 2 0 0 2 0 0 1 2\n"
                        "1 3 1 2 1 0 0 1 2\n");
    setLoci(*p->member(1), "1|2(0,0)");
    setLoci(*p->member(2), "2|1(0,0)");
    Individual& child = *p->member(3);
    int running = 0;
    phaseChildByVotes(child, *p->member(2), p->member(1), 0, running, 1, VoteCounts{0, 2});
    // Keeping source 0 on the maternal side: allele2 is the mother's allele1.
    EXPECT_EQ(loci(child), "1|2(0,0)");
    EXPECT_EQ(running, 0);

    setLoci(child, "1 2(-1,-1)");
    phaseChildByVotes(child, *p->member(2), p->member(1), 0, running, 1, VoteCounts{3, 1});
    EXPECT_EQ(loci(child), "2|1(1,1)");
    EXPECT_EQ(running, 1);

    // A tie: no order, no source carried on, and no source read from the
    // open order on the other side either.
    setLoci(child, "1 2(-1,-1)");
    phaseChildByVotes(child, *p->member(2), p->member(1), 0, running, 1, VoteCounts{1, 1});
    EXPECT_EQ(loci(child), "1 2(-1,-1)");
    EXPECT_EQ(running, -1);
}

TEST(PhaseParentByVotes, TheParentIsOrderedAndTakesItsOwnSourcesFromItsParents)
{
    auto p = readFamily("1 1 0 0 1 0 0 5 6\n"
                        "1 2 0 0 2 0 0 7 7\n"
                        "1 3 1 2 1 0 0 7 5\n"
                        "1 4 0 0 2 0 0 1 2\n"
                        "1 5 3 4 1 0 0 5 1\n");
    setLoci(*p->member(1), "6|5(0,0)");
    setLoci(*p->member(2), "7|7(0,0)");
    setLoci(*p->member(3), "7 5(-1,-1)");
    setLoci(*p->member(5), "5|1(-1,0)");
    int running = 1;
    phaseParentByVotes(*p, *p->member(5), *p->member(3), 0, running, 0, VoteCounts{0, 1});
    // Child 5 keeps source 1: its paternal 5 is its father's allele2, so the
    // father becomes 7|5; his paternal 7 is not his father's allele1 (6):
    // source 1; his homozygous mother leaves the maternal source open.
    EXPECT_EQ(loci(*p, 3), "7|5(1,-1)");
    EXPECT_EQ(loci(*p, 5), "5|1(1,0)");

    setLoci(*p->member(3), "7 5(-1,-1)");
    phaseParentByVotes(*p, *p->member(5), *p->member(3), 0, running, 0, VoteCounts{2, 2});
    EXPECT_EQ(loci(*p, 3), "7 5(-1,-1)");
    EXPECT_EQ(running, -1);
}

TEST(PhaseParentsFromChildren, AGapBetweenAgreeingSourcesOrdersTheParentButNeverTurnsItRound)
{
    auto p = readFamily("1 1 0 0 1 0 0 3 3 3 3 3 3\n"
                        "1 2 0 0 2 0 0 1 2 2 1 1 2\n"
                        "1 3 1 2 1 0 0 3 1 3 2 3 1\n"
                        "1 4 1 2 2 0 0 3 1 3 1 3 1\n");
    setLoci(*p->member(2), "1|2(0,0) 2 1(0,0) 1|2(0,0)");
    setLoci(*p->member(3), "3|1(-1,0) 3|2(-1,-1) 3|1(-1,0)");
    setLoci(*p->member(4), "3|1(-1,0) 3|1(-1,-1) 3|1(-1,0)");
    phaseParentsFromChildren(*p, 3);
    // Child 3 has source 0 on both sides of locus 1, so the mother's allele1
    // there is its 2. Child 4 then finds her phased and carries her allele2:
    // she is not turned back; its source follows its allele.
    EXPECT_EQ(loci(*p, 2), "1|2(0,0) 2|1(0,0) 1|2(0,0)");
    EXPECT_EQ(loci(*p, 3), "3|1(-1,0) 3|2(-1,0) 3|1(-1,0)");
    EXPECT_EQ(loci(*p, 4), "3|1(-1,0) 3|1(-1,1) 3|1(-1,0)");
    EXPECT_EQ(p->visitedIds, (std::set<int>{3, 4}));
}

TEST(InferFromSibships, TheSeedIsTheLongestPhasedRunOfAMemberFreeOfRecombination)
{
    auto p = readFamily(threeChildren);
    phaseByMendel(*p);
    inferFromSibships(*p);
    // Child 5 changed source and waits in the recombinant queue; 3 and 4 are
    // completely phased; the later of them is the seed.
    EXPECT_EQ(p->seedId, 4);
    EXPECT_EQ(p->blockStart, 0);
    EXPECT_EQ(p->blockLength, 3);
    EXPECT_EQ(p->recombinantQueue, (std::deque<int>{5, 5}));
    EXPECT_EQ(p->cleanQueue, (std::deque<int>{4, 3}));
    EXPECT_EQ(p->visitedIds, (std::set<int>{3, 4, 5}));
}

TEST(InferFromSibships, WithoutAPhasedRunTheSeedBlockIsEmpty)
{
    // Everybody carries 1 and 2 everywhere: the child stays unphased, the
    // founders have runs of 0, and the highest id wins.
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2\n"
                        "1 2 0 0 2 0 0 1 2 2 1\n"
                        "1 3 1 2 1 0 0 2 1 1 2\n");
    phaseByMendel(*p);
    inferFromSibships(*p);
    EXPECT_EQ(loci(*p, 3), "2 1(-1,-1) 1 2(-1,-1)");
    EXPECT_EQ(p->seedId, 3);
    EXPECT_EQ(p->blockLength, 0);
    EXPECT_TRUE(p->cleanQueue.empty());
}

} // namespace
} // namespace tavirlen
