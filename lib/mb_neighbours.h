// Neighbour arrays of the blocks of an intra macroblock, gathered inline by the prediction
// loop: the luma ones from what one macroblock's view holds.
#pragma once
#include <cstdint>
#include <cstring>

#include "decoder_ctx.h"

// Which neighbour cells of a block are ready.
enum intra_ready_bit { READY_ABOVE_RIGHT = 1, READY_BELOW_LEFT = 2, READY_CORNER = 4 };

// [availability of the macroblock's neighbours][block in decoding order]: intra_ready_bit set.
struct intra_ready_tables {
    uint8_t blk8[16][4];
    uint8_t blk4[16][16];
};
extern const intra_ready_tables intra_ready;

// Whether the left macroblock's samples are read from the picture: it is available and its
// loop-filter record was not handed over yet, so the filter has not touched it.
inline bool left_in_picture(const decoder_ctx *ctx)
{
    return (ctx->layer[ctx->cur_layer].mb_avail & MB_LEFT) && !ctx->mb.left_col_kept;
}

// What the luma blocks of one macroblock gather from, read once per macroblock.
template <typename P>
struct luma_view {
    const P *line;              // unfiltered row above, from the macroblock's first column
    const P *kept;              // kept right column of the left macroblock
    const uint8_t *plane;       // the macroblock's first sample
    int32_t stride;
    int avail;
    bool left_in_picture;
    P corner;                   // above-left sample of the macroblock's first block
    P *top, *left;              // the arrays handed to the kernels

    explicit luma_view(decoder_ctx *ctx)
    {
        const layer_ctx &layer = ctx->layer[ctx->cur_layer];
        mb_work &mb = ctx->mb;
        line = reinterpret_cast<const P *>(layer.buf[LB_INTRA_LINE]) + 16 * layer.mb_x;
        kept = reinterpret_cast<const P *>(mb.left_col);
        plane = layer.mb_plane[0];
        stride = layer.luma_stride;
        avail = layer.mb_avail;
        left_in_picture = ::left_in_picture(ctx);
        top = reinterpret_cast<P *>(mb.top);
        left = reinterpret_cast<P *>(mb.left);
        corner = static_cast<P>(1 << (ctx->bit_depth - 1));
        if (avail & MB_TOP_LEFT)
            corner = (avail & MB_LEFT) ? static_cast<P>(mb.corner[0]) : line[-1];
    }
};

// Eight copies of v from dst on (bytes or 16-bit samples).
template <typename P>
inline void splat8(P *dst, P v)
{
    if constexpr (sizeof(P) == 1) {
        const uint64_t w = v * 0x0101010101010101ull;
        std::memcpy(dst, &w, 8);
    } else {
        const uint64_t w = v * 0x0001000100010001ull;
        std::memcpy(dst, &w, 8);
        std::memcpy(dst + 4, &w, 8);
    }
}

// Fills top[0..2N+1] and left[0..2N+1] of the N x N luma block at (bx, by): the row above
// and the column to the left, the above-right and below-left halves when their cells are
// ready (else the last sample is repeated), a repeat of the last sample, then the corner.
// Repeats may run on past 2N+1, which the kernels read only into unused lanes.
template <typename P, int N>
[[gnu::always_inline]] inline void gather_luma(const luma_view<P> &v, int bx, int by, int ready)
{
    const int avail = v.avail;
    const int32_t stride = v.stride;
    const uint8_t *origin = v.plane + by * stride + bx * static_cast<int>(sizeof(P));
    P *t = v.top;
    P *l = v.left;

    // Above: the unfiltered line buffer (which runs on into the next macroblock) for the top
    // row of blocks, else the macroblock's own row by - 1.
    const P *above = by == 0 ? v.line + bx : reinterpret_cast<const P *>(origin - stride);
    if (ready & READY_ABOVE_RIGHT) {
        std::memcpy(t + 1, above, 2 * N * sizeof(P));
        t[2 * N + 1] = t[2 * N];
    } else {
        std::memcpy(t + 1, above, N * sizeof(P));
        for (int k = 0; k <= N; k += 8)
            splat8(t + 1 + N + k, t[N]);
    }

    // Left: the picture's column bx - 1 (the left macroblock's while the loop filter has not
    // got it), else the column kept of the left macroblock.
    const bool below_left = ready & READY_BELOW_LEFT;
    const bool from_picture = bx > 0 || v.left_in_picture;
    const uint8_t *col = origin - sizeof(P);
    if (from_picture) {
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i)
            l[1 + i] = *reinterpret_cast<const P *>(col + i * stride);
        if (below_left) {
#pragma GCC unroll 8
            for (int i = N; i < 2 * N; ++i)
                l[1 + i] = *reinterpret_cast<const P *>(col + i * stride);
        }
    } else {
        if (below_left)
            std::memcpy(l + 1, v.kept + by, 2 * N * sizeof(P));
        else
            std::memcpy(l + 1, v.kept + by, N * sizeof(P));
    }
    if (below_left) {
        l[2 * N + 1] = l[2 * N];
    } else {
        for (int k = 0; k <= N; k += 8)
            splat8(l + 1 + N + k, l[N]);
    }

    if (bx == 0 && by == 0) {
        P c;
        if (avail & MB_TOP_LEFT)
            c = v.corner;
        else if ((avail & MB_LEFT) && (avail & MB_TOP))
            c = static_cast<P>((l[1] + t[1] + 1) >> 1);
        else if (avail & MB_LEFT)
            c = l[1];
        else if (avail & MB_TOP)
            c = t[1];
        else
            c = v.corner;   // mid-grey
        t[0] = l[0] = c;
    } else if (ready & READY_CORNER) {
        P c;
        if (by == 0)
            c = v.line[bx - 1];
        else if (from_picture)
            c = *reinterpret_cast<const P *>(col - stride);
        else
            c = v.kept[by - 1];
        t[0] = l[0] = c;
    } else {
        t[0] = t[1];
        l[0] = l[1];
    }
}

// Fills top[0..9] and left[0..9] of chroma block blk (0, or 1 for the lower 4:2:2 block) of
// Cb and Cr: the row above (the line buffer, or row 7 for the lower block) with the above-right
// sample, the column to the left, and the corner.
template <typename P>
[[gnu::always_inline]] inline void gather_chroma(decoder_ctx *ctx, int blk)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int avail = layer.mb_avail;
    const bool from_picture = left_in_picture(ctx);
    const int32_t cs = layer.chroma_stride;
    for (int p = 0; p < 2; ++p) {
        P *t = reinterpret_cast<P *>(mb.top_c[p]);
        P *l = reinterpret_cast<P *>(mb.left_c[p]);
        // Left column: the picture's, or the kept one (rows 0..7 at 1..8, rows 8..15 at 11..18).
        const P *lc = reinterpret_cast<const P *>(mb.left_col_chroma[p]);
        const uint8_t *pc = layer.mb_plane[1 + p] - sizeof(P);
        auto left_sample = [&](int r) {
            return from_picture ? *reinterpret_cast<const P *>(pc + r * cs) : lc[r < 8 ? 1 + r : 3 + r];
        };
        if (from_picture) {
#pragma GCC unroll 8
            for (int i = 1; i <= 8; ++i)
                l[i] = *reinterpret_cast<const P *>(pc + (8 * blk + i - 1) * cs);
        } else {
            std::memcpy(l + 1, lc + (blk ? 11 : 1), 8 * sizeof(P));
        }
        l[9] = l[8];
        if (blk == 0) {
            const P *line = reinterpret_cast<const P *>(layer.buf[LB_INTRA_LINE_CB + p]) + 10 * layer.mb_x;
            std::memcpy(t + 1, line + 1, 8 * sizeof(P));
            t[9] = (avail & MB_TOP_RIGHT) ? line[11] : t[8];
            P c;
            if (avail & MB_TOP_LEFT)
                c = (avail & MB_LEFT) ? static_cast<P>(mb.corner[1 + p]) : line[-2];
            else if ((avail & MB_LEFT) && (avail & MB_TOP))
                c = static_cast<P>((l[1] + t[1] + 1) >> 1);
            else if (avail & MB_TOP)
                c = t[1];
            else if (avail & MB_LEFT)
                c = l[1];
            else
                c = static_cast<P>(1 << (ctx->bit_depth - 1));
            t[0] = l[0] = c;
        } else {
            const P *row7 = reinterpret_cast<const P *>(layer.mb_plane[1 + p] + 7 * cs);
            std::memcpy(t + 1, row7, 8 * sizeof(P));
            t[9] = t[8];
            t[0] = l[0] = (avail & MB_LEFT) ? left_sample(7) : t[1];
        }
    }
}
