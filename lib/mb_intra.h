// Intra macroblocks of every picture type, and the base-layer edge extension that the
// inter-layer prediction needs.
#pragma once
#include <cstdint>

struct decoder_ctx;
struct frame_buf;

// mb_type 0 I_4X4, 1 and above I_8X8 (in Exp-Golomb mode type - 1 is the cbp code).
// 0, -2 (bad type, chroma mode or cbp code), -8 (residual error) or -11 (data ran out).
int decode_intra_mb(decoder_ctx *ctx, int32_t mb_type);

// Repeats the outermost samples of a base-layer picture around the 8x8 luma block at (x, y)
// and its chroma blocks where they touch the picture's edges.
void pad_base_block_edges(decoder_ctx *ctx, frame_buf *frame, int32_t x, int32_t y);
void pad_base_block_edges8(decoder_ctx *ctx, frame_buf *frame, int32_t x, int32_t y);
