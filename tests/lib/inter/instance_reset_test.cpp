// An instance reset between streams decodes the next stream as a new instance would: nothing
// of the stream before it (pictures, references, parameter sets, key, queued output) remains.
#include <gtest/gtest.h>

#include "decoder_ctx.h"
#include "intra_fixture.h"
#include "inter_stream.h"

namespace {

using inter_test::StreamConfig;

StreamConfig config(uint32_t w, uint32_t h, uint32_t fmt, int32_t depth, uint32_t seed)
{
    StreamConfig c;
    c.mb_width = w;
    c.mb_height = h;
    c.chroma_format = fmt;
    c.bit_depth = depth;
    c.loop_filter = true;
    c.seed = seed;
    return c;
}

// Decodes stream bytes [0, end) on h, taking output only when take is set.
std::vector<intra_model::Picture> feed(void *h, const std::vector<uint8_t> &stream, size_t end, bool take)
{
    std::vector<intra_model::Picture> out;
    std::vector<uint8_t> ext(1 << 16);
    auto drain = [&] {
        output_frame_rec rec;
        while (take && ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
            intra_model::Picture pic;
            pic.allocate(rec.width, rec.height, static_cast<uint32_t>(rec.chroma_format), rec.bit_depth);
            for (int p = 0; p < pic.planes; ++p)
                for (int32_t y = 0; y < pic.height[p]; ++y)
                    std::memcpy(pic.at(p, 0, y), rec.plane[p] + static_cast<int64_t>(y) * rec.stride[p],
                                static_cast<size_t>(pic.stride[p]));
            out.push_back(std::move(pic));
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
        }
    };
    size_t off = 0;
    while (off < end) {
        decode_input in{stream.data() + off, static_cast<int32_t>(end - off), 0};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, reinterpret_cast<extension_data_record *>(ext.data()));
        drain();
        if (r <= 0)
            break;
        off += static_cast<size_t>(r);
    }
    if (end == stream.size())
        while (ZQ_SVAC_Get_LastFrame(h, 0) == 1)
            drain();
    return out;
}

TEST(InstanceReset, NextStreamDecodesAsOnANewInstance)
{
    struct Case {
        const char *name;
        StreamConfig before, after;
        double cut;    // share of the first stream fed before the reset
    };
    const Case cases[] = {
        {"other layout, cut inside a picture", config(5, 4, 2, 10, 11), config(4, 3, 1, 8, 12), 0.6},
        {"same layout, output left queued", config(4, 3, 1, 8, 13), config(4, 3, 1, 8, 14), 1.0},
        {"wider picture before", config(9, 2, 1, 8, 15), config(3, 5, 0, 8, 16), 0.3},
    };
    for (uint32_t flags : {0u, ZQ_SVAC_Dec_GetCPUCaps()}) {
        ZQ_SVAC_Dec_Init(flags);
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", cpu flags " << flags);
            const inter_test::Built first = inter_test::build_stream(c.before);
            const inter_test::Built second = inter_test::build_stream(c.after);
            ASSERT_FALSE(first.bytes.empty());
            ASSERT_FALSE(second.bytes.empty());

            void *h = ZQ_SVAC_Dec_Open();
            ASSERT_NE(h, nullptr);
            const unsigned char key[16] = {1, 2, 3};
            ZQ_SVAC_Set_Key(h, key, sizeof key);
            feed(h, first.bytes, static_cast<size_t>(c.cut * first.bytes.size()), false);
            decoder_ctx_reset(static_cast<decoder_ctx *>(h));

            auto *ctx = static_cast<decoder_ctx *>(h);
            EXPECT_EQ(ctx->key_len, 0u);
            output_frame_rec rec;
            EXPECT_EQ(ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec), -10) << "output of the stream before";
            EXPECT_EQ(ZQ_SVAC_Get_LastFrame(h, 0), 0) << "a picture of the stream before";

            const std::vector<intra_model::Picture> got = feed(h, second.bytes, second.bytes.size(), true);
            ZQ_SVAC_Dec_Close(h);
            ASSERT_EQ(got.size(), second.expected.size());
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(intra_test::first_difference(second.expected[i], got[i]), "") << "picture " << i;
        }
    }
    ZQ_SVAC_Dec_Init(0);
}

} // namespace
