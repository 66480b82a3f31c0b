#pragma once

#include "batch/OutputFile.h"
#include "batch/ResultFiles.h"
#include "batch/RunOptions.h"
#include "batch/SummaryTable.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/MarkerMap.h"
#include "pedigree/Pedigree.h"
#include "report/HtmlReport.h"
#include "vcf/PhasedVcf.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tavirlen {

struct BatchRun;

enum class FamilyOutcome { next, endRun };

// One family on its way through a run: what its step reads (the run's
// options, map and summary) and the family's own share of every result
// file, which the run appends to the files in input order once the family
// is done. Families are processed side by side, each in one FamilyRun.
struct FamilyRun {
    FamilyRun(const BatchRun& run, std::size_t inputIndex);
    ~FamilyRun();
    FamilyRun(const FamilyRun&) = delete;
    FamilyRun& operator=(const FamilyRun&) = delete;

    const RunOptions& options;
    const MarkerMap& markers;
    DatasetSummary* summary;
    const std::string& workFolder;
    std::size_t inputIndex;
    FamilyRow row;

    std::ostringstream dat;
    std::ostringstream res;
    std::ostringstream crossovers;
    std::FILE* out = nullptr; // written with formatted printing, kept in memory
    std::string messages;     // what the family printed on standard output
    std::string errors;       // and on standard error
    std::vector<std::pair<int, std::string>> drawings; // solution and SVG
    std::unique_ptr<Pedigree> vcfConfiguration;         // the first one written

    std::unique_ptr<Pedigree> pedigree;
    // The founder allele counts as of this family, for a step on another thread.
    std::unique_ptr<DatasetSummary> snapshot;
    bool keep = false;     // give the pedigree to the summary when done
    bool deferred = false; // kept to be phased after the last family (mode m)
    FamilyOutcome outcome = FamilyOutcome::next;
    int status = 0;
    std::atomic<bool> done{false};

    // The bytes written to `out` so far.
    std::string outText();

private:
    // The memory stream behind `out`, with the buffer and size it writes to.
    struct MemoryStream;
    // Opening a memory stream zeroes 8 KB, which every family of every mode
    // would pay: a finished family's stream is rewound and kept for the next.
    struct SpareStreams;
    static SpareStreams& spareStreams();
    std::unique_ptr<MemoryStream> stream_;
};

// What a mode's ordered part decides for a family.
enum class Prepared { process, done, stop };

// How a pedigree mode departs from the common batch: its header columns,
// whether it keeps a summary, its size threshold and its steps. A step left
// null does nothing (startRun: writes the common .res header).
struct BatchMode {
    const char* method = "";     // how it phases, in words, for the tables
    int headerColumns = 7;
    bool keepsSummary = false;
    int minimumMembers = 0;      // smaller families are skipped
    bool writesResultFiles = true;
    bool checksFamilies = true;  // skip families that are unsafe to prepare
    // After the files and summary are made; false ends the run (status set).
    bool (*startRun)(BatchRun&) = nullptr;
    // As soon as a family is complete, before the size threshold (in order).
    void (*announceFamily)(BatchRun&, const Pedigree&) = nullptr;
    // The part that must see the families in input order (counts in the
    // summary, settings a family changes for the ones after it).
    Prepared (*prepareFamily)(BatchRun&, FamilyRun&) = nullptr;
    // The part that may run beside other families: it writes only to its
    // FamilyRun.
    FamilyOutcome (*endOfFamily)(FamilyRun&) = nullptr;
    // After the last family, unless a family ended the run early.
    void (*finishRun)(BatchRun&) = nullptr;
    // Streaming modes count each finished family's founder haplotypes and let
    // it go; others keep what a step marks to keep.
    bool countsFounderHaplotypes = false;
    // A step lighter than handing a family to another thread and back
    // (mode n only formats a block) runs where the family is read, whatever
    // --threads says.
    bool stepWorthAThread = true;
};

// Everything one batch run holds: its options, the result files, the summary
// of the modes that keep one, the table of families and the start time.
struct BatchRun {
    explicit BatchRun(const RunOptions& runOptions);
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    RunOptions options;
    std::string inputName;
    // The three common result files; `out` is written with formatted printing.
    std::ostream dat{nullptr};
    std::ostream res{nullptr};
    std::FILE* out = nullptr;
    // One row per recombination of every configuration written.
    std::ostream crossovers{nullptr};
    // Where the families' .dat text goes (mode n: its four export files).
    std::vector<std::ostream*> datSinks;
    std::unique_ptr<DatasetSummary> summary;
    SummaryTable table;
    // The loci's names and positions, when the run has a map.
    MarkerMap markers;
    // The drawings of --report, and the phased calls of --vcf-out.
    std::unique_ptr<HtmlReport> report;
    std::unique_ptr<FamilyVcfInput> vcfInput;
    std::unique_ptr<PhasedVcfCalls> vcfCalls;
    long startClock = 0;
    int status = 0; // the process exit status the run ends with
    unsigned runSeed = 0;
    int threads = 1;
    // Families before --families' first are counted but have no row.
    std::size_t rowOffset = 0;

    ResultSet files;
    // Files a mode writes besides the common ones (mode n's exports).
    std::vector<OutputFile*> modeFiles;
    // A private folder for a mode's working files, removed at the end.
    std::string workFolder;

    // Opens one more result file of the run, written with the others at its
    // end. On failure: message on standard error, status 1, nullptr.
    OutputFile* openResultFile(const std::string& name, bool append = false);

    // Runs `step` on each pedigree (families the mode kept, in the order
    // given), side by side on the run's threads, and writes their results in
    // that order (mode m solves this way after reading).
    void processKept(const std::vector<Pedigree*>& pedigrees, void (*step)(FamilyRun&, Pedigree&));
};

// The ordered part of the modes that phase each family as it comes: the
// family finalised and prepared, and counted in the summary (the random
// fill of block extension draws from the founders counted so far).
Prepared prepareAndCount(BatchRun& run, FamilyRun& family);

// Makes the run's private folder for working files (removed with the run);
// false, with a message and status 1, when it cannot be made.
bool createWorkFolder(BatchRun& run);

// Reads the input family by family and runs the mode's steps; returns the
// exit status (0; 1 when a file cannot be opened, created or written; 3 when
// the run stopped before its end).
int runBatch(const BatchMode& mode, const RunOptions& options);
// The same with default options (tests and benchmarks).
int runBatch(const BatchMode& mode, const std::string& inputName);

// "Total Time used(Sec):\t" and the seconds since the run started, to .res.
void writeTotalTime(BatchRun& run);

// The common end of a phased family: .dat block, .res line, .out block; the
// family's row counts the configuration and its recombinants.
void writeFamilyResults(FamilyRun& run, Pedigree& pedigree);

// Marks a family's row as not phased, with the reason.
void markFamily(FamilyRow& row, FamilyStatus status, const std::string& reason, const std::string& kind = "");

} // namespace tavirlen
