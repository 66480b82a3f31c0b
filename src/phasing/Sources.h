#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/PhasingHelpers.h"

#include <utility>

namespace tavirlen {

// Side 0 is the paternal side (allele1, paternalSource, the father), side 1
// the maternal side (allele2, maternalSource, the mother).

// -1 when no locus has a determined source on that side, 0 or 1 when all
// determined sources have that value, 2 when both occur (a recombination).
int sourceSummary(const Individual& member, int side);

// The sources of the nearest loci below and above `locus` with a determined
// source on that side, -1 where there is none. The locus itself is not read.
std::pair<int, int> flankingSources(const Individual& member, int side, int locus);

// The flanking pair as one code; 0 or 1 mean both flanks agree on that source.
int flankCode(const Individual& member, int side, int locus);
// The same code from the two flanking sources.
int flankCodeOf(int previous, int next);

// First pass: orders every locus whose order follows from the member and its
// parents, sets the sources it can, files completely phased members and picks
// the member with the most phased loci as the seed.
bool phaseByMendel(Pedigree& pedigree);

// Fills undetermined sources of phased loci whose parent is phased and
// heterozygous there.
void refreshSources(Pedigree& pedigree);
// The same for one member.
void refreshSources(const Pedigree& pedigree, Individual& member);
// The same at one locus of one side, against that parent's record there;
// returns whether it filled the source. Inline: the walk asks it after
// every step.
inline bool refreshSource(GenotypeRecord& g, const GenotypeRecord& p, int side)
{
    // A missing allele names neither of the parent's: its source is left to
    // the neighbours, not made up from the 0.
    if (!g.phased || g.source(side) != -1 || !p.phased || !p.informative() || missingAllele(g.allele(side)))
        return false;
    g.source(side) = g.allele(side) == p.allele1 ? 0 : 1;
    return true;
}

// Files a member into the pedigree's cleanQueue when it shows no change of
// source on either side, else into its recombinantQueue.
void fileMember(Pedigree& pedigree, int id);

// Counts the changes of source along every non-founder's two haplotypes into
// recombinantCount, filling the undetermined sources of phased loci on the way.
bool countRecombinants(Pedigree& pedigree);

} // namespace tavirlen
