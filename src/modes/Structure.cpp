#include "modes/Structure.h"

#include "pedigree/LineReader.h"
#include "pedigree/PedigreeReader.h"

#include <map>
#include <set>

namespace tavirlen {

namespace {

std::string lineProblem(int lineNumber, const std::string& what)
{
    return "line " + std::to_string(lineNumber) + " " + what;
}

std::string individual(int id)
{
    return "individual " + std::to_string(id);
}

} // namespace

std::optional<std::string> readStructure(Pedigree& pedigree, std::istream& input)
{
    std::string line;
    LineReader lines(input);
    while (lines.next(line)) {
        const int lineNumber = static_cast<int>(lines.lineNumber());
        std::vector<std::string> fields = splitFields(line);
        if (fields.empty()) break;
        if (fields.size() < 4)
            return lineProblem(lineNumber, "has " + std::to_string(fields.size())
                                               + " fields; a structure line needs id, father, mother and sex");
        Individual member;
        int* values[] = {&member.individualId, &member.fatherId, &member.motherId, &member.sex};
        for (std::size_t i = 0; i < 4; ++i)
            if (parseDecimal(fields[i], *values[i]) == ParseStatus::overflow)
                return lineProblem(lineNumber, "has a number too large for a 32-bit integer");
        // Id 0 stands for "no parent", so it cannot name an individual.
        if (member.individualId < 1)
            return lineProblem(lineNumber, "has individual id " + fields[0] + "; ids must be positive numbers");
        member.familyId = pedigree.familyId;
        pedigree.members.insert_or_assign(member.individualId, std::move(member));
    }
    // A repeated id keeps only its last line, so count members rather than lines.
    pedigree.memberCount = static_cast<int>(pedigree.members.size());
    pedigree.founderCount = 0;
    for (const auto& [id, m] : pedigree.members)
        if (m.isFounder()) ++pedigree.founderCount;
    return std::nullopt;
}

std::vector<int> simulationOrder(const Pedigree& pedigree)
{
    std::vector<int> order;
    std::map<int, std::vector<int>> children; // parent id -> non-founder children
    std::map<int, int> waitingFor;            // non-founder id -> parents not yet done
    std::set<int> ready;
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) {
            order.push_back(id);
            continue;
        }
        std::set<int> parents{m.fatherId, m.motherId};
        waitingFor[id] = static_cast<int>(parents.size());
        for (int parent : parents) children[parent].push_back(id);
    }
    auto markDone = [&](int id) {
        auto found = children.find(id);
        if (found == children.end()) return;
        for (int child : found->second)
            if (--waitingFor[child] == 0) ready.insert(child);
    };
    for (int founder : std::vector<int>(order)) markDone(founder);
    while (!ready.empty()) {
        int next = *ready.begin();
        ready.erase(ready.begin());
        order.push_back(next);
        markDone(next);
    }
    return order;
}

std::optional<std::string> checkStructure(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        if (m.fatherId == 0 || m.motherId == 0)
            return individual(id) + " has only one parent given";
        if (!pedigree.member(m.fatherId))
            return individual(id) + " has father " + std::to_string(m.fatherId)
                + ", who has no line of his own";
        if (!pedigree.member(m.motherId))
            return individual(id) + " has mother " + std::to_string(m.motherId)
                + ", who has no line of her own";
    }
    std::vector<int> order = simulationOrder(pedigree);
    if (order.size() == pedigree.members.size()) return std::nullopt;

    // Every member left out waits for a parent that is left out too, so
    // climbing from one of them through such parents must end up going round
    // a cycle; after as many steps as there are members it is on it.
    std::set<int> placed(order.begin(), order.end());
    int id = 0;
    for (const auto& [memberId, m] : pedigree.members)
        if (!placed.count(memberId)) {
            id = memberId;
            break;
        }
    for (std::size_t step = 0; step < pedigree.members.size(); ++step) {
        const Individual* m = pedigree.member(id);
        id = placed.count(m->fatherId) ? m->motherId : m->fatherId;
    }
    return "parent links form a cycle through " + individual(id);
}

} // namespace tavirlen
