// Stages not linked into this build; their own definitions replace these at link time.
#include "aec.h"
#include "decoder_ctx.h"
#include "mb_inter.h"
#include "nal_walk.h"

// Inter macroblocks: refused until inter decoding is linked in.
__attribute__((weak)) int decode_p_mb(decoder_ctx *, int32_t) { return -2; }
__attribute__((weak)) int decode_b_mb(decoder_ctx *, int32_t) { return -2; }

// Arithmetic mode: slices are refused at aec_init until the arithmetic decoder is linked in;
// the readers below are then never reached.
__attribute__((weak)) int aec_init(decoder_ctx *, const uint8_t *, int32_t) { return -2; }
__attribute__((weak)) int aec_data_exhausted(decoder_ctx *) { return 1; }
__attribute__((weak)) int32_t aec_read_mb_type_i(decoder_ctx *) { return -1; }
__attribute__((weak)) int32_t aec_read_mb_type_p(decoder_ctx *) { return -1; }
__attribute__((weak)) int32_t aec_read_mb_type_b(decoder_ctx *) { return -1; }
__attribute__((weak)) int32_t aec_read_mb_skip_run(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t aec_read_end_of_slice(decoder_ctx *) { return 1; }
__attribute__((weak)) int32_t aec_read_base_pred_flag(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t aec_read_pred_mode_flag(decoder_ctx *) { return 1; }
__attribute__((weak)) int32_t aec_read_intra_luma_pred_mode(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t aec_read_intra_chroma_pred_mode(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t aec_read_cbp(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t aec_read_mb_qp_delta(decoder_ctx *) { return 0; }
__attribute__((weak)) void aec_clear_last_qp_delta(decoder_ctx *) {}
__attribute__((weak)) int aec_read_coefs(decoder_ctx *, int32_t, uint8_t *, int32_t, int) { return 0; }
__attribute__((weak)) int aec_read_coefs2(decoder_ctx *, int32_t, uint8_t *, int32_t, int) { return 0; }
