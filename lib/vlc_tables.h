// Constant tables of the Exp-Golomb macroblock layer: the adaptive two-dimensional residual
// code tables, the coded-block-pattern maps and the chroma QP map.
#pragma once
#include <cstdint>

constexpr int VLC2D_CODES = 59;           // code numbers of table entries; 59 and above escape
constexpr int VLC2D_MAX_REF_LEVELS = 27;     // reference levels of a table row
constexpr int VLC2D_MAX_ORDER = 3;           // largest Exp-Golomb order of a table

struct vlc2d_entry {
    int8_t level;     // 0: end of block; an escape: the sign of its level, 1 or -1
    int8_t advance;   // run + 1; 0: end of block
    int8_t step;      // tables to move on after this entry (an escape: by its level)
    int8_t escape;    // -1 for an escape, else 0
};

constexpr int VLC2D_DIRECT_BITS = 9;

// A code of at most VLC2D_DIRECT_BITS bits that is no escape, by the next bits of the stream.
struct vlc2d_direct {
    int8_t level;     // 0: end of block
    int8_t advance;
    int8_t step;
    uint8_t length;   // 0: a longer code or an escape
};

constexpr int VLC2D_MAX_ADVANCE = 64;
constexpr int VLC2D_ESCAPE_CODES = 2 * VLC2D_MAX_ADVANCE;   // escapes of advance 1..64, each sign
constexpr int VLC2D_ESCAPE_STEPS = 12;                      // above every finite threshold of a set

// 4096 bytes apart: moving on by a step is a shift and an add.
struct alignas(4096) vlc2d_table {
    vlc2d_direct direct[1 << VLC2D_DIRECT_BITS];
    vlc2d_entry entries[VLC2D_CODES + VLC2D_ESCAPE_CODES];
    int8_t ref_level[VLC2D_MAX_ADVANCE + 1];  // escape base level by advance (1 past the
                                              // largest advance with a reference level)
    int8_t escape_step[VLC2D_ESCAPE_STEPS];   // tables to move on after an escape, by its level
                                              // magnitude (the last entry for all larger ones)
    int8_t order;                             // Exp-Golomb order of the code numbers
    int32_t threshold;                        // largest absolute level this table serves
};

constexpr int VLC2D_INTRA_TABLES = 7;
constexpr int VLC2D_INTER_TABLES = 7;
constexpr int VLC2D_CHROMA_TABLES = 5;

extern const vlc2d_table vlc2d_intra_tables[VLC2D_INTRA_TABLES];
extern const vlc2d_table vlc2d_inter_tables[VLC2D_INTER_TABLES];
extern const vlc2d_table vlc2d_chroma_tables[VLC2D_CHROMA_TABLES];

// Coded block pattern by code number: [0] intra, [1] inter.
extern const uint8_t cbp_map_420[64][2];
extern const uint8_t cbp_map_4bit[16][2];

// Chroma QP by luma QP index 0..55.
extern const uint8_t chroma_qp_table[56];
