// Deblocking of one macroblock: walks its edges in filter order and hands each to the edge
// kernel of its kind with the strengths and thresholds decided for it.
#include <cstddef>
#include <cstring>

#include "deblock.h"
#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

// Filters the edge at pix with strengths bs, unless both are 0 or its QP filters nothing.
inline void filter(deblock_fn fn, uint8_t *pix, int32_t stride, const lf_qp_params &t, const uint8_t bs[2])
{
    if ((bs[0] | bs[1]) == 0 || t.alpha == 0 || t.beta == 0)
        return;
    const uint8_t clip[2] = {t.clip[bs[0]], t.clip[bs[1]]};
    fn(pix, stride, t.alpha, t.beta, clip, bs);
}

inline void filter_pair(deblock_pair_fn fn, uint8_t *cb, uint8_t *cr, int32_t stride, const lf_qp_params &t,
                        const uint8_t bs[2])
{
    if ((bs[0] | bs[1]) == 0 || t.alpha == 0 || t.beta == 0)
        return;
    const uint8_t clip[2] = {t.clip[bs[0]], t.clip[bs[1]]};
    fn(cb, cr, stride, t.alpha, t.beta, clip, bs);
}

// What the thresholds of a macroblock's groups depend on besides the strengths: the record's
// fields from qp to beta_offset and its neighbours on the two filtered sides.
constexpr size_t KEY_BYTES = offsetof(lf_record, beta_offset) + sizeof(int32_t) - offsetof(lf_record, qp);
static_assert(KEY_BYTES == 8 * sizeof(int32_t), "threshold fields side by side");

struct ThresholdKey {
    uint8_t fields[KEY_BYTES];
    int32_t sides;
};

// Thresholds of every group the key allows, as for a macroblock with all strengths set; the
// strengths then pick the edges. Neighbouring macroblocks mostly share their QPs, so the
// worker thread keeps the last macroblock's.
struct ThresholdMemo {
    bool valid = false;
    ThresholdKey key;
    lf_mb_thresholds t;
};

thread_local ThresholdMemo memo;

const lf_mb_thresholds &thresholds_of(const lf_record *r)
{
    ThresholdMemo &m = memo;
    const int32_t sides = r->avail & (MB_LEFT | MB_TOP);
    if (!m.valid || m.key.sides != sides || std::memcmp(m.key.fields, &r->qp, KEY_BYTES) != 0) {
        lf_strengths all;
        std::memset(&all, 1, sizeof all);
        lf_macroblock_thresholds(r, all, &m.t);
        std::memcpy(m.key.fields, &r->qp, KEY_BYTES);
        m.key.sides = sides;
        m.valid = true;
    }
    return m.t;
}

// The edges of a macroblock with some strength, in filter order.
[[gnu::noinline]] void filter_edges(const lf_record *r, const lf_strengths &bs)
{
    const int32_t row = r->luma_shift;
    // Rows 0 and 2 hold kernels; chroma is filtered with the luma row.
    if ((row != DEBLOCK_ROW_8BIT && row != DEBLOCK_ROW_10BIT) || r->chroma_shift != row)
        return;
    const deblock_fn luma_v = deblock_funcs[DEBLOCK_LUMA_V][row], luma_h = deblock_funcs[DEBLOCK_LUMA_H][row];
    // Chroma: both planes per call.
    const deblock_pair_fn chroma_v = deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][row];
    const deblock_pair_fn chroma_h = deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][row];
    if (!luma_v || !luma_h || !chroma_v || !chroma_h)
        return;

    const lf_mb_thresholds t = thresholds_of(r);   // a copy: the kernel calls would reload the memo

    const int32_t sample = row ? 2 : 1;
    const int32_t ls = r->luma_stride, cs = r->chroma_stride;
    uint8_t *const y = r->luma;
    const bool tall = r->chroma_format == 2;   // 16 chroma rows per macroblock
    const bool four = r->kind == 0;

    // Groups of a missing neighbour come with alpha 0; the kernels see only edges with strength.
    // Luma and chroma QPs differ: either may filter without the other.
    if (t.left.alpha)
        filter(luma_v, y, ls, t.left, bs.left);
    if (t.chroma_left.alpha) {
        if (!tall) {
            filter_pair(chroma_v, r->cb, r->cr, cs, t.chroma_left, bs.left);
        } else {
            const uint8_t upper[2] = {bs.left[0], bs.left[0]}, lower[2] = {bs.left[1], bs.left[1]};
            const int64_t down = 8 * int64_t(cs);
            filter_pair(chroma_v, r->cb, r->cr, cs, t.chroma_left, upper);
            filter_pair(chroma_v, r->cb + down, r->cr + down, cs, t.chroma_left, lower);
        }
    }
    if (t.inner.alpha) {
        if (four)
            filter(luma_v, y + 4 * sample, ls, t.inner, bs.inner4);
        filter(luma_v, y + 8 * sample, ls, t.inner, bs.inner_v);
        if (four)
            filter(luma_v, y + 12 * sample, ls, t.inner, bs.inner4);
    }

    if (t.top.alpha)
        filter(luma_h, y, ls, t.top, bs.top);
    if (t.chroma_top.alpha) {
        filter_pair(chroma_h, r->cb, r->cr, cs, t.chroma_top, bs.top);
    }
    if (t.inner.alpha) {
        if (four)
            filter(luma_h, y + 4 * int64_t(ls), ls, t.inner, bs.inner4);
        filter(luma_h, y + 8 * int64_t(ls), ls, t.inner, bs.inner_h);
        if (four)
            filter(luma_h, y + 12 * int64_t(ls), ls, t.inner, bs.inner4);
    }

    if (t.chroma_inner.alpha) {
        const int64_t down = 8 * int64_t(cs);
        filter_pair(chroma_h, r->cb + down, r->cr + down, cs, t.chroma_inner, bs.inner_h);
    }
}

} // namespace

void mb_loop_filter(const lf_record *r)
{
    if (r->lf_disabled)
        return;
    // Most macroblocks of P pictures have no edge to filter: decided before any other setup.
    lf_strengths bs;
    lf_boundary_strengths(r, &bs);
    if (lf_any_strength(bs))
        filter_edges(r, bs);
}
