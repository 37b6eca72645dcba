// Work area of the macroblock being decoded: mode grids, neighbour samples, motion cache,
// coded block pattern and the residual buffers. Part of decoder_ctx.
#pragma once
#include <cstdint>

constexpr int MV_CACHE_ENTRIES = 24;   // list 0 entries 0..11, list 1 entries 12..23 (4 x 3 grids)
enum mv_field { MV_X, MV_Y, MV_DISTANCE, MV_REF_IDX, MV_MVD_X, MV_MVD_Y, MV_FIELDS };

// Availability flags of the neighbours of a macroblock.
enum mb_avail_flag { MB_LEFT = 1, MB_TOP = 2, MB_TOP_RIGHT = 4, MB_TOP_LEFT = 8 };

constexpr int NB_ARRAY = 32;           // entries of a neighbour-sample array (16-bit capable)

struct mb_work {
    // Luma mode grids: 5 x 5 over 4x4 blocks and 3 x 3 over 8x8 blocks; row 0 and column 0
    // hold the neighbours' modes, -1 where no intra mode is available.
    int32_t mode4[25];
    int32_t mode8[9];
    int32_t chroma_mode[2];
    int32_t left_chroma_mode[2];

    int32_t cbp;                 // bits 0..3 luma 8x8, 4/5 Cb/Cr, 6/7 lower Cb/Cr (4:2:2)
    uint8_t cbp4x4[4];
    int32_t base_pred_flag;
    int32_t left_qp, left_cbp, left_kind, left_base_pred;

    // Unfiltered samples kept for intra prediction: the right column of the left macroblock
    // (luma 16, chroma per plane rows 0..7 at [1..8] and 8..15 at [11..18]; samples of the
    // picture's size, bytes or 16-bit) and the corners.
    alignas(16) uint16_t left_col[16];
    alignas(16) uint16_t left_col_chroma[2][20];
    uint16_t corner[3];
    int32_t left_col_kept;       // the columns above hold the left macroblock's (else read the picture)

    // Neighbour arrays handed to the intra kernels (T and L; bytes or 16-bit samples).
    alignas(16) uint8_t top[2 * NB_ARRAY];
    alignas(16) uint8_t left[2 * NB_ARRAY];
    alignas(16) uint8_t top_c[2][2 * NB_ARRAY];
    alignas(16) uint8_t left_c[2][2 * NB_ARRAY];

    int16_t mv_cache[MV_CACHE_ENTRIES][MV_FIELDS];
    int8_t b_pred_dir[2][3];     // per row: left slot, then the macroblock's two 8x8 blocks
    int32_t b_pred_pos;          // grid position (1, 2, 4, 5) of the B block being decoded
    int32_t current_mv_pos;      // motion cache position whose vector is being decoded

    alignas(16) int32_t coef[64];
    uint32_t pairs[65];
};
