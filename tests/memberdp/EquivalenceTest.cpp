#include "memberdp/MemberDP.h"
#include "memberdp/OptimalPaths.h"
#include "memberdp/RandomFamilies.h"
#include "memberdp/ReferenceMemberDP.h"
#include "memberdp/StateLayout.h"
#include "pedigree/Random.h"
#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>
#include <sstream>

namespace tavirlen {
namespace {

struct Written {
    long long count = 0;
    std::string out, dat, res, printed;
};

template <class Solve>
Written capture(Solve solve)
{
    Written w;
    std::FILE* out = std::tmpfile();
    std::ostringstream dat, res;
    testing::internal::CaptureStdout();
    w.count = solve(out, dat, res);
    w.printed = testing::internal::GetCapturedStdout();
    std::fflush(out);
    std::rewind(out);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) w.out.append(buffer, n);
    std::fclose(out);
    w.dat = dat.str();
    w.res = test::maskTimes(res.str());
    return w;
}

// Solves the family text with both programmes and expects the same files.
void expectSameFiles(const std::string& text)
{
    auto fast = test::readFamily(text);
    auto slow = test::readFamily(text);
    Written a = capture([&](std::FILE* o, std::ostream& d, std::ostream& r) { return solveByMemberDP(*fast, o, d, r); });
    Written b = capture([&](std::FILE* o, std::ostream& d, std::ostream& r) {
        return reference::solveByMemberDP(*slow, o, d, r);
    });
    ASSERT_GE(b.count, 0) << "the reference gave up on\n" << text;
    if (!a.printed.empty()) {
        // No state at some locus: nothing in the files. The reference writes
        // nothing either, except for a family typed at one locus, where every
        // state reaches locus 0 at once and each phase pattern is written.
        EXPECT_EQ(a.count, 0);
        EXPECT_EQ(a.out + a.dat + a.res, "");
        if (fast->locusCount > 1) {
            EXPECT_EQ(b.count, 0) << text;
        }
        return;
    }
    EXPECT_GT(a.count, 0) << text;
    EXPECT_EQ(a.count, b.count) << text;
    EXPECT_EQ(a.out, b.out) << text;
    EXPECT_EQ(a.dat, b.dat) << text;
    EXPECT_EQ(a.res, b.res) << text;
}

TEST(MemberDPEquivalence, RandomFamiliesGiveTheReferenceBytes)
{
    seedRandom(20240601);
    test::RandomFamilyOptions options;
    for (int family = 1; family <= 300; ++family) {
        options.maximumBits = family % 4 == 0 ? 12 : 10;
        expectSameFiles(test::randomFamilyText(family, options));
        if (HasFailure()) return;
    }
}

TEST(MemberDPEquivalence, TieRichFamiliesGiveTheReferenceBytes)
{
    // Two alleles, frequent changes of source and many missing alleles: many
    // optimal paths, many of them sharing a phase configuration.
    seedRandom(77);
    test::RandomFamilyOptions options;
    options.maximumAlleles = 2;
    options.switchPercent = 45;
    options.missingPercent = 20;
    options.errorPercent = 0;
    options.negativePercent = 0;
    options.maximumLoci = 7;
    for (int family = 1; family <= 200; ++family) {
        options.maximumBits = family % 5 == 0 ? 12 : 9;
        expectSameFiles(test::randomFamilyText(family, options));
        if (HasFailure()) return;
    }
}

TEST(MemberDPEquivalence, MultiAllelicFamiliesGiveTheReferenceBytes)
{
    seedRandom(4242);
    test::RandomFamilyOptions options;
    options.maximumAlleles = 6;
    options.missingPercent = 5;
    options.errorPercent = 1;
    options.maximumLoci = 5;
    for (int family = 1; family <= 90; ++family) {
        options.maximumBits = family % 3 == 0 ? 12 : 11;
        expectSameFiles(test::randomFamilyText(family, options));
        if (HasFailure()) return;
    }
}

TEST(MemberDPEquivalence, LargeFamiliesWriteSoundDistinctConfigurations)
{
    // Beyond the reach of the reference: every configuration written keeps
    // each member's two input alleles, gives every child its parents' alleles
    // as its sources say, recounts to the optimum and differs from the others.
    seedRandom(1999);
    test::RandomFamilyOptions options;
    options.maximumBits = 20;
    options.minimumLoci = 8;
    options.maximumLoci = 14;
    options.errorPercent = 0;
    options.negativePercent = 0;
    options.missingPercent = 3;
    int solved = 0;
    for (int family = 1; solved < 12 && family < 200; ++family) {
        const std::string text = test::randomFamilyText(family, options);
        auto p = test::readFamily(text);
        auto input = test::readFamily(text);
        // A founder without children has a free phase at every locus and
        // doubles the configurations locus by locus; such families are not
        // what this test is about.
        bool childless = false;
        for (const auto& [id, m] : p->members) childless = childless || (m.isFounder() && m.childIds.empty());
        if (childless || stateBitCount(*p) < 16) continue;

        StateLayout layout(*p);
        std::vector<LocusRules> rules;
        for (int l = 0; l < p->locusCount; ++l) rules.push_back(locusRules(*p, layout, l));
        SourceCosts costs = computeSourceCosts(layout, rules);
        ASSERT_EQ(costs.impossibleLocus, -1) << text;
        const long long optimum = costs.base.back();
        std::set<std::string> seen;
        long long written = writeOptimalConfigurations(*p, layout, rules, costs, [&] {
            std::string orders;
            for (auto& [id, m] : p->members) {
                for (int l = 0; l < p->locusCount; ++l) {
                    const GenotypeRecord& g = m.genotypes[static_cast<std::size_t>(l)];
                    const GenotypeRecord& read = input->member(id)->genotypes[static_cast<std::size_t>(l)];
                    ASSERT_TRUE(g.phased);
                    ASSERT_EQ(std::minmax(g.allele1, g.allele2), std::minmax(read.allele1, read.allele2));
                    orders += std::to_string(g.allele1) + "|" + std::to_string(g.allele2) + " ";
                    if (m.isFounder()) continue;
                    const GenotypeRecord& father = p->member(m.fatherId)->genotypes[static_cast<std::size_t>(l)];
                    const GenotypeRecord& mother = p->member(m.motherId)->genotypes[static_cast<std::size_t>(l)];
                    ASSERT_EQ(g.allele1, father.allele(g.paternalSource));
                    ASSERT_EQ(g.allele2, mother.allele(g.maternalSource));
                }
            }
            countRecombinants(*p);
            EXPECT_EQ(p->recombinantCount, optimum);
            EXPECT_TRUE(seen.insert(orders).second) << "written twice";
        });
        EXPECT_EQ(written, static_cast<long long>(seen.size()));
        EXPECT_GT(written, 0);
        ++solved;
    }
    EXPECT_EQ(solved, 12);
}

// ---------------------------------------------------------------------------
// The fewest recombinants by plain exhaustive search, for complete data: at
// every locus, every combination of allele orders and sources that fits
// Mendel, and every sequence of these over the loci.

struct Trio {
    int child, father, mother; // indexes into the member list
};

int exhaustiveRecombinants(const Pedigree& p)
{
    std::vector<const Individual*> members;
    for (const auto& [id, m] : p.members) members.push_back(&m);
    auto indexOf = [&](int id) {
        for (std::size_t i = 0; i < members.size(); ++i)
            if (members[i]->individualId == id) return static_cast<int>(i);
        return -1;
    };
    std::vector<Trio> trios;
    for (std::size_t i = 0; i < members.size(); ++i)
        if (!members[i]->isFounder()) trios.push_back({static_cast<int>(i), indexOf(members[i]->fatherId), indexOf(members[i]->motherId)});

    // Per locus, the distinct source vectors (2 bits per trio) that some
    // choice of allele orders allows.
    const int loci = p.locusCount;
    std::vector<std::vector<unsigned>> choices(static_cast<std::size_t>(loci));
    for (int l = 0; l < loci; ++l) {
        std::set<unsigned> vectors;
        const std::size_t n = members.size();
        for (unsigned orders = 0; orders < (1u << n); ++orders) {
            auto allele = [&](int member, int side) {
                const GenotypeRecord& g = members[static_cast<std::size_t>(member)]->genotypes[static_cast<std::size_t>(l)];
                return ((orders >> member) & 1) ? g.allele(1 - side) : g.allele(side);
            };
            for (unsigned sources = 0; sources < (1u << (2 * trios.size())); ++sources) {
                bool fits = true;
                for (std::size_t t = 0; t < trios.size() && fits; ++t) {
                    const int sp = (sources >> (2 * t)) & 1, sm = (sources >> (2 * t + 1)) & 1;
                    fits = allele(trios[t].child, 0) == allele(trios[t].father, sp)
                        && allele(trios[t].child, 1) == allele(trios[t].mother, sm);
                }
                if (fits) vectors.insert(sources);
            }
        }
        choices[static_cast<std::size_t>(l)].assign(vectors.begin(), vectors.end());
    }

    int best = INT_MAX;
    std::vector<unsigned> path;
    auto search = [&](auto&& self, int l, int cost) -> void {
        if (cost >= best) return; // nothing cheaper below; the search stays exhaustive
        if (l == loci) {
            best = cost;
            return;
        }
        for (unsigned v : choices[static_cast<std::size_t>(l)]) {
            int step = l == 0 ? 0 : __builtin_popcount(v ^ path.back());
            path.push_back(v);
            self(self, l + 1, cost + step);
            path.pop_back();
        }
    };
    search(search, 0, 0);
    return best;
}

TEST(MemberDPEquivalence, RecombinantCountEqualsExhaustiveSearch)
{
    seedRandom(31337);
    test::RandomFamilyOptions options;
    options.maximumBits = 11; // up to three children
    options.minimumLoci = 3;
    options.maximumLoci = 5;
    options.maximumAlleles = 3;
    options.missingPercent = 0;
    options.errorPercent = 0;
    options.negativePercent = 0;
    options.switchPercent = 30;
    int checked = 0;
    for (int family = 1; family <= 120; ++family) {
        auto p = test::readFamily(test::randomFamilyText(family, options));
        if (p->founderCount == static_cast<int>(p->members.size())) continue;
        Written w = capture([&](std::FILE* o, std::ostream& d, std::ostream& r) { return solveByMemberDP(*p, o, d, r); });
        ASSERT_GT(w.count, 0);
        const int expected = exhaustiveRecombinants(*p);
        // Every .res line carries the optimum.
        std::istringstream lines(w.res);
        for (std::string line; std::getline(lines, line);)
            EXPECT_EQ(line, std::to_string(family) + "\t " + std::to_string(expected) + "\t <time>");
        ++checked;
    }
    EXPECT_GT(checked, 80);
}

} // namespace
} // namespace tavirlen
