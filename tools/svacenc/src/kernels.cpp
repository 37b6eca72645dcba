#include "kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace svacenc {
namespace kernels {

const uint8_t kScanIndex[64] = {
    0,  8,  1,  2,  9,  16, 24, 17, 10, 3,  4,  11, 18, 25, 32, 40, 33, 26, 19, 12, 5,  6,
    13, 20, 27, 34, 41, 48, 56, 49, 42, 35, 28, 21, 14, 7,  15, 22, 29, 36, 43, 50, 57, 58,
    51, 44, 37, 30, 23, 31, 38, 45, 52, 59, 60, 53, 46, 39, 47, 54, 61, 62, 55, 63};

const uint8_t kScanScale[64] = {
    0,  1, 4, 8, 5,  2,  3,  6, 9,  12, 0,  13, 10, 7,  0,  1,  4, 11, 14, 1,  4,  8,
    5,  2, 15, 8, 5, 2,  3,  6, 9,  12, 3,  6,  9,  12, 13, 10, 7, 0,  13, 10, 7,  11,
    14, 1, 4, 11, 14, 15, 8,  5, 2,  15, 3,  6,  9,  12, 13, 10, 7, 11, 14, 15};

const uint8_t kDequant[7][16] = {
    {32, 30, 33, 30, 30, 28, 31, 28, 33, 31, 35, 31, 30, 28, 31, 28},
    {36, 33, 37, 33, 33, 31, 35, 31, 37, 35, 39, 35, 33, 31, 35, 31},
    {40, 37, 42, 37, 37, 35, 39, 35, 42, 39, 44, 39, 37, 35, 39, 35},
    {44, 41, 46, 41, 41, 39, 43, 39, 46, 43, 48, 43, 41, 39, 43, 39},
    {52, 49, 54, 49, 49, 46, 51, 46, 54, 51, 57, 51, 49, 46, 51, 46},
    {56, 52, 58, 52, 52, 49, 55, 49, 58, 55, 61, 55, 52, 49, 55, 49},
    {60, 56, 63, 56, 56, 53, 59, 53, 63, 59, 66, 59, 56, 53, 59, 53},
};

const uint8_t kChromaQp[56] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
    28, 29, 30, 31, 32, 33, 33, 34, 35, 35, 36, 36, 37, 37, 38, 38, 39, 39, 39, 40, 40, 40, 41, 41, 41, 42, 42, 42,
};

namespace {

using u32 = uint32_t;

// One-dimensional inverse transform: p[x] = sum over u of basis[x][u] a[u].
inline void inverse8(const u32 a[8], u32 p[8])
{
    const u32 e0 = 8 * (a[0] + a[4]);
    const u32 e1 = 8 * (a[0] - a[4]);
    const u32 e2 = 10 * a[2] + 4 * a[6];
    const u32 e3 = 4 * a[2] - 10 * a[6];
    const u32 E0 = e0 + e2, E1 = e1 + e3, E2 = e1 - e3, E3 = e0 - e2;
    const u32 O0 = 12 * a[1] + 10 * a[3] + 6 * a[5] + 3 * a[7];
    const u32 O1 = 10 * a[1] - 3 * a[3] - 12 * a[5] - 6 * a[7];
    const u32 O2 = 6 * a[1] - 12 * a[3] + 3 * a[5] + 10 * a[7];
    const u32 O3 = 3 * a[1] - 6 * a[3] + 10 * a[5] - 12 * a[7];
    p[0] = E0 + O0;
    p[1] = E1 + O1;
    p[2] = E2 + O2;
    p[3] = E3 + O3;
    p[4] = E3 - O3;
    p[5] = E2 - O2;
    p[6] = E1 - O1;
    p[7] = E0 - O0;
}

struct Tables {
    int basis[8][8];      // [x][u]
    float mult[56][64];   // forward coefficient -> level, by qp and index 8u + v
    float max_mult[56];   // largest level one unit of residual SAD can reach, by qp

    Tables()
    {
        for (int u = 0; u < 8; ++u) {
            u32 a[8] = {}, p[8];
            a[u] = 1;
            inverse8(a, p);
            for (int x = 0; x < 8; ++x)
                basis[x][u] = static_cast<int32_t>(p[x]);
        }
        double norm[8];
        for (int u = 0; u < 8; ++u) {
            norm[u] = 0;
            for (int x = 0; x < 8; ++x)
                norm[u] += basis[x][u] * basis[x][u];
        }
        int peak[8];
        for (int u = 0; u < 8; ++u) {
            peak[u] = 0;
            for (int x = 0; x < 8; ++x)
                peak[u] = std::max(peak[u], std::abs(basis[x][u]));
        }
        for (int qp = 0; qp < 56; ++qp)
            for (int p = 0; p < 64; ++p) {
                const int index = kScanIndex[p];
                const int u = index >> 3, v = index & 7;
                const double step = double(kDequant[qp % 7][kScanScale[p]]) * double(1 << (qp / 7));
                // The inverse scales by 2^-14 overall (a 3-bit and an 11-bit shift).
                mult[qp][index] = float(16384.0 / (norm[u] * norm[v] * step));
                const float bound = float(peak[u] * peak[v]) * mult[qp][index];
                max_mult[qp] = p == 0 ? bound : std::max(max_mult[qp], bound);
            }
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

inline int lowpass(const int *a, int k) { return (a[k] + 2 * a[k + 1] + a[k + 2] + 2) >> 2; }

inline uint8_t clip8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

} // namespace

// Forward one-dimensional transform, the transpose of the inverse: out[u] = sum over x of
// basis[x][u] in[x]. Even basis vectors are symmetric, odd ones antisymmetric.
inline void forward8(const Tables &t, const int *in, int stride, int *out, int out_stride)
{
    int sum[4], diff[4];
    for (int x = 0; x < 4; ++x) {
        sum[x] = in[x * stride] + in[(7 - x) * stride];
        diff[x] = in[x * stride] - in[(7 - x) * stride];
    }
    for (int u = 0; u < 8; ++u) {
        const int *v = u & 1 ? diff : sum;
        out[u * out_stride] = t.basis[0][u] * v[0] + t.basis[1][u] * v[1] + t.basis[2][u] * v[2] + t.basis[3][u] * v[3];
    }
}

int quantise8x8(const uint8_t *src, int src_stride, const uint8_t *pred, int pred_stride, int qp,
                float deadzone, int16_t levels[64])
{
    const Tables &t = tables();
    int r[8][8];
    int sad = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            r[y][x] = int(src[y * src_stride + x]) - int(pred[y * pred_stride + x]);
            sad += std::abs(r[y][x]);
        }
    // No coefficient can reach a level: |coefficient (u, v)| <= peak(u) peak(v) SAD.
    if (float(sad) * t.max_mult[qp] + deadzone < 1.0f) {
        std::fill(levels, levels + 64, int16_t(0));
        return 0;
    }
    // h[u][y]: horizontal frequencies of each row; c[u][v] then the vertical ones.
    int h[8][8], c[8][8];
    for (int y = 0; y < 8; ++y)
        forward8(t, &r[y][0], 1, &h[0][y], 8);
    for (int u = 0; u < 8; ++u)
        forward8(t, &h[u][0], 1, &c[u][0], 1);
    int count = 0;
    for (int p = 0; p < 64; ++p) {
        const int index = kScanIndex[p];
        const int s = c[index >> 3][index & 7];
        const float magnitude = float(std::abs(s)) * t.mult[qp][index] + deadzone;
        int level = magnitude >= 2047.0f ? 2047 : int(magnitude);
        levels[p] = static_cast<int16_t>(s < 0 ? -level : level);
        count += level != 0;
    }
    return count;
}

void reconstruct8x8(const int16_t levels[64], int qp, uint8_t *dst, int stride)
{
    int32_t coef[64] = {};
    const int shift = qp / 7;
    for (int p = 0; p < 64; ++p)
        if (levels[p])
            coef[kScanIndex[p]] =
                static_cast<int32_t>(static_cast<u32>(levels[p] * kDequant[qp % 7][kScanScale[p]]) << shift);
    u32 a[8], p[8];
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u)
            a[u] = static_cast<u32>(coef[8 * u + v]);
        inverse8(a, p);
        for (int x = 0; x < 8; ++x)
            coef[8 * x + v] = static_cast<int32_t>(p[x]) >> 3;
    }
    for (int x = 0; x < 8; ++x) {
        for (int v = 0; v < 8; ++v)
            a[v] = static_cast<u32>(coef[8 * x + v]);
        inverse8(a, p);
        for (int y = 0; y < 8; ++y) {
            uint8_t *s = dst + y * stride + x;
            *s = clip8(*s + (static_cast<int32_t>(p[y] + 1024) >> 11));
        }
    }
}

void predict_luma8x8(int kernel, const int *t, const int *l, uint8_t *dst, int stride)
{
    constexpr int N = 8;
    for (int y = 0; y < N; ++y) {
        uint8_t *d = dst + y * stride;
        for (int x = 0; x < N; ++x) {
            int v;
            switch (kernel) {
            case 0: v = t[x + 1]; break;
            case 1: v = l[y + 1]; break;
            case 2: v = (lowpass(t, x) + lowpass(l, y)) >> 1; break;
            case 3: v = (lowpass(t, x + y + 1) + lowpass(l, x + y + 1)) >> 1; break;
            case 4:
                v = x == y ? (l[1] + 2 * t[0] + t[1] + 2) >> 2 : x > y ? lowpass(t, x - y - 1) : lowpass(l, y - x - 1);
                break;
            case 5: v = lowpass(l, y); break;
            case 6: v = lowpass(t, x); break;
            default: v = 128; break;
            }
            d[x] = static_cast<uint8_t>(v);
        }
    }
}

void predict_chroma8x8(int mode, const int *t, const int *l, uint8_t *dst, int stride)
{
    static const int kKernel[7] = {2, 1, 0, -1, 5, 6, 7};
    if (mode != 3) {
        predict_luma8x8(kKernel[mode], t, l, dst, stride);
        return;
    }
    int h = 0, v = 0;
    for (int i = 1; i <= 4; ++i) {
        h += i * (t[4 + i] - t[4 - i]);
        v += i * (l[4 + i] - l[4 - i]);
    }
    const int gx = (17 * h + 16) >> 5;
    const int gy = (17 * v + 16) >> 5;
    const int a = 16 * (t[8] + l[8]);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            dst[y * stride + x] = clip8((a + gx * (x - 3) + gy * (y - 3) + 16) >> 5);
}

} // namespace kernels
} // namespace svacenc
