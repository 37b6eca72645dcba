// Arithmetic-mode entry points that the slice loop and the intra macroblock layer call. Until
// the arithmetic decoder is linked in, stand-ins refuse arithmetic slices (aec_init gives -2).
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
int32_t aec_read_intra_chroma_pred_mode(decoder_ctx *ctx);
int32_t aec_read_cbp(decoder_ctx *ctx);
int32_t aec_read_mb_qp_delta(decoder_ctx *ctx);
// Clears the engine's last QP change (a macroblock without QP change).
void aec_clear_last_qp_delta(decoder_ctx *ctx);
int aec_read_coefs(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma);
int aec_read_coefs2(decoder_ctx *ctx, int32_t qp, uint8_t *dst, int32_t stride, int is_luma);
