// Motion compensation of 8-bit pictures (quarter-sample luma, eighth-sample chroma) and the
// padding of reference windows that reach outside the picture.
#include "mc.h"
#include "mc_kernels.h"
#include "mc_tmpl.h"
#include "mem.h"

#include <algorithm>

using mc::Tap;

// 8x8 luma cores.
void luma_put8x8_h1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::Q1, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::H, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::Q3, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::NONE, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::NONE, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::NONE, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::H, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h1v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::Q1, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::H, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h3v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::Q3, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_h2v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::H, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_put8x8_diag(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                      int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::PUT, Tap::H, Tap::H, true>(dst, src, src2, dst_stride, src_stride);
}

void luma_avg8x8_h1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::Q1, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::H, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::Q3, Tap::NONE>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::NONE, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::NONE, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::NONE, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v1(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::H, Tap::Q1>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h1v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::Q1, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::H, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h3v2(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::Q3, Tap::H>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_h2v3(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::H, Tap::Q3>(dst, src, nullptr, dst_stride, src_stride);
}

void luma_avg8x8_diag(uint8_t *dst, const uint8_t *src, const uint8_t *src2, int32_t dst_stride,
                      int32_t src_stride)
{
    mc::luma_core<uint8_t, 255, mc::AVG, Tap::H, Tap::H, true>(dst, src, src2, dst_stride, src_stride);
}

// Put entries, 8x8.
void luma_mc_put8x8_pos0(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint8_t, 8, mc::PUT>(dst, src, stride);
}

void luma_mc_put8x8_pos1(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h1, dst, src, stride);
}

void luma_mc_put8x8_pos2(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h2, dst, src, stride);
}

void luma_mc_put8x8_pos3(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h3, dst, src, stride);
}

void luma_mc_put8x8_pos4(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_v1, dst, src, stride);
}

void luma_mc_put8x8_pos5(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_put8x8_diag, dst, src, src, stride);
}

void luma_mc_put8x8_pos6(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h2v1, dst, src, stride);
}

void luma_mc_put8x8_pos7(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_put8x8_diag, dst, src, src + 1, stride);
}

void luma_mc_put8x8_pos8(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_v2, dst, src, stride);
}

void luma_mc_put8x8_pos9(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h1v2, dst, src, stride);
}

void luma_mc_put8x8_pos10(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h2v2, dst, src, stride);
}

void luma_mc_put8x8_pos11(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h3v2, dst, src, stride);
}

void luma_mc_put8x8_pos12(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_v3, dst, src, stride);
}

void luma_mc_put8x8_pos13(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_put8x8_diag, dst, src, src + stride, stride);
}

void luma_mc_put8x8_pos14(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_put8x8_h2v3, dst, src, stride);
}

void luma_mc_put8x8_pos15(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_put8x8_diag, dst, src, src + stride + 1, stride);
}

// Put entries, 16x16.
void luma_mc_put16x16_pos0(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint8_t, 16, mc::PUT>(dst, src, stride);
}

void luma_mc_put16x16_pos1(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h1, dst, src, stride);
}

void luma_mc_put16x16_pos2(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h2, dst, src, stride);
}

void luma_mc_put16x16_pos3(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h3, dst, src, stride);
}

void luma_mc_put16x16_pos4(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_v1, dst, src, stride);
}

void luma_mc_put16x16_pos5(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_put8x8_diag, dst, src, src, stride);
}

void luma_mc_put16x16_pos6(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h2v1, dst, src, stride);
}

void luma_mc_put16x16_pos7(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_put8x8_diag, dst, src, src + 1, stride);
}

void luma_mc_put16x16_pos8(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_v2, dst, src, stride);
}

void luma_mc_put16x16_pos9(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h1v2, dst, src, stride);
}

void luma_mc_put16x16_pos10(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h2v2, dst, src, stride);
}

void luma_mc_put16x16_pos11(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h3v2, dst, src, stride);
}

void luma_mc_put16x16_pos12(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_v3, dst, src, stride);
}

void luma_mc_put16x16_pos13(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_put8x8_diag, dst, src, src + stride, stride);
}

void luma_mc_put16x16_pos14(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_put8x8_h2v3, dst, src, stride);
}

void luma_mc_put16x16_pos15(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_put8x8_diag, dst, src, src + stride + 1, stride);
}

// Avg entries, 8x8.
void luma_mc_avg8x8_pos0(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint8_t, 8, mc::AVG>(dst, src, stride);
}

void luma_mc_avg8x8_pos1(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h1, dst, src, stride);
}

void luma_mc_avg8x8_pos2(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h2, dst, src, stride);
}

void luma_mc_avg8x8_pos3(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h3, dst, src, stride);
}

void luma_mc_avg8x8_pos4(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_v1, dst, src, stride);
}

void luma_mc_avg8x8_pos5(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_avg8x8_diag, dst, src, src, stride);
}

void luma_mc_avg8x8_pos6(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h2v1, dst, src, stride);
}

void luma_mc_avg8x8_pos7(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_avg8x8_diag, dst, src, src + 1, stride);
}

void luma_mc_avg8x8_pos8(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_v2, dst, src, stride);
}

void luma_mc_avg8x8_pos9(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h1v2, dst, src, stride);
}

void luma_mc_avg8x8_pos10(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h2v2, dst, src, stride);
}

void luma_mc_avg8x8_pos11(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h3v2, dst, src, stride);
}

void luma_mc_avg8x8_pos12(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_v3, dst, src, stride);
}

void luma_mc_avg8x8_pos13(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_avg8x8_diag, dst, src, src + stride, stride);
}

void luma_mc_avg8x8_pos14(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 8>(luma_avg8x8_h2v3, dst, src, stride);
}

void luma_mc_avg8x8_pos15(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 8>(luma_avg8x8_diag, dst, src, src + stride + 1, stride);
}

// Avg entries, 16x16.
void luma_mc_avg16x16_pos0(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_full<uint8_t, 16, mc::AVG>(dst, src, stride);
}

void luma_mc_avg16x16_pos1(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h1, dst, src, stride);
}

void luma_mc_avg16x16_pos2(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h2, dst, src, stride);
}

void luma_mc_avg16x16_pos3(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h3, dst, src, stride);
}

void luma_mc_avg16x16_pos4(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_v1, dst, src, stride);
}

void luma_mc_avg16x16_pos5(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_avg8x8_diag, dst, src, src, stride);
}

void luma_mc_avg16x16_pos6(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h2v1, dst, src, stride);
}

void luma_mc_avg16x16_pos7(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_avg8x8_diag, dst, src, src + 1, stride);
}

void luma_mc_avg16x16_pos8(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_v2, dst, src, stride);
}

void luma_mc_avg16x16_pos9(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h1v2, dst, src, stride);
}

void luma_mc_avg16x16_pos10(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h2v2, dst, src, stride);
}

void luma_mc_avg16x16_pos11(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h3v2, dst, src, stride);
}

void luma_mc_avg16x16_pos12(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_v3, dst, src, stride);
}

void luma_mc_avg16x16_pos13(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_avg8x8_diag, dst, src, src + stride, stride);
}

void luma_mc_avg16x16_pos14(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks<uint8_t, 16>(luma_avg8x8_h2v3, dst, src, stride);
}

void luma_mc_avg16x16_pos15(uint8_t *dst, const uint8_t *src, int32_t stride)
{
    mc::luma_blocks_diag<uint8_t, 16>(luma_avg8x8_diag, dst, src, src + stride + 1, stride);
}

// Chroma kernels: the fractions are checked before anything is read.
void chroma_mc_put8(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 8, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put4(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 4, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put2(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 2, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_put1(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 1, mc::PUT>(dst, src, stride, h, x, y);
}

void chroma_mc_avg8(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 8, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg4(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 4, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg2(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 2, mc::AVG>(dst, src, stride, h, x, y);
}

void chroma_mc_avg1(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                    int32_t y)
{
    MC_CHECK_OR_RETURN(x<8 && y<8 && x>=0 && y>=0);
    mc::chroma_mc<uint8_t, 1, mc::AVG>(dst, src, stride, h, x, y);
}

// Copies n bytes; the short rows of a reference window as two overlapping fixed-size copies
// each, which compile to a few moves where a library call would cost more than the copy.
static inline void copy_row(uint8_t *dst, const uint8_t *src, size_t n)
{
    if (n >= 16 && n <= 32) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 8 && n < 16) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        std::memcpy(dst, src, n);
    }
}

// Sets n bytes at dst to the repeated 8-byte pattern v (a sample repeated; n a whole number of
// samples), in overlapping fixed-size stores like copy_row.
static inline void fill_row(uint8_t *dst, uint64_t v, size_t n)
{
    if (n >= 8) {
        for (size_t j = 0; j + 8 < n; j += 8)
            std::memcpy(dst + j, &v, 8);
        std::memcpy(dst + n - 8, &v, 8);
    } else if (n >= 4) {
        const uint32_t w = uint32_t(v);
        std::memcpy(dst, &w, 4);
        std::memcpy(dst + n - 4, &w, 4);
    } else if (n >= 2) {
        const uint16_t w = uint16_t(v);
        std::memcpy(dst, &w, 2);
        std::memcpy(dst + n - 2, &w, 2);
    } else if (n == 1) {
        *dst = uint8_t(v);
    }
}

// A sample repeated over 8 bytes.
template <typename pixel>
static inline uint64_t repeated(pixel p)
{
    return uint64_t(p) * (sizeof(pixel) == 1 ? 0x0101010101010101ull : 0x0001000100010001ull);
}

// Reference window padding: block sample (j, i) = plane sample (clamp(x + j, 0, width - 1),
// clamp(y + i, 0, height - 1)). Rows of the plane are copied, the columns beyond them repeat
// the first and last copied sample. Offsets stay 64-bit so that no position overflows.
template <typename pixel>
static void pad_ref_block(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                          int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width, int32_t height)
{
    constexpr ptrdiff_t ps = sizeof(pixel);
    if (width == 0 || height == 0)
        return;
    // A block wholly outside moves until one row or column overlaps the plane.
    int64_t bx = x, by = y;
    if (by >= height)
        by = height - 1;
    else if (by <= -int64_t(block_h))
        by = 1 - int64_t(block_h);
    if (bx >= width)
        bx = width - 1;
    else if (bx <= -int64_t(block_w))
        bx = 1 - int64_t(block_w);
    const ptrdiff_t moved = ptrdiff_t(by - y) * src_stride + ptrdiff_t(bx - x) * ps;

    const int64_t start_y = by < 0 ? -by : 0;
    const int64_t end_y = std::min<int64_t>(block_h, height - by);
    const int64_t start_x = bx < 0 ? -bx : 0;
    const int64_t end_x = std::min<int64_t>(block_w, width - bx);
    MC_CHECK_OR_RETURN(start_y < end_y && block_h);
    MC_CHECK_OR_RETURN(start_x < end_x && block_w);

    const size_t w = size_t(end_x - start_x);
    // Plane sample (bx + start_x, by + start_y), the first one inside the plane. src itself may
    // lie outside the plane: the address is formed as an integer so that no pointer leaves it.
    const ptrdiff_t to_first = moved + ptrdiff_t(start_y) * src_stride + ptrdiff_t(start_x) * ps;
    const uint8_t *first =
        reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(src) + static_cast<uintptr_t>(to_first));
    MC_CHECK_OR_RETURN(first != nullptr);
    for (int64_t i = 0; i < block_h; i++) {
        const int64_t r = std::min(std::max(i, start_y), end_y - 1);
        uint8_t *drow = dst + ptrdiff_t(i) * dst_stride;
        pixel *d = reinterpret_cast<pixel *>(drow);
        copy_row(drow + start_x * ps, first + ptrdiff_t(r - start_y) * src_stride, w * ps);
        if (start_x > 0)
            fill_row(drow, repeated(d[start_x]), size_t(start_x) * ps);
        if (end_x < block_w)
            fill_row(drow + end_x * ps, repeated(d[end_x - 1]), size_t(block_w - end_x) * ps);
    }
}

void pad_ref_block_8bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                        int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width,
                        int32_t height)
{
    pad_ref_block<uint8_t>(dst, src, dst_stride, src_stride, block_w, block_h, x, y, width, height);
}

void pad_ref_block_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                         int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width,
                         int32_t height)
{
    pad_ref_block<uint16_t>(dst, src, dst_stride, src_stride, block_w, block_h, x, y, width, height);
}

size_t pad_block_buf_size(int32_t luma_stride)
{
    const int64_t stride = luma_stride < 0 ? -int64_t(luma_stride) : luma_stride;
    return size_t(96 * ((stride + 63) & ~int64_t(31)));
}

int pad_block_buf_reserve(uint8_t **buf, size_t *capacity, int32_t luma_stride)
{
    const size_t need = pad_block_buf_size(luma_stride);
    if (*buf && *capacity >= need)
        return 0;
    auto *grown = static_cast<uint8_t *>(mem_malloc(need));
    if (!grown)
        return -1;
    mem_free(*buf);
    *buf = grown;
    *capacity = need;
    return 0;
}
