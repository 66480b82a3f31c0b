#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tavirlen {

// A set of loci 0 .. size-1 that answers "the nearest member below or above
// this locus" in a few word operations however far away it is: one bit per
// locus, and above that a bit per word that is not empty, level upon level
// until one word is left (three levels for 200,000 loci).
class PositionSet {
public:
    explicit PositionSet(int size = 0);

    int size() const { return size_; }
    bool contains(int k) const
    {
        if (k < 0 || k >= size_) return false;
        const std::size_t i = static_cast<std::size_t>(k);
        const std::uint64_t word = size_ <= inPlace ? small_ : (*levels_)[0][i >> 6];
        return (word >> (i & 63)) & 1U;
    }
    // The walk asks these of small sets for every locus it reads: the
    // one-word case is answered here, the levels out of line.
    void insert(int k)
    {
        if (size_ > inPlace) return insertLarge(k);
        if (k >= 0 && k < size_) small_ |= std::uint64_t(1) << k;
    }
    void erase(int k)
    {
        if (size_ > inPlace) return eraseLarge(k);
        if (k >= 0 && k < size_) small_ &= ~(std::uint64_t(1) << k);
    }

    // The greatest member below k, or -1.
    int previous(int k) const
    {
        if (size_ > inPlace) return previousLarge(k);
        if (k <= 0 || size_ == 0) return -1;
        const std::uint64_t below = small_ & (k >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << k) - 1);
        return below == 0 ? -1 : 63 - __builtin_clzll(below);
    }
    // The smallest member at or above k, or -1.
    int next(int k) const
    {
        if (size_ > inPlace) return nextLarge(k);
        if (k >= size_) return -1;
        const std::uint64_t above = small_ & (k <= 0 ? ~std::uint64_t(0) : ~std::uint64_t(0) << k);
        return above == 0 ? -1 : __builtin_ctzll(above);
    }

    // Visits the loci first .. end-1 that are not members, in ascending
    // order; `visit` may add the locus it is given. On a set of one word the
    // members are passed over by the word, not locus by locus.
    template <class Visit>
    void forEachAbsent(int first, int end, Visit visit) const
    {
        first = first < 0 ? 0 : first;
        end = end > size_ ? size_ : end;
        if (first >= end) return;
        if (size_ > inPlace) {
            for (int k = first; k < end; ++k)
                if (!contains(k)) visit(k);
            return;
        }
        const std::uint64_t range = (end >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << end) - 1)
            & (~std::uint64_t(0) << first);
        for (std::uint64_t absent = ~small_ & range; absent != 0; absent &= absent - 1) visit(__builtin_ctzll(absent));
    }

private:
    // Up to 64 loci (most families' maps) one word held in place: the walk
    // builds several sets per member, and allocating them would cost more
    // than using them.
    static constexpr int inPlace = 64;
    void insertLarge(int k);
    void eraseLarge(int k);
    int previousLarge(int k) const;
    int nextLarge(int k) const;
    using Levels = std::vector<std::vector<std::uint64_t>>; // [0]: one bit per locus
    int size_ = 0;
    std::uint64_t small_ = 0;
    std::unique_ptr<Levels> levels_; // above inPlace only: a member's sets stay small
};

} // namespace tavirlen
