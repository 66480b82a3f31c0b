#pragma once

#include "pedigree/Pedigree.h"

#include <cstdio>
#include <ostream>

// The member-based programme exactly as first formulated, with nothing made
// faster: a full table of costs and predecessor lists over every pair of
// states, transitions measured by writing both states into the records, and a
// depth-first walk over every optimal path. The fast programme must write the
// same bytes; this one is only for families of a dozen state bits or so.
namespace tavirlen::reference {

int applyState(Pedigree& pedigree, unsigned state, int locus);
int stateCost(Pedigree& pedigree, unsigned state, int locus);
int transitionCost(Pedigree& pedigree, unsigned previous, unsigned next, int locus);

// Returns the number of configurations written; stops following paths (and
// returns -1) after `pathLimit` complete paths, so a test cannot run away.
long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res,
                          long long pathLimit = 2000000);

} // namespace tavirlen::reference
