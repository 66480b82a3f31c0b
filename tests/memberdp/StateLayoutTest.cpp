#include "memberdp/StateLayout.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

// Father 1 (1,2), mother 2 (3,4), child 3 (1,3) at two loci.
const char* trio = "1 3 1 2 1 0 0 1 3 1 3\n"
                   "1 1 0 0 1 0 0 1 2 1 2\n"
                   "1 2 0 0 2 0 0 3 4 3 4\n";

int fittingStates(const Pedigree& p, int locus)
{
    int count = 0;
    for (MemberState x = 0; x < (MemberState(1) << StateLayout(p).bitCount); ++x)
        if (stateCost(p, x, locus) == 0) ++count;
    return count;
}

TEST(StateLayout, ATrioHasFiveBitsAndThirtyTwoStates)
{
    auto p = test::readFamily(trio);
    EXPECT_EQ(stateBitCount(*p), 5);
    StateLayout layout(*p);
    ASSERT_TRUE(layout.sound);
    EXPECT_EQ(layout.bitCount, 5);
    // Founders 1 and 2 take bits 0 and 1; the child its phase at bit 2 and
    // its sources at bits 3 and 4.
    EXPECT_EQ(layout.phaseMask, 0b00111u);
    EXPECT_EQ(layout.sourceMask, 0b11000u);
    EXPECT_EQ(layout.packedSources(0b10000u), 0b10u);
    EXPECT_EQ(layout.unpackSources(0b01u), 0b01000u);

    // At locus 0 the founders' phases are fixed by their first heterozygous
    // locus and the child's order follows: one state of the 32.
    EXPECT_EQ(fittingStates(*p, 0), 1);
    EXPECT_EQ(stateCost(*p, 0, 0), 0);
    // At locus 1 each founder's phase is free and the child's sources follow it.
    EXPECT_EQ(fittingStates(*p, 1), 4);
    EXPECT_EQ(stateCost(*p, 0b01001u, 1), 0);  // father swapped, paternal source 1
    EXPECT_EQ(stateCost(*p, 0b00001u, 1), impossibleCost);
}

TEST(StateLayout, BitsFollowProcessingOrderAndCountThreePerChild)
{
    // Child 2 of founders 5 and 9, grandchild 1 of 2 and founder 7.
    auto p = test::readFamily("4 1 2 7 1 0 0 1 1\n4 2 5 9 1 0 0 1 1\n4 5 0 0 1 0 0 1 1\n"
                              "4 7 0 0 2 0 0 1 1\n4 9 0 0 2 0 0 1 1\n");
    EXPECT_EQ(stateBitCount(*p), 3 * 5 - 2 * 3);
    StateLayout layout(*p);
    ASSERT_EQ(layout.slots.size(), 5u);
    std::vector<int> ids, offsets;
    for (const MemberSlot& s : layout.slots) {
        ids.push_back(s.id);
        offsets.push_back(s.offset);
    }
    EXPECT_EQ(ids, (std::vector<int>{5, 7, 9, 2, 1}));
    EXPECT_EQ(offsets, (std::vector<int>{0, 1, 2, 3, 6}));
    EXPECT_EQ(layout.phaseMask, 0b001001111u);
    EXPECT_EQ(layout.sourceMask, 0b110110000u);
    EXPECT_EQ(transitionCost(layout, 0b110110000u, 0u), 4);
    EXPECT_EQ(transitionCost(layout, 0b001001111u, 0u), 0); // phases cost nothing
}

TEST(StateLayout, EveryoneHomozygousAllowsOnlyPhaseZero)
{
    auto p = test::readFamily("1 1 0 0 1 0 0 1 2 1 1\n1 2 0 0 2 0 0 1 2 1 1\n1 3 1 2 1 0 0 1 2 1 1\n");
    for (MemberState x = 0; x < 32; ++x)
        EXPECT_EQ(stateCost(*p, x, 1), (x & 0b00111u) ? impossibleCost : 0) << x;
    // Any source fits, so the four source patterns all fit.
    EXPECT_EQ(fittingStates(*p, 1), 4);
}

TEST(StateLayout, MissingChildAlleleWithTypedParentRulesOutTheLocus)
{
    // An allele 0 is compared like any other value: the child's 0 matches no
    // allele of its father there.
    auto p = test::readFamily("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 3 4 3 4\n1 3 1 2 1 0 0 1 3 0 3\n");
    EXPECT_EQ(fittingStates(*p, 0), 1);
    EXPECT_EQ(fittingStates(*p, 1), 0);
    // A missing allele in the parent as well can be matched.
    auto q = test::readFamily("1 1 0 0 1 0 0 0 2\n1 2 0 0 2 0 0 3 4\n1 3 1 2 1 0 0 0 3\n");
    EXPECT_GT(fittingStates(*q, 0), 0);
}

TEST(StateLayout, FounderPhaseWaitsForItsFirstHeterozygousLocus)
{
    // Founder 1 is homozygous, then missing one allele, then heterozygous
    // twice: its phase bit may be 1 only at the last locus.
    auto p = test::readFamily("1 1 0 0 1 0 0 1 1 0 2 1 2 1 2\n");
    EXPECT_EQ(stateCost(*p, 1, 1), impossibleCost);
    EXPECT_EQ(stateCost(*p, 1, 2), impossibleCost);
    EXPECT_EQ(stateCost(*p, 1, 3), 0);
    Pedigree& q = *p;
    EXPECT_EQ(applyState(q, 1, 2), impossibleCost);
    EXPECT_EQ(applyState(q, 1, 3), 0);
    EXPECT_EQ(q.member(1)->genotypes[3].allele1, 2);
    EXPECT_TRUE(q.member(1)->genotypes[3].phased);
}

} // namespace
} // namespace tavirlen
