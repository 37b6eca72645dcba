// Motion compensation of 10-bit pictures: quarter-sample luma and eighth-sample chroma on
// 16-bit samples, strides and pointer steps in bytes.
#include "mc.h"
#include "mc_kernels.h"
#include "mc_tmpl.h"

using mc::Tap;

// 8x8 luma cores.
void luma_put8x8_h1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::Q1, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::H, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::Q3, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::NONE, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::NONE, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::NONE, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::H, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h1v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::Q1, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::H, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h3v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::Q3, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::H, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_diag_10bit(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                            int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::PUT, Tap::H, Tap::H, true>(dst, src, src2, dst_stride, src_stride);
}

void luma_avg8x8_h1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::Q1, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::H, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::Q3, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::NONE, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::NONE, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::NONE, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v1_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::H, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h1v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::Q1, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::H, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h3v2_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::Q3, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v3_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::H, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_diag_10bit(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                            int32_t src_stride)
{
    mc::luma_core<uint16_t, 1023, mc::AVG, Tap::H, Tap::H, true>(dst, src, src2, dst_stride, src_stride);
}

// Put entries, 8x8.
void luma_mc_put8x8_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint16_t, 8, mc::PUT>(dst, src, stride);
}

void luma_mc_put8x8_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h1_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h2_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h3_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_v1_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_put8x8_diag_10bit, dst, src, src, stride);
}

void luma_mc_put8x8_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h2v1_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_put8x8_diag_10bit, dst, src, src + 2, stride);
}

void luma_mc_put8x8_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_v2_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h1v2_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h2v2_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h3v2_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_v3_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_put8x8_diag_10bit, dst, src, src + stride, stride);
}

void luma_mc_put8x8_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_put8x8_h2v3_10bit, dst, src, stride);
}

void luma_mc_put8x8_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_put8x8_diag_10bit, dst, src, src + stride + 2, stride);
}

// Put entries, 16x16.
void luma_mc_put16x16_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint16_t, 16, mc::PUT>(dst, src, stride);
}

void luma_mc_put16x16_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h1_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h2_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h3_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_v1_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_put8x8_diag_10bit, dst, src, src, stride);
}

void luma_mc_put16x16_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h2v1_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_put8x8_diag_10bit, dst, src, src + 2, stride);
}

void luma_mc_put16x16_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_v2_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h1v2_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h2v2_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h3v2_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_v3_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_put8x8_diag_10bit, dst, src, src + stride, stride);
}

void luma_mc_put16x16_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_put8x8_h2v3_10bit, dst, src, stride);
}

void luma_mc_put16x16_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_put8x8_diag_10bit, dst, src, src + stride + 2, stride);
}

// Avg entries, 8x8.
void luma_mc_avg8x8_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint16_t, 8, mc::AVG>(dst, src, stride);
}

void luma_mc_avg8x8_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h1_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h2_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h3_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_v1_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_avg8x8_diag_10bit, dst, src, src, stride);
}

void luma_mc_avg8x8_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h2v1_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_avg8x8_diag_10bit, dst, src, src + 2, stride);
}

void luma_mc_avg8x8_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_v2_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h1v2_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h2v2_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h3v2_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_v3_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_avg8x8_diag_10bit, dst, src, src + stride, stride);
}

void luma_mc_avg8x8_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 8>(luma_avg8x8_h2v3_10bit, dst, src, stride);
}

void luma_mc_avg8x8_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 8>(luma_avg8x8_diag_10bit, dst, src, src + stride + 2, stride);
}

// Avg entries, 16x16.
void luma_mc_avg16x16_pos0_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint16_t, 16, mc::AVG>(dst, src, stride);
}

void luma_mc_avg16x16_pos1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h1_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h2_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos3_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h3_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_v1_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos5_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_avg8x8_diag_10bit, dst, src, src, stride);
}

void luma_mc_avg16x16_pos6_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h2v1_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos7_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_avg8x8_diag_10bit, dst, src, src + 2, stride);
}

void luma_mc_avg16x16_pos8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_v2_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos9_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h1v2_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos10_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h2v2_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos11_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h3v2_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos12_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_v3_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos13_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_avg8x8_diag_10bit, dst, src, src + stride, stride);
}

void luma_mc_avg16x16_pos14_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint16_t, 16>(luma_avg8x8_h2v3_10bit, dst, src, stride);
}

void luma_mc_avg16x16_pos15_10bit(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint16_t, 16>(luma_avg8x8_diag_10bit, dst, src, src + stride + 2, stride);
}

// Chroma kernels: the fractions are checked before anything is read.
void chroma_mc_put8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 8, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 4, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 2, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 1, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_avg8_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 8, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg4_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 4, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg2_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 2, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg1_10bit(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                          int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint16_t, 1, mc::AVG>(dst, src, stride, h, x, y);
}

