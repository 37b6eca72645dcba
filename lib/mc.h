// Motion compensation (quarter-sample luma, eighth-sample chroma) and reference window padding:
// kernel signatures, tables and the kernels they hold.
#pragma once

#include <cstddef>
#include <cstdint>

// Row of every motion-compensation table: bit depth - 8. Row 0 holds byte samples, row 2
// 16-bit samples; row 1 stays empty.
enum McRow {
    MC_ROW_8BIT,
    MC_ROW_9BIT,
    MC_ROW_10BIT,
    N_MC_ROWS
};

enum LumaMcSize {
    LUMA_MC_16X16,
    LUMA_MC_8X8,
    N_LUMA_MC_SIZES
};

// Quarter-sample position 4 * dy + dx.
constexpr int N_LUMA_MC_POSITIONS = 16;

// Chroma block widths 8, 4, 2 and 1.
enum ChromaMcWidth {
    CHROMA_MC_W8,
    CHROMA_MC_W4,
    CHROMA_MC_W2,
    CHROMA_MC_W1,
    N_CHROMA_MC_WIDTHS
};

// Widths of the chroma kernels that predict both chroma planes of one block.
enum ChromaCbcrWidth {
    CHROMA_CBCR_W8,
    CHROMA_CBCR_W4,
    N_CHROMA_CBCR_WIDTHS
};

enum PadRefSlot {
    PAD_REF_8BIT,
    PAD_REF_16BIT,
    N_PAD_REF_SLOTS
};

// Predicts an N x N luma block at dst from the reference sample under its top-left output
// sample. Pointers address bytes (16-bit words for 10-bit samples); the one stride in bytes
// serves both. Reads columns and rows -2 .. N + 2 around src; dst never overlaps them.
typedef void (*luma_mc_fn)(uint8_t *dst, const uint8_t *src, int32_t stride);

// Bilinear eighth-sample prediction of a w x h chroma block (w fixed by the kernel); x and y
// are the fractions 0..7. Reads at most (w + 1) x (h + 1) samples from src; with x and y 0 no
// more than w x h (widths 8 and 4 of every kernel set).
typedef void (*chroma_mc_fn)(uint8_t *dst, const uint8_t *src, int32_t stride, int32_t h, int32_t x,
                             int32_t y);

// The chroma kernel of one width on the Cb and then the Cr plane, the two sharing the stride,
// the height and the fractions; reads what two calls of that kernel read.
typedef void (*chroma_mc_cbcr_fn)(uint8_t *dst_cb, uint8_t *dst_cr, const uint8_t *src_cb,
                                  const uint8_t *src_cr, int32_t stride, int32_t h, int32_t x, int32_t y);

// Copies the block_w x block_h window whose top-left sample is plane sample (x, y) into dst,
// every position outside the width x height plane replaced by the nearest border sample. src
// is the address that plane sample (x, y) would have; only samples inside the plane are read.
typedef void (*pad_ref_fn)(uint8_t *dst, const uint8_t *src, int32_t dst_stride, int32_t src_stride,
                           int32_t block_w, int32_t block_h, int32_t x, int32_t y, int32_t width,
                           int32_t height);

extern luma_mc_fn luma_mc_put_funcs[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
extern luma_mc_fn luma_mc_avg_funcs[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
extern chroma_mc_fn chroma_mc_put_funcs[N_MC_ROWS][N_CHROMA_MC_WIDTHS];
extern chroma_mc_fn chroma_mc_avg_funcs[N_MC_ROWS][N_CHROMA_MC_WIDTHS];
extern chroma_mc_cbcr_fn chroma_mc_cbcr_put_funcs[N_MC_ROWS][N_CHROMA_CBCR_WIDTHS];
extern chroma_mc_cbcr_fn chroma_mc_cbcr_avg_funcs[N_MC_ROWS][N_CHROMA_CBCR_WIDTHS];
extern pad_ref_fn pad_ref_block_funcs[N_PAD_REF_SLOTS];

// Fills the tables above; called by the library initialisation.
void mc_init(uint32_t cpu_flags);
void mc_init_ssse3(uint32_t cpu_flags);

// Scratch area for padded reference windows of pictures with this luma stride (bytes):
// 96 rows of the stride rounded up to 32 bytes, enough for the 21-row luma window and the
// chroma windows.
size_t pad_block_buf_size(int32_t luma_stride);
// Makes *buf hold at least pad_block_buf_size(luma_stride) bytes, replacing a smaller buffer
// (its contents are not kept). 0, or -1 when the allocation fails; the old buffer then stays.
int pad_block_buf_reserve(uint8_t **buf, size_t *capacity, int32_t luma_stride);
