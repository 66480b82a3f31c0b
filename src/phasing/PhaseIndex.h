#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/IdPositions.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/PositionSet.h"

#include <cstdint>
#include <memory_resource>
#include <optional>
#include <utility>
#include <vector>

namespace tavirlen {

// What the extension walk asks of the whole family, kept up to date instead
// of read afresh from every locus: per member which loci are phased (and so
// its runs of phased loci), where its sources are determined, how many of
// them are 0 and 1 on each side, and which loci no finished block covers.
// Every step of the walk changes one member and its children's sources inside
// the block; after it the walk re-reads those records over the block (catchUp)
// and nothing else. A walk therefore costs what its blocks hold, not the
// family's whole map each time.
class PhaseIndex {
public:
    explicit PhaseIndex(Pedigree& pedigree);
    // Entries point into blocks the index owns.
    PhaseIndex(const PhaseIndex&) = delete;
    PhaseIndex& operator=(const PhaseIndex&) = delete;

    // sourceSummary and the change-of-source test, from the counts.
    int sourceSummary(int id, int side) const;
    bool showsChangeOfSource(int id) const;
    bool completelyPhased(int id) const;

    // The source of the nearest determined locus below `locus` (strictly), or
    // above it (strictly); -1 where there is none. As flankingSources.
    int sourceBelow(int id, int side, int locus) const;
    int sourceAbove(int id, int side, int locus) const;
    // The nearest determined source at or below the locus, else above it.
    int nearestSource(int id, int side, int locus) const;
    // flankCode from the index.
    int flankCode(int id, int side, int locus) const;

    // The member's longest run of phased loci that holds an uncovered locus
    // (the latest of equal ones), and its last such run; none when it has none.
    std::optional<PhasedRun> longestOpenRun(int id);
    std::optional<PhasedRun> lastOpenRun(int id);
    // Loci first .. end-1 are now covered by a finished block.
    void cover(int first, int end);

    // Files the member as fileMember does.
    void fileMember(int id);

    // Re-reads the member's records and its children's inside the current
    // block, after a step of the walk changed them.
    void catchUp(int id);

    // refreshSources after a step on member `id`: the first time over the whole
    // family, afterwards only where that step can have made a source
    // fillable (the member against its parents and its children against it,
    // inside the block). Every earlier fillable source has been filled by
    // then, so the result is the same.
    void refreshAfterStep(int id);

private:
    // A member's runs as a heap (std::push_heap and std::pop_heap, greatest
    // first), in the index's run memory.
    using Runs = std::pmr::vector<std::pair<int, int>>;
    struct Entry {
        explicit Entry(std::pmr::memory_resource* memory) : byLength(memory), byStart(memory) {}
        Individual* member = nullptr;
        int loci = 0;
        int phasedCount = 0;
        // Per locus, in states_, the record's sources and phase as last read:
        // a locus whose record still shows them is passed over in one
        // comparison, and one that changed says what its sources were.
        std::uint32_t* state = nullptr;
        int counts[2][2] = {{0, 0}, {0, 0}};  // [side][source 0 or 1]
        PositionSet determined[2];
        PositionSet unphased;
        // Runs as they were when made or changed; a run that has since grown
        // or been covered is dropped when it comes to the top.
        Runs byLength; // (length, start)
        Runs byStart;  // (start, length)
    };

    Entry* entry(int id);
    const Entry* entry(int id) const;
    void catchUp(Entry& e, int first, int end);
    // The sources of the member's record at locus k into its counts and
    // determined loci, where they were those of state `before` (a state not
    // yet read has both undetermined).
    void readSources(Entry& e, int k, const GenotypeRecord& g, std::uint32_t before);
    void pushRun(Entry& e, int locus);
    bool openRun(const Entry& e, int start, int length) const;
    // refreshSources of the child's side against that parent, over loci
    // first .. end-1, each fill caught up where it is made.
    void fillSources(Entry& child, int side, const Entry& parent, int first, int end);
    // The same for both of the member's sides against its parents.
    void fillFromParents(Entry& e, int first, int end);

    Pedigree& pedigree_;
    // Every member's runs, in member order in a few large blocks: a deep
    // family's walk reads them in sequence, and they are let go at once,
    // not member by member. Declared before the entries, so it outlives them.
    std::pmr::monotonic_buffer_resource runMemory_;
    IdPositions ids_; // as entries_
    std::vector<Entry> entries_;
    PositionSet uncovered_;
    std::vector<std::uint32_t> states_; // every entry's states, in one block sized once
    bool refreshed_ = false;
    std::vector<int> changedRuns_; // catchUp's, kept to spare an allocation per step
};

} // namespace tavirlen
