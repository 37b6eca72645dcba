#include "kernels.h"

#include "coef.h"
#include "idct.h"
#include "ipred.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace svacenc {
namespace kernels {

namespace {

// Basis of the decoder's inverse transform, [x][u]: the sample x made by one unit of frequency u.
constexpr int kBasis[8][8] = {
    {8, 12, 10, 10, 8, 6, 4, 3},
    {8, 10, 4, -3, -8, -12, -10, -6},
    {8, 6, -4, -12, -8, 3, 10, 10},
    {8, 3, -10, -6, 8, 10, -4, -12},
    {8, -3, -10, 6, 8, -10, -4, 12},
    {8, -6, -4, 12, -8, -3, 10, -10},
    {8, -10, 4, 3, -8, 12, -10, 6},
    {8, -12, 10, -10, 8, -6, 4, -3},
};

// The same for the 4x4 transform, [x][u].
constexpr int kBasis4[4][4] = {
    {4, 5, 4, 2},
    {4, 2, -4, -5},
    {4, -2, -4, 5},
    {4, -5, 4, -2},
};

struct Tables {
    float mult[56][64];   // forward coefficient -> level, by qp and index 8u + v
    float max_mult[56];   // largest level one unit of residual SAD can reach, by qp
    float mult4[56][16];  // 4x4 blocks, index 4u + v
    float max_mult4[56];

    Tables()
    {
        fill8();
        fill4();
    }

    void fill4()
    {
        double norm[4];
        int peak[4];
        for (int u = 0; u < 4; ++u) {
            norm[u] = 0;
            peak[u] = 0;
            for (int x = 0; x < 4; ++x) {
                norm[u] += kBasis4[x][u] * kBasis4[x][u];
                peak[u] = std::max(peak[u], std::abs(kBasis4[x][u]));
            }
        }
        for (int qp = 0; qp < 56; ++qp)
            for (int p = 0; p < 16; ++p) {
                const coef_scan_entry &e = coef_scan_table_4x4[0][p];
                const int u = e.index >> 2, v = e.index & 3;
                const double step = double(dequant_scale_table_4x4[qp % 7][e.scale]) * double(1 << (qp / 7));
                // The inverse scales by 2^-10 (one final shift).
                mult4[qp][e.index] = float(1024.0 / (norm[u] * norm[v] * step));
                const float bound = float(peak[u] * peak[v]) * mult4[qp][e.index];
                max_mult4[qp] = p == 0 ? bound : std::max(max_mult4[qp], bound);
            }
    }

    void fill8()
    {
        double norm[8];
        for (int u = 0; u < 8; ++u) {
            norm[u] = 0;
            for (int x = 0; x < 8; ++x)
                norm[u] += kBasis[x][u] * kBasis[x][u];
        }
        int peak[8];
        for (int u = 0; u < 8; ++u) {
            peak[u] = 0;
            for (int x = 0; x < 8; ++x)
                peak[u] = std::max(peak[u], std::abs(kBasis[x][u]));
        }
        for (int qp = 0; qp < 56; ++qp)
            for (int p = 0; p < 64; ++p) {
                const coef_scan_entry &e = coef_scan_table_8x8[0][p];
                const int index = e.index;
                const int u = index >> 3, v = index & 7;
                const double step = double(dequant_scale_table_8x8[qp % 7][e.scale]) * double(1 << (qp / 7));
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

// The decoder's portable 8-bit kernels by luma kernel number.
const intra_pred_fn kLumaKernels[8] = {
    intra_pred8x8_vert, intra_pred8x8_horz, intra_pred8x8_lp,   intra_pred8x8_dnlf,
    intra_pred8x8_dnrh, intra_pred8x8_lplf, intra_pred8x8_lptp, intra_pred8x8_d128,
};
const intra_pred_fn kLumaKernels4[8] = {
    intra_pred4x4_vert, intra_pred4x4_horz, intra_pred4x4_lp,   intra_pred4x4_dnlf,
    intra_pred4x4_dnrh, intra_pred4x4_lplf, intra_pred4x4_lptp, intra_pred4x4_d128,
};

void to_samples(const int *t, const int *l, uint8_t *top, uint8_t *left)
{
    for (int i = 0; i < kNeighbours; ++i) {
        top[i] = static_cast<uint8_t>(t[i]);
        left[i] = static_cast<uint8_t>(l[i]);
    }
}

} // namespace

// Forward one-dimensional transform, the transpose of the inverse: out[u] = sum over x of
// basis[x][u] in[x]. Even basis vectors are symmetric, odd ones antisymmetric.
inline void forward8(const int *in, int stride, int *out, int out_stride)
{
    int sum[4], diff[4];
    for (int x = 0; x < 4; ++x) {
        sum[x] = in[x * stride] + in[(7 - x) * stride];
        diff[x] = in[x * stride] - in[(7 - x) * stride];
    }
    for (int u = 0; u < 8; ++u) {
        const int *v = u & 1 ? diff : sum;
        out[u * out_stride] = kBasis[0][u] * v[0] + kBasis[1][u] * v[1] + kBasis[2][u] * v[2] + kBasis[3][u] * v[3];
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
        forward8(&r[y][0], 1, &h[0][y], 8);
    for (int u = 0; u < 8; ++u)
        forward8(&h[u][0], 1, &c[u][0], 1);
    int count = 0;
    for (int p = 0; p < 64; ++p) {
        const int index = coef_scan_table_8x8[0][p].index;
        const int s = c[index >> 3][index & 7];
        const float magnitude = float(std::abs(s)) * t.mult[qp][index] + deadzone;
        int level = magnitude >= 2047.0f ? 2047 : int(magnitude);
        levels[p] = static_cast<int16_t>(s < 0 ? -level : level);
        count += level != 0;
    }
    return count;
}

inline void forward4(const int *in, int stride, int *out, int out_stride)
{
    for (int u = 0; u < 4; ++u)
        out[u * out_stride] = kBasis4[0][u] * in[0] + kBasis4[1][u] * in[stride] + kBasis4[2][u] * in[2 * stride] +
                              kBasis4[3][u] * in[3 * stride];
}

int quantise4x4(const uint8_t *src, int src_stride, const uint8_t *pred, int pred_stride, int qp,
                float deadzone, int16_t levels[16])
{
    const Tables &t = tables();
    int r[4][4];
    int sad = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            r[y][x] = int(src[y * src_stride + x]) - int(pred[y * pred_stride + x]);
            sad += std::abs(r[y][x]);
        }
    if (float(sad) * t.max_mult4[qp] + deadzone < 1.0f) {
        std::fill(levels, levels + 16, int16_t(0));
        return 0;
    }
    int h[4][4], c[4][4];
    for (int y = 0; y < 4; ++y)
        forward4(&r[y][0], 1, &h[0][y], 4);
    for (int u = 0; u < 4; ++u)
        forward4(&h[u][0], 1, &c[u][0], 1);
    int count = 0;
    for (int p = 0; p < 16; ++p) {
        const int index = coef_scan_table_4x4[0][p].index;
        const int s = c[index >> 2][index & 3];
        const float magnitude = float(std::abs(s)) * t.mult4[qp][index] + deadzone;
        int level = magnitude >= 2047.0f ? 2047 : int(magnitude);
        levels[p] = static_cast<int16_t>(s < 0 ? -level : level);
        count += level != 0;
    }
    return count;
}

double quant_step(int qp)
{
    // fill8's level of an orthonormal DC coefficient d: 512 d x 16384 / (512 x 512 x step).
    return double(dequant_scale_table_8x8[qp % 7][0]) * double(1 << (qp / 7)) / 32;
}

void reconstruct4x4(const int16_t levels[16], int qp, uint8_t *dst, int stride)
{
    alignas(16) int32_t coef[16] = {};
    const int shift = qp / 7;
    for (int p = 0; p < 16; ++p)
        if (levels[p]) {
            const coef_scan_entry &e = coef_scan_table_4x4[0][p];
            coef[e.index] = static_cast<int32_t>(
                static_cast<uint32_t>(levels[p] * dequant_scale_table_4x4[qp % 7][e.scale]) << shift);
        }
    idct4x4_add(dst, coef, stride);
}

void predict_luma4x4(int kernel, const int *t, const int *l, uint8_t *dst, int stride)
{
    uint8_t top[kNeighbours], left[kNeighbours];
    to_samples(t, l, top, left);
    kLumaKernels4[kernel](dst, top, left, stride);
}

void reconstruct8x8(const int16_t levels[64], int qp, uint8_t *dst, int stride)
{
    alignas(16) int32_t coef[64] = {};
    const int shift = qp / 7;
    for (int p = 0; p < 64; ++p)
        if (levels[p]) {
            const coef_scan_entry &e = coef_scan_table_8x8[0][p];
            coef[e.index] = static_cast<int32_t>(
                static_cast<uint32_t>(levels[p] * dequant_scale_table_8x8[qp % 7][e.scale]) << shift);
        }
    idct8x8_add(dst, coef, stride);
}

void predict_luma8x8(int kernel, const int *t, const int *l, uint8_t *dst, int stride)
{
    uint8_t top[kNeighbours], left[kNeighbours];
    to_samples(t, l, top, left);
    kLumaKernels[kernel](dst, top, left, stride);
}

void predict_chroma8x8(int mode, const int *t, const int *l, uint8_t *dst, int stride)
{
    static const int kKernel[7] = {2, 1, 0, -1, 5, 6, 7};
    if (mode != 3) {
        predict_luma8x8(kKernel[mode], t, l, dst, stride);
        return;
    }
    uint8_t top[kNeighbours], left[kNeighbours];
    to_samples(t, l, top, left);
    intra_pred_chroma_plane(dst, top, left, stride);
}

} // namespace kernels
} // namespace svacenc
