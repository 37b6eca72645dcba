// Neighbourhood of the macroblock being decoded: availability-driven context loading, the
// unfiltered neighbour samples for intra prediction, and the storing of intra modes and edges.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Loads the neighbour context of the current macroblock (cbp, modes, motion) before decoding.
void mb_context_load(decoder_ctx *ctx);

// Neighbour arrays T and L of chroma block blk (0, or 1 for the lower 4:2:2 block) of Cb and
// Cr; those of the luma blocks are gathered inline (mb_neighbours.h).
void mb_neighbours_chroma(decoder_ctx *ctx, int blk, const uint8_t **top_cb, const uint8_t **left_cb,
                          const uint8_t **top_cr, const uint8_t **left_cr);

// Stores the coded modes of an intra macroblock for its neighbours, then replaces modes that
// need a missing neighbour ("Illegal intra prediction mode": mode 0).
void store_intra_pred_modes(decoder_ctx *ctx, int32_t *chroma_modes, int is_8x8);

// Keeps the unfiltered bottom row, right column and corner of the finished macroblock.
void store_intra_edges(decoder_ctx *ctx);

// Grid position of luma 4x4 block i (5-wide grid) and 8x8 block i (3-wide grid).
extern const uint8_t mode4_grid_pos[16];
extern const uint8_t mode8_grid_pos[4];

// Mode substitutes for a missing left or top neighbour (-1: none).
extern const int8_t intra_left_remap[8];
extern const int8_t intra_top_remap[8];
extern const int8_t intra_chroma_left_remap[7];
extern const int8_t intra_chroma_top_remap[7];
