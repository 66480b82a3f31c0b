#include "phasing/BlockExtensionMode.h"

#include "phasing/BlockExtension.h"

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
    const bool phased = runBlockExtension(pedigree);
    writeFamilyResults(run, pedigree);
    if (!phased)
        markFamily(run.row(pedigree), FamilyStatus::mendel, "Mendelian inconsistency; written as read");
    return FamilyOutcome::next;
}

void blockExtensionFinish(BatchRun& run)
{
    writeTotalTime(run);
    run.summary->countFounderHaplotypes();
    run.summary->writeStatistics(run.res);
    run.summary->writeLocusStatistics(run.res);
}

} // namespace

BatchMode blockExtensionMode(int headerColumns)
{
    BatchMode mode;
    mode.method = "block extension";
    mode.headerColumns = headerColumns;
    mode.keepsSummary = true;
    mode.minimumMembers = 3;
    mode.endOfFamily = blockExtensionStep;
    mode.finishRun = blockExtensionFinish;
    return mode;
}

} // namespace tavirlen
