#include "modes/Export.h"

#include <vector>

namespace tavirlen {

namespace {

bool exportStart(BatchRun& run)
{
    std::vector<std::string> names;
    for (int v : {5, 10, 15, 20})
        names.push_back(suffixedResultName(run.options, run.inputName, "-m" + std::to_string(v) + ".txt"));
    // A name that must not be written (the input, a file of someone else's)
    // stops the run before anything is written.
    if (!run.files.acceptNames(names)) {
        run.status = 1;
        return false;
    }
    for (const std::string& name : names) {
        // A file that cannot be created is reported; the others are still written.
        if (OutputFile* file = run.openResultFile(name, true)) run.datSinks.push_back(&file->stream());
    }
    return true;
}

// The family's .dat block goes to every export file, in input order.
FamilyOutcome exportStep(FamilyRun& run)
{
    run.pedigree->writeDat(run.dat);
    markFamily(run.row, FamilyStatus::unphased, "exported as read", "");
    run.row.solutionsWritten = 1;
    return FamilyOutcome::next;
}

} // namespace

BatchMode exportMode()
{
    BatchMode mode;
    mode.method = "export";
    mode.headerColumns = 5;
    mode.minimumMembers = 3;
    mode.writesResultFiles = false;
    mode.checksFamilies = false;
    mode.startRun = exportStart;
    mode.endOfFamily = exportStep;
    mode.stepWorthAThread = false;
    return mode;
}

} // namespace tavirlen
