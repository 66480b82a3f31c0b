#pragma once

#include "exact/GeneLabelling.h"
#include "pedigree/Pedigree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavirlen {

// An inheritance vector: for the j-th non-founder (in processingOrder) bit 2j
// says which of its father's two genes it received (0: the father's paternal
// gene, his allele1), bit 2j + 1 the same for its mother.
using InheritanceVector = std::uint32_t;

struct LayoutMember {
    int id = 0;
    int father = -1;    // index into the layout's members; -1 for founders
    int mother = -1;
    int bit = -1;       // non-founders: the paternal bit; the maternal bit follows
    int firstGene = -1; // founders with children: their genes firstGene, firstGene + 1
    bool hasChildren = false;
    bool isFounder() const { return father < 0; }
};

// Where every member's bits and genes sit, for one prepared family. Only
// founders with children carry genes: a founder without children passes
// nothing on and cannot make any vector impossible.
class InheritanceLayout {
public:
    explicit InheritanceLayout(const Pedigree& pedigree);

    // Non-empty when the family cannot be laid out: a parent that is not a
    // member or does not come before its child in processingOrder, or a
    // single given parent.
    std::string problem;
    std::vector<LayoutMember> members; // in processingOrder
    int bitCount = 0;
    int geneCount = 0;
    // One bit per founder with children: the bit its first child received
    // from it. Swapping a founder's two haplotypes flips exactly its
    // children's bits on its side and changes neither what is possible nor
    // what a path costs, so the optimum is searched with these bits 0 at the
    // first locus.
    InheritanceVector representativeBits = 0;
};

// What one locus asks: every member's genotype rule, which members matter,
// and which bits cannot change whether a vector is possible there.
struct LocusPlan {
    std::vector<GenotypeRule> rules;    // by layout member
    std::vector<int> alleles;           // code - 1 -> allele value
    std::vector<std::uint8_t> relevant; // the member or a descendant is typed
    // Bits whose value never decides possibility here: both bits of a member
    // with nothing typed at or below it, and a bit from a parent typed
    // homozygous (both of whose genes carry the same allele).
    InheritanceVector freeBits = 0;
};

LocusPlan planLocus(const Pedigree& pedigree, const InheritanceLayout& layout, int locus);

// The founder genes that reach every member under the vector: two per
// member, in layout order (founders without children get -1).
void assignGenes(const InheritanceLayout& layout, InheritanceVector vector, std::vector<std::array<int, 2>>& genes);

} // namespace tavirlen
