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
    // reports only, the record is not changed. Inline: the run's summary asks
    // it for every locus of every child.
    ParentalOrder orderByParents(int f1, int f2, int m1, int m2, int k) const;

private:
    // Prints the one-line notice of a genotype its parents cannot explain.
    static void reportParentalMismatch();
};

inline Individual::ParentalOrder Individual::orderByParents(int f1, int f2, int m1, int m2, int k) const
{
    ParentalOrder result;
    if (f1 < 1 || f2 < 1 || m1 < 1 || m2 < 1) return result;
    if (k < 0 || static_cast<std::size_t>(k) >= genotypes.size()) return result;
    const GenotypeRecord& g = genotypes[static_cast<std::size_t>(k)];
    int a = g.allele1;
    int b = g.allele2;
    if (a < 1 || b < 1) return result;
    auto inF = [&](int x) { return x == f1 || x == f2; };
    auto inM = [&](int x) { return x == m1 || x == m2; };
    if (!((inF(a) && inM(b)) || (inF(b) && inM(a)))) {
        reportParentalMismatch();
        return result;
    }
    result.ok = true;
    if (f1 == f2) {
        result.paternal = f1;
        result.maternal = a == result.paternal ? b : a;
        return result;
    }
    if (m1 == m2) {
        result.maternal = m1;
        result.paternal = a == result.maternal ? b : a;
        return result;
    }
    if (a != b) {
        if (!inF(a)) {
            result.paternal = b;
            result.maternal = a;
            return result;
        }
        if (inM(a) && inF(b)) {
            if (inM(b)) {
                result.ok = false;
                return result;
            }
            result.paternal = b;
            result.maternal = a;
            return result;
        }
    }
    result.paternal = a;
    result.maternal = b;
    return result;
}

} // namespace tavirlen
