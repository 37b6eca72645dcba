// Random P pictures decode to exactly the pictures the independent model reconstructs.
#include <gtest/gtest.h>

#include "intra_fixture.h"
#include "inter_stream.h"

namespace {

using inter_test::StreamConfig;

struct Case {
    const char *name;
    StreamConfig cfg;
};

StreamConfig config(uint32_t w, uint32_t h, uint32_t fmt, int32_t depth, bool filter)
{
    StreamConfig c;
    c.mb_width = w;
    c.mb_height = h;
    c.chroma_format = fmt;
    c.bit_depth = depth;
    c.loop_filter = filter;
    return c;
}

std::vector<Case> cases()
{
    std::vector<Case> out;
    for (bool filter : {false, true})
        for (int32_t depth : {8, 10})
            for (uint32_t fmt : {0u, 1u, 2u})
                out.push_back({filter ? "filtered" : "unfiltered", config(4, 3, fmt, depth, filter)});
    StreamConfig slices = config(6, 4, 1, 8, true);
    slices.max_slices = 4;
    out.push_back({"slices", slices});
    StreamConfig fixed = config(3, 3, 1, 8, false);
    fixed.fixed_qp = true;
    out.push_back({"fixed_qp", fixed});
    StreamConfig tiny = config(1, 1, 1, 8, false);   // every vector reaches past an edge
    tiny.far_percent = 40;
    tiny.p_pictures = 5;
    out.push_back({"single_macroblock", tiny});
    StreamConfig edges = config(3, 3, 1, 8, false);   // one-vector macroblocks near the edges
    edges.skip_percent = 60;
    edges.p_pictures = 8;
    out.push_back({"mostly_skipped_edges", edges});
    StreamConfig all_skip = config(3, 2, 1, 8, true);
    all_skip.skip_percent = 100;
    out.push_back({"all_skipped", all_skip});
    StreamConfig no_skip = config(5, 3, 2, 10, true);
    no_skip.skip_percent = 0;
    no_skip.intra_percent = 25;
    out.push_back({"no_skip_many_intra", no_skip});
    return out;
}

void expect_model(const inter_test::Built &built, uint32_t cpu_flags, uint32_t seed)
{
    ASSERT_FALSE(built.bytes.empty()) << "the writer refused a value";
    const intra_test::Decoded got = intra_test::decode_all(built.bytes, cpu_flags);
    ASSERT_EQ(got.result, 0);
    ASSERT_EQ(got.pictures[0].size(), built.expected.size());
    for (size_t i = 0; i < built.expected.size(); ++i)
        ASSERT_EQ(intra_test::first_difference(built.expected[i], got.pictures[0][i]), "")
            << "seed " << seed << " picture " << i;
}

class RandomPPictures : public testing::TestWithParam<Case> {};

TEST_P(RandomPPictures, DecodeEqualToModel)
{
    uint64_t filtered = 0;
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        StreamConfig cfg = GetParam().cfg;
        cfg.seed = seed * 104729 + cfg.chroma_format * 31 + static_cast<uint32_t>(cfg.bit_depth);
        const inter_test::Built built = inter_test::build_stream(cfg);
        expect_model(built, 0, seed);
        filtered += built.filtered_samples;
    }
    // A filtered case that changes no sample would not show the filter's inputs.
    if (GetParam().cfg.loop_filter && GetParam().cfg.skip_percent < 100)
        EXPECT_GT(filtered, 0u);
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    const StreamConfig &c = info.param.cfg;
    const char *const formats[] = {"400", "420", "422"};
    return std::string(info.param.name) + "_" + formats[c.chroma_format] + "_" + std::to_string(c.bit_depth) +
           "bit_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Configurations, RandomPPictures, testing::ValuesIn(cases()), case_name);

// The SSSE3 kernels read beyond the block they predict: vectors along every edge, unpadded
// and padded, must give the same pictures as the portable kernels and the model.
TEST(PPicture, Ssse3KernelsMatchTheModel)
{
    for (uint32_t fmt : {1u, 2u})
        for (int32_t depth : {8, 10}) {
            StreamConfig cfg = config(3, 2, fmt, depth, true);
            cfg.far_percent = 30;
            cfg.p_pictures = 4;
            cfg.seed = 77 + fmt + static_cast<uint32_t>(depth);
            expect_model(inter_test::build_stream(cfg), ZQ_SVAC_Dec_GetCPUCaps(), cfg.seed);
        }
    ZQ_SVAC_Dec_Init(0);
}

// A stream that ends on a key picture after a group of P pictures: each picture comes out once,
// in order, the key picture last.
TEST(PPicture, StreamEndingOnAKeyPictureOutputsEachPictureOnce)
{
    // Unfiltered: the filter offsets of the first stream's last slice would carry over.
    inter_test::Built stream = inter_test::build_stream(config(3, 2, 1, 8, false));
    StreamConfig key_cfg = config(3, 2, 1, 8, false);
    key_cfg.p_pictures = 0;
    key_cfg.seed = 2;
    const inter_test::Built key = inter_test::build_stream(key_cfg);
    ASSERT_FALSE(key.bytes.empty());
    stream.bytes.insert(stream.bytes.end(), key.bytes.begin(), key.bytes.end());
    stream.expected.insert(stream.expected.end(), key.expected.begin(), key.expected.end());
    expect_model(stream, 0, 1);
}

} // namespace
