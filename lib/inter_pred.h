// Motion-compensated prediction of an inter macroblock into the picture being decoded, from
// the vectors in its motion cache, through the motion-compensation kernel tables.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Partition layout of each macroblock kind (0..30): 0 one 16x16 prediction, otherwise four 8x8
// ones. For the two-partition B kinds: bits 0/1 forward, 2/3 backward, 4/5 symmetric for
// partition 0/1, and the shape 0x40 16x8, 0x80 8x16.
extern const uint8_t mc_shape_table[31];

// 0, or -2 when a list-0 reference index is 2 or more or names a missing reference picture
// (and when a list-1 vector meets a missing backward reference); a reference whose size,
// format, strides or planes differ from the picture in decoding counts as missing.
int inter_pred_mb(decoder_ctx *ctx, int32_t kind);

// Notes for the slice about to be decoded which references fit the picture in decoding (size,
// format, strides, every plane), so that its macroblocks need not ask again.
void inter_pred_start_slice(decoder_ctx *ctx);
