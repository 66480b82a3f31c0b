#include "pedigree/FamilyCheck.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tavirlen {
namespace {

std::string reason(const std::string& lines)
{
    auto p = test::readFamily(lines, 7, false);
    return checkFamily(*p).value_or("sound");
}

TEST(FamilyCheck, AcceptsASoundFamily)
{
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"), "sound");
}

TEST(FamilyCheck, NamesTheIndividualAndTheProblem)
{
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 7 12 1 1 0 0 1 1\n"),
              "individual 7 has father 12, who is not in the family");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 7 1 13 1 0 0 1 1\n"),
              "individual 7 has mother 13, who is not in the family");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 7 1 0 1 0 0 1 1\n"), "individual 7 has only one parent given");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 7 0 0 1 0 0 1 1 2 2\n"),
              "individual 1 has 1 loci but individual 7 has 2");
    EXPECT_EQ(reason("1 0 0 0 1 0 0 1 2\n1 7 0 0 1 0 0 1 1\n"),
              "individual id 0 is not a valid id (0 means no parent)");
    EXPECT_EQ(reason("1 -4 0 0 1 0 0 1 2\n"), "individual id -4 is not a valid id (0 means no parent)");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 2 0 0 1 0 0 1 1\n1 3 1 2 1 0 0 1 1\n1 4 2 1 1 0 0 1 1\n"),
              "individual 1 is the father of 3 and the mother of 4");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 3 1 1 1 0 0 1 1\n"), "individual 3 has 1 as both father and mother");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 2 0 0\n"),
              "the line of individual 2 has 4 fields, fewer than the 7 header columns");
    EXPECT_EQ(reason("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 3000000000\n"),
              "a number on the line of individual 2 is too large for a 32-bit integer");
}

TEST(FamilyCheck, FindsCyclesIncludingSelfParenthood)
{
    EXPECT_EQ(reason("1 1 3 2 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"),
              "parent links form a cycle through individual 1");
    EXPECT_EQ(reason("1 1 1 2 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n"), "parent links form a cycle through individual 1");
}

TEST(FamilyCheck, DeepPedigreesDoNotExhaustTheStack)
{
    std::string lines = "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n";
    // A chain of 100000 generations, each child mated with a new founder.
    for (int g = 0; g < 100000; ++g) {
        int child = 3 + 2 * g, mate = child + 1;
        int father = g == 0 ? 1 : child - 2;
        int mother = g == 0 ? 2 : child - 1;
        lines += "1 " + std::to_string(child) + " " + std::to_string(father) + " " + std::to_string(mother)
            + " 1 0 0 1 1\n1 " + std::to_string(mate) + " 0 0 2 0 0 1 1\n";
    }
    EXPECT_EQ(reason(lines), "sound");
}

} // namespace
} // namespace tavirlen
