#include "modes/BestAvailable.h"

#include "exact/ExactEngine.h"
#include "ilp/IlpDriver.h"
#include "ilp/IlpModel.h"
#include "pedigree/Preparation.h"
#include "phasing/Polish.h"

#include <cstdio>
#include <iostream>
#include <optional>

namespace tavirlen {

namespace {

struct MendelError {
    int childId = 0;
    int locus = 0;
};

// The first child, in processing order, whose alleles at some locus cannot
// come from its parents.
std::optional<MendelError> firstMendelError(const Pedigree& pedigree)
{
    for (int id : pedigree.processingOrder) {
        const Individual* child = pedigree.member(id);
        if (!child || child->isFounder()) continue;
        const Individual* father = pedigree.member(child->fatherId);
        const Individual* mother = pedigree.member(child->motherId);
        if (!father || !mother) continue;
        for (std::size_t k = 0; k < child->genotypes.size(); ++k) {
            const GenotypeRecord& f = father->genotypes[k];
            const GenotypeRecord& m = mother->genotypes[k];
            const GenotypeRecord& c = child->genotypes[k];
            if (!trioConsistent(f.allele1, f.allele2, m.allele1, m.allele2, c.allele1, c.allele2))
                return MendelError{id, static_cast<int>(k)};
        }
    }
    return std::nullopt;
}

// Written as read, with the reason on standard output and in its row.
void writeUnphased(FamilyRun& run, Pedigree& pedigree, const Pedigree& asRead, const std::string& reason)
{
    std::cout << "Family " << pedigree.familyText() << ": " << reason << "; written unphased" << std::endl;
    pedigree.members = asRead.members;
    pedigree.recombinantCount = 0;
    writeFamilyResults(run, pedigree);
    markFamily(run.row, FamilyStatus::mendel, reason, "");
}

// Block extension with polishing on a copy of the family as read.
Pedigree byBlockExtension(const Pedigree& asRead)
{
    Pedigree copy = asRead;
    runPolishedBlockExtension(copy);
    return copy;
}

// The integer programme within the time limit, counting recombinants (every
// interval weighs 1). Nothing when it gives no solution.
std::optional<Pedigree> byIntegerProgramme(const FamilyRun& run, const Pedigree& asRead, bool& proven)
{
    if (ilpSchemeProblem(asRead) || missingAllAllelesAtSomeLocus(asRead)) return std::nullopt;
    Pedigree copy = asRead;
    const std::size_t loci = static_cast<std::size_t>(std::max(copy.locusCount, 0));
    copy.markerWeights.assign(loci > 0 ? loci - 1 : 0, 1.0f);
    IlpModel model(copy);
    IlpSettings settings;
    // Working files of this family only: families are solved side by side.
    const std::string stem = run.workFolder + "/family" + std::to_string(run.inputIndex);
    settings.modelFileName = stem + ".msp";
    settings.logFileName = stem + ".log";
    settings.timeLimitSeconds = run.options.timeLimitSeconds;
    std::string message;
    const IlpResult result = solveIlp(model, settings, message, &proven);
    std::remove(settings.modelFileName.c_str());
    std::remove(settings.logFileName.c_str());
    if (result != IlpResult::solved) return std::nullopt;
    applyIlpSolution(model, 0);
    return copy;
}

FamilyOutcome bestAvailableStep(FamilyRun& run)
{
    Pedigree& pedigree = *run.pedigree;
    const Pedigree asRead = pedigree;
    FamilyRow& row = run.row;

    if (auto error = firstMendelError(pedigree)) {
        writeUnphased(run, pedigree, asRead,
                      "Mendelian inconsistency: child " + pedigree.idText(error->childId) + " at locus "
                          + std::to_string(error->locus));
        return FamilyOutcome::next;
    }
    if (fitsExactLimits(pedigree, ExactLimits())) {
        ExactResult exact = solveExactly(pedigree);
        if (exact.status == ExactStatus::solved) {
            writeFamilyResults(run, pedigree);
            row.method = "exact";
            row.optimal = "yes";
            row.solutionsInAll = exact.tooManyToCount ? "more than 2^53" : std::to_string(exact.configurations);
            return FamilyOutcome::next;
        }
        if (exact.status == ExactStatus::inconsistent) {
            writeUnphased(run, pedigree, asRead,
                          "Mendelian inconsistency: individual " + pedigree.idText(exact.memberId) + " at locus "
                              + std::to_string(exact.locus));
            return FamilyOutcome::next;
        }
    }
    bool proven = false;
    std::optional<Pedigree> programme = byIntegerProgramme(run, asRead, proven);
    if (programme && proven) {
        pedigree.members = programme->members;
        pedigree.recombinantCount = programme->recombinantCount;
        row.method = "integer programme";
        row.optimal = "yes";
    } else {
        Pedigree block = byBlockExtension(asRead);
        const bool programmeBetter = programme && programme->recombinantCount < block.recombinantCount;
        const Pedigree& best = programmeBetter ? *programme : block;
        pedigree.members = best.members;
        pedigree.recombinantCount = best.recombinantCount;
        row.method = programmeBetter ? "integer programme, time limit reached" : "block extension with polishing";
        row.optimal = "unknown";
    }
    writeFamilyResults(run, pedigree);
    return FamilyOutcome::next;
}

bool bestAvailableStart(BatchRun& run)
{
    run.res << "Family\t # of Rec\t Time used(Sec)\n";
    return createWorkFolder(run);
}

void bestAvailableFinish(BatchRun& run)
{
    writeTotalTime(run);
    run.summary->writeStatistics(run.res);
    run.summary->writeLocusStatistics(run.res);
}

} // namespace

BatchMode bestAvailableMode()
{
    BatchMode mode;
    mode.method = "best available";
    mode.keepsSummary = true;
    mode.minimumMembers = 3;
    mode.countsFounderHaplotypes = true;
    mode.startRun = bestAvailableStart;
    mode.prepareFamily = prepareAndCount;
    mode.endOfFamily = bestAvailableStep;
    mode.finishRun = bestAvailableFinish;
    return mode;
}

} // namespace tavirlen
