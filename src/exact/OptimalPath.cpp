#include "exact/OptimalPath.h"

#include "exact/HypercubeCosts.h"
#include "exact/PossibleVectors.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstring>

namespace tavirlen {

namespace {

int distance(InheritanceVector a, InheritanceVector b)
{
    return static_cast<int>(std::bitset<32>(a ^ b).count());
}

class Programme {
public:
    Programme(const Pedigree& pedigree, const InheritanceLayout& layout, std::size_t keptVectorBytes)
        : pedigree_(pedigree), layout_(layout), size_(std::size_t(1) << layout.bitCount),
          loci_(pedigree.locusCount), possible_(std::max<std::size_t>(size_, 8))
    {
        storePossible_ = static_cast<std::size_t>(loci_) * (size_ / 8 + 1) <= keptVectorBytes;
        for (std::size_t b = 0; b < spread_.size(); ++b) {
            std::uint8_t bytes[8];
            for (int k = 0; k < 8; ++k) bytes[k] = (b >> k) & 1;
            std::memcpy(&spread_[b], bytes, 8);
        }
    }

    PathSearch run(bool countPaths);

private:
    // Fills possible_ for the locus; false when no vector is possible.
    bool findPossible(int locus);
    // cost := transform(cost) restricted to possible_, relative to its
    // cheapest entry, which is returned (-1 when nothing is possible).
    int advance(std::vector<std::uint8_t>& cost, double* count);
    InheritanceVector predecessor(const std::vector<std::uint8_t>& previous, InheritanceVector x, int target) const;

    const Pedigree& pedigree_;
    const InheritanceLayout& layout_;
    const std::size_t size_;
    const int loci_;
    std::vector<std::uint8_t> possible_;
    bool storePossible_ = false;
    std::vector<std::vector<std::uint8_t>> storedPossible_; // per locus, one bit per vector
    std::array<std::uint64_t, 256> spread_;                  // a byte of bits -> eight bytes of 0 and 1
};

bool Programme::findPossible(int locus)
{
    const auto l = static_cast<std::size_t>(locus);
    if (l < storedPossible_.size()) {
        // Eight entries per stored byte.
        const std::vector<std::uint8_t>& bits = storedPossible_[l];
        for (std::size_t i = 0; i < bits.size(); ++i) std::memcpy(&possible_[8 * i], &spread_[bits[i]], 8);
        return true;
    }
    std::fill(possible_.begin(), possible_.end(), 0);
    if (!markPossibleVectors(layout_, planLocus(pedigree_, layout_, locus), possible_.data())) return false;
    if (storePossible_) {
        std::vector<std::uint8_t> bits((size_ + 7) / 8, 0);
        for (std::size_t v = 0; v < size_; ++v) bits[v >> 3] |= static_cast<std::uint8_t>(possible_[v] << (v & 7));
        storedPossible_.push_back(std::move(bits));
    }
    return true;
}

int Programme::advance(std::vector<std::uint8_t>& cost, double* count)
{
    relaxHypercube(cost.data(), count, layout_.bitCount);
    // Plain pointers and no branches, so that the loops run on vectors (a
    // byte store could otherwise alias the vectors' own fields).
    const std::uint8_t* possible = possible_.data();
    std::uint8_t* c = cost.data();
    const std::size_t size = size_;
    std::uint8_t lowest = unreachableCost;
    for (std::size_t v = 0; v < size; ++v) // an impossible entry reads as 127 or more
        lowest = std::min(lowest, static_cast<std::uint8_t>(c[v] | ((possible[v] - 1) & unreachableCost)));
    if (lowest == unreachableCost) return -1;
    for (std::size_t v = 0; v < size; ++v) c[v] = possible[v] ? static_cast<std::uint8_t>(c[v] - lowest) : unreachableCost;
    if (count)
        for (std::size_t v = 0; v < size; ++v) count[v] = possible[v] ? count[v] : 0.0;
    return lowest;
}

// A vector y at the previous locus with previous[y] + distance(x, y) equal to
// target: the fewest changed bits first, then the lowest ones.
InheritanceVector Programme::predecessor(const std::vector<std::uint8_t>& previous, InheritanceVector x,
                                         int target) const
{
    auto fits = [&](InheritanceVector y, int d) { return previous[y] != unreachableCost && previous[y] + d == target; };
    if (fits(x, 0)) return x;
    const int bits = layout_.bitCount;
    for (int i = 0; i < bits; ++i)
        if (fits(x ^ (InheritanceVector(1) << i), 1)) return x ^ (InheritanceVector(1) << i);
    for (int j = 1; j < bits; ++j)
        for (int i = 0; i < j; ++i) {
            InheritanceVector y = x ^ (InheritanceVector(1) << i) ^ (InheritanceVector(1) << j);
            if (fits(y, 2)) return y;
        }
    InheritanceVector best = x;
    int bestDistance = bits + 1;
    for (std::size_t v = 0; v < size_; ++v) {
        const auto y = static_cast<InheritanceVector>(v);
        const int d = distance(x, y);
        if (d < bestDistance && fits(y, d)) {
            best = y;
            bestDistance = d;
        }
    }
    return best;
}

PathSearch Programme::run(bool countPaths)
{
    PathSearch search;
    const int stride = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(loci_)))));
    std::vector<std::vector<std::uint8_t>> checkpoints;
    std::vector<long long> base(static_cast<std::size_t>(loci_), 0);
    std::vector<std::uint8_t> cost(size_, unreachableCost);
    std::vector<double> count(countPaths ? size_ : 0, 0.0);

    for (int l = 0; l < loci_; ++l) {
        bool any = findPossible(l);
        int lowest = 0;
        if (any && l == 0) {
            for (std::size_t v = 0; v < size_; ++v) {
                const bool start = possible_[v] && !(v & layout_.representativeBits);
                cost[v] = start ? 0 : unreachableCost;
                if (countPaths) count[v] = start ? 1.0 : 0.0;
            }
        } else if (any) {
            lowest = advance(cost, countPaths ? count.data() : nullptr);
            any = lowest >= 0;
        }
        if (!any) {
            search.impossibleLocus = l;
            search.unfittingMember = firstUnfittingMember(layout_, planLocus(pedigree_, layout_, l));
            return search;
        }
        base[static_cast<std::size_t>(l)] = (l == 0 ? 0 : base[static_cast<std::size_t>(l - 1)]) + lowest;
        if (l % stride == 0) checkpoints.push_back(cost);
    }
    if (loci_ == 0) {
        search.pathCount = countPaths ? 1 : 0;
        return search;
    }
    search.optimum = base.back();
    if (countPaths) {
        double total = 0.0;
        for (std::size_t v = 0; v < size_; ++v)
            if (cost[v] == 0) total += count[v];
        search.tooManyToCount = !(total < exactCountLimit);
        search.pathCount = search.tooManyToCount ? std::uint64_t(exactCountLimit) : std::uint64_t(total);
    }
    count.clear();
    count.shrink_to_fit();

    // Back from the last locus, one stretch between checkpoints at a time.
    search.path.assign(static_cast<std::size_t>(loci_), 0);
    std::vector<std::vector<std::uint8_t>> stretch(static_cast<std::size_t>(stride));
    int pathCost = 0; // relative cost of the path's vector at the locus above
    for (int c = static_cast<int>(checkpoints.size()) - 1; c >= 0; --c) {
        const int first = c * stride;
        const int last = std::min(first + stride, loci_) - 1;
        stretch[0] = std::move(checkpoints[static_cast<std::size_t>(c)]);
        for (int l = first + 1; l <= last; ++l) {
            std::vector<std::uint8_t>& next = stretch[static_cast<std::size_t>(l - first)];
            next = stretch[static_cast<std::size_t>(l - first - 1)];
            findPossible(l);
            advance(next, nullptr);
        }
        for (int l = last; l >= first; --l) {
            const std::vector<std::uint8_t>& here = stretch[static_cast<std::size_t>(l - first)];
            InheritanceVector x = 0;
            if (l == loci_ - 1) {
                while (here[x] != 0) ++x;
            } else {
                const auto above = static_cast<std::size_t>(l + 1);
                x = predecessor(here, search.path[above],
                                pathCost + static_cast<int>(base[above] - base[above - 1]));
            }
            search.path[static_cast<std::size_t>(l)] = x;
            pathCost = here[x];
        }
    }
    return search;
}

} // namespace

PathSearch findOptimalPath(const Pedigree& pedigree, const InheritanceLayout& layout, bool countPaths,
                           std::size_t keptVectorBytes)
{
    return Programme(pedigree, layout, keptVectorBytes).run(countPaths);
}

} // namespace tavirlen
