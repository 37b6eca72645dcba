#include "lf_record_fill.h"

#include <cstring>

#include "decoder_ctx.h"
#include "lf_record.h"

namespace {

static_assert(MV_X == 0 && MV_Y == 1 && MV_DISTANCE == 2 && MV_REF_IDX == 3 && LF_MOTION_FIELDS == 4,
              "leading fields copied");

// The entries of one list the strengths compare: the macroblock's four blocks and the
// neighbours across its left and top edges.
inline void copy_motion(int16_t (*to)[LF_MOTION_FIELDS], const int16_t (*cache)[MV_FIELDS])
{
    static constexpr int kCompared[LF_MOTION_ENTRIES] = {1, 2, 4, 5, 6, 8, 9, 10};
#pragma GCC unroll 8
    for (int e : kCompared)
        std::memcpy(to[lf_motion_slot(e)], cache[e], sizeof to[0]);
}

// Takes the record when a ring row starts (r null) or a slice does, and writes the header its
// records point at from there on beside it.
[[gnu::noinline]] lf_record *start_header(decoder_ctx *ctx, lf_record *r)
{
    lf_worker &w = ctx->lf;
    if (!r)
        r = lf_worker_next_record(ctx);
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    lf_slice *s = w.slices + (r - w.ring);
    s->lf_disabled = ctx->lf_disabled;
    s->chroma_format = ctx->chroma_format;
    const int32_t shift = ctx->bit_depth - 8;
    s->luma_shift = shift;
    s->chroma_shift = shift;
    s->alpha_offset = ctx->alpha_offset;
    s->beta_offset = ctx->beta_offset;
    s->luma_stride = layer.luma_stride;
    s->chroma_stride = layer.chroma_stride;
    s->table = lf_worker_table(&w, shift, ctx->alpha_offset, ctx->beta_offset);
    w.slice = s;
    w.slice_count = ctx->slice_count;
    return r;
}

// The macroblock's fields of a taken record.
[[gnu::always_inline]] inline void fill(decoder_ctx *ctx, int32_t kind, lf_record *r)
{
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const mb_work &mb = ctx->mb;
    const int32_t x = layer.mb_x;
    r->slice = ctx->lf.slice;
    r->luma = layer.mb_plane[0];
    r->cb = layer.mb_plane[1];
    r->cr = layer.mb_plane[2];
    r->avail = layer.mb_avail;
    r->qp = ctx->mb_qp;
    r->qp_left = mb.left_qp;
    r->qp_top = layer.buf[LB_QP_ROW][x];
    r->cbp = mb.cbp;
    r->cbp_left = mb.left_cbp;
    r->cbp_top = layer.buf[LB_CBP_ROW][x];
    r->kind = kind;
    r->kind_left = mb.left_kind;
    r->kind_top = reinterpret_cast<const int32_t *>(layer.buf[LB_KIND_ROW])[x];
    // Strengths read no motion of intra macroblocks, and list 1 only of B kinds (7 and up).
    if (kind >= 2) {
        copy_motion(r->motion[0], mb.mv_cache);
        if (kind >= 7)
            copy_motion(r->motion[1], mb.mv_cache + 12);
    }
    r->mb_x = x;
    r->mb_y = layer.mb_y;
}

// A record that starts a ring row or a slice.
[[gnu::noinline]] lf_record *write_first(decoder_ctx *ctx, int32_t kind, lf_record *r)
{
    r = start_header(ctx, r);
    fill(ctx, kind, r);
    return r;
}

} // namespace

lf_record *write_lf_record(decoder_ctx *ctx, int32_t kind)
{
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    // Slice values change only where a slice starts: at its first macroblock, under a new count.
    lf_record *r = lf_worker_take_record(&ctx->lf);
    if (!r || layer.cur_mb_addr == layer.first_mb || ctx->slice_count != ctx->lf.slice_count)
        return write_first(ctx, kind, r);
    fill(ctx, kind, r);
    return r;
}
