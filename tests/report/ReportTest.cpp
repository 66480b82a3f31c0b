// The drawn pedigree: layout, founder haplotype colours, the page.
#include "ReportFiles.h"

#include "report/FounderHaplotypes.h"
#include "report/PedigreeLayout.h"
#include "report/PedigreeSvg.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFamily;

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Every member placed once, below its parents, and no two member boxes
// (each holding its symbol) overlapping.
PedigreeLayout expectSoundLayout(const Pedigree& pedigree)
{
    PedigreeLayout layout = layoutPedigree(pedigree, LayoutSizes{});
    EXPECT_EQ(layout.members.size(), pedigree.members.size());
    for (std::size_t a = 0; a < layout.members.size(); ++a) {
        const PlacedMember& m = layout.members[a];
        for (std::size_t b = a + 1; b < layout.members.size(); ++b)
            EXPECT_FALSE(m.box.intersects(layout.members[b].box)) << m.id << " and " << layout.members[b].id;
        EXPECT_TRUE(m.box.x >= 0 && m.box.right() <= layout.width && m.box.bottom() <= layout.height) << m.id;
        for (int parent : {pedigree.member(m.id)->fatherId, pedigree.member(m.id)->motherId})
            if (const PlacedMember* p = layout.find(parent)) {
                EXPECT_GT(m.row, p->row) << m.id;
            }
    }
    return layout;
}

// Nobody of the row stands between the two.
bool sideBySide(const PedigreeLayout& layout, int a, int b)
{
    const PlacedMember *pa = layout.find(a), *pb = layout.find(b);
    if (pa->row != pb->row) return false;
    for (const PlacedMember& m : layout.members)
        if (m.row == pa->row && m.box.x > std::min(pa->box.x, pb->box.x) && m.box.x < std::max(pa->box.x, pb->box.x))
            return false;
    return true;
}

// Founders, then children of any man and any woman already there, now and
// then someone marrying in: remarriages, half-siblings, loops of all kinds.
std::string randomStructure(std::mt19937& engine)
{
    std::ostringstream text;
    std::vector<int> men, women;
    int next = 1;
    auto add = [&](int father, int mother, int sex) {
        text << "1 " << next << ' ' << father << ' ' << mother << ' ' << sex << " 0 0 1 2\n";
        (sex == 1 ? men : women).push_back(next++);
    };
    for (unsigned i = 0, n = 2 + engine() % 3; i < n; ++i) add(0, 0, 1 + i % 2);
    for (unsigned c = 0, n = 3 + engine() % 14; c < n; ++c) {
        if (engine() % 4 == 0) add(0, 0, 1 + engine() % 2);
        add(men[engine() % men.size()], women[engine() % women.size()], 1 + engine() % 2);
    }
    return text.str();
}

TEST(PedigreeLayout, SymbolsNeverOverlapAndSpousesSitTogether)
{
    // Two brothers marry two sisters: their children, double cousins, close a loop.
    auto loop = readFamily("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 0 0 1 0 0 1 2\n1 4 0 0 2 0 0 1 2\n"
                           "1 5 1 2 1 0 0 1 2\n1 6 1 2 1 0 0 1 2\n1 7 3 4 2 0 0 1 2\n1 8 3 4 2 0 0 1 2\n"
                           "1 9 5 7 1 0 0 1 2\n1 10 6 8 2 0 0 1 2\n1 11 5 7 2 0 0 1 2\n");
    PedigreeLayout layout = expectSoundLayout(*loop);
    EXPECT_EQ(layout.rows, 3);
    EXPECT_TRUE(sideBySide(layout, 5, 7) || sideBySide(layout, 6, 8));

    // A father with children by two wives; the second wife also has a child
    // by a second husband; a daughter marries in a founder.
    auto half = readFamily("2 1 0 0 1 0 0 1 2\n2 2 0 0 2 0 0 1 2\n2 3 0 0 2 0 0 1 2\n2 4 1 2 1 0 0 1 2\n"
                           "2 5 1 2 2 0 0 1 2\n2 6 1 3 1 0 0 1 2\n2 7 1 3 2 0 0 1 2\n2 8 0 0 1 0 0 1 2\n"
                           "2 9 8 3 1 0 0 1 2\n2 10 0 0 1 0 0 1 2\n2 11 10 5 1 0 0 1 2\n");
    layout = expectSoundLayout(*half);
    for (auto [a, b] : {std::pair{1, 2}, {1, 3}, {3, 8}, {5, 10}}) EXPECT_TRUE(sideBySide(layout, a, b)) << a << b;
    EXPECT_EQ(layout.find(10)->row, 1); // beside his wife, not among the founders above

    std::mt19937 engine(18);
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
        std::string text = randomStructure(engine);
        SCOPED_TRACE(text);
        expectSoundLayout(*readFamily(text));
    }
}

TEST(FounderHaplotypes, ColoursChangeExactlyWhereTheSourcesChange)
{
    // Founders 1, 2 (haplotypes 0-3) and 3 (4, 5); 4 is the child of 1 and
    // 2, 5 the child of 3 and 4.
    auto p = readFamily("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 1 2 1 2\n1 2 0 0 2 0 0 3 4 3 4 3 4 3 4 3 4 3 4\n"
                        "1 3 0 0 1 0 0 5 6 5 6 5 6 5 6 5 6 5 6\n1 4 1 2 2 0 0 1 4 1 4 2 4 2 4 2 4 2 4\n"
                        "1 5 3 4 1 0 0 5 4 5 4 5 1 5 2 5 2 5 2\n");
    auto setSources = [&](int id, int side, std::vector<int> sources) {
        for (std::size_t k = 0; k < sources.size(); ++k) p->member(id)->genotypes[k].source(side) = sources[k];
    };
    for (auto& [id, m] : p->members)
        for (GenotypeRecord& g : m.genotypes) g.phased = true;
    setSources(4, 0, {0, 0, 0, 1, 1, 1});
    setSources(4, 1, {1, 1, 1, 1, -1, 1});
    setSources(5, 0, {0, 0, 0, 0, 0, 0});
    setSources(5, 1, {1, 1, 0, 0, 0, 0});
    p->member(5)->genotypes[5].phased = false;

    FounderHaplotypes founders(*p);
    EXPECT_EQ(founders.trace(1, 1), std::vector<int>(6, 1));
    EXPECT_EQ(founders.trace(4, 0), (std::vector<int>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(founders.trace(4, 1), (std::vector<int>{3, 3, 3, 3, -1, 3}));
    EXPECT_EQ(founders.trace(5, 0), (std::vector<int>{4, 4, 4, 4, 4, -1}));
    // Its own crossover at 2, its mother's at 3, unphased at 5.
    EXPECT_EQ(founders.trace(5, 1), (std::vector<int>{3, 3, 0, 1, 1, -1}));
    EXPECT_EQ(founders.crossovers(5, 1), std::vector<int>{2});
    EXPECT_EQ(founders.crossovers(4, 1), std::vector<int>{});

    // Drawn: one rectangle per run of a colour, a tick per own crossover.
    std::string svg = drawPedigreeSvg(*p, nullptr);
    EXPECT_EQ(occurrences(svg, "class=\"xo\""), 2);
    EXPECT_EQ(occurrences(svg, "class=\"k3\""), 4);
    EXPECT_EQ(occurrences(svg, "class=\"kx\""), 3);
}

TEST(HtmlReport, ThePageOfTheExampleIsUnchangedAndTicksEveryRecombinant)
{
    std::ifstream input(std::string(TAVIRLEN_TEST_DATA) + "/../../examples/family.txt");
    HtmlReport report("Haplotypes of family.txt");
    test::ReportTotals totals = test::addPhasedFamilies(input, 7, report);
    // Ids and marker names are written escaped; an untyped child of unknown sex.
    auto named = readFamily("7 1 0 0 1 0 0 1 2\n7 2 0 0 2 0 0 1 1\n7 3 1 2 0 0 0 0 0\n");
    named->familyName = "x&y";
    named->idNames = {{1, "a<b"}, {2, "\"c\""}};
    MarkerMap map;
    map.names = {"rs<1>"};
    report.addFamily(*named, {"phased", "none", 0, "-", 1}, &map);
    std::ostringstream out;
    ASSERT_TRUE(report.write(out));
    const std::string page = out.str(), expected = test::readFile(test::testDataPath("report/family.html"));
    auto differ = std::mismatch(expected.begin(), expected.end(), page.begin(), page.end());
    if (differ.first != expected.end() || differ.second != page.end()) {
        test::writeFile("family.html.actual", page);
        ADD_FAILURE() << "the page differs from the expected one (see family.html.actual) from: "
                      << page.substr(differ.second - page.begin(), 80);
    }
    EXPECT_EQ(occurrences(page, "class=\"xo\""), totals.recombinants + 1); // one in the legend
    EXPECT_EQ(occurrences(page, "class=\"sym\""), totals.members + 3);
}

TEST(HtmlReport, ThePageOfFiveHundredFamiliesStaysSmall)
{
    std::ifstream input(std::string(TAVIRLEN_REALDATA) + "/MathematicalMedicine__kelvin__chr5.pre");
    if (!input) GTEST_SKIP() << "the real data folder is absent";
    HtmlReport report;
    test::ReportTotals totals = test::addPhasedFamilies(input, 6, report);
    std::ostringstream page;
    ASSERT_TRUE(report.write(page));
    EXPECT_GT(report.familyCount(), 450u);
    EXPECT_EQ(occurrences(page.str(), "class=\"sym\""), totals.members);
    EXPECT_LE(page.str().size(), 20u * 1000 * 1000);
    std::cout << "chr5 page: " << page.str().size() << " bytes, " << report.familyCount() << " families\n";
}

} // namespace
} // namespace tavirlen
