#include "phasing/ParentPhaseDP.h"

#include "pedigree/Random.h"
#include "phasing/PhaseIndex.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/Sources.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <utility>
#include <vector>

namespace tavirlen {

namespace {

// Back-pointer of index 0 and of excluded states.
constexpr int noPredecessor = randMax;
// Back-pointer when both predecessors cost the same.
constexpr int eitherPredecessor = 2;

// Cost and back-pointer of the two arrangements at each index of the range,
// sized to the range: two cells per locus.
struct PhaseStateTable {
    struct Cell {
        int cost = 0;
        int back = noPredecessor;
        bool excluded = false;
    };
    std::vector<Cell> cells;

    explicit PhaseStateTable(int indices) : cells(2 * static_cast<std::size_t>(indices)) {}

    Cell& at(int state, int index)
    {
        return cells[2 * static_cast<std::size_t>(index) + static_cast<std::size_t>(state)];
    }
    void exclude(int state, int index) { at(state, index) = {randMax, noPredecessor, true}; }

    // The cheaper way into `state` at index i: staying costs `stay` more,
    // changing costs `change` more. Excluded predecessors are not taken.
    void relax(int state, int i, int stay, int change)
    {
        const Cell& same = at(state, i - 1);
        const Cell& other = at(1 - state, i - 1);
        Cell& cell = at(state, i);
        cell.excluded = false;
        if (other.excluded || (!same.excluded && same.cost + stay < other.cost + change)) {
            cell.cost = same.cost + stay;
            cell.back = state;
        } else if (same.excluded || other.cost + change < same.cost + stay) {
            cell.cost = other.cost + change;
            cell.back = 1 - state;
        } else {
            cell.cost = same.cost + stay;
            cell.back = eitherPredecessor;
        }
    }

    // Cost for comparing the two states; an excluded state loses to any other.
    int rank(int state, int index)
    {
        const Cell& cell = at(state, index);
        return cell.excluded ? std::numeric_limits<int>::max() : cell.cost;
    }
};

void swapAtRandom(GenotypeRecord& g)
{
    if (rand() >= 16383) std::swap(g.allele1, g.allele2);
}

// Nothing decides the arrangement: a non-founder follows its own flanking
// sources, first paternal then maternal; otherwise a coin.
void fallbackArrangement(Pedigree& pedigree, const PhaseIndex& index, Individual& parent, int locus)
{
    GenotypeRecord& g = parent.genotypes[static_cast<std::size_t>(locus)];
    if (!parent.isFounder()) {
        for (int side = 0; side < 2; ++side) {
            const Individual* grandparent = parentOf(pedigree, parent, side);
            int code = index.flankCode(parent.individualId, side, locus);
            if (grandparent && (code == 0 || code == 1)) {
                bringToSide(g, side, grandparent->genotypes[static_cast<std::size_t>(locus)].allele(code));
                return;
            }
        }
    }
    swapAtRandom(g);
}

// The source a child's allele names at a locus where the parent is a typed
// heterozygote, else -1.
int sourceOfAllele(const GenotypeRecord& parent, const GenotypeRecord& child, int side)
{
    if (!child.phased || parent.homozygousTyped() || missingAllele(parent.allele1) || missingAllele(parent.allele2))
        return -1;
    int allele = child.allele(side);
    return allele == parent.allele1 ? 0 : allele == parent.allele2 ? 1 : -1;
}

// The child's nearest determined source on a side, walking from `locus` by
// `step` for at most a few hundred loci (a source farther off would make the
// walk quadratic on dense maps for little gain).
int nearbySource(const Individual& child, int side, int locus, int step)
{
    const int loci = static_cast<int>(child.genotypes.size());
    for (int n = 0; n < 256 && locus >= 0 && locus < loci; ++n, locus += step) {
        int s = child.genotypes[static_cast<std::size_t>(locus)].source(side);
        if (s != -1) return s;
    }
    return -1;
}

// The programme sets a founder's arrangements in the block relative to one
// another; nothing inside the block says which way round the whole is.
// Turning every one of them round changes each child's sources in the block
// all at once, so it adds no recombinant inside: the block is turned when
// that joins more children's sources to the ones beside it.
void orientBlockToFlanks(Pedigree& pedigree, Individual& parent, int blockFirst, int blockEnd)
{
    auto P = [&](int l) -> GenotypeRecord& { return parent.genotypes[static_cast<std::size_t>(l)]; };
    int keep = 0;
    int turn = 0;
    for (int id : parent.childIds) {
        const Individual* c = pedigree.member(id);
        if (!c || static_cast<int>(c->genotypes.size()) < blockEnd) continue;
        const int side = c->fatherId == parent.individualId ? 0 : 1;
        auto X = [&](int l) -> const GenotypeRecord& { return c->genotypes[static_cast<std::size_t>(l)]; };
        int firstInside = -1;
        int lastInside = -1;
        for (int l = blockFirst; l < blockEnd && firstInside == -1; ++l) firstInside = sourceOfAllele(P(l), X(l), side);
        for (int l = blockEnd - 1; l >= blockFirst && lastInside == -1; --l) lastInside = sourceOfAllele(P(l), X(l), side);
        if (firstInside == -1) continue;
        for (auto [inside, outside] : {std::pair{firstInside, nearbySource(*c, side, blockFirst - 1, -1)},
                                       std::pair{lastInside, nearbySource(*c, side, blockEnd, 1)}}) {
            if (outside == -1) continue;
            ++(inside == outside ? keep : turn);
        }
    }
    if (turn <= keep) return;
    for (int l = blockFirst; l < blockEnd; ++l)
        if (P(l).phased && !P(l).homozygousTyped()) std::swap(P(l).allele1, P(l).allele2);
}

} // namespace

bool phaseParentByDP(Pedigree& pedigree, int childId, int parentId)
{
    if (!pedigree.member(childId) || !pedigree.member(parentId) || !sameLocusCount(pedigree)) return false;
    PhaseIndex index(pedigree);
    return phaseParentByDP(pedigree, index, childId, parentId);
}

bool phaseParentByDP(Pedigree& pedigree, PhaseIndex& index, int childId, int parentId)
{
    Individual* child = pedigree.member(childId);
    Individual* parent = pedigree.member(parentId);
    if (!child || !parent) return false;
    const int side = child->fatherId == parentId ? 0 : 1;
    const int loci = std::min(static_cast<int>(parent->genotypes.size()),
                              static_cast<int>(child->genotypes.size()));
    const int blockFirst = std::clamp(pedigree.blockStart, 0, loci);
    const int blockEnd = std::clamp(pedigree.blockStart + std::max(pedigree.blockLength, 0), blockFirst, loci);
    auto P = [&](int l) -> GenotypeRecord& { return parent->genotypes[static_cast<std::size_t>(l)]; };
    auto X = [&](int l) -> GenotypeRecord& { return child->genotypes[static_cast<std::size_t>(l)]; };

    bool heldBefore = false; // a heterozygous locus of the block was phased before this call
    for (int l = blockFirst; l < blockEnd && !heldBefore; ++l) heldBefore = P(l).phased && !P(l).homozygousTyped();

    int first = blockFirst;
    while (first < blockEnd && P(first).homozygousTyped()) ++first;
    const int count = blockEnd - first;

    if (count > 0) {
        // Found once for the whole block: each child's records and how many.
        struct ChildRecords {
            const GenotypeRecord* at;
            int loci;
        };
        std::vector<ChildRecords> children;
        children.reserve(parent->childIds.size());
        for (int id : parent->childIds)
            if (const Individual* c = pedigree.member(id))
                children.push_back({c->genotypes.data(), static_cast<int>(c->genotypes.size())});
        PhaseStateTable table(count);
        if (P(first).phased) {
            table.at(arrangement(P(first)), 0) = {0, noPredecessor, false};
            table.exclude(1 - arrangement(P(first)), 0);
        } else {
            table.at(0, 0) = {0, noPredecessor, false};
            table.at(1, 0) = {0, noPredecessor, false};
        }

        int previous = first; // the last heterozygous locus so far
        for (int i = 1; i < count; ++i) {
            const int l = first + i;
            const GenotypeRecord& gp = P(previous);
            const GenotypeRecord& gl = P(l);
            // Children that keep their source from `previous` to `l` when the
            // parent keeps its stored arrangements (same rank), and the others.
            int sameRank = 0;
            int differentRank = 0;
            const bool storedEqual = arrangement(gp) == arrangement(gl);
            // Counted without a branch on the alleles: they are the data, and
            // a branch on each of them is mispredicted about every other time.
            for (const ChildRecords& c : children) {
                if (c.loci <= l) continue;
                const GenotypeRecord& cp = c.at[previous];
                const GenotypeRecord& cl = c.at[l];
                const int from = cp.allele(side);
                const int to = cl.allele(side);
                const bool samePosition =
                    ((from == gp.allele1) & (to == gl.allele1)) | ((from == gp.allele2) & (to == gl.allele2));
                const int counted = cp.phased & cl.phased;
                const int keeps = samePosition == storedEqual;
                sameRank += counted & keeps;
                differentRank += counted & (keeps ^ 1);
            }
            if (gl.phased && gl.homozygousTyped()) {
                for (int state = 0; state < 2; ++state) {
                    table.at(state, i) = table.at(state, i - 1);
                    table.at(state, i).back = state;
                }
            } else if (gl.phased) {
                const int stored = arrangement(gl);
                table.relax(stored, i, differentRank, sameRank);
                table.exclude(1 - stored, i);
            } else {
                table.relax(0, i, differentRank, sameRank);
                table.relax(1, i, differentRank, sameRank);
            }
            if (!gl.homozygousTyped()) previous = l;
        }

        const int last = count - 1;
        int k = last;
        while (k > 0 && P(first + k).phased) --k;
        const int lk = first + k;
        GenotypeRecord& gk = P(lk);
        const int cost0 = table.rank(0, k);
        const int cost1 = table.rank(1, k);
        if (cost0 != cost1) {
            arrangeAs(gk, cost0 < cost1 ? 0 : 1);
        } else if (k == last) {
            // The child's own sources say which of the parent's alleles it
            // carries here; failing that, any child's.
            // (Nothing of this step has been written yet: the index still
            // holds every source as it is.)
            int reference = index.nearestSource(childId, side, lk);
            for (std::size_t c = 0; reference == -1 && c < parent->childIds.size(); ++c)
                reference = index.nearestSource(parent->childIds[c], side, lk);
            int code = index.flankCode(childId, side, lk);
            if (code == 0 || code == 1) reference = code;
            if (reference != -1)
                bringToSide(gk, reference, X(lk).allele(side));
            else
                fallbackArrangement(pedigree, index, *parent, lk);
        } else {
            // Every locus after k is phased: the path into the next
            // heterozygous locus says where k stands.
            int j = k + 1;
            while (j < last && P(first + j).homozygousTyped()) ++j;
            const GenotypeRecord& gj = P(first + j);
            int decided = -1;
            if (!missingAllele(gj.allele1) && !missingAllele(gj.allele2) && gj.allele1 != gj.allele2) {
                int back = table.at(arrangement(gj), j).back;
                if (back == 0 || back == 1) decided = back;
            } else if (gj.homozygousTyped()) {
                int code = index.flankCode(childId, side, lk);
                if (code == 0 || code == 1) decided = code;
            }
            if (decided != -1)
                arrangeAs(gk, decided);
            else
                fallbackArrangement(pedigree, index, *parent, lk);
        }
        gk.phased = true;
        setSourcesFromParents(pedigree, *parent, lk);

        int state = arrangement(gk);
        for (int i = k; i >= 1; --i) {
            const int l = first + i - 1;
            GenotypeRecord& g = P(l);
            const int back = table.at(state, i).back;
            if (g.phased) {
                state = back == 0 || back == 1 ? back : arrangement(g);
            } else if (back == 0 || back == 1 || back == eitherPredecessor) {
                if (back == eitherPredecessor)
                    swapAtRandom(g);
                else
                    arrangeAs(g, back);
                g.phased = true;
                state = arrangement(g);
            } else {
                std::cerr << "M[pama][i][1] == RAND_MAX" << std::endl;
                continue;
            }
            setSourcesFromParents(pedigree, *parent, l);
        }
    }

    if (!heldBefore && parent->isFounder()) orientBlockToFlanks(pedigree, *parent, blockFirst, blockEnd);

    // Children whose source on this side is still open inside the block.
    for (int id : parent->childIds) {
        Individual* c = pedigree.member(id);
        if (!c) continue;
        int s = c->fatherId == parentId ? 0 : 1;
        int end = std::min(blockEnd, static_cast<int>(c->genotypes.size()));
        for (int l = blockFirst; l < end; ++l) {
            GenotypeRecord& g = c->genotypes[static_cast<std::size_t>(l)];
            const GenotypeRecord& p = P(l);
            signed char& source = g.source(s);
            const int allele = g.allele(s);
            const bool open = g.phased & (source == -1);
            const bool fromFirst = (allele == p.allele1) & (allele != p.allele2);
            const bool fromSecond = (allele == p.allele2) & (allele != p.allele1);
            source = (open & fromFirst) ? 0 : (open & fromSecond) ? 1 : source;
        }
    }

    pedigree.visitedIds.insert(parentId);
    index.catchUp(parentId);
    index.fileMember(parentId);
    return true;
}

} // namespace tavirlen
