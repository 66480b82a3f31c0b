#include "ilp/MpsWriter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

class MpsWriter : public testing::Test {
protected:
    void SetUp() override
    {
        pedigree = test::readFamily("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 0 0 1 0 0 1 2\n");
        model = std::make_unique<IlpModel>(*pedigree);
    }
    std::unique_ptr<Pedigree> pedigree;
    std::unique_ptr<IlpModel> model;
};

TEST_F(MpsWriter, ModelWithoutRows)
{
    // A variable that is only in the objective is no column.
    model->objectiveVariables = {100092};
    model->objectiveWeights = {1.0f};
    std::string expected = "NAME          LPDCMP1" + std::string(59, ' ') + "\n" + "ROWS" + std::string(76, ' ')
        + "\n" + " N  OBJ" + std::string(73, ' ') + "\n"
        + "COLUMNS\n"
          "    INT1      'MARKER'                 'INTORG'\n"
          "    INT1END   'MARKER'                 'INTEND'\n"
          "RHS\n"
          "BOUNDS\n"
          "ENDATA\n";
    EXPECT_EQ(mpsText(*model), expected);
}

TEST_F(MpsWriter, WholeFileByteForByte)
{
    // Eleven equality rows, so that row 10 sorts before row 2 in a column.
    for (int i = 0; i < 11; ++i) model->equalityRows.push_back({100020 + i, 1});
    model->equalityRows[2] = {100002, 100003, 1};
    model->equalityRows[10] = {100002, -100004, 0};
    model->inequalityRows = {
        {100002, 100002, -100007, 1}, // one variable twice: one entry, coefficient 2
        {-100007, 100008, 0},
        {100009, -100009, 100005, -1}, // terms that cancel leave no entry
    };
    model->objectiveVariables = {100008, -100007, 100006, -100003, 100003, 100008, -100002};
    model->objectiveWeights = {0.5f, 1.0f, 7.0f, 2.0f, 1.0f, 3.0f, 0.03125f};
    EXPECT_EQ(mpsText(*model), test::readFile(test::testDataPath("ilp/writer.mps")));
}

// A tiny weight written as 0.0000 would make a recombination free there; the
// optimum with such an interval is still the configuration without any.
TEST_F(MpsWriter, APositiveWeightIsNeverWrittenAsZero)
{
    model->objectiveVariables = {100008, -100007};
    model->objectiveWeights = {0.00001f, 0.0906346f};
    model->equalityRows = {{100008, -100007, 0}};
    std::string text = mpsText(*model);
    EXPECT_NE(text.find("OBJ       1e-05\n"), std::string::npos) << text;
    EXPECT_NE(text.find("OBJ       -0.0906346\n"), std::string::npos) << text;

    test::TempDir dir;
    // The founders' phases are free, so the child can inherit whole
    // haplotypes: 0 recombinants, whatever the weights.
    test::writeFile("fam.txt", "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 3 4 3 4 3 4\n1 3 1 2 1 0 0 1 3 2 4 1 3\n");
    test::writeFile("markerdist.txt", "0.00001\n0.5\n");
    ASSERT_EQ(test::runTavirlen({"-i", "fam.txt", "--quiet"}).status, 0);
    EXPECT_NE(test::readFile("fam.res").find("\t1\t 0\t"), std::string::npos) << test::readFile("fam.res");
}

TEST_F(MpsWriter, WritesToAnOpenFile)
{
    model->equalityRows = {{100001, 100002, 1}, {100001, 1}, {100001, 1}, {100002, 1}};
    test::TempDir dir;
    std::FILE* file = std::fopen("model.msp", "w");
    ASSERT_TRUE(writeMps(*model, file));
    std::fclose(file);
    std::string text = test::readFile("model.msp");
    EXPECT_EQ(text, mpsText(*model));
    EXPECT_NE(text.find("    RHS001    E3        1\n"), std::string::npos);
    EXPECT_NE(text.find("    X100001   E0        1\n    X100001   E1        1\n"), std::string::npos);
}

} // namespace
} // namespace tavirlen
