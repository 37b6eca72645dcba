// SSSE3 deblocking edge filters for 8-bit pictures. Luma filters 16 lines at once in byte
// lanes, chroma 8 lines in 16-bit lanes, or the 8 lines of both planes in byte lanes;
// vertical edges are transposed into the layout of a horizontal edge and back. Every result equals the portable kernels' exact integer formula.
#include <tmmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "deblock.h"

namespace {

// Samples across the edge, indexed like the rows above and below a horizontal edge.
enum { P3, P2, P1, P0, Q0, Q1, Q2, Q3, EDGE_ROWS };

inline __m128i pick(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// ---- byte lanes (luma) ----

inline __m128i bytes(int v) { return _mm_set1_epi8(static_cast<char>(v)); }

inline __m128i absdiff8(__m128i a, __m128i b)
{
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

// All-ones lanes where d <= limit (unsigned bytes).
inline __m128i at_most8(__m128i d, __m128i limit)
{
    return _mm_cmpeq_epi8(_mm_subs_epu8(d, limit), _mm_setzero_si128());
}

// Rounding averages overshoot the exact rounded mean by at most one; the exact result's low
// bit is bit `shift` of the rounded sum, which the byte sum modulo 256 still holds.
inline __m128i fix_low_bit(__m128i approx, __m128i sum, int shift)
{
    const __m128i one = bytes(1);
    const __m128i bit = _mm_and_si128(_mm_srli_epi16(sum, shift), one);
    return _mm_sub_epi8(approx, _mm_and_si128(_mm_xor_si128(approx, bit), one));
}

// (a + b + c + d + 2) >> 2
inline __m128i mean4(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i approx = _mm_avg_epu8(_mm_avg_epu8(a, b), _mm_avg_epu8(c, d));
    const __m128i sum = _mm_add_epi8(_mm_add_epi8(_mm_add_epi8(a, b), _mm_add_epi8(c, d)), bytes(2));
    return fix_low_bit(approx, sum, 2);
}

struct LumaLimits {
    __m128i alpha_m1;   // alpha - 1: a difference d passes when d <= alpha - 1
    __m128i beta_m1;
    __m128i small_max;  // (alpha >> 2) + 1: the largest step the strong filter treats as small
};

LumaLimits luma_limits(int32_t alpha, int32_t beta)
{
    return {bytes(std::min(alpha, 256) - 1), bytes(std::min(beta, 256) - 1),
            bytes(std::min((alpha >> 2) + 1, 255))};
}

inline __m128i luma_gate(const __m128i r[EDGE_ROWS], const LumaLimits &lim)
{
    return _mm_and_si128(at_most8(absdiff8(r[P0], r[Q0]), lim.alpha_m1),
                         _mm_and_si128(at_most8(absdiff8(r[P1], r[P0]), lim.beta_m1),
                                       at_most8(absdiff8(r[Q1], r[Q0]), lim.beta_m1)));
}

// Two bytes (one per half of the edge) spread over lanes 0..7 and 8..15.
inline __m128i spread_halves(const uint8_t pair[2])
{
    const __m128i halves = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    return _mm_shuffle_epi8(_mm_cvtsi32_si128(pair[0] | pair[1] << 8), halves);
}

// The normal filter's change of p0 and q0 where gate is set, clipped to tc, as its positive
// (up: p0 rises, q0 falls) and negative parts.
__attribute__((always_inline)) inline void normal_step(const __m128i r[EDGE_ROWS], __m128i gate, __m128i tc,
                                                       __m128i *up_out, __m128i *down_out)
{
    const __m128i one = bytes(1);
    // delta = (4(q0 - p0) + (p1 - q1) + 4) >> 3 = (q0 - p0) >> 1 + t - 32 with
    // t = (((p1 - q1) >> 2) + 64 + ((q0 - p0) & 1) + 1) >> 1, so delta = m + t - 160 with
    // m = ((q0 - p0) >> 1) + 128; it is split into its positive and negative parts.
    const __m128i ones = _mm_cmpeq_epi8(one, one);
    const __m128i m = _mm_avg_epu8(r[Q0], _mm_xor_si128(r[P0], ones));
    const __m128i h = _mm_avg_epu8(r[P1], _mm_xor_si128(r[Q1], ones)); // ((p1 - q1) >> 1) + 128
    const __m128i quarter = _mm_and_si128(_mm_srli_epi16(h, 1), bytes(0x7F));
    const __m128i t = _mm_avg_epu8(quarter, _mm_and_si128(_mm_xor_si128(r[P0], r[Q0]), one));
    const __m128i u = _mm_sub_epi8(bytes(160), t);
    *up_out = _mm_and_si128(_mm_min_epu8(_mm_subs_epu8(m, u), tc), gate);
    *down_out = _mm_and_si128(_mm_min_epu8(_mm_subs_epu8(u, m), tc), gate);
}

// Normal filter; `on` marks the lines of halves with a non-zero strength. False when no line
// passes the gate: r is left as it was.
__attribute__((always_inline)) inline bool luma_normal(__m128i r[EDGE_ROWS], const LumaLimits &lim, __m128i on, __m128i tc0)
{
    const __m128i one = bytes(1);
    const __m128i gate = _mm_and_si128(luma_gate(r, lim), on);
    if (_mm_movemask_epi8(gate) == 0)
        return false;
    const __m128i ap = _mm_and_si128(at_most8(absdiff8(r[P2], r[P0]), lim.beta_m1), gate);
    const __m128i aq = _mm_and_si128(at_most8(absdiff8(r[Q2], r[Q0]), lim.beta_m1), gate);
    const __m128i tc = _mm_adds_epu8(_mm_adds_epu8(tc0, _mm_and_si128(ap, one)), _mm_and_si128(aq, one));

    __m128i up, down;
    normal_step(r, gate, tc, &up, &down);

    const __m128i p1 = mean4(r[P3], r[P2], r[P0], r[Q0]);
    const __m128i q1 = mean4(r[Q3], r[Q2], r[Q0], r[P0]);
    const __m128i p1_clipped = _mm_min_epu8(_mm_max_epu8(p1, _mm_subs_epu8(r[P1], tc0)), _mm_adds_epu8(r[P1], tc0));
    const __m128i q1_clipped = _mm_min_epu8(_mm_max_epu8(q1, _mm_subs_epu8(r[Q1], tc0)), _mm_adds_epu8(r[Q1], tc0));

    r[P0] = _mm_subs_epu8(_mm_adds_epu8(r[P0], up), down);
    r[Q0] = _mm_adds_epu8(_mm_subs_epu8(r[Q0], up), down);
    r[P1] = pick(ap, p1_clipped, r[P1]);
    r[Q1] = pick(aq, q1_clipped, r[Q1]);
    return true;
}

// Strong filter of every line; false as for luma_normal.
__attribute__((always_inline)) inline bool luma_strong(__m128i r[EDGE_ROWS], const LumaLimits &lim)
{
    const __m128i gate = luma_gate(r, lim);
    if (_mm_movemask_epi8(gate) == 0)
        return false;
    const __m128i small = _mm_and_si128(at_most8(absdiff8(r[P0], r[Q0]), lim.small_max), gate);
    const __m128i full_p = _mm_and_si128(at_most8(absdiff8(r[P2], r[P0]), lim.beta_m1), small);
    const __m128i full_q = _mm_and_si128(at_most8(absdiff8(r[Q2], r[Q0]), lim.beta_m1), small);
    const __m128i p3 = r[P3], p2 = r[P2], p1 = r[P1], p0 = r[P0];
    const __m128i q0 = r[Q0], q1 = r[Q1], q2 = r[Q2], q3 = r[Q3];

    // The averaging trees of mean4 and mean8 with their repeated inputs folded (avg(x, x) is x)
    // and shared terms computed once; sums only need their low bits.
    auto avg = [](__m128i a, __m128i b) { return _mm_avg_epu8(a, b); };
    auto add = [](__m128i a, __m128i b) { return _mm_add_epi8(a, b); };
    const __m128i avg_pq = avg(p0, q0), sum_pq = add(p0, q0);
    const __m128i two = bytes(2), four = bytes(4);

    // (2p1 + p0 + q1 + 2) >> 2 and (2q1 + q0 + p1 + 2) >> 2
    const __m128i p0_one = pick(gate, fix_low_bit(avg(p1, avg(p0, q1)), add(add(p1, p1), add(add(p0, q1), two)), 2), p0);
    const __m128i q0_one = pick(gate, fix_low_bit(avg(q1, avg(q0, p1)), add(add(q1, q1), add(add(q0, p1), two)), 2), q0);

    const __m128i avg_p21 = avg(p2, p1), sum_p21 = add(p2, p1);
    const __m128i avg_q21 = avg(q2, q1), sum_q21 = add(q2, q1);
    // (p2 + p1 + p0 + q0 + 2) >> 2
    const __m128i sum_p4 = add(sum_p21, sum_pq);
    r[P1] = pick(full_p, fix_low_bit(avg(avg_p21, avg_pq), add(sum_p4, two), 2), p1);
    // (p2 + p1 + 3p0 + 2q0 + q1 + 4) >> 3
    r[P0] = pick(full_p,
                 fix_low_bit(avg(avg(avg_p21, p0), avg(avg_pq, avg(q0, q1))),
                             add(add(sum_p4, sum_pq), add(add(p0, q1), four)), 3),
                 p0_one);
    // (2p3 + 2p2 + 2p1 + p0 + q0 + 4) >> 3
    const __m128i sum_p321 = add(p3, sum_p21);
    r[P2] = pick(full_p, fix_low_bit(avg(avg(p3, p2), avg(p1, avg_pq)), add(add(sum_p321, sum_p321), add(sum_pq, four)), 3),
                 p2);

    const __m128i sum_q4 = add(sum_q21, sum_pq);
    r[Q1] = pick(full_q, fix_low_bit(avg(avg_q21, avg_pq), add(sum_q4, two), 2), q1);
    r[Q0] = pick(full_q,
                 fix_low_bit(avg(avg(avg_q21, q0), avg(avg_pq, avg(p0, p1))),
                             add(add(sum_q4, sum_pq), add(add(q0, p1), four)), 3),
                 q0_one);
    const __m128i sum_q321 = add(q3, sum_q21);
    r[Q2] = pick(full_q, fix_low_bit(avg(avg(q3, q2), avg(q1, avg_pq)), add(add(sum_q321, sum_q321), add(sum_pq, four)), 3),
                 q2);
    return true;
}

// ---- both chroma planes in byte lanes: lines 0..7 of cb, then lines 0..7 of cr ----
// Only p0 and q0 change; the formulas are those of luma's p0 and q0.

// Two bytes (one per half of a chroma edge) over lanes 0..3 and 4..7 of each plane.
inline __m128i spread_quarters(const uint8_t pair[2])
{
    const __m128i quarters = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1);
    return _mm_shuffle_epi8(_mm_cvtsi32_si128(pair[0] | pair[1] << 8), quarters);
}

__attribute__((always_inline)) inline void chroma_normal8(__m128i r[EDGE_ROWS], const LumaLimits &lim, __m128i on,
                                                          __m128i tc0)
{
    const __m128i gate = _mm_and_si128(luma_gate(r, lim), on);
    __m128i up, down;
    // tc0 + 1 saturates only where it exceeds every possible step.
    normal_step(r, gate, _mm_adds_epu8(tc0, bytes(1)), &up, &down);
    r[P0] = _mm_subs_epu8(_mm_adds_epu8(r[P0], up), down);
    r[Q0] = _mm_adds_epu8(_mm_subs_epu8(r[Q0], up), down);
}

__attribute__((always_inline)) inline void chroma_strong8(__m128i r[EDGE_ROWS], const LumaLimits &lim)
{
    const __m128i gate = luma_gate(r, lim);
    const __m128i small = _mm_and_si128(at_most8(absdiff8(r[P0], r[Q0]), lim.small_max), gate);
    const __m128i full_p = _mm_and_si128(at_most8(absdiff8(r[P2], r[P0]), lim.beta_m1), small);
    const __m128i full_q = _mm_and_si128(at_most8(absdiff8(r[Q2], r[Q0]), lim.beta_m1), small);
    const __m128i p2 = r[P2], p1 = r[P1], p0 = r[P0], q0 = r[Q0], q1 = r[Q1], q2 = r[Q2];
    auto avg = [](__m128i a, __m128i b) { return _mm_avg_epu8(a, b); };
    auto add = [](__m128i a, __m128i b) { return _mm_add_epi8(a, b); };
    const __m128i avg_pq = avg(p0, q0), sum_pq = add(p0, q0);
    const __m128i two = bytes(2), four = bytes(4);
    const __m128i p0_one = pick(gate, fix_low_bit(avg(p1, avg(p0, q1)), add(add(p1, p1), add(add(p0, q1), two)), 2), p0);
    const __m128i q0_one = pick(gate, fix_low_bit(avg(q1, avg(q0, p1)), add(add(q1, q1), add(add(q0, p1), two)), 2), q0);
    const __m128i sum_p4 = add(add(p2, p1), sum_pq), sum_q4 = add(add(q2, q1), sum_pq);
    r[P0] = pick(full_p,
                 fix_low_bit(avg(avg(avg(p2, p1), p0), avg(avg_pq, avg(q0, q1))),
                             add(add(sum_p4, sum_pq), add(add(p0, q1), four)), 3),
                 p0_one);
    r[Q0] = pick(full_q,
                 fix_low_bit(avg(avg(avg(q2, q1), q0), avg(avg_pq, avg(p0, p1))),
                             add(add(sum_q4, sum_pq), add(add(q0, p1), four)), 3),
                 q0_one);
}

enum class Pass { skip, normal, strong };

inline Pass edge_pass(int32_t alpha, int32_t beta, const uint8_t *strength)
{
    if (alpha <= 0 || beta <= 0)
        return Pass::skip;   // no line can pass the gate
    if (strength[0] == 3)
        return Pass::strong;
    return (strength[0] | strength[1]) ? Pass::normal : Pass::skip;
}

// Inlined into each kernel with the pass fixed, so that the rows stay in registers. False
// when no line changes: nothing needs to be written back.
template <Pass pass>
__attribute__((always_inline)) inline bool luma_filter(__m128i r[EDGE_ROWS], int32_t alpha, int32_t beta,
                                                       const uint8_t *clip, const uint8_t *strength)
{
    const LumaLimits lim = luma_limits(alpha, beta);
    if constexpr (pass == Pass::strong) {
        return luma_strong(r, lim);
    } else {
        const __m128i on = _mm_xor_si128(_mm_cmpeq_epi8(spread_halves(strength), _mm_setzero_si128()), bytes(-1));
        return luma_normal(r, lim, on, spread_halves(clip));
    }
}

// 8x8 byte transpose. Source row i is the low (or high) 8 bytes of in[i]; out[k] holds
// column 2k in its low 8 bytes and column 2k + 1 in its high 8 bytes.
template <bool High>
inline void transpose8x8(const __m128i in[8], __m128i out[4])
{
    auto interleave = [](__m128i a, __m128i b) { return High ? _mm_unpackhi_epi8(a, b) : _mm_unpacklo_epi8(a, b); };
    const __m128i t0 = interleave(in[0], in[1]);
    const __m128i t1 = interleave(in[2], in[3]);
    const __m128i t2 = interleave(in[4], in[5]);
    const __m128i t3 = interleave(in[6], in[7]);
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1);
    const __m128i u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3);
    const __m128i u3 = _mm_unpackhi_epi16(t2, t3);
    out[0] = _mm_unpacklo_epi32(u0, u2);
    out[1] = _mm_unpackhi_epi32(u0, u2);
    out[2] = _mm_unpacklo_epi32(u1, u3);
    out[3] = _mm_unpackhi_epi32(u1, u3);
}

inline __m128i load8(const uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }
inline void store8(uint8_t *p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v); }
// The high 8 bytes of v.
inline void store8_high(uint8_t *p, __m128i v) { _mm_storeh_pi(reinterpret_cast<__m64 *>(p), _mm_castsi128_ps(v)); }
inline void store4(uint8_t *p, __m128i v)
{
    const int32_t bits = _mm_cvtsi128_si32(v);
    std::memcpy(p, &bits, sizeof bits);
}
inline __m128i load16(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store16(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

// Stores 16-bit lane K of v (two samples) at p.
template <int K>
inline void store_pair(uint8_t *p, __m128i v, std::integral_constant<int, K>)
{
    const uint16_t pair = static_cast<uint16_t>(_mm_extract_epi16(v, K));
    std::memcpy(p, &pair, sizeof pair);
}

template <Pass pass>
__attribute__((always_inline)) inline void luma_h(uint8_t *pix, ptrdiff_t s, int32_t alpha, int32_t beta,
                                                  const uint8_t *clip, const uint8_t *strength)
{
    __m128i r[EDGE_ROWS];
#pragma GCC unroll 16
    for (int i = 0; i < EDGE_ROWS; ++i)
        r[i] = load16(pix + (i - Q0) * s);
    if (!luma_filter<pass>(r, alpha, beta, clip, strength))
        return;
    constexpr int first = pass == Pass::strong ? P2 : P1;
#pragma GCC unroll 16
    for (int i = first; i < EDGE_ROWS - first; ++i)
        store16(pix + (i - Q0) * s, r[i]);
}

template <Pass pass>
__attribute__((always_inline)) inline void luma_v(uint8_t *pix, ptrdiff_t s, int32_t alpha, int32_t beta,
                                                  const uint8_t *clip, const uint8_t *strength)
{
    uint8_t *left = pix - 4;
    __m128i rows[16];
#pragma GCC unroll 16
    for (int y = 0; y < 16; ++y)
        rows[y] = load8(left + y * s);
    __m128i top[4], bottom[4];
    transpose8x8<false>(rows, top);
    transpose8x8<false>(rows + 8, bottom);
    // r[k]: column k - 4 of all 16 lines
    __m128i r[EDGE_ROWS];
#pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
        r[2 * k] = _mm_unpacklo_epi64(top[k], bottom[k]);
        r[2 * k + 1] = _mm_unpackhi_epi64(top[k], bottom[k]);
    }
    if (!luma_filter<pass>(r, alpha, beta, clip, strength))
        return;
    if constexpr (pass == Pass::normal) {
        // Only p1..q1 change: four bytes per line, lines 4k..4k+3 in quads[k].
        const __m128i a_lo = _mm_unpacklo_epi8(r[P1], r[P0]), b_lo = _mm_unpacklo_epi8(r[Q0], r[Q1]);
        const __m128i a_hi = _mm_unpackhi_epi8(r[P1], r[P0]), b_hi = _mm_unpackhi_epi8(r[Q0], r[Q1]);
        const __m128i quads[4] = {_mm_unpacklo_epi16(a_lo, b_lo), _mm_unpackhi_epi16(a_lo, b_lo),
                                  _mm_unpacklo_epi16(a_hi, b_hi), _mm_unpackhi_epi16(a_hi, b_hi)};
        uint8_t *at = pix - 2;
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++k, at += 4 * s) {
            store4(at, quads[k]);
            store4(at + s, _mm_shuffle_epi32(quads[k], 1));
            store4(at + 2 * s, _mm_shuffle_epi32(quads[k], 2));
            store4(at + 3 * s, _mm_shuffle_epi32(quads[k], 3));
        }
        return;
    }
    __m128i pairs[4];
    transpose8x8<false>(r, pairs);
#pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
        store8(left + 2 * k * s, pairs[k]);
        store8_high(left + (2 * k + 1) * s, pairs[k]);
    }
    transpose8x8<true>(r, pairs);
#pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
        store8(left + (8 + 2 * k) * s, pairs[k]);
        store8_high(left + (9 + 2 * k) * s, pairs[k]);
    }
}

// Normal filter of the 8 lines of one half of a vertical edge (the other half has strength 0):
// one transpose each way, the columns in the low 8 lanes.
__attribute__((always_inline)) inline void luma_v_half(uint8_t *pix, ptrdiff_t s, int32_t alpha, int32_t beta,
                                                       uint8_t clip)
{
    uint8_t *left = pix - 4;
    __m128i rows[8];
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        rows[y] = load8(left + y * s);
    __m128i cols[4];
    transpose8x8<false>(rows, cols);
    __m128i r[EDGE_ROWS];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        r[2 * k] = cols[k];
        r[2 * k + 1] = _mm_unpackhi_epi64(cols[k], cols[k]);
    }
    const __m128i low_lanes = _mm_setr_epi32(-1, -1, 0, 0);
    if (!luma_normal(r, luma_limits(alpha, beta), low_lanes, bytes(clip)))
        return;
    const __m128i a = _mm_unpacklo_epi8(r[P1], r[P0]), b = _mm_unpacklo_epi8(r[Q0], r[Q1]);
    const __m128i quads[2] = {_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b)};
    uint8_t *at = pix - 2;
#pragma GCC unroll 2
    for (int k = 0; k < 2; ++k, at += 4 * s) {
        store4(at, quads[k]);
        store4(at + s, _mm_shuffle_epi32(quads[k], 1));
        store4(at + 2 * s, _mm_shuffle_epi32(quads[k], 2));
        store4(at + 3 * s, _mm_shuffle_epi32(quads[k], 3));
    }
}

} // namespace

void deblock_luma_h_ssse3(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength)
{
    const Pass pass = edge_pass(alpha, beta, strength);
    if (pass == Pass::strong)
        luma_h<Pass::strong>(pix, stride, alpha, beta, clip, strength);
    else if (pass == Pass::normal)
        luma_h<Pass::normal>(pix, stride, alpha, beta, clip, strength);
}

void deblock_luma_v_ssse3(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength)
{
    const Pass pass = edge_pass(alpha, beta, strength);
    if (pass == Pass::strong) {
        luma_v<Pass::strong>(pix, stride, alpha, beta, clip, strength);
        return;
    }
    if (pass == Pass::skip)
        return;
    // Residual in one 8x8 block leaves half of the edge unfiltered.
    if (strength[1] == 0)
        luma_v_half(pix, stride, alpha, beta, clip[0]);
    else if (strength[0] == 0)
        luma_v_half(pix + 8 * static_cast<ptrdiff_t>(stride), stride, alpha, beta, clip[1]);
    else
        luma_v<Pass::normal>(pix, stride, alpha, beta, clip, strength);
}

namespace {

inline __m128i load_two8(const uint8_t *lo, const uint8_t *hi)
{
    return _mm_castps_si128(_mm_loadh_pi(_mm_castsi128_ps(load8(lo)), reinterpret_cast<const __m64 *>(hi)));
}

inline void store_two8(uint8_t *lo, uint8_t *hi, __m128i v)
{
    store8(lo, v);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(hi), _mm_castsi128_ps(v));
}

template <Pass pass>
__attribute__((always_inline)) inline void chroma_pair_filter(__m128i r[EDGE_ROWS], int32_t alpha, int32_t beta,
                                                              const uint8_t *clip, const uint8_t *strength)
{
    const LumaLimits lim = luma_limits(alpha, beta);
    if constexpr (pass == Pass::strong) {
        chroma_strong8(r, lim);
    } else {
        const __m128i on = _mm_xor_si128(_mm_cmpeq_epi8(spread_quarters(strength), _mm_setzero_si128()), bytes(-1));
        chroma_normal8(r, lim, on, spread_quarters(clip));
    }
}

template <Pass pass>
__attribute__((always_inline)) inline void chroma_pair_h(uint8_t *cb, uint8_t *cr, ptrdiff_t s, int32_t alpha,
                                                         int32_t beta, const uint8_t *clip, const uint8_t *strength)
{
    // p2 and q2 are read only by the strong filter.
    constexpr int first = pass == Pass::strong ? P2 : P1;
    __m128i r[EDGE_ROWS];
    r[P3] = r[Q3] = r[P2] = r[Q2] = _mm_setzero_si128();
#pragma GCC unroll 16
    for (int i = first; i < EDGE_ROWS - first; ++i)
        r[i] = load_two8(cb + (i - Q0) * s, cr + (i - Q0) * s);
    chroma_pair_filter<pass>(r, alpha, beta, clip, strength);
    store_two8(cb - s, cr - s, r[P0]);
    store_two8(cb, cr, r[Q0]);
}

// Gathers columns -2..1 of 8 lines: p1 (low 8 bytes) and p0 (high) in *p, q0 and q1 in *q.
inline void gather4(const uint8_t *left, ptrdiff_t s, __m128i *p, __m128i *q)
{
    auto line = [left, s](int y) {
        int32_t v;
        std::memcpy(&v, left + y * s, sizeof v);
        return _mm_cvtsi32_si128(v);
    };
    const __m128i a01 = _mm_unpacklo_epi8(line(0), line(1)), a23 = _mm_unpacklo_epi8(line(2), line(3));
    const __m128i a45 = _mm_unpacklo_epi8(line(4), line(5)), a67 = _mm_unpacklo_epi8(line(6), line(7));
    const __m128i b0 = _mm_unpacklo_epi16(a01, a23), b1 = _mm_unpacklo_epi16(a45, a67);
    *p = _mm_unpacklo_epi32(b0, b1);
    *q = _mm_unpackhi_epi32(b0, b1);
}

// Stores the p0 q0 pair of lines 0..7 (16-bit lanes of pairs) at columns -1..0.
inline void scatter2(uint8_t *pix, ptrdiff_t s, __m128i pairs)
{
    uint8_t *at = pix - 1;
    store_pair(at, pairs, std::integral_constant<int, 0>{});
    store_pair(at + s, pairs, std::integral_constant<int, 1>{});
    store_pair(at + 2 * s, pairs, std::integral_constant<int, 2>{});
    store_pair(at + 3 * s, pairs, std::integral_constant<int, 3>{});
    store_pair(at + 4 * s, pairs, std::integral_constant<int, 4>{});
    store_pair(at + 5 * s, pairs, std::integral_constant<int, 5>{});
    store_pair(at + 6 * s, pairs, std::integral_constant<int, 6>{});
    store_pair(at + 7 * s, pairs, std::integral_constant<int, 7>{});
}

template <Pass pass>
__attribute__((always_inline)) inline void chroma_pair_v(uint8_t *cb, uint8_t *cr, ptrdiff_t s, int32_t alpha,
                                                         int32_t beta, const uint8_t *clip, const uint8_t *strength)
{
    __m128i r[EDGE_ROWS];
    r[P3] = r[Q3] = r[P2] = r[Q2] = _mm_setzero_si128();
    if constexpr (pass == Pass::strong) {
        __m128i rows[16];
#pragma GCC unroll 16
        for (int y = 0; y < 8; ++y) {
            rows[y] = load8(cb - 4 + y * s);
            rows[8 + y] = load8(cr - 4 + y * s);
        }
        __m128i top[4], bottom[4];   // columns 2k - 4 and 2k - 3 of cb, of cr
        transpose8x8<false>(rows, top);
        transpose8x8<false>(rows + 8, bottom);
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++k) {
            r[2 * k] = _mm_unpacklo_epi64(top[k], bottom[k]);
            r[2 * k + 1] = _mm_unpackhi_epi64(top[k], bottom[k]);
        }
    } else {
        __m128i p_cb, q_cb, p_cr, q_cr;
        gather4(cb - 2, s, &p_cb, &q_cb);
        gather4(cr - 2, s, &p_cr, &q_cr);
        r[P1] = _mm_unpacklo_epi64(p_cb, p_cr);
        r[P0] = _mm_unpackhi_epi64(p_cb, p_cr);
        r[Q0] = _mm_unpacklo_epi64(q_cb, q_cr);
        r[Q1] = _mm_unpackhi_epi64(q_cb, q_cr);
    }
    chroma_pair_filter<pass>(r, alpha, beta, clip, strength);
    scatter2(cb, s, _mm_unpacklo_epi8(r[P0], r[Q0]));
    scatter2(cr, s, _mm_unpackhi_epi8(r[P0], r[Q0]));
}

} // namespace

void deblock_chroma_pair_h_ssse3(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength)
{
    const Pass pass = edge_pass(alpha, beta, strength);
    if (pass == Pass::strong)
        chroma_pair_h<Pass::strong>(cb, cr, stride, alpha, beta, clip, strength);
    else if (pass == Pass::normal)
        chroma_pair_h<Pass::normal>(cb, cr, stride, alpha, beta, clip, strength);
}

void deblock_chroma_pair_v_ssse3(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength)
{
    const Pass pass = edge_pass(alpha, beta, strength);
    if (pass == Pass::strong)
        chroma_pair_v<Pass::strong>(cb, cr, stride, alpha, beta, clip, strength);
    else if (pass == Pass::normal)
        chroma_pair_v<Pass::normal>(cb, cr, stride, alpha, beta, clip, strength);
}
