// Inter macroblocks of P and B pictures (types of the slice loop's mapping: 2..6 P, 7..30 B).
#pragma once
#include <cstdint>

struct decoder_ctx;

// 0, or a negative code: -2 bad syntax or failed prediction, -3 a B type above 30, -8
// residual error, -11 data exhausted.
int decode_p_mb(decoder_ctx *ctx, int32_t mb_type);
int decode_b_mb(decoder_ctx *ctx, int32_t mb_type);

// Temporal direct vectors of the 8x8 block at list-0 cache position pos (and pos + 12) from
// the co-located block's entry col of the backward reference.
void b_direct_mv(decoder_ctx *ctx, int pos, const int16_t *col);

// Marks list 1 unused for the macroblocks of a P slice.
void start_p_slice(decoder_ctx *ctx);

// Marks the macroblock as inter for the intra mode prediction of its neighbours.
void clear_intra_mode_context(decoder_ctx *ctx);
