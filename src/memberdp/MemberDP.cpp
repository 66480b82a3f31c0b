#include "memberdp/MemberDP.h"

#include "memberdp/OptimalPaths.h"
#include "memberdp/SourceCosts.h"
#include "memberdp/StateLayout.h"

#include <chrono>
#include <iostream>

namespace tavirlen {

namespace {

void writeConfiguration(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res)
{
    pedigree.writeOut(out);
    pedigree.writeDat(dat);
    pedigree.writeRes(res);
}

// Families are gathered in input order and solved after the last one.
Prepared gatherFamily(BatchRun& run, FamilyRun& family)
{
    family.pedigree->prepare();
    run.summary->countPedigree(*family.pedigree);
    family.keep = true;
    family.deferred = true;
    return Prepared::done;
}

void solveFamily(FamilyRun& run, Pedigree& pedigree)
{
    const long long limit = run.options.maxSolutionsOr(defaultMaxOptimalConfigurations);
    MemberDPOutcome outcome;
    long long written = solveByMemberDP(pedigree, run.out, run.dat, run.res, limit, &outcome);
    FamilyRow& row = run.row;
    if (outcome.kind == MemberDPOutcome::tooBig) {
            markFamily(row, FamilyStatus::tooBig, outcome.reason, "too big");
        } else if (outcome.kind != MemberDPOutcome::solved) {
            markFamily(row, FamilyStatus::noSolution, outcome.reason);
        } else {
            row.recombinants = outcome.optimum;
            row.optimal = "yes";
            row.solutionsWritten = written;
            row.solutionsInAll = outcome.configurationsMet > limit ? "more than " + std::to_string(limit)
                                                                   : std::to_string(outcome.configurationsMet);
        }
}

// In ascending family id, side by side on the run's threads.
void solveGatheredFamilies(BatchRun& run)
{
    std::vector<Pedigree*> families;
    for (auto& [familyId, pedigree] : run.summary->pedigrees) families.push_back(pedigree.get());
    run.processKept(families, solveFamily);
}

} // namespace

BatchMode memberDPMode()
{
    BatchMode mode;
    mode.method = "member-based programme";
    mode.keepsSummary = true;
    mode.prepareFamily = gatherFamily;
    mode.finishRun = solveGatheredFamilies;
    return mode;
}

void solveAllByMemberDP(DatasetSummary& summary, std::FILE* out, std::ostream& dat, std::ostream& res)
{
    for (auto& [familyId, pedigree] : summary.pedigrees) solveByMemberDP(*pedigree, out, dat, res);
}

long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res,
                          long long limit, MemberDPOutcome* outcome)
{
    MemberDPOutcome ignored;
    MemberDPOutcome& result = outcome ? *outcome : ignored;
    const long long bits = stateBitCount(pedigree);
    if (bits > maximumStateBits) {
        if (out) std::fprintf(out, "Pedigree %s is to big!\n", pedigree.familyText().c_str());
        result.kind = MemberDPOutcome::tooBig;
        result.reason = std::to_string(bits) + " state bits, more than " + std::to_string(maximumStateBits);
        return 0;
    }
    StateLayout layout(pedigree);
    const int loci = pedigree.locusCount;
    bool loaded = layout.sound;
    for (const auto& [id, m] : pedigree.members)
        if (m.genotypes.size() != static_cast<std::size_t>(loci)) loaded = false;
    if (!loaded) {
        std::cout << "Pedigree " << pedigree.familyText()
                  << " cannot be solved: it is not prepared or its members' loci differ; nothing written for it"
                  << std::endl;
        result.kind = MemberDPOutcome::unusable;
        result.reason = "not prepared, or its members' loci differ";
        return 0;
    }
    if (loci == 0) {
        // No marker: the one configuration there is, without recombinants.
        pedigree.recombinantCount = 0;
        writeConfiguration(pedigree, out, dat, res);
        result.configurationsMet = 1;
        return 1;
    }

    std::vector<LocusRules> rules;
    rules.reserve(static_cast<std::size_t>(loci));
    for (int l = 0; l < loci; ++l) rules.push_back(locusRules(pedigree, layout, l));
    SourceCosts costs = computeSourceCosts(layout, rules);
    if (costs.impossibleLocus >= 0) {
        std::cout << "Pedigree " << pedigree.familyText() << " has no possible phase configuration at locus "
                  << costs.impossibleLocus
                  << " (Mendelian inconsistency or missing allele); nothing written for it" << std::endl;
        result.kind = MemberDPOutcome::impossible;
        result.reason = "no possible phase configuration at locus " + std::to_string(costs.impossibleLocus);
        return 0;
    }
    const int optimum = static_cast<int>(costs.base.back());
    result.optimum = optimum;
    long long written = 0;
    result.configurationsMet = writeOptimalConfigurations(
        pedigree, layout, rules, costs,
        [&] {
            pedigree.recombinantCount = optimum;
            writeConfiguration(pedigree, out, dat, res);
            ++written;
        },
        limit);
    return written;
}

} // namespace tavirlen
