#include "exact/InheritanceLayout.h"

#include <map>

namespace tavirlen {

InheritanceLayout::InheritanceLayout(const Pedigree& pedigree)
{
    std::map<int, int> indexOf;
    for (int id : pedigree.processingOrder) {
        const Individual* m = pedigree.member(id);
        if (!m || indexOf.count(id)) {
            problem = "its member order is not prepared";
            return;
        }
        LayoutMember slot;
        slot.id = id;
        if (!m->isFounder()) {
            auto father = indexOf.find(m->fatherId);
            auto mother = indexOf.find(m->motherId);
            if (father == indexOf.end() || mother == indexOf.end()) {
                problem = "member " + pedigree.idText(id) + " has a parent that is not a member before it";
                return;
            }
            slot.father = father->second;
            slot.mother = mother->second;
            slot.bit = bitCount;
            bitCount += 2;
            members[static_cast<std::size_t>(slot.father)].hasChildren = true;
            members[static_cast<std::size_t>(slot.mother)].hasChildren = true;
        }
        indexOf[id] = static_cast<int>(members.size());
        members.push_back(slot);
    }
    if (members.size() != pedigree.members.size()) {
        problem = "its member order is not prepared";
        return;
    }
    for (LayoutMember& m : members) {
        if (!m.isFounder() || !m.hasChildren) continue;
        m.firstGene = geneCount;
        geneCount += 2;
    }
    if (geneCount > GeneLabelling::maximumGenes) {
        problem = "it has more than " + std::to_string(GeneLabelling::maximumGenes / 2) + " founders with children";
        return;
    }
    std::vector<bool> represented(members.size(), false);
    for (const LayoutMember& m : members) {
        if (m.isFounder()) continue;
        const int parents[2] = {m.father, m.mother};
        for (int side = 0; side < 2; ++side) {
            const auto p = static_cast<std::size_t>(parents[side]);
            if (!members[p].isFounder() || represented[p]) continue;
            // A founder who is both parents of one child (selfing) is
            // represented by the paternal bit only.
            represented[p] = true;
            representativeBits |= InheritanceVector(1) << (m.bit + side);
        }
    }
}

LocusPlan planLocus(const Pedigree& pedigree, const InheritanceLayout& layout, int locus)
{
    LocusPlan plan;
    const std::size_t n = layout.members.size();
    plan.rules.resize(n);
    plan.relevant.assign(n, 0);
    auto code = [&](int allele) -> AlleleCode {
        if (allele < 1) return 0;
        for (std::size_t i = 0; i < plan.alleles.size(); ++i)
            if (plan.alleles[i] == allele) return static_cast<AlleleCode>(i + 1);
        plan.alleles.push_back(allele);
        return static_cast<AlleleCode>(plan.alleles.size());
    };
    std::vector<bool> homozygous(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const LayoutMember& m = layout.members[i];
        if (m.isFounder() && !m.hasChildren) continue;
        const GenotypeRecord& g = pedigree.member(m.id)->genotypes[static_cast<std::size_t>(locus)];
        AlleleCode a = code(g.allele1), b = code(g.allele2);
        GenotypeRule& rule = plan.rules[i];
        if (!a && !b) continue;
        plan.relevant[i] = 1;
        if (!a || !b) {
            rule = {GenotypeRule::halfTyped, a ? a : b, 0};
        } else if (a == b) {
            rule = {GenotypeRule::homozygous, a, 0};
            homozygous[i] = true;
        } else {
            rule = {GenotypeRule::heterozygous, a, b};
        }
    }
    for (std::size_t i = n; i-- > 0;) {
        const LayoutMember& m = layout.members[i];
        if (m.isFounder()) continue;
        if (!plan.relevant[i]) {
            plan.freeBits |= InheritanceVector(3) << m.bit;
            continue;
        }
        plan.relevant[static_cast<std::size_t>(m.father)] = 1;
        plan.relevant[static_cast<std::size_t>(m.mother)] = 1;
        if (homozygous[static_cast<std::size_t>(m.father)]) plan.freeBits |= InheritanceVector(1) << m.bit;
        if (homozygous[static_cast<std::size_t>(m.mother)]) plan.freeBits |= InheritanceVector(1) << (m.bit + 1);
    }
    return plan;
}

void assignGenes(const InheritanceLayout& layout, InheritanceVector vector, std::vector<std::array<int, 2>>& genes)
{
    genes.resize(layout.members.size());
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        const LayoutMember& m = layout.members[i];
        if (m.isFounder()) {
            genes[i] = {m.firstGene, m.firstGene < 0 ? -1 : m.firstGene + 1};
            continue;
        }
        genes[i] = {genes[static_cast<std::size_t>(m.father)][(vector >> m.bit) & 1],
                    genes[static_cast<std::size_t>(m.mother)][(vector >> (m.bit + 1)) & 1]};
    }
}

} // namespace tavirlen
