#include "pedigree/Preparation.h"

#include "pedigree/Pedigree.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <queue>

namespace tavirlen {

void Pedigree::finalise()
{
    memberCount = static_cast<int>(members.size());
    for (const auto& [id, m] : members) locusCount = static_cast<int>(m.genotypes.size());
}

namespace {

bool readyToPlace(const Individual& m, const IdSet& placed)
{
    bool founder = m.fatherId == 0 && m.motherId == 0;
    return founder
        || (m.fatherId > 0 && placed.count(m.fatherId) && m.motherId >= 1 && placed.count(m.motherId));
}

// Parents before children: each position takes the lowest id not yet placed
// that is a founder or has both parents placed (-1 when none qualifies). The
// founders, ready from the start, come in ascending id; children wait in a
// min-heap once ready, and a member's children are looked at when it is
// placed. That gives the same order as rescanning from the lowest id at every
// position without its quadratic cost. Reads the members' childIds, so it
// runs after they are filled; the marks are tables by id, so that a deep
// pedigree costs the same per member as a small one.
std::vector<int> parentsBeforeChildren(const Pedigree& pedigree)
{
    // Lists sized for the whole family at once, not grown an allocation
    // per doubling: the order is built for every family of the run.
    std::vector<int> founders;
    founders.reserve(pedigree.members.size());
    for (const auto& [id, m] : pedigree.members)
        if (m.isFounder()) founders.push_back(id);
    std::size_t nextFounder = 0;
    std::vector<int> waiting;
    waiting.reserve(pedigree.members.size());
    std::priority_queue<int, std::vector<int>, std::greater<int>> ready(std::greater<int>(), std::move(waiting));
    IdSet placed;
    IdSet queued;
    pedigree.reserveMemberIds(placed);
    pedigree.reserveMemberIds(queued);
    std::vector<int> order;
    order.reserve(pedigree.members.size());
    while (nextFounder < founders.size() || !ready.empty()) {
        int id = 0;
        if (ready.empty() || (nextFounder < founders.size() && founders[nextFounder] < ready.top())) {
            id = founders[nextFounder++];
        } else {
            id = ready.top();
            ready.pop();
        }
        order.push_back(id);
        placed.insert(id);
        for (int child : pedigree.member(id)->childIds) {
            if (placed.count(child) || queued.count(child)) continue;
            if (readyToPlace(*pedigree.member(child), placed)) {
                queued.insert(child);
                ready.push(child);
            }
        }
    }
    order.resize(pedigree.members.size(), -1);
    return order;
}

} // namespace

bool Pedigree::prepare()
{
    memberCount = static_cast<int>(members.size());
    for (auto& [id, m] : members) {
        Individual* father = m.fatherId != 0 ? member(m.fatherId) : nullptr;
        Individual* mother = m.motherId != 0 ? member(m.motherId) : nullptr;
        if (father) father->childIds.push_back(id);
        if (mother) mother->childIds.push_back(id);
        if (father && mother) {
            father->mateId = m.motherId;
            mother->mateId = m.fatherId;
        }
        if (m.fatherId == 0 && m.motherId == 0) ++founderCount;
    }
    for (auto& [id, m] : members) {
        if (m.childIds.empty()) continue;
        const Individual* firstChild = member(m.childIds.front());
        m.sex = firstChild->fatherId == id ? 1 : 2;
    }
    locusWork.assign(static_cast<std::size_t>(locusCount), 0);

    processingOrder = parentsBeforeChildren(*this);
    visitedIds.clear();
    reserveMemberIds(visitedIds);
    return true;
}

bool trioConsistent(int p1a, int p1b, int p2a, int p2b, int ca, int cb)
{
    auto fits1 = [&](int x) { return x == p1a || x == p1b || p1a < 1 || p1b < 1; };
    auto fits2 = [&](int x) { return x == p2a || x == p2b || p2a < 1 || p2b < 1; };
    if (ca < 1 && cb < 1) return true;
    if (ca < 1 || cb < 1) {
        int typed = ca < 1 ? cb : ca;
        if (fits1(typed) || fits2(typed)) return true;
    }
    return (fits1(ca) && fits2(cb)) || (fits1(cb) && fits2(ca));
}

bool Pedigree::checkMendel()
{
    visitedIds.clear();
    bool error = false;
    for (std::size_t i = 0; i < members.size() && i < processingOrder.size(); ++i) {
        const Individual* p1 = member(processingOrder[i]);
        if (!p1) continue;
        for (int childId : p1->childIds) {
            if (visitedIds.count(childId)) continue;
            visitedIds.insert(childId);
            const Individual* child = member(childId);
            const Individual* p2 = child->fatherId != p1->individualId ? member(child->fatherId)
                                                                        : member(child->motherId);
            if (!p2) continue;
            std::size_t loci = std::min({p1->genotypes.size(), p2->genotypes.size(),
                                         child->genotypes.size()});
            for (std::size_t k = 0; k < loci; ++k) {
                const GenotypeRecord& a = p1->genotypes[k];
                const GenotypeRecord& b = p2->genotypes[k];
                const GenotypeRecord& c = child->genotypes[k];
                if (trioConsistent(a.allele1, a.allele2, b.allele1, b.allele2, c.allele1, c.allele2))
                    continue;
                std::cout << "Mendel Error: parent 1: " << idText(p1->individualId)
                          << "\tparent2:" << idText(p2->individualId) << "\tand child:" << idText(childId) << "\n"
                          << "at Locus: " << k << " with genotyes: (" << a.allele1 << ","
                          << a.allele2 << ")\t(" << b.allele1 << "," << b.allele2 << ")\t("
                          << c.allele1 << "," << c.allele2 << ")\n";
                error = true;
            }
        }
    }
    if (error) return false;
    visitedIds.clear();
    return true;
}

void Individual::reportParentalMismatch()
{
    std::cout << "Mendel errors\n";
}

} // namespace tavirlen
