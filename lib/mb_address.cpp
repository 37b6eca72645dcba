#include "mb_address.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "decoder_ctx.h"
#include "mem.h"

namespace {

bool map_current(const decoder_ctx *ctx, const layer_ctx &layer)
{
    const pps_record *pps = ctx->cur_pps;
    return layer.region_map && layer.region_map_pps == pps && layer.region_map_generation == pps->generation &&
           layer.region_map_rects == pps->cur_top_left && layer.region_map_width == ctx->mb_width &&
           layer.region_map_mbs == ctx->mb_total;
}

int32_t scan_region(const decoder_ctx *ctx, int32_t addr)
{
    const pps_record *pps = ctx->cur_pps;
    const int32_t w = ctx->mb_width;
    if (!pps->cur_top_left || !pps->cur_bottom_right || w < 1)
        return -1;
    const int32_t x = addr % w, y = addr / w;
    for (int32_t i = 0; i < pps->num_roi; ++i) {
        const int32_t tl = pps->cur_top_left[i], br = pps->cur_bottom_right[i];
        if (tl % w <= x && x <= br % w && tl / w <= y && y <= br / w)
            return i;
    }
    return -1;
}

// Next column at or after x of row y that no rectangle has claimed yet (path-halving).
int32_t next_free(int32_t *row_next, int32_t x)
{
    while (row_next[x] != x) {
        row_next[x] = row_next[row_next[x]];
        x = row_next[x];
    }
    return x;
}

} // namespace

int32_t roi_region_of_mb(decoder_ctx *ctx, int32_t addr)
{
    const pps_record *pps = ctx->cur_pps;
    if (!pps || pps->num_roi < 1)
        return -1;
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    if (addr >= 0 && addr < layer.region_map_mbs && map_current(ctx, layer))
        return layer.region_map[addr];
    return scan_region(ctx, addr);
}

int roi_map_update(decoder_ctx *ctx)
{
    const pps_record *pps = ctx->cur_pps;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    if (!pps || pps->num_roi < 1 || !pps->cur_top_left || !pps->cur_bottom_right || map_current(ctx, layer))
        return 0;
    const int32_t w = ctx->mb_width, count = ctx->mb_total;
    if (w < 1 || count < 1)
        return 0;
    const int32_t h = count / w;
    if (layer.region_map_mbs != count) {
        mem_freep(&layer.region_map);
        mem_freep(&layer.region_next);
        layer.region_map_mbs = 0;
    }
    if (!layer.region_map) {
        layer.region_map = static_cast<int32_t *>(mem_malloc(sizeof(int32_t) * static_cast<size_t>(count)));
        layer.region_next = static_cast<int32_t *>(mem_malloc(sizeof(int32_t) * static_cast<size_t>(count)));
        if (!layer.region_map || !layer.region_next) {
            mem_freep(&layer.region_map);
            mem_freep(&layer.region_next);
            return -1;
        }
        layer.region_map_mbs = count;
    }
    layer.region_map_pps = nullptr;

    // Rectangles in index order; each cell keeps the first (lowest) index that covers it.
    std::fill(layer.region_map, layer.region_map + count, -1);
    std::vector<int32_t> free_col(static_cast<size_t>(h) * (w + 1));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x <= w; ++x)
            free_col[static_cast<size_t>(y) * (w + 1) + x] = x;
    for (int32_t i = 0; i < pps->num_roi; ++i) {
        const int32_t tl = pps->cur_top_left[i], br = pps->cur_bottom_right[i];
        const int32_t x1 = std::max(tl % w, 0), x2 = std::min(br % w, w - 1);
        const int32_t y1 = std::max(tl / w, 0), y2 = std::min(br / w, h - 1);
        for (int32_t y = y1; x1 <= x2 && y <= y2; ++y) {
            int32_t *row_next = free_col.data() + static_cast<size_t>(y) * (w + 1);
            for (int32_t x = next_free(row_next, x1); x <= x2; x = next_free(row_next, x)) {
                layer.region_map[y * w + x] = i;
                row_next[x] = x + 1;
            }
        }
    }
    // Next address of the same region, from the end backwards.
    std::vector<int32_t> following(static_cast<size_t>(pps->num_roi) + 1, count);
    for (int32_t a = count - 1; a >= 0; --a) {
        int32_t &next = following[static_cast<size_t>(layer.region_map[a] + 1)];
        layer.region_next[a] = next;
        next = a;
    }
    layer.region_first_background = following[0];
    layer.region_map_pps = pps;
    layer.region_map_generation = pps->generation;
    layer.region_map_rects = pps->cur_top_left;
    layer.region_map_width = w;
    return 0;
}

// First address after addr in the given region, or the macroblock count.
static int32_t next_in_region(decoder_ctx *ctx, int32_t addr, int32_t region)
{
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t count = ctx->mb_total;
    if (region < 0 && (!ctx->cur_pps || ctx->cur_pps->num_roi < 1))
        return addr + 1;
    if (addr >= 0 && addr < count && map_current(ctx, layer) && layer.region_map[addr] == region)
        return layer.region_next[addr];
    int32_t a = addr + 1;
    while (a < count && roi_region_of_mb(ctx, a) != region)
        ++a;
    return a;
}

static int32_t first_background(decoder_ctx *ctx)
{
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    if (map_current(ctx, layer))
        return layer.region_first_background;
    int32_t a = 0;
    while (a < ctx->mb_total && roi_region_of_mb(ctx, a) != -1)
        ++a;
    return a;
}

static int32_t *slice_ids(layer_ctx &layer, int which)
{
    return reinterpret_cast<int32_t *>(layer.buf[which]);
}

// Availability of the neighbours of the current macroblock of region r in a picture with
// regions; kept out of line so that the walk without regions stays short.
[[gnu::noinline]] static int32_t region_neighbour_avail(decoder_ctx *ctx, int32_t r)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t w = ctx->mb_width, x = layer.mb_x, y = layer.mb_y, m = layer.cur_mb_addr;
    const int32_t s = ctx->slice_count;
    const int32_t *left_ids = slice_ids(layer, LB_LEFT_SLICE_IDS);
    const int32_t *top_ids = slice_ids(layer, LB_TOP_SLICE_IDS);
    auto available = [&](bool exists, int32_t n, int32_t recorded_slice) {
        return exists && roi_region_of_mb(ctx, n) == r && (r >= 0 || recorded_slice == s);
    };
    int32_t mask = 0;
    if (available(x >= 1, m - 1, x >= 1 && left_ids ? left_ids[x - 1] : -1))
        mask |= 1;
    if (available(y >= 1, m - w, top_ids ? top_ids[x] : -1))
        mask |= 2;
    if (available(y >= 1 && x < w - 1, m - w + 1, x < w - 1 && top_ids ? top_ids[x + 1] : -1))
        mask |= 4;
    if (available(y >= 1 && x >= 1, m - w - 1, ctx->saved_top_left_slice))
        mask |= 8;
    return mask;
}

// Availability of the neighbours of the current macroblock of region r.
[[gnu::always_inline]] static inline int32_t neighbour_avail(decoder_ctx *ctx, int32_t r)
{
    if (ctx->cur_sps && ctx->cur_sps->roi_flag)
        return region_neighbour_avail(ctx, r);
    // Within the slice: every neighbour at or after its first macroblock.
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t w = ctx->mb_width, x = layer.mb_x, y = layer.mb_y, m = layer.cur_mb_addr;
    const int32_t first = ctx->first_mb_in_slice;
    int32_t mask = x >= 1 && m - 1 >= first ? MB_LEFT : 0;
    if (y >= 1) {
        mask |= m - w >= first ? MB_TOP : 0;
        mask |= x < w - 1 && m - w + 1 >= first ? MB_TOP_RIGHT : 0;
        mask |= x >= 1 && m - w - 1 >= first ? MB_TOP_LEFT : 0;
    }
    return mask;
}

// Asks for the cache lines at a + r * stride, r = first, first + step, ... below rows, to be
// written or read.
template <int rows, bool write>
[[gnu::always_inline]] static inline void ask_rows(uintptr_t a, int64_t stride, int first, int step)
{
#pragma GCC unroll 1
    for (int64_t r = first; r < rows; r += step)
        __builtin_prefetch(reinterpret_cast<const void *>(a + uintptr_t(r * stride)), write);
}

// Asks for the lines 64 bytes right of rows first, first + step, ... from p, which the
// macroblocks a few steps ahead write: lines of a picture in decoding are written first long
// after the picture before last was done with them, and are far from the core by then.
template <int rows>
[[gnu::always_inline]] static inline void ask_ahead(const uint8_t *p, int32_t stride, int first, int step)
{
    ask_rows<rows, true>(reinterpret_cast<uintptr_t>(p) + 64, stride, first, step);
}

// ask_ahead for every plane of the macroblock at layer.mb_plane. A line serves 4 macroblocks
// across in luma and 8 in chroma: each step asks for every other luma row and every fourth
// chroma row, by the column.
[[gnu::always_inline]] static inline void ask_ahead_planes(const decoder_ctx *ctx, const layer_ctx &layer,
                                                           bool chroma)
{
    const int x = layer.mb_x;
    ask_ahead<16>(layer.mb_plane[0], layer.luma_stride, x & 1, 2);
    if (!chroma)
        return;
    if (ctx->chroma_format == 2) {
        ask_ahead<16>(layer.mb_plane[1], layer.chroma_stride, x & 3, 4);
        ask_ahead<16>(layer.mb_plane[2], layer.chroma_stride, x & 3, 4);
    } else {
        ask_ahead<8>(layer.mb_plane[1], layer.chroma_stride, x & 3, 4);
        ask_ahead<8>(layer.mb_plane[2], layer.chroma_stride, x & 3, 4);
    }
}

// In an 8-bit P picture, asks for the lines of the reference around the macroblock four
// ahead, 64 luma and 64 chroma samples right of the one at x, y: from 8 rows above to 8 below
// in luma, 4 above and below in chroma, where its prediction reads when it moves little.
// Lines of the reference come from far: asked for when a block's vectors are known, they
// would arrive while its kernels wait. A line serves 4 macroblocks across in luma and 8 in
// chroma: each macroblock asks for every other luma row and every fourth chroma row, by its
// column.
[[gnu::always_inline]] static inline void ask_ahead_reference(const decoder_ctx *ctx, const layer_ctx &layer,
                                                              int32_t x, int32_t y)
{
    if (ctx->pic_type != 2 || ctx->bit_depth != 8 || !(layer.refs_fit & 1))
        return;
    const frame_buf *ref = layer.ref0;
    const int64_t ls = layer.luma_stride, cs = layer.chroma_stride;
    const uintptr_t luma = reinterpret_cast<uintptr_t>(ref->plane[0]) + uintptr_t(int64_t(x) * 16 + 64) +
                           uintptr_t((int64_t(y) * 16 - 8) * ls);
    ask_rows<32, false>(luma, ls, x & 1, 2);
    if (ref->plane_count != 3 || ctx->chroma_format != 1)
        return;
    const uintptr_t off = uintptr_t(int64_t(x) * 8 + 64) + uintptr_t((int64_t(y) * 8 - 4) * cs);
    ask_rows<16, false>(reinterpret_cast<uintptr_t>(ref->plane[1]) + off, cs, x & 3, 4);
    ask_rows<16, false>(reinterpret_cast<uintptr_t>(ref->plane[2]) + off, cs, x & 3, 4);
}

[[gnu::always_inline]] static inline void place_macroblock(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const frame_buf *pic = layer.cur;
    if (!pic || layer.cur_mb_addr >= ctx->mb_total)
        return;
    const int64_t b = ctx->bit_depth > 8 ? 2 : 1;
    const int64_t x = layer.mb_x, y = layer.mb_y;
    const int64_t rows = ctx->chroma_format == 2 ? 16 : 8;
    layer.mb_plane[0] = pic->plane[0] + y * 16 * layer.luma_stride + x * 16 * b;
    if (pic->plane_count == 3) {
        layer.mb_plane[1] = pic->plane[1] + y * rows * layer.chroma_stride + x * 8 * b;
        layer.mb_plane[2] = pic->plane[2] + y * rows * layer.chroma_stride + x * 8 * b;
    }
    ask_ahead_planes(ctx, layer, pic->plane_count == 3);
}

// The step of mb_advance within a row of a picture without rectangles: the neighbour flags,
// slice entries and plane pointers follow from the macroblock before. The fields are read
// before the slice entries are written, which may alias them.
[[gnu::always_inline]] static inline void advance_in_row(decoder_ctx *ctx, layer_ctx &layer, int32_t left)
{
    const int32_t w = ctx->mb_width, first = ctx->first_mb_in_slice, s = ctx->slice_count;
    const int32_t old_x = layer.mb_x, y = layer.mb_y, old_a = layer.cur_mb_addr;
    const int32_t x = old_x + 1, a = old_a + 1;
    const bool left_entry_taken = old_a != layer.first_mb;
    const int32_t cur_top = ctx->cur_top_slice;
    int32_t *left_ids = slice_ids(layer, LB_LEFT_SLICE_IDS);
    int32_t *top_ids = slice_ids(layer, LB_TOP_SLICE_IDS);
    int32_t mask = old_a >= first ? MB_LEFT : 0;
    if (y >= 1 && old_a - w >= first) {
        // The top-left neighbour in the slice: so are the others.
        mask = MB_LEFT | MB_TOP | MB_TOP_LEFT | (x < w - 1 ? MB_TOP_RIGHT : 0);
    } else if (y >= 1) {
        mask |= a - w >= first ? MB_TOP : 0;
        mask |= x < w - 1 && a - w + 1 >= first ? MB_TOP_RIGHT : 0;
        mask |= old_a - w >= first ? MB_TOP_LEFT : 0;
    }
    ask_ahead_reference(ctx, layer, x, y);
    if (layer.cur) {
        const int32_t b = ctx->bit_depth > 8 ? 2 : 1;
        layer.mb_plane[0] += 16 * b;
        const bool chroma = layer.cur->plane_count == 3;
        if (chroma) {
            layer.mb_plane[1] += 8 * b;
            layer.mb_plane[2] += 8 * b;
        }
        ask_ahead_planes(ctx, layer, chroma);
    }
    layer.mbs_left = left;
    layer.picture_done = 0;
    layer.mb_x = x;
    layer.cur_mb_addr = a;
    layer.mb_avail = mask;
    if (left_ids)
        left_ids[old_x] = s;
    if (top_ids) {
        ctx->saved_top_left_slice = left_entry_taken ? cur_top : top_ids[old_x];
        ctx->cur_top_slice = top_ids[x];
        top_ids[old_x] = s;
        top_ids[x] = s;
    }
}

// Keeps the list-0 motion (and list-1 in B pictures, the only ones that read it) of the
// macroblock just decoded: its right column as the next one's left, its bottom row for the
// row below.
[[gnu::always_inline]] static inline void keep_motion(decoder_ctx *ctx, layer_ctx &layer)
{
    if (!layer.buf[LB_MV_ROW0])
        return;
    const int32_t x = layer.mb_x;
    auto keep = [&ctx, x](uint8_t *row_buf, int list) {
        int16_t(*cache)[MV_FIELDS] = ctx->mb.mv_cache + 12 * list;
        for (int r = 0; r < 3; ++r)
            std::memcpy(cache[4 * r], cache[4 * r + 2], sizeof cache[0]);
        std::memcpy(row_buf + 2 * x * sizeof cache[0], cache[9], 2 * sizeof cache[0]);   // the bottom row
    };
    uint8_t *const row1 = layer.buf[LB_MV_ROW1];
    keep(layer.buf[LB_MV_ROW0], 0);
    if (ctx->pic_type == 3)
        keep(row1, 1);
}

void mb_keep_motion(decoder_ctx *ctx) { keep_motion(ctx, ctx->layer[ctx->cur_layer]); }

// Any step: row ends, rectangles, the picture's end.
[[gnu::noinline]] static int advance_any(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t w = ctx->mb_width, count = ctx->mb_total;
    layer.mbs_left -= 1;
    // Without rectangles every macroblock is of the background and the next one follows.
    const bool regions = ctx->cur_pps && ctx->cur_pps->num_roi >= 1;
    const int32_t r = regions ? roi_region_of_mb(ctx, layer.cur_mb_addr) : -1;
    const int32_t a = regions ? next_in_region(ctx, layer.cur_mb_addr, r) : layer.cur_mb_addr + 1;
    const int32_t nx = a < count ? a % w : 0;
    const int32_t ny = a < count ? a / w : ctx->mb_height;
    const bool row_changed = ny == layer.mb_y + 1;
    if (layer.mbs_left == 0) {
        layer.picture_done = 1;
        layer.mbs_left = count;
    } else {
        layer.picture_done = 0;
    }

    int32_t *left_ids = slice_ids(layer, LB_LEFT_SLICE_IDS);
    int32_t *top_ids = slice_ids(layer, LB_TOP_SLICE_IDS);
    const int32_t s = ctx->slice_count;
    const int32_t old_x = layer.mb_x, old_y = layer.mb_y;
    // The entry left of the new column was already taken over by the macroblock just decoded
    // when that one was reached within this slice; the top-left slice is what it held before.
    const bool left_entry_taken = nx == old_x + 1 && ny == old_y && layer.cur_mb_addr != layer.first_mb;
    if (top_ids && row_changed && nx == old_x)
        top_ids[old_x] = s;
    if (left_ids)
        left_ids[old_x] = s;
    layer.mb_x = nx;
    layer.mb_y = ny;
    layer.cur_mb_addr = a;
    if (nx >= 1 && top_ids)
        ctx->saved_top_left_slice = left_entry_taken ? ctx->cur_top_slice : top_ids[nx - 1];
    layer.mb_avail = neighbour_avail(ctx, r);
    if (top_ids) {
        ctx->cur_top_slice = top_ids[nx];
        top_ids[old_x] = s;
        top_ids[nx] = s;
    }
    place_macroblock(ctx);

    if (nx != 0 && !row_changed)
        return 1;
    mb_reset_left_context(ctx);
    if (ny != ctx->mb_height)
        return 1;

    // The slice's region is finished.
    if (!ctx->cur_sps || ctx->cur_sps->roi_flag != 1 || r == -1)
        return 0;
    layer.roi_regions_left -= 1;
    if ((ctx->pic_type != 2 && ctx->pic_type != 3) || layer.roi_regions_left != 0)
        return 0;
    if (ctx->cur_pps->non_roi_skip_flag != 1)
        return 0;
    // Into the background, which P and B pictures then reconstruct as skipped.
    const int32_t bg = first_background(ctx);
    layer.cur_mb_addr = bg;
    layer.mb_x = bg < count ? bg % w : 0;
    layer.mb_y = bg < count ? bg / w : ctx->mb_height;
    layer.mb_avail = neighbour_avail(ctx, -1);
    if (top_ids && bg < count)
        ctx->cur_top_slice = top_ids[layer.mb_x];
    place_macroblock(ctx);
    layer.roi_regions_left = ctx->cur_pps->num_roi;
    return bg < count ? 1 : 0;
}

int mb_advance(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    keep_motion(ctx, layer);
    if (ctx->walk_in_rows && layer.mb_x + 1 < ctx->mb_width && layer.cur_mb_addr + 1 < ctx->mb_total &&
        layer.mbs_left > 1) {
        advance_in_row(ctx, layer, layer.mbs_left - 1);
        return 1;
    }
    return advance_any(ctx);
}
