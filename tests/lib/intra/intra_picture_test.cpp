// Random intra pictures decode to exactly the pictures the independent model reconstructs.
#include <gtest/gtest.h>

#include "intra_fixture.h"
#include "intra_stream.h"

namespace {

using intra_test::StreamConfig;

struct Case {
    const char *name;
    StreamConfig cfg;
};

StreamConfig config(uint32_t w, uint32_t h, uint32_t fmt, int32_t depth)
{
    StreamConfig c;
    c.mb_width = w;
    c.mb_height = h;
    c.chroma_format = fmt;
    c.bit_depth = depth;
    return c;
}

std::vector<Case> cases()
{
    std::vector<Case> out;
    for (int32_t depth : {8, 10})
        for (uint32_t fmt : {0u, 1u, 2u}) {
            StreamConfig c = config(5, 4, fmt, depth);
            c.max_slices = 3;
            out.push_back({"plain", c});
            StreamConfig roi = config(6, 5, fmt, depth);
            roi.rects = {{7, 15}, {20, 28}};   // a 3x2 and a 3x2 rectangle, apart
            roi.max_slices = 3;
            out.push_back({"regions", roi});
            roi.rects_first = true;
            out.push_back({"regions_first", roi});
            // A 4x3 rectangle: its sixth macroblock completes a loop-filter row while its
            // right neighbour, which predicts from it, is still to come.
            StreamConfig handover = config(6, 5, fmt, depth);
            handover.rects = {{1, 16}};
            out.push_back({"region_row_handover", handover});
            StreamConfig svc = config(3, 2, fmt, depth);
            svc.svc = true;
            out.push_back({"two_layers", svc});
        }
    StreamConfig fixed = config(4, 4, 1, 8);
    fixed.fixed_qp = true;
    out.push_back({"fixed_qp", fixed});
    StreamConfig dense = config(3, 3, 1, 8);
    dense.max_coefs = 64;
    out.push_back({"dense_residual", dense});
    StreamConfig roi_svc = config(4, 3, 1, 8);
    roi_svc.svc = true;
    roi_svc.rects = {{5, 6}};
    out.push_back({"regions_two_layers", roi_svc});
    return out;
}

class RandomIntraPictures : public testing::TestWithParam<Case> {};

TEST_P(RandomIntraPictures, DecodeEqualToModel)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        StreamConfig cfg = GetParam().cfg;
        cfg.seed = seed * 7919 + cfg.chroma_format;
        const intra_test::Built built = intra_test::build_stream(cfg);
        ASSERT_FALSE(built.bytes.empty()) << "the writer refused a value";
        const intra_test::Decoded got = intra_test::decode_all(built.bytes);
        ASSERT_EQ(got.result, 0);
        for (int layer = 0; layer < 2; ++layer) {
            ASSERT_EQ(got.pictures[layer].size(), built.expected[layer].size()) << "layer " << layer;
            for (size_t i = 0; i < got.pictures[layer].size(); ++i)
                ASSERT_EQ(intra_test::first_difference(built.expected[layer][i], got.pictures[layer][i]), "")
                    << "seed " << seed << " layer " << layer << " picture " << i;
        }
    }
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    const StreamConfig &c = info.param.cfg;
    const char *const formats[] = {"400", "420", "422"};
    return std::string(info.param.name) + "_" + formats[c.chroma_format] + "_" + std::to_string(c.bit_depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(Configurations, RandomIntraPictures, testing::ValuesIn(cases()), case_name);

TEST(IntraPicture, LowPassWithoutResidualIsFlatMidGrey)
{
    for (int32_t depth : {8, 10}) {
        StreamConfig cfg = config(4, 3, 2, depth);
        cfg.all_dc = true;
        cfg.max_slices = 3;
        const intra_test::Built built = intra_test::build_stream(cfg);
        const intra_test::Decoded got = intra_test::decode_all(built.bytes);
        ASSERT_EQ(got.result, 0);
        ASSERT_EQ(got.pictures[0].size(), 2u);
        for (const auto &pic : got.pictures[0])
            for (int p = 0; p < pic.planes; ++p)
                for (int32_t y = 0; y < pic.height[p]; ++y)
                    for (int32_t x = 0; x < pic.width[p]; ++x)
                        ASSERT_EQ(pic.get(p, x, y), 1 << (depth - 1)) << "plane " << p << " (" << x << ", " << y << ")";
    }
}

TEST(IntraPicture, SameSamplesWithTheSsse3Kernels)
{
    StreamConfig cfg = config(5, 4, 1, 8);
    cfg.max_coefs = 20;
    const intra_test::Built built = intra_test::build_stream(cfg);
    const intra_test::Decoded plain = intra_test::decode_all(built.bytes, 0);
    const intra_test::Decoded simd = intra_test::decode_all(built.bytes, ZQ_SVAC_Dec_GetCPUCaps());
    ZQ_SVAC_Dec_Init(0);
    ASSERT_EQ(plain.pictures[0].size(), simd.pictures[0].size());
    for (size_t i = 0; i < plain.pictures[0].size(); ++i)
        EXPECT_EQ(intra_test::first_difference(plain.pictures[0][i], simd.pictures[0][i]), "");
}

} // namespace
