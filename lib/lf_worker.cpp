#include "lf_worker.h"

#include "decoder_ctx.h"
#include "lf_strength.h"
#include "mem.h"

int (*lf_thread_create)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *) = pthread_create;

int32_t lf_worker_min_mbs = LF_WORKER_MIN_MBS;

// With the mutex held: wakes an idle worker when rows wait.
static void wake_worker(lf_worker *w)
{
    if (w->worker_idle && w->read != w->write)
        pthread_cond_signal(&w->slot_filled);
}

// Records of LF_RING_SLOTS rows, then as many slice headers.
static lf_record *ring_alloc(int32_t row)
{
    static_assert(alignof(lf_slice) <= alignof(lf_record), "headers follow the records");
    const size_t n = LF_RING_SLOTS * static_cast<size_t>(row);
    return static_cast<lf_record *>(mem_malloc((sizeof(lf_record) + sizeof(lf_slice)) * n));
}

static lf_slice *slices_of(lf_record *ring, int32_t row)
{
    return reinterpret_cast<lf_slice *>(ring + LF_RING_SLOTS * static_cast<size_t>(row));
}

// Consumer: filters published rows in order, taking every row that is waiting before it sleeps
// again; on stop it drains what was published, then ends. The producer is signalled only when
// it waits for a slot, and idle waiters only when the ring is empty.
// With the mutex held: filters the oldest published row on the calling thread (the mutex is
// released meanwhile) and frees its slot.
static void filter_oldest_row(lf_worker *w)
{
    const lf_record *row = w->ring + static_cast<size_t>(w->read) * w->slot_capacity;
    const int32_t count = w->slot_used[w->read];
    const lf_filter_fn filter = w->filter;
    w->row_taken = 1;
    pthread_mutex_unlock(&w->mutex);

    for (int32_t i = 0; i < count; ++i)
        filter(&row[i]);

    pthread_mutex_lock(&w->mutex);
    w->row_taken = 0;
    w->read = (w->read + 1) % LF_RING_SLOTS;
    w->filtered += count;
    if (w->filtered >= w->picture_mbs)
        w->filtered = 0;
    if (w->producer_waiting)
        pthread_cond_broadcast(&w->slot_freed);
    // Idle waiters are woken per emptied ring: a picture that ends early never reaches
    // its macroblock count.
    if (w->idle_waiting && w->read == w->write)
        pthread_cond_broadcast(&w->picture_filtered);
}

// Consumer: filters published rows in order, taking every row that is waiting before it sleeps
// again; on stop it drains what was published, then ends. The producer is signalled only when
// it waits for a slot, and idle waiters only when the ring is empty.
static void *lf_worker_main(void *arg)
{
    lf_worker *w = &static_cast<decoder_ctx *>(arg)->lf;
    pthread_mutex_lock(&w->mutex);
    for (;;) {
        while ((w->read == w->write || w->row_taken) && !w->stop) {
            w->worker_idle = 1;
            pthread_cond_wait(&w->slot_filled, &w->mutex);
            w->worker_idle = 0;
        }
        if (w->read == w->write)
            break;
        filter_oldest_row(w);
    }
    pthread_mutex_unlock(&w->mutex);
    return nullptr;
}

int lf_worker_start(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    w->read = w->write = w->fill = w->filtered = 0;
    w->stop = 0;
    w->running = w->synced = 0;
    w->worker_idle = w->producer_waiting = w->idle_waiting = w->row_taken = w->inline_rows = 0;
    w->picture_mbs = 0;
    w->filter = mb_loop_filter;
    w->tables = nullptr;
    w->ring = ring_alloc(LF_DEFAULT_ROW);
    if (!w->ring)
        return -1;
    w->slices = slices_of(w->ring, LF_DEFAULT_ROW);
    w->slice = nullptr;
    w->tables_used = 0;
    w->tables = static_cast<lf_qp_table *>(mem_malloc(sizeof(lf_qp_table) * LF_TABLES));
    if (!w->tables) {
        mem_freep(&w->ring);
        return -1;
    }
    w->slot_capacity = w->row_width = LF_DEFAULT_ROW;

    int made = 0;
    if (pthread_mutex_init(&w->mutex, nullptr) == 0) {
        ++made;
        if (pthread_cond_init(&w->slot_filled, nullptr) == 0) {
            ++made;
            if (pthread_cond_init(&w->slot_freed, nullptr) == 0) {
                ++made;
                if (pthread_cond_init(&w->picture_filtered, nullptr) == 0) {
                    ++made;
                    w->synced = 1;
                    // No thread when every picture is filtered inline.
                    if (lf_worker_min_mbs == INT32_MAX)
                        return 0;
                    if (lf_thread_create(&w->thread, nullptr, lf_worker_main, ctx) == 0) {
                        w->running = 1;
                        return 0;
                    }
                }
            }
        }
    }
    w->synced = 0;
    if (made > 3) pthread_cond_destroy(&w->picture_filtered);
    if (made > 2) pthread_cond_destroy(&w->slot_freed);
    if (made > 1) pthread_cond_destroy(&w->slot_filled);
    if (made > 0) pthread_mutex_destroy(&w->mutex);
    mem_freep(&w->ring);
    mem_freep(&w->tables);
    return -1;
}

void lf_worker_stop(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    if (w->running) {
        pthread_mutex_lock(&w->mutex);
        w->stop = 1;
        pthread_cond_broadcast(&w->slot_filled);
        pthread_mutex_unlock(&w->mutex);
        pthread_join(w->thread, nullptr);
        w->running = 0;
    }
    if (w->synced) {
        w->synced = 0;
        pthread_cond_destroy(&w->picture_filtered);
        pthread_cond_destroy(&w->slot_freed);
        pthread_cond_destroy(&w->slot_filled);
        pthread_mutex_destroy(&w->mutex);
    }
    mem_freep(&w->ring);
    mem_freep(&w->tables);
}

int lf_worker_reset(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    if (ctx->mb_width < 1 || ctx->mb_height < 1)
        return -2;
    int result = 0;
    pthread_mutex_lock(&w->mutex);
    wake_worker(w);
    while (w->read != w->write) {
        ++w->producer_waiting;
        pthread_cond_wait(&w->slot_freed, &w->mutex);
        --w->producer_waiting;
    }
    w->fill = w->read = w->write = w->filtered = 0;
    // No record points at a table now: a full set makes room for the picture's offsets.
    if (w->tables_used == LF_TABLES)
        w->tables_used = 0;
    if (ctx->mb_width > w->slot_capacity) {
        // The worker is idle and holds no slot, so the ring can be replaced.
        lf_record *grown = ring_alloc(ctx->mb_width);
        if (grown) {
            mem_free(w->ring);
            w->ring = grown;
            w->slices = slices_of(grown, ctx->mb_width);
            w->slot_capacity = ctx->mb_width;
        } else {
            result = -1;
        }
    }
    if (result == 0) {
        w->row_width = ctx->mb_width;
        w->picture_mbs = ctx->mb_width * ctx->mb_height;
        w->inline_rows = !w->running || w->picture_mbs < lf_worker_min_mbs;
    }
    pthread_mutex_unlock(&w->mutex);
    return result;
}

// Rows are handed over in batches: an idle worker is woken once LF_BATCH_ROWS rows wait, so
// that threads switch rarely. The producer never
// waits for a free slot with fewer rows waiting than a batch.
static void publish_row(lf_worker *w)
{
    if (w->inline_rows) {
        const lf_record *row = w->ring + static_cast<size_t>(w->write) * w->slot_capacity;
        for (int32_t i = 0; i < w->fill; ++i)
            w->filter(&row[i]);
        w->fill = 0;
        return;
    }
    w->slot_used[w->write] = w->fill;
    w->fill = 0;
    pthread_mutex_lock(&w->mutex);
    w->write = (w->write + 1) % LF_RING_SLOTS;
    if (w->worker_idle && (w->write - w->read + LF_RING_SLOTS) % LF_RING_SLOTS >= LF_BATCH_ROWS)
        pthread_cond_signal(&w->slot_filled);
    pthread_mutex_unlock(&w->mutex);
}

lf_record *lf_worker_next_record(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    if (w->fill >= w->slot_capacity)
        publish_row(w);   // never write past a slot, whatever the caller's row length
    if (w->fill == 0) {
        pthread_mutex_lock(&w->mutex);
        while ((w->write + 1) % LF_RING_SLOTS == w->read) {
            ++w->producer_waits;
            ++w->producer_waiting;
            wake_worker(w);
            pthread_cond_wait(&w->slot_freed, &w->mutex);
            --w->producer_waiting;
        }
        pthread_mutex_unlock(&w->mutex);
    }
    w->row = w->ring + static_cast<size_t>(w->write) * w->slot_capacity;
    return w->row + w->fill++;
}

const lf_qp_table *lf_worker_table(lf_worker *w, int32_t shift, int32_t alpha_offset, int32_t beta_offset)
{
    for (int32_t i = 0; i < w->tables_used; ++i) {
        const lf_qp_table &t = w->tables[i];
        if (t.shift == shift && t.alpha_offset == alpha_offset && t.beta_offset == beta_offset)
            return &t;
    }
    if (w->tables_used == LF_TABLES)
        return nullptr;
    lf_qp_table *t = &w->tables[w->tables_used++];
    lf_qp_table_fill(t, shift, alpha_offset, beta_offset);
    return t;
}

void lf_worker_flush(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    if (w->fill == w->row_width)
        publish_row(w);
}

void lf_worker_wait_idle(decoder_ctx *ctx)
{
    lf_worker *w = &ctx->lf;
    if (w->fill > 0)
        publish_row(w);   // the last, partial row of a picture that ended early
    pthread_mutex_lock(&w->mutex);
    // Rows an idle worker has not taken are filtered here rather than waking it: a waiting
    // thread would only sleep meanwhile.
    while (w->worker_idle && w->read != w->write)
        filter_oldest_row(w);
    wake_worker(w);
    while (w->read != w->write) {
        ++w->idle_waiting;
        pthread_cond_wait(&w->picture_filtered, &w->mutex);
        --w->idle_waiting;
    }
    pthread_mutex_unlock(&w->mutex);
}

void lf_worker_drain(decoder_ctx *ctx)
{
    lf_worker_wait_idle(ctx);
    lf_worker *w = &ctx->lf;
    pthread_mutex_lock(&w->mutex);
    w->fill = w->read = w->write = w->filtered = 0;
    w->picture_mbs = 0;
    pthread_mutex_unlock(&w->mutex);
}
