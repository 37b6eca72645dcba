// Loop-filter decisions: boundary strengths of a macroblock's edges and the thresholds of
// one edge. No sample is touched here.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "lf_record.h"


// One byte per 8-sample half of each edge (upper/lower half of a vertical edge, left/right
// half of a horizontal one): 0 none, 1 and 2 normal, 3 strong.
struct lf_strengths {
    uint8_t left[2];      // left macroblock edge
    uint8_t inner_v[2];   // x = 8
    uint8_t top[2];       // top macroblock edge
    uint8_t inner_h[2];   // y = 8
    uint8_t inner4[2];    // x = 4, 12 and y = 4, 12 of an I_4X4 macroblock
};

void lf_boundary_strengths(const lf_record *rec, lf_strengths *bs);
inline bool lf_any_strength(const lf_strengths &bs)
{
    static_assert(sizeof bs == 10, "five pairs of bytes");
    uint64_t head;
    uint16_t tail;
    std::memcpy(&head, &bs, sizeof head);
    std::memcpy(&tail, reinterpret_cast<const uint8_t *>(&bs) + sizeof head, sizeof tail);
    return (head | tail) != 0;
}

struct lf_edge_params {
    int32_t alpha, beta;
    uint8_t clip[2];
};

// Thresholds shared by every edge of one QP: alpha and beta, and the clip value by strength
// (index 0..3), all scaled to the bit depth. alpha or beta 0: no edge of this QP is filtered.
struct lf_qp_params {
    int32_t alpha, beta;
    uint8_t clip[4];
};

// Thresholds of every edge group of a macroblock with strengths bs, each group with its QP
// and depth as lf_edge_thresholds has them; a group with no edge to filter (strengths 0,
// neighbour missing, no chroma, beta 0) gets alpha 0.
struct lf_mb_thresholds {
    lf_qp_params inner, left, top;            // luma
    lf_qp_params chroma_inner, chroma_left, chroma_top;
};

void lf_macroblock_thresholds(const lf_record *rec, const lf_strengths &bs, lf_mb_thresholds *out);

// Thresholds and chroma QPs of QPs 0..LF_TABLE_QPS-1 at one depth shift (luma and chroma
// alike) and pair of offsets; alpha 0 where beta is (nothing filtered).
constexpr int32_t LF_TABLE_QPS = 128;
struct lf_qp_table {
    int32_t shift, alpha_offset, beta_offset;
    bool chroma_inside;   // every chroma QP below LF_TABLE_QPS
    lf_qp_params at[LF_TABLE_QPS];
    int32_t chroma[LF_TABLE_QPS];
};

void lf_qp_table_fill(lf_qp_table *t, int32_t shift, int32_t alpha_offset, int32_t beta_offset);

// The record's slice has a table that holds its QPs (and so their means and chroma QPs).
inline bool lf_table_holds(const lf_record *r)
{
    const lf_qp_table *t = r->slice->table;
    static_assert((LF_TABLE_QPS & (LF_TABLE_QPS - 1)) == 0, "one test for the three QPs");
    return t && t->chroma_inside && r->slice->chroma_shift == t->shift &&
           ((r->qp | r->qp_left | r->qp_top) & -LF_TABLE_QPS) == 0;
}

// The groups of lf_macroblock_thresholds by reference, each with alpha 0 where it filters
// nothing (beta 0, no chroma, or 4:2:0 chroma inside); the strengths then pick the edges.
struct lf_mb_threshold_refs {
    const lf_qp_params *inner, *left, *top;
    const lf_qp_params *chroma_inner, *chroma_left, *chroma_top;
};

// Computes them into scratch, which they then point into.
void lf_computed_threshold_refs(const lf_record *rec, const lf_strengths &bs, lf_mb_thresholds *scratch,
                                lf_mb_threshold_refs *out);

// Points them into the slice's table where it holds the record's QPs, else computes them.
inline void lf_macroblock_threshold_refs(const lf_record *r, const lf_strengths &bs, lf_mb_thresholds *scratch,
                                         lf_mb_threshold_refs *out)
{
    if (!lf_table_holds(r))
        return lf_computed_threshold_refs(r, bs, scratch, out);
    static constexpr lf_qp_params kNone = {};
    const lf_qp_table &t = *r->slice->table;
    const int32_t format = r->slice->chroma_format;
    const int32_t q = r->qp, left = r->qp_left, top = r->qp_top;
    out->inner = &t.at[q];
    out->left = &t.at[(q + 1 + left) >> 1];
    out->top = &t.at[(q + 1 + top) >> 1];
    if (format != 1 && format != 2) {
        out->chroma_inner = out->chroma_left = out->chroma_top = &kNone;
        return;
    }
    const int32_t qc = t.chroma[q];
    out->chroma_inner = format == 2 ? &t.at[qc] : &kNone;
    out->chroma_left = &t.at[(qc + 1 + t.chroma[left]) >> 1];
    out->chroma_top = &t.at[(qc + 1 + t.chroma[top]) >> 1];
}

// Thresholds of an edge with QP q (bit-depth offset included) and depth shift s (bit depth
// - 8); the clip value of each half follows its strength. False when alpha or beta is 0:
// the edge is not filtered.
bool lf_edge_thresholds(int32_t q, int32_t shift, int32_t alpha_offset, int32_t beta_offset, const uint8_t bs[2],
                        lf_edge_params *out);

// Chroma QP of a luma QP, both with their bit-depth offsets.
int32_t lf_chroma_qp(int32_t q, int32_t luma_shift, int32_t chroma_shift);

extern const uint8_t deblock_alpha_table[56];
extern const uint8_t deblock_beta_table[56];
extern const uint8_t deblock_clip_table[56];

// Table values by index a = QP + offset, clamped to [LF_INDEX_MIN, LF_INDEX_MAX] (every index
// outside gives the values of the bound): alpha and beta at a, clip of strength s at a + s - 1.
constexpr int LF_INDEX_MIN = -2, LF_INDEX_MAX = 56;
struct lf_threshold_row {
    uint8_t alpha, beta;
    uint8_t clip[4];
};
extern const std::array<lf_threshold_row, LF_INDEX_MAX - LF_INDEX_MIN + 1> deblock_threshold_rows;
