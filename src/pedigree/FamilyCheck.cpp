#include "pedigree/FamilyCheck.h"

#include "pedigree/IdSet.h"
#include "pedigree/IdTable.h"

namespace tavirlen {

namespace {

std::string individual(const Pedigree& pedigree, int id)
{
    return "individual " + pedigree.idText(id);
}

} // namespace

std::optional<std::string> checkFamily(const Pedigree& pedigree)
{
    if (!pedigree.readProblem.empty()) return pedigree.readProblem;

    const Individual* reference = nullptr;
    for (const auto& [id, m] : pedigree.members) {
        if (id <= 0) return "individual id " + std::to_string(id) + " is not a valid id (0 means no parent)";
        if (!reference) reference = &m;
        if (m.genotypes.size() != reference->genotypes.size())
            return individual(pedigree, reference->individualId) + " has "
                + std::to_string(reference->genotypes.size()) + " loci but " + individual(pedigree, id)
                + " has " + std::to_string(m.genotypes.size());
    }

    // By parent id, its first child as father and as mother.
    IdTable<int> asFather;
    IdTable<int> asMother;
    for (const auto& [id, m] : pedigree.members) {
        if ((m.fatherId == 0) != (m.motherId == 0))
            return individual(pedigree, id) + " has only one parent given";
        if (m.isFounder()) continue;
        if (!pedigree.member(m.fatherId))
            return individual(pedigree, id) + " has father " + pedigree.idText(m.fatherId)
                + ", who is not in the family";
        if (!pedigree.member(m.motherId))
            return individual(pedigree, id) + " has mother " + pedigree.idText(m.motherId)
                + ", who is not in the family";
        if (m.fatherId == m.motherId)
            return individual(pedigree, id) + " has " + pedigree.idText(m.fatherId) + " as both father and mother";
        asFather.insert(m.fatherId, id);
        asMother.insert(m.motherId, id);
    }
    // Every parent is a member by now: the lowest id in both roles is named.
    for (const auto& [parentId, m] : pedigree.members)
        if (asFather.find(parentId) != 0 && asMother.find(parentId) != 0)
            return individual(pedigree, parentId) + " is the father of " + pedigree.idText(asFather.find(parentId))
                + " and the mother of " + pedigree.idText(asMother.find(parentId));

    if (std::optional<int> id = findParentCycle(pedigree))
        return "parent links form a cycle through " + individual(pedigree, *id);
    return std::nullopt;
}

std::optional<int> findParentCycle(const Pedigree& pedigree)
{
    // A member is open from its first visit until both its parents are
    // done, then done; meeting an open member again closes a cycle.
    IdSet seen;
    IdSet done;
    pedigree.reserveMemberIds(seen);
    pedigree.reserveMemberIds(done);
    // An explicit stack of (id, next parent side): deep pedigrees cannot
    // exhaust the call stack. One serves every start.
    std::vector<std::pair<int, int>> stack;
    for (const auto& [startId, start] : pedigree.members) {
        if (seen.count(startId)) continue;
        stack.assign(1, {startId, 0});
        seen.insert(startId);
        while (!stack.empty()) {
            auto& [id, side] = stack.back();
            if (side == 2) {
                done.insert(id);
                stack.pop_back();
                continue;
            }
            int parentId = pedigree.member(id)->parentId(side++);
            // Id 0 is "no parent", even where a placeholder member carries it.
            if (parentId == 0 || !pedigree.member(parentId)) continue;
            if (!seen.count(parentId)) {
                seen.insert(parentId);
                stack.push_back({parentId, 0});
            } else if (!done.count(parentId)) {
                return parentId;
            }
        }
    }
    return std::nullopt;
}

} // namespace tavirlen
