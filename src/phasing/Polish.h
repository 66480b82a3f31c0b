#pragma once

#include "pedigree/Pedigree.h"

namespace tavirlen {

// A pass after block extension that lowers the recombinant count. One member
// at a time takes, at the loci its own genotype and its parents leave open,
// the allele orders with the fewest recombinants on its own two sides and on
// its children's sides from it, everyone else held as they are (an exact
// programme over the loci). The members are visited in ascending id, again
// and again, until none improves.
//
// The family then ends completely phased: every locus is phased and every
// source names the allele the member carries wherever that parent's alleles
// differ. Alleles are kept, every child keeps fitting its parents, and
// recombinantCount never rises: a family whose completed configuration would
// count more than block extension left is restored as it was. A family in
// which some child does not fit its parents as stored (a Mendelian
// inconsistency left unphased) is not touched. Nothing is drawn from the
// generator.
//
// Returns whether recombinantCount dropped.
bool polishPedigree(Pedigree& pedigree);

// The recombinants of the configuration as stored, every locus taken as
// phased: the changes of source along each side of every non-founder,
// counted where that parent's two alleles differ and are both typed.
int storedRecombinants(const Pedigree& pedigree);

} // namespace tavirlen
