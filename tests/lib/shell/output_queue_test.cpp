#include <gtest/gtest.h>

#include <vector>

#include "decoder_ctx.h"
#include "output_queue.h"
#include "svacdec.h"

namespace {

class OutputQueue : public testing::Test {
protected:
    void SetUp() override
    {
        ZQ_SVAC_Dec_Init(0);
        handle = ZQ_SVAC_Dec_Open();
        ASSERT_NE(handle, nullptr);
        ctx = static_cast<decoder_ctx *>(handle);
        ctx->chroma_format = 1;
        ctx->bit_depth = 8;
    }
    void TearDown() override { ZQ_SVAC_Dec_Close(handle); }

    // A picture of the layer's pool, queued; the queue holds the only reference.
    frame_buf *queue_picture(int layer = 0, int w = 64, int h = 32)
    {
        frame_buf *pic = frame_pool_get(&ctx->layer[layer].pool, w, h, FRAME_FMT_420);
        EXPECT_EQ(output_queue_append(ctx, pic, layer), 0);
        frame_buf *mine = pic;
        frame_unref(&mine);
        return pic;
    }

    output_frame_rec get()
    {
        output_frame_rec rec{};
        EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle, &rec), 0);
        return rec;
    }

    int32_t release(int32_t id)
    {
        output_frame_rec rec{};
        rec.frame_id = id;
        return ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle, &rec);
    }

    void *handle = nullptr;
    decoder_ctx *ctx = nullptr;
};

TEST_F(OutputQueue, RecordDescribesThePicture)
{
    ctx->chroma_format = 2;
    ctx->bit_depth = 10;
    frame_buf *pic = frame_pool_get(&ctx->layer[1].pool, 352, 288, FRAME_FMT_422_16);
    ASSERT_EQ(output_queue_append(ctx, pic, 1), 0);
    output_frame_rec rec = get();
    EXPECT_EQ(rec.plane[0], pic->plane[0]);
    EXPECT_EQ(rec.plane[2], pic->plane[2]);
    EXPECT_EQ(rec.stride[0], 768);
    EXPECT_EQ(rec.stride[1], 384);
    EXPECT_EQ(rec.width, 352);
    EXPECT_EQ(rec.height, 288);
    EXPECT_EQ(rec.layer, 1);
    EXPECT_EQ(rec.chroma_format, 2);
    EXPECT_EQ(rec.bit_depth, 10);
    EXPECT_EQ(rec.frame_id, 0);
    EXPECT_EQ(pic->refcount, 2) << "queued and still ours";
    frame_unref(&pic);

    frame_buf *gray = frame_pool_get(&ctx->layer[0].pool, 64, 32, FRAME_FMT_400);
    output_queue_append(ctx, gray, 0);
    rec = get();
    EXPECT_EQ(rec.plane[1], nullptr);
    EXPECT_EQ(rec.plane[2], nullptr);
    EXPECT_EQ(rec.stride[1], 0);
    EXPECT_EQ(output_queue_append(ctx, gray, 0), -2) << "a picture is never queued twice";
    frame_unref(&gray);
}

TEST_F(OutputQueue, HeightFixUpsApplyToExactSizesOnly)
{
    struct Case { int w, h, shown; };
    const Case cases[] = {
        {1920, 1088, 1080}, {1280, 736, 720}, {640, 368, 360}, {960, 544, 540},
        {1440, 1088, 1088}, {1920, 1104, 1104}, {368, 640, 640},
    };
    for (const Case &c : cases) {
        frame_buf *pic = frame_pool_get(&ctx->layer[0].pool, c.w, c.h, FRAME_FMT_400);
        ASSERT_EQ(output_queue_append(ctx, pic, 0), 0);
        frame_unref(&pic);
        output_frame_rec rec = get();
        EXPECT_EQ(rec.width, c.w);
        EXPECT_EQ(rec.height, c.shown) << c.w << "x" << c.h;
        EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle, &rec), 0);
    }
}

TEST_F(OutputQueue, IdsRunAcrossLayersAndWrapAt255)
{
    std::vector<int32_t> ids;
    for (int i = 0; i < 300; ++i) {
        queue_picture(i % 2);
        output_frame_rec rec = get();
        ids.push_back(rec.frame_id);
        EXPECT_EQ(rec.layer, i % 2);
        ASSERT_EQ(ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle, &rec), 0);
    }
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(ids[i], i % 255) << i;
    EXPECT_EQ(ctx->queue.count, 0);
}

TEST_F(OutputQueue, GetWaitsForTheNextAppend)
{
    output_frame_rec rec{};
    EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle, &rec), SVAC_ERR_NOFRAME);
    queue_picture();
    EXPECT_EQ(get().frame_id, 0);
    EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_get_output_frame(handle, &rec), SVAC_ERR_NOFRAME);
    queue_picture();
    EXPECT_EQ(get().frame_id, 1) << "the cursor picks up the new tail";
    EXPECT_EQ(ctx->queue.count, 2) << "handing out removes nothing";
}

TEST_F(OutputQueue, OutOfOrderAndRepeatedReleases)
{
    frame_buf *pics[4];
    for (frame_buf *&p : pics)
        p = queue_picture();
    EXPECT_EQ(get().frame_id, 0);
    EXPECT_EQ(get().frame_id, 1);

    EXPECT_EQ(release(2), 0) << "a picture not yet handed out";
    EXPECT_EQ(release(0), 0);
    EXPECT_EQ(ctx->queue.count, 2);
    EXPECT_EQ(get().frame_id, 3) << "the cursor skipped the released picture";

    // A second release of the same id, or an unknown one, changes nothing.
    EXPECT_EQ(release(0), SVAC_ERR_NOFRAME);
    EXPECT_EQ(release(200), SVAC_ERR_NOFRAME);
    EXPECT_EQ(ctx->queue.count, 2);
    EXPECT_EQ(pics[1]->refcount, 1);
    EXPECT_EQ(release(-1), SVAC_ERR_INVALID);
    EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_release_output_frame(handle, nullptr), SVAC_ERR_INVALID);

    EXPECT_EQ(release(3), 0) << "the tail";
    EXPECT_EQ(release(1), 0);
    EXPECT_EQ(ctx->queue.count, 0);
    EXPECT_EQ(ctx->queue.list.head, nullptr);
    EXPECT_EQ(ctx->queue.list.tail, nullptr);
    EXPECT_EQ(release(1), SVAC_ERR_INVALID) << "empty queue";

    // Released pictures went back to the pool.
    int pooled = 0;
    for (frame_buf *b = ctx->layer[0].pool.free_head; b; b = b->free_next)
        ++pooled;
    EXPECT_EQ(pooled, 4);

    queue_picture();
    EXPECT_EQ(get().frame_id, 4) << "appends after a drained queue link afresh";
}

TEST_F(OutputQueue, OverflowDropsTheOldest)
{
    for (int i = 0; i < 255; ++i)
        queue_picture();
    EXPECT_EQ(get().frame_id, 0);
    queue_picture();
    EXPECT_EQ(ctx->queue.count, 255);
    EXPECT_EQ(ctx->queue.list.head->frame_id, 1);
    EXPECT_EQ(ctx->queue.list.tail->frame_id, 0);
    EXPECT_EQ(release(0), 0) << "the new picture, not the dropped one";
    EXPECT_EQ(get().frame_id, 1);
}

TEST_F(OutputQueue, IdOfAPictureStillHeldIsNotReused)
{
    queue_picture();                       // id 0, kept by the host
    for (int i = 1; i < 255; ++i) {
        queue_picture();
        ASSERT_EQ(release(i), 0);
    }
    queue_picture();
    EXPECT_EQ(ctx->queue.list.tail->frame_id, 1);
    EXPECT_EQ(release(0), 0);
    EXPECT_EQ(ctx->queue.count, 1);
    EXPECT_EQ(ctx->queue.list.head->frame_id, 1);
}

struct LastFrameCase {
    const char *name;
    int32_t last_out, poc_ref0, poc_ref1;
    bool has_ref0, has_ref1;
    std::vector<int> expected_refs;   // 0 or 1, in the order they come out
};

class LastFrame : public OutputQueue, public testing::WithParamInterface<LastFrameCase> {};

TEST_P(LastFrame, DrainsRemainingReferencesInOrder)
{
    const LastFrameCase &c = GetParam();
    layer_ctx &l = ctx->layer[0];
    frame_buf *refs[2] = {nullptr, nullptr};
    if (c.has_ref0)
        l.ref0 = refs[0] = frame_pool_get(&l.pool, 32, 32, FRAME_FMT_420);
    if (c.has_ref1)
        l.ref1 = refs[1] = frame_pool_get(&l.pool, 32, 32, FRAME_FMT_420);
    l.poc_last_out = c.last_out;
    l.poc_ref0 = c.poc_ref0;
    l.poc_ref1 = c.poc_ref1;

    std::vector<int> out;
    for (int guard = 0; guard < 4 && ZQ_SVAC_Get_LastFrame(handle, 0) == 1; ++guard) {
        const frame_buf *tail = ctx->queue.list.tail;
        out.push_back(tail == refs[0] ? 0 : 1);
    }
    EXPECT_EQ(out, c.expected_refs);
    EXPECT_EQ(ZQ_SVAC_Get_LastFrame(handle, 0), 0) << "repeated calls end with 0";
    EXPECT_EQ(ZQ_SVAC_Get_LastFrame(handle, 1), 0) << "a layer that never decoded";
}

INSTANTIATE_TEST_SUITE_P(OutputQueue, LastFrame, testing::Values(
    LastFrameCase{"newest_after_b", 6, 8, 4, true, true, {0}},
    LastFrameCase{"both_in_order", 2, 6, 4, true, true, {1, 0}},
    LastFrameCase{"none_left", 8, 8, 6, true, true, {}},
    LastFrameCase{"wraps_past_511", 510, 0, 510, true, true, {0}},
    LastFrameCase{"gap_in_numbering", 2, 10, 6, true, true, {1, 0}},
    LastFrameCase{"first_picture_poc_0", -1, 0, 0, true, false, {0}},
    LastFrameCase{"key_picture_out_last", 0, 0, 6, true, true, {}},
    LastFrameCase{"no_references", -1, 0, 0, false, false, {}}),
    [](const testing::TestParamInfo<LastFrameCase> &info) { return info.param.name; });

// A key picture put its group's last reference out before itself; a B picture decoded after
// the key picture moved the last output back behind that reference's number. It must not come
// out a second time.
TEST_F(OutputQueue, LastFrameLeavesTheGroupBeforeAKeyPictureOut)
{
    layer_ctx &l = ctx->layer[0];
    l.ref0 = frame_pool_get(&l.pool, 32, 32, FRAME_FMT_420);
    l.ref1 = frame_pool_get(&l.pool, 32, 32, FRAME_FMT_420);
    l.poc_ref0 = 0;                  // the key picture, out
    l.poc_ref1 = 8;                  // the group's last P picture, out before it
    l.ref1_out = 1;
    l.poc_last_out = 2;              // a B picture after the key picture
    EXPECT_EQ(ZQ_SVAC_Get_LastFrame(handle, 0), 0);
    EXPECT_EQ(ctx->queue.count, 0);
}

TEST_F(OutputQueue, LastFrameRefusesABadLayer)
{
    EXPECT_EQ(ZQ_SVAC_Get_LastFrame(handle, 2), SVAC_ERR_INVALID);
    EXPECT_EQ(ZQ_SVAC_Get_LastFrame(handle, -1), SVAC_ERR_INVALID);
}

} // namespace
