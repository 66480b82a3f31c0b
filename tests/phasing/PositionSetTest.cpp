// The nearest-locus set against a plain ordered set, at sizes around a word
// boundary and at sizes with several levels of words above the loci: the
// nearest members, and the loci of a range that are not members.
#include "phasing/PositionSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace tavirlen {
namespace {

TEST(PositionSet, NearestMembersMatchAnOrderedSet)
{
    std::mt19937 engine(3);
    for (int size : {1, 63, 64, 65, 4097, 270000}) {
        PositionSet set(size);
        std::set<int> model;
        std::uniform_int_distribution<int> locus(0, size - 1);
        for (int step = 0; step < 4000; ++step) {
            int k = locus(engine);
            if (engine() % 3 == 0) {
                set.erase(k);
                model.erase(k);
            } else {
                set.insert(k);
                model.insert(k);
            }
            int q = std::uniform_int_distribution<int>(-1, size + 1)(engine);
            auto above = model.lower_bound(q);
            ASSERT_EQ(set.next(q), above == model.end() ? -1 : *above) << size << " next " << q;
            auto below = model.lower_bound(q);
            ASSERT_EQ(set.previous(q), below == model.begin() ? -1 : *std::prev(below)) << size << " previous " << q;
            ASSERT_EQ(set.contains(k), model.count(k) == 1);
            if (step % 100 != 0) continue;
            int first = std::uniform_int_distribution<int>(-1, size)(engine);
            int end = std::uniform_int_distribution<int>(first, size + 1)(engine);
            std::vector<int> absent, expected;
            set.forEachAbsent(first, end, [&](int at) { absent.push_back(at); });
            for (int at = std::max(first, 0); at < std::min(end, size); ++at)
                if (!model.count(at)) expected.push_back(at);
            ASSERT_EQ(absent, expected) << size << " absent from " << first << " to " << end;
        }
    }
}

} // namespace
} // namespace tavirlen
