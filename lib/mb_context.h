// Neighbourhood of the macroblock being decoded: availability-driven context loading and the
// storing of intra modes and of the unfiltered edges that intra prediction reads (gathered
// by mb_neighbours.h).
#pragma once
#include <cstdint>

struct decoder_ctx;

// Loads the neighbour context of the current macroblock (cbp, modes, motion) before decoding.
void mb_context_load(decoder_ctx *ctx);

// The same for an inter macroblock, without the intra modes (an intra macroblock loads its
// own; the left ones of the next macroblock are set by clear_intra_mode_context).
void mb_inter_context_load(decoder_ctx *ctx);

// Stores the coded modes of an intra macroblock for its neighbours, then replaces modes that
// need a missing neighbour ("Illegal intra prediction mode": mode 0).
void store_intra_pred_modes(decoder_ctx *ctx, int32_t *chroma_modes, int is_8x8);

// Keeps the unfiltered bottom rows and corners of the finished macroblock, and its right
// columns when its loop-filter record is handed over next (else the next macroblock reads
// them from the picture). Runs before the record is handed over.
void store_intra_edges(decoder_ctx *ctx);

// Grid position of luma 4x4 block i (5-wide grid) and 8x8 block i (3-wide grid).
extern const uint8_t mode4_grid_pos[16];
extern const uint8_t mode8_grid_pos[4];

// Mode substitutes for a missing left or top neighbour (-1: none).
extern const int8_t intra_left_remap[8];
extern const int8_t intra_top_remap[8];
extern const int8_t intra_chroma_left_remap[7];
extern const int8_t intra_chroma_top_remap[7];
