// Sample arithmetic of the encoder: the decoder's dequantisation and intra prediction, and the
// forward transform and quantiser that invert them. The scan, scale and chroma QP tables, the
// inverse transform and the prediction kernels are the decoder library's own.
#ifndef SVACENC_KERNELS_H
#define SVACENC_KERNELS_H

#include <cstdint>

namespace svacenc {
namespace kernels {

// Residual of one 8x8 block quantised at qp: levels in zig-zag scan order; returns the number of
// non-zero levels. deadzone is the rounding offset in level units (0..0.5).
int quantise8x8(const uint8_t *src, int src_stride, const uint8_t *pred, int pred_stride, int qp,
                float deadzone, int16_t levels[64]);
// Dequantises the levels and adds their inverse transform to dst, as a decoder does.
void reconstruct8x8(const int16_t levels[64], int qp, uint8_t *dst, int stride);
// The same for a 4x4 block (I_4X4 luma).
int quantise4x4(const uint8_t *src, int src_stride, const uint8_t *pred, int pred_stride, int qp,
                float deadzone, int16_t levels[16]);
void reconstruct4x4(const int16_t levels[16], int qp, uint8_t *dst, int stride);
// Quantiser step of an 8x8 block's DC level at qp, in residual units of an orthonormal
// transform.
double quant_step(int qp);

// Neighbour arrays of an N x N block (N 8 or 4): [0] the corner, [1..N] the row above (or
// column left), [N+1..2N] the row above right (column below left), repeated from [2N] on.
constexpr int kNeighbours = 32;

// Intra prediction of an 8x8 block. Luma kernels 0..7: vertical, horizontal, low-pass average,
// down-left, down-right, low-pass left, low-pass top, mid-grey. Chroma modes 0..6 map onto
// them, mode 3 is the plane prediction.
void predict_luma8x8(int kernel, const int *top, const int *left, uint8_t *dst, int stride);
void predict_luma4x4(int kernel, const int *top, const int *left, uint8_t *dst, int stride);
void predict_chroma8x8(int kernel_mode, const int *top, const int *left, uint8_t *dst, int stride);

} // namespace kernels
} // namespace svacenc

#endif
