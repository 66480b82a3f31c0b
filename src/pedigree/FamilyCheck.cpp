#include "pedigree/FamilyCheck.h"

#include <map>

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

    std::map<int, std::pair<int, int>> roles; // parent id -> (a child as father, a child as mother)
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
        auto& asFather = roles[m.fatherId];
        auto& asMother = roles[m.motherId];
        if (asFather.first == 0) asFather.first = id;
        if (asMother.second == 0) asMother.second = id;
    }
    for (const auto& [parentId, role] : roles)
        if (role.first != 0 && role.second != 0)
            return individual(pedigree, parentId) + " is the father of " + pedigree.idText(role.first)
                + " and the mother of " + pedigree.idText(role.second);

    if (std::optional<int> id = findParentCycle(pedigree))
        return "parent links form a cycle through " + individual(pedigree, *id);
    return std::nullopt;
}

std::optional<int> findParentCycle(const Pedigree& pedigree)
{
    enum Mark { unseen, open, done };
    std::map<int, Mark> marks;
    for (const auto& [startId, start] : pedigree.members) {
        if (marks[startId] != unseen) continue;
        // An explicit stack of (id, next parent side): deep pedigrees cannot
        // exhaust the call stack.
        std::vector<std::pair<int, int>> stack{{startId, 0}};
        marks[startId] = open;
        while (!stack.empty()) {
            auto& [id, side] = stack.back();
            if (side == 2) {
                marks[id] = done;
                stack.pop_back();
                continue;
            }
            int parentId = pedigree.member(id)->parentId(side++);
            // Id 0 is "no parent", even where a placeholder member carries it.
            if (parentId == 0 || !pedigree.member(parentId)) continue;
            Mark& mark = marks[parentId];
            if (mark == open) return parentId;
            if (mark == unseen) {
                mark = open;
                stack.push_back({parentId, 0});
            }
        }
    }
    return std::nullopt;
}

} // namespace tavirlen
