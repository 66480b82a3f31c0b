#pragma once

#include "pedigree/Pedigree.h"

#include <cstdint>
#include <string>

// Random families with missing genotypes, an exhaustive reference for the
// exact engine, and the checks every written configuration must pass.
namespace tavirlen::test {

enum class Shape { nuclear, threeGenerations, halfSiblings, loop };

// Genotypes dropped through the shape (a change of source between loci with
// chance 1/4), written unordered in the 7-column layout; each genotype is then
// left untyped with chance missingPercent, and half-typed (one allele 0 or
// -1) with a fifth of that. Every locus keeps at least one typed member.
// With chance errorPercent a typed allele is replaced by one nobody carries.
// `children` scales the shape. Draws from the program's generator.
std::string exactFamilyText(int familyId, Shape shape, int children, int loci, int alleles, int missingPercent,
                            int errorPercent = 0);

// By exhaustive search: every inheritance vector at every locus, each tried
// against every assignment of alleles (those seen at the locus and one more)
// to the founder genes, then every pair of vectors of adjacent loci.
struct Reference {
    bool possible = false;
    int optimum = 0;
    std::uint64_t configurations = 0; // optimal paths / 2^(founders with children)
};
Reference exhaustiveReference(const Pedigree& pedigree);

// The written configuration keeps every typed allele, has every record
// phased, takes each child's non-missing allele from its parents' alleles as
// its sources say, orders founders smaller allele first at their first
// heterozygous locus, and recounts to `recombinants`.
void expectSoundPhase(const Pedigree& input, const Pedigree& written, int recombinants);

} // namespace tavirlen::test
