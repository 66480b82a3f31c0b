#include "ilp/IlpModel.h"

#include <algorithm>
#include <iostream>
#include <iterator>

namespace tavirlen {

IlpModel::IlpModel(Pedigree& p) : pedigree(&p)
{
    for (auto& [id, m] : p.members) {
        if (m.memberIndex < 0) continue;
        auto index = static_cast<std::size_t>(m.memberIndex);
        if (index >= membersByIndex.size()) membersByIndex.resize(index + 1, nullptr);
        membersByIndex[index] = &m;
    }
}

GenotypeRecord* IlpModel::record(int v)
{
    return const_cast<GenotypeRecord*>(static_cast<const IlpModel*>(this)->record(v));
}

const GenotypeRecord* IlpModel::record(int v) const
{
    if (v <= 0) return nullptr;
    int index = variableMemberIndex(v);
    if (index < 0 || static_cast<std::size_t>(index) >= membersByIndex.size()) return nullptr;
    const Individual* m = membersByIndex[static_cast<std::size_t>(index)];
    auto locus = static_cast<std::size_t>(variableLocus(v));
    if (!m || locus >= m->genotypes.size()) return nullptr;
    return &m->genotypes[locus];
}

int IlpModel::fixedValue(int v) const
{
    auto fixed = fixedValues.find(v);
    return fixed == fixedValues.end() ? -1 : fixed->second;
}

int IlpModel::literalValue(int literal) const
{
    int value = fixedValue(literal < 0 ? -literal : literal);
    if (value < 0 || literal > 0) return value;
    return 1 - value;
}

bool IlpModel::fixVariable(int v, int value)
{
    if (v <= 0) {
        std::cout << "Var " << v << " should larger than 0\n";
        return false;
    }
    GenotypeRecord* g = record(v);
    if (!g) {
        std::cout << "Var " << v << " is not a variable of family " << pedigree->familyId << "\n";
        return false;
    }
    int current = fixedValue(v);
    if (current == value) return true;
    if (current != -1) {
        std::cout << "possible Mendelian errors: at locus " << variableLocus(v) + 1 << "\n";
        ++fixConflicts;
        return false;
    }
    fixedValues.emplace(v, value);
    return true;
}

std::optional<std::string> ilpSchemeProblem(const Pedigree& pedigree)
{
    std::size_t loci = 0;
    for (const auto& [id, m] : pedigree.members) {
        loci = std::max(loci, m.genotypes.size());
        if (m.memberIndex >= maxIlpMembers)
            return "more than " + std::to_string(maxIlpMembers)
                + " member lines, more than the integer programme can number";
    }
    if (loci > static_cast<std::size_t>(maxIlpLoci))
        return std::to_string(loci) + " loci, more than the " + std::to_string(maxIlpLoci)
            + " the integer programme can number";
    for (std::size_t l = 0; l < loci; ++l) {
        std::set<int> alleles;
        for (const auto& [id, m] : pedigree.members) {
            if (l >= m.genotypes.size()) continue;
            if (m.genotypes[l].allele1 >= 1) alleles.insert(m.genotypes[l].allele1);
            if (m.genotypes[l].allele2 >= 1) alleles.insert(m.genotypes[l].allele2);
        }
        if (alleles.size() > static_cast<std::size_t>(maxIlpAlleles))
            return std::to_string(alleles.size()) + " distinct alleles at locus " + std::to_string(l + 1)
                + ", more than the " + std::to_string(maxIlpAlleles)
                + " the integer programme can number";
    }
    return std::nullopt;
}

namespace {

int rankOf(const std::set<int>& alleles, int allele)
{
    return static_cast<int>(std::distance(alleles.begin(), alleles.find(allele)));
}

// Fixes every allele variable of base at l to 0 except the two named ones.
void fixOtherAllelesToZero(IlpModel& model, int base, int m, int keep1, int keep2)
{
    for (int kind = 0; kind < 2 * m; ++kind)
        if (kind != keep1 && kind != keep2) model.fixVariable(base + kind, 0);
}

void addSumRows(IlpModel& model, int base, int m)
{
    for (int side = 0; side < 2; ++side) {
        IlpRow row;
        for (int k = 0; k < m; ++k) row.push_back(base + side * m + k);
        row.push_back(1);
        model.equalityRows.push_back(row);
    }
}

void addGenotypeRows(IlpModel& model, Individual& member, int l, bool& firstHeterozygous)
{
    Pedigree& p = *model.pedigree;
    GenotypeRecord& g = member.genotypes[static_cast<std::size_t>(l)];
    const std::set<int>& alleles = p.observedAlleles[static_cast<std::size_t>(l)];
    int m = model.distinctAlleleCounts[static_cast<std::size_t>(l)];
    int b = variableId(member.memberIndex, l, 0);
    bool missing1 = g.allele1 < 1;
    bool missing2 = g.allele2 < 1;

    if (missing1 || missing2) {
        if (m == 1) {
            model.fixVariable(b, 1);
            model.fixVariable(b + 1, 1);
            return;
        }
        if (!(missing1 && missing2)) {
            int r = rankOf(alleles, missing1 ? g.allele2 : g.allele1);
            // The typed allele is on at least one of the two haplotypes.
            model.inequalityRows.push_back({-(b + r), -(b + m + r), -1});
        }
        addSumRows(model, b, m);
        return;
    }
    if (g.allele1 == g.allele2) {
        int r = rankOf(alleles, g.allele1);
        model.fixVariable(b + r, 1);
        model.fixVariable(b + m + r, 1);
        fixOtherAllelesToZero(model, b, m, r, m + r);
        g.phased = true;
        return;
    }
    int r1 = rankOf(alleles, g.allele1);
    int r2 = rankOf(alleles, g.allele2);
    if (member.isFounder() && firstHeterozygous) {
        // The input order settles which of the founder's two haplotypes is
        // which; without it every solution would have a mirror image.
        firstHeterozygous = false;
        model.fixVariable(b + r1, 1);
        model.fixVariable(b + m + r2, 1);
        fixOtherAllelesToZero(model, b, m, r1, m + r2);
        g.phased = true;
        return;
    }
    model.equalityRows.push_back({b + r1, b + r2, 1});
    model.equalityRows.push_back({b + m + r1, b + m + r2, 1});
    for (int k = 0; k < m; ++k) {
        if (k == r1 || k == r2) continue;
        model.fixVariable(b + k, 0);
        model.fixVariable(b + m + k, 0);
    }
    model.equalityRows.push_back({b + r1, b + m + r1, 1});
    model.equalityRows.push_back({b + r2, b + m + r2, 1});
}

// The source variable of one side of a child whose allele on that side is
// known to be `allele` (rank k) from its parent's genotype at l.
void addOrderedSource(IlpModel& model, const GenotypeRecord& parent, int parentBase, int m, int k,
                      int allele, int source)
{
    if (parent.phased) {
        if (parent.allele1 == parent.allele2 && parent.allele1 != 0) return;
        model.fixVariable(source, allele == parent.allele1 ? 0 : 1);
        return;
    }
    int first = model.fixedValue(parentBase + k);
    if (first == 0)
        model.fixVariable(source, 1);
    else if (first == -1)
        model.inequalityRows.push_back({-(parentBase + k), -source, -1});
    int second = model.fixedValue(parentBase + m + k);
    if (second == 0)
        model.fixVariable(source, 0);
    else if (second == -1)
        model.inequalityRows.push_back({-(parentBase + m + k), source, 0});
}

void addInheritanceRows(IlpModel& model, Individual& child, int l)
{
    Pedigree& p = *model.pedigree;
    const auto locus = static_cast<std::size_t>(l);
    const Individual& father = *p.member(child.fatherId);
    const Individual& mother = *p.member(child.motherId);
    const GenotypeRecord& fg = father.genotypes[locus];
    const GenotypeRecord& mg = mother.genotypes[locus];
    const std::set<int>& alleles = p.observedAlleles[locus];
    int m = model.distinctAlleleCounts[locus];
    int c = variableId(child.memberIndex, l, 0);
    int f = variableId(father.memberIndex, l, 0);
    int mo = variableId(mother.memberIndex, l, 0);

    Individual::ParentalOrder order = child.orderByParents(fg.allele1, fg.allele2, mg.allele1, mg.allele2, l);
    if (order.ok) {
        GenotypeRecord& g = child.genotypes[locus];
        g.allele1 = order.paternal;
        g.allele2 = order.maternal;
        g.phased = true;
        int kp = rankOf(alleles, order.paternal);
        model.fixVariable(c + kp, 1);
        addOrderedSource(model, fg, f, m, kp, order.paternal, c + paternalSourceKind);
        int kq = rankOf(alleles, order.maternal);
        model.fixVariable(c + m + kq, 1);
        addOrderedSource(model, mg, mo, m, kq, order.maternal, c + maternalSourceKind);
        return;
    }
    for (int k = 0; k < m; ++k) {
        model.inequalityRows.push_back({c + k, -(f + k), -(c + paternalSourceKind), 0});
        model.inequalityRows.push_back({c + k, -(f + m + k), c + paternalSourceKind, 1});
        model.inequalityRows.push_back({c + m + k, -(mo + k), -(c + maternalSourceKind), 0});
        model.inequalityRows.push_back({c + m + k, -(mo + m + k), c + maternalSourceKind, 1});
    }
}

// r = p XOR q for the source p at l, its successor q at l + 1 and the
// recombination indicator r between them.
void addRecombinationRows(IlpModel& model, int c)
{
    const int kinds[2][2] = {{paternalSourceKind, paternalRecombinationKind},
                             {maternalSourceKind, maternalRecombinationKind}};
    for (const auto& kind : kinds) {
        int p = c + kind[0];
        int q = c + 100 + kind[0];
        int r = c + kind[1];
        model.inequalityRows.push_back({r, -p, -q, 0});
        model.inequalityRows.push_back({r, p, q, 2});
        model.inequalityRows.push_back({-r, p, -q, 0});
        model.inequalityRows.push_back({-r, -p, q, 0});
    }
}

} // namespace

void buildModel(IlpModel& model)
{
    Pedigree& p = *model.pedigree;
    const int loci = p.locusCount;
    p.observedAlleles.assign(static_cast<std::size_t>(std::max(loci, 0)), {});
    for (const auto& [id, m] : p.members) {
        for (int l = 0; l < loci && static_cast<std::size_t>(l) < m.genotypes.size(); ++l) {
            const GenotypeRecord& g = m.genotypes[static_cast<std::size_t>(l)];
            // Anything below 1 is a missing allele, never a value to impute.
            if (g.allele1 >= 1) p.observedAlleles[static_cast<std::size_t>(l)].insert(g.allele1);
            if (g.allele2 >= 1) p.observedAlleles[static_cast<std::size_t>(l)].insert(g.allele2);
        }
    }
    model.distinctAlleleCounts.clear();
    for (const std::set<int>& alleles : p.observedAlleles)
        model.distinctAlleleCounts.push_back(static_cast<int>(alleles.size()));

    for (int id : p.processingOrder) {
        Individual& m = *p.member(id);
        bool firstHeterozygous = m.isFounder();
        for (int l = 0; l < loci; ++l) addGenotypeRows(model, m, l, firstHeterozygous);
    }
    for (int id : p.processingOrder) {
        Individual& child = *p.member(id);
        if (child.fatherId == 0 && child.motherId == 0) continue;
        for (int l = 0; l < loci; ++l) {
            addInheritanceRows(model, child, l);
            if (l + 1 < loci) addRecombinationRows(model, variableId(child.memberIndex, l, 0));
        }
    }
    for (int id : p.processingOrder) {
        const Individual& child = *p.member(id);
        if (child.fatherId == 0 && child.motherId == 0) continue;
        for (int l = 0; l + 1 < loci; ++l) {
            // An interval without a weight counts as one recombination.
            float weight = static_cast<std::size_t>(l) < p.markerWeights.size()
                ? p.markerWeights[static_cast<std::size_t>(l)]
                : 1.0f;
            for (int kind : {paternalRecombinationKind, maternalRecombinationKind}) {
                int r = variableId(child.memberIndex, l, kind);
                if (model.fixedValue(r) != -1) continue;
                model.objectiveVariables.push_back(r);
                model.objectiveWeights.push_back(weight);
            }
        }
    }
}

} // namespace tavirlen
