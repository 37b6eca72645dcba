#include "mb_intra.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "aec.h"
#include "decoder_ctx.h"
#include "ipred.h"
#include "lf_record_fill.h"
#include "mb_context.h"
#include "mb_neighbours.h"
#include "vlc_residual.h"
#include "vlc_tables.h"

namespace {

bool enhancement_slice(const decoder_ctx *ctx) { return ctx->nal_type == 3 || ctx->nal_type == 4; }

// A luma mode code of the VLC mode from one bit window: -1 for the flag "predicted mode",
// else the 2-bit remainder. Reads exactly as read_bit then read_bits(2) would.
int32_t read_mode_code(bit_reader *br)
{
    if (br->position > br->length) {
        br->data = br->end;     // the flag reads as 0, the remainder marks the reader exhausted
        return 0;
    }
    const uint32_t w = bit_window(br, br->position);
    br->position += 1;
    if (w >> 31)
        return -1;
    if (br->position > br->length) {
        br->data = br->end;
        return 0;
    }
    br->position += 2;
    return static_cast<int32_t>((w >> 29) & 3);
}

// The mode of a block from its prediction and a mode code of read_mode_code.
inline int32_t luma_mode(int32_t pred, int32_t code)
{
    return code < 0 ? pred : code + (code >= pred);
}

// The predicted mode of the block at grid position p: the lesser of the modes above and to
// the left, 2 where either is unavailable.
inline int32_t predicted_mode(const int32_t *grid, int p, int w)
{
    const int32_t pred = std::min(grid[p - w], grid[p - 1]);
    return pred < 0 ? 2 : pred;
}

// Luma modes of the macroblock into the work-area grid, each predicted from the grid.
template <bool is8, bool aec>
void read_luma_modes(decoder_ctx *ctx)
{
    mb_work &mb = ctx->mb;
    int32_t *grid = is8 ? mb.mode8 : mb.mode4;
    const int w = is8 ? 3 : 5;
    constexpr int count = is8 ? 4 : 16;
    const uint8_t *pos = is8 ? mode8_grid_pos : mode4_grid_pos;
    bit_reader *br = &ctx->bs;
    if (mb.base_pred_flag) {
        for (int i = 0; i < count; ++i)
            grid[pos[i]] = predicted_mode(grid, pos[i], w);
    } else if (aec) {
        for (int i = 0; i < count; ++i) {
            const int32_t pred = predicted_mode(grid, pos[i], w);
            grid[pos[i]] = aec_read_pred_mode_flag(ctx) ? pred : luma_mode(pred, aec_read_intra_luma_pred_mode(ctx));
        }
    } else if (br->position + 3 * count <= br->length) {
        // Every code (a 1 flag, or a 0 flag and two bits) lies in the payload: all from one window
        // of at least 57 sure bits, without branches.
        uint64_t bits = bit_window64(br, br->position);
        int32_t used = 0;
#pragma GCC unroll 16
        for (int i = 0; i < count; ++i) {
            const int32_t pred = predicted_mode(grid, pos[i], w);
            // A mask of ones for a 1 flag: the predicted mode, one bit.
            const int32_t flag = -static_cast<int32_t>(bits >> 63);
            const int32_t rem = static_cast<int32_t>(bits >> 61) & 3;
            grid[pos[i]] = (pred & flag) | ((rem + (rem >= pred)) & ~flag);
            const int n = 3 + 2 * flag;
            bits <<= n;
            used += n;
        }
        br->position += used;
    } else {
        for (int i = 0; i < count; ++i)
            grid[pos[i]] = luma_mode(predicted_mode(grid, pos[i], w), read_mode_code(br));
    }
}

// Coded block pattern and QP change; 0, -2 or -11.
int read_cbp_and_qp(decoder_ctx *ctx, int32_t mb_type, bool is8, bool aec)
{
    mb_work &mb = ctx->mb;
    bit_reader *br = &ctx->bs;
    const int fmt = ctx->chroma_format;
    const int32_t map_size = fmt == 1 ? 64 : 16;
    auto refuse = [](int32_t code) {
        std::printf("illegal intra cbp code%d\n", code);
        return -2;
    };
    if (!aec) {
        const int32_t code = is8 ? mb_type - 1 : read_ue(br);
        if (code < 0 || code >= map_size)
            return refuse(code);
        mb.cbp = fmt == 1 ? cbp_map_420[code][0] : cbp_map_4bit[code][0];
        if (fmt == 2) {
            const int32_t upper = read_ue(br);
            if (upper < 0 || upper > 15)
                return refuse(upper);
            mb.cbp += cbp_map_4bit[upper][0] << 4;
        }
        if (!is8) {
            for (int k = 0; k < 4; ++k) {
                if (!(mb.cbp & (1 << k)))
                    continue;
                const int32_t c = read_ue(br);
                if (c < 0 || c > 15)
                    return refuse(c);
                mb.cbp4x4[k] = cbp_map_4bit[c][0];
            }
        }
        if (mb.cbp && !ctx->fixed_slice_qp)
            ctx->mb_qp = mb_qp_wrap(static_cast<int64_t>(ctx->mb_qp) + read_se(br), ctx->bit_depth);
        return 0;
    }
    if (aec_data_exhausted(ctx))
        return -11;
    const int32_t cbp = aec_read_cbp(ctx);
    if (cbp < 0 || cbp >= map_size)
        return refuse(cbp);
    mb.cbp = cbp;
    if (fmt == 2) {
        const int32_t upper = aec_read_cbp(ctx);
        if (upper < 0 || upper > 15)
            return refuse(upper);
        mb.cbp += upper * 16;
    }
    if (!is8)
        for (int k = 0; k < 4; ++k)
            if (mb.cbp & (1 << k))
                mb.cbp4x4[k] = static_cast<uint8_t>(aec_read_cbp(ctx) & 15);
    if (mb.cbp == 0 || ctx->fixed_slice_qp)
        aec_clear_last_qp_delta(ctx);
    else
        ctx->mb_qp = mb_qp_wrap(static_cast<int64_t>(ctx->mb_qp) + aec_read_mb_qp_delta(ctx), ctx->bit_depth);
    return 0;
}

// Residual of luma block i (4x4 or 8x8) when coded: 0 or -8.
template <bool is8, bool aec>
[[gnu::always_inline]] inline int luma_residual(decoder_ctx *ctx, int i)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const bool coded = is8 ? (mb.cbp >> i) & 1 : (mb.cbp4x4[i >> 2] >> (i & 3)) & 1;
    if (!coded)
        return 0;
    uint8_t *dst = layer.mb_plane[0] + layer.blk_offset[is8 ? i : 4 + i];
    const int32_t ls = layer.luma_stride;
    if (aec) {
        if (is8)
            aec_read_coefs(ctx, ctx->mb_qp, dst, ls, 1);
        else
            aec_read_coefs2(ctx, ctx->mb_qp, dst, ls, 1);
        return 0;
    }
    const int r = is8 ? vlc_read_coefs(ctx, vlc2d_intra_tables, 1, ctx->mb_qp, dst, ls)
                      : vlc_read_coefs2(ctx, vlc2d_intra_tables, 1, ctx->mb_qp, dst, ls);
    return r ? -8 : 0;
}

int chroma_block_residual(decoder_ctx *ctx, int bit, bool aec)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    if (!(ctx->mb.cbp & (1 << bit)))
        return 0;
    const int32_t cs = layer.chroma_stride;
    uint8_t *dst = layer.mb_plane[1 + (bit & 1)] + (bit >= 6 ? 8 * cs : 0);
    const int32_t qp = chroma_qp(ctx, ctx->mb_qp);
    if (aec) {
        aec_read_coefs(ctx, qp, dst, cs, 0);
        return 0;
    }
    return vlc_read_coefs(ctx, vlc2d_chroma_tables, 0, qp, dst, cs) ? -8 : 0;
}

// Origins of the luma blocks in decoding order: 8x8 raster, 4x4 four per 8x8 quadrant.
constexpr uint8_t blk8_x[4] = {0, 8, 0, 8}, blk8_y[4] = {0, 0, 8, 8};
constexpr uint8_t blk4_x[16] = {0, 4, 0, 4, 8, 12, 8, 12, 0, 4, 0, 4, 8, 12, 8, 12};
constexpr uint8_t blk4_y[16] = {0, 0, 4, 4, 0, 0, 4, 4, 8, 8, 12, 12, 8, 8, 12, 12};

template <typename P, bool is8, bool aec>
int predict_intra_depth(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int row = ctx->bit_depth - 8;
    const int32_t ls = layer.luma_stride;
    const luma_view<P> view(ctx);
    const uint8_t *t = mb.top, *l = mb.left;
    if (is8) {
        const uint8_t *ready = intra_ready.blk8[view.avail & 15];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            gather_luma<P, 8>(view, blk8_x[i], blk8_y[i], ready[i]);
            intra_pred8x8_funcs[row][mb.mode8[mode8_grid_pos[i]]](layer.mb_plane[0] + layer.blk_offset[i], t, l, ls);
            if (luma_residual<is8, aec>(ctx, i) != 0)
                return -8;
        }
    } else {
        const uint8_t *ready = intra_ready.blk4[view.avail & 15];
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            gather_luma<P, 4>(view, blk4_x[i], blk4_y[i], ready[i]);
            intra_pred4x4_funcs[row][mb.mode4[mode4_grid_pos[i]]](layer.mb_plane[0] + layer.blk_offset[4 + i], t, l,
                                                                  ls);
            if (luma_residual<is8, aec>(ctx, i) != 0)
                return -8;
        }
    }
    const int passes = ctx->chroma_format == 2 ? 2 : ctx->chroma_format == 1 ? 1 : 0;
    const int32_t cs = layer.chroma_stride;
#pragma GCC unroll 2
    for (int j = 0; j < passes; ++j) {
        gather_chroma<P>(ctx, j);
        const intra_pred_fn pred = intra_pred_chroma_funcs[row][mb.chroma_mode[j]];
        pred(layer.mb_plane[1] + 8 * j * cs, mb.top_c[0], mb.left_c[0], cs);
        pred(layer.mb_plane[2] + 8 * j * cs, mb.top_c[1], mb.left_c[1], cs);
        if (chroma_block_residual(ctx, 4 + 2 * j, aec) != 0 || chroma_block_residual(ctx, 5 + 2 * j, aec) != 0)
            return -8;
    }
    return 0;
}

template <bool is8, bool aec>
int predict_intra(decoder_ctx *ctx)
{
    if (ctx->bit_depth > 8)
        return predict_intra_depth<uint16_t, is8, aec>(ctx);
    return predict_intra_depth<uint8_t, is8, aec>(ctx);
}

frame_buf *find_base_picture(decoder_ctx *ctx)
{
    const layer_ctx &base = ctx->layer[0];
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t poc = layer.poc_cur;
    // Read in the enhancement picture's sample format: a base picture of another one is none.
    const int32_t format = layer.cur ? layer.cur->format : 0;
    if (base.cur && base.poc_cur == poc && base.cur->format == format)
        return base.cur;
    if (base.ref0 && base.poc_ref0 == poc && base.ref0->format == format)
        return base.ref0;
    if (base.ref1 && base.poc_ref1 == poc && base.ref1->format == format)
        return base.ref1;
    return nullptr;
}

template <bool is8, bool aec>
int predict_from_base(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    frame_buf *base = find_base_picture(ctx);
    if (!base) {
        std::printf("can not find base layer picture\n");
    } else {
        const int row = ctx->bit_depth - 8;
        const int64_t s = ctx->bit_depth > 8 ? 2 : 1;
        const int32_t x = 8 * layer.mb_x, y = 8 * layer.mb_y;
        if (ctx->bit_depth > 8)
            pad_base_block_edges(ctx, base, x, y);
        else
            pad_base_block_edges8(ctx, base, x, y);
        intra_pred_multi_funcs[row](layer.mb_plane[0], base->plane[0] + y * int64_t(base->stride[0]) + x * s,
                                    layer.luma_stride, base->stride[0], 8);
        if (ctx->chroma_format == 1 || ctx->chroma_format == 2) {
            const int32_t n = ctx->chroma_format == 1 ? 4 : 8;
            const int64_t cy = ctx->chroma_format == 1 ? 4 * layer.mb_y : 8 * layer.mb_y;
            for (int p = 1; p <= 2; ++p)
                intra_pred_multi_chroma_funcs[row](layer.mb_plane[p],
                                                   base->plane[p] + cy * base->stride[p] + 4 * layer.mb_x * s,
                                                   layer.chroma_stride, base->stride[p], n);
        }
    }
    for (int i = 0; i < (is8 ? 4 : 16); ++i)
        if (luma_residual<is8, aec>(ctx, i) != 0)
            return -8;
    if (!aec)
        return vlc_read_chroma_coefs(ctx) ? -8 : 0;
    for (int bit = 4; bit < 8; ++bit)
        chroma_block_residual(ctx, bit, true);
    return 0;
}

void save_context(decoder_ctx *ctx, int32_t kind)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int32_t x = layer.mb_x;
    mb.left_qp = ctx->mb_qp;
    layer.buf[LB_QP_ROW][x] = static_cast<uint8_t>(ctx->mb_qp);
    mb.left_cbp = mb.cbp;
    layer.buf[LB_CBP_ROW][x] = static_cast<uint8_t>(mb.cbp);
    mb.left_kind = kind;
    reinterpret_cast<int32_t *>(layer.buf[LB_KIND_ROW])[x] = kind;
    if (ctx->cur_layer == 1 && ctx->enh_buf) {
        mb.left_base_pred = mb.base_pred_flag;
        reinterpret_cast<int32_t *>(ctx->enh_buf)[x] = mb.base_pred_flag;
    }
    // The macroblock's motion entries (5, 6, 9 and 10 of each list) mark it intra.
    static const int16_t intra_pair[2][MV_FIELDS] = {{0, 0, 1, -2, 0, 0}, {0, 0, 1, -2, 0, 0}};
    for (int list = 0; list < 2; ++list) {
        std::memcpy(mb.mv_cache[12 * list + 5], intra_pair, sizeof intra_pair);
        std::memcpy(mb.mv_cache[12 * list + 9], intra_pair, sizeof intra_pair);
    }
    if (ctx->pic_type != 3)
        layer.buf[LB_COLOCATED_KIND][layer.cur_mb_addr] = 0;
}

template <typename P>
void pad_edges(decoder_ctx *ctx, frame_buf *frame, int32_t x, int32_t y)
{
    const int s = ctx->chroma_format == 1 ? 1 : 0;
    const int planes = ctx->chroma_format == 0 ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const bool luma = p == 0;
        const int32_t w = luma ? frame->width : frame->width / 2;
        const int32_t h = luma ? frame->height : frame->height >> s;
        const int32_t bx = luma ? x : x / 2;
        const int32_t by = luma ? y : y >> s;
        const int32_t rows = luma ? 8 : 8 >> s;
        const int32_t cols = luma ? 8 : 4;
        const int32_t stride = frame->stride[p];
        auto at = [&](int32_t cx, int32_t cy) -> P & {
            return reinterpret_cast<P *>(frame->plane[p] + int64_t(cy) * stride)[cx];
        };
        // The upsampling kernels read one sample before the block and two after it.
        for (int32_t r = std::max(by - 1, 0); r <= std::min(by + rows + 1, h - 1); ++r) {
            if (bx < 1)
                at(-1, r) = at(0, r);
            if (w <= bx + cols + 2)
                at(w, r) = at(w + 1, r) = at(w - 1, r);
        }
        for (int32_t c = bx - 1; c <= bx + cols + 2; ++c) {
            if (by < 1)
                at(c, -1) = at(c, 0);
            if (h <= by + rows + 2)
                at(c, h) = at(c, h + 1) = at(c, h - 1);
        }
    }
}

} // namespace

void pad_base_block_edges(decoder_ctx *ctx, frame_buf *frame, int32_t x, int32_t y)
{
    pad_edges<uint16_t>(ctx, frame, x, y);
}

void pad_base_block_edges8(decoder_ctx *ctx, frame_buf *frame, int32_t x, int32_t y)
{
    pad_edges<uint8_t>(ctx, frame, x, y);
}

int decode_intra_mb(decoder_ctx *ctx, int32_t mb_type)
{
    if (mb_type < 0)
        return -2;
    mb_work &mb = ctx->mb;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    bit_reader *br = &ctx->bs;
    const bool aec = ctx->cur_pps->aec_flag != 0;
    const bool is8 = mb_type >= 1;

    mb_context_load(ctx);
    if (ctx->cur_sps->svc_flag && enhancement_slice(ctx))
        mb.base_pred_flag = aec ? aec_read_base_pred_flag(ctx) : static_cast<int32_t>(read_bit(br));
    static void (*const read_modes[2][2])(decoder_ctx *) = {
        {read_luma_modes<false, false>, read_luma_modes<false, true>},
        {read_luma_modes<true, false>, read_luma_modes<true, true>}};
    read_modes[is8][aec](ctx);

    mb.chroma_mode[0] = mb.chroma_mode[1] = 0;
    if (!mb.base_pred_flag && ctx->chroma_format != 0) {
        const int32_t m0 = aec ? aec_read_intra_chroma_pred_mode(ctx, 0) : read_ue(br);
        if (m0 < 0 || m0 > 6) {
            std::printf("illegal intra_chroma_pred_mode(%d)\n", m0);
            return -2;
        }
        mb.chroma_mode[0] = m0;
        if (ctx->chroma_format == 2) {
            const int32_t m1 = aec ? aec_read_intra_chroma_pred_mode(ctx, 1) : read_ue(br);
            if (m1 < 0 || m1 > 6) {
                std::printf("illegal intra_chroma_pred_mode_422\n");
                return -2;
            }
            mb.chroma_mode[1] = m1;
        }
    }
    mb.left_chroma_mode[0] = mb.chroma_mode[0];
    mb.left_chroma_mode[1] = mb.chroma_mode[1];
    reinterpret_cast<int32_t *>(layer.buf[LB_ROW_A])[layer.mb_x] = mb.chroma_mode[0];
    reinterpret_cast<int32_t *>(layer.buf[LB_ROW_B])[layer.mb_x] = mb.chroma_mode[1];
    store_intra_pred_modes(ctx, mb.chroma_mode, is8);

    if (bit_reader_exhausted(br))
        return -11;
    const int cbp_result = read_cbp_and_qp(ctx, mb_type, is8, aec);
    if (cbp_result != 0)
        return cbp_result;

    const int32_t kind = is8 ? 1 : 0;
    write_lf_record(ctx, kind);
    // [from the base layer][8x8][arithmetic]
    static int (*const predict[2][2][2])(decoder_ctx *) = {
        {{predict_intra<false, false>, predict_intra<false, true>},
         {predict_intra<true, false>, predict_intra<true, true>}},
        {{predict_from_base<false, false>, predict_from_base<false, true>},
         {predict_from_base<true, false>, predict_from_base<true, true>}}};
    const int result = predict[mb.base_pred_flag != 0][is8][aec](ctx);
    if (result != 0)
        return result;

    if (bit_reader_exhausted(br) || (aec && aec_data_exhausted(ctx)))
        return -11;
    store_intra_edges(ctx);
    lf_worker_flush(ctx);
    save_context(ctx, kind);
    return 0;
}
