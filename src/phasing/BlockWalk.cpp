#include "phasing/BlockWalk.h"

#include "pedigree/Random.h"
#include "phasing/ParentPhaseDP.h"
#include "phasing/PhaseIndex.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/Sources.h"

#include <algorithm>
#include <utility>

namespace tavirlen {

namespace {

// The block's loci [first, end), clipped to the member's loci.
struct BlockRange {
    int first = 0;
    int end = 0;
};

BlockRange blockRange(const Pedigree& pedigree, const Individual& member)
{
    int loci = static_cast<int>(member.genotypes.size());
    int first = std::clamp(pedigree.blockStart, 0, loci);
    int end = std::clamp(pedigree.blockStart + std::max(pedigree.blockLength, 0), first, loci);
    return {first, end};
}

GenotypeRecord& at(Individual& member, int locus)
{
    return member.genotypes[static_cast<std::size_t>(locus)];
}

const GenotypeRecord& at(const Individual& member, int locus)
{
    return member.genotypes[static_cast<std::size_t>(locus)];
}

// One unphased locus of a child whose two parents are done: the order whose
// implied sources disagree least with the flanking sources, the stored one
// on a tie; the locus is phased and takes the sources of that order.
void decideOrder(GenotypeRecord& g, const GenotypeRecord& f, const GenotypeRecord& m, int paternalBelow,
                 int paternalAbove, int maternalBelow, int maternalAbove)
{
    if (g.phased) return;
    // A parent whose order is still open and whose alleles differ
    // implies no source: its side neither counts nor is set.
    const bool paternalKnown = f.phased || !f.informative();
    const bool maternalKnown = m.phased || !m.informative();
    if (!paternalKnown && !maternalKnown) return;
    auto cost = [&](int paternal, int maternal) {
        int disagreements = 0;
        if (paternalKnown)
            for (int s : {paternalBelow, paternalAbove}) disagreements += s != -1 && s != paternal;
        if (maternalKnown)
            for (int s : {maternalBelow, maternalAbove}) disagreements += s != -1 && s != maternal;
        return disagreements;
    };
    int keepPaternal = g.allele1 == f.allele1 ? 0 : 1;
    int keepMaternal = g.allele2 == m.allele1 ? 0 : 1;
    int swapPaternal = g.allele2 == f.allele1 ? 0 : 1;
    int swapMaternal = g.allele1 == m.allele1 ? 0 : 1;
    if (cost(keepPaternal, keepMaternal) > cost(swapPaternal, swapMaternal)) {
        std::swap(g.allele1, g.allele2);
        g.paternalSource = swapPaternal;
        g.maternalSource = swapMaternal;
    } else {
        g.paternalSource = keepPaternal;
        g.maternalSource = keepMaternal;
    }
    if (!paternalKnown) g.paternalSource = -1;
    if (!maternalKnown) g.maternalSource = -1;
    g.phased = true;
}

} // namespace

void extendToChild(Pedigree& pedigree, PhaseIndex& index, int parentId, int childId)
{
    Individual* parent = pedigree.member(parentId);
    Individual* child = pedigree.member(childId);
    if (!parent || !child) return;
    int side = child->fatherId == parentId ? 0 : 1;
    BlockRange block = blockRange(pedigree, *child);

    int found = -1;
    for (int l = block.first; l < block.end; ++l) {
        if (at(*child, l).source(side) != -1) {
            found = l;
            break;
        }
    }
    int running;
    if (found != -1) {
        running = at(*child, found).source(side);
    } else {
        running = rand() >= 16383 ? 1 : 0;
    }

    // Where the parent's own order is still open and its two alleles differ,
    // its allele `running` is not yet a fact: the child is neither ordered
    // by it nor given a source there (the source is read once the parent is
    // phased).
    auto parentOpen = [&](int l) {
        const GenotypeRecord& p = at(*parent, l);
        return !p.phased && p.informative();
    };
    // An unphased locus is ordered so that the child's allele on this side
    // is the parent's allele `running`.
    auto order = [&](int l) {
        GenotypeRecord& g = at(*child, l);
        if (g.phased || parentOpen(l)) return;
        bringToSide(g, side, at(*parent, l).allele(running));
        g.phased = true;
    };
    // Gives locus l the running source. Where the parent's two alleles differ
    // and the child carries the other one, the child has changed source: the
    // running source follows the alleles, as it follows a recorded change.
    auto follow = [&](int l) {
        if (parentOpen(l)) return;
        order(l);
        GenotypeRecord& g = at(*child, l);
        const GenotypeRecord& p = at(*parent, l);
        if (p.phased && !p.homozygousTyped() && g.allele(side) != p.allele(running)
            && g.allele(side) == p.allele(1 - running))
            running = 1 - running;
        g.source(side) = running;
    };
    if (found != -1) {
        order(found);
        for (int l = found - 1; l >= block.first; --l) follow(l);
        running = at(*child, found).source(side);
    }
    for (int l = found == -1 ? block.first : found + 1; l < block.end; ++l) {
        if (at(*child, l).source(side) == -1)
            follow(l);
        else
            running = at(*child, l).source(side);
    }

    const Individual* other = parentOf(pedigree, *child, 1 - side);
    for (int l = block.first; l < block.end; ++l) {
        GenotypeRecord& g = at(*child, l);
        g.source(1 - side) = -1;
        if (!other || !at(*other, l).phased) continue;
        const GenotypeRecord& o = at(*other, l);
        int allele = g.allele(1 - side);
        if (allele == o.allele1 && allele != o.allele2)
            g.source(1 - side) = 0;
        else if (allele == o.allele2 && allele != o.allele1)
            g.source(1 - side) = 1;
    }

    pedigree.visitedIds.insert(childId);
    index.catchUp(childId);
    index.fileMember(childId);
}

void extendToChildOfPair(Pedigree& pedigree, PhaseIndex& index, int parentId, int mateId, int childId)
{
    Individual* child = pedigree.member(childId);
    if (!child) return;
    const Individual* father = pedigree.member(child->fatherId == parentId ? parentId : mateId);
    const Individual* mother = pedigree.member(child->motherId == parentId ? parentId : mateId);
    BlockRange block = blockRange(pedigree, *child);

    bool anySource = false;
    for (int l = block.first; l < block.end && !anySource; ++l)
        anySource = at(*child, l).paternalSource != -1 || at(*child, l).maternalSource != -1;

    if (anySource && father && mother) {
        // The flanking sources of each locus: below it, the last determined
        // one passed (the loop changes only the locus it stands on), and
        // below the block what the index holds; above it, the index, which
        // nothing in this loop has changed there yet.
        int below[2] = {index.sourceBelow(childId, 0, block.first), index.sourceBelow(childId, 1, block.first)};
        for (int l = block.first; l < block.end; ++l) {
            GenotypeRecord& g = at(*child, l);
            decideOrder(g, at(*father, l), at(*mother, l), below[0], index.sourceAbove(childId, 0, l), below[1],
                        index.sourceAbove(childId, 1, l));
            for (int side = 0; side < 2; ++side)
                if (g.source(side) != -1) below[side] = g.source(side);
        }
    }

    pedigree.visitedIds.insert(childId);
    index.catchUp(childId);
    index.fileMember(childId);
}

void extendFromSeed(Pedigree& pedigree, PhaseIndex& index)
{
    int id = pedigree.seedId;
    std::vector<int> children;
    for (;;) {
        pedigree.visitedIds.insert(id);
        if (Individual* x = pedigree.member(id)) {
            // Copied: phasing a child does not change the list, but the
            // walk must not depend on that.
            children.assign(x->childIds.begin(), x->childIds.end());
            for (int childId : children) {
                if (pedigree.visitedIds.count(childId)) continue;
                const Individual* child = pedigree.member(childId);
                if (!child) continue;
                // The other parent is normally the mate; a half-sibling's is
                // its own other parent.
                int otherId = child->fatherId == id ? child->motherId : child->fatherId;
                bool otherDone = otherId != 0 && pedigree.member(otherId) && pedigree.visitedIds.count(otherId);
                if (otherDone) {
                    extendToChildOfPair(pedigree, index, id, otherId, childId);
                } else if (!index.showsChangeOfSource(childId)) {
                    extendToChild(pedigree, index, id, childId);
                } else {
                    pedigree.recombinantQueue.push_back(childId);
                    continue;
                }
                index.refreshAfterStep(childId);
            }
            for (int side = 0; side < 2; ++side) {
                int parentId = x->parentId(side);
                if (parentId == 0 || !pedigree.member(parentId) || pedigree.visitedIds.count(parentId))
                    continue;
                phaseParentByDP(pedigree, index, id, parentId);
                index.refreshAfterStep(parentId);
            }
        }
        std::deque<int>* queue = !pedigree.cleanQueue.empty()         ? &pedigree.cleanQueue
                                 : !pedigree.recombinantQueue.empty() ? &pedigree.recombinantQueue
                                                                      : nullptr;
        if (!queue) break;
        id = queue->front();
        queue->pop_front();
        pedigree.seedId = id;
    }
    int loci = static_cast<int>(pedigree.locusWork.size());
    for (int l = std::max(pedigree.blockStart, 0); l < pedigree.blockStart + pedigree.blockLength && l < loci; ++l)
        pedigree.locusWork[static_cast<std::size_t>(l)] = 1;
    index.cover(pedigree.blockStart, pedigree.blockStart + pedigree.blockLength);
}

bool findNextBlock(Pedigree& pedigree, PhaseIndex& index)
{
    pedigree.seedId = 0;
    pedigree.blockLength = 0;
    pedigree.blockStart = 0;
    PhasedRun alternative;
    int alternativeId = 0;
    pedigree.visitedIds.clear();
    pedigree.cleanQueue.clear();

    // Of a member's runs that hold an uncovered locus, one free of
    // recombination offers its longest (the latest of equal ones, as a scan
    // in locus order with ">=" would take); one with a change of source is
    // an alternative. The alternative counts only when no member offers a
    // block of two loci; the longest block stays below 2 through the whole
    // scan then, every run passes the length test, and the alternative is
    // the last run of the last member that has one.
    for (const auto& [id, m] : pedigree.members) {
        if (index.completelyPhased(id)) {
            pedigree.visitedIds.insert(id);
            index.fileMember(id);
        }
        if (!index.showsChangeOfSource(id)) {
            std::optional<PhasedRun> run = index.longestOpenRun(id);
            if (run && run->length >= pedigree.blockLength) {
                pedigree.seedId = id;
                pedigree.blockLength = run->length;
                pedigree.blockStart = run->start;
            }
        } else if (std::optional<PhasedRun> run = index.lastOpenRun(id)) {
            if (run->length >= pedigree.blockLength) {
                alternative = *run;
                alternativeId = id;
            }
        }
    }

    if (pedigree.visitedIds.size() >= pedigree.members.size()) return false;
    if (pedigree.blockLength >= 2) return true;
    if (alternative.length < 2) return false;
    pedigree.seedId = alternativeId;
    pedigree.blockLength = alternative.length;
    pedigree.blockStart = alternative.start;
    return true;
}

void extendFromSeed(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return;
    PhaseIndex index(pedigree);
    extendFromSeed(pedigree, index);
}

bool findNextBlock(Pedigree& pedigree)
{
    PhaseIndex index(pedigree);
    return findNextBlock(pedigree, index);
}

void extendToChild(Pedigree& pedigree, int parentId, int childId)
{
    if (!sameLocusCount(pedigree)) return;
    PhaseIndex index(pedigree);
    extendToChild(pedigree, index, parentId, childId);
}

void extendToChildOfPair(Pedigree& pedigree, int parentId, int mateId, int childId)
{
    if (!sameLocusCount(pedigree)) return;
    PhaseIndex index(pedigree);
    extendToChildOfPair(pedigree, index, parentId, mateId, childId);
}

} // namespace tavirlen
