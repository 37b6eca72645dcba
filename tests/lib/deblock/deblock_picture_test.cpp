// Random intra pictures with the loop filter on decode to exactly the pictures the
// independent model reconstructs and then deblocks.
#include <gtest/gtest.h>

#include <climits>

#include "intra_fixture.h"
#include "intra_stream.h"
#include "lf_worker.h"

namespace {

using intra_test::StreamConfig;

struct Case {
    const char *name;
    StreamConfig cfg;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

StreamConfig config(uint32_t w, uint32_t h, uint32_t fmt, int32_t depth)
{
    StreamConfig c;
    c.mb_width = w;
    c.mb_height = h;
    c.chroma_format = fmt;
    c.bit_depth = depth;
    c.loop_filter = true;
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
            roi.rects = {{7, 15}, {20, 28}};
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
    StreamConfig roi_svc = config(4, 3, 2, 10);
    roi_svc.svc = true;
    roi_svc.rects = {{5, 6}};
    out.push_back({"regions_two_layers", roi_svc});
    // Taller than the worker's ring, so that the decoder waits for free slots there.
    StreamConfig tall = config(2, 9, 1, 8);
    tall.pictures = 3;
    out.push_back({"tall", tall});
    return out;
}

void expect_decoder_equals_model(const StreamConfig &base, uint32_t cpu_flags, uint32_t seeds)
{
    uint64_t filtered = 0;
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        StreamConfig cfg = base;
        cfg.seed = seed * 104729 + cfg.chroma_format;
        ZQ_SVAC_Dec_Init(0);   // the model's kernels
        const intra_test::Built built = intra_test::build_stream(cfg);
        ASSERT_FALSE(built.bytes.empty()) << "the writer refused a value";
        filtered += built.filtered_samples;
        const intra_test::Decoded got = intra_test::decode_all(built.bytes, cpu_flags);
        ASSERT_EQ(got.result, 0);
        for (int layer = 0; layer < 2; ++layer) {
            ASSERT_EQ(got.pictures[layer].size(), built.expected[layer].size()) << "layer " << layer;
            for (size_t i = 0; i < got.pictures[layer].size(); ++i)
                ASSERT_EQ(intra_test::first_difference(built.expected[layer][i], got.pictures[layer][i]), "")
                    << "seed " << seed << " layer " << layer << " picture " << i;
        }
    }
    // Otherwise the comparison would say nothing about the filter.
    EXPECT_GT(filtered, 0u);
}

class FilteredIntraPictures : public testing::TestWithParam<Case> {};

TEST_P(FilteredIntraPictures, DecodeEqualToModel)
{
    expect_decoder_equals_model(GetParam().cfg, 0, 6);
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    const StreamConfig &c = info.param.cfg;
    const char *const formats[] = {"400", "420", "422"};
    return std::string(info.param.name) + "_" + formats[c.chroma_format] + "_" + std::to_string(c.bit_depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(Configurations, FilteredIntraPictures, testing::ValuesIn(cases()), case_name);

// The model filters through the portable kernels; the decoder here through the best the
// processor offers.
TEST(FilteredIntraPicture, SameSamplesWithTheProcessorsKernels)
{
    for (uint32_t fmt : {1u, 2u}) {
        StreamConfig cfg = config(5, 4, fmt, 8);
        cfg.max_coefs = 20;
        expect_decoder_equals_model(cfg, ZQ_SVAC_Dec_GetCPUCaps(), 3);
    }
    ZQ_SVAC_Dec_Init(0);
}

// On the worker thread, rows wait in the ring while later slices start: each row's
// macroblocks keep their own slice's offsets and format, also once the ring comes round.
TEST(FilteredIntraPicture, SameSamplesOnTheWorkerThread)
{
    const int32_t saved = lf_worker_min_mbs;
    lf_worker_min_mbs = 0;
    StreamConfig plain = config(5, 4, 2, 8);
    plain.max_slices = 3;
    StreamConfig beyond_ring = config(2, LF_RING_SLOTS + 5, 1, 8);
    beyond_ring.max_slices = 4;
    beyond_ring.pictures = 2;
    for (const StreamConfig &cfg : {plain, beyond_ring})
        expect_decoder_equals_model(cfg, ZQ_SVAC_Dec_GetCPUCaps(), 3);
    lf_worker_min_mbs = saved;
    ZQ_SVAC_Dec_Init(0);
}

} // namespace
