#include "memberdp/MemberDP.h"

#include "memberdp/OptimalPaths.h"
#include "memberdp/SourceCosts.h"
#include "memberdp/StateLayout.h"

#include <iostream>

namespace tavirlen {

namespace {

void writeConfiguration(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res)
{
    pedigree.writeOut(out);
    pedigree.writeDat(dat);
    pedigree.writeRes(res);
}

FamilyOutcome gatherFamily(BatchRun& run, std::unique_ptr<Pedigree> pedigree)
{
    pedigree->prepare();
    run.summary->addPedigree(std::move(pedigree));
    return FamilyOutcome::next;
}

void solveGatheredFamilies(BatchRun& run)
{
    solveAllByMemberDP(*run.summary, run.out, run.dat, run.res);
}

} // namespace

BatchMode memberDPMode()
{
    BatchMode mode;
    mode.keepsSummary = true;
    mode.endOfFamily = gatherFamily;
    mode.finishRun = solveGatheredFamilies;
    return mode;
}

void solveAllByMemberDP(DatasetSummary& summary, std::FILE* out, std::ostream& dat, std::ostream& res)
{
    for (auto& [familyId, pedigree] : summary.pedigrees) solveByMemberDP(*pedigree, out, dat, res);
}

long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res)
{
    if (stateBitCount(pedigree) > maximumStateBits) {
        if (out) std::fprintf(out, "Pedigree %d is to big!\n", pedigree.familyId);
        return 0;
    }
    StateLayout layout(pedigree);
    const int loci = pedigree.locusCount;
    bool loaded = layout.sound;
    for (const auto& [id, m] : pedigree.members)
        if (m.genotypes.size() != static_cast<std::size_t>(loci)) loaded = false;
    if (!loaded) {
        std::cout << "Pedigree " << pedigree.familyId
                  << " cannot be solved: it is not prepared or its members' loci differ; nothing written for it"
                  << std::endl;
        return 0;
    }
    if (loci == 0) {
        // No marker: the one configuration there is, without recombinants.
        pedigree.recombinantCount = 0;
        writeConfiguration(pedigree, out, dat, res);
        return 1;
    }

    std::vector<LocusRules> rules;
    rules.reserve(static_cast<std::size_t>(loci));
    for (int l = 0; l < loci; ++l) rules.push_back(locusRules(pedigree, layout, l));
    SourceCosts costs = computeSourceCosts(layout, rules);
    if (costs.impossibleLocus >= 0) {
        std::cout << "Pedigree " << pedigree.familyId << " has no possible phase configuration at locus "
                  << costs.impossibleLocus
                  << " (Mendelian inconsistency or missing allele); nothing written for it" << std::endl;
        return 0;
    }
    const int optimum = static_cast<int>(costs.base.back());
    return writeOptimalConfigurations(pedigree, layout, rules, costs, [&] {
        pedigree.recombinantCount = optimum;
        writeConfiguration(pedigree, out, dat, res);
    });
}

} // namespace tavirlen
