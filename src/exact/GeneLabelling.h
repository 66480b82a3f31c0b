#pragma once

#include <array>
#include <cstdint>

namespace tavirlen {

// Alleles at one locus are coded 1..k in the order first met; 0 is "no value".
using AlleleCode = std::uint8_t;

// What one member's genotype at one locus asks of the two founder genes that
// reach it (paternal gene x, maternal gene y).
struct GenotypeRule {
    enum Kind : std::uint8_t { untyped, homozygous, heterozygous, halfTyped };
    Kind kind = untyped;
    AlleleCode a = 0; // homozygous: the allele; heterozygous: one of the two; half-typed: the typed one
    AlleleCode b = 0; // heterozygous: the other
};

// The values the founder genes can take at one locus under the genotypes
// applied so far. Each gene is
//   - free: nothing asks anything of it (both values 0);
//   - fixed: one value (both values equal);
//   - in a group: genes tied together by heterozygous members, whose values
//     are known up to one swap of the whole group. value0 is the value under
//     the group's first labelling, value1 under the second; they differ.
// A group always keeps both labellings: when a genotype rules one out, the
// group is settled and its genes become fixed. So a labelling is consistent
// exactly when no operation has failed, and copying the plain arrays is all
// a search needs to go back.
class GeneLabelling {
public:
    static constexpr int maximumGenes = 64;
    static constexpr std::uint8_t noGroup = 0xff;

    GeneLabelling()
    {
        value0_.fill(0);
        value1_.fill(0);
        group_.fill(noGroup);
    }

    bool isFree(int gene) const { return group_[gene] == noGroup && value0_[gene] == 0; }
    bool isFixedTo(int gene, AlleleCode a) const { return group_[gene] == noGroup && value0_[gene] == a; }
    bool inGroup(int gene) const { return group_[gene] != noGroup; }
    int groupOf(int gene) const { return group_[gene]; }
    AlleleCode value(int gene, int labelling) const { return labelling ? value1_[gene] : value0_[gene]; }

    // The gene takes value a. False when it cannot.
    bool fix(int gene, AlleleCode a);
    // The two distinct genes carry a and b (a != b) in some order.
    bool pair(int x, int y, AlleleCode a, AlleleCode b);

private:
    // Fixes every gene of the group to its value under the labelling.
    void settle(int group, int labelling);
    // Moves every gene of group `from` into group `into`, swapping its two
    // values when the labellings correspond crosswise.
    void merge(int from, int into, bool crosswise);
    // x is free: it takes the partner of y's value in each labelling of y.
    bool pairWithFree(int x, int y, AlleleCode a, AlleleCode b);

    std::array<AlleleCode, maximumGenes> value0_;
    std::array<AlleleCode, maximumGenes> value1_;
    std::array<std::uint8_t, maximumGenes> group_;
};

// Applies one member's genotype rule to the genes x (paternal) and y
// (maternal) and calls next(labelling) with every labelling that results:
// none when the genotype cannot be met, two when a half-typed genotype can be
// met on either side and neither is settled yet. x == y when both sides come
// from the same founder gene (inbreeding).
template <class Next>
void applyRule(const GenotypeRule& rule, int x, int y, const GeneLabelling& labelling, Next&& next)
{
    switch (rule.kind) {
    case GenotypeRule::untyped:
        next(labelling);
        return;
    case GenotypeRule::homozygous: {
        GeneLabelling copy = labelling;
        if (copy.fix(x, rule.a) && (x == y || copy.fix(y, rule.a))) next(copy);
        return;
    }
    case GenotypeRule::heterozygous: {
        if (x == y) return;
        GeneLabelling copy = labelling;
        if (copy.pair(x, y, rule.a, rule.b)) next(copy);
        return;
    }
    case GenotypeRule::halfTyped: {
        if (labelling.isFixedTo(x, rule.a) || labelling.isFixedTo(y, rule.a)) {
            next(labelling);
            return;
        }
        GeneLabelling first = labelling;
        if (first.fix(x, rule.a)) next(first);
        if (x == y) return;
        GeneLabelling second = labelling;
        if (second.fix(y, rule.a)) next(second);
        return;
    }
    }
}

} // namespace tavirlen
