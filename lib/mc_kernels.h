// The portable motion-compensation and padding kernels by name; mc_init puts them into the
// tables of mc.h.
#pragma once

#include <cstdint>

// Reference window padding, byte samples and 16-bit samples.
void pad_ref_block_8bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                        int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width,
                        int32_t height);
void pad_ref_block_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                         int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width,
                         int32_t height);

// 8x8 luma cores: (dst, src, dst stride, src stride); the diagonal cores take after src the
// second source, the full sample that the centre value is averaged with.
void luma_put8x8_h1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h1v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h3v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_diag(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                      int32_t src_stride);
void luma_avg8x8_h1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h1v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h3v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_diag(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                      int32_t src_stride);

void luma_put8x8_h1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h1v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h3v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_h2v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_put8x8_diag_10bit(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                            int32_t src_stride);
void luma_avg8x8_h1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h1v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h3v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_h2v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride);
void luma_avg8x8_diag_10bit(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                            int32_t src_stride);


// Luma entries, 8-bit samples: (dst, src, stride).
void luma_mc_put8x8_pos0(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos1(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos2(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos3(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos4(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos5(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos6(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos7(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos8(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos9(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos14(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos15(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos0(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos1(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos2(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos3(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos4(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos5(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos6(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos7(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos8(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos9(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos14(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos15(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos0(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos1(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos2(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos3(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos4(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos5(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos6(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos7(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos8(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos9(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos14(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos15(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos0(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos1(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos2(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos3(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos4(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos5(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos6(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos7(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos8(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos9(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos10(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos11(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos12(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos13(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos14(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos15(uint8_t *dst, const uint8_t *src, int32_t stride);

// Luma entries, 10-bit samples: (dst, src, stride).
void luma_mc_put8x8_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put8x8_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_put16x16_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg8x8_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);
void luma_mc_avg16x16_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride);

// Chroma kernels, 8-bit samples: (dst, src, stride, h, x, y).
void chroma_mc_put8(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_put4(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_put2(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_put1(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_avg8(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_avg4(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_avg2(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);
void chroma_mc_avg1(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y);

// Chroma kernels, 10-bit samples: (dst, src, stride, h, x, y).
void chroma_mc_put8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_put4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_put2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_put1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_avg8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_avg4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_avg2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);
void chroma_mc_avg1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y);


