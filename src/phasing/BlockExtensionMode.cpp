#include "phasing/BlockExtensionMode.h"

#include "phasing/BlockExtension.h"
#include "phasing/Polish.h"

namespace tavirlen {

namespace {

FamilyOutcome blockExtensionStep(FamilyRun& run)
{
    Pedigree& pedigree = *run.pedigree;
    // A Mendelian inconsistency leaves the family unphased; it is written all the same.
    const bool phased = run.options.polish ? runPolishedBlockExtension(pedigree) : runBlockExtension(pedigree);
    if (run.options.polish) run.row.method = "block extension with polishing";
    writeFamilyResults(run, pedigree);
    if (!phased) markFamily(run.row, FamilyStatus::mendel, "Mendelian inconsistency; written as read");
    return FamilyOutcome::next;
}

void blockExtensionFinish(BatchRun& run)
{
    writeTotalTime(run);
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
    mode.countsFounderHaplotypes = true;
    mode.minimumMembers = 3;
    mode.prepareFamily = prepareAndCount;
    mode.endOfFamily = blockExtensionStep;
    mode.finishRun = blockExtensionFinish;
    return mode;
}

} // namespace tavirlen
