#pragma once

#include "pedigree/GenotypeRecord.h"

#include <vector>

namespace tavirlen {

struct Individual {
    // Takes memberIndex from the run's member-index counter.
    Individual();

    long long familyId = 0;
    int individualId = 0;
    int memberIndex = 0;
    int fatherId = 0;
    int motherId = 0;
    int sex = 0;
    int missingAlleleCount = 0;
    std::vector<GenotypeRecord> genotypes;
    int mateId = 0;
    std::vector<int> childIds;

    bool isFounder() const { return fatherId == 0 && motherId == 0; }
    int parentId(int side) const { return side == 0 ? fatherId : motherId; }

    struct ParentalOrder {
        bool ok = false;
        int paternal = 0;
        int maternal = 0;
    };
    // Orders this member's alleles at locus k from its parents' genotypes;
    // reports only, the record is not changed.
    ParentalOrder orderByParents(int f1, int f2, int m1, int m2, int k) const;
};

} // namespace tavirlen
