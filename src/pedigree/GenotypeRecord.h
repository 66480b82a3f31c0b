#pragma once

namespace tavirlen {

// One member at one locus. Once `phased`, allele1 came from the father and
// allele2 from the mother; the sources say which of that parent's two alleles
// was passed on (0: the parent's allele1, 1: its allele2, -1: undetermined).
struct GenotypeRecord {
    // What a record holds at rest: two alleles, two sources and the flag
    // (12 bytes: a source is -1, 0 or 1, so a byte holds it). Working state
    // of the algorithms lives with the algorithms.
    int allele1 = 0;
    int allele2 = 0;
    signed char paternalSource = -1;
    signed char maternalSource = -1;
    bool phased = false;

    // Two equal alleles, both typed: the order carries no phase information.
    bool homozygousTyped() const { return allele1 == allele2 && allele1 != 0; }

    // Both alleles typed and different: only then does the allele a child
    // received show which of the two was passed on.
    bool informative() const { return allele1 != allele2 && allele1 >= 1 && allele2 >= 1; }

    int allele(int side) const { return side == 0 ? allele1 : allele2; }
    int& allele(int side) { return side == 0 ? allele1 : allele2; }
    int source(int side) const { return side == 0 ? paternalSource : maternalSource; }
    signed char& source(int side) { return side == 0 ? paternalSource : maternalSource; }
};

} // namespace tavirlen
