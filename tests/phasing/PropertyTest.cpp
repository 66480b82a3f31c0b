#include "RandomFamilies.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

// Changes of source along one side, counted over the determined sources.
int recount(const Individual& m, int side)
{
    int count = 0;
    int last = -1;
    for (const GenotypeRecord& g : m.genotypes) {
        int s = g.source(side);
        if (s == -1) continue;
        if (last != -1 && s != last) ++count;
        last = s;
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

TEST_P(BlockExtensionProperty, RandomCompleteFamiliesAreReorderedMendelianAndCountedFromTheirSources)
{
    std::mt19937 engine(20240611);
    test::RandomFamilyOptions options = GetParam().options;
    int sourceMismatches = 0;
    int checkedSources = 0;
    for (int family = 1; family <= 400; ++family) {
        std::string text = test::randomFamilyText(engine, family, options);
        auto input = test::readFamily(text);
        ASSERT_TRUE(input);
        const std::map<int, Individual> asRead = input->members;
        DatasetSummary summary;
        Pedigree& p = summary.addPedigree(std::move(input));
        seedRandom(static_cast<unsigned>(family));
        ::testing::internal::CaptureStdout();
        bool phased = runBlockExtension(p);
        std::string printed = ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(phased) << text;
        EXPECT_EQ(printed, "") << text;

        int recounted = 0;
        for (const auto& [id, m] : p.members) {
            const Individual& read = asRead.at(id);
            for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
                const GenotypeRecord& g = m.genotypes[k];
                const GenotypeRecord& r = read.genotypes[k];
                EXPECT_EQ(std::minmax(g.allele1, g.allele2), std::minmax(r.allele1, r.allele2))
                    << "family " << family << " member " << id << " locus " << k << "\n" << text;
                if (m.isFounder()) continue;
                const GenotypeRecord& f = p.member(m.fatherId)->genotypes[k];
                const GenotypeRecord& mo = p.member(m.motherId)->genotypes[k];
                EXPECT_TRUE(g.allele1 == f.allele1 || g.allele1 == f.allele2)
                    << "family " << family << " member " << id << " locus " << k << "\n" << text << describe(p);
                EXPECT_TRUE(g.allele2 == mo.allele1 || g.allele2 == mo.allele2)
                    << "family " << family << " member " << id << " locus " << k << "\n" << text << describe(p);
                for (int side = 0; side < 2; ++side) {
                    const GenotypeRecord& parent = side == 0 ? f : mo;
                    if (!g.phased || !parent.phased || parent.homozygousTyped() || g.source(side) == -1) continue;
                    ++checkedSources;
                    if (g.allele(side) != parent.allele(g.source(side))) ++sourceMismatches;
                }
            }
            if (!m.isFounder()) recounted += recount(m, 0) + recount(m, 1);
        }
        EXPECT_EQ(p.recombinantCount, recounted) << text;
    }
    std::cout << "sources checked " << checkedSources << ", contradicting the alleles " << sourceMismatches << "\n";
}

INSTANTIATE_TEST_SUITE_P(Shapes, BlockExtensionProperty,
    ::testing::Values(Shape{"microsatellites", {2, 12, 4, 5, 3, 0.1}},
                      Shape{"snps", {2, 20, 2, 6, 3, 0.05}},
                      Shape{"manyAlleles", {2, 10, 10, 4, 3, 0.2}},
                      Shape{"fourGenerations", {2, 8, 3, 4, 4, 0.15}},
                      Shape{"longBlocks", {90, 110, 3, 3, 2, 0.02}},
                      Shape{"highRecombination", {3, 15, 4, 6, 3, 0.5}}),
    [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavirlen
