#pragma once

#include "batch/BatchDriver.h"
#include "constraints/LinearSystem.h"
#include "pedigree/Pedigree.h"

#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <vector>

namespace tavirlen {

// Mode c: zero-recombinant configurations by equations modulo 2.
BatchMode constraintFindingMode();

// At most this many configurations are written per family unless the run
// says otherwise: 2^f configurations soon make result files too large to
// write or read.
constexpr long long defaultMaxConfigurations = 65536;

// Every haplotype configuration of the prepared pedigree without a recombinant
// is written, one after the other, as a .dat block, a .res line and a .out
// block. Returns -1 when there is none (a child that cannot be formed from its
// parents, or contradictory equations), otherwise the number written. When
// there are more than `maxConfigurations`, one line on .res and standard
// output says how many there are, and the first `maxConfigurations` are
// written. `freeCount` receives the number of free phase variables. The
// pedigree is left holding the last configuration written.
int runConstraintFinding(Pedigree& pedigree, std::ostream& dat, std::ostream& res, std::FILE* out,
                         long long maxConfigurations = defaultMaxConfigurations, int* freeCount = nullptr);

// The child's phase at one locus from its parents' alleles f1, f2 and m1, m2,
// the child's alleles ordered x <= y: -2 neither order fits, -1 both fit,
// 0 x is paternal (or x == y), 1 y is paternal. Codes are compared as
// integers, 0 included.
int childPhaseFromParents(int f1, int f2, int m1, int m2, int x, int y);

// A father, a mother and their child, each with the phase-variable index of
// its locus 0 (the variable of locus l is base + l).
struct Trio {
    const Individual* father = nullptr;
    const Individual* mother = nullptr;
    const Individual* child = nullptr;
    int fatherBase = 0;
    int motherBase = 0;
    int childBase = 0;
};

// The equations saying that the child received from each parent that is
// heterozygous at both l1 and l2 the alleles of one haplotype of that parent.
// Both parents heterozygous: the sum of the two parents' equations, then the
// father's; one parent: its equation; none: no equation. Nothing when the
// child cannot be formed from its parents at l1 or l2.
std::optional<std::vector<Equation>> transmissionEquations(const Trio& trio, int l1, int l2);

// Marks the record phased with the smaller allele first (value 0) or the
// larger one first (value 1), and sets both sources to `source`.
void setPhase(GenotypeRecord& record, int value, int source);

// The phase-variable index of each member's locus 0 by individual id: members
// are numbered 0, 1, ... in creation order, so the indices stay inside
// memberCount x loci even when a repeated line left gaps in memberIndex.
std::map<int, int> phaseVariableBases(const Pedigree& pedigree, int loci);

// Founder fixings, children's phases forced by their parents, and the
// transmission equations of every sibship. False when a child cannot be
// formed from its parents at some locus.
bool generateKnownsAndEquations(const Pedigree& pedigree, const std::map<int, int>& bases, int loci,
                                LinearSystem& system);

} // namespace tavirlen
