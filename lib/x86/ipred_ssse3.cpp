// SSSE3 forms of the 8-bit intra prediction kernels. Each yields exactly the samples of its
// portable twin in ipred_tmpl.cpp. The neighbour loads read fixed runs of 4, 8 or 16 bytes:
//   4x4: top/left elements 0..7 (DNLF: 1..12), 8x8: 0..15 (DNLF: 1..24);
// callers keep the arrays readable that far (13, 25 and 16 bytes for 4x4, 8x8 luma and chroma).
#include <tmmintrin.h>

#include <cstddef>
#include <cstring>

#include "ipred.h"

namespace {

inline uint8_t *row_ptr(uint8_t *dst, int32_t stride, int y)
{
    return dst + ptrdiff_t(y) * stride;
}

inline __m128i load4(const uint8_t *p)
{
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return _mm_cvtsi32_si128(v);
}

inline __m128i load8(const uint8_t *p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

inline __m128i load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline void store4(uint8_t *p, __m128i v)
{
    const int32_t bits = _mm_cvtsi128_si32(v);
    std::memcpy(p, &bits, sizeof bits);
}

inline void store8(uint8_t *p, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

// Bytes 8..15 of v.
inline void store8_high(uint8_t *p, __m128i v)
{
    store8(p, _mm_srli_si128(v, 8));
}

// Three-tap low-pass of the first ten bytes of a: lane k holds (a[k] + 2 a[k+1] + a[k+2] + 2) >> 2
// for k = 0..7, in 16-bit lanes.
inline __m128i lowpass8(__m128i a)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a0 = _mm_unpacklo_epi8(a, zero);
    const __m128i a1 = _mm_unpacklo_epi8(_mm_srli_si128(a, 1), zero);
    const __m128i a2 = _mm_unpacklo_epi8(_mm_srli_si128(a, 2), zero);
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(a0, a2), _mm_add_epi16(_mm_add_epi16(a1, a1), _mm_set1_epi16(2)));
    return _mm_srli_epi16(sum, 2);
}

// The same low-pass in bytes, lane k for k = 0..13: with h = floor((a[k] + a[k+2]) / 2), the
// rounded mean of h and a[k+1] equals (a[k] + 2 a[k+1] + a[k+2] + 2) >> 2.
inline __m128i lowpass_bytes(__m128i a)
{
    const __m128i c = _mm_srli_si128(a, 2);
    const __m128i h = _mm_sub_epi8(_mm_avg_epu8(a, c), _mm_and_si128(_mm_xor_si128(a, c), _mm_set1_epi8(1)));
    return _mm_avg_epu8(h, _mm_srli_si128(a, 1));
}

// Byte k of `bytes` repeated at bytes 4k..4k+3 of the result, k = 0..3: one 4x4 row each.
inline __m128i spread4(__m128i bytes)
{
    const __m128i ctrl = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    return _mm_shuffle_epi8(bytes, ctrl);
}

inline void store_rows4(uint8_t *dst, int32_t stride, __m128i rows)
{
    store4(row_ptr(dst, stride, 0), rows);
    store4(row_ptr(dst, stride, 1), _mm_srli_si128(rows, 4));
    store4(row_ptr(dst, stride, 2), _mm_srli_si128(rows, 8));
    store4(row_ptr(dst, stride, 3), _mm_srli_si128(rows, 12));
}

inline void store_same4(uint8_t *dst, int32_t stride, __m128i row)
{
#pragma GCC unroll 4
    for (int y = 0; y < 4; ++y)
        store4(row_ptr(dst, stride, y), row);
}

inline void store_same8(uint8_t *dst, int32_t stride, __m128i row)
{
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        store8(row_ptr(dst, stride, y), row);
}

// Row y of an 8x8 block filled with byte y of `bytes` (y = 0..7).
inline void store_spread8(uint8_t *dst, int32_t stride, __m128i bytes)
{
    const __m128i pairs = _mm_unpacklo_epi8(bytes, bytes);
    const __m128i quads_lo = _mm_unpacklo_epi16(pairs, pairs);
    const __m128i quads_hi = _mm_unpackhi_epi16(pairs, pairs);
    const __m128i rows01 = _mm_unpacklo_epi32(quads_lo, quads_lo);
    const __m128i rows23 = _mm_unpackhi_epi32(quads_lo, quads_lo);
    const __m128i rows45 = _mm_unpacklo_epi32(quads_hi, quads_hi);
    const __m128i rows67 = _mm_unpackhi_epi32(quads_hi, quads_hi);
    store8(row_ptr(dst, stride, 0), rows01);
    store8_high(row_ptr(dst, stride, 1), rows01);
    store8(row_ptr(dst, stride, 2), rows23);
    store8_high(row_ptr(dst, stride, 3), rows23);
    store8(row_ptr(dst, stride, 4), rows45);
    store8_high(row_ptr(dst, stride, 5), rows45);
    store8(row_ptr(dst, stride, 6), rows67);
    store8_high(row_ptr(dst, stride, 7), rows67);
}

// Bytes 0..N-1: F_L(N-1) .. F_L(0); byte N: the corner (2 T[0] + T[1] + L[1] + 2) >> 2;
// bytes N+1..2N-1: F_T(0) .. F_T(N-2). Row y of a down-right block starts at byte N - y.
template <int N>
inline __m128i down_right_diagonal(__m128i t, __m128i l)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i ft = lowpass8(t);
    const __m128i fl = lowpass8(l);
    const __m128i t16 = _mm_unpacklo_epi8(t, zero);
    const __m128i l16 = _mm_unpacklo_epi8(l, zero);
    // Lane 0: L[1] + 2 T[0] + T[1] + 2.
    const __m128i corner_sum = _mm_add_epi16(_mm_add_epi16(_mm_srli_si128(l16, 2), _mm_add_epi16(t16, t16)),
                                             _mm_add_epi16(_mm_srli_si128(t16, 2), _mm_set1_epi16(2)));
    const __m128i corner = _mm_packus_epi16(_mm_srli_epi16(corner_sum, 2), zero);
    // Corner at byte 0, F_T(0..6) behind it.
    const __m128i right = _mm_alignr_epi8(_mm_packus_epi16(ft, zero), _mm_slli_si128(corner, 15), 15);
    // F_L(N-1) .. F_L(0) in bytes 0..N-1.
    const __m128i reverse = N == 4 ? _mm_setr_epi8(3, 2, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)
                                   : _mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i left = _mm_shuffle_epi8(_mm_packus_epi16(fl, zero), reverse);
    return N == 4 ? _mm_unpacklo_epi32(left, right) : _mm_unpacklo_epi64(left, right);
}

} // namespace

void intra_pred4x4_vert_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *, int32_t stride)
{
    store_same4(dst, stride, load4(top + 1));
}

void intra_pred4x4_horz_ssse3(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    store_rows4(dst, stride, spread4(load4(left + 1)));
}

void intra_pred4x4_lp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const __m128i ft = lowpass8(load8(top));
    const __m128i fl = lowpass8(load8(left));
    const __m128i ft2 = _mm_unpacklo_epi64(ft, ft);
    // Lanes 0..3 hold F_L(y), lanes 4..7 F_L(y + 1).
    const __m128i fl_pairs = _mm_unpacklo_epi16(fl, fl);
    const __m128i fl01 = _mm_unpacklo_epi32(fl_pairs, fl_pairs);
    const __m128i fl23 = _mm_unpackhi_epi32(fl_pairs, fl_pairs);
    const __m128i rows01 = _mm_srli_epi16(_mm_add_epi16(ft2, fl01), 1);
    const __m128i rows23 = _mm_srli_epi16(_mm_add_epi16(ft2, fl23), 1);
    store_rows4(dst, stride, _mm_packus_epi16(rows01, rows23));
}

void intra_pred4x4_dnlf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    // Elements 1..12 in bytes 0..11, read as 1..8 and 5..12.
    const __m128i t = _mm_unpacklo_epi64(load8(top + 1), _mm_srli_si128(load8(top + 5), 4));
    const __m128i l = _mm_unpacklo_epi64(load8(left + 1), _mm_srli_si128(load8(left + 5), 4));
    // Byte k: D(k + 1) = (F_T(k + 1) + F_L(k + 1)) >> 1, k = 0..7.
    const __m128i d = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lowpass8(t), lowpass8(l)), 1), _mm_setzero_si128());
    store4(row_ptr(dst, stride, 0), d);
    store4(row_ptr(dst, stride, 1), _mm_srli_si128(d, 1));
    store4(row_ptr(dst, stride, 2), _mm_srli_si128(d, 2));
    store4(row_ptr(dst, stride, 3), _mm_srli_si128(d, 3));
}

void intra_pred4x4_dnrh_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const __m128i diag = down_right_diagonal<4>(load8(top), load8(left));
    store4(row_ptr(dst, stride, 0), _mm_srli_si128(diag, 4));
    store4(row_ptr(dst, stride, 1), _mm_srli_si128(diag, 3));
    store4(row_ptr(dst, stride, 2), _mm_srli_si128(diag, 2));
    store4(row_ptr(dst, stride, 3), _mm_srli_si128(diag, 1));
}

void intra_pred4x4_lplf_ssse3(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    const __m128i fl = lowpass_bytes(load8(left));
    store_rows4(dst, stride, spread4(fl));
}

void intra_pred4x4_lptp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *, int32_t stride)
{
    store_same4(dst, stride, lowpass_bytes(load8(top)));
}

void intra_pred8x8_vert_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *, int32_t stride)
{
    store_same8(dst, stride, load8(top + 1));
}

void intra_pred8x8_horz_ssse3(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    store_spread8(dst, stride, load8(left + 1));
}

void intra_pred8x8_lp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const __m128i ft = lowpass8(load16(top));
    const __m128i fl = lowpass8(load16(left));
    // Broadcasts lane y of fl; advanced by one lane per row.
    __m128i pick = _mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1);
    const __m128i next = _mm_set1_epi8(2);
#pragma GCC unroll 4
    for (int y = 0; y < 8; y += 2) {
        const __m128i r0 = _mm_srli_epi16(_mm_add_epi16(ft, _mm_shuffle_epi8(fl, pick)), 1);
        pick = _mm_add_epi8(pick, next);
        const __m128i r1 = _mm_srli_epi16(_mm_add_epi16(ft, _mm_shuffle_epi8(fl, pick)), 1);
        pick = _mm_add_epi8(pick, next);
        const __m128i rows = _mm_packus_epi16(r0, r1);
        store8(row_ptr(dst, stride, y), rows);
        store8_high(row_ptr(dst, stride, y + 1), rows);
    }
}

void intra_pred8x8_dnlf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    // Elements 1..16 give F(1..8), elements 9..24 give F(9..16).
    const __m128i lo = _mm_add_epi16(lowpass8(load16(top + 1)), lowpass8(load16(left + 1)));
    const __m128i hi = _mm_add_epi16(lowpass8(load16(top + 9)), lowpass8(load16(left + 9)));
    // Byte k: D(k + 1), k = 0..15.
    __m128i d = _mm_packus_epi16(_mm_srli_epi16(lo, 1), _mm_srli_epi16(hi, 1));
#pragma GCC unroll 4
    for (int y = 0; y < 8; y += 2) {
        store8(row_ptr(dst, stride, y), d);
        store8(row_ptr(dst, stride, y + 1), _mm_srli_si128(d, 1));
        d = _mm_srli_si128(d, 2);
    }
}

void intra_pred8x8_dnrh_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const __m128i diag = down_right_diagonal<8>(load16(top), load16(left));
    store8(row_ptr(dst, stride, 0), _mm_srli_si128(diag, 8));
    store8(row_ptr(dst, stride, 1), _mm_srli_si128(diag, 7));
    store8(row_ptr(dst, stride, 2), _mm_srli_si128(diag, 6));
    store8(row_ptr(dst, stride, 3), _mm_srli_si128(diag, 5));
    store8(row_ptr(dst, stride, 4), _mm_srli_si128(diag, 4));
    store8(row_ptr(dst, stride, 5), _mm_srli_si128(diag, 3));
    store8(row_ptr(dst, stride, 6), _mm_srli_si128(diag, 2));
    store8(row_ptr(dst, stride, 7), _mm_srli_si128(diag, 1));
}

void intra_pred8x8_lplf_ssse3(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    store_spread8(dst, stride, lowpass_bytes(load16(left)));
}

void intra_pred_chroma_plane_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const __m128i t = load16(top);
    const __m128i l = load16(left);
    // Weights of elements 0..8: H = sum of i * (A[4 + i] - A[4 - i]), i = 1..4.
    const __m128i weights = _mm_setr_epi8(-4, -3, -2, -1, 0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0);
    const __m128i pairs = _mm_hadd_epi16(_mm_maddubs_epi16(t, weights), _mm_maddubs_epi16(l, weights));
    const __m128i quads = _mm_hadd_epi16(pairs, pairs);
    const __m128i sums = _mm_hadd_epi16(quads, quads);
    // |H|, |V| <= 2550: exact in 16 bits; 17 * H needs 32.
    const int h = int16_t(_mm_extract_epi16(sums, 0));
    const int v = int16_t(_mm_extract_epi16(sums, 1));
    const int gx = (17 * h + 16) >> 5;
    const int gy = (17 * v + 16) >> 5;
    // Every sum below lies within -10824..19016 (|gx|, |gy| <= 1355), inside 16-bit lanes.
    const int start = 16 * (top[8] + left[8]) + 16 - 3 * gy;
    __m128i acc = _mm_add_epi16(_mm_set1_epi16(int16_t(start)),
                                _mm_mullo_epi16(_mm_set1_epi16(int16_t(gx)), _mm_setr_epi16(-3, -2, -1, 0, 1, 2, 3, 4)));
    const __m128i step = _mm_set1_epi16(int16_t(gy));
#pragma GCC unroll 4
    for (int y = 0; y < 8; y += 2) {
        const __m128i r0 = _mm_srai_epi16(acc, 5);
        acc = _mm_add_epi16(acc, step);
        const __m128i r1 = _mm_srai_epi16(acc, 5);
        acc = _mm_add_epi16(acc, step);
        // Unsigned saturation clips to 0..255.
        const __m128i rows = _mm_packus_epi16(r0, r1);
        store8(row_ptr(dst, stride, y), rows);
        store8_high(row_ptr(dst, stride, y + 1), rows);
    }
}
