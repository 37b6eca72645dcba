// Deblocking of one macroblock: walks its edges in filter order and hands each to the edge
// kernel of its kind with the strengths and thresholds decided for it. Thresholds are worked
// out once per QP the macroblock's edges use, and only for edges with a non-zero strength.
#include <initializer_list>

#include "deblock.h"
#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

// Thresholds of one QP, worked out on first use.
class QpEdges {
public:
    QpEdges(int32_t q, const lf_record *r) : q_(q), r_(r) {}

    // Filters the edge at pix with strengths bs, unless both are 0 or the QP filters nothing.
    void filter(deblock_fn fn, uint8_t *pix, int32_t stride, const uint8_t bs[2])
    {
        if ((bs[0] | bs[1]) == 0)
            return;
        if (!ready_) {
            lf_qp_thresholds(q_, r_->luma_shift, r_->alpha_offset, r_->beta_offset, &t_);
            ready_ = true;
        }
        if (t_.alpha == 0 || t_.beta == 0)
            return;
        const uint8_t clip[2] = {t_.clip[bs[0]], t_.clip[bs[1]]};
        fn(pix, stride, t_.alpha, t_.beta, clip, bs);
    }

private:
    int32_t q_;
    const lf_record *r_;
    bool ready_ = false;
    lf_qp_params t_;
};

bool any(const uint8_t bs[2]) { return (bs[0] | bs[1]) != 0; }

} // namespace

void mb_loop_filter(const lf_record *r)
{
    if (r->lf_disabled)
        return;
    const int32_t row = r->luma_shift;
    // Rows 0 and 2 hold kernels; chroma is filtered with the luma row.
    if ((row != DEBLOCK_ROW_8BIT && row != DEBLOCK_ROW_10BIT) || r->chroma_shift != row)
        return;
    const deblock_fn luma_v = deblock_funcs[DEBLOCK_LUMA_V][row], luma_h = deblock_funcs[DEBLOCK_LUMA_H][row];
    const deblock_fn chroma_v = deblock_funcs[DEBLOCK_CHROMA_V][row];
    const deblock_fn chroma_h = deblock_funcs[DEBLOCK_CHROMA_H][row];
    if (!luma_v || !luma_h || !chroma_v || !chroma_h)
        return;

    lf_strengths bs;
    lf_boundary_strengths(r, &bs);
    if (!lf_any_strength(bs))
        return;

    const int32_t sample = row ? 2 : 1;
    const int32_t ls = r->luma_stride, cs = r->chroma_stride;
    uint8_t *const y = r->luma;
    const bool chroma = r->chroma_format == 1 || r->chroma_format == 2;
    const bool tall = r->chroma_format == 2;   // 16 chroma rows per macroblock
    const bool four = r->kind == 0;
    const int32_t shift = r->luma_shift;
    const int32_t qc = chroma ? lf_chroma_qp(r->qp, shift, shift) : 0;

    QpEdges inner(r->qp, r);
    if ((r->avail & MB_LEFT) && any(bs.left)) {
        QpEdges left((r->qp + 1 + r->qp_left) >> 1, r);
        left.filter(luma_v, y, ls, bs.left);
        if (chroma) {
            QpEdges cleft((qc + 1 + lf_chroma_qp(r->qp_left, shift, shift)) >> 1, r);
            for (uint8_t *p : {r->cb, r->cr}) {
                if (!tall) {
                    cleft.filter(chroma_v, p, cs, bs.left);
                    continue;
                }
                const uint8_t upper[2] = {bs.left[0], bs.left[0]}, lower[2] = {bs.left[1], bs.left[1]};
                cleft.filter(chroma_v, p, cs, upper);
                cleft.filter(chroma_v, p + 8 * int64_t(cs), cs, lower);
            }
        }
    }
    if (four)
        inner.filter(luma_v, y + 4 * sample, ls, bs.inner4);
    inner.filter(luma_v, y + 8 * sample, ls, bs.inner_v);
    if (four)
        inner.filter(luma_v, y + 12 * sample, ls, bs.inner4);

    if ((r->avail & MB_TOP) && any(bs.top)) {
        QpEdges top((r->qp + 1 + r->qp_top) >> 1, r);
        top.filter(luma_h, y, ls, bs.top);
        if (chroma) {
            QpEdges ctop((qc + 1 + lf_chroma_qp(r->qp_top, shift, shift)) >> 1, r);
            ctop.filter(chroma_h, r->cb, cs, bs.top);
            ctop.filter(chroma_h, r->cr, cs, bs.top);
        }
    }
    if (four)
        inner.filter(luma_h, y + 4 * int64_t(ls), ls, bs.inner4);
    inner.filter(luma_h, y + 8 * int64_t(ls), ls, bs.inner_h);
    if (four)
        inner.filter(luma_h, y + 12 * int64_t(ls), ls, bs.inner4);

    if (tall && any(bs.inner_h)) {
        QpEdges cinner(qc, r);
        cinner.filter(chroma_h, r->cb + 8 * int64_t(cs), cs, bs.inner_h);
        cinner.filter(chroma_h, r->cr + 8 * int64_t(cs), cs, bs.inner_h);
    }
}
