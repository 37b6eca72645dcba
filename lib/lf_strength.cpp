#include "lf_strength.h"

#include <algorithm>
#include <cstring>

#include "lf_record.h"
#include "mb_work.h"
#include "vlc_tables.h"

namespace {

bool is_intra(int32_t kind) { return kind == 0 || kind == 1; }

// Whether bit `bit` of either coded-block pattern is set, as 0 or 1.
uint32_t coded(int32_t cbp_a, int bit_a, int32_t cbp_b, int bit_b)
{
    return ((uint32_t(cbp_a) >> bit_a) | (uint32_t(cbp_b) >> bit_b)) & 1;
}

// Vector, distance and reference of an entry as one word: entries with equal words never
// show an edge.
static_assert(MV_X == 0 && MV_Y == 1 && MV_REF_IDX == 3, "key fields");
inline uint64_t key(const int16_t *e)
{
    uint64_t k;
    std::memcpy(&k, e, sizeof k);
    return k;
}

// Nonzero when entries p and q differ in a word of any of the Lists lists.
template <int Lists>
inline uint64_t motion_differs(const lf_record *r, int p, int q)
{
    uint64_t d = 0;
    for (int list = 0; list < Lists; ++list)
        d |= key(r->motion[list][p]) ^ key(r->motion[list][q]);
    return d;
}

// 1 when the vectors of entries p and q differ by a whole sample or more, or their
// references differ, in any of the Lists lists. Written without branches: on content with
// varied motion the outcome is a coin toss.
template <int Lists>
inline uint32_t moved(const lf_record *r, int p, int q)
{
    uint32_t m = 0;
    for (int list = 0; list < Lists; ++list) {
        const int16_t *a = r->motion[list][p], *b = r->motion[list][q];
        m |= uint32_t(uint32_t(a[MV_X] - b[MV_X] + 3) > 6) | uint32_t(uint32_t(a[MV_Y] - b[MV_Y] + 3) > 6) |
             uint32_t(a[MV_REF_IDX] != b[MV_REF_IDX]);
    }
    return m;
}

// Strength of one half-edge between two 8x8 blocks of inter macroblocks: coded (0 or 1)
// whether either block has residual, p and q the entries of the two blocks in the motion copy.
template <int Lists>
inline uint8_t inter_strength(const lf_record *r, uint32_t coded_blocks, int p, int q)
{
    return static_cast<uint8_t>((coded_blocks << 1) | (moved<Lists>(r, p, q) & (coded_blocks ^ 1)));
}

// Strengths of the edges of an inter macroblock comparing Lists lists of motion; bs comes
// cleared.
template <int Lists>
void inter_strengths(const lf_record *r, bool intra_left, bool intra_top, lf_strengths *bs)
{
    const int32_t cbp = r->cbp;
    if (r->avail & MB_LEFT) {
        if (intra_left) {
            bs->left[0] = bs->left[1] = 3;
        } else if ((((r->cbp_left & 10) | (cbp & 5)) | motion_differs<Lists>(r, 4, 5) |
                    motion_differs<Lists>(r, 8, 9)) != 0) {
            bs->left[0] = inter_strength<Lists>(r, coded(r->cbp_left, 1, cbp, 0), 4, 5);
            bs->left[1] = inter_strength<Lists>(r, coded(r->cbp_left, 3, cbp, 2), 8, 9);
        }
    }
    if (r->avail & MB_TOP) {
        if (intra_top) {
            bs->top[0] = bs->top[1] = 3;
        } else if ((((r->cbp_top & 12) | (cbp & 3)) | motion_differs<Lists>(r, 1, 5) |
                    motion_differs<Lists>(r, 2, 6)) != 0) {
            bs->top[0] = inter_strength<Lists>(r, coded(r->cbp_top, 2, cbp, 0), 1, 5);
            bs->top[1] = inter_strength<Lists>(r, coded(r->cbp_top, 3, cbp, 1), 2, 6);
        }
    }
    // One vector for the whole macroblock and no residual: no inner edge. (Each edge above is
    // settled the same way first: one test, taken on content that moves as its neighbours.)
    if (((cbp & 15) | motion_differs<Lists>(r, 5, 6) | motion_differs<Lists>(r, 5, 9) |
         motion_differs<Lists>(r, 5, 10)) == 0)
        return;
    bs->inner_v[0] = inter_strength<Lists>(r, coded(cbp, 0, cbp, 1), 5, 6);
    bs->inner_v[1] = inter_strength<Lists>(r, coded(cbp, 2, cbp, 3), 9, 10);
    bs->inner_h[0] = inter_strength<Lists>(r, coded(cbp, 0, cbp, 2), 5, 9);
    bs->inner_h[1] = inter_strength<Lists>(r, coded(cbp, 1, cbp, 3), 6, 10);
}

int64_t clip_index(int64_t v) { return std::clamp<int64_t>(v, 0, 55); }

} // namespace

void lf_boundary_strengths(const lf_record *r, lf_strengths *bs)
{
    *bs = lf_strengths{};
    if (is_intra(r->kind)) {
        if (r->avail & MB_LEFT)
            bs->left[0] = bs->left[1] = 3;
        if (r->avail & MB_TOP)
            bs->top[0] = bs->top[1] = 3;
        bs->inner_v[0] = bs->inner_v[1] = bs->inner_h[0] = bs->inner_h[1] = 2;
        if (r->kind == 0)
            bs->inner4[0] = bs->inner4[1] = 2;
        return;
    }
    const bool intra_left = is_intra(r->kind_left), intra_top = is_intra(r->kind_top);
    if (r->kind >= 7)
        inter_strengths<2>(r, intra_left, intra_top, bs);
    else
        inter_strengths<1>(r, intra_left, intra_top, bs);
}

static inline void qp_thresholds(int32_t q, int32_t shift, int32_t alpha_offset, int32_t beta_offset, lf_qp_params *out)
{
    // 64-bit: the offsets are whatever the slice header coded.
    const int64_t base = int64_t(q) - 7 * int64_t(shift);
    auto row = [](int64_t index) -> const lf_threshold_row & {
        return deblock_threshold_rows[std::clamp<int64_t>(index, LF_INDEX_MIN, LF_INDEX_MAX) - LF_INDEX_MIN];
    };
    const lf_threshold_row &a = row(base + alpha_offset);
    out->alpha = a.alpha << shift;
    out->beta = row(base + beta_offset).beta << shift;
    // Clip values stay below 8: up to a shift of 5 the four shift within their bytes at once.
    uint32_t clips;
    std::memcpy(&clips, a.clip, sizeof clips);
    if (shift <= 5) {
        clips <<= shift;
        std::memcpy(out->clip, &clips, sizeof clips);
        return;
    }
    for (int s = 0; s < 4; ++s)
        out->clip[s] = static_cast<uint8_t>(a.clip[s] << shift);
}

bool lf_edge_thresholds(int32_t q, int32_t shift, int32_t alpha_offset, int32_t beta_offset, const uint8_t bs[2],
                        lf_edge_params *out)
{
    lf_qp_params t;
    qp_thresholds(q, shift, alpha_offset, beta_offset, &t);
    out->alpha = t.alpha;
    out->beta = t.beta;
    out->clip[0] = t.clip[bs[0] & 3];
    out->clip[1] = t.clip[bs[1] & 3];
    return out->alpha != 0 && out->beta != 0;
}

int32_t lf_chroma_qp(int32_t q, int32_t luma_shift, int32_t chroma_shift)
{
    return chroma_qp_table[clip_index(int64_t(q) - 7 * int64_t(luma_shift))] + 7 * chroma_shift;
}

namespace {

// What the thresholds of every QP of one macroblock share: the depth shift and the rows of
// QP 0 for alpha and for beta, so that a QP needs one clamp per index.
struct QpRows {
    int32_t shift, alpha_offset, beta_offset;
    int64_t alpha0, beta0;
};

[[gnu::always_inline]] inline void group_thresholds(const QpRows &m, bool used, int32_t q, lf_qp_params *t)
{
    if (!used) {
        t->alpha = 0;
        return;
    }
    if (m.shift > 5) {
        qp_thresholds(q, m.shift, m.alpha_offset, m.beta_offset, t);
        return;
    }
    constexpr int64_t last = LF_INDEX_MAX - LF_INDEX_MIN;
    const lf_threshold_row &a = deblock_threshold_rows[std::clamp<int64_t>(q + m.alpha0, 0, last)];
    t->alpha = a.alpha << m.shift;
    t->beta = deblock_threshold_rows[std::clamp<int64_t>(q + m.beta0, 0, last)].beta << m.shift;
    uint32_t clips;
    std::memcpy(&clips, a.clip, sizeof clips);
    clips <<= m.shift;
    std::memcpy(t->clip, &clips, sizeof clips);
}

bool any(const uint8_t pair[2]) { return (pair[0] | pair[1]) != 0; }

QpRows qp_rows(const lf_record *r, int32_t shift)
{
    return {shift, r->alpha_offset, r->beta_offset, int64_t(r->alpha_offset) - 7 * int64_t(shift) - LF_INDEX_MIN,
            int64_t(r->beta_offset) - 7 * int64_t(shift) - LF_INDEX_MIN};
}

} // namespace

void lf_macroblock_thresholds(const lf_record *r, const lf_strengths &bs, lf_mb_thresholds *out)
{
    const int32_t shift = r->luma_shift;
    const QpRows m = qp_rows(r, shift);
    const bool chroma = r->chroma_format == 1 || r->chroma_format == 2;
    const bool left = (r->avail & MB_LEFT) && any(bs.left), top = (r->avail & MB_TOP) && any(bs.top);
    group_thresholds(m, any(bs.inner_v) || any(bs.inner_h) || any(bs.inner4), r->qp, &out->inner);
    group_thresholds(m, left, (r->qp + 1 + r->qp_left) >> 1, &out->left);
    group_thresholds(m, top, (r->qp + 1 + r->qp_top) >> 1, &out->top);
    if (!chroma) {
        out->chroma_inner.alpha = out->chroma_left.alpha = out->chroma_top.alpha = 0;
        return;
    }
    const bool chroma_inner = r->chroma_format == 2 && any(bs.inner_h);
    if (!(left || top || chroma_inner)) {
        out->chroma_inner.alpha = out->chroma_left.alpha = out->chroma_top.alpha = 0;
        return;
    }
    const int32_t cshift = r->chroma_shift;
    const QpRows c = cshift == shift ? m : qp_rows(r, cshift);
    const int32_t qc = lf_chroma_qp(r->qp, shift, cshift);
    group_thresholds(c, chroma_inner, qc, &out->chroma_inner);
    // Chroma QPs of the neighbours only for an edge that is filtered.
    group_thresholds(c, left, left ? (qc + 1 + lf_chroma_qp(r->qp_left, shift, cshift)) >> 1 : 0, &out->chroma_left);
    group_thresholds(c, top, top ? (qc + 1 + lf_chroma_qp(r->qp_top, shift, cshift)) >> 1 : 0, &out->chroma_top);
}
