// SSSE3 motion compensation of 8-bit pictures: quarter-sample luma and eighth-sample chroma.
// Every kernel gives exactly the samples of the portable kernel of its table slot.
//
// Filters (taps from the leftmost or topmost sample they read):
//   HALF -1, 5, 5, -1       at -1 .. +2
//   Q1   -1, -2, 96, 42, -7 at -2 .. +2
//   Q3   -7, 42, 96, -2, -1 at -1 .. +3
// One-stage sums are formed as signed 16-bit pair products (PMADDUBSW); the Q1/Q3 sum can leave
// the 16-bit range only upwards, and the additions are ordered so that it then saturates to a
// value that still shifts to 255. Two-stage sums that outgrow 16 bits are finished in 32 bits.
// Destinations and sources may have any alignment.
#include <tmmintrin.h>

#include <cstddef>
#include <cstring>

#include "x86/mc_ssse3.h"

namespace {

enum class Filter { HALF, Q1, Q3 };

// A signed byte pair (lo, hi) repeated over the vector, the second operand of PMADDUBSW.
inline __m128i byte_pair(int lo, int hi)
{
    const unsigned word = (unsigned(lo) & 0xFF) | ((unsigned(hi) & 0xFF) << 8);
    return _mm_set1_epi16(short(word));
}

// A signed 16-bit pair (lo, hi) repeated over the vector, the second operand of PMADDWD.
inline __m128i word_pair(int lo, int hi)
{
    const unsigned dword = (unsigned(lo) & 0xFFFF) | ((unsigned(hi) & 0xFFFF) << 16);
    return _mm_set1_epi32(int(dword));
}

inline __m128i load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline __m128i load8(const uint8_t *p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

// Writes the low 8 bytes of p, or their rounded average with what dst holds.
template <bool AVG>
inline void store8(uint8_t *dst, __m128i p)
{
    if constexpr (AVG)
        p = _mm_avg_epu8(p, load8(dst));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), p);
}

template <bool AVG>
inline void store16(uint8_t *dst, __m128i p)
{
    if constexpr (AVG)
        p = _mm_avg_epu8(p, load16(dst));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), p);
}

template <bool AVG>
inline void store4(uint8_t *dst, __m128i p)
{
    if constexpr (AVG) {
        int32_t d;
        std::memcpy(&d, dst, sizeof d);
        p = _mm_avg_epu8(p, _mm_cvtsi32_si128(d));
    }
    const int32_t v = _mm_cvtsi128_si32(p);
    std::memcpy(dst, &v, sizeof v);
}

// Byte lanes 0..7 (HI: 8..15) of a and b interleaved, the pairs PMADDUBSW multiplies.
template <bool HI>
inline __m128i interleave(__m128i a, __m128i b)
{
    return HI ? _mm_unpackhi_epi8(a, b) : _mm_unpacklo_epi8(a, b);
}

template <bool HI>
inline __m128i widen(__m128i a)
{
    return interleave<HI>(a, _mm_setzero_si128());
}

// Tap inputs of eight outputs: pairs<K>() the byte pairs (K-th, K + 1-th sample the filter
// reads) of each output, widened<K>() the K-th sample as 16-bit lanes.

// Vertical filters: t[k] holds in byte lane x the k-th sample of output x (HI: lanes 8..15).
template <bool HI>
struct RowTaps {
    const __m128i *t;
    template <int K>
    __m128i pairs() const { return interleave<HI>(t[K], t[K + 1]); }
    template <int K>
    __m128i widened() const { return widen<HI>(t[K]); }
};

// Horizontal filters: one 16-byte load starting at the first tap, shuffled into place.
struct LoadTaps {
    __m128i row;
    template <int K>
    __m128i pairs() const
    {
        return _mm_shuffle_epi8(row, _mm_setr_epi8(K, K + 1, K + 1, K + 2, K + 2, K + 3, K + 3, K + 4, K + 4, K + 5,
                                                   K + 5, K + 6, K + 6, K + 7, K + 7, K + 8));
    }
    template <int K>
    __m128i widened() const
    {
        return _mm_shuffle_epi8(row, _mm_setr_epi8(K, -1, K + 1, -1, K + 2, -1, K + 3, -1, K + 4, -1, K + 5, -1,
                                                   K + 6, -1, K + 7, -1));
    }
};

// Unrounded HALF sum of eight outputs, -510 .. 2550.
template <typename Taps>
inline __m128i half_sum(const Taps &t)
{
    const __m128i a = _mm_maddubs_epi16(t.template pairs<0>(), byte_pair(-1, 5));
    const __m128i b = _mm_maddubs_epi16(t.template pairs<2>(), byte_pair(5, -1));
    return _mm_add_epi16(a, b);
}

// The Q1 or Q3 sum of eight outputs as two exact 16-bit parts: `big` holds the 96 tap, its
// neighbour and the odd single tap (-765 .. 24480), `small` the other two taps (-1785 .. 10710).
template <Filter F, typename Taps>
inline void quarter_parts(const Taps &t, __m128i &big, __m128i &small)
{
    if constexpr (F == Filter::Q1) {
        big = _mm_sub_epi16(_mm_maddubs_epi16(t.template pairs<1>(), byte_pair(-2, 96)), t.template widened<0>());
        small = _mm_maddubs_epi16(t.template pairs<3>(), byte_pair(42, -7));
    } else {
        big = _mm_sub_epi16(_mm_maddubs_epi16(t.template pairs<2>(), byte_pair(96, -2)), t.template widened<4>());
        small = _mm_maddubs_epi16(t.template pairs<0>(), byte_pair(-7, 42));
    }
}

// Rounded one-stage prediction of eight outputs, 16-bit, before the clip of the final pack.
template <Filter F, typename Taps>
inline __m128i one_stage(const Taps &t)
{
    if constexpr (F == Filter::HALF) {
        return _mm_srai_epi16(_mm_add_epi16(half_sum(t), _mm_set1_epi16(4)), 3);
    } else {
        __m128i big, small;
        quarter_parts<F>(t, big, small);
        // big + 64 stays below 24545; only the last, saturating, addition can overflow, and
        // then the exact value is at least 256 while 32767 >> 7 gives 255.
        const __m128i sum = _mm_adds_epi16(_mm_add_epi16(big, _mm_set1_epi16(64)), small);
        return _mm_srai_epi16(sum, 7);
    }
}

constexpr int first_tap(Filter f)
{
    return f == Filter::Q1 ? -2 : -1;
}

constexpr int tap_count(Filter f)
{
    return f == Filter::HALF ? 4 : 5;
}

// The filter of a quarter-sample fraction 1, 2 or 3.
constexpr Filter filter_of(int fraction)
{
    return fraction == 1 ? Filter::Q1 : fraction == 2 ? Filter::HALF : Filter::Q3;
}

// Eight horizontal outputs from one 16-byte load starting at the first tap.
template <Filter F>
inline __m128i horizontal(__m128i row)
{
    return one_stage<F>(LoadTaps{row});
}

// Full-sample position: copy or average.
template <int N, bool AVG>
void luma_full(uint8_t *dst, const uint8_t *src, ptrdiff_t s)
{
    for (int y = 0; y < N; y++, src += s, dst += s) {
        if constexpr (N == 16)
            store16<AVG>(dst, load16(src));
        else
            store8<AVG>(dst, load8(src));
    }
}

// Positions (1,0), (2,0), (3,0): one load per row per 8 outputs.
template <Filter F, int N, bool AVG>
void luma_horizontal(uint8_t *dst, const uint8_t *src, ptrdiff_t s)
{
    src += first_tap(F);
    for (int y = 0; y < N; y++, src += s, dst += s) {
        const __m128i left = horizontal<F>(load16(src));
        if constexpr (N == 16)
            store16<AVG>(dst, _mm_packus_epi16(left, horizontal<F>(load16(src + 8))));
        else
            store8<AVG>(dst, _mm_packus_epi16(left, left));
    }
}

// Positions (0,1), (0,2), (0,3): a sliding set of rows, each loaded once.
template <Filter F, int N, bool AVG>
void luma_vertical(uint8_t *dst, const uint8_t *src, ptrdiff_t s)
{
    constexpr int taps = tap_count(F);
    auto load = [](const uint8_t *p) { return N == 16 ? load16(p) : load8(p); };
    const uint8_t *p = src + first_tap(F) * s;
    __m128i t[5] = {};
    for (int k = 0; k < taps - 1; k++, p += s)
        t[k] = load(p);
    for (int y = 0; y < N; y++, p += s, dst += s) {
        t[taps - 1] = load(p);
        const __m128i left = one_stage<F>(RowTaps<false>{t});
        if constexpr (N == 16)
            store16<AVG>(dst, _mm_packus_epi16(left, one_stage<F>(RowTaps<true>{t})));
        else
            store8<AVG>(dst, _mm_packus_epi16(left, left));
        for (int k = 0; k + 1 < taps; k++)
            t[k] = t[k + 1];
    }
}

inline __m128i times5_epi16(__m128i v)
{
    return _mm_add_epi16(_mm_slli_epi16(v, 2), v);
}

// Eight 32-bit lanes in two vectors (outputs 0..3 and 4..7), or the 16-bit pairs from which
// PMADDWD forms them.
struct Wide {
    __m128i lo, hi;
};

// Rows a and b of 16-bit values interleaved: the (a, b) pair of each output.
inline Wide word_pairs(__m128i a, __m128i b)
{
    return {_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b)};
}

// wa a + wb b of each output of word_pairs(a, b).
inline Wide weigh_pairs(const Wide &pairs, int wa, int wb)
{
    const __m128i w = word_pair(wa, wb);
    return {_mm_madd_epi16(pairs.lo, w), _mm_madd_epi16(pairs.hi, w)};
}

inline Wide operator+(const Wide &a, const Wide &b)
{
    return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)};
}

// Eight 32-bit sums, packed to bytes after (sum + bias) >> 10.
inline __m128i round10_pack(const Wide &sum, int bias)
{
    const __m128i r = _mm_set1_epi32(bias);
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(sum.lo, r), 10);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(sum.hi, r), 10);
    const __m128i words = _mm_packs_epi32(lo, hi);
    return _mm_packus_epi16(words, words);
}

// The two-stage positions go by strips of 8 columns, the rows in a loop: one strip function
// per position and form serves both block sizes (16x16 is two strips of 16 rows, 8x8 one of
// 8). On moving content the positions change from block to block, and kernels unrolled row
// by row outgrew the instruction cache; the loop keeps the sliding rows in registers.

// Positions filtered with HALF both ways: (2,2) and the diagonals. DIAG adds the full sample
// EX columns right of and EY rows below the output before the single rounding.
template <bool DIAG, int EX, int EY, bool AVG>
[[gnu::noinline, gnu::noclone]] void centre_strip(uint8_t *dst, const uint8_t *src, ptrdiff_t s, int rows)
{
    // The raw rows start one column left of the block; r1 (r2) is the output row (the row below).
    const uint8_t *p = src - 1 + first_tap(Filter::HALF) * s;
    auto filter_row = [](const __m128i &raw) { return half_sum(LoadTaps{raw}); };
    __m128i r1 = load16(p + s), r2 = load16(p + 2 * s);
    __m128i h0 = filter_row(load16(p)), h1 = filter_row(r1), h2 = filter_row(r2);
    p += 3 * s;
    for (int y = 0; y < rows; y++, p += s, dst += s) {
        const __m128i r3 = load16(p), h3 = filter_row(r3);
        // 5 (h1 + h2) - (h0 + h3): -10200 .. 26520, exact.
        const __m128i v = _mm_sub_epi16(times5_epi16(_mm_add_epi16(h1, h2)), _mm_add_epi16(h0, h3));
        __m128i words;
        if constexpr (DIAG) {
            const __m128i full = LoadTaps{EY ? r2 : r1}.widened<1 + EX>();
            // Saturates only where the exact sum is past 32767, which clips to 255 too.
            const __m128i sum = _mm_adds_epi16(_mm_add_epi16(v, _mm_set1_epi16(64)), _mm_slli_epi16(full, 6));
            words = _mm_srai_epi16(sum, 7);
        } else {
            words = _mm_srai_epi16(_mm_add_epi16(v, _mm_set1_epi16(32)), 6);
        }
        store8<AVG>(dst, _mm_packus_epi16(words, words));
        r1 = r2;
        r2 = r3;
        h0 = h1;
        h1 = h2;
        h2 = h3;
    }
}

// Positions (2,1) and (2,3): HALF across into exact 16-bit rows, Q1 or Q3 down in 32 bits.
// (Keeping each interleaved pair of rows for the later output rows it serves spills
// registers: the rows are interleaved anew for each output row.)
template <Filter VF, bool AVG>
[[gnu::noinline, gnu::noclone]] void half_quarter_strip(uint8_t *dst, const uint8_t *src, ptrdiff_t s, int rows)
{
    constexpr int w0 = VF == Filter::Q1 ? -1 : -7, w1 = VF == Filter::Q1 ? -2 : 42;
    constexpr int w2 = 96, w3 = VF == Filter::Q1 ? 42 : -2, w4 = VF == Filter::Q1 ? -7 : -1;
    auto row = [](const uint8_t *q) { return half_sum(LoadTaps{load16(q)}); };
    const uint8_t *p = src - 1 + first_tap(VF) * s;
    __m128i h0 = row(p), h1 = row(p + s), h2 = row(p + 2 * s), h3 = row(p + 3 * s);
    p += 4 * s;
    for (int y = 0; y < rows; y++, p += s, dst += s) {
        const __m128i h4 = row(p);
        const Wide sum = weigh_pairs(word_pairs(h0, h1), w0, w1) + weigh_pairs(word_pairs(h2, h3), w2, w3) +
                         weigh_pairs(word_pairs(h4, h4), w4, 0);
        store8<AVG>(dst, round10_pack(sum, 512));
        h0 = h1;
        h1 = h2;
        h2 = h3;
        h3 = h4;
    }
}

// Positions (1,2) and (3,2): Q1 or Q3 across, HALF down in 32 bits. A row's Q sum (-2550 ..
// 35190) is kept as the exact 16-bit q - 16384; the HALF taps add up to 8, so the vertical
// sum lacks 8 * 16384, which the rounding adds back.
template <Filter HF, bool AVG>
[[gnu::noinline, gnu::noclone]] void quarter_half_strip(uint8_t *dst, const uint8_t *src, ptrdiff_t s, int rows)
{
    constexpr int bias = 16384;
    auto row = [](const uint8_t *q) {
        __m128i big, small;
        quarter_parts<HF>(LoadTaps{load16(q)}, big, small);
        // Wrapping 16-bit arithmetic, exact since the result lies in range.
        return _mm_add_epi16(_mm_sub_epi16(big, _mm_set1_epi16(bias)), small);
    };
    const uint8_t *p = src + first_tap(HF) - s;
    __m128i q0 = row(p), q1 = row(p + s), q2 = row(p + 2 * s);
    p += 3 * s;
    for (int y = 0; y < rows; y++, p += s, dst += s) {
        const __m128i q3 = row(p);
        const Wide sum = weigh_pairs(word_pairs(q0, q1), -1, 5) + weigh_pairs(word_pairs(q2, q3), 5, -1);
        store8<AVG>(dst, round10_pack(sum, 512 + 8 * bias));
        q0 = q1;
        q1 = q2;
        q2 = q3;
    }
}

// An N x N two-stage block as strips of 8 columns, left then right.
template <int N, typename Strip>
inline void strips(Strip strip, uint8_t *dst, const uint8_t *src, ptrdiff_t s)
{
    for (int x = 0; x < N; x += 8)
        strip(dst + x, src + x, s, N);
}

// The kernel of position (DX, DY) for an N x N block.
template <int DX, int DY, int N, bool AVG>
void luma_mc(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    const ptrdiff_t s = stride;
    if constexpr (DX == 0 && DY == 0)
        luma_full<N, AVG>(dst, src, s);
    else if constexpr (DY == 0)
        luma_horizontal<filter_of(DX), N, AVG>(dst, src, s);
    else if constexpr (DX == 0)
        luma_vertical<filter_of(DY), N, AVG>(dst, src, s);
    else if constexpr (DY == 2 && DX != 2)
        strips<N>(quarter_half_strip<filter_of(DX), AVG>, dst, src, s);
    else if constexpr (DX == 2 && DY != 2)
        strips<N>(half_quarter_strip<filter_of(DY), AVG>, dst, src, s);
    else if constexpr (DX == 2)
        strips<N>(centre_strip<false, 0, 0, AVG>, dst, src, s);
    else
        strips<N>(centre_strip<true, DX == 3, DY == 3, AVG>, dst, src, s);
}

inline __m128i load_u32(const uint8_t *p)
{
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return _mm_cvtsi32_si128(v);
}

// (sum + 32) >> 6 of 16-bit sums, packed to bytes.
inline __m128i chroma_round(__m128i sum)
{
    const __m128i words = _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(32)), 6);
    return _mm_packus_epi16(words, words);
}

// Source row p as the (s, s + 1) byte pairs of W outputs; width 4 fills the low half.
template <int W>
inline __m128i across_pairs(const uint8_t *p)
{
    const __m128i row = W == 8 ? load16(p) : load8(p);
    return _mm_unpacklo_epi8(row, _mm_srli_si128(row, 1));
}

// The h output rows of a W-wide block. pair(p) gives the byte pairs of the row whose source
// starts at p; weigh(a, b) the 16-bit sums of rows with pairs a, b holding the pairs of the
// row below (h + 1 rows are read). Width 4 weighs two rows per vector.
template <int W, bool AVG, typename Pair, typename Weigh>
inline void chroma_rows(uint8_t *dst, const uint8_t *src, ptrdiff_t s, int32_t h, Pair pair, Weigh weigh)
{
    __m128i cur = pair(src);
    int32_t j = 0;
    if constexpr (W == 4) {
        for (; j + 1 < h; j += 2, src += 2 * s, dst += 2 * s) {
            const __m128i next = pair(src + s);
            const __m128i after = pair(src + 2 * s);
            const __m128i out = chroma_round(weigh(_mm_unpacklo_epi64(cur, next), _mm_unpacklo_epi64(next, after)));
            store4<AVG>(dst, out);
            store4<AVG>(dst + s, _mm_srli_si128(out, 4));
            cur = after;
        }
    }
#pragma GCC unroll 2
    for (; j < h; j++, src += s, dst += s) {
        const __m128i next = pair(src + s);
        const __m128i out = chroma_round(weigh(cur, next));
        if constexpr (W == 8)
            store8<AVG>(dst, out);
        else
            store4<AVG>(dst, out);
        cur = next;
    }
}

// Bilinear chroma of a W-wide block. The (s, s + 1) pairs of a row come from one load and a
// one-byte shift, weighed (w00, w10) as the upper and (w01, w11) as the lower row of an output
// row. Every fractional position takes the same path (a zero weight gives the sums of the
// one-axis filters): on moving content the fractions vary from block to block, so a choice
// among paths is a coin toss, dearer than the weighing it saves.
template <int W, bool AVG>
void chroma_mc(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    if (h <= 0)
        return;
    const ptrdiff_t s = stride;
    if ((x | y) == 0) {
        // Whole-sample position: the weights reduce to a copy of the source rows.
        for (int32_t j = 0; j < h; j++, dst += s, src += s) {
            if constexpr (W == 8)
                store8<AVG>(dst, load8(src));
            else
                store4<AVG>(dst, load_u32(src));
        }
        return;
    }
    const __m128i upper_w = byte_pair((8 - x) * (8 - y), x * (8 - y));
    const __m128i lower_w = byte_pair((8 - x) * y, x * y);
    // At most 64 * 255: no overflow.
    chroma_rows<W, AVG>(
        dst, src, s, h, [](const uint8_t *p) { return across_pairs<W>(p); },
        [upper_w, lower_w](__m128i a, __m128i b) {
            return _mm_add_epi16(_mm_maddubs_epi16(a, upper_w), _mm_maddubs_epi16(b, lower_w));
        });
}

// The (s, s + 1) byte pairs of a W-wide row from its W + 1 samples and no more: two loads one
// sample apart. Width 4 fills the low half.
template <int W>
inline __m128i exact_pairs(const uint8_t *p)
{
    return W == 8 ? _mm_unpacklo_epi8(load8(p), load8(p + 1)) : _mm_unpacklo_epi8(load_u32(p), load_u32(p + 1));
}

// Bilinear chroma of a W-wide block in both planes with one weighing per row: width 8 takes
// the two planes' rows into one pack, width 4 one vector of pairs for both.
template <int W, bool AVG>
void chroma_mc_cbcr(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr, int32_t stride,
                    int32_t h, int32_t x, int32_t y)
{
    if (h <= 0)
        return;
    const ptrdiff_t s = stride;
    if ((x | y) == 0) {
        for (int32_t j = 0; j < h; j++, dst_cb += s, dst_cr += s, src_cb += s, src_cr += s) {
            if constexpr (W == 8) {
                store8<AVG>(dst_cb, load8(src_cb));
                store8<AVG>(dst_cr, load8(src_cr));
            } else {
                store4<AVG>(dst_cb, load_u32(src_cb));
                store4<AVG>(dst_cr, load_u32(src_cr));
            }
        }
        return;
    }
    const __m128i upper_w = byte_pair((8 - x) * (8 - y), x * (8 - y));
    const __m128i lower_w = byte_pair((8 - x) * y, x * y);
    // At most 64 * 255: no overflow.
    auto bilinear = [upper_w, lower_w](__m128i a, __m128i b) {
        const __m128i sum = _mm_add_epi16(_mm_maddubs_epi16(a, upper_w), _mm_maddubs_epi16(b, lower_w));
        return _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(32)), 6);
    };
    if constexpr (W == 8) {
        __m128i cb = exact_pairs<8>(src_cb), cr = exact_pairs<8>(src_cr);
        for (int32_t j = 0; j < h; j++, dst_cb += s, dst_cr += s) {
            src_cb += s;
            src_cr += s;
            const __m128i next_cb = exact_pairs<8>(src_cb), next_cr = exact_pairs<8>(src_cr);
            const __m128i out = _mm_packus_epi16(bilinear(cb, next_cb), bilinear(cr, next_cr));
            store8<AVG>(dst_cb, out);
            store8<AVG>(dst_cr, _mm_unpackhi_epi64(out, out));
            cb = next_cb;
            cr = next_cr;
        }
    } else {
        auto pairs = [](const uint8_t *p_cb, const uint8_t *p_cr) {
            return _mm_unpacklo_epi64(exact_pairs<4>(p_cb), exact_pairs<4>(p_cr));
        };
        __m128i cur = pairs(src_cb, src_cr);
        for (int32_t j = 0; j < h; j++, dst_cb += s, dst_cr += s) {
            src_cb += s;
            src_cr += s;
            const __m128i next = pairs(src_cb, src_cr);
            const __m128i words = bilinear(cur, next);
            const __m128i out = _mm_packus_epi16(words, words);
            store4<AVG>(dst_cb, out);
            store4<AVG>(dst_cr, _mm_srli_si128(out, 4));
            cur = next;
        }
    }
}

inline int load_u16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_u16(uint8_t *p, int v)
{
    const uint16_t w = uint16_t(v);
    std::memcpy(p, &w, sizeof w);
}

// Weighs the (s, s + 1) pairs of the upper and lower source rows of each output sample.
inline __m128i chroma_weigh(__m128i upper, __m128i lower, __m128i upper_w, __m128i lower_w)
{
    const __m128i sum = _mm_adds_epi16(_mm_adds_epi16(_mm_maddubs_epi16(upper, upper_w), _mm_set1_epi16(32)),
                                       _mm_maddubs_epi16(lower, lower_w));
    const __m128i words = _mm_srai_epi16(sum, 6);
    return _mm_packus_epi16(words, words);
}

// Bilinear chroma of a 2-wide block, four rows per weighing: one 4-byte load per source row
// (bytes 0..3; byte 3 unused).
template <bool AVG>
void chroma_mc_w2(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    const ptrdiff_t s = stride;
    const __m128i upper_w = byte_pair((8 - x) * (8 - y), x * (8 - y));
    const __m128i lower_w = byte_pair((8 - x) * y, x * y);
    const __m128i pairs = _mm_setr_epi8(0, 1, 1, 2, 4, 5, 5, 6, 8, 9, 9, 10, 12, 13, 13, 14);
    __m128i r0 = load_u32(src);
    for (int32_t j = 0; j < h; j += 4) {
        const int n = h - j < 4 ? h - j : 4;
        const uint8_t *p = src + (j + 1) * s;
        const __m128i zero = _mm_setzero_si128();
        const __m128i r1 = load_u32(p);
        const __m128i r2 = n > 1 ? load_u32(p + s) : zero;
        const __m128i r3 = n > 2 ? load_u32(p + 2 * s) : zero;
        const __m128i r4 = n > 3 ? load_u32(p + 3 * s) : zero;
        const __m128i r12 = _mm_unpacklo_epi32(r1, r2);
        const __m128i upper = _mm_unpacklo_epi64(_mm_unpacklo_epi32(r0, r1), _mm_unpacklo_epi32(r2, r3));
        const __m128i lower = _mm_unpacklo_epi64(r12, _mm_unpacklo_epi32(r3, r4));
        __m128i out = chroma_weigh(_mm_shuffle_epi8(upper, pairs), _mm_shuffle_epi8(lower, pairs), upper_w, lower_w);
        uint8_t *d = dst + j * s;
        if constexpr (AVG) {
            const __m128i old = _mm_setr_epi16(short(load_u16(d)), short(n > 1 ? load_u16(d + s) : 0),
                                               short(n > 2 ? load_u16(d + 2 * s) : 0),
                                               short(n > 3 ? load_u16(d + 3 * s) : 0), 0, 0, 0, 0);
            out = _mm_avg_epu8(out, old);
        }
        store_u16(d, _mm_extract_epi16(out, 0));
        if (n > 1)
            store_u16(d + s, _mm_extract_epi16(out, 1));
        if (n > 2)
            store_u16(d + 2 * s, _mm_extract_epi16(out, 2));
        if (n > 3)
            store_u16(d + 3 * s, _mm_extract_epi16(out, 3));
        r0 = n > 3 ? r4 : r0;
    }
}

} // namespace

// Luma, 16x16 put.
void luma_mc16_put_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 0, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 0, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 0, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 1, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 1, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 1, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 1, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 2, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 2, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 2, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 2, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 3, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 3, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 3, 16, false>(dst, src, stride); }
void luma_mc16_put_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 3, 16, false>(dst, src, stride); }

// Luma, 16x16 avg.
void luma_mc16_avg_ssse3_qpel_00(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 0, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 0, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 0, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 0, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 1, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 1, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 1, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 1, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 2, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 2, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 2, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 2, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 3, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 3, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 3, 16, true>(dst, src, stride); }
void luma_mc16_avg_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 3, 16, true>(dst, src, stride); }

// Luma, 8x8 put.
void luma_mc8_put_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 0, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 0, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 0, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 1, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 1, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 1, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 1, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 2, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 2, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 2, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 2, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 3, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 3, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 3, 8, false>(dst, src, stride); }
void luma_mc8_put_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 3, 8, false>(dst, src, stride); }

// Luma, 8x8 avg.
void luma_mc8_avg_ssse3_qpel_00(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 0, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 0, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 0, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 0, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 1, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 1, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 1, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 1, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 2, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 2, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 2, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 2, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<0, 3, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<1, 3, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<2, 3, 8, true>(dst, src, stride); }
void luma_mc8_avg_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride) { luma_mc<3, 3, 8, true>(dst, src, stride); }

// Chroma.
void chroma_mc8_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc<8, false>(dst, src, stride, h, x, y);
}

void chroma_mc4_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc<4, false>(dst, src, stride, h, x, y);
}

void chroma_mc8_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc<8, true>(dst, src, stride, h, x, y);
}

void chroma_mc4_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc<4, true>(dst, src, stride, h, x, y);
}

void chroma_mc2_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_w2<false>(dst, src, stride, h, x, y);
}


void chroma_mc2_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_w2<true>(dst, src, stride, h, x, y);
}

// Chroma, both planes.
void chroma_mc8_cbcr_put_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_cbcr<8, false>(dst_cb, dst_cr, src_cb, src_cr, stride, h, x, y);
}

void chroma_mc4_cbcr_put_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_cbcr<4, false>(dst_cb, dst_cr, src_cb, src_cr, stride, h, x, y);
}

void chroma_mc8_cbcr_avg_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_cbcr<8, true>(dst_cb, dst_cr, src_cb, src_cr, stride, h, x, y);
}

void chroma_mc4_cbcr_avg_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y)
{
    chroma_mc_cbcr<4, true>(dst_cb, dst_cr, src_cb, src_cr, stride, h, x, y);
}
