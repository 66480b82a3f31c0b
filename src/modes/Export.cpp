#include "modes/Export.h"

#include <vector>

namespace tavirlen {

namespace {

bool exportStart(BatchRun& run)
{
    for (int v : {5, 10, 15, 20}) {
        std::string name = suffixedResultName(run.options, run.inputName, "-m" + std::to_string(v) + ".txt");
        // A file that cannot be created is reported; the others are still written.
        if (OutputFile* file = run.openResultFile(name, true)) run.modeFiles.push_back(file);
    }
    return true;
}

FamilyOutcome exportStep(BatchRun& run, std::unique_ptr<Pedigree> pedigree)
{
    for (OutputFile* file : run.modeFiles) pedigree->writeDat(file->stream());
    markFamily(run.row(*pedigree), FamilyStatus::unphased, "exported as read", "");
    run.row(*pedigree).solutionsWritten = 1;
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
