// Random families against an exhaustive search, and the kept-first-combination
// programme against the full-recording one.

#include "locusdp/LocusDP.h"
#include "locusdp/LocusDPTestSupport.h"
#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

namespace tavirlen::test {
namespace {

struct Tally {
    int compared = 0;
    int skipped = 0;
};

// Mode l's count is the exhaustive minimum, and the configuration it writes
// is complete, fits every trio and recounts to the written count.
void expectMinimal(const std::string& text, Tally& tally)
{
    auto asRead = readFamily(text, 7, true);
    int minimum = exhaustiveMinimum(*asRead, 18);
    if (minimum < 0) {
        ++tally.skipped;
        return;
    }
    ++tally.compared;
    auto phased = phaseFamily(text);
    EXPECT_EQ(phased->recombinantCount, minimum) << text;
    EXPECT_EQ(configurationProblem(*phased, *asRead), "") << text;
    EXPECT_EQ(recountRecombinants(*phased), phased->recombinantCount) << text;
}

TEST(LocusDPProperty, NuclearFamiliesReachTheExhaustiveMinimum)
{
    std::mt19937 rng(20240611);
    Tally tally;
    for (int i = 0; i < 300; ++i) {
        int loci = std::uniform_int_distribution<int>(1, 5)(rng);
        int alleles = std::uniform_int_distribution<int>(2, 4)(rng);
        expectMinimal(randomNuclearFamily(rng, loci, alleles), tally);
    }
    EXPECT_GT(tally.compared, 250);
}

// Three generations without loops, some with a member who has children by two
// mates, the lowest id anywhere in the pedigree.
TEST(LocusDPProperty, ThreeGenerationTreesReachTheExhaustiveMinimum)
{
    std::mt19937 rng(77031);
    Tally tally;
    for (int i = 0; i < 250; ++i) {
        int loci = std::uniform_int_distribution<int>(2, 3)(rng);
        int alleles = std::uniform_int_distribution<int>(2, 4)(rng);
        expectMinimal(randomThreeGenerationFamily(rng, loci, alleles), tally);
    }
    EXPECT_GT(tally.compared, 150);
}

// The same family with every allele of one founder missing.
std::string withUntypedFounder(const std::string& text, std::mt19937& rng)
{
    std::istringstream in(text);
    std::vector<std::vector<std::string>> lines;
    std::vector<std::size_t> founders;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        lines.emplace_back(std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>());
        if (lines.back()[2] == "0") founders.push_back(lines.size() - 1);
    }
    auto& untyped = lines[founders[rng() % founders.size()]];
    for (std::size_t i = 7; i < untyped.size(); ++i) untyped[i] = "0";
    std::string result;
    for (const auto& fields : lines) {
        for (const std::string& f : fields) result += f + " ";
        result += "\n";
    }
    return result;
}

// Keeping only the first tied combination of each state, and giving untyped
// loci no state bit, writes exactly what the first formulation writes. Two
// alleles and untransmitted haplotypes make ties the rule rather than the
// exception.
TEST(LocusDPProperty, KeepingTheFirstCombinationChangesNothing)
{
    std::mt19937 rng(5150);
    std::size_t mostCombinations = 0;
    std::size_t tiedRoots = 0;
    for (int i = 0; i < 120; ++i) {
        int loci = std::uniform_int_distribution<int>(2, 4)(rng);
        std::string text = i % 2 == 0 ? randomNuclearFamily(rng, loci, 2) : randomThreeGenerationFamily(rng, 3, 2);
        if (i % 3 == 0) text = withUntypedFounder(text, rng);
        auto probe = readFamily(text, 7, true);
        PhasingTree tree = buildPhasingTree(*probe);
        bool singleMates = true;
        for (const PhasingTreeNode& node : tree.nodes)
            if (node.standIn || std::count(node.downMate.begin(), node.downMate.end(), -1) > 1) singleMates = false;
        if (!singleMates) continue;

        auto kept = phaseFamily(text);
        auto full = readFamily(text, 7, false);
        full->prepare();
        phaseByMendel(*full);
        FullRecordingStats stats = runFullRecordingDP(*full);
        mostCombinations = std::max(mostCombinations, stats.mostCombinations);
        if (stats.tiedRootStates > 1) ++tiedRoots;
        EXPECT_EQ(writtenFamily(*kept), writtenFamily(*full)) << text;
    }
    // The comparison only means something if ties were actually recorded.
    EXPECT_GT(mostCombinations, 8u);
    EXPECT_GT(tiedRoots, 10u);
}

} // namespace
} // namespace tavirlen::test
