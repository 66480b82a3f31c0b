#pragma once

#include "pedigree/Pedigree.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavirlen {

// The exact engine: the fewest recombinants of a family with missing
// genotypes, by a programme over the loci whose state is the inheritance
// vector (two bits per non-founder: which of its father's and of its
// mother's two genes it received). A vector is possible at a locus when some
// assignment of alleles to the founder genes gives every typed member its
// genotype; a missing allele (any value below 1) matches anything, and a
// half-typed genotype asks for its typed allele on one of the two sides.
// Moving from one locus to the next costs the number of bits that change.
//
// Work grows with bits x 2^bits per locus. Memory: a byte per vector for
// about 2 sqrt(L) cost vectors (checkpoints and the stretch between two),
// eight bytes per vector for the counts, and a bit per vector and locus for
// the possible vectors kept for the way back (see keptVectorBytes).

struct ExactLimits {
    int maximumBits = 24;        // at most 30: a vector is 32 bits wide
    int maximumNonFounders = 12;
    bool countConfigurations = true;
    // The possible vectors of every locus are kept (a bit each) for tracing
    // the path back when they take at most this much; otherwise they are
    // searched again on the way back.
    std::size_t keptVectorBytes = std::size_t(512) << 20;
};

enum class ExactStatus {
    solved,
    tooBig,       // more bits or non-founders than the limits allow; nothing tried
    inconsistent, // some locus admits no vector: a Mendelian inconsistency
    unsupported,  // the family is not prepared or has a parent outside it
};

struct ExactResult {
    ExactStatus status = ExactStatus::unsupported;
    bool optimal = false; // true exactly when solved
    int bits = 0;         // two per non-founder
    int recombinants = 0;
    // Optimal configurations: distinct inheritance-vector paths of the fewest
    // recombinants, with each founder's two haplotypes unlabelled (a path and
    // the one with all of a founder's children's bits on its side flipped are
    // one configuration). Paths that differ only where the data cannot tell
    // (the locus of a recombination across a parent's homozygous loci, the
    // bits of untyped members) are counted separately. 0 when not counted;
    // 2^53 with tooManyToCount when there are at least that many.
    std::uint64_t configurations = 0;
    bool tooManyToCount = false;
    // When inconsistent: the first locus (from 0) without a possible vector,
    // and the member at which the genotypes there stop fitting, taking the
    // members in processingOrder (0 when none can be named).
    int locus = -1;
    int memberId = 0;
    std::string reason; // one line when not solved
};

// 2 per non-founder.
int exactBitCount(const Pedigree& pedigree);

// Whether the family is within the limits; when not, the reason.
bool fitsExactLimits(const Pedigree& pedigree, const ExactLimits& limits, std::string* reason = nullptr);

// Solves a prepared family. When solved, writes one optimal configuration
// into its records (see writePhase) and sets recombinantCount; otherwise the
// family is left as it was.
ExactResult solveExactly(Pedigree& pedigree, const ExactLimits& limits = ExactLimits());

} // namespace tavirlen
