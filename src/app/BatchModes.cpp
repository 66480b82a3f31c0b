#include "app/BatchDriver.h"

#include "phasing/BlockExtension.h"

#include <iostream>

namespace tavirlen {

namespace {

FamilyOutcome blockExtensionStep(BatchRun& run, std::unique_ptr<Pedigree> owned)
{
    owned->finalise();
    owned->prepare();
    owned->missingAlleleCount = 0;
    for (const auto& [id, m] : owned->members) owned->missingAlleleCount += m.missingAlleleCount;
    Pedigree& pedigree = run.summary->addPedigree(std::move(owned));
    // A Mendelian inconsistency leaves the family unphased; it is written all the same.
    runBlockExtension(pedigree);
    writeFamilyResults(run, pedigree);
    return FamilyOutcome::next;
}

void blockExtensionFinish(BatchRun& run)
{
    writeTotalTime(run);
    run.summary->countFounderHaplotypes();
    run.summary->writeStatistics(run.res);
    run.summary->writeLocusStatistics(run.res);
}

FamilyOutcome exportStep(BatchRun& run, std::unique_ptr<Pedigree> pedigree)
{
    for (int v : {5, 10, 15, 20}) {
        std::string name = run.inputName + "-m" + std::to_string(v) + ".txt";
        std::ofstream file(name, std::ios::out | std::ios::app);
        if (!file.is_open()) {
            std::cerr << "Cannot create result file: " << name << std::endl;
            run.status = 1;
            continue;
        }
        pedigree->writeDat(file);
    }
    return FamilyOutcome::next;
}

} // namespace

BatchMode blockExtensionMode(int headerColumns)
{
    BatchMode mode;
    mode.headerColumns = headerColumns;
    mode.keepsSummary = true;
    mode.minimumMembers = 3;
    mode.endOfFamily = blockExtensionStep;
    mode.finishRun = blockExtensionFinish;
    return mode;
}

BatchMode exportMode()
{
    BatchMode mode;
    mode.headerColumns = 5;
    mode.minimumMembers = 3;
    mode.writesResultFiles = false;
    mode.checksFamilies = false;
    mode.endOfFamily = exportStep;
    return mode;
}

} // namespace tavirlen
