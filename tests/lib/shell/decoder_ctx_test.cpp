#include <gtest/gtest.h>

#include "decoder_ctx.h"
#include "mem.h"
#include "svacdec.h"

namespace {

class DecoderContext : public testing::Test {
protected:
    void SetUp() override
    {
        ZQ_SVAC_Dec_Init(0);
        handle = ZQ_SVAC_Dec_Open();
        ASSERT_NE(handle, nullptr);
        ctx = static_cast<decoder_ctx *>(handle);
    }
    void TearDown() override { ZQ_SVAC_Dec_Close(handle); }
    void *handle = nullptr;
    decoder_ctx *ctx = nullptr;
};

TEST_F(DecoderContext, SliceStartPlacesTheFirstMacroblock)
{
    struct Case { int format, bit_depth, chroma_format, first_mb; int luma_step, chroma_rows; };
    const Case cases[] = {
        {FRAME_FMT_420, 8, 1, 0, 1, 8},
        {FRAME_FMT_420, 8, 1, 13, 1, 8},
        {FRAME_FMT_422_16, 10, 2, 13, 2, 16},
        {FRAME_FMT_400, 8, 0, 7, 1, 16},
    };
    ctx->mb_width = 5;
    ctx->mb_height = 4;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " first mb " << c.first_mb);
        layer_ctx &layer = ctx->layer[0];
        frame_unref(&layer.cur);
        layer.cur = frame_pool_get(&layer.pool, 80, 64, c.format);
        ASSERT_NE(layer.cur, nullptr);
        ctx->bit_depth = c.bit_depth;
        ctx->chroma_format = c.chroma_format;
        layer.first_mb = c.first_mb;
        ASSERT_EQ(reset_picture_state(ctx), 0);

        const int s = c.luma_step, l = layer.cur->stride[0], k = layer.cur->stride[1];
        const int x = c.first_mb % 5, y = c.first_mb / 5;
        EXPECT_EQ(layer.first_mb_x, x);
        EXPECT_EQ(layer.first_mb_y, y);
        EXPECT_EQ(layer.luma_stride, l);
        EXPECT_EQ(layer.mb_plane[0], layer.cur->plane[0] + 16 * y * l + 16 * s * x);
        if (c.chroma_format) {
            EXPECT_EQ(layer.mb_plane[1], layer.cur->plane[1] + c.chroma_rows * y * k + 8 * s * x);
            EXPECT_EQ(layer.mb_plane[2], layer.cur->plane[2] + c.chroma_rows * y * k + 8 * s * x);
        } else {
            EXPECT_EQ(layer.mb_plane[1], nullptr);
        }
        const int expected[20] = {
            0, 8 * s, 8 * l, 8 * l + 8 * s,
            0, 4 * s, 4 * l, 4 * l + 4 * s,
            8 * s, 12 * s, 8 * s + 4 * l, 12 * s + 4 * l,
            8 * l, 8 * l + 4 * s, 12 * l, 12 * l + 4 * s,
            8 * l + 8 * s, 8 * l + 12 * s, 12 * l + 8 * s, 12 * l + 12 * s,
        };
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(layer.blk_offset[i], expected[i]) << "block " << i;
    }
}

TEST_F(DecoderContext, LayerBuffersAreAllOrNothing)
{
    ctx->mb_width = 120;
    ctx->mb_height = 68;
    ctx->cur_layer = 0;
    mem_fail_countdown = 5;
    EXPECT_EQ(alloc_layer_buffers(ctx), -1);
    EXPECT_EQ(ctx->layer[0].buf[0], nullptr) << "a failed set does not look allocated";
    ASSERT_EQ(alloc_layer_buffers(ctx), 0);
    for (uint8_t *buf : ctx->layer[0].buf)
        EXPECT_NE(buf, nullptr);
    EXPECT_NE(ctx->buf256, nullptr);
    ctx->layer[0].buf[LB_COLOCATED_MOTION][48 * 120 * 68 - 1] = 1;
    EXPECT_EQ(ctx->enh_buf, nullptr) << "base layer only";
    EXPECT_EQ(ctx->layer[1].buf[0], nullptr);

    ctx->cur_layer = 1;
    ctx->has_enhancement = 1;
    ASSERT_EQ(alloc_layer_buffers(ctx), 0);
    EXPECT_NE(ctx->enh_buf, nullptr);
}

} // namespace
