#include "phasing/Sources.h"

#include "phasing/PhasingHelpers.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace tavirlen {

int sourceSummary(const Individual& member, int side)
{
    bool seen[2] = {false, false};
    for (const GenotypeRecord& g : member.genotypes) {
        int s = g.source(side);
        if (s == 0 || s == 1) seen[s] = true;
    }
    if (seen[0] && seen[1]) return 2;
    if (seen[0]) return 0;
    if (seen[1]) return 1;
    return -1;
}

std::pair<int, int> flankingSources(const Individual& member, int side, int locus)
{
    int previous = -1;
    int next = -1;
    int loci = static_cast<int>(member.genotypes.size());
    for (int k = std::min(locus, loci) - 1; k >= 0; --k) {
        int s = member.genotypes[static_cast<std::size_t>(k)].source(side);
        if (s != -1) {
            previous = s;
            break;
        }
    }
    for (int k = std::max(locus + 1, 0); k < loci; ++k) {
        int s = member.genotypes[static_cast<std::size_t>(k)].source(side);
        if (s != -1) {
            next = s;
            break;
        }
    }
    return {previous, next};
}

int flankCode(const Individual& member, int side, int locus)
{
    auto [previous, next] = flankingSources(member, side, locus);
    return flankCodeOf(previous, next);
}

int flankCodeOf(int previous, int next)
{
    if (previous == 1 && next == 1) return 1;
    if (previous == 0 && next == 0) return 0;
    if (previous == 1 && next == 0) return 2;
    if (previous == 1 && next == -1) return 3;
    if (previous == -1 && next == 0) return 4;
    if (previous == -1 && next == 1) return 5;
    if (previous == 0 && next == -1) return 6;
    if (previous == 0 && next == 1) return 7;
    return -1;
}

namespace {

// Whether the parent can have passed the allele on. A parent with a missing
// allele at the locus can have passed any allele: reading its 0 as a code
// would order the child against the other parent's genotype.
bool carries(const GenotypeRecord& parent, int allele)
{
    return allele == parent.allele1 || allele == parent.allele2 || parent.allele1 < 1 || parent.allele2 < 1;
}

// Marks the founder's homozygous loci phased and fixes the arrangement of its
// two haplotypes at one further locus. Returns the number of phased loci.
int phaseFounder(Individual& founder)
{
    int fixing = -1;
    bool afterHomozygous = false;
    for (std::size_t k = 0; k < founder.genotypes.size(); ++k) {
        GenotypeRecord& g = founder.genotypes[k];
        if (g.homozygousTyped()) {
            g.phased = true;
            afterHomozygous = true;
        } else if (afterHomozygous && fixing == -1) {
            fixing = static_cast<int>(k);
        }
    }
    if (fixing == -1 && !founder.genotypes.empty() && !founder.genotypes[0].homozygousTyped())
        fixing = 0;
    if (fixing != -1) founder.genotypes[static_cast<std::size_t>(fixing)].phased = true;
    int count = 0;
    for (const GenotypeRecord& g : founder.genotypes) count += g.phased ? 1 : 0;
    return count;
}

// Sets the child's source on one side at locus k from the parent's phased
// locus, carrying the last source over loci where the parent is homozygous.
void setSourceFromParent(Individual& child, const Individual& parent, int side, std::size_t k,
                         int& lastSource, bool& firstSource)
{
    GenotypeRecord& g = child.genotypes[k];
    const GenotypeRecord& p = parent.genotypes[k];
    if (!p.phased) {
        lastSource = -1;
        return;
    }
    // A parent locus that cannot tell its two alleles apart (homozygous or
    // with a missing allele) carries the last source over.
    if (!p.informative()) {
        if (lastSource != -1) g.source(side) = lastSource;
        return;
    }
    int allele = g.allele(side);
    bool set = false;
    if (allele == p.allele1 && allele != p.allele2) {
        g.source(side) = 0;
        set = true;
    } else if (allele == p.allele2) {
        g.source(side) = 1;
        set = true;
    }
    lastSource = g.source(side);
    if (set && firstSource) {
        firstSource = false;
        for (std::size_t j = k; j-- > 0;) {
            if (!child.genotypes[j].phased || !parent.genotypes[j].phased) break;
            child.genotypes[j].source(side) = g.source(side);
        }
    }
}

// Orders the non-founder's loci that its parents decide and sets sources.
// Returns the number of phased loci.
int phaseNonFounder(Individual& child, const Individual& father, const Individual& mother)
{
    int count = 0;
    int lastSource[2] = {-1, -1};
    bool firstSource[2] = {true, true};
    std::size_t loci = std::min({child.genotypes.size(), father.genotypes.size(), mother.genotypes.size()});
    for (std::size_t k = 0; k < loci; ++k) {
        GenotypeRecord& g = child.genotypes[k];
        const GenotypeRecord& f = father.genotypes[k];
        const GenotypeRecord& m = mother.genotypes[k];
        if (!g.homozygousTyped() && !g.phased) {
            if (!carries(f, g.allele1)) {
                std::swap(g.allele1, g.allele2);
                g.phased = true;
            } else if (carries(m, g.allele1)) {
                if (!carries(m, g.allele2)) {
                    std::swap(g.allele1, g.allele2);
                    g.phased = true;
                } else if (!carries(f, g.allele2)) {
                    g.phased = true;
                }
            } else {
                g.phased = true;
            }
            // With one allele missing, the 0 above reads as an allele no
            // typed parent carries: the typed allele goes to the parent that
            // can have passed it where the other cannot.
            if (g.phased && missingAllele(g.allele1) != missingAllele(g.allele2)) {
                const int side = missingAllele(g.allele1) ? 1 : 0;
                const GenotypeRecord& own = side == 0 ? f : m;
                const GenotypeRecord& other = side == 0 ? m : f;
                if (!carries(own, g.allele(side)) && carries(other, g.allele(side))) std::swap(g.allele1, g.allele2);
            }
        } else {
            g.phased = true;
        }
        if (!g.phased) {
            lastSource[0] = lastSource[1] = -1;
            continue;
        }
        ++count;
        setSourceFromParent(child, father, 0, k, lastSource[0], firstSource[0]);
        setSourceFromParent(child, mother, 1, k, lastSource[1], firstSource[1]);
    }
    return count;
}

} // namespace

bool phaseByMendel(Pedigree& pedigree)
{
    int best = 0;
    bool first = true;
    for (auto& [id, m] : pedigree.members) {
        int count = 0;
        if (m.isFounder()) {
            count = phaseFounder(m);
        } else {
            const Individual* father = pedigree.member(m.fatherId);
            const Individual* mother = pedigree.member(m.motherId);
            if (father && mother) count = phaseNonFounder(m, *father, *mother);
        }
        if (count == pedigree.locusCount) {
            pedigree.visitedIds.insert(id);
            fileMember(pedigree, id);
        }
        if (first || count >= best) {
            best = count;
            first = false;
            pedigree.seedId = id;
            pedigree.blockLength = count;
        }
    }
    return true;
}

void refreshSources(Pedigree& pedigree)
{
    for (auto& [id, m] : pedigree.members) refreshSources(pedigree, m);
}

// A member's refresh reads only its parents' alleles and order, which no
// refresh changes: the members may be refreshed one at a time, each with
// whatever else the walk does to it.
void refreshSources(const Pedigree& pedigree, Individual& m)
{
    if (m.isFounder()) return;
    for (int side = 0; side < 2; ++side) {
        const Individual* parent = pedigree.member(m.parentId(side));
        if (!parent) continue;
        std::size_t loci = std::min(m.genotypes.size(), parent->genotypes.size());
        for (std::size_t k = 0; k < loci; ++k) refreshSource(m.genotypes[k], parent->genotypes[k], side);
    }
}

void fileMember(Pedigree& pedigree, int id)
{
    const Individual* m = pedigree.member(id);
    if (m && sourceSummary(*m, 0) != 2 && sourceSummary(*m, 1) != 2)
        pedigree.cleanQueue.push_back(id);
    else
        pedigree.recombinantQueue.push_back(id);
}

namespace {

// Whether a gap in the member's sources on a side may take a neighbouring
// source at locus k: the member's locus is phased and the parent's order
// there does not decide the source (homozygous or not fully typed). Where the
// parent is heterozygous but its order still open, a source would name one
// of two alleles that may yet change places; it stays undetermined.
bool mayCarrySource(const GenotypeRecord& g, const Individual* parent, std::size_t k)
{
    if (!g.phased) return false;
    if (!parent || k >= parent->genotypes.size()) return true;
    const GenotypeRecord& p = parent->genotypes[k];
    return p.phased || !p.informative();
}

// The source a parent with one allele missing at the locus must be for the
// member's allele: the missing one, when the member carries another allele
// than the typed one. -1 when the alleles do not force it.
int forcedSource(const GenotypeRecord& g, const Individual* parent, std::size_t k, int side)
{
    if (!g.phased || !parent || k >= parent->genotypes.size() || missingAllele(g.allele(side))) return -1;
    const GenotypeRecord& p = parent->genotypes[k];
    const int lacking = lackingSlot(p);
    return lacking == -1 || g.allele(side) == p.allele(1 - lacking) ? -1 : lacking;
}

// One walk of the count: fills the gaps and counts the changes of source.
void countSourceChanges(Pedigree& pedigree)
{
    pedigree.recombinantCount = 0;
    // The gaps filled below are the member's own sources, which no refresh
    // reads: refreshing and counting go in one walk.
    for (auto& [id, m] : pedigree.members) {
        refreshSources(pedigree, m);
        if (m.isFounder()) continue;
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = pedigree.member(m.parentId(side));
            int last = -1;
            for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
                GenotypeRecord& g = m.genotypes[k];
                // A gap filled from a neighbour, or a walk, may have named
                // the typed allele of a parent that lacks the other one,
                // where the member carries another allele: it got the missing one.
                const int forced = forcedSource(g, parent, k, side);
                if (forced != -1) g.source(side) = forced;
                int source = g.source(side);
                if (last == -1) {
                    if (source == -1) continue;
                    last = source;
                    // Phased loci before the first determined source take it.
                    for (std::size_t j = 0; j < k; ++j) {
                        GenotypeRecord& gap = m.genotypes[j];
                        if (gap.source(side) == -1 && mayCarrySource(gap, parent, j)) gap.source(side) = last;
                    }
                } else if (source == -1) {
                    if (mayCarrySource(g, parent, k)) g.source(side) = last;
                } else if (source != last) {
                    ++pedigree.recombinantCount;
                    last = source;
                }
            }
        }
    }
}

// A parent's missing allele is one allele, whichever children name it. A
// gap filled from a neighbour can name one slot for children carrying
// different alleles; each slot then stands for the allele most of its
// children show (a typed slot for its own), and a child showing another
// takes the other slot where that can hold its allele. Returns whether a
// source changed.
bool settleMissingAlleles(Pedigree& pedigree)
{
    struct Naming {
        GenotypeRecord* g;
        int side;
    };
    // (parent, locus) -> the children naming each slot
    std::map<std::pair<int, std::size_t>, std::array<std::vector<Naming>, 2>> named;
    // By now most parents lack no allele at all: their children need no
    // look locus by locus.
    auto lacksSome = [](const Individual& parent) {
        return std::any_of(parent.genotypes.begin(), parent.genotypes.end(), lacksAllele);
    };
    for (auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = pedigree.member(m.parentId(side));
            if (!parent || !lacksSome(*parent)) continue;
            for (std::size_t k = 0; parent && k < m.genotypes.size() && k < parent->genotypes.size(); ++k) {
                const GenotypeRecord& p = parent->genotypes[k];
                GenotypeRecord& g = m.genotypes[k];
                const int source = g.source(side);
                if ((!missingAllele(p.allele1) && !missingAllele(p.allele2)) || (source != 0 && source != 1)
                    || missingAllele(g.allele(side)))
                    continue;
                named[{parent->individualId, k}][static_cast<std::size_t>(source)].push_back({&g, side});
            }
        }
    }
    bool changed = false;
    for (auto& entry : named) {
        // A plain reference: before C++20 a lambda cannot take a structured binding.
        const std::array<std::vector<Naming>, 2>& slots = entry.second;
        const GenotypeRecord& p = pedigree.member(entry.first.first)->genotypes[entry.first.second];
        auto mostShown = [&slots](int slot, int avoid) {
            std::map<int, int> counts;
            for (const Naming& n : slots[static_cast<std::size_t>(slot)]) ++counts[n.g->allele(n.side)];
            int best = 0, bestCount = 0;
            for (auto [allele, count] : counts)
                if (allele != avoid && count > bestCount) best = allele, bestCount = count;
            return best;
        };
        // The slots' alleles, deciding one slot first, and the moves that
        // follow; the order that leaves fewer children unsettled is taken.
        struct Plan {
            int value[2];
            std::vector<std::pair<const Naming*, int>> moves;
            int unsettled = 0;
        };
        auto plan = [&](int firstSlot) {
            Plan result{{p.allele1, p.allele2}, {}, 0};
            for (int slot : {firstSlot, 1 - firstSlot}) {
                if (!missingAllele(result.value[slot])) continue;
                result.value[slot] = mostShown(slot, result.value[1 - slot]);
                // Only the other slot's allele shown: the parent may carry it twice.
                if (missingAllele(result.value[slot])) result.value[slot] = mostShown(slot, 0);
            }
            for (int slot = 0; slot < 2; ++slot) {
                for (const Naming& n : slots[static_cast<std::size_t>(slot)]) {
                    const int allele = n.g->allele(n.side);
                    if (allele == result.value[slot]) continue;
                    int& other = result.value[1 - slot];
                    if (missingAllele(other)) other = allele;
                    if (other == allele)
                        result.moves.push_back({&n, 1 - slot});
                    else
                        ++result.unsettled;
                }
            }
            return result;
        };
        Plan first = plan(0), second = plan(1);
        const Plan& chosen = second.unsettled < first.unsettled
                || (second.unsettled == first.unsettled && second.moves.size() < first.moves.size())
            ? second
            : first;
        for (auto [n, slot] : chosen.moves) {
            n->g->source(n->side) = slot;
            changed = true;
        }
    }
    return changed;
}

} // namespace

bool countRecombinants(Pedigree& pedigree)
{
    countSourceChanges(pedigree);
    if (settleMissingAlleles(pedigree)) countSourceChanges(pedigree);
    return true;
}

} // namespace tavirlen
