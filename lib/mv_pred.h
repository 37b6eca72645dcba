// Motion vectors of inter partitions: distance-scaled median prediction from the neighbouring
// 8x8 blocks of the motion cache, the coded difference, and the stored entries.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Neighbour choice of a partition: the median, or one neighbour when its reference matches.
// MV_MEDIAN_NO_MVD and MV_MEDIAN_DERIVED predict like MV_MEDIAN and read no difference.
enum mv_rule { MV_MEDIAN, MV_PREFER_A, MV_PREFER_B, MV_PREFER_C, MV_MEDIAN_NO_MVD, MV_MEDIAN_DERIVED };

// Entries that take the partition's vector: the whole macroblock, a horizontal pair (pos,
// pos + 1), a vertical pair (pos, pos + 4), or the one 8x8 block.
enum mv_fill { MV_FILL_16X16, MV_FILL_PAIR_H, MV_FILL_PAIR_V, MV_FILL_8X8 };

// Prediction of the vector at cache position pos for reference ref, c_pos the neighbour C.
void predict_motion(const decoder_ctx *ctx, int pos, int c_pos, int rule, int ref, int32_t *px, int32_t *py);

// Predicts, reads the difference when the rule codes one, and stores the vector at pos (list 0
// positions 5, 6, 9, 10; list 1 twelve further) and the other entries of the fill pattern.
void store_motion(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx);

// Partition shapes of coded P macroblocks.
enum mv_p_shape { MV_P_16X16, MV_P_16X8, MV_P_8X16, MV_P_8X8 };

// Cache position and neighbour C of each 8x8 block of the four-block shape.
extern const int mv_block_pos[4];
extern const int mv_block_c[4];

// store_motion for every partition of a coded P macroblock of the given shape, with the
// partitions' reference indices.
void store_p_motion(decoder_ctx *ctx, int shape, const int32_t *ref_idx);

// The vector of a skipped P macroblock: the prediction of reference 0 with no difference,
// stored at the four list-0 positions (as store_motion(ctx, 5, 3, MV_MEDIAN_NO_MVD,
// MV_FILL_16X16, 0)).
void store_skip_motion(decoder_ctx *ctx);

// Backward vector of a symmetric partition (pos a list-1 position), derived from the forward
// vector twelve positions before it; nothing is read.
void store_motion_sym(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx);

// Vector component scaled to another picture distance: (v * dist * scale + 256 - (v < 0)) >> 9
// with the wrap of 32-bit arithmetic.
int32_t scale_mv(int32_t v, int32_t dist, int32_t scale);
