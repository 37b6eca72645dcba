// Loop-filter worker: the decoding thread publishes complete macroblock rows of lf_records
// into a ring of sixteen slots; the instance's worker thread filters them in order. An idle
// worker is woken once four rows wait (or when the decoding thread is about to wait), so the
// hand-over costs one wake-up per four rows. Pictures of fewer than lf_worker_min_mbs
// macroblocks are filtered inline instead: each row on the decoding thread as it is
// published, with no hand-over.
#pragma once
#include <pthread.h>
#include <cstddef>
#include <climits>
#include <cstdint>

#include "lf_record.h"

struct decoder_ctx;

constexpr int LF_RING_SLOTS = 16;
constexpr int LF_TABLES = 4;          // threshold tables of different depths or offsets kept
constexpr int LF_DEFAULT_ROW = 120;
constexpr int LF_BATCH_ROWS = 4;      // waiting rows that wake an idle worker
// Default of lf_worker_min_mbs: every picture inline, and no thread. On two cores the hand-over
// cost more CPU time than it saved wall time at every size measured (CIF to 1080p).
constexpr int32_t LF_WORKER_MIN_MBS = INT32_MAX;
static_assert(LF_BATCH_ROWS < LF_RING_SLOTS, "a full ring must hold a batch");

typedef void (*lf_filter_fn)(const lf_record *rec);

// Pictures of at least this many macroblocks go to the worker thread, smaller ones are
// filtered inline; read at each picture start, and when an instance opens (INT32_MAX: the
// instance starts no thread). Benchmarks and tests set it.
extern int32_t lf_worker_min_mbs;

struct lf_worker {
    lf_record *ring;                 // LF_RING_SLOTS * slot_capacity records
    lf_slice *slices;                // one beside each record, in the same allocation: the slice
                                     // header of the records from there on in its slot
    const lf_slice *slice;           // the header of the records being handed out
    int32_t slice_count;             // the decoder's slice count when it was written
    lf_qp_table *tables;             // LF_TABLES, the first tables_used filled; headers point at
    int32_t tables_used;             // them, so they are only emptied with the ring
    int32_t slot_capacity;           // records per slot, at least the picture's mb_width
    int32_t slot_used[LF_RING_SLOTS];// records published in each slot
    int32_t fill;                    // records handed out in the slot being filled
    lf_record *row;                  // its first record, once fill is above 0
    int32_t row_width;               // mb_width of the picture being decoded
    int32_t picture_mbs;             // macroblocks of that picture
    pthread_t thread;
    int32_t running;                 // the thread exists
    int32_t synced;                  // mutex and conditions exist
    int32_t filtered;                // macroblocks filtered in the current picture
    pthread_mutex_t mutex;
    int32_t read, write;
    pthread_cond_t slot_filled, slot_freed, picture_filtered;
    int32_t stop;
    lf_filter_fn filter;             // mb_loop_filter, or a test's stand-in
    int32_t producer_waits;          // times the producer waited for a free slot
    int32_t worker_idle;             // the worker sleeps on slot_filled
    int32_t producer_waiting;        // threads waiting on slot_freed
    int32_t idle_waiting;            // threads waiting on picture_filtered
    int32_t row_taken;               // a waiting thread filters the oldest row
    int32_t inline_rows;             // this picture's rows are filtered as they are published
};

int lf_worker_start(decoder_ctx *ctx);
void lf_worker_stop(decoder_ctx *ctx);
// Empties the ring for a new picture of ctx->mb_width x ctx->mb_height; 0, or -1 when the
// ring cannot grow to the picture's width.
int lf_worker_reset(decoder_ctx *ctx);
lf_record *lf_worker_next_record(decoder_ctx *ctx);
// lf_worker_next_record's common case, for the decoding thread: the next record of a slot
// being filled with room left, or null (the slot is new or full).
inline lf_record *lf_worker_take_record(lf_worker *w)
{
    if (w->fill == 0 || w->fill >= w->slot_capacity)
        return nullptr;
    return w->row + w->fill++;
}
void lf_worker_flush(decoder_ctx *ctx);
// The threshold table of a depth shift and offsets for a new slice header, or null when every
// table holds others while records are in flight (thresholds are then computed).
const lf_qp_table *lf_worker_table(lf_worker *w, int32_t shift, int32_t alpha_offset, int32_t beta_offset);
void lf_worker_wait_idle(decoder_ctx *ctx);
// Filters what was handed out and empties the ring, as for a new instance.
void lf_worker_drain(decoder_ctx *ctx);

// Test hook: thread creation used by lf_worker_start.
extern int (*lf_thread_create)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
