// Residual blocks of the Exp-Golomb macroblock layer: (run, level) pairs through the adaptive
// two-dimensional code tables, then dequantisation and the inverse transform into the picture.
#pragma once
#include <cstdint>

struct decoder_ctx;
struct vlc2d_table;

// One 8x8 block (vlc_read_coefs) or 4x4 block (vlc_read_coefs2, escape order always 1) added
// to the prediction at dst: 0, -8 on a code error, -11 when the data ran out in the block.
int vlc_read_coefs(decoder_ctx *ctx, const vlc2d_table *tables, int escape_order, int32_t qp, uint8_t *dst,
                   int32_t stride);
int vlc_read_coefs2(decoder_ctx *ctx, const vlc2d_table *tables, int escape_order, int32_t qp, uint8_t *dst,
                    int32_t stride);

// Expands the macroblock's count run/level words (mb.pairs) at qp into mb.coef and adds their
// inverse transform to dst: blocks with one or two coefficients through the sparse kernels,
// blocks with none not at all.
void residual_block_add(decoder_ctx *ctx, int32_t qp, int32_t count, uint8_t *dst, int32_t stride, bool small);

// The chroma blocks of the current macroblock whose cbp bits 4..7 are set: 0 or -8.
int vlc_read_chroma_coefs(decoder_ctx *ctx);

// Chroma QP of a luma QP.
int32_t chroma_qp(const decoder_ctx *ctx, int32_t qp);

// Luma QP after a change, kept inside the 56 entries of the QP tables above the bit-depth
// offset: values above wrap down as the stream format asks, values below wrap up alike.
int32_t mb_qp_wrap(int64_t qp, int32_t bit_depth);

// Coded block pattern of an inter macroblock and its QP change: 0, or -8 for a pattern code
// above 63.
int read_inter_cbp(decoder_ctx *ctx);

// Luma and chroma residual of an inter macroblock for its cbp bits: 0 or -8.
int read_b_residual(decoder_ctx *ctx);
