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

#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tavirlen {

// Everything one batch run holds: its options, the result files, the summary
// of the modes that keep one, the table of families and the start time.
struct BatchRun {
    explicit BatchRun(const RunOptions& runOptions) : options(runOptions), inputName(runOptions.inputName), files(runOptions) {}
    ~BatchRun();

    RunOptions options;
    std::string inputName;
    // The three common result files; `out` is written with formatted printing.
    std::ostream dat{nullptr};
    std::ostream res{nullptr};
    std::FILE* out = nullptr;
    std::unique_ptr<DatasetSummary> summary;
    SummaryTable table;
    // The loci's names and positions, when the run has a map.
    MarkerMap markers;
    // One row per recombination of every configuration written.
    std::ostream crossovers{nullptr};
    // The drawings of --report, and the phased calls of --vcf-out.
    std::unique_ptr<HtmlReport> report;
    std::unique_ptr<FamilyVcfInput> vcfInput;
    std::unique_ptr<PhasedVcfCalls> vcfCalls;
    long startClock = 0;
    int status = 0; // the process exit status the run ends with

    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    // Opens one more result file of the run, written with the others at its
    // end. On failure: message on standard error, status 1, nullptr.
    OutputFile* openResultFile(const std::string& name, bool append = false);
    // The summary row of a family handed to a step.
    FamilyRow& row(const Pedigree& pedigree) { return table.at(pedigree.inputIndex); }

    ResultSet files;
    // Report entries drawn for each family still in progress, by input position.
    std::map<std::size_t, std::vector<std::size_t>> drawings;
    // Files a mode writes besides the common ones (mode n's exports).
    std::vector<OutputFile*> modeFiles;
    // A private folder for a mode's working files, removed at the end.
    std::string workFolder;
};

enum class FamilyOutcome { next, endRun };

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
    // As soon as a family is complete, before the size threshold.
    void (*announceFamily)(BatchRun&, const Pedigree&) = nullptr;
    FamilyOutcome (*endOfFamily)(BatchRun&, std::unique_ptr<Pedigree>) = nullptr;
    // After the last family, unless a family ended the run early.
    void (*finishRun)(BatchRun&) = nullptr;
    // The mode phases its families after the loop (mode m) and calls
    // familyFinished for each itself.
    bool defersFamilies = false;
};

// Makes the run's private folder for working files (removed with the run);
// false, with a message and status 1, when it cannot be made.
bool createWorkFolder(BatchRun& run);

// Everything that follows a family's outcome once its row is final: the
// report's row. Called by the driver after each step, or by a mode that
// defers its families.
void familyFinished(BatchRun& run, std::size_t inputIndex);

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
void writeFamilyResults(BatchRun& run, Pedigree& pedigree);

// Marks a family's row as not phased, with the reason.
void markFamily(FamilyRow& row, FamilyStatus status, const std::string& reason, const std::string& kind = "");

} // namespace tavirlen
