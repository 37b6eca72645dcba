// Portable two-times upsampling of a base-layer area, written once over the bit depth.
#include "ipred.h"
#include "svac_assert.h"

#include <cstddef>
#include <type_traits>

namespace {

template <int BD>
using pixel_t = std::conditional_t<(BD > 8), uint16_t, uint8_t>;

constexpr int kMaxRows = 8;

// Four-tap half-sample filter, clipped to 0..max.
template <int BD>
inline int half_sample(int e0, int e1, int e2, int e3)
{
    constexpr int max = (1 << BD) - 1;
    const int v = (9 * (e1 + e2) - e0 - e3 + 8) >> 4;
    return v < 0 ? 0 : (v > max ? max : v);
}

template <int BD>
inline const pixel_t<BD> *source_row(const uint8_t *src, int32_t stride, int r)
{
    return reinterpret_cast<const pixel_t<BD> *>(src + ptrdiff_t(r) * stride);
}

// W source columns become 2W, n source rows 2n: first the half-sample rows over
// columns -1..W+1, then the half-sample columns of every row from those clipped values.
template <int BD, int W>
void upsample2x(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride, int32_t n)
{
    SVAC_ASSERT(n <= 8);
    if (n > kMaxRows || n <= 0)
        return;

    int tmp[2 * kMaxRows][W + 3];
    for (int r = 0; r < n; ++r) {
        const pixel_t<BD> *s0 = source_row<BD>(src, src_stride, r - 1);
        const pixel_t<BD> *s1 = source_row<BD>(src, src_stride, r);
        const pixel_t<BD> *s2 = source_row<BD>(src, src_stride, r + 1);
        const pixel_t<BD> *s3 = source_row<BD>(src, src_stride, r + 2);
        for (int j = -1; j <= W + 1; ++j) {
            tmp[2 * r][j + 1] = s1[j];
            tmp[2 * r + 1][j + 1] = half_sample<BD>(s0[j], s1[j], s2[j], s3[j]);
        }
    }

    for (int row = 0; row < 2 * n; ++row) {
        const int *t = tmp[row] + 1;
        auto *d = reinterpret_cast<pixel_t<BD> *>(dst + ptrdiff_t(row) * dst_stride);
        for (int i = 0; i < W; ++i) {
            d[2 * i] = pixel_t<BD>(t[i]);
            d[2 * i + 1] = pixel_t<BD>(half_sample<BD>(t[i - 1], t[i], t[i + 1], t[i + 2]));
        }
    }
}

} // namespace

void upsample2x_luma(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride, int32_t n)
{
    upsample2x<8, 8>(dst, src, dst_stride, src_stride, n);
}

void upsample2x_luma_9bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                          int32_t n)
{
    upsample2x<9, 8>(dst, src, dst_stride, src_stride, n);
}

void upsample2x_luma_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                           int32_t n)
{
    upsample2x<10, 8>(dst, src, dst_stride, src_stride, n);
}

void upsample2x_chroma(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                       int32_t n)
{
    upsample2x<8, 4>(dst, src, dst_stride, src_stride, n);
}

void upsample2x_chroma_9bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                            int32_t n)
{
    upsample2x<9, 4>(dst, src, dst_stride, src_stride, n);
}

void upsample2x_chroma_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                             int32_t n)
{
    upsample2x<10, 4>(dst, src, dst_stride, src_stride, n);
}
