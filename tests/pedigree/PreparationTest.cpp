#include "pedigree/Preparation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace tavirlen {
namespace {

using test::readFamily;

TEST(Prepare, OrdersParentsBeforeChildrenAndLinksThem)
{
    // Read child first, then mother, then father.
    auto p = readFamily("1 3 1 2 1 0 0 1 2\n1 2 0 0 1 0 0 1 1\n1 1 0 0 2 0 0 2 2\n");
    EXPECT_EQ(p->processingOrder, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(p->members.at(1).childIds, (std::vector<int>{3}));
    EXPECT_EQ(p->members.at(2).childIds, (std::vector<int>{3}));
    EXPECT_EQ(p->founderCount, 2);
    // Parent roles come from the child, whatever the file said.
    EXPECT_EQ(p->members.at(1).sex, 1);
    EXPECT_EQ(p->members.at(2).sex, 2);
    EXPECT_EQ(p->members.at(3).sex, 1);
    EXPECT_EQ(p->members.at(1).mateId, 2);
    EXPECT_EQ(p->locusWork, (std::vector<int>{0}));
    EXPECT_TRUE(p->visitedIds.empty());
}

TEST(Prepare, InterleavedCouplesTakeTheLowestReadyMemberEachTime)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"
                        "1 4 6 7 1 0 0 1 1\n1 5 1 2 2 0 0 1 1\n1 6 0 0 1 0 0 1 1\n"
                        "1 7 0 0 2 0 0 1 1\n1 8 3 4 1 0 0 1 1\n1 9 8 5 2 0 0 1 1\n");
    // Each step takes the lowest id that is a founder or has both parents placed.
    EXPECT_EQ(p->processingOrder, (std::vector<int>{1, 2, 3, 5, 6, 7, 4, 8, 9}));
    // Member 5 is the mother of 9 although read as male; 4 is the mother of 8.
    EXPECT_EQ(p->members.at(5).sex, 2);
    EXPECT_EQ(p->members.at(4).sex, 2);
    EXPECT_EQ(p->members.at(8).sex, 1);
    // mateId follows the highest-id child.
    EXPECT_EQ(p->members.at(3).mateId, 4);
}

// The order rescans from the lowest id at every position; the fast build of it
// must give the same order, also for members whose parents are missing and
// for lines in any order.
TEST(Prepare, OrderMatchesARescanAtEveryPosition)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        int n = 2 + static_cast<int>(random() % 30);
        std::vector<std::string> memberLines;
        for (int id = 1; id <= n; ++id) {
            int father = 0, mother = 0;
            if (id > 2 && random() % 3 != 0) {
                father = 1 + static_cast<int>(random() % (n + 2)); // may be absent or later
                mother = 1 + static_cast<int>(random() % (n + 2));
                if (random() % 10 == 0) mother = 0;
            }
            memberLines.push_back("1 " + std::to_string(id) + " " + std::to_string(father) + " "
                                  + std::to_string(mother) + " 1 0 0 1 1\n");
        }
        if (round % 2) std::shuffle(memberLines.begin(), memberLines.end(), random);
        std::string lines;
        for (const std::string& line : memberLines) lines += line;
        auto p = readFamily(lines);
        std::set<int> placed;
        std::vector<int> expected;
        for (int i = 0; i < n; ++i) {
            int next = -1;
            for (const auto& [id, m] : p->members) {
                if (placed.count(id)) continue;
                if (m.isFounder() || (m.fatherId > 0 && placed.count(m.fatherId) && m.motherId >= 1
                                      && placed.count(m.motherId))) {
                    next = id;
                    break;
                }
            }
            expected.push_back(next);
            if (next != -1) placed.insert(next);
        }
        ASSERT_EQ(p->processingOrder, expected) << lines;
    }
}

TEST(TrioConsistent, FollowsTheParentsAlleles)
{
    EXPECT_TRUE(trioConsistent(1, 2, 3, 4, 2, 3));
    EXPECT_TRUE(trioConsistent(1, 2, 3, 4, 3, 2));
    EXPECT_FALSE(trioConsistent(1, 2, 3, 4, 1, 2));
    EXPECT_TRUE(trioConsistent(1, 2, 3, 4, 0, 2));
    EXPECT_TRUE(trioConsistent(1, 2, 3, 4, 0, 0));
    EXPECT_FALSE(trioConsistent(1, 2, 3, 4, 0, 5));
    EXPECT_TRUE(trioConsistent(0, 0, 3, 4, 9, 3));
    EXPECT_TRUE(trioConsistent(1, -1, 3, 4, 9, 4));
    EXPECT_FALSE(trioConsistent(1, 2, 3, 3, 9, 3));
}

TEST(CheckMendel, ReportsEveryInconsistentTrioAndLocus)
{
    auto p = readFamily("7 1 0 0 1 0 0 1 2 1 1 3 3\n7 2 0 0 2 0 0 3 4 2 2 3 3\n"
                        "7 3 1 2 1 0 0 1 2 1 2 3 3\n7 4 1 2 2 0 0 2 3 3 3 4 4\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(p->checkMendel());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
              "at Locus: 0 with genotyes: (1,2)\t(3,4)\t(1,2)\n"
              "Mendel Error: parent 1: 1\tparent2:2\tand child:4\n"
              "at Locus: 1 with genotyes: (1,1)\t(2,2)\t(3,3)\n"
              "Mendel Error: parent 1: 1\tparent2:2\tand child:4\n"
              "at Locus: 2 with genotyes: (3,3)\t(3,3)\t(4,4)\n");

    auto sound = readFamily("7 1 0 0 1 0 0 1 2\n7 2 0 0 2 0 0 0 0\n7 3 1 2 1 0 0 2 5\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(sound->checkMendel());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(sound->visitedIds.empty());
}

TEST(OrderByParents, OrdersAllelesOrSaysWhyNot)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 5 3 0 1 2 1\n", 7, false);
    const Individual& child = p->members.at(1);
    auto r = child.orderByParents(1, 1, 1, 2, 0);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.paternal, 1);
    EXPECT_EQ(r.maternal, 2);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(child.orderByParents(1, 2, 1, 2, 0).ok); // undecidable, silent
    EXPECT_FALSE(child.orderByParents(1, 2, 3, 4, 1).ok); // (5,3) cannot come from them
    EXPECT_FALSE(child.orderByParents(1, 2, 1, 2, 2).ok); // missing child allele
    EXPECT_FALSE(child.orderByParents(1, 0, 1, 2, 3).ok); // missing parent allele
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Mendel errors\n");

    r = child.orderByParents(3, 4, 5, 5, 1); // mother homozygous
    EXPECT_EQ(r.paternal, 3);
    EXPECT_EQ(r.maternal, 5);
    r = child.orderByParents(2, 3, 1, 4, 3); // both heterozygous, (2,1): 2 only from father
    EXPECT_EQ(r.paternal, 2);
    EXPECT_EQ(r.maternal, 1);
    r = child.orderByParents(2, 3, 1, 4, 0); // allele1 1 not from father: swap
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.paternal, 2);
    EXPECT_EQ(r.maternal, 1);
    r = child.orderByParents(1, 2, 1, 3, 0); // 1 from either, 2 only from father
    EXPECT_EQ(r.paternal, 2);
    EXPECT_EQ(r.maternal, 1);
}

} // namespace
} // namespace tavirlen
