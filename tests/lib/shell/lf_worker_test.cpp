// The loop-filter ring protocol, driven through the worker's filter hook.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "decoder_ctx.h"
#include "lf_worker.h"
#include "mem.h"
#include "svacdec.h"

namespace {

// What the stand-in filter saw, and a gate that can hold it at a given record.
struct FilterLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> seen;           // mb_y * 1000 + mb_x of each filtered record
    std::vector<std::thread::id> by; // the thread that filtered it
    int hold_at = -1;                // index in seen before which the filter waits
    bool waiting = false;

    void record(const lf_record *rec)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (static_cast<int>(seen.size()) == hold_at) {
            waiting = true;
            changed.notify_all();
            changed.wait(lock, [this] { return hold_at < 0; });
            waiting = false;
        }
        if (rec->luma)
            rec->luma[0] = static_cast<uint8_t>(rec->mb_x);   // touches the picture
        seen.push_back(rec->mb_y * 1000 + rec->mb_x);
        by.push_back(std::this_thread::get_id());
        changed.notify_all();
    }
    void wait_until_held()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return waiting; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        hold_at = -1;
        changed.notify_all();
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    }
};

FilterLog *log_in_use = nullptr;
void logging_filter(const lf_record *rec) { log_in_use->record(rec); }

class LoopFilterWorker : public testing::Test {
protected:
    void SetUp() override
    {
        ZQ_SVAC_Dec_Init(0);
        saved_min_mbs = lf_worker_min_mbs;
        lf_worker_min_mbs = min_mbs();
        handle = ZQ_SVAC_Dec_Open();
        ASSERT_NE(handle, nullptr);
        ctx = static_cast<decoder_ctx *>(handle);
        log_in_use = &log;
        ctx->lf.filter = logging_filter;
    }
    void TearDown() override
    {
        log.release();
        ZQ_SVAC_Dec_Close(handle);
        log_in_use = nullptr;
        lf_worker_min_mbs = saved_min_mbs;
    }
    // Pictures that go to the worker thread: every one here.
    virtual int32_t min_mbs() const { return 0; }

    void start_picture(int mb_width, int mb_height)
    {
        ctx->mb_width = mb_width;
        ctx->mb_height = mb_height;
        ASSERT_EQ(lf_worker_reset(ctx), 0);
    }

    // Decodes macroblocks the way the macroblock layer does: take a record, fill, flush.
    void produce(int first, int count, uint8_t *plane = nullptr)
    {
        for (int a = first; a < first + count; ++a) {
            lf_record *rec = lf_worker_next_record(ctx);
            *rec = lf_record{};
            rec->mb_x = a % ctx->mb_width;
            rec->mb_y = a / ctx->mb_width;
            rec->luma = plane ? plane + 16 * a : nullptr;
            lf_worker_flush(ctx);
        }
    }

    std::vector<int> expected(int mb_width, int count)
    {
        std::vector<int> v;
        for (int a = 0; a < count; ++a)
            v.push_back(a / mb_width * 1000 + a % mb_width);
        return v;
    }

    bool worker_idle()
    {
        pthread_mutex_lock(&ctx->lf.mutex);
        const bool idle = ctx->lf.worker_idle != 0;
        pthread_mutex_unlock(&ctx->lf.mutex);
        return idle;
    }

    int producer_waits()
    {
        pthread_mutex_lock(&ctx->lf.mutex);
        int n = ctx->lf.producer_waits;
        pthread_mutex_unlock(&ctx->lf.mutex);
        return n;
    }

    FilterLog log;
    void *handle = nullptr;
    decoder_ctx *ctx = nullptr;
    int32_t saved_min_mbs = 0;
};

// Pictures of fewer than 10 macroblocks are filtered inline.
class InlineLoopFilter : public LoopFilterWorker {
protected:
    int32_t min_mbs() const override { return 10; }
};

TEST_F(InlineLoopFilter, SmallPicturesAreFilteredRowByRowOnTheDecodingThreadLargeOnesByTheWorker)
{
    // 3x3: each row is filtered when it is complete, before the next one starts.
    start_picture(3, 3);
    EXPECT_EQ(ctx->lf.inline_rows, 1);
    produce(0, 3);
    EXPECT_EQ(log.seen, expected(3, 3));
    produce(3, 5);
    EXPECT_EQ(log.seen, expected(3, 6)) << "a row that is not complete waits";
    produce(8, 1);
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(3, 9));
    for (std::thread::id id : log.by)
        ASSERT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(producer_waits(), 0);

    // 4x3: the worker's.
    log.seen.clear();
    log.by.clear();
    start_picture(4, 3);
    EXPECT_EQ(ctx->lf.inline_rows, 0);
    produce(0, 4);
    EXPECT_TRUE(log.seen.size() < 4u || log.by[0] != std::this_thread::get_id()) << "published, not filtered inline";
    produce(4, 8);
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(4, 12));
}

TEST(InlineLoopFilterInstance, AnInstanceThatFiltersEveryPictureInlineStartsNoThread)
{
    ZQ_SVAC_Dec_Init(0);
    const int32_t saved = lf_worker_min_mbs;
    lf_worker_min_mbs = INT32_MAX;
    void *h = ZQ_SVAC_Dec_Open();
    lf_worker_min_mbs = saved;
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(static_cast<decoder_ctx *>(h)->lf.running, 0);
    ZQ_SVAC_Dec_Close(h);
}

TEST_F(LoopFilterWorker, OneRowPictureIsFilteredBeforeIdle)
{
    start_picture(5, 1);
    produce(0, 5);
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(5, 5));
}

TEST_F(LoopFilterWorker, RowsAreFilteredInPictureOrder)
{
    struct Case { int w, h; };
    for (Case c : {Case{1, 9}, Case{3, 4}, Case{11, 7}}) {
        log.seen.clear();
        start_picture(c.w, c.h);
        produce(0, c.w * c.h);
        lf_worker_wait_idle(ctx);
        EXPECT_EQ(log.seen, expected(c.w, c.w * c.h)) << c.w << "x" << c.h;
    }
}

TEST_F(LoopFilterWorker, AWaitingThreadFiltersWhatTheSleepingWorkerLeft)
{
    // Fewer rows than a batch never wake the worker: the thread that waits for the picture
    // filters them itself, in order, instead of sleeping while the worker wakes.
    start_picture(4, LF_BATCH_ROWS - 1);
    while (!worker_idle())           // the new worker has gone to sleep
        std::this_thread::yield();
    produce(0, 4 * (LF_BATCH_ROWS - 1));
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(4, 4 * (LF_BATCH_ROWS - 1)));
    for (std::thread::id id : log.by)
        ASSERT_EQ(id, std::this_thread::get_id());
}

TEST_F(LoopFilterWorker, ProducerBlocksWhenTheRingIsFull)
{
    const int waiting = LF_RING_SLOTS - 1;
    start_picture(2, LF_RING_SLOTS);
    log.hold_at = 0;                 // the worker holds on the first record of row 1
    produce(0, 2 * waiting);         // every slot but the one being filled published
    log.wait_until_held();
    EXPECT_EQ(producer_waits(), 0);

    std::thread producer([&] { produce(2 * waiting, 2); });
    while (producer_waits() == 0)
        std::this_thread::yield();
    EXPECT_EQ(log.count(), 0u) << "the last row cannot start before row 1 is filtered";
    log.release();
    producer.join();
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(2, 2 * LF_RING_SLOTS));
}

TEST_F(LoopFilterWorker, PictureThatEndsEarlyDoesNotHang)
{
    start_picture(3, 4);
    log.hold_at = 0;
    produce(0, 4);                   // one full row and one macroblock of the next
    std::thread waiter([&] { lf_worker_wait_idle(ctx); });
    log.wait_until_held();
    log.release();
    waiter.join();
    EXPECT_EQ(log.seen, expected(3, 4)) << "the partial row is filtered too";

    // The next picture starts from an empty ring.
    log.seen.clear();
    start_picture(3, 1);
    produce(0, 3);
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.seen, expected(3, 3));
}

TEST_F(LoopFilterWorker, ResetWaitsForPublishedRows)
{
    start_picture(4, 4);
    log.hold_at = 1;
    produce(0, 8);                   // two rows: fewer than a batch, the reset hands them over
    std::thread reset([&] { start_picture(4, 2); });
    log.wait_until_held();
    log.release();
    reset.join();
    EXPECT_EQ(log.count(), 8u) << "rows published before the reset were filtered";
}

TEST_F(LoopFilterWorker, RowsWiderThan1920SamplesFitTheRing)
{
    const int widths[] = {121, 256, 512};
    for (int w : widths) {
        log.seen.clear();
        start_picture(w, 5);
        EXPECT_GE(ctx->lf.slot_capacity, w);
        produce(0, w * 5);
        lf_worker_wait_idle(ctx);
        ASSERT_EQ(log.seen, expected(w, w * 5)) << w;
    }
}

TEST_F(LoopFilterWorker, CloseMidPictureFiltersPublishedRowsBeforePicturesGo)
{
    layer_ctx &layer = ctx->layer[0];
    layer.cur = frame_pool_get(&layer.pool, 64, 64, FRAME_FMT_420);
    ASSERT_NE(layer.cur, nullptr);
    start_picture(4, 4);
    log.hold_at = 0;
    produce(0, 10, layer.cur->plane[0]);   // two rows published, a third begun

    std::thread closer([&] { ZQ_SVAC_Dec_Close(handle); });
    log.wait_until_held();
    log.release();
    closer.join();
    handle = nullptr;
    EXPECT_EQ(log.seen, expected(4, 8));
}

TEST_F(LoopFilterWorker, FailedRingGrowthIsReported)
{
    ctx->mb_width = 300;
    ctx->mb_height = 2;
    mem_fail_countdown = 0;
    EXPECT_EQ(lf_worker_reset(ctx), -1);
    EXPECT_EQ(ctx->lf.slot_capacity, LF_DEFAULT_ROW);
    start_picture(300, 2);
    produce(0, 600);
    lf_worker_wait_idle(ctx);
    EXPECT_EQ(log.count(), 600u);
}

} // namespace
