#pragma once

#include "pedigree/Pedigree.h"

#include <map>

namespace tavirlen {

// A pass after block extension that lowers the recombinant count. Its moves,
// repeated until none improves, each keeping what it finds only when that
// counts fewer:
//   - one member at a time takes, at the loci its own genotype and its
//     parents leave open, the allele orders with the fewest recombinants on
//     its own two sides and on its children's sides from it, everyone else
//     held as they are (an exact programme over the loci);
//   - the same for a child together with its two parents;
//   - a couple and their children turned in every combination over a window
//     of up to four neighbouring loci (where all are heterozygous for the
//     same two alleles, only turning several at once pays).
// With `asRead` (the members as read, before block extension filled their
// missing alleles) the filled alleles are chosen again as well: by each
// member, a non-founder's from that parent's two alleles, a founder's from
// its own and its children's, as long as every child keeps fitting; and by a
// couple with their children all together (for untyped parents, which of a
// child's alleles came from whom depends on both).
//
// The family then ends completely phased: every locus is phased and every
// source names the allele the member carries wherever that parent's alleles
// differ. Typed alleles are kept, every child keeps fitting its parents, and
// recombinantCount never rises: a family whose completed configuration would
// count more than block extension left (its count skips undetermined
// sources) is restored as it was. A family in which some child does not fit
// its parents as stored (a Mendelian inconsistency left unphased) is not
// touched. Nothing is drawn from the generator.
//
// Returns whether recombinantCount dropped.
bool polishPedigree(Pedigree& pedigree, const std::map<int, Individual>* asRead = nullptr);

// Modes b and t with polishing: runBlockExtension, then polishPedigree with
// the members as they were read. Returns what runBlockExtension returns.
bool runPolishedBlockExtension(Pedigree& pedigree);

// The recombinants of the configuration as stored, every locus taken as
// phased: the changes of source along each side of every non-founder,
// counted where that parent's two alleles differ and are both typed.
int storedRecombinants(const Pedigree& pedigree);

} // namespace tavirlen
