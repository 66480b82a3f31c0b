// The source operations that every phasing algorithm shares.
#include "PhasingTestSupport.h"

#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

using test::loci;
using test::readFamily;
using test::setLoci;

TEST(PhaseByMendel, FoundersFixOneHeterozygousLocusBesidesTheirHomozygousOnes)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 1 2 2 3 3\n"   // homozygous everywhere
                        "1 2 0 0 2 0 0 1 2 3 4 5 5\n"   // heterozygous loci only before the first homozygous
                        "1 3 0 0 1 0 0 1 2 3 3 1 2 4 5\n" // the first heterozygous locus after a homozygous one
                        "1 4 0 0 1 0 0 3 3 0 0 1 2\n"); // a missing locus counts as not homozygous
    phaseByMendel(*p);
    EXPECT_EQ(loci(*p, 1), "1|1(0,0) 2|2(0,0) 3|3(0,0)");
    EXPECT_EQ(loci(*p, 2), "1|2(0,0) 3 4(0,0) 5|5(0,0)");
    EXPECT_EQ(loci(*p, 3), "1 2(0,0) 3|3(0,0) 1|2(0,0) 4 5(0,0)");
    EXPECT_EQ(loci(*p, 4), "3|3(0,0) 0|0(0,0) 1 2(0,0)");
    // Fully phased founders are visited and filed as clean; the seed is the
    // member with most phased loci, the later one on a tie.
    EXPECT_EQ(p->visitedIds, (std::set<int>{1}));
    EXPECT_EQ(p->cleanQueue, (std::deque<int>{1}));
    EXPECT_EQ(p->seedId, 1);
    EXPECT_EQ(p->blockLength, 3);
}

TEST(PhaseByMendel, ChildrenAreOrderedAndGetSourcesFromPhasedParents)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 3 3 1 2\n"
                        "1 2 0 0 2 0 0 3 4 1 2 3 4 3 4 3 4\n"
                        // locus 1 fits both ways; locus 3 homozygous father
                        "1 3 1 2 1 0 0 3 1 2 1 4 2 4 3 2 4\n");
    phaseByMendel(*p);
    EXPECT_EQ(loci(*p, 1), "1 2(0,0) 1 2(0,0) 1 2(0,0) 3|3(0,0) 1|2(0,0)");
    EXPECT_EQ(loci(*p, 2), "3|4(0,0) 1 2(0,0) 3 4(0,0) 3 4(0,0) 3 4(0,0)");
    // Locus 0: only the mother is phased there. Locus 1 fits both ways and
    // stays unphased. Locus 3 (homozygous father) has no last source to
    // carry, but the first paternal source (locus 4) is written back over it.
    EXPECT_EQ(loci(*p, 3), "1|3(-1,0) 2 1(-1,-1) 2|4(-1,-1) 3|4(1,-1) 2|4(1,-1)");
    EXPECT_EQ(p->seedId, 3);
    EXPECT_EQ(p->blockLength, 4);
}

TEST(PhaseByMendel, TheFirstSourceFoundIsWrittenBackOverPhasedLoci)
{
    // The father is phased at locus 0 (homozygous), 1 (homozygous) and 2 (his
    // first heterozygous locus after them); the child gets source 1 at locus
    // 2, which goes back over loci 1 and 0.
    auto p = readFamily("1 1 0 0 1 0 0 5 5 6 6 1 2\n"
                        "1 2 0 0 2 0 0 3 3 3 3 3 3\n"
                        "1 3 1 2 1 0 0 5 3 6 3 2 3\n");
    phaseByMendel(*p);
    EXPECT_EQ(loci(*p, 3), "5|3(1,-1) 6|3(1,-1) 2|3(1,-1)");
}

TEST(RefreshSources, FillsOnlyUndeterminedSourcesOfPhasedLociAtInformativeParents)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 1 1 2\n"
                        "1 2 0 0 2 0 0 3 4 3 4 3 4 3 4\n"
                        "1 3 1 2 1 0 0 2 4 2 4 1 3 1 3\n");
    setLoci(*p->member(1), "1|2(0,0) 1|2(0,0) 1|1(0,0) 1 2(0,0)");
    setLoci(*p->member(2), "3|4(0,0) 3 4(0,0) 3|4(0,0) 3|4(0,0)");
    setLoci(*p->member(3), "2|4(-1,-1) 2 4(-1,-1) 1|3(-1,-1) 1|3(0,1)");
    refreshSources(*p);
    // Locus 1: child unphased. Locus 2: father homozygous, mother phased.
    // Locus 3: determined sources stay, even against the alleles.
    EXPECT_EQ(loci(*p, 3), "2|4(1,1) 2 4(-1,-1) 1|3(-1,0) 1|3(0,1)");
}

// A parent locus with a missing allele shows nothing about which allele was
// passed on: reading the 0 as a code would invent sources and recombinants.
TEST(Sources, ParentLociWithMissingAllelesAreUninformative)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 0 0 1 2 1 0\n"
                        "1 2 0 0 2 0 0 1 1 0 0 1 1 1 1\n"
                        "1 3 1 2 1 0 0 2 1 0 0 2 1 1 1\n");
    setLoci(*p->member(1), "1|2(0,0) 0|0(0,0) 1|2(0,0) 1|0(0,0)");
    setLoci(*p->member(2), "1|1(0,0) 0|0(0,0) 1|1(0,0) 1|1(0,0)");
    phaseByMendel(*p);
    // Locus 1 fits both orders and stays open; the father's half-typed locus 3
    // carries the paternal source of locus 2 over.
    EXPECT_EQ(loci(*p, 3), "2|1(1,-1) 0 0(-1,-1) 2|1(1,-1) 1|1(1,-1)");
    setLoci(*p->member(3), "2|1(-1,-1) 0|0(-1,-1) 2|1(-1,-1) 1|1(-1,-1)");
    countRecombinants(*p);
    EXPECT_EQ(loci(*p, 3), "2|1(1,-1) 0|0(1,-1) 2|1(1,-1) 1|1(1,-1)");
    EXPECT_EQ(p->recombinantCount, 0);
}

// An untyped parent can have given either allele: the other parent decides.
TEST(PhaseByMendel, AnUntypedParentAcceptsAnyAllele)
{
    auto p = readFamily("1 1 0 0 1 0 0 0 0 0 0 1 0\n"
                        "1 2 0 0 2 0 0 2 2 1 2 1 3\n"
                        "1 3 1 2 1 0 0 1 2 1 2 3 1\n");
    phaseByMendel(*p);
    // Locus 0: 2 must come from the mother; locus 1: both orders fit; locus 2:
    // the half-typed father (1,0) can have given the 3 as well as the 1.
    EXPECT_EQ(loci(*p, 3), "1|2(-1,-1) 1 2(-1,-1) 3 1(-1,-1)");
}

// A child's own 0 is no allele that a typed parent lacks: the typed allele
// goes to the parent who carries it, and the 0 gets no source made up.
TEST(PhaseByMendel, AChildsTypedAlleleGoesToTheParentWhoCarriesIt)
{
    for (const std::string child : {"0 2", "2 0"}) {
        auto p = readFamily("1 1 0 0 1 0 0 1 4\n1 2 0 0 2 0 0 3 2\n1 3 1 2 1 0 0 " + child + "\n");
        phaseByMendel(*p);
        refreshSources(*p);
        EXPECT_EQ(loci(*p, 3), "0|2(-1,1)") << child;
    }
}

TEST(CountRecombinants, CountsChangesAndFillsPhasedGaps)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 1 1 2 1 2\n"
                        "1 2 0 0 2 0 0 3 4 3 4 3 4 3 4 3 4\n"
                        "1 3 1 2 1 0 0 1 3 1 3 1 3 2 3 1 3\n"
                        "1 4 1 2 1 0 0 1 3 1 3 1 3 1 3 1 3\n");
    // The father is phased, homozygous at locus 2; the mother's order is
    // still open everywhere. The sources below are what is counted.
    setLoci(*p->member(1), "1|2(0,0) 1|2(0,0) 1|1(0,0) 1|2(0,0) 1|2(0,0)");
    setLoci(*p->member(3), "1|3(0,-1) 1|3(0,-1) 1|3(-1,-1) 2|3(1,-1) 1 3(-1,-1)");
    setLoci(*p->member(4), "1|3(-1,0) 1|3(0,-1) 1|3(-1,-1) 1 3(-1,0) 1|3(1,1)");
    countRecombinants(*p);
    // Member 3: paternal 0,0,-,1 is one recombinant; the gap at the father's
    // homozygous locus takes the last source, the unphased last locus keeps
    // -1. Member 4: its wrong paternal 1 at the last locus is not corrected
    // (determined sources are never changed) and counts one; maternal
    // 0,-,-,0,1 counts one, and its gaps stay open: the mother could still
    // be turned round there.
    EXPECT_EQ(loci(*p, 3), "1|3(0,-1) 1|3(0,-1) 1|3(0,-1) 2|3(1,-1) 1 3(-1,-1)");
    EXPECT_EQ(loci(*p, 4), "1|3(0,0) 1|3(0,-1) 1|3(0,-1) 1 3(-1,0) 1|3(1,1)");
    EXPECT_EQ(p->recombinantCount, 3);
}

// A parent's missing allele is one allele. Child 4's 1 can only be the
// father's missing allele, so child 3's 2 is his typed one, not the missing
// one its neighbour would name: one recombinant, not none.
TEST(CountRecombinants, AParentsMissingAlleleIsOneAllele)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 0 0\n1 2 0 0 2 0 0 3 4 0 0\n"
                        "1 3 1 2 1 0 0 1 3 2 2\n1 4 1 2 1 0 0 1 3 1 2\n");
    setLoci(*p->member(1), "1|2(0,0) 0|2(0,0)");
    setLoci(*p->member(2), "3|4(0,0) 2|1(0,0)");
    setLoci(*p->member(3), "1|3(0,0) 2|2(-1,0)");
    setLoci(*p->member(4), "1|3(0,0) 1|2(1,0)");
    countRecombinants(*p);
    EXPECT_EQ(loci(*p, 3), "1|3(0,0) 2|2(1,0)");
    EXPECT_EQ(loci(*p, 4), "1|3(0,0) 1|2(0,0)");
    EXPECT_EQ(p->recombinantCount, 1);
}

TEST(FlankingSources, NearestDeterminedSourcesAroundALocusAndTheirCode)
{
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 1 2\n", 7, false);
    Individual& m = p->members.begin()->second;
    setLoci(m, "1|2(1,-1) 1|2(-1,-1) 1|2(1,0) 1|2(-1,-1) 1|2(0,-1)");
    EXPECT_EQ(flankingSources(m, 0, 1), std::make_pair(1, 1));
    EXPECT_EQ(flankCode(m, 0, 1), 1);
    EXPECT_EQ(flankCode(m, 0, 2), 2);  // (1,0): the locus itself is not read
    EXPECT_EQ(flankCode(m, 0, 3), 2);
    EXPECT_EQ(flankCode(m, 0, 4), 3);  // (1,-1)
    EXPECT_EQ(flankCode(m, 0, 0), 5);  // (-1,1)
    EXPECT_EQ(flankCode(m, 1, 1), 4);  // (-1,0)
    EXPECT_EQ(flankCode(m, 1, 3), 6);  // (0,-1)
    EXPECT_EQ(flankCode(m, 1, 2), -1); // (-1,-1)
    setLoci(m, "1|2(0,-1) 1|2(-1,-1) 1|2(1,-1) 1|2(0,-1) 1|2(0,-1)");
    EXPECT_EQ(flankCode(m, 0, 1), 7); // (0,1)
    EXPECT_EQ(flankCode(m, 0, 4), 6);
    EXPECT_EQ(flankCode(m, 0, 3), 2);
    EXPECT_EQ(sourceSummary(m, 0), 2);
    EXPECT_EQ(sourceSummary(m, 1), -1);
    setLoci(m, "1|2(0,1) 1|2(-1,1) 1|2(0,-1) 1|2(-1,1) 1|2(0,-1)");
    EXPECT_EQ(sourceSummary(m, 0), 0);
    EXPECT_EQ(sourceSummary(m, 1), 1);
}

} // namespace
} // namespace tavirlen
