// Regions of interest and the walk from one macroblock to the next within a slice.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Rectangle index of the macroblock at a raster address of the current layer (the lowest
// index when rectangles overlap), or -1 for the background.
int32_t roi_region_of_mb(decoder_ctx *ctx, int32_t addr);

// Builds the current layer's region map for the current picture parameter set when it is
// missing or stale. 0, or -1 when it cannot be allocated.
int roi_map_update(decoder_ctx *ctx);

// Moves to the next macroblock of the slice after one was decoded: 1 to go on with it, 0 when
// the slice has no further macroblock.
int mb_advance(decoder_ctx *ctx);

// Steps of the macroblock layer that mb_advance runs: keep the motion of the macroblock just
// decoded for its neighbours, and reset the left-neighbour context at a row start.
void mb_keep_motion(decoder_ctx *ctx);
void mb_reset_left_context(decoder_ctx *ctx);
