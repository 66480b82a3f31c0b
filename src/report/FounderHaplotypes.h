#pragma once

#include "pedigree/Pedigree.h"

#include <map>
#include <vector>

namespace tavirlen {

// Which founder haplotype each allele of a phased family came from. The
// founders' haplotypes are numbered in ascending founder id, the paternal
// (allele1) one first: founder k holds haplotypes 2k and 2k+1.
class FounderHaplotypes {
public:
    explicit FounderHaplotypes(const Pedigree& pedigree);

    int count() const { return 2 * static_cast<int>(founderIndex_.size()); }

    // Per locus, the founder haplotype of the member's allele on that side
    // (0 paternal, 1 maternal), following the sources up to a founder; -1
    // where a locus on the way is unphased or a source is undetermined.
    std::vector<int> trace(int id, int side) const;

    // The loci at which the member's source on that side differs from the
    // last determined source before it: one per recombinant, as counted.
    std::vector<int> crossovers(int id, int side) const;

private:
    const Pedigree& pedigree_;
    std::map<int, int> founderIndex_;
};

} // namespace tavirlen
