#include "mb_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "decoder_ctx.h"
#include "mb_address.h"
#include "mb_neighbours.h"

const uint8_t mode4_grid_pos[16] = {6, 7, 11, 12, 8, 9, 13, 14, 16, 17, 21, 22, 18, 19, 23, 24};
const uint8_t mode8_grid_pos[4] = {4, 5, 7, 8};

const int8_t intra_left_remap[8] = {0, -1, 6, -1, -1, 7, 6, 7};
const int8_t intra_top_remap[8] = {-1, 1, 5, -1, -1, 5, 7, 7};
const int8_t intra_chroma_left_remap[7] = {5, -1, 2, -1, 6, 5, 6};
const int8_t intra_chroma_top_remap[7] = {4, 1, -1, -1, 4, 6, 6};

namespace {

const int16_t kUnavailable[MV_FIELDS] = {0, 0, 1, -1, 0, 0};

void set_unavailable(int16_t *entry) { std::memcpy(entry, kUnavailable, sizeof kUnavailable); }

int32_t *intra_mode_row(layer_ctx &layer, int32_t x)
{
    return reinterpret_cast<int32_t *>(layer.buf[LB_INTRA_MODE_ROW]) + 6 * x;
}

void clear_left_modes(mb_work &mb)
{
    for (int r = 1; r <= 4; ++r)
        mb.mode4[5 * r] = -1;
    mb.mode8[3] = mb.mode8[6] = -1;
}

// 4x4 cell (cx, cy) of the macroblock, in the decoding rank of the block size in use.
int cell_rank(int cx, int cy, bool small)
{
    if (small)
        return ((cy >> 1) * 2 + (cx >> 1)) * 4 + (cy & 1) * 2 + (cx & 1);
    return (cy >> 1) * 2 + (cx >> 1);
}

// Whether the samples of 4x4 cell (cx, cy), relative to the macroblock, are decoded and may
// be used by the block of the given rank.
bool cell_ready(int avail, int cx, int cy, int rank, bool small)
{
    if (cy < 0) {
        if (cx < 0)
            return avail & MB_TOP_LEFT;
        if (cx < 4)
            return avail & MB_TOP;
        return cx < 8 && (avail & MB_TOP_RIGHT);
    }
    if (cx < 0)
        return (avail & MB_LEFT) && cy < 4;
    if (cx >= 4 || cy >= 4)
        return false;
    return cell_rank(cx, cy, small) < rank;
}

// What the neighbour cells of a block need to be ready: -1 never (not yet decoded, or outside
// the reach of the macroblock), else the availability bits that must all be set (0: a cell
// of the macroblock itself, always decoded before the block).
struct block_needs {
    int8_t above_right, below_left, corner;
    static bool ready(int avail, int8_t need) { return need >= 0 && (avail & need) == need; }
};

int8_t cell_need(int cx, int cy, int rank, bool small)
{
    if (cell_ready(0, cx, cy, rank, small))
        return 0;
    for (int bit : {MB_LEFT, MB_TOP, MB_TOP_RIGHT, MB_TOP_LEFT})
        if (cell_ready(bit, cx, cy, rank, small))
            return static_cast<int8_t>(bit);
    return -1;
}

struct needs_tables {
    block_needs blk8[4], blk4[16];
    intra_ready_tables ready;
    static uint8_t ready_bits(int avail, const block_needs &n)
    {
        return static_cast<uint8_t>((block_needs::ready(avail, n.above_right) ? READY_ABOVE_RIGHT : 0) |
                                    (block_needs::ready(avail, n.below_left) ? READY_BELOW_LEFT : 0) |
                                    (block_needs::ready(avail, n.corner) ? READY_CORNER : 0));
    }
    needs_tables()
    {
        for (int rank = 0; rank < 4; ++rank) {
            const int cx = 2 * (rank & 1), cy = 2 * (rank >> 1);
            blk8[rank] = {cell_need(cx + 2, cy - 1, rank, false), cell_need(cx - 1, cy + 2, rank, false),
                          cell_need(cx - 1, cy - 1, rank, false)};
        }
        for (int rank = 0; rank < 16; ++rank) {
            const int q = rank >> 2, i = rank & 3;
            const int cx = 2 * (q & 1) + (i & 1), cy = 2 * (q >> 1) + (i >> 1);
            blk4[rank] = {cell_need(cx + 1, cy - 1, rank, true), cell_need(cx - 1, cy + 1, rank, true),
                          cell_need(cx - 1, cy - 1, rank, true)};
        }
        for (int avail = 0; avail < 16; ++avail) {
            for (int rank = 0; rank < 4; ++rank)
                ready.blk8[avail][rank] = ready_bits(avail, blk8[rank]);
            for (int rank = 0; rank < 16; ++rank)
                ready.blk4[avail][rank] = ready_bits(avail, blk4[rank]);
        }
    }
};


template <typename P>
void keep_edges(decoder_ctx *ctx)
{
    // Everything is read before the first store: the sample stores may alias any field.
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int32_t x = layer.mb_x, ls = layer.luma_stride, cs = layer.chroma_stride;
    const int chroma_format = ctx->chroma_format;
    P *line = reinterpret_cast<P *>(layer.buf[LB_INTRA_LINE]) + 16 * x;
    P *const cline[2] = {reinterpret_cast<P *>(layer.buf[LB_INTRA_LINE_CB]) + 10 * x,
                         reinterpret_cast<P *>(layer.buf[LB_INTRA_LINE_CR]) + 10 * x};
    const uint8_t *y = layer.mb_plane[0];
    const uint8_t *const c[2] = {layer.mb_plane[1], layer.mb_plane[2]};
    // The right column stays readable in the picture until the loop filter gets the
    // macroblock: kept only when its record is about to be handed over.
    const bool keep_column = ctx->lf.fill >= ctx->lf.row_width;
    mb.corner[0] = line[15];
    std::memcpy(line, y + 15 * ls, 16 * sizeof(P));
    mb.left_col_kept = keep_column;
    if (keep_column) {
#pragma GCC unroll 16
        for (int r = 0; r < 16; ++r)
            reinterpret_cast<P *>(mb.left_col)[r] = reinterpret_cast<const P *>(y + r * ls)[15];
    }
    if (chroma_format == 0)
        return;
    const int rows = chroma_format == 2 ? 16 : 8;
#pragma GCC unroll 2
    for (int p = 0; p < 2; ++p) {
        mb.corner[1 + p] = cline[p][8];
        std::memcpy(cline[p] + 1, c[p] + (rows - 1) * cs, 8 * sizeof(P));
        if (!keep_column)
            continue;
        // Rows 0..7 at 1..8, rows 8..15 (4:2:2) at 11..18.
        P *col = reinterpret_cast<P *>(mb.left_col_chroma[p]);
#pragma GCC unroll 8
        for (int r = 0; r < 8; ++r)
            col[1 + r] = reinterpret_cast<const P *>(c[p] + r * cs)[7];
        if (rows == 16) {
#pragma GCC unroll 8
            for (int r = 8; r < 16; ++r)
                col[3 + r] = reinterpret_cast<const P *>(c[p] + r * cs)[7];
        }
    }
}

int remap(const int8_t *table, int32_t mode, int count)
{
    const int m = mode >= 0 && mode < count ? table[mode] : -1;
    if (m < 0) {
        std::printf("Illegal intra prediction mode\n");
        return 0;
    }
    return m;
}

} // namespace

const intra_ready_tables intra_ready = needs_tables().ready;

namespace {

template <bool intra_modes>
[[gnu::always_inline]] inline void load_context(decoder_ctx *ctx)
{
    // The fields are read before the byte stores below, which may alias them.
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int32_t x = layer.mb_x;
    const uint8_t *const row0 = layer.buf[LB_MV_ROW0], *const row1 = layer.buf[LB_MV_ROW1];
    const bool b_picture = ctx->pic_type == 3;
    if (x == ctx->mb_width - 1)
        layer.mb_avail &= ~MB_TOP_RIGHT;
    const int avail = layer.mb_avail;
    mb.cbp = 0;
    std::memset(mb.cbp4x4, 0, sizeof mb.cbp4x4);
    mb.base_pred_flag = 0;
    for (auto &row : mb.b_pred_dir)
        row[0] = row[2];

    auto load = [avail, x](int16_t(*cache)[MV_FIELDS], const uint8_t *row_buf) {
        const auto *row = reinterpret_cast<const int16_t(*)[MV_FIELDS]>(row_buf);
        std::memcpy(cache[1], row[2 * x], 3 * sizeof cache[1]);   // above, above right
        if (!(avail & MB_TOP)) {
            set_unavailable(cache[1]);
            set_unavailable(cache[2]);
        }
        if (!(avail & MB_TOP_RIGHT))
            set_unavailable(cache[3]);
        if ((avail & MB_TOP_LEFT) && (avail & MB_LEFT))
            return;
        if (avail & MB_TOP_LEFT)
            std::memcpy(cache[0], row[2 * x - 1], sizeof cache[0]);
        else
            set_unavailable(cache[0]);
        if (!(avail & MB_LEFT)) {
            set_unavailable(cache[4]);
            set_unavailable(cache[8]);
        }
    };
    // List 1 only for B pictures: nothing of I and P pictures reads its neighbour entries.
    load(mb.mv_cache, row0);
    if (b_picture)
        load(mb.mv_cache + 12, row1);

    if (!intra_modes) {
        if (!(avail & MB_LEFT))
            mb.b_pred_dir[0][0] = mb.b_pred_dir[1][0] = -1;
        return;
    }
    if (avail & MB_TOP) {
        const int32_t *modes = intra_mode_row(layer, x);
        std::memcpy(mb.mode4 + 1, modes, 4 * sizeof(int32_t));
        std::memcpy(mb.mode8 + 1, modes + 4, 2 * sizeof(int32_t));
    } else {
        std::fill_n(mb.mode4 + 1, 4, -1);
        mb.mode8[1] = mb.mode8[2] = -1;
    }
    if (!(avail & MB_LEFT)) {
        clear_left_modes(mb);
        mb.b_pred_dir[0][0] = mb.b_pred_dir[1][0] = -1;
    }
}

} // namespace

void mb_context_load(decoder_ctx *ctx) { load_context<true>(ctx); }

void mb_inter_context_load(decoder_ctx *ctx) { load_context<false>(ctx); }

void store_intra_pred_modes(decoder_ctx *ctx, int32_t *chroma_modes, int is_8x8)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    int32_t *row = intra_mode_row(layer, layer.mb_x);
    if (is_8x8) {
        int32_t *m = mb.mode8;
        const int32_t m1 = m[5], m2 = m[7], m3 = m[8];
        const int32_t stored[6] = {m2, m2, m3, m3, m2, m3};
        std::memcpy(row, stored, sizeof stored);
        mb.mode4[5] = mb.mode4[10] = m1;
        mb.mode4[15] = mb.mode4[20] = m3;
        mb.mode8[3] = m1;
        mb.mode8[6] = m3;
    } else {
        auto r = [&mb](int y, int x) { return mb.mode4[5 * (y + 1) + x + 1]; };
        const int32_t stored[6] = {r(3, 0), r(3, 1), r(3, 2), r(3, 3), r(2, 0), r(2, 2)};
        std::memcpy(row, stored, sizeof stored);
        const int32_t right[4] = {r(0, 3), r(1, 3), r(2, 3), r(3, 3)};
        const int32_t m8[2] = {r(0, 2), r(2, 2)};
        for (int i = 0; i < 4; ++i)
            mb.mode4[5 * (i + 1)] = right[i];
        mb.mode8[3] = m8[0];
        mb.mode8[6] = m8[1];
    }

    const int avail = layer.mb_avail;
    if (!(avail & MB_LEFT)) {
        if (is_8x8) {
            for (int pos : {4, 7})
                mb.mode8[pos] = remap(intra_left_remap, mb.mode8[pos], 8);
        } else {
            for (int y = 0; y < 4; ++y)
                mb.mode4[5 * (y + 1) + 1] = remap(intra_left_remap, mb.mode4[5 * (y + 1) + 1], 8);
        }
        for (int j = 0; j < 2; ++j)
            chroma_modes[j] = remap(intra_chroma_left_remap, chroma_modes[j], 7);
    }
    if (!(avail & MB_TOP)) {
        if (is_8x8) {
            for (int pos : {4, 5})
                mb.mode8[pos] = remap(intra_top_remap, mb.mode8[pos], 8);
        } else {
            for (int x = 0; x < 4; ++x)
                mb.mode4[6 + x] = remap(intra_top_remap, mb.mode4[6 + x], 8);
        }
        chroma_modes[0] = remap(intra_chroma_top_remap, chroma_modes[0], 7);
    }
}

void store_intra_edges(decoder_ctx *ctx)
{
    if (ctx->bit_depth > 8)
        keep_edges<uint16_t>(ctx);
    else
        keep_edges<uint8_t>(ctx);
}

void mb_reset_left_context(decoder_ctx *ctx)
{
    mb_work &mb = ctx->mb;
    for (int list = 0; list < 2; ++list)
        for (int r = 0; r < 3; ++r)
            set_unavailable(mb.mv_cache[12 * list + 4 * r]);
    clear_left_modes(mb);
}
