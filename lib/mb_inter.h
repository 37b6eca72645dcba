// Inter macroblocks of P and B pictures (types of the slice loop's mapping: 2..6 P, 7..30 B).
#pragma once
#include <cstdint>

struct decoder_ctx;

// 0, or a negative code. Until inter decoding is linked in, stand-ins refuse with -2.
int decode_p_mb(decoder_ctx *ctx, int32_t mb_type);
int decode_b_mb(decoder_ctx *ctx, int32_t mb_type);
