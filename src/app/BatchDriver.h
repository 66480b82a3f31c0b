#pragma once

#include "pedigree/DatasetSummary.h"
#include "pedigree/Pedigree.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace tavirlen {

// Everything one batch run holds: the input name, the three result files, the
// summary of the modes that keep one, and the run's start time.
struct BatchRun {
    std::string inputName;
    std::ofstream dat;
    std::ofstream res;
    std::FILE* out = nullptr;
    std::unique_ptr<DatasetSummary> summary;
    long startClock = 0;
    int status = 0; // the process exit status the run ends with

    BatchRun() = default;
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;
    ~BatchRun();
};

enum class FamilyOutcome { next, endRun };

// How a pedigree mode departs from the common batch: its header columns,
// whether it keeps a summary, its size threshold and its steps. A step left
// null does nothing (startRun: writes the common .res header).
struct BatchMode {
    int headerColumns = 7;
    bool keepsSummary = false;
    int minimumMembers = 0;      // smaller families are dropped without a word
    bool writesResultFiles = true;
    bool checksFamilies = true;  // skip families that are unsafe to prepare
    // After the files and summary are made; false ends the run (status set).
    bool (*startRun)(BatchRun&) = nullptr;
    // As soon as a family is complete, before the size threshold.
    void (*announceFamily)(BatchRun&, const Pedigree&) = nullptr;
    FamilyOutcome (*endOfFamily)(BatchRun&, std::unique_ptr<Pedigree>) = nullptr;
    // After the last family, unless a family ended the run early.
    void (*finishRun)(BatchRun&) = nullptr;
};

// Reads the input family by family and runs the mode's steps; returns the
// exit status (0, or 1 when a file cannot be opened or created).
int runBatch(const BatchMode& mode, const std::string& inputName);

// The input name with its last three characters replaced by `ending`; a name
// shorter than three characters gets "." and the ending appended.
std::string resultFileName(const std::string& inputName, const std::string& ending);

// "Total Time used(Sec):\t" and the seconds since the run started, to .res.
void writeTotalTime(BatchRun& run);

// The common end of a phased family: .dat block, .res line, .out block.
void writeFamilyResults(BatchRun& run, Pedigree& pedigree);

// Modes b and t (block extension with 7 or 6 header columns) and n (export).
BatchMode blockExtensionMode(int headerColumns);
BatchMode exportMode();

} // namespace tavirlen
