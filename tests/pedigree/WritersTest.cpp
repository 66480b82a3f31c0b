#include "pedigree/TextLine.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

namespace tavirlen {
namespace {

using test::readFamily;

std::string outText(const Pedigree& p)
{
    std::FILE* file = std::tmpfile();
    p.writeOut(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

TEST(Writers, DatBlockHasThirteenLinesWhateverTheLociCount)
{
    std::string twelve = "4 5 0 0 2 0 0";
    for (int k = 1; k <= 12; ++k) twelve += " " + std::to_string(k) + " " + std::to_string(k + 1);
    auto p = readFamily("4 9 5 8 1 0 0 1 2 3 4 0 0\n4 8 0 0 1 0 0 1 1 2 2 3 3\n" + twelve + "\n", 7, false);
    p->members.at(9).genotypes[1].phased = true;
    p->members.at(9).genotypes[1].paternalSource = 1;
    std::ostringstream dat;
    EXPECT_TRUE(p->writeDat(dat));
    std::string expected = "4-5\nF\n  ,  \n";
    for (int k = 1; k <= 10; ++k) expected += std::to_string(k) + " " + std::to_string(k + 1) + "\n";
    expected += "4-8\nM\n  ,  \n1 1\n2 2\n3 3\n\n\n\n\n\n\n\n";
    expected += "4-9\nM\n4-5 , 4-8\n1 2\n3|4(1,-1)\n0 0\n\n\n\n\n\n\n\n";
    EXPECT_EQ(dat.str(), expected);
}

TEST(Writers, OutLineShowsPairsAndSourceRuns)
{
    auto p = readFamily("2 3 1 2 2 x y 1 2 3 4 5 6\n", 7, false);
    Individual& m = p->members.at(3);
    int paternal[] = {0, 0, 1};
    int maternal[] = {1, -1, 1};
    for (int k = 0; k < 3; ++k) {
        m.genotypes[k].paternalSource = paternal[k];
        m.genotypes[k].maternalSource = maternal[k];
    }
    EXPECT_EQ(outText(*p), "2\t3\t1\t2\t2\t0\t0\t1|2\t3|4\t5|6\t001\t1-11\n");
}

TEST(Writers, ResLineGivesFamilyRecombinantsAndTime)
{
    auto p = readFamily("12 1 0 0 1 0 0 1 1\n", 7, false);
    p->recombinantCount = 3;
    std::ostringstream res;
    EXPECT_TRUE(p->writeRes(res));
    EXPECT_EQ(test::maskTimes(res.str()), "12\t 3\t <time>\n");
    EXPECT_GE(p->endClock, p->startClock);
}

// The statistics and the summary table format numbers in memory; they must
// read exactly as the stream wrote them, at any precision a stream is set to.
TEST(Writers, NumbersInMemoryReadAsTheStreamWritesThem)
{
    std::vector<double> values = {0.0, -0.0, 1.0, 0.1, 2.0 / 3, 123456.5, 1234567.0, 9.5e-5, 1e-300, 5e-324,
                                  -42.25, 1e21, std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::nan(""), -std::nan("")};
    std::mt19937 engine(3);
    for (int i = 0; i < 200; ++i)
        values.push_back(std::ldexp(std::uniform_real_distribution<double>(-1, 1)(engine), static_cast<int>(engine() % 200) - 100));
    for (int precision : {1, 5, 6, 17, 80})
        for (double value : values) {
            std::ostringstream stream;
            stream.precision(precision);
            stream << value;
            std::string text;
            appendGeneral(text, value, precision);
            EXPECT_EQ(text, stream.str()) << precision;
        }
}

} // namespace
} // namespace tavirlen
