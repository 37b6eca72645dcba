// SSSE3 inverse transforms of 8-bit blocks. The 32-bit butterflies (four coefficients per
// vector, shifts and adds) wrap modulo 2^32 like the portable kernels; 8x8 blocks of small
// coefficients take 16-bit lanes, whose sums then never wrap.
#include <tmmintrin.h>

#include <cstddef>
#include <cstring>

#include "idct.h"

namespace {

inline __m128i add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
inline __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi32(a, b); }
inline __m128i shl(__m128i a, int n) { return _mm_slli_epi32(a, n); }
inline __m128i times3(__m128i a) { return add(shl(a, 1), a); }
inline __m128i times5(__m128i a) { return add(shl(a, 2), a); }

// Lane-wise 4-point transform; in and out may alias.
inline void transform4(const __m128i c[4], __m128i out[4])
{
    const __m128i e0 = shl(add(c[0], c[2]), 2);
    const __m128i e1 = shl(sub(c[0], c[2]), 2);
    const __m128i o0 = add(times5(c[1]), shl(c[3], 1));
    const __m128i o1 = sub(shl(c[1], 1), times5(c[3]));
    out[0] = add(e0, o0);
    out[1] = add(e1, o1);
    out[2] = sub(e1, o1);
    out[3] = sub(e0, o0);
}

// Lane-wise 8-point transform; in and out may alias.
inline void transform8(const __m128i c[8], __m128i out[8])
{
    const __m128i s04 = shl(add(c[0], c[4]), 3);
    const __m128i d04 = shl(sub(c[0], c[4]), 3);
    const __m128i c2x2 = shl(c[2], 1), c6x2 = shl(c[6], 1);
    const __m128i c2x10 = times5(c2x2), c6x10 = times5(c6x2);
    const __m128i c2x4 = shl(c[2], 2), c6x4 = shl(c[6], 2);
    const __m128i a0 = add(s04, add(c2x10, c6x4));
    const __m128i a1 = add(d04, sub(c2x4, c6x10));
    const __m128i a2 = sub(d04, sub(c2x4, c6x10));
    const __m128i a3 = sub(s04, add(c2x10, c6x4));

    const __m128i c1x3 = times3(c[1]), c3x3 = times3(c[3]), c5x3 = times3(c[5]), c7x3 = times3(c[7]);
    const __m128i c1x5 = times5(c[1]), c3x5 = times5(c[3]), c5x5 = times5(c[5]), c7x5 = times5(c[7]);
    // 12v = 3v << 2, 10v = 5v << 1, 6v = 3v << 1
    const __m128i b0 = add(add(shl(c1x3, 2), shl(c3x5, 1)), add(shl(c5x3, 1), c7x3));
    const __m128i b1 = sub(sub(shl(c1x5, 1), c3x3), add(shl(c5x3, 2), shl(c7x3, 1)));
    const __m128i b2 = add(sub(shl(c1x3, 1), shl(c3x3, 2)), add(c5x3, shl(c7x5, 1)));
    const __m128i b3 = add(sub(c1x3, shl(c3x3, 1)), sub(shl(c5x5, 1), shl(c7x3, 2)));

    out[0] = add(a0, b0);
    out[1] = add(a1, b1);
    out[2] = add(a2, b2);
    out[3] = add(a3, b3);
    out[4] = sub(a3, b3);
    out[5] = sub(a2, b2);
    out[6] = sub(a1, b1);
    out[7] = sub(a0, b0);
}

// 4x4 transpose of 32-bit lanes: out[j] lane k = in[k] lane j.
inline void transpose4(__m128i a0, __m128i a1, __m128i a2, __m128i a3, __m128i *out[4])
{
    const __m128i t0 = _mm_unpacklo_epi32(a0, a1);
    const __m128i t1 = _mm_unpacklo_epi32(a2, a3);
    const __m128i t2 = _mm_unpackhi_epi32(a0, a1);
    const __m128i t3 = _mm_unpackhi_epi32(a2, a3);
    *out[0] = _mm_unpacklo_epi64(t0, t1);
    *out[1] = _mm_unpackhi_epi64(t0, t1);
    *out[2] = _mm_unpacklo_epi64(t2, t3);
    *out[3] = _mm_unpackhi_epi64(t2, t3);
}

inline __m128i load4(const uint8_t *p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

inline void store4(uint8_t *p, __m128i v)
{
    const int32_t w = _mm_cvtsi128_si32(v);
    std::memcpy(p, &w, 4);
}

// Residual words (16-bit, saturated) added to the bytes of the prediction, clipped to 0..255.
inline __m128i add_residual(__m128i prediction8, __m128i residual16)
{
    const __m128i wide = _mm_unpacklo_epi8(prediction8, _mm_setzero_si128());
    return _mm_packus_epi16(_mm_adds_epi16(wide, residual16), residual16);
}

} // namespace

void idct4x4_add_ssse3(uint8_t *dst, int32_t *coef, int32_t stride)
{
    const auto *in = reinterpret_cast<const __m128i *>(coef);
    // v[i] holds B[i][0..3]: the horizontal pass runs across the vectors, one lane per j.
    __m128i v[4] = {_mm_load_si128(in), _mm_load_si128(in + 1), _mm_load_si128(in + 2), _mm_load_si128(in + 3)};
    transform4(v, v);
    __m128i w[4];
    __m128i *wp[4] = {&w[0], &w[1], &w[2], &w[3]};
    transpose4(v[0], v[1], v[2], v[3], wp);
    // w[j] lane k = H[k][j]; the vertical pass gives rows of the block, one lane per column.
    transform4(w, w);
    const __m128i round = _mm_set1_epi32(512);
    const ptrdiff_t s = stride;
    for (int y = 0; y < 4; y += 2) {
        const __m128i r0 = _mm_srai_epi32(add(w[y], round), 10);
        const __m128i r1 = _mm_srai_epi32(add(w[y + 1], round), 10);
        const __m128i residual = _mm_packs_epi32(r0, r1);
        const __m128i prediction = _mm_unpacklo_epi32(load4(dst + y * s), load4(dst + (y + 1) * s));
        const __m128i out = add_residual(prediction, residual);
        store4(dst + y * s, out);
        store4(dst + (y + 1) * s, _mm_srli_si128(out, 4));
    }
}

namespace {

// 16-bit forms of the 8-point transform for blocks whose values are small enough that no sum
// leaves 16 (lanes) or 32 bits (pairs): within those bounds they equal the wrapping kernels.
// The 8x8 kernel picks them by the largest coefficient and of larger ones by the largest value
// of the horizontal pass, and keeps the 32-bit kernel for the rest.

// Lane-wise in 16-bit lanes: exact while every input is within -512..511 (sums within 61 * 512).
inline void transform8_words(const __m128i a[8], __m128i out[8])
{
    const __m128i e0 = _mm_slli_epi16(_mm_add_epi16(a[0], a[4]), 3);
    const __m128i e1 = _mm_slli_epi16(_mm_sub_epi16(a[0], a[4]), 3);
    const __m128i ten = _mm_set1_epi16(10);
    const __m128i e2 = _mm_add_epi16(_mm_mullo_epi16(a[2], ten), _mm_slli_epi16(a[6], 2));
    const __m128i e3 = _mm_sub_epi16(_mm_slli_epi16(a[2], 2), _mm_mullo_epi16(a[6], ten));
    const __m128i E0 = _mm_add_epi16(e0, e2), E3 = _mm_sub_epi16(e0, e2);
    const __m128i E1 = _mm_add_epi16(e1, e3), E2 = _mm_sub_epi16(e1, e3);
    auto mul = [](__m128i v, int k) { return _mm_mullo_epi16(v, _mm_set1_epi16(static_cast<short>(k))); };
    const __m128i a1x3 = mul(a[1], 3), a3x3 = mul(a[3], 3), a5x3 = mul(a[5], 3), a7x3 = mul(a[7], 3);
    // 12v = 3v << 2, 6v = 3v << 1
    const __m128i O0 = _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(a1x3, 2), mul(a[3], 10)),
                                     _mm_add_epi16(_mm_slli_epi16(a5x3, 1), a7x3));
    const __m128i O1 = _mm_sub_epi16(_mm_sub_epi16(mul(a[1], 10), a3x3),
                                     _mm_add_epi16(_mm_slli_epi16(a5x3, 2), _mm_slli_epi16(a7x3, 1)));
    const __m128i O2 = _mm_add_epi16(_mm_sub_epi16(_mm_slli_epi16(a1x3, 1), _mm_slli_epi16(a3x3, 2)),
                                     _mm_add_epi16(a5x3, mul(a[7], 10)));
    const __m128i O3 = _mm_add_epi16(_mm_sub_epi16(a1x3, _mm_slli_epi16(a3x3, 1)),
                                     _mm_sub_epi16(mul(a[5], 10), _mm_slli_epi16(a7x3, 2)));
    out[0] = _mm_add_epi16(E0, O0);
    out[1] = _mm_add_epi16(E1, O1);
    out[2] = _mm_add_epi16(E2, O2);
    out[3] = _mm_add_epi16(E3, O3);
    out[4] = _mm_sub_epi16(E3, O3);
    out[5] = _mm_sub_epi16(E2, O2);
    out[6] = _mm_sub_epi16(E1, O1);
    out[7] = _mm_sub_epi16(E0, O0);
}

inline __m128i pair_weights(int w0, int w1)
{
    return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(w1) << 16) | (static_cast<uint16_t>(w0))));
}

// Lane-wise on 16-bit inputs with 32-bit sums (pmaddwd on interleaved input pairs): exact for
// any 16-bit inputs. out[k][half]: lanes 4 * half .. 4 * half + 3 of output k.
inline void transform8_pairs(const __m128i a[8], __m128i out[8][2])
{
    const __m128i w04p = pair_weights(8, 8), w04m = pair_weights(8, -8);
    const __m128i w26p = pair_weights(10, 4), w26m = pair_weights(4, -10);
    const __m128i w13[4] = {pair_weights(12, 10), pair_weights(10, -3), pair_weights(6, -12), pair_weights(3, -6)};
    const __m128i w57[4] = {pair_weights(6, 3), pair_weights(-12, -6), pair_weights(3, 10), pair_weights(10, -12)};
    #pragma GCC unroll 8
    for (int half = 0; half < 2; ++half) {
        const __m128i t04 = half ? _mm_unpackhi_epi16(a[0], a[4]) : _mm_unpacklo_epi16(a[0], a[4]);
        const __m128i t26 = half ? _mm_unpackhi_epi16(a[2], a[6]) : _mm_unpacklo_epi16(a[2], a[6]);
        const __m128i t13 = half ? _mm_unpackhi_epi16(a[1], a[3]) : _mm_unpacklo_epi16(a[1], a[3]);
        const __m128i t57 = half ? _mm_unpackhi_epi16(a[5], a[7]) : _mm_unpacklo_epi16(a[5], a[7]);
        const __m128i e0 = _mm_madd_epi16(t04, w04p), e1 = _mm_madd_epi16(t04, w04m);
        const __m128i e2 = _mm_madd_epi16(t26, w26p), e3 = _mm_madd_epi16(t26, w26m);
        const __m128i E[4] = {add(e0, e2), add(e1, e3), sub(e1, e3), sub(e0, e2)};
        #pragma GCC unroll 8
        for (int k = 0; k < 4; ++k) {
            const __m128i O = add(_mm_madd_epi16(t13, w13[k]), _mm_madd_epi16(t57, w57[k]));
            out[k][half] = add(E[k], O);
            out[7 - k][half] = sub(E[k], O);
        }
    }
}

// Largest of max(v) and -1 - min(v) over the 16-bit lanes of a[0..7], in every lane: a value
// v is within -m - 1 .. m when this is at most m.
inline __m128i magnitude_words(const __m128i a[8])
{
    __m128i hi = a[0], lo = a[0];
    #pragma GCC unroll 8
    for (int i = 1; i < 8; ++i) {
        hi = _mm_max_epi16(hi, a[i]);
        lo = _mm_min_epi16(lo, a[i]);
    }
    const __m128i m = _mm_max_epi16(hi, _mm_xor_si128(lo, _mm_set1_epi16(-1)));
    const __m128i m1 = _mm_max_epi16(m, _mm_shuffle_epi32(m, 0x4E));
    const __m128i m2 = _mm_max_epi16(m1, _mm_shuffle_epi32(m1, 0xB1));
    return _mm_max_epi16(m2, _mm_shufflelo_epi16(m2, 0xB1));
}

inline bool words_within(__m128i magnitude, int m)
{
    return _mm_cvtsi128_si32(_mm_cmpgt_epi16(magnitude, _mm_set1_epi16(static_cast<short>(m)))) == 0;
}

// 8x8 transpose of 16-bit lanes: out[j] lane k = in[k] lane j.
inline void transpose8_words(const __m128i in[8], __m128i out[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(in[0], in[1]), a1 = _mm_unpackhi_epi16(in[0], in[1]);
    const __m128i a2 = _mm_unpacklo_epi16(in[2], in[3]), a3 = _mm_unpackhi_epi16(in[2], in[3]);
    const __m128i a4 = _mm_unpacklo_epi16(in[4], in[5]), a5 = _mm_unpackhi_epi16(in[4], in[5]);
    const __m128i a6 = _mm_unpacklo_epi16(in[6], in[7]), a7 = _mm_unpackhi_epi16(in[6], in[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    out[0] = _mm_unpacklo_epi64(b0, b4);
    out[1] = _mm_unpackhi_epi64(b0, b4);
    out[2] = _mm_unpacklo_epi64(b1, b5);
    out[3] = _mm_unpackhi_epi64(b1, b5);
    out[4] = _mm_unpacklo_epi64(b2, b6);
    out[5] = _mm_unpackhi_epi64(b2, b6);
    out[6] = _mm_unpacklo_epi64(b3, b7);
    out[7] = _mm_unpackhi_epi64(b3, b7);
}

// Rows of residual words added to the 8-byte rows of the prediction, clipped to 0..255.
inline void add_rows(uint8_t *dst, ptrdiff_t s, const __m128i r[8])
{
    const __m128i zero = _mm_setzero_si128();
    #pragma GCC unroll 8
    for (int y = 0; y < 8; y += 2) {
        uint8_t *row0 = dst + y * s, *row1 = row0 + s;
        const __m128i p0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(row0)), zero);
        const __m128i p1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(row1)), zero);
        const __m128i out = _mm_packus_epi16(_mm_adds_epi16(p0, r[y]), _mm_adds_epi16(p1, r[y + 1]));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(row0), out);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(row1), _mm_unpackhi_epi64(out, out));
    }
}

// The 32-bit kernel for blocks beyond the 16-bit bounds; leaves the horizontal pass in the block.
__attribute__((noinline)) void idct8x8_add_dwords(uint8_t *dst, int32_t *coef, int32_t stride)
{

    auto *block = reinterpret_cast<__m128i *>(coef);
    // h[half][k]: H[k][4 * half .. 4 * half + 3] after the horizontal pass and the shift by 3.
    __m128i h[2][8];
    #pragma GCC unroll 8
    for (int half = 0; half < 2; ++half) {
        __m128i c[8];
        #pragma GCC unroll 8
        for (int i = 0; i < 8; ++i)
            c[i] = _mm_load_si128(block + 2 * i + half);
        transform8(c, h[half]);
        #pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            h[half][k] = _mm_srai_epi32(h[half][k], 3);
            _mm_store_si128(block + 2 * k + half, h[half][k]);
        }
    }

    // w[half][j]: lanes k = 4 * half .. 4 * half + 3 of column j of H.
    __m128i w[2][8];
    #pragma GCC unroll 8
    for (int kh = 0; kh < 2; ++kh)
        #pragma GCC unroll 8
        for (int jh = 0; jh < 2; ++jh) {
            __m128i *out[4] = {&w[kh][4 * jh], &w[kh][4 * jh + 1], &w[kh][4 * jh + 2], &w[kh][4 * jh + 3]};
            transpose4(h[jh][4 * kh], h[jh][4 * kh + 1], h[jh][4 * kh + 2], h[jh][4 * kh + 3], out);
        }
    transform8(w[0], w[0]);
    transform8(w[1], w[1]);

    const __m128i round = _mm_set1_epi32(1024);
    const ptrdiff_t s = stride;
    #pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        const __m128i lo = _mm_srai_epi32(add(w[0][y], round), 11);
        const __m128i hi = _mm_srai_epi32(add(w[1][y], round), 11);
        uint8_t *row = dst + y * s;
        const __m128i out = add_residual(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(row)),
                                         _mm_packs_epi32(lo, hi));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(row), out);
    }
}


} // namespace

void idct8x8_add_ssse3(uint8_t *dst, int32_t *coef, int32_t stride)
{
    const auto *block = reinterpret_cast<const __m128i *>(coef);
    // a[u] lane v: the coefficient of horizontal frequency u and vertical frequency v,
    // saturated to 16 bits (a saturated value fails both bounds below).
    __m128i a[8];
    #pragma GCC unroll 8
    for (int u = 0; u < 8; ++u)
        a[u] = _mm_packs_epi32(_mm_load_si128(block + 2 * u), _mm_load_si128(block + 2 * u + 1));
    const __m128i magnitude = magnitude_words(a);
    // h[x] lane v: the horizontal pass, shifted by 3.
    __m128i h[8];
    if (words_within(magnitude, 511)) {
        transform8_words(a, h);
        #pragma GCC unroll 8
        for (int x = 0; x < 8; ++x)
            h[x] = _mm_srai_epi16(h[x], 3);
    } else if (words_within(magnitude, 32766)) {
        // Exact 32-bit sums of unsaturated inputs. Inputs within 4095 give |h| <= 61 * 4096 / 8;
        // larger ones keep the 16-bit second pass only where h (saturated to 16 bits, which
        // fails the test) stays within -32640..32639, so that the rounding term fits.
        __m128i p[8][2];
        transform8_pairs(a, p);
        #pragma GCC unroll 8
        for (int x = 0; x < 8; ++x)
            h[x] = _mm_packs_epi32(_mm_srai_epi32(p[x][0], 3), _mm_srai_epi32(p[x][1], 3));
        if (!words_within(magnitude, 4095) && !words_within(magnitude_words(h), 32639)) {
            idct8x8_add_dwords(dst, coef, stride);
            return;
        }
    } else {
        idct8x8_add_dwords(dst, coef, stride);
        return;
    }
    // t[v] lane x; the rounding term 1024 enters as 8 * 128 through the DC input, which stays
    // within 16 bits (h <= 32639).
    __m128i t[8];
    transpose8_words(h, t);
    t[0] = _mm_add_epi16(t[0], _mm_set1_epi16(128));
    __m128i p[8][2], r[8];
    transform8_pairs(t, p);
    #pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        r[y] = _mm_packs_epi32(_mm_srai_epi32(p[y][0], 11), _mm_srai_epi32(p[y][1], 11));
    add_rows(dst, stride, r);
}

namespace {

// single_columns[u] lane x: weight of input u in output x; single_rows[v][y]: pairs of
// (weight of input v in output y, the rounding term 1024) for pmaddwd on (h, 1).
struct single_tables {
    alignas(16) int16_t columns[8][8];
    alignas(16) int32_t rows[8][8][4];
};

constexpr single_tables make_single_tables()
{
    single_tables t{};
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x)
            t.columns[u][x] = idct8_basis[x][u];
    for (int v = 0; v < 8; ++v)
        for (int y = 0; y < 8; ++y)
            for (int k = 0; k < 4; ++k)
                t.rows[v][y][k] = static_cast<int32_t>((1024u << 16) | static_cast<uint16_t>(idct8_basis[y][v]));
    return t;
}

constexpr single_tables single = make_single_tables();

} // namespace

namespace {

// 32-bit products of column u of the basis and c, shifted by 3, in 16-bit lanes x (exact for
// |c| <= 21845).
inline __m128i single_column(int u, int32_t c)
{
    const __m128i column = _mm_load_si128(reinterpret_cast<const __m128i *>(single.columns[u]));
    const __m128i cv = _mm_set1_epi16(static_cast<short>(c));
    const __m128i lo = _mm_mullo_epi16(column, cv), hi = _mm_mulhi_epi16(column, cv);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 3),
                           _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 3));
}

// The vertical pass of a block whose horizontal pass h (lanes x) fills column v alone.
inline void single_row_pass(uint8_t *dst, int32_t stride, __m128i h, int v)
{
    // h paired with 1 so that pmaddwd adds the rounding term.
    const __m128i one = _mm_set1_epi16(1);
    const __m128i h0 = _mm_unpacklo_epi16(h, one), h1 = _mm_unpackhi_epi16(h, one);
    const auto *rows = reinterpret_cast<const __m128i *>(single.rows[v]);
    __m128i r[8];
    #pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        const __m128i w = _mm_load_si128(rows + y);
        r[y] = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(h0, w), 11), _mm_srai_epi32(_mm_madd_epi16(h1, w), 11));
    }
    add_rows(dst, stride, r);
}

inline bool within(int32_t c, int32_t m) { return c >= -m && c <= m; }

} // namespace

void idct8x8_single_add_ssse3(uint8_t *dst, int32_t *coef, int index, int32_t stride)
{
    const int32_t c = coef[index];
    // Beyond this the horizontal pass leaves 16 bits (12 * 21845 >> 3 = 32767).
    if (!within(c, 21845)) {
        idct8x8_add_ssse3(dst, coef, stride);
        return;
    }
    single_row_pass(dst, stride, single_column(index >> 3, c), index & 7);
}

void idct8x8_pair_add_ssse3(uint8_t *dst, int32_t *coef, int i0, int i1, int32_t stride)
{
    const int32_t c0 = coef[i0], c1 = coef[i1];
    const int u0 = i0 >> 3, v0 = i0 & 7, u1 = i1 >> 3, v1 = i1 & 7;
    if (v0 == v1) {
        // One column: the two products add before the shift (24 * 10922 >> 3 = 32766).
        if (!within(c0, 10922) || !within(c1, 10922)) {
            idct8x8_add_ssse3(dst, coef, stride);
            return;
        }
        const __m128i col0 = _mm_load_si128(reinterpret_cast<const __m128i *>(single.columns[u0]));
        const __m128i col1 = _mm_load_si128(reinterpret_cast<const __m128i *>(single.columns[u1]));
        const __m128i cc = _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(c1) << 16) | static_cast<uint16_t>(c0)));
        const __m128i h = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(col0, col1), cc), 3),
                                          _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(col0, col1), cc), 3));
        single_row_pass(dst, stride, h, v0);
        return;
    }
    if (!within(c0, 21845) || !within(c1, 21845)) {
        idct8x8_add_ssse3(dst, coef, stride);
        return;
    }
    // Lanes x of (h of column v0, h of column v1) pairs, weighted per row by the basis
    // weights of v0 and v1 for that row.
    const __m128i h0 = single_column(u0, c0), h1 = single_column(u1, c1);
    const __m128i hl = _mm_unpacklo_epi16(h0, h1), hh = _mm_unpackhi_epi16(h0, h1);
    const __m128i w0 = _mm_load_si128(reinterpret_cast<const __m128i *>(single.columns[v0]));
    const __m128i w1 = _mm_load_si128(reinterpret_cast<const __m128i *>(single.columns[v1]));
    const __m128i wl = _mm_unpacklo_epi16(w0, w1), wh = _mm_unpackhi_epi16(w0, w1);
    const __m128i round = _mm_set1_epi32(1024);
    __m128i r[8];
    #pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        const __m128i src = y < 4 ? wl : wh;
        __m128i w;
        switch (y & 3) {
        case 0: w = _mm_shuffle_epi32(src, 0x00); break;
        case 1: w = _mm_shuffle_epi32(src, 0x55); break;
        case 2: w = _mm_shuffle_epi32(src, 0xAA); break;
        default: w = _mm_shuffle_epi32(src, 0xFF); break;
        }
        r[y] = _mm_packs_epi32(_mm_srai_epi32(add(_mm_madd_epi16(hl, w), round), 11),
                               _mm_srai_epi32(add(_mm_madd_epi16(hh, w), round), 11));
    }
    add_rows(dst, stride, r);
}

// Constant residual: a saturating add or subtract of |r| per byte is the clipped sum.
template <int N>
static void dc_add_ssse3(uint8_t *dst, int32_t r, int32_t stride)
{
    const __m128i v = _mm_set1_epi8(static_cast<char>(r < 0 ? -r : r));
    for (int y = 0; y < N; ++y, dst += stride) {
        __m128i row;
        if constexpr (N == 8) {
            row = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(dst));
        } else {
            int32_t w;
            std::memcpy(&w, dst, sizeof w);
            row = _mm_cvtsi32_si128(w);
        }
        row = r < 0 ? _mm_subs_epu8(row, v) : _mm_adds_epu8(row, v);
        if constexpr (N == 8) {
            _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), row);
        } else {
            const int32_t w = _mm_cvtsi128_si32(row);
            std::memcpy(dst, &w, sizeof w);
        }
    }
}

void idct_dc_add8x8_ssse3(uint8_t *dst, int32_t r, int32_t stride) { dc_add_ssse3<8>(dst, r, stride); }
void idct_dc_add4x4_ssse3(uint8_t *dst, int32_t r, int32_t stride) { dc_add_ssse3<4>(dst, r, stride); }
