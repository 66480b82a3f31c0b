#include "phasing/PhaseIndex.h"

#include "phasing/Sources.h"

#include <algorithm>

namespace tavirlen {

namespace {

signed char category(int source)
{
    return source == -1 ? -1 : source == 0 || source == 1 ? static_cast<signed char>(source) : 2;
}

// A record's sources and phase in one word: equal words, nothing to re-read.
std::uint32_t stateOf(const GenotypeRecord& g)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(g.paternalSource))
        | static_cast<std::uint32_t>(static_cast<unsigned char>(g.maternalSource)) << 8
        | static_cast<std::uint32_t>(g.phased ? 1 : 0) << 16;
}

// The state before a record is first read: both sources undetermined.
constexpr std::uint32_t unread = 0xFFFF;

signed char sourceIn(std::uint32_t state, int side)
{
    return static_cast<signed char>(static_cast<unsigned char>(state >> (8 * side)));
}

} // namespace

inline void PhaseIndex::readSources(Entry& e, int k, const GenotypeRecord& g, std::uint32_t before)
{
    for (int side = 0; side < 2; ++side) {
        const signed char now = category(g.source(side));
        const signed char was = category(sourceIn(before, side));
        if (now == was) continue;
        if (was == 0 || was == 1) --e.counts[side][was];
        if (now == 0 || now == 1) ++e.counts[side][now];
        if (was == -1) e.determined[side].insert(k);
        if (now == -1) e.determined[side].erase(k);
    }
}

PhaseIndex::PhaseIndex(Pedigree& pedigree)
    : pedigree_(pedigree), uncovered_(static_cast<int>(pedigree.locusWork.size()))
{
    for (std::size_t k = 0; k < pedigree.locusWork.size(); ++k)
        if (pedigree.locusWork[k] == 0) uncovered_.insert(static_cast<int>(k));
    entries_.reserve(pedigree.members.size());
    std::size_t cells = 0;
    for (const auto& [id, m] : pedigree.members) cells += m.genotypes.size();
    ids_ = IdPositions(pedigree);
    states_.resize(cells);
    std::uint32_t* nextState = states_.data();
    for (auto& [id, m] : pedigree.members) {
        entries_.emplace_back(&runMemory_);
        Entry& e = entries_.back();
        e.member = &m;
        e.loci = static_cast<int>(m.genotypes.size());
        for (int side = 0; side < 2; ++side) e.determined[side] = PositionSet(e.loci);
        e.state = nextState;
        nextState += m.genotypes.size();
        // The records read in one pass: which loci are phased, which sources
        // determined. Each run is filed once, whole, rather than at every
        // locus it grows by (the shorter entries would only be dropped later).
        e.unphased = PositionSet(e.loci);
        // The phased loci as one word, on maps of up to 64 loci (most maps).
        std::uint64_t phasedBits = 0;
        for (int k = 0; k < e.loci; ++k) {
            const GenotypeRecord& g = m.genotypes[static_cast<std::size_t>(k)];
            if (g.phased)
                ++e.phasedCount;
            else
                e.unphased.insert(k);
            if (k < 64) phasedBits |= static_cast<std::uint64_t>(g.phased ? 1 : 0) << k;
            readSources(e, k, g, unread);
            e.state[k] = stateOf(g);
        }
        // Where the member's runs of phased loci start, in ascending order:
        // from that word, or locus by locus on longer maps.
        auto forEachRunStart = [&e, phasedBits](auto visit) {
            if (e.loci <= 64) {
                for (std::uint64_t starts = phasedBits & ~(phasedBits << 1); starts != 0; starts &= starts - 1)
                    visit(__builtin_ctzll(starts));
                return;
            }
            for (int k = 0; k < e.loci; ++k)
                if (!e.unphased.contains(k) && (k == 0 || e.unphased.contains(k - 1))) visit(k);
        };
        // Room for the runs at hand and a few more as loci get phased: the
        // queues of a deep pedigree's members would otherwise grow one step
        // at a time.
        std::size_t runs = 0;
        forEachRunStart([&runs](int) { ++runs; });
        e.byLength.reserve(runs + 4);
        e.byStart.reserve(runs + 4);
        forEachRunStart([this, &e](int k) { pushRun(e, k); });
    }
}

PhaseIndex::Entry* PhaseIndex::entry(int id)
{
    const int at = ids_.position(id);
    return at < 0 ? nullptr : &entries_[static_cast<std::size_t>(at)];
}

const PhaseIndex::Entry* PhaseIndex::entry(int id) const
{
    return const_cast<PhaseIndex*>(this)->entry(id);
}

void PhaseIndex::catchUp(Entry& e, int first, int end)
{
    first = std::max(first, 0);
    end = std::min(end, e.loci);
    const GenotypeRecord* records = e.member->genotypes.data();
    // The loci whose runs changed, filed once the records are read: a step
    // phases a whole block, and filing the run at every locus it grew by
    // would only leave shorter entries to drop later.
    std::vector<int>& changed = changedRuns_;
    changed.clear();
    for (int k = first; k < end; ++k) {
        const GenotypeRecord& g = records[k];
        // Most loci a step re-reads are as the index has them already.
        const std::uint32_t before = e.state[k];
        const std::uint32_t now = stateOf(g);
        if (now == before) continue;
        e.state[k] = now;
        const bool phaseChanged = g.phased == e.unphased.contains(k);
        if (phaseChanged) {
            if (g.phased) {
                e.unphased.erase(k);
                ++e.phasedCount;
                changed.push_back(k);
            } else {
                // Not done by the walk; the pieces on either side are runs of their own.
                e.unphased.insert(k);
                --e.phasedCount;
                if (k > 0) changed.push_back(k - 1);
                if (k + 1 < e.loci) changed.push_back(k + 1);
            }
        }
        readSources(e, k, g, before);
    }
    int filedStart = -1;
    for (int k : changed) {
        if (e.unphased.contains(k)) continue;
        const int start = e.unphased.previous(k) + 1;
        if (start == filedStart) continue;
        filedStart = start;
        pushRun(e, k);
    }
}

void PhaseIndex::pushRun(Entry& e, int locus)
{
    int start = e.unphased.previous(locus) + 1;
    int end = e.unphased.next(locus);
    if (end == -1) end = e.loci;
    e.byLength.emplace_back(end - start, start);
    std::push_heap(e.byLength.begin(), e.byLength.end());
    e.byStart.emplace_back(start, end - start);
    std::push_heap(e.byStart.begin(), e.byStart.end());
}

bool PhaseIndex::openRun(const Entry& e, int start, int length) const
{
    if (start < 0 || length <= 0 || start + length > e.loci) return false;
    if (e.unphased.contains(start) || e.unphased.previous(start) != start - 1) return false;
    int end = e.unphased.next(start);
    if ((end == -1 ? e.loci : end) != start + length) return false;
    int uncovered = uncovered_.next(start);
    return uncovered != -1 && uncovered < start + length;
}

std::optional<PhasedRun> PhaseIndex::longestOpenRun(int id)
{
    Entry* e = entry(id);
    if (!e) return std::nullopt;
    while (!e->byLength.empty()) {
        auto [length, start] = e->byLength.front();
        if (openRun(*e, start, length)) return PhasedRun{start, length};
        std::pop_heap(e->byLength.begin(), e->byLength.end());
        e->byLength.pop_back();
    }
    return std::nullopt;
}

std::optional<PhasedRun> PhaseIndex::lastOpenRun(int id)
{
    Entry* e = entry(id);
    if (!e) return std::nullopt;
    while (!e->byStart.empty()) {
        auto [start, length] = e->byStart.front();
        if (openRun(*e, start, length)) return PhasedRun{start, length};
        std::pop_heap(e->byStart.begin(), e->byStart.end());
        e->byStart.pop_back();
    }
    return std::nullopt;
}

void PhaseIndex::cover(int first, int end)
{
    for (int k = std::max(first, 0); k < end && k < uncovered_.size(); ++k) uncovered_.erase(k);
}

int PhaseIndex::sourceSummary(int id, int side) const
{
    const Entry* e = entry(id);
    if (!e) return -1;
    bool zero = e->counts[side][0] > 0;
    bool one = e->counts[side][1] > 0;
    return zero && one ? 2 : zero ? 0 : one ? 1 : -1;
}

bool PhaseIndex::showsChangeOfSource(int id) const
{
    return sourceSummary(id, 0) == 2 || sourceSummary(id, 1) == 2;
}

bool PhaseIndex::completelyPhased(int id) const
{
    const Entry* e = entry(id);
    return e && e->phasedCount == e->loci;
}

int PhaseIndex::sourceBelow(int id, int side, int locus) const
{
    const Entry* e = entry(id);
    if (!e) return -1;
    int k = e->determined[side].previous(std::min(locus, e->loci));
    return k == -1 ? -1 : e->member->genotypes[static_cast<std::size_t>(k)].source(side);
}

int PhaseIndex::sourceAbove(int id, int side, int locus) const
{
    const Entry* e = entry(id);
    if (!e) return -1;
    int k = e->determined[side].next(std::max(locus + 1, 0));
    return k == -1 ? -1 : e->member->genotypes[static_cast<std::size_t>(k)].source(side);
}

int PhaseIndex::nearestSource(int id, int side, int locus) const
{
    const Entry* e = entry(id);
    if (!e || e->loci == 0) return -1;
    int below = sourceBelow(id, side, std::min(locus, e->loci - 1) + 1);
    return below != -1 ? below : sourceAbove(id, side, locus);
}

int PhaseIndex::flankCode(int id, int side, int locus) const
{
    return flankCodeOf(sourceBelow(id, side, locus), sourceAbove(id, side, locus));
}

void PhaseIndex::fileMember(int id)
{
    if (entry(id) && !showsChangeOfSource(id))
        pedigree_.cleanQueue.push_back(id);
    else
        pedigree_.recombinantQueue.push_back(id);
}

void PhaseIndex::catchUp(int id)
{
    Entry* e = entry(id);
    if (!e) return;
    const int first = pedigree_.blockStart;
    const int end = pedigree_.blockStart + std::max(pedigree_.blockLength, 0);
    catchUp(*e, first, end);
    for (int childId : e->member->childIds)
        if (Entry* child = entry(childId)) catchUp(*child, first, end);
}

void PhaseIndex::fillSources(Entry& child, int side, const Entry& parent, int first, int end)
{
    // Only where the child's source is undetermined: a few loci, after a step.
    child.determined[side].forEachAbsent(first, std::min(end, parent.loci), [&](int k) {
        const std::size_t at = static_cast<std::size_t>(k);
        if (refreshSource(child.member->genotypes[at], parent.member->genotypes[at], side)) catchUp(child, k, k + 1);
    });
}

void PhaseIndex::fillFromParents(Entry& e, int first, int end)
{
    if (e.member->isFounder()) return;
    for (int side = 0; side < 2; ++side)
        if (const Entry* parent = e.member->parentId(side) == 0 ? nullptr : entry(e.member->parentId(side)))
            fillSources(e, side, *parent, first, end);
}

void PhaseIndex::refreshAfterStep(int id)
{
    if (!refreshed_) {
        // refreshSources over the whole family, but only where a source is
        // undetermined: the entries hold every record as it is (read when
        // the index was built, and caught up after the step), so each fill
        // is caught up where it is made and the rest needs no reading again.
        for (Entry& e : entries_) fillFromParents(e, 0, e.loci);
        refreshed_ = true;
        return;
    }
    Entry* e = entry(id);
    if (!e) return;
    const int first = std::max(pedigree_.blockStart, 0);
    const int end = pedigree_.blockStart + std::max(pedigree_.blockLength, 0);
    const Individual& m = *e->member;
    // What the step can fill: the member's sources from its parents and each
    // child's from the member. A fill reads the parent's alleles and writes
    // one source of the child's, so these are independent of each other and
    // of the loci: each is taken whole.
    fillFromParents(*e, first, end);
    for (int childId : m.childIds) {
        Entry* child = entry(childId);
        if (!child || child->member->isFounder()) continue;
        for (int side = 0; side < 2; ++side)
            if (child->member->parentId(side) == id) fillSources(*child, side, *e, first, end);
    }
}

} // namespace tavirlen
