#pragma once

#include "batch/RunOptions.h"
#include "pedigree/Pedigree.h"

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>

namespace tavirlen {

// Mode e: reports alleles that no typed ancestor carries. Returns the exit
// status: 0, or 1 when the input cannot be opened or an output file cannot be
// created (a message on standard error names the file).
int runErrorScreening(const RunOptions& options);
int runErrorScreening(const std::string& inputName);

// Family `familyNumber` of the screening run: every id of `ids` in ascending
// order becomes a member, taken from `individuals` when it has a line of its
// own and otherwise a placeholder founder with every allele missing. Lists the
// ids on `listing`; the pedigree is prepared.
std::unique_ptr<Pedigree> buildScreeningFamily(int familyNumber, const std::set<int>& ids,
                                               std::map<int, Individual>& individuals,
                                               int locusCount, std::ostream& listing);

// The alleles of a member's nearest ancestors typed at `locus`, along every
// line of descent; incomplete when some line ends in a founder untyped there.
struct AncestorAlleles {
    std::set<int> alleles;
    bool complete = true;
};
AncestorAlleles ancestorAlleles(const Pedigree& pedigree, const Individual& member, int locus);

// Carriers of `allele` at `locus` below a member: typed children, and the
// typed descendants reached through children untyped there. Each descendant
// counts once, however many lines of descent lead to it.
struct Carriers {
    int count = 0;
    bool typedChildCarries = false;
};
Carriers countCarriers(const Pedigree& pedigree, const Individual& member, int locus, int allele);

// Reports, for every typed non-founder, locus and allele that none of its
// nearest typed ancestors carries, a likely mutation (when typed children
// carry it on) or a likely error. A pedigree whose parent links form a cycle
// is reported once and not screened.
void screenPedigree(const Pedigree& pedigree, std::ostream& out);

} // namespace tavirlen
