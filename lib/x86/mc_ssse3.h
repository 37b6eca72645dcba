// SSSE3 forms of the 8-bit motion-compensation kernels: luma, every quarter-sample position
// in both block sizes, and chroma widths 8, 4 and 2 (width 1 stays portable: gathering
// single samples costs more than the vector saves). Same arguments and samples as the
// portable kernels whose table slots they take.
#pragma once

#include <cstdint>

// Luma: (dst, src, stride). Each source row is read as 16-byte loads starting two columns
// left of the block at most; the 16x16 kernels read up to column 22, the 8x8 ones up to
// column 14, over the rows the filters need (-2 .. N + 2 at most).
void luma_mc16_put_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_put_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride);

void luma_mc16_avg_ssse3_qpel_00(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc16_avg_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride);

void luma_mc8_put_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_put_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride);

void luma_mc8_avg_ssse3_qpel_00(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_20(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_30(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_01(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_21(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_31(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_02(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_22(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_32(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_03(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_23(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc8_avg_ssse3_qpel_33(uint8_t *dst, const uint8_t *src, int32_t stride);

// Chroma: (dst, src, stride, h, x, y), x and y the fractions 0..7. Reads h + 1 rows of 16
// (8-wide) or 8 (4-wide) bytes, only 8 or 4 bytes when x is 0 and only h rows when y is 0
// (widths 8 and 4); h <= 0 writes nothing.
void chroma_mc8_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc4_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc8_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc4_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc2_put_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc2_avg_ssse3(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);

// Both chroma planes of a block, Cb then Cr: (dst_cb, dst_cr, src_cb, src_cr, stride, h, x, y).
// Read w + 1 samples of h + 1 rows of each plane, the most the portable kernels read, and w
// samples of h rows when x and y are 0; h <= 0 writes nothing.
void chroma_mc8_cbcr_put_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y);
void chroma_mc4_cbcr_put_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y);
void chroma_mc8_cbcr_avg_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y);
void chroma_mc4_cbcr_avg_ssse3(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb, const uint8_t *src_cr,
                               int32_t stride, int32_t h, int32_t x, int32_t y);
