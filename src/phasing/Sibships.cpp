#include "phasing/Sibships.h"

#include "phasing/BottomUpOrder.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/Sources.h"

#include <array>

namespace tavirlen {

namespace {

// Ready for the bottom-up walk: done already, or none of its children still
// to do has children of its own.
bool ready(const Pedigree& pedigree, int id)
{
    if (pedigree.visitedIds.count(id)) return true;
    const Individual* m = pedigree.member(id);
    if (!m) return true;
    for (int childId : m->childIds) {
        if (pedigree.visitedIds.count(childId)) continue;
        const Individual* child = pedigree.member(childId);
        if (child && !child->childIds.empty()) return false;
    }
    return true;
}

// What one side of a member's sources looks like along the loci.
struct SideScan {
    int count = 0;       // loci with a determined source
    int last = -1;       // the last of them
    int value = -1;      // its source
    bool changes = false; // the determined sources take both values
};

std::array<SideScan, 2> scanSources(const Individual& member)
{
    std::array<SideScan, 2> scan;
    // Both sides in one pass, and without a branch on whether a source is
    // determined: the votes scan every sibling more than once, and which
    // loci are determined follows no pattern a processor could guess.
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
        for (int side = 0; side < 2; ++side) {
            SideScan& s = scan[static_cast<std::size_t>(side)];
            const int source = member.genotypes[k].source(side);
            const bool determined = source != -1;
            s.changes |= determined && s.count > 0 && source != s.value;
            s.count += determined ? 1 : 0;
            s.last = determined ? static_cast<int>(k) : s.last;
            s.value = determined ? source : s.value;
        }
    }
    return scan;
}

// The side to work on first: the one with more determined sources, the
// maternal one on a tie.
int startSide(const std::array<SideScan, 2>& scan)
{
    return scan[0].count <= scan[1].count ? 1 : 0;
}

// The reference source of every sibling on both sides: the last determined
// source (lowest = false) or the first (lowest = true). A sibling without one
// keeps its entry.
void referenceSources(const Pedigree& pedigree, const std::vector<int>& siblings,
                      std::vector<std::array<int, 2>>& references, bool lowest)
{
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        const Individual* sibling = pedigree.member(siblings[i]);
        if (!sibling) continue;
        for (int side = 0; side < 2; ++side) {
            int found = -1;
            for (std::size_t k = 0; k < sibling->genotypes.size(); ++k) {
                int source = sibling->genotypes[k].source(side);
                if (source == -1) continue;
                found = source;
                if (lowest) break;
            }
            if (found != -1 || !lowest) references[i][static_cast<std::size_t>(side)] = found;
        }
    }
}

// The votes of one sibling, as voteSibling counts them, once it is known
// whether that sibling shows a change of source.
void countVote(const Individual& child, const Individual& sibling, bool siblingChanges, int locus,
               int reference, int running, int side, VoteCounts& votes)
{
    std::size_t k = static_cast<std::size_t>(locus);
    if (locus < 0 || k >= child.genotypes.size() || k >= sibling.genotypes.size() || siblingChanges) return;
    bool same = child.genotypes[k].allele(side) == sibling.genotypes[k].allele(side);
    if ((same && running != reference) || (!same && running == reference)) ++votes.keep;
    if ((same && 1 - running != reference) || (!same && 1 - running == reference)) ++votes.flip;
}

// The nearest determined source above the locus below `locus`, once the
// walk down has passed `locus`.
int passedSource(const Individual& member, int side, int locus, int above)
{
    int here = member.genotypes[static_cast<std::size_t>(locus)].source(side);
    return here != -1 ? here : above;
}

// One sibling's walk along one side of a maternal sibship.
struct SiblingWalk {
    Pedigree& pedigree;
    const std::vector<int>& siblings;
    const std::vector<std::array<int, 2>>& references;
    std::size_t index; // the sibling's position in `siblings`
    Individual& sibling;
    Individual& parent;
    const Individual* otherParent;
    int side;
    // Whether each other sibling shows a change of source (-1 not yet
    // looked at). The walk changes only the sibling and the parent, so an
    // answer holds for the whole walk for everybody else; asking again at
    // every locus would cost the length of the map each time.
    std::vector<signed char>& changes;

    bool showsChange(std::size_t j, const Individual& other) const
    {
        if (other.individualId == sibling.individualId || other.individualId == parent.individualId)
            return showsChangeOfSource(other);
        if (changes[j] == -1) changes[j] = showsChangeOfSource(other) ? 1 : 0;
        return changes[j] == 1;
    }

    VoteCounts collectVotes(int locus, int running) const
    {
        VoteCounts votes;
        if (running == -1) return votes;
        for (std::size_t j = 0; j < siblings.size(); ++j) {
            if (j == index) continue;
            int reference = references[j][static_cast<std::size_t>(side)];
            if (reference == -1) continue;
            const Individual* other = pedigree.member(siblings[j]);
            // A half-sibling's source on this side refers to another parent.
            if (!other || other->parentId(side) != sibling.parentId(side)) continue;
            countVote(sibling, *other, showsChange(j, *other), locus, reference, running, side, votes);
        }
        return votes;
    }

    // One locus whose source is still open; false where the walk stops
    // (neither the sibling nor the parent phased).
    bool step(int locus, int& running)
    {
        GenotypeRecord& g = sibling.genotypes[static_cast<std::size_t>(locus)];
        const GenotypeRecord& p = parent.genotypes[static_cast<std::size_t>(locus)];
        if (g.phased && p.phased) {
            // The sibling is assumed to keep its source, but where the
            // parent's two alleles differ the sibling's allele shows the
            // source it actually has; a change found there is followed.
            if (running != -1 && !p.homozygousTyped() && g.allele(side) != p.allele(running)) {
                if (g.allele(side) == p.allele(1 - running)) {
                    running = 1 - running;
                    g.source(side) = running;
                }
            } else {
                g.source(side) = running;
            }
        } else if (g.phased) {
            if (g.homozygousTyped())
                running = -1;
            else
                phaseParentByVotes(pedigree, sibling, parent, locus, running, side, collectVotes(locus, running));
        } else if (p.phased) {
            phaseChildByVotes(sibling, parent, otherParent, locus, running, side, collectVotes(locus, running));
        } else {
            return false;
        }
        return true;
    }
};

} // namespace

int nextBottomUp(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) {
        if (pedigree.visitedIds.count(id) || !ready(pedigree, id)) continue;
        if (m.isFounder()) return id;
        const Individual* father = pedigree.member(m.fatherId);
        if (!father) return id;
        bool siblingsReady = true;
        for (int childId : father->childIds) siblingsReady = siblingsReady && ready(pedigree, childId);
        if (siblingsReady) return id;
    }
    return 0;
}

bool voteSibling(const Individual& child, const Individual& sibling, int locus, int reference,
                 int running, int side, VoteCounts& votes)
{
    std::size_t k = static_cast<std::size_t>(locus);
    if (locus < 0 || k >= child.genotypes.size() || k >= sibling.genotypes.size()) return false;
    if (showsChangeOfSource(sibling)) return false;
    countVote(child, sibling, false, locus, reference, running, side, votes);
    return true;
}

void phaseChildByVotes(Individual& child, const Individual& parent, const Individual* otherParent,
                       int locus, int& running, int side, const VoteCounts& votes)
{
    std::size_t k = static_cast<std::size_t>(locus);
    if (locus < 0 || k >= child.genotypes.size() || k >= parent.genotypes.size()) return;
    if (otherParent && k >= otherParent->genotypes.size()) otherParent = nullptr;
    GenotypeRecord& g = child.genotypes[k];
    if (votes.keep == votes.flip) {
        running = -1;
    } else {
        if (votes.keep > votes.flip) running = 1 - running;
        g.source(side) = running;
        bringToSide(g, side, parent.genotypes[k].allele(running));
        g.phased = true;
    }
    // On a tie the locus stays unphased: its slots say nothing about sides.
    if (g.phased && otherParent && otherParent->genotypes[k].phased)
        g.source(1 - side) = g.allele(1 - side) == otherParent->genotypes[k].allele1 ? 0 : 1;
}

void phaseParentByVotes(Pedigree& pedigree, Individual& child, Individual& parent, int locus,
                        int& running, int side, const VoteCounts& votes)
{
    std::size_t k = static_cast<std::size_t>(locus);
    if (locus < 0 || k >= child.genotypes.size() || k >= parent.genotypes.size()) return;
    if (votes.keep == votes.flip) {
        running = -1;
        return;
    }
    if (votes.keep > votes.flip) running = 1 - running;
    GenotypeRecord& g = child.genotypes[k];
    g.source(side) = running;
    bringToSide(parent.genotypes[k], running, g.allele(side));
    parent.genotypes[k].phased = true;
    setSourcesFromParents(pedigree, parent, locus);
}

namespace {

// The working lists of the sibship passes, kept from one sibship to the
// next: a large family would otherwise allocate them at every member.
struct SibshipScratch {
    std::vector<std::array<int, 2>> references;
    std::vector<signed char> changes;
    std::vector<int> below;
};

// The two sibship passes on a family whose members all have its number of
// loci (the public entries check that; inferFromSibships checks it once).
void sibshipBlocks(Pedigree& pedigree, int memberId, SibshipScratch& scratch)
{
    Individual* member = pedigree.member(memberId);
    Individual* mother = member ? parentOf(pedigree, *member, 1) : nullptr;
    if (!mother) {
        pedigree.visitedIds.insert(memberId);
        return;
    }
    // Walking a sibship changes genotypes only, never who is whose child.
    const std::vector<int>& siblings = mother->childIds;
    std::vector<std::array<int, 2>>& references = scratch.references;
    references.assign(siblings.size(), {-1, -1});
    referenceSources(pedigree, siblings, references, false);

    for (std::size_t i = 0; i < siblings.size(); ++i) {
        Individual* sibling = pedigree.member(siblings[i]);
        if (!sibling) continue;
        std::array<SideScan, 2> scan = scanSources(*sibling);
        if (scan[0].changes || scan[1].changes) continue;
        if (scan[0].count == 0 && scan[1].count == 0) continue;
        int first = startSide(scan);
        for (int round = 0; round < 2; ++round) {
            int side = round == 0 ? first : 1 - first;
            if (round == 1) {
                scan = scanSources(*sibling);
                if (scan[0].changes || scan[1].changes) break;
                if (scan[static_cast<std::size_t>(side)].count == 0) break;
            }
            // Each sibling is read against its own parents (half-siblings
            // share only the mother here).
            Individual* parent = parentOf(pedigree, *sibling, side);
            if (!parent) continue;
            scratch.changes.assign(siblings.size(), -1);
            SiblingWalk walk{pedigree, siblings, references, i, *sibling, *parent,
                             parentOf(pedigree, *sibling, 1 - side), side, scratch.changes};
            const SideScan& s = scan[static_cast<std::size_t>(side)];
            int loci = static_cast<int>(sibling->genotypes.size());
            int running = s.value;
            for (int l = s.last + 1; l < loci; ++l)
                if (!walk.step(l, running)) break;
            referenceSources(pedigree, siblings, references, true);
            running = sibling->genotypes[static_cast<std::size_t>(s.last)].source(side);
            for (int l = s.last - 1; l >= 0; --l) {
                int source = sibling->genotypes[static_cast<std::size_t>(l)].source(side);
                if (source != -1)
                    running = source;
                else if (!walk.step(l, running))
                    break;
            }
        }
    }
    for (int id : siblings) pedigree.visitedIds.insert(id);
    pedigree.visitedIds.insert(memberId);
}

void parentsFromChildren(Pedigree& pedigree, int memberId, SibshipScratch& scratch)
{
    Individual* member = pedigree.member(memberId);
    Individual* father = member ? parentOf(pedigree, *member, 0) : nullptr;
    if (!father) {
        pedigree.visitedIds.insert(memberId);
        return;
    }
    const std::vector<int>& siblings = father->childIds;
    for (int siblingId : siblings) {
        Individual* sibling = pedigree.member(siblingId);
        if (!sibling) continue;
        std::array<SideScan, 2> scan = scanSources(*sibling);
        if (scan[0].count == 0 && scan[1].count == 0) continue;
        int first = startSide(scan);
        for (int round = 0; round < 2; ++round) {
            int side = round == 0 ? first : 1 - first;
            if (round == 1) {
                scan = scanSources(*sibling);
                if (scan[static_cast<std::size_t>(side)].count == 0) break;
            }
            Individual* parent = parentOf(pedigree, *sibling, side);
            if (!parent) continue;
            // The flanking sources of each locus, kept along the walk instead
            // of searched for: the walk goes down and changes only the
            // locus it stands on, so what lies below is still as it was
            // before the walk, and the nearest source above is the last one
            // passed.
            const int last = scan[static_cast<std::size_t>(side)].last;
            std::vector<int>& below = scratch.below;
            below.assign(static_cast<std::size_t>(last), -1);
            for (int l = 0, source = -1; l < last; ++l) {
                below[static_cast<std::size_t>(l)] = source;
                int here = sibling->genotypes[static_cast<std::size_t>(l)].source(side);
                if (here != -1) source = here;
            }
            int above = sibling->genotypes[static_cast<std::size_t>(last)].source(side);
            for (int l = last - 1; l >= 0; above = passedSource(*sibling, side, l, above), --l) {
                std::size_t k = static_cast<std::size_t>(l);
                GenotypeRecord& g = sibling->genotypes[k];
                if (g.source(side) != -1) continue;
                // A member that is its own parent would change what lies below.
                int code = parent == sibling ? flankCode(*sibling, side, l) : flankCodeOf(below[k], above);
                if (code != 0 && code != 1) continue;
                GenotypeRecord& p = parent->genotypes[k];
                if (!g.phased) {
                    if (p.phased) {
                        bringToSide(g, side, p.allele(code));
                        g.phased = true;
                    }
                } else if (!p.phased) {
                    g.source(side) = code;
                    bringToSide(p, code, g.allele(side));
                    p.phased = true;
                    setSourcesFromParents(pedigree, *parent, l);
                } else if (p.homozygousTyped() || g.allele(side) == p.allele(code)) {
                    g.source(side) = code;
                } else if (g.allele(side) == p.allele(1 - code)) {
                    // A parent phased already (by a sibling, or by its own
                    // parents) is not turned round: the sibling's allele
                    // shows which source it has here.
                    g.source(side) = 1 - code;
                }
            }
        }
    }
    for (int id : siblings) pedigree.visitedIds.insert(id);
    pedigree.visitedIds.insert(memberId);
}

} // namespace

void extendSibshipBlocks(Pedigree& pedigree, int memberId)
{
    SibshipScratch scratch;
    if (sameLocusCount(pedigree))
        sibshipBlocks(pedigree, memberId, scratch);
    else
        pedigree.visitedIds.insert(memberId);
}

void phaseParentsFromChildren(Pedigree& pedigree, int memberId)
{
    SibshipScratch scratch;
    if (sameLocusCount(pedigree))
        parentsFromChildren(pedigree, memberId, scratch);
    else
        pedigree.visitedIds.insert(memberId);
}

bool inferFromSibships(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return true;
    BottomUpOrder order(pedigree);
    return inferFromSibships(pedigree, order);
}

bool inferFromSibships(Pedigree& pedigree, BottomUpOrder& order)
{
    SibshipScratch scratch;
    for (auto pass : {sibshipBlocks, parentsFromChildren}) {
        pedigree.visitedIds.clear();
        order.restart(pedigree);
        while (pedigree.visitedIds.size() < pedigree.members.size()) {
            int id = order.next();
            if (id == 0) break;
            if (pedigree.member(id)->isFounder())
                pedigree.visitedIds.insert(id);
            else
                pass(pedigree, id, scratch);
            order.catchUp(pedigree);
        }
    }

    pedigree.visitedIds.clear();
    pedigree.cleanQueue.clear();
    pedigree.seedId = 0;
    pedigree.blockLength = 0;
    pedigree.blockStart = 0;
    for (const auto& [id, m] : pedigree.members) {
        PhasedRun longest;
        if (!m.isFounder()) {
            longest = longestPhasedRun(m);
            if (completelyPhased(m)) pedigree.visitedIds.insert(id);
        }
        if (showsChangeOfSource(m)) {
            pedigree.recombinantQueue.push_back(id);
        } else if (longest.length >= pedigree.blockLength) {
            pedigree.seedId = id;
            pedigree.blockLength = longest.length;
            pedigree.blockStart = longest.start;
        }
    }
    for (auto it = pedigree.members.rbegin(); it != pedigree.members.rend(); ++it)
        if (!it->second.isFounder() && completelyPhased(it->second)) fileMember(pedigree, it->first);
    return true;
}

} // namespace tavirlen
