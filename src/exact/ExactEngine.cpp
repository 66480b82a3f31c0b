#include "exact/ExactEngine.h"

#include "exact/InheritanceLayout.h"
#include "exact/OptimalPath.h"
#include "exact/PhaseWriter.h"

#include <algorithm>

namespace tavirlen {

namespace {

constexpr int widestVector = 30;

} // namespace

int exactBitCount(const Pedigree& pedigree)
{
    int bits = 0;
    for (const auto& [id, m] : pedigree.members)
        if (!m.isFounder()) bits += 2;
    return bits;
}

bool fitsExactLimits(const Pedigree& pedigree, const ExactLimits& limits, std::string* reason)
{
    const int bits = exactBitCount(pedigree);
    const int maximumBits = std::min(limits.maximumBits, widestVector);
    std::string why;
    if (bits > maximumBits)
        why = std::to_string(bits) + " inheritance bits, more than " + std::to_string(maximumBits);
    else if (bits / 2 > limits.maximumNonFounders)
        why = std::to_string(bits / 2) + " non-founders, more than " + std::to_string(limits.maximumNonFounders);
    if (reason) *reason = why;
    return why.empty();
}

ExactResult solveExactly(Pedigree& pedigree, const ExactLimits& limits)
{
    ExactResult result;
    result.bits = exactBitCount(pedigree);
    const std::string family = "family " + pedigree.familyText() + " ";
    std::string tooBig;
    if (!fitsExactLimits(pedigree, limits, &tooBig)) {
        result.status = ExactStatus::tooBig;
        result.reason = family + "has " + tooBig;
        return result;
    }
    InheritanceLayout layout(pedigree);
    for (const auto& [id, m] : pedigree.members)
        if (m.genotypes.size() != static_cast<std::size_t>(std::max(pedigree.locusCount, 0)))
            layout.problem = "its members' loci differ";
    if (!layout.problem.empty()) {
        result.status = ExactStatus::unsupported;
        result.reason = family + "cannot be solved exactly: " + layout.problem;
        return result;
    }

    PathSearch search = findOptimalPath(pedigree, layout, limits.countConfigurations, limits.keptVectorBytes);
    if (search.impossibleLocus >= 0) {
        result.status = ExactStatus::inconsistent;
        result.locus = search.impossibleLocus;
        result.memberId = search.unfittingMember;
        result.reason = family + "has no possible inheritance at locus " + std::to_string(search.impossibleLocus);
        if (search.unfittingMember)
            result.reason += " (Mendelian inconsistency at member " + pedigree.idText(search.unfittingMember) + ")";
        return result;
    }
    writePhase(pedigree, layout, search.path);
    result.status = ExactStatus::solved;
    result.optimal = true;
    result.recombinants = static_cast<int>(search.optimum);
    result.configurations = search.pathCount;
    result.tooManyToCount = search.tooManyToCount;
    return result;
}

} // namespace tavirlen
