#include "PhasingTestSupport.h"
#include "RandomFamilies.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "phasing/Polish.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <cstdio>
#include <sstream>
#include <vector>

namespace tavirlen {
namespace {

// Changes of source in one run of source digits as the .out file writes it
// ("0", "1", "-1" per locus), counted over the determined sources.
int recount(const std::string& run)
{
    int count = 0;
    char last = 0;
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (run[i] == '-') {
            ++i; // an undetermined source
            continue;
        }
        if (last && run[i] != last) ++count;
        last = run[i];
    }
    return count;
}

// The recombinants in the family's .out block: both source runs of every
// member that has parents.
int recountWritten(const Pedigree& p)
{
    std::FILE* out = std::tmpfile();
    p.writeOut(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() < 9 || (fields[2] == "0" && fields[3] == "0")) continue;
        count += recount(fields[fields.size() - 2]) + recount(fields[fields.size() - 1]);
    }
    return count;
}

std::string describe(const Pedigree& p)
{
    std::ostringstream text;
    p.writeDat(text);
    return text.str();
}

struct Shape {
    const char* name;
    test::RandomFamilyOptions options;
};

class BlockExtensionProperty : public ::testing::TestWithParam<Shape> {};

// Typed alleles are kept (filled ones only added), every written source
// names the allele carried from a typed heterozygous parent, every child fits
// its parents, and the count is the one the written sources show.
void expectSoundResult(const Pedigree& p, const std::map<int, Individual>& asRead, const std::string& text)
{
    for (const auto& [id, m] : p.members) {
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            std::multiset<int> now{g.allele1, g.allele2};
            for (int typed : {asRead.at(id).genotypes[k].allele1, asRead.at(id).genotypes[k].allele2}) {
                if (typed < 1) continue;
                ASSERT_TRUE(now.count(typed)) << "member " << id << " locus " << k << "\n" << text;
                now.erase(now.find(typed));
            }
        }
    }
    test::WrittenFaults faults = test::writtenFaults(p);
    EXPECT_EQ(faults.wrongSources + faults.unfitAlleles, 0) << faults.first << "\n" << text << describe(p);
    EXPECT_EQ(p.recombinantCount, recountWritten(p)) << text;
}

// Polishing keeps all of that, never raises the count, draws nothing, and
// either completes the family (every locus phased, the count the alleles
// show) or leaves it exactly as block extension did.
void expectSoundPolish(Pedigree& p, const std::map<int, Individual>& asRead, const std::string& text)
{
    const int extended = p.recombinantCount;
    const std::string before = describe(p);
    seedRandom(5);
    polishPedigree(p, &asRead);
    const int next = tavirlen::rand();
    seedRandom(5);
    EXPECT_EQ(next, tavirlen::rand());
    EXPECT_LE(p.recombinantCount, extended) << text;
    SCOPED_TRACE("after polishing");
    expectSoundResult(p, asRead, text);
    bool complete = true;
    for (const auto& [id, m] : p.members)
        for (const GenotypeRecord& g : m.genotypes) complete = complete && g.phased;
    if (complete)
        EXPECT_EQ(p.recombinantCount, storedRecombinants(p)) << text << describe(p);
    else
        EXPECT_EQ(describe(p), before) << text;
}

TEST_P(BlockExtensionProperty, RandomFamiliesKeepTheirAllelesFitTheirParentsAndAreCountedFromTheirSources)
{
    std::mt19937 engine(20240611);
    test::RandomFamilyOptions options = GetParam().options;
    for (int family = 1; family <= 400; ++family) {
        std::string text = test::randomFamilyText(engine, family, options);
        auto input = test::readFamily(text, options.headerColumns);
        ASSERT_TRUE(input);
        const std::map<int, Individual> asRead = input->members;
        DatasetSummary summary;
        Pedigree& p = summary.addPedigree(std::move(input));
        seedRandom(static_cast<unsigned>(family));
        ::testing::internal::CaptureStdout();
        bool phased = runBlockExtension(p);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << text;
        ASSERT_TRUE(phased) << text;
        expectSoundResult(p, asRead, text);
        expectSoundPolish(p, asRead, text);
    }
}

// Options: loci, alleles, children, generations, recombination, header
// columns, shuffled ids, half-siblings, missing, least children.
INSTANTIATE_TEST_SUITE_P(Shapes, BlockExtensionProperty,
    ::testing::Values(Shape{"microsatellites", {2, 12, 4, 5, 3, 0.1}},
                      Shape{"snps", {2, 20, 2, 6, 3, 0.05}},
                      Shape{"manyAlleles", {2, 10, 10, 4, 3, 0.2}},
                      Shape{"fourGenerations", {2, 8, 3, 4, 4, 0.15}},
                      Shape{"longBlocks", {90, 130, 3, 3, 2, 0.02}},
                      Shape{"highRecombination", {3, 15, 4, 6, 3, 0.5}},
                      Shape{"sixColumnsShuffled", {3, 12, 3, 8, 2, 0.1, 6, true}},
                      Shape{"largeSibships", {3, 12, 2, 8, 2, 0.1, 6, true, 0, 0.05, 4}},
                      Shape{"halfSiblings", {3, 12, 3, 5, 3, 0.1, 6, true, 0.4, 0.05}},
                      Shape{"missingTenth", {3, 12, 3, 6, 3, 0.1, 7, true, 0.2, 0.1}},
                      Shape{"missingFifth", {3, 12, 2, 8, 3, 0.1, 6, true, 0.3, 0.2}}),
    [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

// Families with untyped members and missing alleles: filled alleles fit the
// children as written, no typed allele is lost, the count is still the one
// written, and nothing is read outside the data.
TEST(BlockExtensionRobustness, MissingAllelesAreFilledWithoutLosingTypedOnes)
{
    std::mt19937 engine(77);
    test::RandomFamilyOptions options{2, 10, 4, 5, 3, 0.1};
    std::uniform_real_distribution<double> chance(0, 1);
    int filled = 0;
    for (int family = 1; family <= 300; ++family) {
        auto input = test::readFamily(test::randomFamilyText(engine, family, options));
        ASSERT_TRUE(input);
        for (auto& [id, m] : input->members) {
            bool untyped = chance(engine) < 0.15;
            for (GenotypeRecord& g : m.genotypes) {
                double d = chance(engine);
                if (untyped || d < 0.1) g.allele1 = g.allele2 = 0;
                else if (d < 0.15) g.allele1 = 0;
                else if (d < 0.2) g.allele2 = 0;
            }
        }
        const std::map<int, Individual> asRead = input->members;
        DatasetSummary summary;
        Pedigree& p = summary.addPedigree(std::move(input));
        seedRandom(static_cast<unsigned>(family));
        ASSERT_TRUE(runBlockExtension(p));
        for (const auto& [id, m] : p.members) {
            for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
                const GenotypeRecord& g = m.genotypes[k];
                const GenotypeRecord& r = asRead.at(id).genotypes[k];
                std::multiset<int> now{g.allele1, g.allele2};
                for (int typed : {r.allele1, r.allele2}) {
                    if (typed == 0) continue;
                    ASSERT_TRUE(now.count(typed)) << "family " << family << " member " << id << " locus " << k;
                    now.erase(now.find(typed));
                }
                filled += static_cast<int>(std::count_if(now.begin(), now.end(), [](int a) { return a > 0; }));
            }
        }
        expectSoundResult(p, asRead, "family " + std::to_string(family));
    }
    EXPECT_GT(filled, 0);
}

// Only the order of allele numbers matters: renumbering them in order, across
// the small numbers held as bits and the large ones looked up, gives the same
// fills, phases and count.
TEST(BlockExtensionRobustness, RenumberingAllelesInOrderChangesNothing)
{
    std::mt19937 engine(91);
    test::RandomFamilyOptions options{2, 10, 8, 5, 3, 0.1, 7, true, 0.3, 0.15};
    auto renumbered = [](std::unique_ptr<Pedigree> p, int factor, int divisor) {
        for (auto& [id, m] : p->members)
            for (GenotypeRecord& g : m.genotypes)
                for (int side = 0; side < 2; ++side)
                    if (g.allele(side) > 0) g.allele(side) = g.allele(side) * factor / divisor;
        return p;
    };
    for (int family = 1; family <= 200; ++family) {
        const std::string text = test::randomFamilyText(engine, family, options);
        DatasetSummary plainSummary, spreadSummary;
        Pedigree& plain = plainSummary.addPedigree(test::readFamily(text));
        Pedigree& spread = spreadSummary.addPedigree(renumbered(test::readFamily(text), 21, 1));
        for (Pedigree* p : {&plain, &spread}) {
            seedRandom(static_cast<unsigned>(family));
            runBlockExtension(*p);
        }
        EXPECT_EQ(describe(*renumbered(std::make_unique<Pedigree>(spread), 1, 21)), describe(plain)) << text;
        EXPECT_EQ(spread.recombinantCount, plain.recombinantCount) << text;
    }
}
} // namespace
} // namespace tavirlen
