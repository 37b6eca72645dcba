// Deblocking edge filters: kernel signature and table.
#pragma once

#include <cstdint>

enum DeblockEdgeKind {
    DEBLOCK_LUMA_V,
    DEBLOCK_LUMA_H,
    DEBLOCK_CHROMA_V,
    DEBLOCK_CHROMA_H,
    N_DEBLOCK_KINDS
};

// Row of the table: bit depth - 8. Row 1 stays empty.
enum DeblockRow {
    DEBLOCK_ROW_8BIT,
    DEBLOCK_ROW_9BIT,
    DEBLOCK_ROW_10BIT,
    N_DEBLOCK_ROWS
};

// Filters one edge in place: 16 lines (luma) or 8 lines (chroma) in two equal
// segments. pix addresses q0 of the first line (bytes for 8-bit samples,
// 16-bit words otherwise); stride is in bytes. alpha and beta (at least 1) and
// the two clip bounds come already scaled to the bit depth; strength holds one
// byte per segment: 0 none, 1 or 2 normal, 3 strong (decided by segment 0).
typedef void (*deblock_fn)(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                           const uint8_t *strength);

extern deblock_fn deblock_funcs[N_DEBLOCK_KINDS][N_DEBLOCK_ROWS];

// Filters the same chroma edge of both planes, as the chroma deblock_fn does each: cb and cr
// address q0 of its first line in each plane, both with the given stride.
typedef void (*deblock_pair_fn)(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                const uint8_t *clip, const uint8_t *strength);

enum DeblockPairKind {
    DEBLOCK_CHROMA_PAIR_V,
    DEBLOCK_CHROMA_PAIR_H,
    N_DEBLOCK_PAIR_KINDS
};

extern deblock_pair_fn deblock_pair_funcs[N_DEBLOCK_PAIR_KINDS][N_DEBLOCK_ROWS];

// Fills the table; called by the library initialisation.
void deblock_init(uint32_t cpu_flags);
void deblock_init_ssse3(uint32_t cpu_flags);

// Portable kernels.
void deblock_luma_v(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                    const uint8_t *strength);
void deblock_luma_h(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                    const uint8_t *strength);
void deblock_chroma_v(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                      const uint8_t *strength);
void deblock_chroma_h(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                      const uint8_t *strength);
void deblock_luma_v_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength);
void deblock_luma_h_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength);
void deblock_chroma_v_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                            const uint8_t *strength);
void deblock_chroma_h_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                            const uint8_t *strength);
void deblock_chroma_pair_v(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                           const uint8_t *clip, const uint8_t *strength);
void deblock_chroma_pair_h(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                           const uint8_t *clip, const uint8_t *strength);
void deblock_chroma_pair_v_10bit(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength);
void deblock_chroma_pair_h_10bit(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength);

// SSSE3 forms of the 8-bit kernels (x86/deblock_ssse3.cpp); the decoder filters chroma only
// through the pair slots, so the single-plane chroma slots keep their portable kernels. The
// vertical luma form reads and writes back columns -4..3 of every line.
void deblock_luma_v_ssse3(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength);
void deblock_luma_h_ssse3(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength);
// Both chroma planes in byte lanes, 8 lines of each. The vertical form reads columns -4..3
// of every line under the strong filter, -2..1 otherwise, and writes back columns -1..0.
void deblock_chroma_pair_v_ssse3(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength);
void deblock_chroma_pair_h_ssse3(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength);
