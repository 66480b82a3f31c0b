#include "exact/PhaseWriter.h"

#include "phasing/Sources.h"

#include <algorithm>
#include <optional>

namespace tavirlen {

namespace {

// Beyond this many labellings of one locus (half-typed genotypes that can be
// met on either side multiply them) no missing allele is filled there.
constexpr int labellingLimit = 4096;

// One assignment of alleles to the founder genes at a locus under the path's
// vector, and which genes every such assignment gives the same value.
struct LocusAssignment {
    std::vector<AlleleCode> value; // by gene; 0 where the gene is free
    std::vector<bool> forced;
};

class AssignmentSearch {
public:
    AssignmentSearch(const InheritanceLayout& layout, const LocusPlan& plan,
                     const std::vector<std::array<int, 2>>& genes)
        : layout_(layout), plan_(plan), genes_(genes), seen_(static_cast<std::size_t>(layout.geneCount), 0),
          open_(static_cast<std::size_t>(layout.geneCount), false)
    {
    }

    LocusAssignment run()
    {
        visit(0, GeneLabelling());
        LocusAssignment result;
        const auto genes = static_cast<std::size_t>(layout_.geneCount);
        result.value.assign(genes, 0);
        result.forced.assign(genes, false);
        if (!first_) return result; // not a possible vector; cannot happen on an optimal path
        // Within a group the labelling that gives the group's lowest gene the
        // smaller allele is written.
        std::vector<int> choice(GeneLabelling::maximumGenes, -1);
        for (std::size_t g = 0; g < genes; ++g) {
            const int gene = static_cast<int>(g);
            if (first_->inGroup(gene)) {
                int& c = choice[static_cast<std::size_t>(first_->groupOf(gene))];
                if (c < 0) c = allele(first_->value(gene, 0)) < allele(first_->value(gene, 1)) ? 0 : 1;
                result.value[g] = first_->value(gene, c);
            } else {
                result.value[g] = first_->value(gene, 0);
            }
            result.forced[g] = leaves_ <= labellingLimit && !open_[g] && seen_[g] != 0;
        }
        return result;
    }

private:
    int allele(AlleleCode code) const { return plan_.alleles[static_cast<std::size_t>(code) - 1]; }

    void visit(std::size_t i, const GeneLabelling& labelling)
    {
        if (leaves_ > labellingLimit) return;
        if (i == layout_.members.size()) {
            record(labelling);
            return;
        }
        const auto& g = genes_[i];
        if (g[0] < 0) {
            visit(i + 1, labelling);
            return;
        }
        applyRule(plan_.rules[i], g[0], g[1], labelling, [&](const GeneLabelling& next) { visit(i + 1, next); });
    }

    void record(const GeneLabelling& labelling)
    {
        ++leaves_;
        if (!first_) first_ = labelling;
        for (std::size_t g = 0; g < seen_.size(); ++g) {
            const int gene = static_cast<int>(g);
            if (labelling.isFree(gene) || labelling.inGroup(gene)) {
                open_[g] = true;
                continue;
            }
            const AlleleCode v = labelling.value(gene, 0);
            if (seen_[g] == 0) seen_[g] = v;
            if (seen_[g] != v) open_[g] = true;
        }
    }

    const InheritanceLayout& layout_;
    const LocusPlan& plan_;
    const std::vector<std::array<int, 2>>& genes_;
    std::vector<AlleleCode> seen_;
    std::vector<bool> open_;
    std::optional<GeneLabelling> first_;
    int leaves_ = 0;
};

// The alleles a member with genes (x, y) is written with at the locus.
std::array<int, 2> writtenAlleles(const GenotypeRule& rule, const std::array<int, 2>& genes,
                                  const LocusAssignment& assignment, const LocusPlan& plan)
{
    std::array<AlleleCode, 2> code{};
    std::array<bool, 2> forced{};
    for (std::size_t s = 0; s < 2; ++s) {
        code[s] = assignment.value[static_cast<std::size_t>(genes[s])];
        forced[s] = assignment.forced[static_cast<std::size_t>(genes[s])];
    }
    std::array<bool, 2> shown = forced;
    if (rule.kind == GenotypeRule::homozygous || rule.kind == GenotypeRule::heterozygous) {
        shown = {true, true};
    } else if (rule.kind == GenotypeRule::halfTyped) {
        // The typed allele is shown on a side that carries it, a forced one
        // if there is one.
        bool onForcedSide = (code[0] == rule.a && forced[0]) || (code[1] == rule.a && forced[1]);
        if (!onForcedSide) shown[code[0] == rule.a ? 0 : 1] = true;
    }
    std::array<int, 2> alleles{};
    for (std::size_t s = 0; s < 2; ++s)
        alleles[s] = shown[s] && code[s] ? plan.alleles[static_cast<std::size_t>(code[s]) - 1] : 0;
    return alleles;
}

} // namespace

void writePhase(Pedigree& pedigree, const InheritanceLayout& layout, const std::vector<InheritanceVector>& path)
{
    const std::size_t n = layout.members.size();
    std::vector<Individual*> member(n);
    for (std::size_t i = 0; i < n; ++i) member[i] = pedigree.member(layout.members[i].id);

    std::vector<std::array<int, 2>> genes;
    for (std::size_t l = 0; l < path.size(); ++l) {
        const LocusPlan plan = planLocus(pedigree, layout, static_cast<int>(l));
        assignGenes(layout, path[l], genes);
        const LocusAssignment assignment = AssignmentSearch(layout, plan, genes).run();
        for (std::size_t i = 0; i < n; ++i) {
            GenotypeRecord& g = member[i]->genotypes[l];
            g.phased = true;
            if (genes[i][0] < 0) {
                // A founder without children: its typed alleles, smaller first.
                g.allele1 = std::max(g.allele1, 0);
                g.allele2 = std::max(g.allele2, 0);
                if (g.allele1 > g.allele2) std::swap(g.allele1, g.allele2);
                continue;
            }
            const std::array<int, 2> alleles = writtenAlleles(plan.rules[i], genes[i], assignment, plan);
            g.allele1 = alleles[0];
            g.allele2 = alleles[1];
        }
    }

    // Founders: smaller allele first at the first heterozygous locus.
    std::vector<int> flip(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (!layout.members[i].isFounder() || !layout.members[i].hasChildren) continue;
        for (GenotypeRecord& g : member[i]->genotypes) {
            if (g.allele1 < 1 || g.allele2 < 1 || g.allele1 == g.allele2) continue;
            flip[i] = g.allele1 > g.allele2 ? 1 : 0;
            break;
        }
        if (!flip[i]) continue;
        for (GenotypeRecord& g : member[i]->genotypes) std::swap(g.allele1, g.allele2);
    }

    for (std::size_t i = 0; i < n; ++i) {
        const LayoutMember& m = layout.members[i];
        if (m.isFounder()) continue;
        const std::size_t parents[2] = {static_cast<std::size_t>(m.father), static_cast<std::size_t>(m.mother)};
        for (std::size_t l = 0; l < path.size(); ++l) {
            GenotypeRecord& g = member[i]->genotypes[l];
            for (int side = 0; side < 2; ++side) {
                const std::size_t p = parents[side];
                const int bit = static_cast<int>((path[l] >> (m.bit + side)) & 1) ^ flip[p];
                g.source(side) = member[p]->genotypes[l].homozygousTyped() ? -1 : bit;
            }
        }
    }
    countRecombinants(pedigree);
}

} // namespace tavirlen
