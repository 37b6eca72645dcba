#include "mv_pred.h"

#include <cstdlib>
#include <cstring>

#include "aec.h"
#include "decoder_ctx.h"

namespace {

// Products in 32-bit arithmetic with its wrap, free of signed overflow.
int32_t mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
int32_t add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

int32_t scale_index(int32_t ref_idx) { return ref_idx > 0 ? 1 : 0; }

void fill_entries(mb_work &mb, int pos, int fill, const int16_t *entry)
{
    int targets[4] = {pos, -1, -1, -1};
    switch (fill) {
    case MV_FILL_16X16: targets[1] = pos + 1, targets[2] = pos + 4, targets[3] = pos + 5; break;
    case MV_FILL_PAIR_H: targets[1] = pos + 1; break;
    case MV_FILL_PAIR_V: targets[1] = pos + 4; break;
    default: break;
    }
    for (int t : targets)
        if (t >= 0)
            std::memcpy(mb.mv_cache[t], entry, sizeof mb.mv_cache[t]);
}

} // namespace

int32_t scale_mv(int32_t v, int32_t dist, int32_t scale)
{
    return add32(mul32(mul32(v, dist), scale), 256 - (v < 0 ? 1 : 0)) >> 9;
}

void predict_motion(const decoder_ctx *ctx, int pos, int c_pos, int rule, int ref, int32_t *px, int32_t *py)
{
    const mb_work &mb = ctx->mb;
    const int16_t *a = mb.mv_cache[pos - 1];
    const int16_t *b = mb.mv_cache[pos - 4];
    const int16_t *c = mb.mv_cache[c_pos];
    // The lower right block's upper-right neighbour is not decoded yet.
    if (c[MV_REF_IDX] == -1 || pos == 10 || pos == 22)
        c = mb.mv_cache[pos - 5];
    const bool ha = a[MV_REF_IDX] >= 0, hb = b[MV_REF_IDX] >= 0, hc = c[MV_REF_IDX] >= 0;
    const int16_t *only = nullptr;
    if (!ha && hb && !hc)
        only = b;
    else if (!ha && !hb && hc)
        only = c;
    else if (ha && !hb && !hc)
        only = a;
    else if (rule == MV_PREFER_A && a[MV_REF_IDX] == ref)
        only = a;
    else if (rule == MV_PREFER_B && b[MV_REF_IDX] == ref)
        only = b;
    else if (rule == MV_PREFER_C && c[MV_REF_IDX] == ref)
        only = c;
    if (only) {
        *px = only[MV_X];
        *py = only[MV_Y];
        return;
    }
    const int32_t dist = ctx->ref_distance[scale_index(ref)];
    int32_t v[3][2];
    const int16_t *n[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        const int32_t s = ctx->ref_distance_scale[scale_index(n[i][MV_REF_IDX])];
        v[i][0] = scale_mv(n[i][MV_X], dist, s);
        v[i][1] = scale_mv(n[i][MV_Y], dist, s);
    }
    auto span = [&v](int i, int j) {
        return std::abs(int64_t(v[i][0]) - v[j][0]) + std::abs(int64_t(v[i][1]) - v[j][1]);
    };
    const int64_t vab = span(0, 1), vbc = span(1, 2), vca = span(2, 0);
    int64_t m;
    if (vab <= vbc)
        m = vca < vbc ? (vca > vab ? vca : vab) : vbc;
    else
        m = vca > vbc ? (vab < vca ? vab : vca) : vbc;
    const int pick = m == vab ? 2 : m == vbc ? 0 : 1;
    *px = v[pick][0];
    *py = v[pick][1];
}

void store_motion(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx)
{
    mb_work &mb = ctx->mb;
    int32_t px, py;
    predict_motion(ctx, pos, c_pos, rule, ref_idx, &px, &py);
    int32_t dx = 0, dy = 0;
    if (rule < MV_MEDIAN_NO_MVD) {
        mb.current_mv_pos = pos;
        if (ctx->cur_pps->aec_flag) {
            dx = aec_read_mvd(ctx, 0);
            dy = aec_read_mvd(ctx, 1);
        } else {
            dx = read_se(&ctx->bs);
            dy = read_se(&ctx->bs);
        }
    }
    const int16_t entry[MV_FIELDS] = {static_cast<int16_t>(add32(px, dx)),
                                      static_cast<int16_t>(add32(py, dy)),
                                      static_cast<int16_t>(ctx->ref_distance[scale_index(ref_idx)]),
                                      static_cast<int16_t>(ref_idx),
                                      static_cast<int16_t>(dx),
                                      static_cast<int16_t>(dy)};
    fill_entries(mb, pos, fill, entry);
}

void store_motion_sym(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx)
{
    mb_work &mb = ctx->mb;
    int32_t px, py;
    predict_motion(ctx, pos, c_pos, rule, ref_idx, &px, &py);
    const int16_t *fwd = mb.mv_cache[pos - 12];
    const int32_t bx = -(add32(mul32(fwd[MV_X], ctx->sym_scale), 256) >> 9);
    const int32_t by = -(add32(mul32(fwd[MV_Y], ctx->sym_scale), 256) >> 9);
    const int16_t entry[MV_FIELDS] = {static_cast<int16_t>(bx),
                                      static_cast<int16_t>(by),
                                      static_cast<int16_t>(ctx->ref_distance[0]),
                                      0,
                                      static_cast<int16_t>(bx - px),
                                      static_cast<int16_t>(by - py)};
    fill_entries(mb, pos, fill, entry);
}
