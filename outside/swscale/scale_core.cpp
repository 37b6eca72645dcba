#include "scale_core.h"

#include <vector>

namespace scalecore {

namespace {

inline int Clip8(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

inline int Sample(const uint8_t *row, int x, int shift)
{
    if (shift < 0)
        return row[x];
    const int v = row[2 * x] | (row[2 * x + 1] << 8);
    return v >> shift;
}

}  // namespace

uint32_t YuvToRgb(int y, int u, int v)
{
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    const int r = Clip8((c + 409 * e + 128) >> 8);
    const int g = Clip8((c - 100 * d - 208 * e + 128) >> 8);
    const int b = Clip8((c + 516 * d + 128) >> 8);
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

bool ToRgb32(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride)
{
    if (!dst || src.width <= 0 || src.height <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return false;
    if (src.bitDepth < 8 || src.bitDepth > 16)
        return false;
    const int bytes = src.bitDepth > 8 ? 2 : 1;
    const int chromaWidth = (src.width + 1) / 2;
    for (int i = 0; i < 3; ++i) {
        const int w = i == 0 ? src.width : chromaWidth;
        if (!src.plane[i] || src.stride[i] < w * bytes)
            return false;
    }
    if (dstStride < size_t(dstWidth) * 4)
        return false;
    // Above 8 bits the samples are brought to 8 bits by a shift.
    const int shift = bytes == 1 ? -1 : src.bitDepth - 8;

    std::vector<int> columns(static_cast<size_t>(dstWidth));
    for (int x = 0; x < dstWidth; ++x)
        columns[size_t(x)] = int(int64_t(x) * src.width / dstWidth);
    for (int y = 0; y < dstHeight; ++y) {
        const int sy = int(int64_t(y) * src.height / dstHeight);
        const uint8_t *yRow = src.plane[0] + size_t(sy) * size_t(src.stride[0]);
        const uint8_t *uRow = src.plane[1] + size_t(sy / 2) * size_t(src.stride[1]);
        const uint8_t *vRow = src.plane[2] + size_t(sy / 2) * size_t(src.stride[2]);
        uint32_t *out = reinterpret_cast<uint32_t *>(dst + size_t(y) * dstStride);
        for (int x = 0; x < dstWidth; ++x) {
            const int sx = columns[size_t(x)];
            out[x] = YuvToRgb(Sample(yRow, sx, shift), Sample(uRow, sx / 2, shift),
                              Sample(vRow, sx / 2, shift));
        }
    }
    return true;
}

}  // namespace scalecore
