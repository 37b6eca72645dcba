// Intra prediction and two-times inter-layer upsampling: kernel signatures and tables.
#pragma once

#include <cstdint>

// Row of every table: bit depth - 8. Row 0 holds byte samples, rows 1 and 2
// 16-bit samples. The single-block intra tables leave row 1 empty.
enum IntraPredRow {
    INTRA_ROW_8BIT,
    INTRA_ROW_9BIT,
    INTRA_ROW_10BIT,
    N_INTRA_ROWS
};

// Luma slots, the same for 4x4 and 8x8 blocks.
enum IntraLumaMode {
    INTRA_LUMA_VERT,
    INTRA_LUMA_HORZ,
    INTRA_LUMA_LP,
    INTRA_LUMA_DNLF,
    INTRA_LUMA_DNRH,
    INTRA_LUMA_LPLF,
    INTRA_LUMA_LPTP,
    INTRA_LUMA_D128,
    N_INTRA_LUMA_MODES
};

// Chroma slots (8x8 blocks); their order differs from the luma one.
enum IntraChromaMode {
    INTRA_CHROMA_LP,
    INTRA_CHROMA_HOR,
    INTRA_CHROMA_VER,
    INTRA_CHROMA_PLANE,
    INTRA_CHROMA_LPLE,
    INTRA_CHROMA_LPTP,
    INTRA_CHROMA_D128,
    N_INTRA_CHROMA_MODES
};

// Predicts one N x N block at dst from the neighbour arrays top and left.
// Sample pointers are byte addresses of bytes (8-bit) or 16-bit words (10-bit);
// stride is in bytes. top[0] and left[0] hold the corner; top[1..N] the row above,
// top[N+1..2N] the row above right, top[2N+1] a repeat of top[2N]; left alike.
// Chroma arrays hold 10 entries (top[9]: above right, left[9] = left[8]).
typedef void (*intra_pred_fn)(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);

// Enlarges a W x n base-layer area two times into 2W x 2n samples at dst
// (W = 8 luma, 4 chroma; 1 <= n <= 8). Reads source rows -1..n+1 and
// columns -1..W+1. Strides are in bytes.
typedef void (*upsample_fn)(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                            int32_t n);

extern intra_pred_fn intra_pred4x4_funcs[N_INTRA_ROWS][N_INTRA_LUMA_MODES];
extern intra_pred_fn intra_pred8x8_funcs[N_INTRA_ROWS][N_INTRA_LUMA_MODES];
extern intra_pred_fn intra_pred_chroma_funcs[N_INTRA_ROWS][N_INTRA_CHROMA_MODES];
extern upsample_fn intra_pred_multi_funcs[N_INTRA_ROWS];
extern upsample_fn intra_pred_multi_chroma_funcs[N_INTRA_ROWS];

// Fills the tables above; called by the library initialisation.
void intra_pred_init(uint32_t cpu_flags);
void intra_pred_init_ssse3(uint32_t cpu_flags);

// Portable kernels.
void intra_pred4x4_vert(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_horz(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lp(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnlf(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnrh(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lplf(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lptp(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_d128(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_vert_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_horz_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lp_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnlf_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnrh_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lplf_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lptp_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_d128_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);

void intra_pred8x8_vert(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_horz(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lp(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnlf(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnrh(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lplf(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lptp(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_d128(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_vert_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_horz_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lp_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnlf_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnrh_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lplf_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lptp_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_d128_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);

void intra_pred_chroma_plane(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred_chroma_plane_10bit(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);

// SSSE3 forms of the 8-bit kernels (lib/x86/ipred_ssse3.cpp). They read fixed runs of the
// neighbour arrays: 4x4 blocks elements 0..7 (DNLF 1..12), 8x8 blocks 0..15 (DNLF 1..24).
void intra_pred4x4_vert_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_horz_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnlf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_dnrh_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lplf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred4x4_lptp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_vert_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_horz_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lp_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnlf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_dnrh_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred8x8_lplf_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);
void intra_pred_chroma_plane_ssse3(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride);

void upsample2x_luma(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride, int32_t n);
void upsample2x_luma_9bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                          int32_t n);
void upsample2x_luma_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                           int32_t n);
void upsample2x_chroma(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                       int32_t n);
void upsample2x_chroma_9bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                            int32_t n);
void upsample2x_chroma_10bit(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                             int32_t n);
