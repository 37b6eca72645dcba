// Portable motion-compensation kernels, written once over the sample type, the largest sample
// value and the put or average mode. Included only by the files that name the kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace mc {

enum class Tap { NONE, H, Q1, Q3 };

constexpr bool PUT = false;
constexpr bool AVG = true;

// One-dimensional filter sum around the output position; at(k) is the value k steps on.
//   H  half sample:          -1, 5, 5, -1       at -1 .. +2 (gain 8)
//   Q1 quarter sample:       -1, -2, 96, 42, -7 at -2 .. +2 (gain 128)
//   Q3 three-quarter sample: -7, 42, 96, -2, -1 at -1 .. +3 (gain 128)
template <Tap F, typename At>
inline int32_t tap_sum(At at)
{
    if constexpr (F == Tap::H)
        return -at(-1) + 5 * at(0) + 5 * at(1) - at(2);
    else if constexpr (F == Tap::Q1)
        return -at(-2) - 2 * at(-1) + 96 * at(0) + 42 * at(1) - 7 * at(2);
    else
        return -7 * at(-1) + 42 * at(0) + 96 * at(1) - 2 * at(2) - at(3);
}

template <typename pixel>
inline int32_t load(const uint8_t *p)
{
    return *reinterpret_cast<const pixel *>(p);
}

template <typename pixel, bool MODE>
inline void store(uint8_t *p, int32_t v)
{
    pixel *d = reinterpret_cast<pixel *>(p);
    if constexpr (MODE == AVG)
        *d = pixel((*d + v + 1) >> 1);
    else
        *d = pixel(v);
}

template <int32_t MAX>
inline int32_t clip(int32_t v)
{
    return v < 0 ? 0 : v > MAX ? MAX : v;
}

// 8x8 luma core. HF and VF are the horizontal and vertical filters (NONE: one-dimensional);
// DIAG averages the unrounded centre value with the full sample at src2, in one rounding.
// Two-dimensional forms filter the 13 source rows -2 .. 10 horizontally without rounding, then
// filter that down each column and round once.
template <typename pixel, int32_t MAX, bool MODE, Tap HF, Tap VF, bool DIAG = false>
void luma_core(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
               int32_t src_stride)
{
    constexpr ptrdiff_t ps = sizeof(pixel);
    const ptrdiff_t ss = src_stride;
    if constexpr (HF == Tap::NONE || VF == Tap::NONE) {
        for (int y = 0; y < 8; y++) {
            for (int x = 0; x < 8; x++) {
                const uint8_t *c = src + y * ss + x * ps;
                int32_t v;
                if constexpr (VF == Tap::NONE) {
                    const int32_t sum = tap_sum<HF>([c](int k) { return load<pixel>(c + k * ps); });
                    v = HF == Tap::H ? (sum + 4) >> 3 : (sum + 64) >> 7;
                } else {
                    const int32_t sum = tap_sum<VF>([c, ss](int k) { return load<pixel>(c + k * ss); });
                    v = VF == Tap::H ? (sum + 4) >> 3 : (sum + 64) >> 7;
                }
                store<pixel, MODE>(dst + y * ptrdiff_t(dst_stride) + x * ps, clip<MAX>(v));
            }
        }
    } else {
        int32_t t[13][8];
        for (int r = 0; r < 13; r++) {
            const uint8_t *row = src + (r - 2) * ss;
            for (int x = 0; x < 8; x++) {
                const uint8_t *c = row + x * ps;
                t[r][x] = tap_sum<HF>([c](int k) { return load<pixel>(c + k * ps); });
            }
        }
        for (int y = 0; y < 8; y++) {
            for (int x = 0; x < 8; x++) {
                auto down = [&t, x, y](int k) { return t[y + 2 + k][x]; };
                int32_t v;
                if constexpr (DIAG) {
                    const int32_t f = load<pixel>(src2 + y * ss + x * ps);
                    v = (tap_sum<Tap::H>(down) + 64 * f + 64) >> 7;
                } else if constexpr (HF == Tap::H && VF == Tap::H) {
                    v = (tap_sum<Tap::H>(down) + 32) >> 6;
                } else {
                    v = (tap_sum<VF>(down) + 512) >> 10;
                }
                store<pixel, MODE>(dst + y * ptrdiff_t(dst_stride) + x * ps, clip<MAX>(v));
            }
        }
    }
}

typedef void (*luma_core_fn)(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
typedef void (*luma_diag_fn)(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                             int32_t src_stride);

// An N x N entry: the 8x8 core on each quadrant, top-left, top-right, bottom-left, bottom-right.
template <typename pixel, int N>
inline void luma_blocks(luma_core_fn core, uint8_t *dst, const uint8_t *src, int32_t stride)
{
    for (int by = 0; by < N; by += 8)
        for (int bx = 0; bx < N; bx += 8) {
            const ptrdiff_t o = by * ptrdiff_t(stride) + bx * ptrdiff_t(sizeof(pixel));
            core(dst + o, src + o, stride, stride);
        }
}

template <typename pixel, int N>
inline void luma_blocks_diag(luma_diag_fn core, uint8_t *dst, const uint8_t *src, const uint8_t *src2,
                             int32_t stride)
{
    for (int by = 0; by < N; by += 8)
        for (int bx = 0; bx < N; bx += 8) {
            const ptrdiff_t o = by * ptrdiff_t(stride) + bx * ptrdiff_t(sizeof(pixel));
            core(dst + o, src + o, src2 + o, stride, stride);
        }
}

// Full-sample position: copy, or (D + S + 1) >> 1.
template <typename pixel, int N, bool MODE>
void luma_full(uint8_t *dst, const uint8_t *src, int32_t stride)
{
#pragma GCC unroll 16
    for (int y = 0; y < N; y++, dst += stride, src += stride) {
        if constexpr (MODE == PUT) {
            std::memcpy(dst, src, N * sizeof(pixel));
        } else {
            for (int x = 0; x < N; x++)
                store<pixel, AVG>(dst + x * sizeof(pixel), load<pixel>(src + x * sizeof(pixel)));
        }
    }
}

// Bilinear eighth-sample chroma prediction of a W x h block, weights (8-x)(8-y), x(8-y),
// (8-x)y and xy. With one fraction zero only the two samples along the other axis are read,
// with both zero only the sample itself; the values are those of the four-sample sum.
template <typename pixel, int W, bool MODE>
void chroma_mc(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x, int32_t y)
{
    constexpr ptrdiff_t ps = sizeof(pixel);
    const ptrdiff_t st = stride;
    const int32_t a = (8 - x) * (8 - y), b = x * (8 - y), c = (8 - x) * y, d = x * y;
    if (d) {
        for (int j = 0; j < h; j++, dst += st, src += st)
            for (int i = 0; i < W; i++) {
                const uint8_t *s = src + i * ps;
                const int32_t p = (a * load<pixel>(s) + b * load<pixel>(s + ps) + c * load<pixel>(s + st) +
                                   d * load<pixel>(s + st + ps) + 32) >> 6;
                store<pixel, MODE>(dst + i * ps, p);
            }
    } else if (b + c) {
        const int32_t e = b + c;
        const ptrdiff_t step = c ? st : ps;
        for (int j = 0; j < h; j++, dst += st, src += st)
            for (int i = 0; i < W; i++) {
                const uint8_t *s = src + i * ps;
                store<pixel, MODE>(dst + i * ps, (a * load<pixel>(s) + e * load<pixel>(s + step) + 32) >> 6);
            }
    } else {
        for (int j = 0; j < h; j++, dst += st, src += st)
            for (int i = 0; i < W; i++)
                store<pixel, MODE>(dst + i * ps, load<pixel>(src + i * ps));
    }
}

// Both chroma planes of one block, Cb then Cr, with the same fractions: the kernel of the
// two-plane tables, so it checks its fractions as the named kernels do.
template <typename pixel, int W, bool MODE>
void chroma_mc_cbcr(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr, int32_t stride,
                    int32_t h, int32_t x, int32_t y)
{
    if (!(x < 8 && y < 8 && x >= 0 && y >= 0)) {
        std::printf("x<8 && y<8 && x>=0 && y>=0 failed at %s:%d.\n", __FILE__, __LINE__);
        return;
    }
    chroma_mc<pixel, W, MODE>(dst_cb, src_cb, stride, h, x, y);
    chroma_mc<pixel, W, MODE>(dst_cr, src_cr, stride, h, x, y);
}

} // namespace mc

// Argument check of a kernel: prints the failed expression with this file and line and leaves
// the kernel without touching anything.
#define MC_CHECK_OR_RETURN(cond)                                                 \
    do {                                                                         \
        if (!(cond)) {                                                           \
            std::printf("%s failed at %s:%d.\n", #cond, __FILE__, __LINE__);    \
            return;                                                              \
        }                                                                        \
    } while (0)
