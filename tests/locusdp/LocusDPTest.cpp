#include "locusdp/LocusDP.h"
#include "locusdp/LocusDPTestSupport.h"
#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tavirlen::test {
namespace {

std::unique_ptr<Pedigree> mendelPhased(const std::string& lines)
{
    auto pedigree = readFamily(lines, 7, false);
    pedigree->prepare();
    phaseByMendel(*pedigree);
    return pedigree;
}

const PhasingTreeNode* nodeOf(const PhasingTree& tree, int memberId, bool standIn = false)
{
    for (const PhasingTreeNode& node : tree.nodes)
        if (node.memberId == memberId && node.standIn == standIn) return &node;
    return nullptr;
}

std::vector<int> membersOf(const PhasingTree& tree, const std::vector<int>& nodes)
{
    std::vector<int> ids;
    for (int n : nodes) ids.push_back(tree.nodes[static_cast<std::size_t>(n)].memberId);
    return ids;
}

std::string datLocus(const Pedigree& pedigree, int id, std::size_t k)
{
    const GenotypeRecord& g = pedigree.member(id)->genotypes[k];
    std::ostringstream text;
    if (g.phased)
        text << g.allele1 << "|" << g.allele2;
    else
        text << g.allele1 << " " << g.allele2;
    return text.str();
}

// Grandparents homozygous for different alleles fix the father's phase as 1|2
// everywhere; the child's paternal alleles run 1, 1, 2, 2. In the second
// family the father is homozygous at the second locus.
const char* fourLoci = "1 1 0 0 1 0 0 1 1 1 1 1 1 1 1\n"
                       "1 2 0 0 2 0 0 2 2 2 2 2 2 2 2\n"
                       "1 3 1 2 1 0 0 1 2 1 2 1 2 1 2\n"
                       "1 4 0 0 2 0 0 3 3 3 3 3 3 3 3\n"
                       "1 5 3 4 1 0 0 3 1 1 3 3 2 2 3\n";
const char* fourLociUninformative = "1 1 0 0 1 0 0 1 1 1 1 1 1 1 1\n"
                                    "1 2 0 0 2 0 0 2 2 1 1 2 2 2 2\n"
                                    "1 3 1 2 1 0 0 1 2 1 1 1 2 1 2\n"
                                    "1 4 0 0 2 0 0 3 3 3 3 3 3 3 3\n"
                                    "1 5 3 4 1 0 0 3 1 1 3 3 2 2 3\n";

TEST(TransmissionCost, CountsChangesOfSourceAndSkipsHomozygousParents)
{
    auto informative = mendelPhased(fourLoci);
    EXPECT_EQ(transmissionCost(*informative, 3, 0, 4, 0, 5, 0), 1);
    // The father is told by his sex, not by the argument order.
    EXPECT_EQ(transmissionCost(*informative, 4, 0, 3, 0, 5, 0), 1);
    auto uninformative = mendelPhased(fourLociUninformative);
    EXPECT_EQ(transmissionCost(*uninformative, 3, 0, 4, 0, 5, 0), 1);

    // The same through the whole programme: nothing is open, the count stays.
    EXPECT_EQ(phaseFamily(fourLoci)->recombinantCount, 1);
    EXPECT_EQ(phaseFamily(fourLociUninformative)->recombinantCount, 1);
}

// The father is untyped at the middle locus, where the child's paternal 4 can
// tell nothing. Counting it as his second haplotype would make the programme
// prefer a father phase with one counted recombinant over one with none.
TEST(TransmissionCost, ParentLocusWithAMissingAlleleTellsNothing)
{
    const char* family = "1 1 0 0 1 0 0 1 2 0 0 2 1\n"
                         "1 2 0 0 2 0 0 3 3 3 3 3 3\n"
                         "1 3 1 2 1 0 0 1 3 3 4 1 3\n";
    auto pedigree = mendelPhased(family);
    EXPECT_EQ(transmissionCost(*pedigree, 1, 0, 2, 0, 3, 0), 0);
    EXPECT_EQ(transmissionCost(*pedigree, 1, 1, 2, 0, 3, 0), 1);
    auto phased = phaseFamily(family);
    EXPECT_EQ(datLocus(*phased, 1, 2), "1|2");
    EXPECT_EQ(phased->recombinantCount, 0);
}

TEST(TransmissionCost, StateBitsOrderTheOpenLociLowestBitFirst)
{
    auto pedigree = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2\n"
                               "1 2 0 0 2 0 0 1 2 1 2 1 2 1 2\n"
                               "1 3 1 2 1 0 0 2 1 2 1 2 1 2 1\n");
    for (int parent : {1, 2})
        for (GenotypeRecord& g : pedigree->member(parent)->genotypes) g.phased = true;
    // Bit set: 2 from the father (his second haplotype), 1 from the mother (her first).
    EXPECT_EQ(transmissionCost(*pedigree, 1, 0, 2, 0, 3, 0b0000), 0);
    EXPECT_EQ(transmissionCost(*pedigree, 1, 0, 2, 0, 3, 0b1100), 2);
    EXPECT_EQ(transmissionCost(*pedigree, 1, 0, 2, 0, 3, 0b0101), 6);
    EXPECT_EQ(transmissionCost(*pedigree, 1, 0, 2, 0, 3, 0b0001), 2);
}

TEST(LocusDP, FamilyPhasedByTheMendelianPassIsLeftAsItIs)
{
    auto before = mendelPhased(fourLoci);
    PhasingTree tree = buildPhasingTree(*before);
    ASSERT_EQ(tree.nodes.size(), 5u);
    for (const PhasingTreeNode& node : tree.nodes) EXPECT_EQ(node.openLocusCount, 0);

    auto mendelOnly = mendelPhased(fourLoci);
    countRecombinants(*mendelOnly);
    EXPECT_EQ(writtenFamily(*phaseFamily(fourLoci)), writtenFamily(*mendelOnly));
}

TEST(LocusDP, TreeOfANuclearFamilyRootedAtAChild)
{
    auto pedigree = mendelPhased("1 5 0 0 1 0 0 1 2\n"
                                 "1 6 0 0 2 0 0 1 2\n"
                                 "1 2 5 6 1 0 0 1 2\n"
                                 "1 3 5 6 2 0 0 1 1\n"
                                 "1 4 5 6 2 0 0 2 2\n"
                                 "1 7 0 0 2 0 0 3 3\n"
                                 "1 8 2 7 1 0 0 1 3\n");
    PhasingTree tree = buildPhasingTree(*pedigree);
    const PhasingTreeNode& root = tree.nodes[static_cast<std::size_t>(tree.root)];
    EXPECT_EQ(root.memberId, 2);
    EXPECT_EQ(membersOf(tree, root.upList), (std::vector<int>{5, 6, 3, 4}));
    EXPECT_EQ(membersOf(tree, root.downList), (std::vector<int>{7, 8}));
    EXPECT_EQ(root.neighbourCount, 6);
    for (int id : {5, 6, 3, 4, 7, 8}) {
        ASSERT_NE(nodeOf(tree, id), nullptr) << id;
        EXPECT_EQ(nodeOf(tree, id)->neighbourCount, 0) << id;
    }
}

TEST(LocusDP, FamilyOfOneMemberOrdersItsOpenLociSmallerAlleleFirst)
{
    TempDir dir;
    // Loci 0 and 1 are open; the Mendelian pass fixes locus 3 (the first
    // heterozygous one after a homozygous one) as it was read.
    writeFile("one.txt", "5 9 0 0 1 x y 2 1 4 3 5 5 7 6\n");
    RunResult run = runTavirlen({"-l", "one.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(readFile("one.dat"), "5-9\nM\n  ,  \n1|2(0,0)\n3|4(0,0)\n5|5(0,0)\n7|6(0,0)\n\n\n\n\n\n\n");
    EXPECT_EQ(readFile("one.out"), "5\t9\t0\t0\t1\t0\t0\t1|2\t3|4\t5|5\t7|6\t0000\t0000\n");
    EXPECT_EQ(maskTimes(readFile("one.res")),
              "Family\t # of Rec\t Time used(Sec)\n5\t 0\t <time>\nTotal Time used(Sec):\t<time>\n\n");
}

TEST(LocusDP, FounderLinkedToNobodyGetsNoNodeAndStaysOpen)
{
    const char* family = "2 1 0 0 1 0 0 1 2 3 4\n"
                         "2 2 0 0 2 0 0 5 6 7 8\n"
                         "2 3 1 2 1 0 0 1 5 3 7\n"
                         "2 4 0 0 2 0 0 2 1 4 3\n";
    auto pedigree = mendelPhased(family);
    PhasingTree tree = buildPhasingTree(*pedigree);
    EXPECT_EQ(tree.placed, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(nodeOf(tree, 4), nullptr);

    auto phased = phaseFamily(family);
    EXPECT_EQ(datLocus(*phased, 4, 0), "2|1"); // fixed by the Mendelian pass
    EXPECT_EQ(datLocus(*phased, 4, 1), "4 3");
    EXPECT_EQ(datLocus(*phased, 1, 1), "3|4");
    EXPECT_EQ(phased->recombinantCount, 0);
}

// An untyped founder has open loci, but both orders of 0 0 are one pair: they
// take no state bit and are written phased as they are.
TEST(LocusDP, UntypedLociAddNoStates)
{
    const char* family = "4 1 0 0 1 0 0 0 0 0 0 0 0\n"
                         "4 2 0 0 2 0 0 2 1 2 1 2 1\n"
                         "4 3 1 2 1 0 0 2 1 1 2 2 1\n";
    auto pedigree = mendelPhased(family);
    PhasingTree tree = buildPhasingTree(*pedigree);
    EXPECT_EQ(nodeOf(tree, 1)->openLocusCount, 0);
    EXPECT_EQ(nodeOf(tree, 2)->openLocusCount, 2);

    auto phased = phaseFamily(family);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(datLocus(*phased, 1, k), "0|0") << k;
    EXPECT_EQ(phased->recombinantCount, 0);
}

// The father's open second locus decides which of two children recombines:
// both of his states cost one, and the lower one (smaller allele first) wins
// although the file lists the larger first.
TEST(LocusDP, EqualCostRootStatesApplyTheLowerState)
{
    const char* family = "3 1 0 0 1 0 0 1 2 2 1\n"
                         "3 2 0 0 2 0 0 3 3 3 3\n"
                         "3 3 1 2 1 0 0 1 3 1 3\n"
                         "3 4 1 2 2 0 0 1 3 2 3\n";
    auto pedigree = mendelPhased(family);
    PhasingTree tree = buildPhasingTree(*pedigree);
    for (std::size_t i = tree.nodes.size(); i-- > 0;) solveNode(tree, static_cast<int>(i));
    const PhasingTreeNode& root = tree.nodes[static_cast<std::size_t>(tree.root)];
    ASSERT_EQ(root.states.size(), 2u);
    EXPECT_EQ(root.states[0].cost, 1);
    EXPECT_EQ(root.states[1].cost, 1);
    EXPECT_EQ(root.states[1].stateIndex, 1);

    auto phased = phaseFamily(family);
    EXPECT_EQ(datLocus(*phased, 1, 1), "1|2");
    EXPECT_EQ(phased->recombinantCount, 1);
}

// Individual 1 has children by 2 (4 and 6) and by 3 (5). Each child is costed
// with its own mother; taking the first mate for every child would cost one
// recombinant here where none is needed.
TEST(LocusDP, MemberWithTwoMatesHasEachChildCostedWithItsOwnMother)
{
    const char* family = "1 1 0 0 1 0 0 1 2 1 2 2 2\n"
                         "1 2 0 0 2 0 0 1 2 2 1 2 1\n"
                         "1 3 0 0 2 0 0 1 2 1 2 2 1\n"
                         "1 4 1 2 1 0 0 2 1 1 1 2 2\n"
                         "1 5 1 3 2 0 0 1 2 1 1 2 1\n"
                         "1 6 1 2 1 0 0 2 2 2 1 2 1\n";
    auto pedigree = mendelPhased(family);
    PhasingTree tree = buildPhasingTree(*pedigree);
    const PhasingTreeNode& root = tree.nodes[static_cast<std::size_t>(tree.root)];
    EXPECT_EQ(membersOf(tree, root.downList), (std::vector<int>{2, 4, 6, 3, 5}));
    EXPECT_EQ(root.downMate, (std::vector<int>{-1, 0, 0, -1, 3}));

    auto asRead = readFamily(family);
    auto phased = phaseFamily(family);
    EXPECT_EQ(exhaustiveMinimum(*asRead), 0);
    EXPECT_EQ(phased->recombinantCount, 0);
    EXPECT_EQ(configurationProblem(*phased, *asRead), "");
}

// First cousins 7 and 8 have a child: the loop is cut at a stand-in for 4,
// and 8's mother 6, linked to the rest only through 8, still gets her node.
const char* cousins = "6 1 0 0 1 0 0 1 2 1 2 1 2\n"
                      "6 2 0 0 2 0 0 3 3 1 3 2 3\n"
                      "6 3 1 2 1 0 0 1 3 1 3 2 3\n"
                      "6 4 1 2 2 0 0 2 3 2 1 2 2\n"
                      "6 5 0 0 2 0 0 2 1 2 3 1 3\n"
                      "6 6 0 0 1 0 0 1 2 2 1 3 1\n"
                      "6 7 3 5 1 0 0 1 2 3 3 2 3\n"
                      "6 8 6 4 2 0 0 1 2 1 2 1 2\n"
                      "6 9 7 8 1 0 0 1 2 3 1 3 2\n";

// Two brothers (8, 71) married to two sisters (46, 16), and 8 also has a
// child by 1. The programme costs the loop at stand-ins and lands on two
// recombinants where one would do.
const char* siblingsMarryingSiblings = "1 66 0 0 1 0 0 1 2 1 1\n"
                                       "1 98 0 0 2 0 0 1 2 2 1\n"
                                       "1 8 66 98 1 0 0 1 2 2 1\n"
                                       "1 71 66 98 1 0 0 1 2 1 2\n"
                                       "1 48 66 98 1 0 0 2 2 1 1\n"
                                       "1 78 0 0 1 0 0 1 2 2 2\n"
                                       "1 17 0 0 2 0 0 1 2 2 1\n"
                                       "1 46 78 17 2 0 0 2 1 2 2\n"
                                       "1 16 78 17 2 0 0 2 2 2 1\n"
                                       "1 55 8 46 2 0 0 1 1 1 2\n"
                                       "1 1 0 0 2 0 0 2 2 1 1\n"
                                       "1 85 8 1 1 0 0 1 2 1 1\n"
                                       "1 30 71 16 1 0 0 2 2 2 2\n"
                                       "1 90 71 16 2 0 0 1 2 2 1\n";

TEST(LocusDP, LoopsAreCutAtStandInsAndEveryLinkedMemberIsPhased)
{
    auto pedigree = mendelPhased(cousins);
    PhasingTree tree = buildPhasingTree(*pedigree);
    EXPECT_EQ(tree.placed, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    const PhasingTreeNode* standIn = nodeOf(tree, 4, true);
    ASSERT_NE(standIn, nullptr);
    EXPECT_EQ(tree.nodes[static_cast<std::size_t>(standIn->treeParent)].memberId, 8);
    EXPECT_EQ(standIn->neighbourCount, 0);

    for (const char* family : {cousins, siblingsMarryingSiblings}) {
        auto asRead = readFamily(family);
        auto phased = phaseFamily(family);
        EXPECT_EQ(configurationProblem(*phased, *asRead), "") << family;
        EXPECT_EQ(recountRecombinants(*phased), phased->recombinantCount) << family;
        EXPECT_GE(phased->recombinantCount, exhaustiveMinimum(*asRead)) << family;
    }
    // A mate reached before her children: 16 is placed under 71 before 8's
    // mate 46 is expanded, so 46 meets her parents as stand-ins.
    auto loop = mendelPhased(siblingsMarryingSiblings);
    PhasingTree loopTree = buildPhasingTree(*loop);
    EXPECT_NE(nodeOf(loopTree, 78, true), nullptr);
    EXPECT_NE(nodeOf(loopTree, 17, true), nullptr);
    EXPECT_EQ(loopTree.placed.size(), 14u);
}

// More forced recombinants than a 32767 sentinel allows: every state still
// records its combination, so the father's and the child's open last locus
// are phased. With the sentinel the father's states record none, and the
// trace-back never reaches the child.
TEST(LocusDP, CostsAbove32767StillTraceBackThroughTheTree)
{
    const int loci = 33000;
    std::ostringstream text;
    auto line = [&](int id, int father, int mother, int sex, auto alleles) {
        text << "1 " << id << " " << father << " " << mother << " " << sex << " 0 0";
        for (int k = 0; k < loci; ++k) {
            auto [a, b] = alleles(k, k == loci - 1);
            text << " " << a << " " << b;
        }
        text << "\n";
    };
    using Pair = std::pair<int, int>;
    line(1, 0, 0, 1, [](int, bool last) { return last ? Pair{1, 2} : Pair{1, 1}; });
    line(2, 0, 0, 2, [](int, bool last) { return last ? Pair{1, 2} : Pair{2, 2}; });
    line(3, 1, 2, 1, [](int, bool) { return Pair{1, 2}; });
    line(4, 0, 0, 2, [](int, bool last) { return last ? Pair{1, 2} : Pair{3, 3}; });
    line(5, 3, 4, 1, [](int k, bool last) { return last ? Pair{1, 2} : Pair{k % 2 + 1, 3}; });

    auto asRead = readFamily(text.str());
    auto phased = phaseFamily(text.str());
    EXPECT_EQ(configurationProblem(*phased, *asRead), "");
    EXPECT_GE(phased->recombinantCount, loci - 2);
    EXPECT_EQ(recountRecombinants(*phased), phased->recombinantCount);

    auto sentinel = mendelPhased(text.str());
    runFullRecordingDP(*sentinel);
    EXPECT_FALSE(sentinel->member(5)->genotypes.back().phased);
}

TEST(LocusDPMode, FamilyOverTheLimitsIsNamedAndWrittenAsRead)
{
    TempDir dir;
    std::ostringstream text;
    auto line = [&](int family, int id, int father, int mother, int sex, const char* pair, int loci) {
        text << family << " " << id << " " << father << " " << mother << " " << sex << " 0 0";
        for (int k = 0; k < loci; ++k) text << " " << pair;
        text << "\n";
    };
    // Two founders with 39 open loci each: far beyond memory.
    line(7, 1, 0, 0, 1, "2 1", 40);
    line(7, 2, 0, 0, 2, "3 4", 40);
    line(7, 3, 1, 2, 1, "1 3", 40);
    // 20 open loci each: the tables fit, the work does not.
    line(8, 1, 0, 0, 1, "1 2", 21);
    line(8, 2, 0, 0, 2, "3 4", 21);
    line(8, 3, 1, 2, 1, "1 3", 21);
    // A small family after them is still phased.
    line(9, 1, 0, 0, 1, "1 2", 2);
    line(9, 2, 0, 0, 2, "1 1", 2);
    line(9, 3, 1, 2, 1, "2 1", 2);
    writeFile("big.txt", text.str());

    RunResult run = runTavirlen({"-l", "big.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Family 7 left unphased: the locus-based programme would need about 4.8e+13 bytes of "
              "tables (limit 1.1e+09); individual 1 has 39 open loci\n"
              "Family 8 left unphased: the locus-based programme would need about 2.3e+13 locus "
              "comparisons (limit 1e+10); individual 1 has 20 open loci\n");
    EXPECT_EQ(maskTimes(readFile("big.res")), "Family\t # of Rec\t Time used(Sec)\n"
                                              "7\t 0\t <time>\n"
                                              "8\t 0\t <time>\n"
                                              "9\t 0\t <time>\n"
                                              "Total Time used(Sec):\t<time>\n\n");
    std::string dat = readFile("big.dat");
    // Written as read: alleles in file order, nothing phased, sources untouched.
    std::string tenLoci;
    for (int k = 0; k < 10; ++k) tenLoci += "2 1\n";
    EXPECT_EQ(dat.substr(0, dat.find("7-2\n")), "7-1\nM\n  ,  \n" + tenLoci);
    std::string undetermined;
    for (int k = 0; k < 40; ++k) undetermined += "-1";
    EXPECT_NE(readFile("big.out").find("\t1|3\t" + undetermined + "\t" + undetermined + "\n"), std::string::npos);
    EXPECT_NE(dat.find("9-3\nM\n9-1 , 9-2\n2|1(1,-1)\n2|1(1,-1)\n"), std::string::npos);
}

} // namespace
} // namespace tavirlen::test
