#pragma once

#include "batch/BatchDriver.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/Pedigree.h"

#include <cstdio>
#include <limits>
#include <ostream>
#include <string>

namespace tavirlen {

// Mode m: the exact member-based dynamic programme. Every family is read and
// prepared first; after the last one all are solved in ascending family id.
BatchMode memberDPMode();

// Configurations written per family unless the run says otherwise.
constexpr long long defaultMaxOptimalConfigurations = 1000;

// Solves every family of the summary in ascending family id (families with
// one id in the order they were read).
void solveAllByMemberDP(DatasetSummary& summary, std::FILE* out, std::ostream& dat, std::ostream& res);

// How one family went: solved (with the optimum and how many optimal
// configurations were met: all of them, or the cap + 1), too big, or without
// any possible state at some locus.
struct MemberDPOutcome {
    enum Kind { solved, tooBig, impossible, unusable } kind = solved;
    int optimum = 0;
    long long configurationsMet = 0;
    std::string reason;
};

// Finds the fewest recombinants for one family and writes every distinct
// optimal phase configuration, at most `limit` of them: its .out block, .dat
// block and .res line, in this order. A family of more than 20 state bits
// gets only "Pedigree ID is to big!" in the .out file; one in which some locus
// admits no state gets one line on standard output and nothing in the files.
// Returns the number of configurations written.
long long solveByMemberDP(Pedigree& pedigree, std::FILE* out, std::ostream& dat, std::ostream& res,
                          long long limit = std::numeric_limits<long long>::max() - 1,
                          MemberDPOutcome* outcome = nullptr);

} // namespace tavirlen
