// Arithmetic-mode entry points that the slice loop and the macroblock layers call: each reader
// decodes one syntax element with its contexts and returns the value the Exp-Golomb mode carries.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Starts the engine on the slice data: 0, or a negative code that refuses the slice.
int aec_init(decoder_ctx *ctx, const uint8_t *data, int32_t length);
// Whether the engine's byte pointer reached the end of its data.
int aec_data_exhausted(decoder_ctx *ctx);
int32_t aec_read_mb_type_i(decoder_ctx *ctx);
int32_t aec_read_mb_type_p(decoder_ctx *ctx);
int32_t aec_read_mb_type_b(decoder_ctx *ctx);
int32_t aec_read_mb_skip_run(decoder_ctx *ctx);
int32_t aec_read_end_of_slice(decoder_ctx *ctx);
int32_t aec_read_base_pred_flag(decoder_ctx *ctx);
int32_t aec_read_pred_mode_flag(decoder_ctx *ctx);
int32_t aec_read_intra_luma_pred_mode(decoder_ctx *ctx);
// half: 0, or 1 for the lower half of a 4:2:2 macroblock.
int32_t aec_read_intra_chroma_pred_mode(decoder_ctx *ctx, int half);
// Sub-type of a B_8X8 block: 0 direct, 1 forward, 2 backward, 3 symmetric.
int32_t aec_read_mb_part_type(decoder_ctx *ctx);
// Reference index of motion cache position (5, 6, 9, 10 list 0; 17, 18, 21, 22 list 1).
int32_t aec_read_ref_idx(decoder_ctx *ctx, int position);
// Vector difference at mb.current_mv_pos; component 0 horizontal, 1 vertical.
int32_t aec_read_mvd(decoder_ctx *ctx, int component);
int32_t aec_read_cbp(decoder_ctx *ctx);
int32_t aec_read_mb_qp_delta(decoder_ctx *ctx);
// Clears the engine's last QP change (a macroblock without QP change).
void aec_clear_last_qp_delta(decoder_ctx *ctx);
// Records the mb_type code of the current macroblock for its neighbours' contexts (6 for a
// skipped P macroblock, 30 for a skipped B macroblock).
void aec_record_mb_type_code(decoder_ctx *ctx, int32_t code);
// Residual of an 8x8 (aec_read_coefs) or 4x4 (aec_read_coefs2) block added to the prediction at
// dst; 0.
int aec_read_coefs(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma);
int aec_read_coefs2(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma);
