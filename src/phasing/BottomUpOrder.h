#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/IdPositions.h"
#include "phasing/Links.h"
#include "phasing/PositionSet.h"

#include <vector>

namespace tavirlen {

// The members in the order that repeated calls of nextBottomUp give them,
// while the walk marks them visited: the lowest id that is not visited, is
// ready (none of its children still to visit has children of its own) and
// whose father's children are all ready. Readiness only grows as members are
// visited, so a member is re-examined only when one of its own children or
// one of its father's children changes; a walk over the whole family costs
// time in proportion to its members and their links, not to their square.
class BottomUpOrder {
public:
    // Members in the pedigree's visitedIds count as visited already.
    explicit BottomUpOrder(const Pedigree& pedigree);
    // A new walk over the same family: its links must not have changed since
    // the order was built (genotypes may have); visitedIds is read afresh.
    void restart(const Pedigree& pedigree);

    // The next member, or 0 when none qualifies.
    int next() const;

    // The member is now visited (an id visited already, or not a member, is ignored).
    void visit(int id);

    // Takes over the visits a pass marked in the pedigree's visitedIds since
    // the last catch-up or restart.
    void catchUp(const Pedigree& pedigree);

private:
    int position(int id) const { return ids_.position(id); }
    bool ready(int i) const { return nodes_[i].visited || nodes_[i].pending == 0; }
    bool qualifies(int i) const;
    void becameReady(int i);
    void recheck(int i);

    IdPositions ids_;
    // What a step reads of a member, in one place: a walk over a deep
    // family then meets one cache line per member, not six.
    struct Node {
        int father = -1;          // position, -1 when not a member
        int pending = 0;          // children not visited that have children
        int childrenNotReady = 0; // children (each childIds entry) not ready
        char visited = 0;
        char founder = 0;
        char hasChildren = 0;
    };
    std::vector<Node> nodes_;
    Links<int> listedBy_; // members whose childIds name this one
    Links<int> fathered_; // members whose father this one is
    // Positions that qualify and are not visited yet (a member that
    // qualifies keeps qualifying until it is visited).
    PositionSet qualified_;
    // No qualifying position lies below it. The smallest moves little from
    // one step to the next: a search from here stays in one word of the set,
    // where one from position 0 would climb its levels, more of them the
    // larger the family.
    mutable int searchFrom_ = 0;
    std::size_t caughtUp_ = 0; // visitedIds' insertions taken over
};

} // namespace tavirlen
