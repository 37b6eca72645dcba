// Planar YUV 4:2:0 to RGB32 (BT.601, limited range), with nearest-sample resizing. Pictures
// converted at their own size, of a width that is a multiple of 16 and an even height (decoded
// pictures as a rule), go through the system's SIMD scaling library; the rest, and everything
// when SCALECORE_PORTABLE=1 is in the environment (benchmarks compare the two), through the
// portable loop.
#ifndef OUTSIDE_SWSCALE_SCALE_CORE_H
#define OUTSIDE_SWSCALE_SCALE_CORE_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct SwsContext;

namespace scalecore {

// A source picture. With bitDepth 8 every sample is a byte; above 8 every sample is a
// little-endian 16-bit word holding bitDepth significant bits. Strides are in bytes.
struct YuvPicture {
    const uint8_t *plane[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
    int width = 0;
    int height = 0;
    int bitDepth = 8;
};

// Keeps the library's conversion state for the last geometry; one per thread or handle.
// Through the library each channel is within 3 of YuvToRgb's (its rounding differs); samples
// above 8 bits are cut to 8 first, as the portable loop does.
class Converter {
public:
    Converter() = default;
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    ~Converter();

    // As ToRgb32.
    bool Run(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride);

private:
    bool Prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

    SwsContext *m_context = nullptr;
    int m_geometry[4] = {0, 0, 0, 0};
    std::vector<uint8_t> m_narrow[3];   // deeper samples cut to 8 bits
};

// Writes dstWidth x dstHeight pixels of 0xFFRRGGBB words (B, G, R, 255 in memory) at dst,
// dstStride bytes apart. The source is sampled at the nearest position when the sizes
// differ. False, with nothing written, on a bad argument. Uses a converter of the calling
// thread.
bool ToRgb32(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride);

// The portable conversion: exactly YuvToRgb per pixel.
bool ToRgb32Portable(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride);

// One pixel of the conversion, for 8-bit samples: 0xFFRRGGBB.
uint32_t YuvToRgb(int y, int u, int v);

}  // namespace scalecore

#endif
