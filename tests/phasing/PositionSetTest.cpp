// The nearest-locus set against a plain ordered set, at sizes around a word
// boundary and at sizes with several levels of words above the loci.
#include "phasing/PositionSet.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

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
        }
    }
}

} // namespace
} // namespace tavirlen
