#include "memberdp/StateLayout.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <map>

namespace tavirlen {

long long stateBitCount(const Pedigree& pedigree)
{
    long long founders = 0;
    for (const auto& [id, m] : pedigree.members)
        if (m.isFounder()) ++founders;
    return 3 * static_cast<long long>(pedigree.members.size()) - 2 * founders;
}

StateLayout::StateLayout(const Pedigree& pedigree)
{
    std::map<int, int> slotOf;
    int offset = 0;
    int nonFounders = 0;
    for (int id : pedigree.processingOrder) {
        const Individual* m = pedigree.member(id);
        if (!m || slotOf.count(id)) {
            sound = false;
            return;
        }
        MemberSlot slot;
        slot.id = id;
        slot.offset = offset;
        slot.founder = m->isFounder();
        if (!slot.founder) {
            auto father = slotOf.find(m->fatherId);
            auto mother = slotOf.find(m->motherId);
            // Parents must already have their bits, or a child could not be
            // checked against them.
            if (father == slotOf.end() || mother == slotOf.end()) {
                sound = false;
                return;
            }
            slot.fatherSlot = father->second;
            slot.motherSlot = mother->second;
            slot.sourceIndex = nonFounders++;
            sourceMask |= MemberState(3) << (offset + 1);
        }
        phaseMask |= MemberState(1) << offset;
        slot.firstHeterozygous = INT_MAX;
        for (std::size_t k = 0; k < m->genotypes.size(); ++k) {
            const GenotypeRecord& g = m->genotypes[k];
            if (g.allele1 != g.allele2 && g.allele1 != 0 && g.allele2 != 0) {
                slot.firstHeterozygous = static_cast<int>(k);
                break;
            }
        }
        offset += slot.founder ? 1 : 3;
        if (offset > 31) {
            sound = false;
            return;
        }
        slotOf[id] = static_cast<int>(slots.size());
        slots.push_back(slot);
    }
    if (slots.size() != pedigree.members.size()) sound = false;
    bitCount = offset;
    sourceBitCount = 2 * nonFounders;
}

std::uint32_t StateLayout::packedSources(MemberState state) const
{
    std::uint32_t packed = 0;
    for (const MemberSlot& m : slots)
        if (!m.founder) packed |= ((state >> (m.offset + 1)) & 3u) << (2 * m.sourceIndex);
    return packed;
}

MemberState StateLayout::unpackSources(std::uint32_t packed) const
{
    MemberState state = 0;
    for (const MemberSlot& m : slots)
        if (!m.founder) state |= ((packed >> (2 * m.sourceIndex)) & 3u) << (m.offset + 1);
    return state;
}

LocusRules locusRules(const Pedigree& pedigree, const StateLayout& layout, int locus)
{
    LocusRules rules;
    rules.slots.resize(layout.slots.size());
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
        const MemberSlot& m = layout.slots[i];
        const GenotypeRecord& g = pedigree.member(m.id)->genotypes[static_cast<std::size_t>(locus)];
        LocusRules::Slot& r = rules.slots[i];
        r.low = std::min(g.allele1, g.allele2);
        r.high = std::max(g.allele1, g.allele2);
        // Equal alleles have one order; a founder's haplotypes are named by
        // its first heterozygous locus, so before it its phase is fixed too.
        r.phaseFree = r.low != r.high && (!m.founder || m.firstHeterozygous < locus);
    }
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
        const MemberSlot& m = layout.slots[i];
        if (m.founder) continue;
        LocusRules::Slot& child = rules.slots[i];
        const int childSorted[2] = {child.low, child.high};
        for (int side = 0; side < 2; ++side) {
            const LocusRules::Slot& parent = rules.slots[static_cast<std::size_t>(side == 0 ? m.fatherSlot : m.motherSlot)];
            const int parentSorted[2] = {parent.low, parent.high};
            std::uint8_t fits = 0;
            for (int key = 0; key < 8; ++key) {
                const int phase = key >> 2, parentPhase = (key >> 1) & 1, source = key & 1;
                // A member's allele of side s is sorted[s ^ phase].
                if (childSorted[side ^ phase] == parentSorted[source ^ parentPhase]) fits |= std::uint8_t(1u << key);
            }
            (side == 0 ? child.fatherFits : child.motherFits) = fits;
        }
    }
    return rules;
}

bool stateFits(const StateLayout& layout, const LocusRules& rules, MemberState state)
{
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
        const MemberSlot& m = layout.slots[i];
        const LocusRules::Slot& r = rules.slots[i];
        const int phase = (state >> m.offset) & 1;
        if (phase && !r.phaseFree) return false;
        if (m.founder) continue;
        const int fatherPhase = (state >> layout.slots[static_cast<std::size_t>(m.fatherSlot)].offset) & 1;
        const int motherPhase = (state >> layout.slots[static_cast<std::size_t>(m.motherSlot)].offset) & 1;
        const int paternal = (state >> (m.offset + 1)) & 1;
        const int maternal = (state >> (m.offset + 2)) & 1;
        if (!((r.fatherFits >> (phase << 2 | fatherPhase << 1 | paternal)) & 1)) return false;
        if (!((r.motherFits >> (phase << 2 | motherPhase << 1 | maternal)) & 1)) return false;
    }
    return true;
}

int applyState(Pedigree& pedigree, const StateLayout& layout, MemberState state, int locus)
{
    for (const MemberSlot& m : layout.slots) {
        GenotypeRecord& g = pedigree.member(m.id)->genotypes[static_cast<std::size_t>(locus)];
        const int phase = (state >> m.offset) & 1;
        g.phased = true;
        if ((phase == 0 && g.allele1 > g.allele2) || (phase == 1 && g.allele1 < g.allele2))
            std::swap(g.allele1, g.allele2);
        if (m.founder) {
            g.paternalSource = 0;
            g.maternalSource = 0;
        } else {
            g.paternalSource = static_cast<int>((state >> (m.offset + 1)) & 1);
            g.maternalSource = static_cast<int>((state >> (m.offset + 2)) & 1);
        }
        if (phase == 1 && (g.allele1 == g.allele2 || (m.founder && m.firstHeterozygous >= locus)))
            return impossibleCost;
    }
    return 0;
}

int applyState(Pedigree& pedigree, MemberState state, int locus)
{
    return applyState(pedigree, StateLayout(pedigree), state, locus);
}

int stateCost(const Pedigree& pedigree, MemberState state, int locus)
{
    StateLayout layout(pedigree);
    return stateFits(layout, locusRules(pedigree, layout, locus), state) ? 0 : impossibleCost;
}

int transitionCost(const StateLayout& layout, MemberState previous, MemberState next)
{
    return static_cast<int>(std::bitset<32>((previous ^ next) & layout.sourceMask).count());
}

int transitionCost(const Pedigree& pedigree, MemberState previous, MemberState next)
{
    return transitionCost(StateLayout(pedigree), previous, next);
}

} // namespace tavirlen
