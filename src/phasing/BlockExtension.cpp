#include "phasing/BlockExtension.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockWalk.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/Sibships.h"
#include "phasing/Sources.h"

#include <utility>

namespace tavirlen {

namespace {

// A draw scaled to [0, 1].
constexpr double drawScale = 3.051850947599719e-5;

bool lacksAllele(const GenotypeRecord& g)
{
    return missingAllele(g.allele1) || missingAllele(g.allele2);
}

bool carries(const GenotypeRecord& g, int allele)
{
    return allele == g.allele1 || allele == g.allele2;
}

// A parent with a missing allele could have passed on anything.
bool couldHavePassed(const GenotypeRecord& parent, int allele)
{
    return carries(parent, allele) || lacksAllele(parent);
}

// The algorithm needs every member to have the family's number of loci and
// every non-founder to have both parents in the family.
bool phaseable(const Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return false;
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        if (!pedigree.member(m.fatherId) || !pedigree.member(m.motherId)) return false;
    }
    return true;
}

// An unphased locus that has one typed allele: the fills below read the slot
// of that allele as the side it came from. When the parent of its slot cannot
// have passed it on but the other parent can, it is moved to the other slot,
// so that nothing is filled against a typed parent.
void placeTypedAllele(GenotypeRecord& g, const GenotypeRecord& father, const GenotypeRecord& mother)
{
    if (g.phased || missingAllele(g.allele1) == missingAllele(g.allele2)) return;
    int side = missingAllele(g.allele1) ? 1 : 0;
    const GenotypeRecord& own = side == 0 ? father : mother;
    const GenotypeRecord& other = side == 0 ? mother : father;
    int allele = g.allele(side);
    if (!couldHavePassed(own, allele) && couldHavePassed(other, allele)) std::swap(g.allele1, g.allele2);
}

// A parent's missing alleles from its children: a child's allele that the
// child's other parent does not carry came from this member; a homozygous
// child's allele did in any case.
void inferFromChildren(Pedigree& pedigree, Individual& m)
{
    if (m.childIds.empty() || m.mateId == 0 || !pedigree.member(m.mateId)) return;
    for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
        GenotypeRecord& g = m.genotypes[k];
        if (!lacksAllele(g)) continue;
        for (int childId : m.childIds) {
            if (!lacksAllele(g)) break;
            const Individual* child = pedigree.member(childId);
            if (!child) continue;
            // A half-sibling is read against its own other parent.
            int otherId = child->fatherId == m.individualId ? child->motherId : child->fatherId;
            const Individual* other = pedigree.member(otherId);
            if (!other) continue;
            const GenotypeRecord& c = child->genotypes[k];
            const GenotypeRecord& o = other->genotypes[k];
            int candidate = 0;
            if (!carries(o, c.allele2))
                candidate = c.allele2;
            else if (!carries(o, c.allele1))
                candidate = c.allele1;
            if (c.homozygousTyped()) candidate = c.allele1;
            if (missingAllele(candidate)) candidate = 0;
            if (!missingAllele(g.allele1) && missingAllele(g.allele2)) {
                if (candidate != g.allele1) g.allele2 = candidate;
            } else {
                g.allele1 = candidate;
            }
        }
    }
}

// A non-founder's missing alleles from homozygous parents. Returns whether
// anything was set.
bool inferFromParents(Pedigree& pedigree, Individual& m)
{
    const Individual* father = parentOf(pedigree, m, 0);
    const Individual* mother = parentOf(pedigree, m, 1);
    if (!father || !mother) return false;
    bool changed = false;
    for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
        GenotypeRecord& g = m.genotypes[k];
        if (!lacksAllele(g)) continue;
        placeTypedAllele(g, father->genotypes[k], mother->genotypes[k]);
        for (int side = 0; side < 2; ++side) {
            const GenotypeRecord& p = (side == 0 ? father : mother)->genotypes[k];
            if (!p.homozygousTyped()) continue;
            if (!g.phased) {
                if (!missingAllele(g.allele(side)) && g.allele(side) != p.allele1)
                    std::swap(g.allele1, g.allele2);
                g.allele(side) = p.allele1;
                g.phased = true;
                changed = true;
            } else if (missingAllele(g.allele(side))) {
                g.allele(side) = p.allele1;
                changed = true;
            }
        }
    }
    return changed;
}

// One bottom-up pass; returns whether another pass is wanted.
bool inferencePass(Pedigree& pedigree)
{
    bool again = false;
    pedigree.visitedIds.clear();
    while (pedigree.visitedIds.size() < pedigree.members.size()) {
        int id = nextBottomUp(pedigree);
        if (id == 0) break;
        Individual& m = *pedigree.member(id);
        inferFromChildren(pedigree, m);
        if (!m.isFounder() && inferFromParents(pedigree, m) && !m.childIds.empty()) again = true;
        pedigree.visitedIds.insert(id);
    }
    pedigree.visitedIds.clear();
    return again;
}

// The allele whose cumulative founder frequency first exceeds u, in
// ascending allele order; 0 when none does.
int founderAllele(const Pedigree& pedigree, std::size_t k, double u)
{
    const DatasetSummary* summary = pedigree.datasetSummary;
    if (!summary || k >= summary->alleleCounts.size()) return 0;
    const std::map<int, int>& counts = summary->alleleCounts[k];
    int missing = 0;
    for (const auto& [allele, count] : counts)
        if (missingAllele(allele)) missing += count;
    double typed = 2.0 * summary->founderCount - missing;
    if (typed <= 0) return 0;
    double sum = 0;
    for (const auto& [allele, count] : counts) {
        if (missingAllele(allele)) continue;
        sum += count / typed;
        if (sum > u) return allele;
    }
    return 0;
}

void fill(GenotypeRecord& g, int paternal, int maternal)
{
    bool missing1 = missingAllele(g.allele1);
    bool missing2 = missingAllele(g.allele2);
    if (missing1) g.allele1 = paternal;
    if (missing2) g.allele2 = maternal;
}

} // namespace

void fillMissingAllelesRandomly(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return;
    for (auto& [id, m] : pedigree.members) {
        if (!m.isFounder()) continue;
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            double u1 = rand() * drawScale;
            double u2 = rand() * drawScale;
            GenotypeRecord& g = m.genotypes[k];
            if (lacksAllele(g)) fill(g, founderAllele(pedigree, k, u1), founderAllele(pedigree, k, u2));
        }
    }
    for (int id : pedigree.processingOrder) {
        Individual* m = pedigree.member(id);
        if (!m || m->isFounder()) continue;
        const Individual* father = parentOf(pedigree, *m, 0);
        const Individual* mother = parentOf(pedigree, *m, 1);
        for (std::size_t k = 0; k < m->genotypes.size(); ++k) {
            double u1 = rand() * drawScale;
            double u2 = rand() * drawScale;
            GenotypeRecord& g = m->genotypes[k];
            if (!lacksAllele(g) || !father || !mother) continue;
            const GenotypeRecord& f = father->genotypes[k];
            const GenotypeRecord& mo = mother->genotypes[k];
            placeTypedAllele(g, f, mo);
            fill(g, u1 < 0.5 ? f.allele1 : f.allele2, u2 < 0.5 ? mo.allele1 : mo.allele2);
        }
    }
}

void inferMissingAlleles(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return;
    int passes = 1;
    while (inferencePass(pedigree)) ++passes;
    // The random fill follows every pass; later runs only meet alleles that
    // an earlier run could not fill.
    for (int i = 0; i < passes; ++i) fillMissingAllelesRandomly(pedigree);
}

bool runBlockExtension(Pedigree& pedigree)
{
    if (!phaseable(pedigree)) return false;
    if (!pedigree.checkMendel()) return false;
    inferMissingAlleles(pedigree);
    phaseByMendel(pedigree);
    inferFromSibships(pedigree);
    extendFromSeed(pedigree);
    while (findNextBlock(pedigree)) extendFromSeed(pedigree);
    countRecombinants(pedigree);
    return true;
}

} // namespace tavirlen
