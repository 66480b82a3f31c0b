#pragma once

#include "pedigree/Pedigree.h"

#include <vector>

namespace tavirlen {

// Small operations on alleles and members that the block-extension steps share.

// Any code below 1 stands for a missing allele.
inline bool missingAllele(int allele) { return allele < 1; }

// Whether either allele of the genotype is missing.
inline bool lacksAllele(const GenotypeRecord& g) { return missingAllele(g.allele1) || missingAllele(g.allele2); }

// The slot (0 or 1) of a genotype's one missing allele; -1 when both or
// neither are missing.
inline int lackingSlot(const GenotypeRecord& g)
{
    if (missingAllele(g.allele1) == missingAllele(g.allele2)) return -1;
    return missingAllele(g.allele1) ? 0 : 1;
}

// Arrangement of a locus as the parent programme sees it: 0 when allele1 is
// the smaller allele, 1 otherwise. Swapping two different alleles flips it.
inline int arrangement(const GenotypeRecord& g) { return g.allele1 < g.allele2 ? 0 : 1; }

// Swaps the record's alleles when that brings `value` to the given side.
// Leaves the order alone when `value` is already there or is not carried at
// all (a swap would then only move an allele that cannot be the one meant).
void bringToSide(GenotypeRecord& g, int side, int value);

// Brings the record into arrangement 0 or 1 (no effect on equal alleles).
void arrangeAs(GenotypeRecord& g, int state);

// The member's parent on a side (0 father, 1 mother), or nullptr when that
// parent is not given or not in the family.
Individual* parentOf(Pedigree& pedigree, const Individual& member, int side);

// True when the member's determined sources change value on either side.
bool showsChangeOfSource(const Individual& member);

// Resets the member's own sources at locus k from its parents: paternal 0 when
// its allele1 equals its father's allele1, else 1; maternal likewise with
// allele2 and the mother's allele1. A side is left as it is when that parent
// is absent or unphased or homozygous there.
void setSourcesFromParents(Pedigree& pedigree, Individual& member, int k);

// A run of consecutive phased loci.
struct PhasedRun {
    int start = 0;
    int length = 0;
};
// The member's longest run, the first of equal ones; length 0 when none.
PhasedRun longestPhasedRun(const Individual& member);

// True when every member has the family's number of loci. The steps of
// block extension read several members at one locus; each of them does
// nothing on a family that fails this (the pipeline never passes one).
bool sameLocusCount(const Pedigree& pedigree);

// True when every locus of the member is phased.
bool completelyPhased(const Individual& member);

} // namespace tavirlen
