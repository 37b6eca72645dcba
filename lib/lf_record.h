// What the loop filter needs of one decoded macroblock; filled by the macroblock decoders,
// read by the loop-filter worker.
#pragma once
#include <cstdint>

constexpr int LF_MOTION_FIELDS = 4;
// The motion cache entries the strengths compare: 1, 2 (above), 4..6, 8..10 (left neighbour
// and the macroblock's blocks), kept in that order.
constexpr int LF_MOTION_ENTRIES = 8;
constexpr int lf_motion_slot(int cache_entry) { return cache_entry - 1 - cache_entry / 4; }
static_assert(lf_motion_slot(1) == 0 && lf_motion_slot(4) == 2 && lf_motion_slot(8) == 5 &&
                  lf_motion_slot(10) == LF_MOTION_ENTRIES - 1,
              "compared entries side by side");

// What a record's slice and picture layer fix for all its macroblocks; written once per slice
// and per ring row, next to the row's records.
struct lf_qp_table;

struct lf_slice {
    const lf_qp_table *table;       // thresholds of the depth and offsets; null: computed
    int32_t lf_disabled;
    int32_t chroma_format;
    int32_t luma_shift, chroma_shift;
    int32_t alpha_offset, beta_offset;
    int32_t luma_stride, chroma_stride;
};

struct lf_record {
    uint8_t *luma, *cb, *cr;        // top-left samples of the macroblock
    const lf_slice *slice;
    int32_t avail;                  // 1 left, 2 top, 4 top-right, 8 top-left
    // What the thresholds depend on besides the strengths, the slice and avail.
    int32_t qp, qp_left, qp_top;
    int32_t cbp, cbp_left, cbp_top;
    int32_t kind, kind_left, kind_top;
    int32_t mb_x, mb_y;
    // Vector, distance and reference (the first LF_MOTION_FIELDS fields) of the compared
    // entries by lf_motion_slot, list 0 then list 1; only the lists the strengths read: none
    // for intra kinds, list 1 from kind 7. Last, so that other records leave list 1 untouched.
    int16_t motion[2][LF_MOTION_ENTRIES][LF_MOTION_FIELDS];
};

// Deblocks the macroblock of one record (runs on the worker thread).
void mb_loop_filter(const lf_record *rec);
