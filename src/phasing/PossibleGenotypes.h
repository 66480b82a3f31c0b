#pragma once

#include "pedigree/Pedigree.h"

#include <unordered_map>
#include <vector>

namespace tavirlen {

// The unordered genotypes each member can still have at one locus, so that
// every child of every couple can have received one allele from each parent.
// Members' typed alleles restrict their own sets; sets are then narrowed
// couple by couple until nothing changes. Alleles that nobody in the family
// carries at the locus are one class ("another allele"): they are
// interchangeable as far as the typed members are concerned.
//
// On a pedigree without loops every genotype left is part of some
// assignment that fits everywhere, so filling members one at a time with
// genotypes still allowed (and narrowing after each) never meets a dead end.
class PossibleGenotypes {
public:
    PossibleGenotypes(const Pedigree& pedigree, std::size_t locus);

    // False when the typed alleles admit no assignment (a member has no
    // genotype left); nothing is then restricted.
    bool consistent() const { return consistent_; }

    // Whether the member can have alleles a and b; a missing value (below 1)
    // stands for any allele.
    bool allows(int id, int a, int b) const;

    // The member's alleles at the locus have changed (been filled): keeps
    // only the genotypes that contain them and narrows the others again.
    void update(const Pedigree& pedigree, int id);

private:
    struct Couple {
        int father = 0;
        int mother = 0;
        std::vector<int> children;
    };

    int valueIndex(int allele) const;
    std::size_t genotypeIndex(int i, int j) const;
    void restrictToAlleles(const Individual& member);
    // Keeps the genotypes of the couple and its children that some choice
    // for all of them supports; adds every member that lost one to `changedMembers`.
    bool narrowCouple(const Couple& couple, std::vector<int>& changedMembers);
    // Narrows the given couples and, in turn, every couple of a member that
    // lost a genotype, until nothing changes.
    void narrow(const std::vector<std::size_t>& couples);

    std::size_t locus_;
    std::vector<int> values_; // typed alleles in ascending order; index size() = another allele
    // Hashed by id: a deep pedigree looks members up all the time.
    std::unordered_map<int, std::vector<char>> possible_; // per member, one flag per (i, j) with i <= j
    std::vector<Couple> couples_;
    std::unordered_map<int, std::vector<std::size_t>> couplesOf_; // the couples each member belongs to
    bool consistent_ = true;
};

} // namespace tavirlen
