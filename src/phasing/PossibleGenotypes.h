#pragma once

#include "pedigree/Pedigree.h"
#include "phasing/IdPositions.h"
#include "phasing/Links.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavirlen {

// Who is whose parent, by slot (the members' order in the family): the same
// at every locus, so a family builds it once for all its loci.
class CoupleLayout {
public:
    explicit CoupleLayout(const Pedigree& pedigree);

    struct Couple {
        std::size_t father = 0;
        std::size_t mother = 0;
    };

    // The member's slot, or npos when it is not in the family.
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t slotOf(int id) const
    {
        const int at = slot_.position(id);
        return at < 0 ? npos : static_cast<std::size_t>(at);
    }

    // By slot, the couples the member belongs to, as father, mother or child.
    const Links<std::size_t>& couplesOf() const { return couplesOf_; }
    // By couple, the children's slots, ascending: narrowing walks the
    // couples of a deep pedigree one after another and reads them in sequence.
    const Links<std::size_t>& childrenOf() const { return childrenOf_; }

    std::vector<const Individual*> members; // by slot
    std::vector<char> founders;             // by slot
    std::vector<Couple> couples;
    // By couple, whether father, mother and children are different members
    // (a member its own parent only in a file the family check turns down).
    std::vector<char> distinct;

private:
    IdPositions slot_; // slots are the members' positions in ascending id
    Links<std::size_t> couplesOf_;
    Links<std::size_t> childrenOf_;
};

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
    // The layout must outlive the sets and describe the family they read.
    // `alleles` holds the locus's two alleles of every member, by slot (a
    // family reads all its loci in one walk over its members).
    PossibleGenotypes(const CoupleLayout& layout, std::size_t locus, const std::vector<int>& alleles);

    // False when the typed alleles admit no assignment (a member has no
    // genotype left); nothing is then restricted.
    bool consistent() const { return consistent_; }

    // Whether the allele has a class of its own here, rather than being one
    // of the "other" alleles nobody in the family carried when the sets were built.
    bool hasOwnClass(int allele) const
    {
        if (allele >= 0 && allele < 64) return (small_ >> allele) & 1U;
        return std::binary_search(values_.begin(), values_.end(), allele);
    }

    // Whether the member can have alleles a and b; a missing value (below 1)
    // stands for any allele.
    bool allows(int id, int a, int b) const;

    // The member's alleles at the locus have changed (been filled): keeps
    // only the genotypes that contain them and narrows the others again.
    void update(int id);

private:
    using Couple = CoupleLayout::Couple;

    int valueIndex(int allele) const;
    std::size_t genotypeIndex(int i, int j) const;
    // The two classes of flag g (i <= j for every flag a member can hold).
    std::pair<int, int> classesOf(std::size_t g) const;
    using Word = std::uint64_t;
    Word* flagsOf(std::size_t slot) { return flags_.data() + slot * words_; }
    const Word* flagsOf(std::size_t slot) const { return flags_.data() + slot * words_; }
    static bool has(const Word* flags, std::size_t g) { return (flags[g / 64] >> (g % 64)) & 1U; }
    static void add(Word* flags, std::size_t g) { flags[g / 64] |= Word{1} << (g % 64); }
    bool noneLeft(std::size_t slot) const;
    // The members' first flags where each holds one word.
    void startInOneWord(const std::vector<int>& alleles);
    void restrictToAlleles(int allele1, int allele2, std::size_t slot);
    // Keeps the genotypes of the couple and its children that some choice
    // for all of them supports; adds every member that lost one to `changedMembers`.
    bool narrowCouple(std::size_t at, std::vector<std::size_t>& changedMembers);
    // The same with one word of flags per member, held in registers.
    bool narrowCoupleInOneWord(std::size_t at, std::vector<std::size_t>& changedMembers);
    // Narrows the given couples and, in turn, every couple of a member that
    // lost a genotype, until nothing changes.
    void narrow(const std::size_t* first, const std::size_t* last);

    const CoupleLayout* layout_;
    std::size_t locus_;
    std::vector<int> values_; // typed alleles in ascending order; index size() = another allele
    Word small_ = 0;          // the typed alleles below 64, as bits
    std::array<unsigned char, 64> smallIndex_{}; // their indices in values_
    // With one word of flags per member (up to eight classes), the two
    // classes of each flag, the first in the high four bits: narrowing
    // reads them at every couple, where a division would cost more.
    std::array<unsigned char, 64> pairOf_{};
    std::size_t size_ = 0;    // flags per member: one per (i, j) with i <= j, in a square
    std::size_t words_ = 0;   // words per member's flags
    // One block of bits for all members: a deep pedigree builds these sets
    // several times per locus, and a couple's narrowing visits only the
    // genotypes its parents still have.
    std::vector<Word> flags_;
    bool consistent_ = true;
};

} // namespace tavirlen
