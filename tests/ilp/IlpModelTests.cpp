#include "ilp/IlpModel.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

using test::readFamily;

// Base id of the member with this id at locus l.
int base(const Pedigree& p, int id, int l)
{
    return variableId(p.member(id)->memberIndex, l, 0);
}

struct Built {
    std::unique_ptr<Pedigree> pedigree;
    std::unique_ptr<IlpModel> model;
};

Built build(const std::string& lines, std::vector<float> weights = {})
{
    Built b;
    b.pedigree = readFamily(lines);
    b.pedigree->markerWeights = weights;
    if (weights.empty()) b.pedigree->markerWeights.assign(static_cast<std::size_t>(b.pedigree->locusCount), 1.0f);
    b.model = std::make_unique<IlpModel>(*b.pedigree);
    testing::internal::CaptureStdout();
    buildModel(*b.model);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    return b;
}

TEST(IlpModel, VariableIdsFollowMemberLocusAndKind)
{
    EXPECT_EQ(variableId(0, 0, 0), 100000);
    EXPECT_EQ(variableId(2, 7, 91), 300791);
    EXPECT_EQ(variableMemberIndex(300791), 2);
    EXPECT_EQ(variableLocus(300791), 7);
    EXPECT_EQ(variableKind(300791), 91);
}

TEST(IlpModel, FoundersOnlyGetGenotypeRowsAndFixesOnly)
{
    Built b = build("1 1 0 0 1 0 0 1 2 1 2\n"
                    "1 2 0 0 2 0 0 1 1 2 2\n"
                    "1 3 0 0 1 0 0 0 0 1 2\n");
    const Pedigree& p = *b.pedigree;
    const IlpModel& m = *b.model;
    int b1 = base(p, 1, 1);
    int b3 = base(p, 3, 0);
    std::vector<IlpRow> expected{{b1, b1 + 1, 1}, {b1 + 2, b1 + 3, 1}, {b1, b1 + 2, 1}, {b1 + 1, b1 + 3, 1},
                                 {b3, b3 + 1, 1}, {b3 + 2, b3 + 3, 1}};
    EXPECT_EQ(m.equalityRows, expected);
    EXPECT_TRUE(m.inequalityRows.empty());
    EXPECT_TRUE(m.objectiveVariables.empty());
    // Member 1's first heterozygous locus is fixed in input order; member 3's
    // first one is locus 1, since locus 0 is untyped.
    EXPECT_EQ(m.fixedValue(base(p, 1, 0)), 1);
    EXPECT_EQ(m.fixedValue(base(p, 1, 0) + 3), 1);
    EXPECT_EQ(m.fixedValue(base(p, 1, 0) + 1), 0);
    EXPECT_EQ(m.fixedValue(base(p, 3, 1)), 1);
    EXPECT_EQ(m.fixedValue(base(p, 3, 1) + 3), 1);
    // Homozygous member 2: allele 1 at locus 0, allele 2 at locus 1.
    EXPECT_EQ(m.fixedValue(base(p, 2, 1) + 1), 1);
    EXPECT_EQ(m.fixedValue(base(p, 2, 1) + 3), 1);
    EXPECT_EQ(m.fixedValue(base(p, 2, 1)), 0);
    EXPECT_TRUE(p.member(2)->genotypes[1].phased);
    EXPECT_FALSE(p.member(1)->genotypes[1].phased);
}

TEST(IlpModel, OneAlleleLocusFixesBothAllelesOfEveryMember)
{
    Built b = build("1 1 0 0 1 0 0 5 5 1 2\n"
                    "1 2 0 0 2 0 0 0 0 1 1\n"
                    "1 3 1 2 1 0 0 5 0 1 2\n");
    const Pedigree& p = *b.pedigree;
    EXPECT_EQ(b.model->distinctAlleleCounts, (std::vector<int>{1, 2}));
    for (int id : {1, 2, 3}) {
        EXPECT_EQ(b.model->fixedValue(base(p, id, 0)), 1) << id;
        EXPECT_EQ(b.model->fixedValue(base(p, id, 0) + 1), 1) << id;
    }
    // The child's typed allele has a missing partner, so it is not ordered:
    // the general inheritance rows tie it to its parents.
    int c = base(p, 3, 0);
    int f = base(p, 1, 0);
    int mo = base(p, 2, 0);
    std::vector<IlpRow> firstRows(b.model->inequalityRows.begin(), b.model->inequalityRows.begin() + 4);
    EXPECT_EQ(firstRows, (std::vector<IlpRow>{{c, -f, -(c + 90), 0},
                                              {c, -(f + 1), c + 90, 1},
                                              {c + 1, -mo, -(c + 91), 0},
                                              {c + 1, -(mo + 1), c + 91, 1}}));
}

TEST(IlpModel, SingleLocusHasNoRecombinationRowsAndNoObjective)
{
    Built b = build("1 1 0 0 1 0 0 1 2\n"
                    "1 2 0 0 2 0 0 3 0\n"
                    "1 3 1 2 1 0 0 2 3\n");
    for (const IlpRow& row : b.model->inequalityRows)
        for (std::size_t i = 0; i + 1 < row.size(); ++i) EXPECT_LT(variableKind(std::abs(row[i])), 92);
    EXPECT_TRUE(b.model->objectiveVariables.empty());
}

TEST(IlpModel, FounderHeterozygousAtTwoLociIsFixedAtTheFirstOnly)
{
    Built b = build("1 1 0 0 1 0 0 1 1 1 1 2 1 1 1 1 1 1 2\n"
                    "1 2 0 0 2 0 0 1 1 1 1 1 2 1 1 1 1 2 2\n"
                    "1 3 1 2 1 0 0 1 1 1 1 1 1 1 1 1 1 1 2\n");
    const Pedigree& p = *b.pedigree;
    const IlpModel& m = *b.model;
    int at2 = base(p, 1, 2);
    // Input order (2, 1): the paternal allele is rank 1, the maternal rank 0.
    EXPECT_EQ(m.fixedValue(at2 + 1), 1);
    EXPECT_EQ(m.fixedValue(at2 + 2), 1);
    EXPECT_EQ(m.fixedValue(at2), 0);
    EXPECT_EQ(m.fixedValue(at2 + 3), 0);
    EXPECT_TRUE(p.member(1)->genotypes[2].phased);
    int at5 = base(p, 1, 5);
    EXPECT_EQ(m.fixedValue(at5), -1);
    EXPECT_FALSE(p.member(1)->genotypes[5].phased);
    std::vector<IlpRow> expected{{at5, at5 + 1, 1}, {at5 + 2, at5 + 3, 1}, {at5, at5 + 2, 1}, {at5 + 1, at5 + 3, 1}};
    std::vector<IlpRow> rows(m.equalityRows.begin(), m.equalityRows.begin() + 4);
    EXPECT_EQ(rows, expected);
}

TEST(IlpModel, HomozygousFatherLeavesTheChildsPaternalSourceOpen)
{
    Built b = build("1 1 0 0 1 0 0 1 1 1 1\n"
                    "1 2 0 0 2 0 0 1 2 1 2\n"
                    "1 3 1 2 1 0 0 1 2 2 1\n");
    const Pedigree& p = *b.pedigree;
    const IlpModel& m = *b.model;
    int c = base(p, 3, 0);
    EXPECT_EQ(m.fixedValue(c), 1);           // paternal allele 1
    EXPECT_EQ(m.fixedValue(c + 2 + 1), 1);   // maternal allele 2
    EXPECT_EQ(m.fixedValue(c + 90), -1);
    // The mother is phased in input order (1, 2): allele 2 is her allele2.
    EXPECT_EQ(m.fixedValue(c + 91), 1);
    const GenotypeRecord& g = p.member(3)->genotypes[0];
    EXPECT_TRUE(g.phased);
    EXPECT_EQ(g.allele1, 1);
    EXPECT_EQ(g.allele2, 2);
    // At locus 1 the mother is unphased: her allele variables enter rows.
    int c1 = base(p, 3, 1);
    int m1 = base(p, 2, 1);
    EXPECT_EQ(p.member(3)->genotypes[1].allele1, 1);
    EXPECT_EQ(p.member(3)->genotypes[1].allele2, 2);
    bool found = false;
    for (const IlpRow& row : m.inequalityRows) found = found || row == IlpRow{-(m1 + 1), -(c1 + 91), -1};
    EXPECT_TRUE(found);
}

TEST(IlpModel, RecombinationRowsAndWeightedObjective)
{
    Built b = build("1 1 0 0 1 0 0 1 2 1 2 1 2\n"
                    "1 2 0 0 2 0 0 3 4 3 4 3 4\n"
                    "1 3 1 2 1 0 0 0 0 0 0 0 0\n",
                    {0.1f, 0.25f});
    const Pedigree& p = *b.pedigree;
    int c0 = base(p, 3, 0);
    int c1 = base(p, 3, 1);
    EXPECT_EQ(b.model->objectiveVariables, (std::vector<int>{c0 + 92, c0 + 93, c1 + 92, c1 + 93}));
    EXPECT_EQ(b.model->objectiveWeights, (std::vector<float>{0.1f, 0.1f, 0.25f, 0.25f}));
    int p0 = c0 + 90;
    int q0 = c1 + 90;
    int r0 = c0 + 92;
    std::vector<IlpRow> xorRows{{r0, -p0, -q0, 0}, {r0, p0, q0, 2}, {-r0, p0, -q0, 0}, {-r0, -p0, q0, 0}};
    auto& rows = b.model->inequalityRows;
    auto at = std::search(rows.begin(), rows.end(), xorRows.begin(), xorRows.end());
    EXPECT_NE(at, rows.end());
}

TEST(IlpModel, FixingReportsBadIdsAndConflictsAndKeepsTheFirstValue)
{
    Built b = build("1 1 0 0 1 0 0 1 2 1 2\n"
                    "1 2 0 0 2 0 0 1 2 1 2\n"
                    "1 3 1 2 1 0 0 1 2 1 2\n");
    IlpModel& m = *b.model;
    int v = base(*b.pedigree, 3, 1) + 90;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(m.fixVariable(v, 1));
    EXPECT_TRUE(m.fixVariable(v, 1));
    EXPECT_FALSE(m.fixVariable(v, 0));
    EXPECT_FALSE(m.fixVariable(0, 1));
    EXPECT_FALSE(m.fixVariable(-5, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "possible Mendelian errors: at locus 2\nVar 0 should larger than 0\nVar -5 should larger than 0\n");
    EXPECT_EQ(m.fixedValue(v), 1);
    EXPECT_EQ(m.fixConflicts, 1);
}

TEST(IlpModel, SchemeLimits)
{
    auto many = readFamily("1 1 0 0 1 0 0 1 2\n", 7, false);
    for (int id = 2; id <= 23; ++id) {
        std::string line = "1 " + std::to_string(id) + " 0 0 1 0 0 " + std::to_string(2 * id - 1) + " "
            + std::to_string(2 * id);
        auto extra = readFamily(line + "\n", 7, false);
        many->members.emplace(id, extra->members.at(id));
    }
    auto problem = ilpSchemeProblem(*many);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(*problem, "46 distinct alleles at locus 1, more than the 45 the integer programme can number");

    many->members.erase(23);
    EXPECT_FALSE(ilpSchemeProblem(*many).has_value());

    auto longFamily = readFamily("1 1 0 0 1 0 0" + std::string(1001, ' ') + "\n", 7, false);
    for (auto& [id, m] : longFamily->members) m.genotypes.resize(1001);
    EXPECT_EQ(*ilpSchemeProblem(*longFamily), "1001 loci, more than the 1000 the integer programme can number");

    longFamily->members.begin()->second.memberIndex = 999;
    longFamily->members.begin()->second.genotypes.resize(3);
    EXPECT_TRUE(ilpSchemeProblem(*longFamily).has_value());
}

} // namespace
} // namespace tavirlen
