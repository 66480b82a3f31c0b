#include "pedigree/DatasetSummary.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFamily;

std::unique_ptr<Pedigree> prepared(const std::string& lines)
{
    auto p = readFamily(lines);
    p->missingAlleleCount = 0;
    for (const auto& [id, m] : p->members) p->missingAlleleCount += m.missingAlleleCount;
    return p;
}

TEST(DatasetSummary, CountsFoundersAllelesAndFreeLoci)
{
    DatasetSummary summary;
    testing::internal::CaptureStdout();
    summary.addPedigree(prepared("1 1 0 0 1 0 0 1 2 1 3\n1 2 0 0 2 0 0 1 1 0 0\n1 3 1 2 1 0 0 1 1 1 3\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(summary.founderCount, 2);
    EXPECT_EQ(summary.individualCount, 3);
    EXPECT_EQ(summary.missingAlleleCount, 2);
    EXPECT_EQ(summary.alleleCounts[0], (std::map<int, int>{{1, 3}, {2, 1}}));
    EXPECT_EQ(summary.alleleCounts[1], (std::map<int, int>{{0, 2}, {1, 1}, {3, 1}}));
    EXPECT_EQ(summary.heterozygousCounts, (std::vector<int>{1, 1}));
    // Founder 1: 2 heterozygous - 1; founder 2: 0 - 1; child: locus 1 has a missing parent allele.
    EXPECT_EQ(summary.freeLocusCount, 1);

    summary.countFounderHaplotypes();
    EXPECT_EQ(summary.haplotypeCounts(), (std::map<std::string, int>{{"10", 2}, {"11", 1}, {"23", 1}}));

    std::ostringstream res;
    summary.writeStatistics(res);
    summary.writeLocusStatistics(res);
    EXPECT_EQ(res.str(),
              "Missing rate: 0.166667\n\n"
              "PedigreeID\tLog10(likelihood)\n1\t1\n\n"
              "Haplotype\tFrequency\n10\t0.5\n11\t0.25\n23\t0.25\n"
              "Total Number of Founders\t2;\tTotal Number of Loci\t2;\tTotal Number of Free Loci\t1\n"
              "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n"
              "0\t1\t0.75\t2\t0.25\t0.5\n"
              "1\t0\t0.5\t1\t0.25\t3\t0.25\t0.5\n");
}

TEST(DatasetSummary, LocusStatisticsSwitchToFiveDigits)
{
    DatasetSummary summary;
    summary.addPedigree(prepared("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 0 0 2 0 0 1 1\n"));
    summary.countFounderHaplotypes();
    std::ostringstream res;
    summary.writeStatistics(res);
    summary.writeLocusStatistics(res);
    std::string text = res.str();
    EXPECT_NE(text.find("1\t0.833333\n2\t0.166667\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0\t1\t0.83333\t2\t0.16667\t0.33333\n"), std::string::npos) << text;
}

TEST(DatasetSummary, HaplotypeTextsJoinLociWithoutSeparator)
{
    DatasetSummary summary;
    summary.addPedigree(prepared("1 1 0 0 1 0 0 1 11 12 2\n1 2 0 0 2 0 0 5 5 5 5\n1 3 1 2 1 0 0 1 5 12 5\n"));
    summary.countFounderHaplotypes();
    EXPECT_EQ(summary.haplotypeCounts().at("112"), 2);
}

TEST(DatasetSummary, KeepsEveryPedigreeOfARepeatedFamilyId)
{
    DatasetSummary summary;
    summary.addPedigree(prepared("5 1 0 0 1 0 0 1 1\n5 2 0 0 2 0 0 2 2\n5 3 1 2 1 0 0 1 2\n"));
    summary.addPedigree(prepared("3 1 0 0 1 0 0 3 3\n3 2 0 0 2 0 0 3 3\n3 3 1 2 1 0 0 3 3\n"));
    summary.addPedigree(prepared("5 7 0 0 1 0 0 4 4\n5 8 0 0 2 0 0 4 4\n5 9 7 8 1 0 0 4 4\n"));
    ASSERT_EQ(summary.pedigrees.size(), 3u);
    std::vector<int> firstIds;
    for (const auto& [familyId, p] : summary.pedigrees) firstIds.push_back(p->members.begin()->first);
    EXPECT_EQ(firstIds, (std::vector<int>{1, 1, 7}));
    EXPECT_EQ(std::next(summary.pedigrees.begin())->first, 5);
    summary.countFounderHaplotypes();
    int haplotypes = 0;
    for (const auto& [text, count] : summary.haplotypeCounts()) haplotypes += count;
    EXPECT_EQ(haplotypes, 2 * summary.founderCount);
    EXPECT_EQ(summary.haplotypeCounts().at("4"), 4);
}

TEST(DatasetSummary, LikelihoodUsesFounderFrequenciesAndSourceChanges)
{
    DatasetSummary summary;
    auto p = prepared("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1\n1 3 1 2 1 0 0 1 1 2 1\n");
    Pedigree& kept = summary.addPedigree(std::move(p));
    Individual& child = kept.members.at(3);
    child.genotypes[0].paternalSource = 0;
    child.genotypes[1].paternalSource = 1;
    child.genotypes[0].maternalSource = 0;
    child.genotypes[1].maternalSource = 0;
    summary.markerDistances = {0.1f};
    summary.computeLikelihoods();
    double f1 = std::log10(0.75), f2 = std::log10(0.25);
    double founders = (f1 + f2) * 2 + f1 * 4;
    double child3 = 2 * std::log10(0.5) + std::log10(0.1f) + std::log10(1 - 0.1f);
    EXPECT_NEAR(kept.log10Likelihood, founders + child3, 1e-5);

    DatasetSummary skipped;
    skipped.likelihoodSkipped = true;
    Pedigree& untouched = skipped.addPedigree(prepared("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n"));
    skipped.computeLikelihoods();
    EXPECT_EQ(untouched.log10Likelihood, 1.0f);
}

TEST(DatasetSummary, EmptyDataSetPrintsTheStreamsTextForDivisionByZero)
{
    DatasetSummary summary;
    summary.countFounderHaplotypes();
    std::ostringstream res;
    summary.writeStatistics(res);
    summary.writeLocusStatistics(res);
    std::ostringstream undefined;
    volatile double zero = 0.0;
    undefined << zero * 0.5 / (zero * zero);
    EXPECT_EQ(res.str(), "Missing rate: " + undefined.str() + "\n\nPedigreeID\tLog10(likelihood)\n\n"
                         "Haplotype\tFrequency\n"
                         "Total Number of Founders\t0;\tTotal Number of Loci\t0;\tTotal Number of Free Loci\t0\n"
                         "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n");
}

} // namespace
} // namespace tavirlen
