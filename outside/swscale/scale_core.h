// Planar YUV 4:2:0 to RGB32 (BT.601, limited range), with nearest-sample resizing.
#ifndef OUTSIDE_SWSCALE_SCALE_CORE_H
#define OUTSIDE_SWSCALE_SCALE_CORE_H

#include <cstddef>
#include <cstdint>

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

// Writes dstWidth x dstHeight pixels of 0xFFRRGGBB words (B, G, R, 255 in memory) at dst,
// dstStride bytes apart. The source is sampled at the nearest position when the sizes
// differ. False, with nothing written, on a bad argument.
bool ToRgb32(const YuvPicture &src, uint8_t *dst, int dstWidth, int dstHeight, size_t dstStride);

// One pixel of the conversion, for 8-bit samples: 0xFFRRGGBB.
uint32_t YuvToRgb(int y, int u, int v);

}  // namespace scalecore

#endif
