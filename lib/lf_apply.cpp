// Deblocking of one macroblock: walks its edges in filter order and hands each to the edge
// kernel of its kind with the strengths and thresholds decided for it.
#include <initializer_list>

#include "deblock.h"
#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

struct Plane {
    uint8_t *origin;
    int32_t stride;       // bytes
    int32_t sample;       // bytes per sample
    int32_t shift;        // bit depth - 8

    uint8_t *at(int32_t x, int32_t y) const { return origin + int64_t(y) * stride + int64_t(x) * sample; }
};

struct Thresholds {
    int32_t alpha_offset, beta_offset;
};

void filter_edge(deblock_fn fn, const Plane &plane, int32_t x, int32_t y, int32_t q, const Thresholds &t,
                 const uint8_t bs[2])
{
    if (bs[0] == 0 && bs[1] == 0)
        return;
    lf_edge_params e;
    if (!lf_edge_thresholds(q, plane.shift, t.alpha_offset, t.beta_offset, bs, &e))
        return;
    fn(plane.at(x, y), plane.stride, e.alpha, e.beta, e.clip, bs);
}

} // namespace

void mb_loop_filter(const lf_record *r)
{
    if (r->lf_disabled)
        return;
    const int32_t row = r->luma_shift;
    // Rows 0 and 2 hold kernels; chroma is filtered with the luma row.
    if ((row != DEBLOCK_ROW_8BIT && row != DEBLOCK_ROW_10BIT) || r->chroma_shift != row)
        return;
    deblock_fn luma_v = deblock_funcs[DEBLOCK_LUMA_V][row], luma_h = deblock_funcs[DEBLOCK_LUMA_H][row];
    deblock_fn chroma_v = deblock_funcs[DEBLOCK_CHROMA_V][row], chroma_h = deblock_funcs[DEBLOCK_CHROMA_H][row];
    if (!luma_v || !luma_h || !chroma_v || !chroma_h)
        return;

    lf_strengths bs;
    lf_boundary_strengths(r, &bs);
    if (!lf_any_strength(bs))
        return;

    const int32_t sample = row ? 2 : 1;
    const Plane luma{r->luma, r->luma_stride, sample, r->luma_shift};
    const bool chroma = r->chroma_format == 1 || r->chroma_format == 2;
    const bool tall = r->chroma_format == 2;   // 16 chroma rows per macroblock
    const Plane cb{r->cb, r->chroma_stride, sample, r->chroma_shift};
    const Plane cr{r->cr, r->chroma_stride, sample, r->chroma_shift};
    const Thresholds t{r->alpha_offset, r->beta_offset};
    const bool four = r->kind == 0;
    const int32_t qc = chroma ? lf_chroma_qp(r->qp, r->luma_shift, r->chroma_shift) : 0;

    if (r->avail & MB_LEFT) {
        filter_edge(luma_v, luma, 0, 0, (r->qp + 1 + r->qp_left) >> 1, t, bs.left);
        if (chroma) {
            const int32_t q = (qc + 1 + lf_chroma_qp(r->qp_left, r->luma_shift, r->chroma_shift)) >> 1;
            for (const Plane *p : {&cb, &cr}) {
                if (!tall) {
                    filter_edge(chroma_v, *p, 0, 0, q, t, bs.left);
                    continue;
                }
                const uint8_t upper[2] = {bs.left[0], bs.left[0]}, lower[2] = {bs.left[1], bs.left[1]};
                filter_edge(chroma_v, *p, 0, 0, q, t, upper);
                filter_edge(chroma_v, *p, 0, 8, q, t, lower);
            }
        }
    }
    if (four)
        filter_edge(luma_v, luma, 4, 0, r->qp, t, bs.inner4);
    filter_edge(luma_v, luma, 8, 0, r->qp, t, bs.inner_v);
    if (four)
        filter_edge(luma_v, luma, 12, 0, r->qp, t, bs.inner4);

    if (r->avail & MB_TOP) {
        filter_edge(luma_h, luma, 0, 0, (r->qp + 1 + r->qp_top) >> 1, t, bs.top);
        if (chroma) {
            const int32_t q = (qc + 1 + lf_chroma_qp(r->qp_top, r->luma_shift, r->chroma_shift)) >> 1;
            filter_edge(chroma_h, cb, 0, 0, q, t, bs.top);
            filter_edge(chroma_h, cr, 0, 0, q, t, bs.top);
        }
    }
    if (four)
        filter_edge(luma_h, luma, 0, 4, r->qp, t, bs.inner4);
    filter_edge(luma_h, luma, 0, 8, r->qp, t, bs.inner_h);
    if (four)
        filter_edge(luma_h, luma, 0, 12, r->qp, t, bs.inner4);

    if (tall) {
        filter_edge(chroma_h, cb, 0, 8, qc, t, bs.inner_h);
        filter_edge(chroma_h, cr, 0, 8, qc, t, bs.inner_h);
    }
}
