#include "exact/HypercubeCosts.h"

#include <algorithm>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tavirlen {

namespace {

// The bits are relaxed a few at a time on pieces of the arrays that stay in
// the second-level cache: first the low bits, tile by tile; then groups of
// higher bits, each on chunks of consecutive entries taken from every
// combination of the group's bits (2^groupBits chunks a fixed stride apart).
// With counts an entry takes nine bytes instead of one.
constexpr int tileBits = 15;
constexpr int groupBits = 5;
constexpr std::size_t chunkEntries = 128;

// One relaxation between an entry with the bit clear (a) and its partner
// with the bit set (b): each keeps its count where its own cost is not
// beaten and adds its partner's where the partner's cost plus one is not.
inline void relaxPair(std::uint8_t& a, std::uint8_t& b, double* na, double* nb)
{
    const std::uint8_t ca = a, cb = b;
    const std::uint8_t viaB = static_cast<std::uint8_t>(cb + 1), viaA = static_cast<std::uint8_t>(ca + 1);
    if (na) {
        const double countA = *na, countB = *nb;
        *na = (ca <= viaB ? countA : 0.0) + (viaB <= ca ? countB : 0.0);
        *nb = (cb <= viaA ? countB : 0.0) + (viaA <= cb ? countA : 0.0);
    }
    a = std::min(ca, viaB);
    b = std::min(cb, viaA);
}

void relaxTileByPairs(std::uint8_t* cost, double* count, int bits)
{
    const std::size_t size = std::size_t(1) << bits;
    for (int bit = 0; bit < bits; ++bit) {
        const std::size_t half = std::size_t(1) << bit;
        for (std::size_t i = 0; i < size; ++i)
            if (!(i & half))
                relaxPair(cost[i], cost[i + half], count ? count + i : nullptr, count ? count + i + half : nullptr);
    }
}

#if defined(__SSE2__)

// x <= y, bytewise unsigned: all ones where it holds.
inline __m128i lessEqual(__m128i x, __m128i y)
{
    return _mm_cmpeq_epi8(_mm_min_epu8(x, y), x);
}

// The 16 byte masks widened to eight double masks: mask[k] covers entries
// 2k and 2k + 1.
inline void widen(__m128i bytes, __m128d mask[8])
{
    const __m128i words[2] = {_mm_unpacklo_epi8(bytes, bytes), _mm_unpackhi_epi8(bytes, bytes)};
    for (int w = 0; w < 2; ++w) {
        const __m128i dwords[2] = {_mm_unpacklo_epi16(words[w], words[w]), _mm_unpackhi_epi16(words[w], words[w])};
        for (int d = 0; d < 2; ++d) {
            mask[4 * w + 2 * d] = _mm_castsi128_pd(_mm_unpacklo_epi32(dwords[d], dwords[d]));
            mask[4 * w + 2 * d + 1] = _mm_castsi128_pd(_mm_unpackhi_epi32(dwords[d], dwords[d]));
        }
    }
}

// partner[i] = v[i ^ half] within one 16-byte vector, for half 1, 2, 4, 8.
template <int half>
inline __m128i partnerOf(__m128i v)
{
    // Bytes whose index has the bit clear take from above, the others from below.
    const __m128i clear = half == 1 ? _mm_set1_epi16(0x00ff)
        : half == 2                 ? _mm_set1_epi32(0x0000ffff)
        : half == 4                 ? _mm_set1_epi64x(0x00000000ffffffffLL)
                                    : _mm_set_epi64x(0, -1);
    return _mm_or_si128(_mm_and_si128(clear, _mm_srli_si128(v, half)), _mm_andnot_si128(clear, _mm_slli_si128(v, half)));
}

// Bits 0 to 3 of a group of 16 entries, all in registers.
template <int half>
inline void relaxInGroup(std::uint8_t* cost, double* count)
{
    const __m128i one = _mm_set1_epi8(1);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cost));
    const __m128i viaPartner = _mm_adds_epu8(partnerOf<half>(v), one);
    if (count) {
        __m128d own[8], fromPartner[8], old[8];
        widen(lessEqual(v, viaPartner), own);
        widen(lessEqual(viaPartner, v), fromPartner);
        for (int k = 0; k < 8; ++k) old[k] = _mm_loadu_pd(count + 2 * k);
        for (int k = 0; k < 8; ++k) {
            const __m128d partner = half == 1 ? _mm_shuffle_pd(old[k], old[k], 1) : old[k ^ (half / 2)];
            _mm_storeu_pd(count + 2 * k, _mm_add_pd(_mm_and_pd(own[k], old[k]), _mm_and_pd(fromPartner[k], partner)));
        }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cost), _mm_min_epu8(v, viaPartner));
}

// Entries a[k] (bit clear) against b[k] (bit set), k < length, length a
// multiple of 16.
inline void relaxRuns(std::uint8_t* a, std::uint8_t* b, double* na, double* nb, std::size_t length)
{
    const __m128i one = _mm_set1_epi8(1);
    for (std::size_t k = 0; k < length; k += 16) {
        const __m128i ca = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i cb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const __m128i viaA = _mm_adds_epu8(ca, one), viaB = _mm_adds_epu8(cb, one);
        if (na) {
            __m128d keepA[8], takeB[8], keepB[8], takeA[8];
            widen(lessEqual(ca, viaB), keepA);
            widen(lessEqual(viaB, ca), takeB);
            widen(lessEqual(cb, viaA), keepB);
            widen(lessEqual(viaA, cb), takeA);
            for (int j = 0; j < 8; ++j) {
                const __m128d countA = _mm_loadu_pd(na + k + 2 * j), countB = _mm_loadu_pd(nb + k + 2 * j);
                _mm_storeu_pd(na + k + 2 * j, _mm_add_pd(_mm_and_pd(keepA[j], countA), _mm_and_pd(takeB[j], countB)));
                _mm_storeu_pd(nb + k + 2 * j, _mm_add_pd(_mm_and_pd(keepB[j], countB), _mm_and_pd(takeA[j], countA)));
            }
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + k), _mm_min_epu8(ca, viaB));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + k), _mm_min_epu8(cb, viaA));
    }
}

// The same with counts on processors with 256-bit integer instructions:
// each byte mask becomes double masks four entries at a time, in one step.
template <int quarter>
__attribute__((target("avx2"))) inline __m256d quarterMask(__m128i bytes)
{
    return _mm256_castsi256_pd(_mm256_cvtepi8_epi64(_mm_srli_si128(bytes, 4 * quarter)));
}

template <int quarter>
__attribute__((target("avx2"))) inline void relaxQuarter(const __m128i masks[4], double* na, double* nb)
{
    const __m256d countA = _mm256_loadu_pd(na + 4 * quarter), countB = _mm256_loadu_pd(nb + 4 * quarter);
    _mm256_storeu_pd(na + 4 * quarter, _mm256_add_pd(_mm256_and_pd(quarterMask<quarter>(masks[0]), countA),
                                                     _mm256_and_pd(quarterMask<quarter>(masks[1]), countB)));
    _mm256_storeu_pd(nb + 4 * quarter, _mm256_add_pd(_mm256_and_pd(quarterMask<quarter>(masks[2]), countB),
                                                     _mm256_and_pd(quarterMask<quarter>(masks[3]), countA)));
}

__attribute__((target("avx2"))) void relaxRunsWide(std::uint8_t* a, std::uint8_t* b, double* na, double* nb,
                                                   std::size_t length)
{
    const __m128i one = _mm_set1_epi8(1);
    for (std::size_t k = 0; k < length; k += 16) {
        const __m128i ca = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i cb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const __m128i viaA = _mm_adds_epu8(ca, one), viaB = _mm_adds_epu8(cb, one);
        // Keep A's own, take B's into A, keep B's own, take A's into B.
        const __m128i masks[4] = {lessEqual(ca, viaB), lessEqual(viaB, ca), lessEqual(cb, viaA), lessEqual(viaA, cb)};
        relaxQuarter<0>(masks, na + k, nb + k);
        relaxQuarter<1>(masks, na + k, nb + k);
        relaxQuarter<2>(masks, na + k, nb + k);
        relaxQuarter<3>(masks, na + k, nb + k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + k), _mm_min_epu8(ca, viaB));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + k), _mm_min_epu8(cb, viaA));
    }
}

// One of bits 0 to 3 for a group of 16 entries whose counts stay in four
// registers.
template <int half>
__attribute__((target("avx2"))) inline void relaxGroupBitWide(__m128i& v, __m256d n[4])
{
    const __m128i viaPartner = _mm_adds_epu8(partnerOf<half>(v), _mm_set1_epi8(1));
    const __m128i own = lessEqual(v, viaPartner), fromPartner = lessEqual(viaPartner, v);
    __m256d partner[4];
    for (int q = 0; q < 4; ++q)
        partner[q] = half == 1 ? _mm256_permute_pd(n[q], 0x5)
            : half == 2        ? _mm256_permute2f128_pd(n[q], n[q], 1)
                               : n[q ^ (half / 4)];
    const __m256d ownMask[4] = {quarterMask<0>(own), quarterMask<1>(own), quarterMask<2>(own), quarterMask<3>(own)};
    const __m256d fromMask[4] = {quarterMask<0>(fromPartner), quarterMask<1>(fromPartner), quarterMask<2>(fromPartner),
                                 quarterMask<3>(fromPartner)};
    for (int q = 0; q < 4; ++q)
        n[q] = _mm256_add_pd(_mm256_and_pd(ownMask[q], n[q]), _mm256_and_pd(fromMask[q], partner[q]));
    v = _mm_min_epu8(v, viaPartner);
}

__attribute__((target("avx2"))) void relaxGroupWide(std::uint8_t* cost, double* count)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cost));
    __m256d n[4];
    for (int q = 0; q < 4; ++q) n[q] = _mm256_loadu_pd(count + 4 * q);
    relaxGroupBitWide<1>(v, n);
    relaxGroupBitWide<2>(v, n);
    relaxGroupBitWide<4>(v, n);
    relaxGroupBitWide<8>(v, n);
    for (int q = 0; q < 4; ++q) _mm256_storeu_pd(count + 4 * q, n[q]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cost), v);
}

bool wideCounts()
{
    static const bool wide = [] {
        __builtin_cpu_init(); // may run before the library's own detection
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return wide;
}

inline void relaxRunsBest(std::uint8_t* a, std::uint8_t* b, double* na, double* nb, std::size_t length, bool wide)
{
    if (na && wide)
        relaxRunsWide(a, b, na, nb, length);
    else
        relaxRuns(a, b, na, nb, length);
}

// Bits 0 .. bits-1 of a tile of 2^bits entries.
void relaxTile(std::uint8_t* cost, double* count, int bits, bool wide)
{
    const std::size_t size = std::size_t(1) << bits;
    if (bits < 4) {
        relaxTileByPairs(cost, count, bits);
        return;
    }
    for (std::size_t g = 0; g < size; g += 16) {
        double* n = count ? count + g : nullptr;
        if (n && wide) {
            relaxGroupWide(cost + g, n);
            continue;
        }
        relaxInGroup<1>(cost + g, n);
        relaxInGroup<2>(cost + g, n);
        relaxInGroup<4>(cost + g, n);
        relaxInGroup<8>(cost + g, n);
    }
    for (int bit = 4; bit < bits; ++bit) {
        const std::size_t half = std::size_t(1) << bit;
        for (std::size_t block = 0; block < size; block += 2 * half)
            relaxRunsBest(cost + block, cost + block + half, count ? count + block : nullptr,
                          count ? count + block + half : nullptr, half, wide);
    }
}

#else

bool wideCounts()
{
    return false;
}

void relaxTile(std::uint8_t* cost, double* count, int bits, bool)
{
    relaxTileByPairs(cost, count, bits);
}

inline void relaxRunsBest(std::uint8_t* a, std::uint8_t* b, double* na, double* nb, std::size_t length, bool)
{
    for (std::size_t k = 0; k < length; ++k) relaxPair(a[k], b[k], na ? na + k : nullptr, nb ? nb + k : nullptr);
}

#endif

} // namespace

void relaxHypercube(std::uint8_t* cost, double* count, int bits, bool baseline)
{
    const bool wide = !baseline && wideCounts();
    const std::size_t size = std::size_t(1) << bits;
    const int scale = count ? 0 : 3;
    const int low = std::min(bits, tileBits + scale);
    const std::size_t tile = std::size_t(1) << low;
    for (std::size_t start = 0; start < size; start += tile)
        relaxTile(cost + start, count ? count + start : nullptr, low, wide);
    for (int first = low; first < bits; first += groupBits) {
        const int last = std::min(first + groupBits, bits) - 1;
        const std::size_t stride = std::size_t(1) << first, span = std::size_t(1) << (last + 1);
        const std::size_t chunk = std::min(stride, chunkEntries << scale);
        for (std::size_t block = 0; block < size; block += span)
            for (std::size_t offset = 0; offset < stride; offset += chunk)
                for (int bit = first; bit <= last; ++bit) {
                    const std::size_t half = std::size_t(1) << bit;
                    for (std::size_t run = 0; run < span; run += stride) {
                        if (run & half) continue;
                        const std::size_t i = block + run + offset;
                        relaxRunsBest(cost + i, cost + i + half, count ? count + i : nullptr,
                                      count ? count + i + half : nullptr, chunk, wide);
                    }
                }
    }
}

} // namespace tavirlen
