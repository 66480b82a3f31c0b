#pragma once

#include "pedigree/Pedigree.h"

namespace tavirlen {

// Phases a prepared pedigree that has been added to the dataset summary:
// Mendelian check, missing alleles filled, Mendelian phasing, sibship
// inference, block extension, recombinant count. Returns false, changing
// nothing, when the Mendelian check fails, including a locus where no way of
// filling the missing alleles lets every child fit its parents (reported in
// one line per locus), or when the family is not one the algorithm can
// handle: members with unequal numbers of loci or a non-founder whose parents
// are not both members (the batch driver never passes those).
bool runBlockExtension(Pedigree& pedigree);

// Fills missing alleles from relatives where they follow: a parent's allele
// from children whose allele cannot have come from the other parent, a
// child's allele from a homozygous parent. Repeats while that changes
// anything, then draws whatever is still missing (one random fill per pass).
// No fill leaves a child of the family without fitting parents.
void inferMissingAlleles(Pedigree& pedigree);

// Draws two numbers per member and locus, always: founders in ascending id
// pick alleles by the founder allele frequencies of the dataset summary,
// non-founders (parents first) pick one of each parent's two alleles. Only
// missing alleles are filled; a pick of 0 leaves the allele missing. Where
// the pick would leave some child without fitting parents, it is made among
// the alleles that still fit (the same draw, the frequencies of those
// alleles; a parent's other allele).
void fillMissingAllelesRandomly(Pedigree& pedigree);

} // namespace tavirlen
