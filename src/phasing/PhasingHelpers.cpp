#include "phasing/PhasingHelpers.h"

#include "phasing/Sources.h"

#include <utility>

namespace tavirlen {

void bringToSide(GenotypeRecord& g, int side, int value)
{
    if (g.allele(side) != value && g.allele(1 - side) == value) std::swap(g.allele1, g.allele2);
}

void arrangeAs(GenotypeRecord& g, int state)
{
    if (arrangement(g) != state) std::swap(g.allele1, g.allele2);
}

Individual* parentOf(Pedigree& pedigree, const Individual& member, int side)
{
    int id = member.parentId(side);
    return id == 0 ? nullptr : pedigree.member(id);
}

bool showsChangeOfSource(const Individual& member)
{
    return sourceSummary(member, 0) == 2 || sourceSummary(member, 1) == 2;
}

void setSourcesFromParents(Pedigree& pedigree, Individual& member, int k)
{
    std::size_t locus = static_cast<std::size_t>(k);
    if (k < 0 || locus >= member.genotypes.size()) return;
    GenotypeRecord& g = member.genotypes[locus];
    for (int side = 0; side < 2; ++side) {
        const Individual* parent = parentOf(pedigree, member, side);
        if (!parent || locus >= parent->genotypes.size()) continue;
        const GenotypeRecord& p = parent->genotypes[locus];
        if (!p.phased || p.homozygousTyped()) continue;
        g.source(side) = g.allele(side) == p.allele1 ? 0 : 1;
    }
}

PhasedRun longestPhasedRun(const Individual& member)
{
    PhasedRun longest;
    PhasedRun run;
    int loci = static_cast<int>(member.genotypes.size());
    for (int k = 0; k < loci; ++k) {
        if (!member.genotypes[static_cast<std::size_t>(k)].phased) continue;
        if (run.start + run.length != k) run = {k, 0};
        if (++run.length > longest.length) longest = run;
    }
    return longest;
}

bool sameLocusCount(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members)
        if (static_cast<int>(m.genotypes.size()) != pedigree.locusCount) return false;
    return true;
}

bool completelyPhased(const Individual& member)
{
    for (const GenotypeRecord& g : member.genotypes)
        if (!g.phased) return false;
    return true;
}

} // namespace tavirlen
