// Slice header: selects the parameter sets and the layer, reads the slice fields and starts a
// new picture when the slice opens one.
#pragma once
#include <cstdint>

struct decoder_ctx;

// 0, -2 (slice refused), -1 (allocation failed) or -11 (data ran out). The layer of the NAL
// unit is current before the call.
int parse_slice_header(decoder_ctx *ctx);

// Lowest and highest slice QP minus 7 x bit_depth_luma_minus8: the QP tables have 56 entries.
constexpr int32_t SVAC_QP_MAX = 55;
