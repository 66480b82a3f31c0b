// The tally against an ordered map, over enough texts to grow its table
// several times, many of them met more than once and some prefixes of others.
#include "pedigree/HaplotypeTally.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace tavirlen {
namespace {

TEST(HaplotypeTally, CountsAndOrdersAsAnOrderedMap)
{
    std::mt19937 engine(5);
    HaplotypeTally tally;
    std::map<std::string, int> model;
    for (int i = 0; i < 20000; ++i) {
        std::string text = std::to_string(engine() % 3000);
        if (engine() % 4 == 0) text += std::to_string(engine() % 7);
        tally.add(text);
        ++model[text];
    }
    tally.add("");
    ++model[""];
    const auto sorted = tally.sorted();
    ASSERT_EQ(sorted.size(), model.size());
    auto expected = model.begin();
    for (const auto& [text, count] : sorted) {
        EXPECT_EQ(text, expected->first);
        EXPECT_EQ(count, expected->second) << text;
        ++expected;
    }
}

} // namespace
} // namespace tavirlen
