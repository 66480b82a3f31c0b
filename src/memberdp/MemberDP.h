#pragma once

#include "app/BatchDriver.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/Pedigree.h"

#include <cstdio>
#include <ostream>

namespace tavirlen {

// Mode m: the exact member-based dynamic programme. Every family is read and
// prepared first; after the last one all are solved in ascending family id.
BatchMode memberDPMode();

// Solves every family of the summary in ascending family id (families with
// one id in the order they were read).
void solveAllByMemberDP(DatasetSummary& summary, std::FILE* out, std::ostream& dat, std::ostream& res);

// Finds the fewest recombinants for one family and writes every distinct
// optimal phase configuration: its .out block, .dat block and .res line, in
// this order. A family of more than 20 state bits gets only "Pedigree ID is to
// big!" in the .out file; one in which some locus admits no state gets one
// line on standard output and nothing in the files. Returns the number of
// configurations written.
long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res);

} // namespace tavirlen
