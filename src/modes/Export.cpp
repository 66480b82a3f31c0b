#include "modes/Export.h"

#include <vector>

namespace tavirlen {

namespace {

bool exportStart(BatchRun& run)
{
    for (int v : {5, 10, 15, 20}) {
        std::string name = suffixedResultName(run.options, run.inputName, "-m" + std::to_string(v) + ".txt");
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
    return mode;
}

} // namespace tavirlen
