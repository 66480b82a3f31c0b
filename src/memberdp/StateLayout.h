#pragma once

#include "pedigree/Pedigree.h"

#include <cstdint>
#include <vector>

namespace tavirlen {

// A state describes the whole family at one locus: for every member in
// processingOrder a phase bit (0: allele1 is the smaller allele, 1: the
// greater) and, for a non-founder, its paternal and maternal source bits.
// Bits are consumed from the least significant upwards.
using MemberState = std::uint32_t;

constexpr int impossibleCost = 32767;
constexpr int maximumStateBits = 20;

// 3 n - 2 f: one bit per founder, three per non-founder. Computed wide so that
// a family of any size can be compared with the limit.
long long stateBitCount(const Pedigree& pedigree);

struct MemberSlot {
    int id = 0;
    int offset = 0;        // the phase bit; a non-founder's two source bits follow
    bool founder = true;
    int fatherSlot = -1;   // slots of the parents (non-founders only)
    int motherSlot = -1;
    int sourceIndex = -1;  // non-founders: bits 2j, 2j+1 of the packed sources
    int firstHeterozygous = 0; // first locus with two different non-zero alleles
};

// Where every member's bits sit in a state, for one prepared family of at most
// 31 state bits.
class StateLayout {
public:
    explicit StateLayout(const Pedigree& pedigree);

    // False when processingOrder does not place every member after its
    // parents (a family the driver's check would have refused).
    bool sound = true;
    int bitCount = 0;
    int sourceBitCount = 0;
    MemberState phaseMask = 0;
    MemberState sourceMask = 0;
    std::vector<MemberSlot> slots; // in processingOrder

    // The source bits of a state packed densely (bit 2j paternal, 2j + 1
    // maternal source of the j-th non-founder), and back.
    std::uint32_t packedSources(MemberState state) const;
    MemberState unpackSources(std::uint32_t packed) const;
};

// What one locus allows, precomputed from the genotypes so that a state can be
// checked from its bits alone.
struct LocusRules {
    struct Slot {
        int low = 0;            // the smaller allele
        int high = 0;           // the greater allele
        bool phaseFree = false; // phase bit 1 allowed
        // Bit (phase << 2 | parent phase << 1 | source) is set when the allele
        // of that side fits the parent's allele the source selects.
        std::uint8_t fatherFits = 0;
        std::uint8_t motherFits = 0;
    };
    std::vector<Slot> slots;
};

LocusRules locusRules(const Pedigree& pedigree, const StateLayout& layout, int locus);

// True when the state is possible at the locus the rules were made for.
bool stateFits(const StateLayout& layout, const LocusRules& rules, MemberState state);

// Writes the state into every member's record at the locus (phased, alleles
// ordered by the phase bit, sources from the state, 0 and 0 for founders) and
// returns 0, or impossibleCost (the remaining members not written) when a
// member's phase bit cannot be 1 there.
int applyState(Pedigree& pedigree, const StateLayout& layout, MemberState state, int locus);
int applyState(Pedigree& pedigree, MemberState state, int locus);

// Validity of a state at a locus: 0, or impossibleCost when a member's phase
// cannot be 1 or a child's allele does not match the parent's allele its
// source selects. Reads the genotypes only; nothing is written.
int stateCost(const Pedigree& pedigree, MemberState state, int locus);

// Recombinants between a state at one locus and a state at the next: the
// number of source bits that differ. Phase bits cost nothing.
int transitionCost(const StateLayout& layout, MemberState previous, MemberState next);
int transitionCost(const Pedigree& pedigree, MemberState previous, MemberState next);

// Calls visit(state, packedSources) for every state that fits the locus, in
// no particular order; with `fixedSources` only those with these packed
// sources. visit returns false to stop early.
template <class Visit>
void forEachFittingState(const StateLayout& layout, const LocusRules& rules, Visit&& visit,
                         const std::uint32_t* fixedSources = nullptr);

// ---------------------------------------------------------------------------

namespace detail {

template <class Visit>
bool extendState(const StateLayout& layout, const LocusRules& rules, Visit& visit,
                 const std::uint32_t* fixedSources, std::size_t slot, MemberState state,
                 std::uint32_t packed)
{
    if (slot == layout.slots.size()) return visit(state, packed);
    const MemberSlot& m = layout.slots[slot];
    const LocusRules::Slot& r = rules.slots[slot];
    const int phases = r.phaseFree ? 2 : 1;
    for (int p = 0; p < phases; ++p) {
        MemberState withPhase = state | (MemberState(p) << m.offset);
        if (m.founder) {
            if (!extendState(layout, rules, visit, fixedSources, slot + 1, withPhase, packed)) return false;
            continue;
        }
        const int fatherPhase = (state >> layout.slots[m.fatherSlot].offset) & 1;
        const int motherPhase = (state >> layout.slots[m.motherSlot].offset) & 1;
        const int fatherKey = p << 2 | fatherPhase << 1;
        const int motherKey = p << 2 | motherPhase << 1;
        int firstPaternal = 0, lastPaternal = 1, firstMaternal = 0, lastMaternal = 1;
        if (fixedSources) {
            firstPaternal = lastPaternal = (*fixedSources >> (2 * m.sourceIndex)) & 1;
            firstMaternal = lastMaternal = (*fixedSources >> (2 * m.sourceIndex + 1)) & 1;
        }
        for (int sp = firstPaternal; sp <= lastPaternal; ++sp) {
            if (!((r.fatherFits >> (fatherKey | sp)) & 1)) continue;
            for (int sm = firstMaternal; sm <= lastMaternal; ++sm) {
                if (!((r.motherFits >> (motherKey | sm)) & 1)) continue;
                MemberState next = withPhase | (MemberState(sp) << (m.offset + 1))
                    | (MemberState(sm) << (m.offset + 2));
                std::uint32_t nextPacked = packed | (std::uint32_t(sp) << (2 * m.sourceIndex))
                    | (std::uint32_t(sm) << (2 * m.sourceIndex + 1));
                if (!extendState(layout, rules, visit, fixedSources, slot + 1, next, nextPacked))
                    return false;
            }
        }
    }
    return true;
}

} // namespace detail

template <class Visit>
void forEachFittingState(const StateLayout& layout, const LocusRules& rules, Visit&& visit,
                         const std::uint32_t* fixedSources)
{
    detail::extendState(layout, rules, visit, fixedSources, 0, 0, 0);
}

} // namespace tavirlen
