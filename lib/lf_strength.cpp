#include "lf_strength.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "lf_record.h"
#include "mb_work.h"
#include "vlc_tables.h"

namespace {

bool is_intra(int32_t kind) { return kind == 0 || kind == 1; }

// Cache entries e and e + 1 of one list of the motion copy, side by side there.
inline __m128i entry_pair(const lf_record *r, int list, int e)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(r->motion[list][lf_motion_slot(e)]));
}

// All-ones in the 16-bit lanes of two entry pairs (a, b) whose difference shows an edge: a
// vector component apart by 4 or more, or another reference; the distance lane never.
inline __m128i moves(__m128i a, __m128i b)
{
    static_assert(MV_X == 0 && MV_Y == 1 && MV_DISTANCE == 2 && MV_REF_IDX == 3, "lane limits");
    const __m128i limits = _mm_setr_epi16(3, 3, INT16_MAX, 0, 3, 3, INT16_MAX, 0);
    // Saturated, so that no difference wraps to a small one; its magnitude stays below 2^15.
    const __m128i d = _mm_subs_epi16(a, b);
    const __m128i magnitude = _mm_max_epi16(d, _mm_subs_epi16(_mm_setzero_si128(), d));
    return _mm_cmpgt_epi16(magnitude, limits);
}

// Per half-edge, in the byte order of lf_strengths' left, inner_v, top and inner_h: 1 where
// the motion of the two blocks differs in any of the Lists lists, else 0.
template <int Lists>
uint64_t motion_edges(const lf_record *r)
{
    __m128i left = _mm_setzero_si128(), inner_v = left, top = left, inner_h = left;
    for (int list = 0; list < Lists; ++list) {
        const __m128i e12 = entry_pair(r, list, 1), e45 = entry_pair(r, list, 4), e56 = entry_pair(r, list, 5);
        const __m128i e89 = entry_pair(r, list, 8), e910 = entry_pair(r, list, 9);
        // Across vertical edges: (4, 5) and (8, 9); (5, 6) and (9, 10).
        left = _mm_or_si128(left, moves(_mm_unpacklo_epi64(e45, e89), _mm_unpackhi_epi64(e45, e89)));
        inner_v = _mm_or_si128(inner_v, moves(_mm_unpacklo_epi64(e56, e910), _mm_unpackhi_epi64(e56, e910)));
        // Across horizontal edges: (1, 5) and (2, 6); (5, 9) and (6, 10).
        top = _mm_or_si128(top, moves(e12, e56));
        inner_h = _mm_or_si128(inner_h, moves(e56, e910));
    }
    // Four lanes per half-edge to four bytes, then to one.
    const __m128i zero = _mm_setzero_si128();
    const __m128i still_vertical = _mm_cmpeq_epi32(_mm_packs_epi16(left, inner_v), zero);
    const __m128i still_horizontal = _mm_cmpeq_epi32(_mm_packs_epi16(top, inner_h), zero);
    const __m128i still = _mm_packs_epi32(still_vertical, still_horizontal);
    const __m128i moved = _mm_andnot_si128(_mm_packs_epi16(still, still), _mm_set1_epi8(1));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(moved));
}

// Per half-edge, in the same byte order, 1 where a block on either side has residual: by the
// current macroblock's cbp, the left neighbour's blocks 1 and 3, the upper one's 2 and 3.
constexpr uint64_t byte_at(int i, bool set) { return set ? uint64_t{1} << (8 * i) : 0; }

constexpr std::array<uint64_t, 16> kOwnCoded = [] {
    std::array<uint64_t, 16> t{};
    for (int c = 0; c < 16; ++c) {
        auto b = [c](int k) { return ((c >> k) & 1) != 0; };
        t[c] = byte_at(0, b(0)) | byte_at(1, b(2)) | byte_at(2, b(0) || b(1)) | byte_at(3, b(2) || b(3)) |
               byte_at(4, b(0)) | byte_at(5, b(1)) | byte_at(6, b(0) || b(2)) | byte_at(7, b(1) || b(3));
    }
    return t;
}();

inline uint64_t coded_edges(const lf_record *r)
{
    const uint32_t left = uint32_t(r->cbp_left), top = uint32_t(r->cbp_top);
    return kOwnCoded[r->cbp & 15] | byte_at(0, (left >> 1) & 1) | byte_at(1, (left >> 3) & 1) |
           byte_at(4, (top >> 2) & 1) | byte_at(5, (top >> 3) & 1);
}

// Strengths of the edges of an inter macroblock comparing Lists lists of motion: 2 where a
// side has residual, else 1 where the motion differs; 3 across an intra neighbour, none
// across a missing one.
template <int Lists>
void inter_strengths(const lf_record *r, bool intra_left, bool intra_top, lf_strengths *bs)
{
    const uint64_t coded = coded_edges(r);
    uint64_t s = (coded << 1) | (motion_edges<Lists>(r) & ~coded);
    constexpr uint64_t kLeft = 0xFFFF, kTop = uint64_t{0xFFFF} << 32, kStrong = 0x0000030300000303;
    if (!(r->avail & MB_LEFT))
        s &= ~kLeft;
    else if (intra_left)
        s = (s & ~kLeft) | (kStrong & kLeft);
    if (!(r->avail & MB_TOP))
        s &= ~kTop;
    else if (intra_top)
        s = (s & ~kTop) | (kStrong & kTop);
    static_assert(offsetof(lf_strengths, left) == 0 && offsetof(lf_strengths, inner_v) == 2 &&
                      offsetof(lf_strengths, top) == 4 && offsetof(lf_strengths, inner_h) == 6,
                  "byte order of the edges");
    std::memcpy(bs, &s, sizeof s);
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

void lf_qp_table_fill(lf_qp_table *t, int32_t shift, int32_t alpha_offset, int32_t beta_offset)
{
    t->chroma_inside = true;
    for (int32_t q = 0; q < LF_TABLE_QPS; ++q) {
        qp_thresholds(q, shift, alpha_offset, beta_offset, &t->at[q]);
        if (t->at[q].beta == 0)
            t->at[q].alpha = 0;
        t->chroma[q] = lf_chroma_qp(q, shift, shift);
        t->chroma_inside = t->chroma_inside && t->chroma[q] < LF_TABLE_QPS;
    }
    t->shift = shift;
    t->alpha_offset = alpha_offset;
    t->beta_offset = beta_offset;
}

namespace {

bool any(const uint8_t pair[2]) { return (pair[0] | pair[1]) != 0; }

// Alpha 0 marks a group with no edge to filter.
void keep_if(bool used, lf_qp_params *group) { group->alpha &= -int32_t(used && group->beta != 0); }

// Every group's thresholds: at(s, q, out) gives those of QP q at depth shift s, chroma_qp(q)
// the chroma QP of luma QP q; mean(a, b) the rounded mean of two QPs.
template <class At, class ChromaQp, class Mean>
[[gnu::always_inline]] inline void groups(const lf_record *r, const lf_strengths &bs, At at, ChromaQp chroma_qp,
                                          Mean mean, lf_mb_thresholds *out)
{
    const lf_slice &s = *r->slice;
    const int32_t shift = s.luma_shift, cshift = s.chroma_shift;
    const bool left = (r->avail & MB_LEFT) && any(bs.left), top = (r->avail & MB_TOP) && any(bs.top);
    at(shift, r->qp, &out->inner);
    at(shift, mean(r->qp, r->qp_left), &out->left);
    at(shift, mean(r->qp, r->qp_top), &out->top);
    keep_if(any(bs.inner_v) || any(bs.inner_h) || any(bs.inner4), &out->inner);
    keep_if(left, &out->left);
    keep_if(top, &out->top);
    if (s.chroma_format != 1 && s.chroma_format != 2) {
        out->chroma_inner.alpha = out->chroma_left.alpha = out->chroma_top.alpha = 0;
        return;
    }
    const int32_t qc = chroma_qp(r->qp);
    at(cshift, qc, &out->chroma_inner);
    at(cshift, mean(qc, chroma_qp(r->qp_left)), &out->chroma_left);
    at(cshift, mean(qc, chroma_qp(r->qp_top)), &out->chroma_top);
    keep_if(s.chroma_format == 2 && any(bs.inner_h), &out->chroma_inner);
    keep_if(left, &out->chroma_left);
    keep_if(top, &out->chroma_top);
}

} // namespace

void lf_macroblock_thresholds(const lf_record *r, const lf_strengths &bs, lf_mb_thresholds *out)
{
    const lf_slice &s = *r->slice;
    const int32_t shift = s.luma_shift, cshift = s.chroma_shift;
    if (lf_table_holds(r)) {
        const lf_qp_table &t = *s.table;
        groups(
            r, bs, [&t](int32_t, int32_t q, lf_qp_params *o) { std::memcpy(o, &t.at[q], sizeof *o); },
            [&t](int32_t q) { return t.chroma[q]; }, [](int32_t a, int32_t b) { return (a + 1 + b) >> 1; }, out);
        return;
    }
    groups(
        r, bs, [&s](int32_t d, int32_t q, lf_qp_params *o) { qp_thresholds(q, d, s.alpha_offset, s.beta_offset, o); },
        [=](int32_t q) { return lf_chroma_qp(q, shift, cshift); },
        [](int32_t a, int32_t b) { return static_cast<int32_t>((int64_t(a) + 1 + b) >> 1); }, out);
}

void lf_computed_threshold_refs(const lf_record *r, const lf_strengths &bs, lf_mb_thresholds *scratch,
                                lf_mb_threshold_refs *out)
{
    lf_macroblock_thresholds(r, bs, scratch);
    *out = {&scratch->inner,        &scratch->left,        &scratch->top,
            &scratch->chroma_inner, &scratch->chroma_left, &scratch->chroma_top};
}
