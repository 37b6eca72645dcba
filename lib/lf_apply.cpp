// Deblocking of one macroblock: walks its edges in filter order and hands each to the edge
// kernel of its kind with the strengths and thresholds decided for it.
#include <cstring>

#include "deblock.h"
#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

// Filters the edge at pix with strengths bs, unless both are 0 or its QP filters nothing.
inline void filter(deblock_fn fn, uint8_t *pix, int32_t stride, const lf_qp_params &t, const uint8_t bs[2])
{
    if ((bs[0] | bs[1]) == 0 || t.alpha == 0)
        return;
    const uint8_t clip[2] = {t.clip[bs[0]], t.clip[bs[1]]};
    fn(pix, stride, t.alpha, t.beta, clip, bs);
}

inline void filter_pair(deblock_pair_fn fn, uint8_t *cb, uint8_t *cr, int32_t stride, const lf_qp_params &t,
                        const uint8_t bs[2])
{
    if ((bs[0] | bs[1]) == 0 || t.alpha == 0)
        return;
    const uint8_t clip[2] = {t.clip[bs[0]], t.clip[bs[1]]};
    fn(cb, cr, stride, t.alpha, t.beta, clip, bs);
}

// The edges of a macroblock with some strength, in filter order.
void filter_edges(const lf_record *r, const lf_strengths &bs)
{
    const lf_slice &s = *r->slice;
    const int32_t row = s.luma_shift;
    // Rows 0 and 2 hold kernels; chroma is filtered with the luma row.
    if ((row != DEBLOCK_ROW_8BIT && row != DEBLOCK_ROW_10BIT) || s.chroma_shift != row)
        return;
    const deblock_fn luma_v = deblock_funcs[DEBLOCK_LUMA_V][row], luma_h = deblock_funcs[DEBLOCK_LUMA_H][row];
    // Chroma: both planes per call.
    const deblock_pair_fn chroma_v = deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][row];
    const deblock_pair_fn chroma_h = deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][row];
    if (!luma_v || !luma_h || !chroma_v || !chroma_h)
        return;

    lf_mb_thresholds computed;
    lf_mb_threshold_refs t;
    lf_macroblock_threshold_refs(r, bs, &computed, &t);

    const int32_t sample = row ? 2 : 1;
    const int32_t ls = s.luma_stride, cs = s.chroma_stride;
    uint8_t *const y = r->luma;
    const bool tall = s.chroma_format == 2;   // 16 chroma rows per macroblock
    const bool four = r->kind == 0;

    // Luma and chroma QPs differ: either may filter without the other.
    filter(luma_v, y, ls, *t.left, bs.left);
    if (!tall) {
        filter_pair(chroma_v, r->cb, r->cr, cs, *t.chroma_left, bs.left);
    } else {
        const uint8_t upper[2] = {bs.left[0], bs.left[0]}, lower[2] = {bs.left[1], bs.left[1]};
        const int64_t down = 8 * int64_t(cs);
        filter_pair(chroma_v, r->cb, r->cr, cs, *t.chroma_left, upper);
        filter_pair(chroma_v, r->cb + down, r->cr + down, cs, *t.chroma_left, lower);
    }
    if (four)
        filter(luma_v, y + 4 * sample, ls, *t.inner, bs.inner4);
    filter(luma_v, y + 8 * sample, ls, *t.inner, bs.inner_v);
    if (four)
        filter(luma_v, y + 12 * sample, ls, *t.inner, bs.inner4);

    filter(luma_h, y, ls, *t.top, bs.top);
    filter_pair(chroma_h, r->cb, r->cr, cs, *t.chroma_top, bs.top);
    if (four)
        filter(luma_h, y + 4 * int64_t(ls), ls, *t.inner, bs.inner4);
    filter(luma_h, y + 8 * int64_t(ls), ls, *t.inner, bs.inner_h);
    if (four)
        filter(luma_h, y + 12 * int64_t(ls), ls, *t.inner, bs.inner4);

    const int64_t down = 8 * int64_t(cs);
    filter_pair(chroma_h, r->cb + down, r->cr + down, cs, *t.chroma_inner, bs.inner_h);
}

} // namespace

void mb_loop_filter(const lf_record *r)
{
    if (r->slice->lf_disabled)
        return;
    // Most macroblocks of P pictures have no edge to filter: decided before any other setup.
    lf_strengths bs;
    lf_boundary_strengths(r, &bs);
    if (lf_any_strength(bs))
        filter_edges(r, bs);
}
