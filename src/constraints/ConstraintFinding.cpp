#include "constraints/ConstraintFinding.h"

#include "phasing/Sources.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <set>
#include <sstream>

namespace tavirlen {

namespace {

bool carries(int a, int b, int allele)
{
    return allele == a || allele == b;
}

// Two different alleles, both typed: the only loci whose haplotype a parent's
// children reveal.
bool typedHeterozygous(const GenotypeRecord& g)
{
    return g.allele1 != g.allele2 && g.allele1 >= 1 && g.allele2 >= 1;
}

// The equation of parent P (side 0 father, 1 mother) for the child between
// loci l1 and l2: P's variables at l1 and l2 plus, at each locus, the term
// "the child's allele from P is P's larger allele". That term is a constant
// when the child's genotype tells which allele came from P, and the child's
// phase variable (plus 1 for the mother, who gives the larger allele when the
// smaller one is paternal) when both of the child's alleles are P's.
Equation parentEquation(const Trio& trio, int side, int l1, int l2)
{
    const Individual& parent = side == 0 ? *trio.father : *trio.mother;
    const int parentBase = side == 0 ? trio.fatherBase : trio.motherBase;
    Equation equation;
    for (int l : {l1, l2}) {
        const GenotypeRecord& p = parent.genotypes[static_cast<std::size_t>(l)];
        const GenotypeRecord& c = trio.child->genotypes[static_cast<std::size_t>(l)];
        const int larger = std::max(p.allele1, p.allele2);
        const int x = std::min(c.allele1, c.allele2);
        const int y = std::max(c.allele1, c.allele2);
        const bool xFromParent = carries(p.allele1, p.allele2, x);
        const bool yFromParent = carries(p.allele1, p.allele2, y);
        equation.variables.push_back(parentBase + l);
        if (x != y && xFromParent && yFromParent) {
            equation.variables.push_back(trio.childBase + l);
            equation.constant ^= side;
        } else {
            const int received = xFromParent ? x : y;
            equation.constant ^= received == larger ? 1 : 0;
        }
    }
    normaliseEquation(equation);
    return equation;
}

// Every member has the same number of loci, the order holds every member once
// and every parent named is a member. The batch driver never hands over a
// family that breaks this; a direct caller gets -1 rather than a crash.
std::optional<int> checkedLocusCount(const Pedigree& pedigree)
{
    if (pedigree.members.empty()) return 0;
    const std::size_t loci = pedigree.members.begin()->second.genotypes.size();
    for (const auto& [id, m] : pedigree.members) {
        if (m.genotypes.size() != loci) return std::nullopt;
        if (m.isFounder()) continue;
        if (!pedigree.member(m.fatherId) || !pedigree.member(m.motherId)) return std::nullopt;
    }
    std::set<int> ordered(pedigree.processingOrder.begin(), pedigree.processingOrder.end());
    if (ordered.size() != pedigree.members.size() || pedigree.processingOrder.size() != ordered.size())
        return std::nullopt;
    for (int id : ordered)
        if (!pedigree.member(id)) return std::nullopt;
    return static_cast<int>(loci);
}

// Fixes the founder's homozygous loci and the first other locus, which
// chooses which of its two haplotypes is called paternal.
void fixFounder(const Individual& founder, int base, LinearSystem& system)
{
    bool fixed = false;
    for (std::size_t l = 0; l < founder.genotypes.size(); ++l) {
        const GenotypeRecord& g = founder.genotypes[l];
        if (g.homozygousTyped() || !fixed) {
            system.addKnown(base + static_cast<int>(l), 0);
            if (!g.homozygousTyped()) fixed = true;
        }
    }
}

// The children's phases that their parents force, and the equations of the
// parents' heterozygous chains. False when a child cannot be formed.
bool constrainSibship(const std::vector<const Individual*>& sibship, const Pedigree& pedigree,
                      const std::map<int, int>& bases, int loci, LinearSystem& system)
{
    Trio trio;
    trio.father = pedigree.member(sibship.front()->fatherId);
    trio.mother = pedigree.member(sibship.front()->motherId);
    trio.fatherBase = bases.at(trio.father->individualId);
    trio.motherBase = bases.at(trio.mother->individualId);
    for (const Individual* child : sibship) {
        const int base = bases.at(child->individualId);
        for (int l = 0; l < loci; ++l) {
            const GenotypeRecord& f = trio.father->genotypes[static_cast<std::size_t>(l)];
            const GenotypeRecord& m = trio.mother->genotypes[static_cast<std::size_t>(l)];
            const GenotypeRecord& c = child->genotypes[static_cast<std::size_t>(l)];
            int phase = childPhaseFromParents(f.allele1, f.allele2, m.allele1, m.allele2,
                                              std::min(c.allele1, c.allele2), std::max(c.allele1, c.allele2));
            if (phase == -2) return false;
            if (phase >= 0 && !system.addKnown(base + l, phase)) return false;
        }
    }
    for (const Individual* parent : {trio.father, trio.mother}) {
        std::vector<int> chain;
        for (int l = 0; l < loci; ++l)
            if (typedHeterozygous(parent->genotypes[static_cast<std::size_t>(l)])) chain.push_back(l);
        for (std::size_t k = 1; k < chain.size(); ++k) {
            for (const Individual* child : sibship) {
                trio.child = child;
                trio.childBase = bases.at(child->individualId);
                auto equations = transmissionEquations(trio, chain[k - 1], chain[k]);
                if (!equations) return false;
                for (Equation& equation : *equations) system.addEquation(std::move(equation));
            }
        }
    }
    return true;
}

void reportConfigurationsNotListed(const Pedigree& pedigree, std::size_t freeCount, long long written,
                                   std::ostream& res)
{
    std::ostringstream line;
    line << "Pedigree " << pedigree.familyText() << " has 2^" << freeCount
         << " zero recombinant configurations, more than " << written << "; only the first " << written
         << " were written.\n";
    res << line.str();
    res.flush();
    std::cout << line.str();
    std::cout.flush();
}

} // namespace

int childPhaseFromParents(int f1, int f2, int m1, int m2, int x, int y)
{
    const bool xPaternal = carries(f1, f2, x) && carries(m1, m2, y);
    const bool yPaternal = carries(f1, f2, y) && carries(m1, m2, x);
    if (!xPaternal && !yPaternal) return -2;
    if (x == y) return 0;
    if (xPaternal && yPaternal) return -1;
    return xPaternal ? 0 : 1;
}

std::optional<std::vector<Equation>> transmissionEquations(const Trio& trio, int l1, int l2)
{
    bool heterozygousAtBoth[2] = {true, true};
    for (int l : {l1, l2}) {
        const GenotypeRecord& f = trio.father->genotypes[static_cast<std::size_t>(l)];
        const GenotypeRecord& m = trio.mother->genotypes[static_cast<std::size_t>(l)];
        const GenotypeRecord& c = trio.child->genotypes[static_cast<std::size_t>(l)];
        if (childPhaseFromParents(f.allele1, f.allele2, m.allele1, m.allele2, std::min(c.allele1, c.allele2),
                                  std::max(c.allele1, c.allele2)) == -2)
            return std::nullopt;
        heterozygousAtBoth[0] = heterozygousAtBoth[0] && typedHeterozygous(f);
        heterozygousAtBoth[1] = heterozygousAtBoth[1] && typedHeterozygous(m);
    }
    std::vector<Equation> equations;
    if (heterozygousAtBoth[0] && heterozygousAtBoth[1]) {
        Equation father = parentEquation(trio, 0, l1, l2);
        equations.push_back(addEquations(father, parentEquation(trio, 1, l1, l2)));
        equations.push_back(std::move(father));
    } else if (heterozygousAtBoth[0]) {
        equations.push_back(parentEquation(trio, 0, l1, l2));
    } else if (heterozygousAtBoth[1]) {
        equations.push_back(parentEquation(trio, 1, l1, l2));
    }
    return equations;
}

void setPhase(GenotypeRecord& record, int value, int source)
{
    record.phased = true;
    const bool smallerFirst = record.allele1 <= record.allele2;
    if ((value == 0) != smallerFirst) std::swap(record.allele1, record.allele2);
    record.paternalSource = source;
    record.maternalSource = source;
}

std::map<int, int> phaseVariableBases(const Pedigree& pedigree, int loci)
{
    std::vector<std::pair<int, int>> created; // (memberIndex, id)
    for (const auto& [id, m] : pedigree.members) created.emplace_back(m.memberIndex, id);
    std::sort(created.begin(), created.end());
    std::map<int, int> bases;
    for (std::size_t rank = 0; rank < created.size(); ++rank)
        bases[created[rank].second] = static_cast<int>(rank) * loci;
    return bases;
}

bool generateKnownsAndEquations(const Pedigree& pedigree, const std::map<int, int>& bases, int loci,
                                LinearSystem& system)
{
    std::set<int> done;
    for (int id : pedigree.processingOrder) {
        if (done.count(id)) continue;
        const Individual& member = *pedigree.member(id);
        if (member.isFounder()) fixFounder(member, bases.at(id), system);

        std::set<int> covered;
        for (std::size_t i = 0; i < member.childIds.size(); ++i) {
            const Individual* child = pedigree.member(member.childIds[i]);
            if (!child || covered.count(child->individualId)) continue;
            auto otherParent = [id](const Individual& c) { return c.fatherId == id ? c.motherId : c.fatherId; };
            const int other = otherParent(*child);
            // The couple's children were handled when the other parent came up.
            if (done.count(other)) continue;
            std::vector<const Individual*> sibship;
            for (std::size_t j = i; j < member.childIds.size(); ++j) {
                const Individual* sibling = pedigree.member(member.childIds[j]);
                if (!sibling || otherParent(*sibling) != other) continue;
                sibship.push_back(sibling);
                covered.insert(sibling->individualId);
            }
            if (!constrainSibship(sibship, pedigree, bases, loci, system)) return false;
        }
        done.insert(id);
    }
    return true;
}

int runConstraintFinding(Pedigree& pedigree, std::ostream& dat, std::ostream& res, std::FILE* out,
                         long long maxConfigurations, int* freeCount)
{
    const std::optional<int> loci = checkedLocusCount(pedigree);
    if (!loci) return -1;
    const std::map<int, int> bases = phaseVariableBases(pedigree, *loci);
    LinearSystem system(static_cast<int>(pedigree.members.size()) * *loci);
    if (!generateKnownsAndEquations(pedigree, bases, *loci, system)) return -1;
    if (!system.solve()) return -1;

    const std::vector<int> freeList = system.freeVariables();
    if (freeCount) *freeCount = static_cast<int>(freeList.size());
    long long configurations = maxConfigurations;
    if (freeList.size() < 62 && (1LL << freeList.size()) <= maxConfigurations)
        configurations = 1LL << freeList.size();
    else
        reportConfigurationsNotListed(pedigree, freeList.size(), configurations, res);
    std::vector<int> values;
    for (long long s = 0; s < configurations; ++s) {
        system.evaluate(static_cast<std::uint64_t>(s), freeList, values);
        for (int id : pedigree.processingOrder) {
            Individual& member = *pedigree.member(id);
            const int base = bases.at(id);
            const int source = member.isFounder() ? 0 : -1;
            for (int l = 0; l < *loci; ++l)
                setPhase(member.genotypes[static_cast<std::size_t>(l)],
                         values[static_cast<std::size_t>(base + l)], source);
        }
        countRecombinants(pedigree);
        pedigree.writeDat(dat);
        pedigree.writeRes(res);
        pedigree.writeOut(out);
    }
    return static_cast<int>(configurations);
}

namespace {

FamilyOutcome constraintFindingStep(FamilyRun& run)
{
    std::unique_ptr<Pedigree>& pedigree = run.pedigree;
    pedigree->prepare();
    int freeCount = 0;
    const long long written = runConstraintFinding(*pedigree, run.dat, run.res, run.out,
                                                   run.options.maxSolutionsOr(defaultMaxConfigurations), &freeCount);
    FamilyRow& row = run.row;
    if (written == -1) {
        run.res << "There is no 0 recombinant solution for pedigree " << pedigree->familyText() << "!\n";
        run.res.flush();
        markFamily(row, FamilyStatus::noSolution, "no configuration without recombinants");
        return FamilyOutcome::next;
    }
    row.recombinants = 0;
    row.optimal = "yes";
    row.solutionsWritten = written;
    row.solutionsInAll = freeCount < 63 ? std::to_string(1ULL << freeCount) : "2^" + std::to_string(freeCount);
    return FamilyOutcome::next;
}

void constraintFindingFinish(BatchRun& run)
{
    writeTotalTime(run);
}

} // namespace

BatchMode constraintFindingMode()
{
    BatchMode mode;
    mode.method = "constraint finding";
    mode.minimumMembers = 3;
    mode.endOfFamily = constraintFindingStep;
    mode.finishRun = constraintFindingFinish;
    return mode;
}

} // namespace tavirlen
