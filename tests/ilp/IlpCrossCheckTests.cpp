// Checks of mode i against things that do not share its code: a second MIP
// solver reading the same model file, and an exhaustive search over all
// haplotype configurations of small families.
#include "ilp/IlpDriver.h"
#include "ilp/IlpReduction.h"
#include "ilp/MpsWriter.h"
#include "ilp/Solver.h"
#include "pedigree/Random.h"
#include "ResultCheck.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

struct Member {
    int id;
    int father;
    int mother;
    std::vector<std::array<int, 2>> haplotypes; // per locus: paternal, maternal
};

// A random family by gene dropping: two founders and their children, and for
// some families a child with a mate of its own and grandchildren. Children
// inherit with occasional changes of source; genotypes are written unordered
// and, when asked, some are left untyped.
std::string randomFamily(int familyId, int loci, int alleles, int missingPercent)
{
    std::vector<Member> members;
    auto founder = [&](int id) {
        Member m{id, 0, 0, {}};
        for (int l = 0; l < loci; ++l) m.haplotypes.push_back({1 + rand() % alleles, 1 + rand() % alleles});
        members.push_back(m);
    };
    auto child = [&](int id, int fatherIndex, int motherIndex) {
        Member m{id, members[static_cast<std::size_t>(fatherIndex)].id,
                 members[static_cast<std::size_t>(motherIndex)].id, {}};
        std::array<int, 2> source{rand() % 2, rand() % 2};
        for (int l = 0; l < loci; ++l) {
            std::array<int, 2> alleleAt{};
            for (int side = 0; side < 2; ++side) {
                if (rand() % 100 < 25) source[static_cast<std::size_t>(side)] ^= 1;
                const Member& parent = members[static_cast<std::size_t>(side == 0 ? fatherIndex : motherIndex)];
                alleleAt[static_cast<std::size_t>(side)] =
                    parent.haplotypes[static_cast<std::size_t>(l)][static_cast<std::size_t>(source[static_cast<std::size_t>(side)])];
            }
            m.haplotypes.push_back(alleleAt);
        }
        members.push_back(m);
    };
    founder(1);
    founder(2);
    int children = 1 + rand() % 3;
    for (int c = 0; c < children; ++c) child(3 + c, 0, 1);
    if (rand() % 2 == 0) {
        founder(10);
        int parentIndex = 2;
        int mateIndex = static_cast<int>(members.size()) - 1;
        bool childIsFather = rand() % 2 == 0;
        for (int g = 0; g < 1 + rand() % 2; ++g)
            child(20 + g, childIsFather ? parentIndex : mateIndex, childIsFather ? mateIndex : parentIndex);
    }
    std::ostringstream text;
    for (const Member& m : members) {
        text << familyId << " " << m.id << " " << m.father << " " << m.mother << " 1 0 0";
        for (const auto& pair : m.haplotypes) {
            bool swap = rand() % 2 == 0;
            bool missing = rand() % 100 < missingPercent;
            text << " " << (missing ? 0 : pair[swap ? 1 : 0]) << " " << (missing ? 0 : pair[swap ? 0 : 1]);
        }
        text << "\n";
    }
    return text.str();
}

// The fewest recombinants of any haplotype configuration of a fully typed
// family: every phase of every parent is tried, and each child's sources
// (and, for children without children, their own phase) follow by a small
// programme over the loci.
int exhaustiveRecombinants(const Pedigree& pedigree)
{
    const int loci = pedigree.locusCount;
    std::vector<int> parents;
    for (const auto& [id, m] : pedigree.members)
        if (!m.childIds.empty()) parents.push_back(id);
    std::vector<std::pair<int, int>> choices; // (parent, locus) with two orders
    for (int id : parents)
        for (int l = 0; l < loci; ++l) {
            const GenotypeRecord& g = pedigree.member(id)->genotypes[static_cast<std::size_t>(l)];
            if (g.allele1 != g.allele2) choices.push_back({id, l});
        }
    const int impossible = 1 << 20;
    int best = impossible;
    for (unsigned long mask = 0; mask < (1ul << choices.size()); ++mask) {
        std::map<int, std::vector<std::array<int, 2>>> phase;
        for (int id : parents)
            for (const GenotypeRecord& g : pedigree.member(id)->genotypes) phase[id].push_back({g.allele1, g.allele2});
        for (std::size_t c = 0; c < choices.size(); ++c)
            if ((mask >> c) & 1ul) std::swap(phase[choices[c].first][static_cast<std::size_t>(choices[c].second)][0],
                                             phase[choices[c].first][static_cast<std::size_t>(choices[c].second)][1]);
        int total = 0;
        for (const auto& [id, m] : pedigree.members) {
            if (m.isFounder()) continue;
            const auto& father = phase[m.fatherId];
            const auto& mother = phase[m.motherId];
            // cost[s1][s2]: fewest changes so far ending with these sources.
            std::array<std::array<int, 2>, 2> cost{};
            for (int l = 0; l < loci; ++l) {
                const auto locus = static_cast<std::size_t>(l);
                std::vector<std::array<int, 2>> orders;
                if (phase.count(id))
                    orders.push_back(phase[id][locus]);
                else
                    orders = {{m.genotypes[locus].allele1, m.genotypes[locus].allele2},
                              {m.genotypes[locus].allele2, m.genotypes[locus].allele1}};
                std::array<std::array<int, 2>, 2> next{};
                for (int s1 = 0; s1 < 2; ++s1)
                    for (int s2 = 0; s2 < 2; ++s2) {
                        bool fits = false;
                        for (const auto& order : orders)
                            fits = fits || (father[locus][static_cast<std::size_t>(s1)] == order[0]
                                            && mother[locus][static_cast<std::size_t>(s2)] == order[1]);
                        int reach = impossible;
                        for (int p1 = 0; p1 < 2 && fits; ++p1)
                            for (int p2 = 0; p2 < 2; ++p2)
                                reach = std::min(reach, cost[static_cast<std::size_t>(p1)][static_cast<std::size_t>(p2)]
                                                     + (l > 0 && p1 != s1) + (l > 0 && p2 != s2));
                        next[static_cast<std::size_t>(s1)][static_cast<std::size_t>(s2)] = fits ? reach : impossible;
                    }
                cost = next;
            }
            total += std::min({cost[0][0], cost[0][1], cost[1][0], cost[1][1]});
        }
        best = std::min(best, total);
    }
    return best;
}

TEST(IlpCrossCheck, RecombinantsEqualAnExhaustiveSearch)
{
    seedRandom(7);
    for (int round = 0; round < 60; ++round) {
        std::string family = randomFamily(round + 1, 3 + rand() % 3, 2 + rand() % 3, 0);
        test::TempDir dir;
        test::writeFile("fam.txt", family);
        test::RunResult run = test::runTavirlen({"-i", "fam.txt"});
        std::istringstream res(test::readFile("fam.res"));
        std::string line;
        std::getline(res, line);
        std::getline(res, line);
        int solutions = 0;
        int solution = 0;
        int familyId = 0;
        int recombinants = -1;
        std::istringstream fields(line);
        fields >> solutions >> solution >> familyId >> recombinants;
        ASSERT_EQ(familyId, round + 1) << run.output << family;

        auto pedigree = test::readFamily(family);
        EXPECT_EQ(recombinants, exhaustiveRecombinants(*pedigree)) << family;
        test::expectConsistentResult(family, test::readFile("fam.out"), test::readFile("fam.res"));
    }
}

TEST(IlpCrossCheck, ResultsWithUntypedGenotypesFitTheirInput)
{
    seedRandom(19);
    for (int round = 0; round < 30; ++round) {
        std::string family = randomFamily(round + 1, 3 + rand() % 4, 2 + rand() % 3, 20);
        test::TempDir dir;
        test::writeFile("fam.txt", family);
        test::RunResult run = test::runTavirlen({"-i", "fam.txt"});
        // A family with an untyped locus is skipped; a written one is sound.
        if (run.output.find("missing all alleles on some markers!") != std::string::npos) continue;
        EXPECT_EQ(run.output.find("Family"), std::string::npos) << run.output;
        test::expectConsistentResult(family, test::readFile("fam.out"), test::readFile("fam.res"));
    }
}

// Reads glpsol's printed solution: its status and objective value.
bool readGlpkSolution(const std::string& path, std::string& status, double& objective)
{
    std::ifstream in(path);
    std::string line;
    bool found = false;
    while (std::getline(in, line)) {
        if (line.rfind("Status:", 0) == 0) status = line.substr(line.find_first_not_of(' ', 7));
        std::size_t at = line.find("OBJ = ");
        if (line.rfind("Objective:", 0) == 0 && at != std::string::npos) {
            objective = std::strtod(line.c_str() + at + 6, nullptr);
            found = true;
        }
    }
    return found;
}

TEST(IlpCrossCheck, AnotherSolverFindsTheSameOptimumInTheSameModelFile)
{
    if (std::system("command -v glpsol > /dev/null 2>&1") != 0) GTEST_SKIP() << "glpsol is not installed";
    seedRandom(11);
    int compared = 0;
    for (int round = 0; round < 40; ++round) {
        std::string family = randomFamily(round + 1, 3 + rand() % 4, 2 + rand() % 3, 15);
        auto pedigree = test::readFamily(family);
        testing::internal::CaptureStdout();
        bool consistent = pedigree->checkMendel();
        testing::internal::GetCapturedStdout();
        bool untypedLocus = false;
        for (int l = 0; l < pedigree->locusCount; ++l) {
            bool typed = false;
            for (const auto& [id, m] : pedigree->members)
                typed = typed || m.genotypes[static_cast<std::size_t>(l)].allele1 > 0;
            untypedLocus = untypedLocus || !typed;
        }
        // Mode i leaves such families out before it builds a model.
        if (!consistent || untypedLocus) continue;
        pedigree->markerWeights.clear();
        for (int l = 1; l < pedigree->locusCount; ++l)
            pedigree->markerWeights.push_back(0.01f * static_cast<float>(1 + rand() % 50));

        test::TempDir dir;
        IlpModel model(*pedigree);
        testing::internal::CaptureStdout();
        buildModel(model);
        bool reduced = reduceModel(model);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(reduced) << family;
        std::string text = mpsText(model);
        if (text.find("    X") == std::string::npos) continue; // nothing left to solve
        test::writeFile("model.msp", text);
        SolverOutcome cbc = solveModelFile("model.msp", "TavirlenILP.log");
        ASSERT_EQ(std::system("glpsol --freemps model.msp --min -o glpk.txt > glpk.log 2>&1"), 0)
            << test::readFile("glpk.log");
        std::string status;
        double objective = 0;
        ASSERT_TRUE(readGlpkSolution("glpk.txt", status, objective)) << test::readFile("glpk.log");
        ASSERT_EQ(cbc.status, SolverStatus::optimal) << family;
        EXPECT_EQ(status, "INTEGER OPTIMAL");
        EXPECT_NEAR(cbc.objectiveValue, objective, 1e-6) << family;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

} // namespace
} // namespace tavirlen
