// Run/level expansion and dequantisation of a residual block into a coefficient block stored
// column by column (element N*u + v: horizontal frequency u, vertical frequency v).
#pragma once
#include <cstdint>

enum coef_size { COEF_8X8, COEF_4X4, COEF_SIZES };

// (run/level words, 16-byte aligned block, qp, word count, scan 0 frame / 1 field)
typedef void (*coef_fn)(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan);

extern coef_fn coef_funcs[COEF_SIZES];

struct coef_scan_entry {
    uint8_t index;   // storage index N*u + v
    uint8_t scale;   // (u mod 4) + 4 (v mod 4)
};
extern const coef_scan_entry coef_scan_table_4x4[2][16];
extern const coef_scan_entry coef_scan_table_8x8[2][64];
extern const uint8_t dequant_scale_table_4x4[7][16];
extern const uint8_t dequant_scale_table_8x8[7][16];

// The scan orders with the dequantisation scale folded in, by scan and qp mod 7.
struct coef_dequant_entry {
    uint8_t index;   // storage index N*u + v
    uint8_t scale;   // dequant_scale_table_NxN[qp mod 7][scale index]
};
template <int N>
struct coef_dequant_tables {
    coef_dequant_entry t[2][7][N * N];
};
extern const coef_dequant_tables<4> coef_dequant_4x4;
extern const coef_dequant_tables<8> coef_dequant_8x8;

void coef_expand_dequant8x8(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan);
void coef_expand_dequant4x4(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan);
void coef_expand_dequant8x8_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan);
void coef_expand_dequant4x4_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan);

// True when the words code the DC coefficient alone: the expanded block is zero but for
// element 0.
inline bool coef_dc_only(const uint32_t *words, int32_t count, int32_t scan, bool small)
{
    const int last = small ? 15 : 63;
    if (count != 1 || (((words[0] & 0xFFFF) - 1) & last) != 0)
        return false;
    return (small ? coef_scan_table_4x4[scan & 1] : coef_scan_table_8x8[scan & 1])[0].index == 0;
}

// Storage index of the coefficient a word places in an 8x8 block after scan position pos.
inline int coef_index_8x8(uint32_t word, int pos, int32_t scan)
{
    return coef_scan_table_8x8[scan & 1][(pos + static_cast<int>(word & 0xFFFF)) & 63].index;
}

void coef_init(uint32_t cpu_flags);
void coef_init_ssse3(uint32_t cpu_flags);

// qp limited to the range whose shift stays below 32.
static inline int32_t coef_qp_guard(int32_t qp)
{
    return qp < 0 ? 0 : qp > 7 * 32 - 1 ? 7 * 32 - 1 : qp;
}

// qp / 7 (the dequantisation shift) and qp mod 7 (the scale row) by guarded qp.
struct coef_qp_split {
    uint8_t shift;
    uint8_t row;
};
struct coef_qp_split_table {
    coef_qp_split t[7 * 32];
};
extern const coef_qp_split_table coef_qp_splits;
