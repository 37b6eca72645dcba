#include "scale_core.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

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

bool Valid(const YuvPicture &src, const uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride)
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
    return dstStride >= size_t(dstWidth) * 4;
}

bool PortableOnly()
{
    static const bool portable = [] {
        const char *v = std::getenv("SCALECORE_PORTABLE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return portable;
}

// YuvToRgb's coefficients in the library's 16.16 form: Cr to R, Cb to B, Cb to G, Cr to G.
const int kInverseTable[4] = {409 << 8, 516 << 8, 100 << 8, 208 << 8};

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

bool ToRgb32Portable(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride)
{
    if (!Valid(src, dst, dstWidth, dstHeight, dstStride))
        return false;
    // Above 8 bits the samples are brought to 8 bits by a shift.
    const int shift = src.bitDepth > 8 ? src.bitDepth - 8 : -1;

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

Converter::~Converter() { sws_freeContext(m_context); }

bool Converter::Prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    const int geometry[4] = {srcWidth, srcHeight, dstWidth, dstHeight};
    if (m_context && std::memcmp(geometry, m_geometry, sizeof geometry) == 0)
        return true;
    sws_freeContext(m_context);
    std::memset(m_geometry, 0, sizeof m_geometry);
    m_context = sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_YUV420P, dstWidth, dstHeight, AV_PIX_FMT_BGRA,
                               SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_context)
        return false;
    // Limited-range input, full-range output, YuvToRgb's matrix.
    if (sws_setColorspaceDetails(m_context, kInverseTable, 0, kInverseTable, 1, 0, 1 << 16, 1 << 16) < 0) {
        sws_freeContext(m_context);
        m_context = nullptr;
        return false;
    }
    std::memcpy(m_geometry, geometry, sizeof geometry);
    return true;
}

bool Converter::Run(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride)
{
    if (!Valid(src, dst, dstWidth, dstHeight, dstStride))
        return false;
    // The library's row loops work in groups of pixels and write past rows narrower than 16
    // or not a multiple of 16, and its last row of an odd height is not the portable one;
    // resizing stays with the portable loop's nearest sample.
    const bool library = !PortableOnly() && src.width % 16 == 0 && src.height % 2 == 0 && dstWidth == src.width &&
                         dstHeight == src.height && dstStride <= size_t(INT32_MAX);
    if (!library || !Prepare(src.width, src.height, dstWidth, dstHeight))
        return ToRgb32Portable(src, dst, dstWidth, dstHeight, dstStride);

    const uint8_t *planes[4] = {src.plane[0], src.plane[1], src.plane[2], nullptr};
    int strides[4] = {src.stride[0], src.stride[1], src.stride[2], 0};
    if (src.bitDepth > 8) {
        const int shift = src.bitDepth - 8;
        for (int i = 0; i < 3; ++i) {
            const int w = i == 0 ? src.width : (src.width + 1) / 2;
            const int h = i == 0 ? src.height : (src.height + 1) / 2;
            std::vector<uint8_t> &narrow = m_narrow[i];
            narrow.resize(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y) {
                const uint8_t *row = src.plane[i] + size_t(y) * size_t(src.stride[i]);
                uint8_t *out = narrow.data() + size_t(y) * size_t(w);
                for (int x = 0; x < w; ++x)
                    out[x] = uint8_t((row[2 * x] | row[2 * x + 1] << 8) >> shift);
            }
            planes[i] = narrow.data();
            strides[i] = w;
        }
    }
    uint8_t *const out[4] = {dst, nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(dstStride), 0, 0, 0};
    if (sws_scale(m_context, planes, strides, 0, src.height, out, outStrides) != dstHeight)
        return ToRgb32Portable(src, dst, dstWidth, dstHeight, dstStride);
    return true;
}

bool ToRgb32(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride)
{
    thread_local Converter converter;
    return converter.Run(src, dst, dstWidth, dstHeight, dstStride);
}

}  // namespace scalecore
