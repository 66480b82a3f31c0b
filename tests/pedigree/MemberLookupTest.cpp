// The id index and the ordered walk beside the members, and the visited-id
// set, against the standard containers they stand in for, through random
// changes.
#include "pedigree/IdSet.h"
#include "pedigree/IdTable.h"
#include "pedigree/MemberMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace tavirlen {
namespace {

TEST(MemberLookup, IndexFollowsEveryChangeOfTheMembers)
{
    // Few ids close together stay in a table by id; many spread ones are hashed.
    for (const auto& [low, high] : {std::pair<int, int>{1, 40}, {-50, 400}}) {
        std::mt19937 engine(5);
        std::uniform_int_distribution<int> id(low, high);
        MemberMap members;
        std::map<int, int> model; // id -> sex, as a mark of which record is found
        for (int step = 0; step < 3000; ++step) {
            const int k = id(engine);
            switch (engine() % 5) {
            case 0: members.erase(k); model.erase(k); break;
            case 1: members[k].sex = step; model[k] = step; break;
            case 2: {
                Individual m;
                m.sex = step;
                members.insert_or_assign(k, m);
                model[k] = step;
                break;
            }
            case 3: {
                // Copies and assignments keep their own index.
                MemberMap copy(members);
                members = MemberMap();
                members = copy;
                break;
            }
            default: {
                Individual m;
                m.sex = step;
                if (members.emplace(k, m).second) model[k] = step;
            }
            }
            ASSERT_EQ(members.size(), model.size());
            const int q = id(engine);
            const Individual* found = members.lookup(q);
            ASSERT_EQ(found != nullptr, model.count(q) == 1) << q;
            if (found) {
                ASSERT_EQ(found->sex, model[q]);
            }
            if (step % 100 == 0) {
                // Walks in ascending id, both ways, over the records the index finds.
                auto expected = model.begin();
                for (const auto& [k, m] : members) {
                    ASSERT_EQ(k, expected->first);
                    ASSERT_EQ(&m, members.lookup(k));
                    ++expected;
                }
                ASSERT_TRUE(std::equal(members.rbegin(), members.rend(), model.rbegin(),
                                       [](const auto& a, const auto& b) { return a.first == b.first; }));
            }
        }
    }
}

TEST(MemberLookup, IdSetMatchesAnOrderedSetAcrossClears)
{
    // Ids numbered densely (kept in a table by id, which widens at either
    // end), spread out (hashed), and dense until a far id arrives half-way.
    // The ids inserted since a given count come in the order of insertion
    // however the table grew meanwhile.
    const int spreads[][2] = {{60, 0}, {5000, 0}, {60, 100000}};
    for (const auto& [spread, far] : spreads) {
        std::mt19937 engine(9);
        IdSet set;
        std::set<int> model;
        std::vector<int> inserted;
        for (int step = 0; step < 20000; ++step) {
            if (step % 3000 == 2999) {
                set.clear();
                model.clear();
                inserted.clear();
            }
            if (step % 997 == 996) {
                const std::size_t since = inserted.size() / 3;
                std::vector<int> seen;
                set.forEachInsertedSince(since, [&](int id) { seen.push_back(id); });
                ASSERT_EQ(seen, std::vector<int>(inserted.begin() + static_cast<std::ptrdiff_t>(since), inserted.end()));
            }
            int k = static_cast<int>(engine() % static_cast<unsigned>(spread)) - spread / 2;
            if (far != 0 && step == 10000) k = far;
            if (!model.count(k)) inserted.push_back(k);
            ASSERT_EQ(set.insert(k), model.insert(k).second) << spread;
            const int q = static_cast<int>(engine() % static_cast<unsigned>(spread)) - spread / 2;
            ASSERT_EQ(set.count(q), model.count(q)) << spread;
            ASSERT_EQ(set.size(), model.size());
        }
        EXPECT_EQ(set, model);
    }
}

TEST(MemberLookup, ReservedIdTableTakesIdsOutsideItsRange)
{
    // Reserved for 100..199, then given ids below, inside, far above (the
    // switch to hashing) and a repeat: each keeps its value and its place in
    // the order of insertion.
    IdTable<int> table;
    table.reserve(100, 199, 100);
    const std::vector<int> ids = {150, 100, 199, 99, 37, 250, 1000000, 120};
    for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_TRUE(table.insert(ids[i], static_cast<int>(i) + 1));
    EXPECT_FALSE(table.insert(150, 9));
    std::vector<int> order;
    table.forEach([&](int id, int value) {
        order.push_back(id);
        EXPECT_EQ(table.find(id), value);
    });
    EXPECT_EQ(order, ids);
    EXPECT_EQ(table.find(151), 0);
}

} // namespace
} // namespace tavirlen
