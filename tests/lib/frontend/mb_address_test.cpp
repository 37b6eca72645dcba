#include <gtest/gtest.h>

#include <map>

#include "frontend_fixture.h"

namespace {

using namespace svacwriter;
using frontend_test::Bytes;
using frontend_test::Decoder;
using frontend_test::Visit;
using frontend_test::slice;

constexpr int32_t L = 1, T = 2, TR = 4, TL = 8;

// Decodes the slices of a 10x10-macroblock picture and records every macroblock they visit.
struct Walk {
    Walk(bool roi, std::vector<RoiRect> rects, bool skip_background, const std::vector<SliceHeader> &slices)
    {
        Sps sps;
        sps.mb_width = sps.mb_height = 10;
        sps.roi_flag = roi;
        Pps pps;
        pps.rois = std::move(rects);
        pps.non_roi_skip_flag = skip_background;
        std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps)};
        bool first = true;
        for (const SliceHeader &sh : slices) {
            units.push_back(slice_unit(sh, sps, pps, first ? kNalIdrBase : kNalSliceBase));
            first = false;
        }
        frontend_test::visit_log = &visits;
        result = d.feed(make_stream(units));
        frontend_test::visit_log = nullptr;
        for (const Visit &v : visits)
            avail[v.addr] = v.avail;
    }
    std::vector<int32_t> order() const
    {
        std::vector<int32_t> a;
        for (const Visit &v : visits)
            a.push_back(v.addr);
        return a;
    }
    Decoder d;
    int32_t result = 0;
    std::vector<Visit> visits;
    std::map<int32_t, int32_t> avail;
};

std::vector<int32_t> range(int32_t from, int32_t to)
{
    std::vector<int32_t> v;
    for (int32_t a = from; a <= to; ++a)
        v.push_back(a);
    return v;
}

std::vector<int32_t> join(std::initializer_list<std::vector<int32_t>> parts)
{
    std::vector<int32_t> v;
    for (const auto &p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

const RoiRect kRect = {12, 35};   // columns 2..5 of rows 1..3

TEST(MacroblockAddressing, WithoutRegionsASliceSeesNothingBeforeItsStart)
{
    Walk w(false, {}, false, {slice(0, kSliceI, 13)});
    ASSERT_EQ(w.result, 0);
    EXPECT_EQ(w.order(), range(13, 99));
    const std::map<int32_t, int32_t> expected = {
        {13, 0}, {14, L}, {20, 0}, {22, L | TR}, {23, L | T | TR}, {24, L | T | TR | TL}, {29, L | T | TL},
    };
    for (auto [addr, mask] : expected)
        EXPECT_EQ(w.avail[addr], mask) << addr;
    EXPECT_TRUE(w.d.outputs.empty());
    EXPECT_EQ(w.d.ctx->layer[0].mbs_left, 13) << "the macroblocks before the slice are missing";
}

TEST(MacroblockAddressing, RectangleAndBackgroundSlicesOfAnIPicture)
{
    Walk w(true, {kRect}, true, {slice(0, kSliceI, 12), slice(0, kSliceI, 0)});
    ASSERT_EQ(w.result, 0);
    const std::vector<int32_t> rect = join({range(12, 15), range(22, 25), range(32, 35)});
    const std::vector<int32_t> background =
        join({range(0, 11), range(16, 21), range(26, 31), range(36, 99)});
    EXPECT_EQ(w.order(), join({rect, background})) << "an I picture codes its background in slices";
    const std::map<int32_t, int32_t> expected = {
        // Rectangle: neighbours inside it only.
        {12, 0}, {13, L}, {22, T | TR}, {23, L | T | TR | TL}, {25, L | T | TL},
        // Background: neighbours of its own slice outside the rectangle only.
        {0, 0}, {16, T | TR | TL}, {26, T | TR}, {36, T | TR}, {42, L | TL}, {46, L | T | TR},
    };
    for (auto [addr, mask] : expected)
        EXPECT_EQ(w.avail[addr], mask) << addr;
    EXPECT_EQ(w.d.outputs.size(), 1u);
}

TEST(MacroblockAddressing, ABackgroundSliceSeesNoNeighbourOutsideItself)
{
    // Background slices starting inside a row and at a row start, after the rectangle: the
    // top-left neighbour of each macroblock in the slice's first row lies before the slice.
    struct Case {
        std::vector<SliceHeader> slices;
        std::map<int32_t, int32_t> expected;
    };
    const Case cases[] = {
        {{slice(0, kSliceI, 12), slice(0, kSliceI, 45)},
         {{45, 0}, {46, L}, {47, L}, {49, L}, {54, L | TR}, {55, L | T | TR}, {56, L | T | TR | TL}}},
        {{slice(0, kSliceI, 12), slice(0, kSliceI, 60)},
         {{60, 0}, {61, L}, {62, L}, {70, T | TR}, {71, L | T | TR | TL}}},
        {{slice(0, kSliceI, 17)},
         {{17, 0}, {18, L}, {19, L}, {20, 0}, {21, L}, {26, TR}, {27, L | T | TR}, {28, L | T | TR | TL}}},
    };
    for (const Case &c : cases) {
        Walk w(true, {kRect}, false, c.slices);
        ASSERT_EQ(w.result, 0);
        for (auto [addr, mask] : c.expected)
            EXPECT_EQ(w.avail[addr], mask)
                << "slice at " << c.slices.back().first_mb_in_slice << ", macroblock " << addr;
    }
}

TEST(MacroblockAddressing, SkippedBackgroundFollowsTheLastRectangleOfAPPicture)
{
    SliceHeader p = slice(1, kSliceP, 12);
    Walk w(true, {kRect}, true, {slice(0, kSliceI, 0), slice(0, kSliceI, 12), p});
    ASSERT_EQ(w.result, 0);
    const std::vector<int32_t> rect = join({range(12, 15), range(22, 25), range(32, 35)});
    const std::vector<int32_t> background =
        join({range(0, 11), range(16, 21), range(26, 31), range(36, 99)});
    const std::vector<int32_t> order = w.order();
    const size_t i_picture = background.size() + rect.size();
    ASSERT_EQ(order.size(), i_picture + rect.size() + background.size());
    EXPECT_EQ(std::vector<int32_t>(order.begin() + static_cast<long>(i_picture), order.end()), join({rect, background}))
        << "one P slice walks the rectangle, then the whole background";
    EXPECT_EQ(w.visits[i_picture + rect.size()].avail, 0);
    EXPECT_EQ(w.visits[i_picture + rect.size() + 1].avail, L);
    EXPECT_EQ(w.d.outputs.size(), 2u);
}

TEST(MacroblockAddressing, WithoutBackgroundSkippingAPSliceEndsWithItsRectangle)
{
    Walk w(true, {kRect}, false, {slice(0, kSliceI, 0), slice(0, kSliceI, 12), slice(1, kSliceP, 12)});
    ASSERT_EQ(w.result, 0);
    const std::vector<int32_t> order = w.order();
    EXPECT_EQ(std::vector<int32_t>(order.end() - 12, order.end()), join({range(12, 15), range(22, 25), range(32, 35)}));
    EXPECT_EQ(w.d.ctx->layer[0].mbs_left, 100 - 12) << "the P picture still lacks its background";
}

TEST(MacroblockAddressing, RegionOfEachMacroblock)
{
    // Overlapping rectangles (the lower index wins), one reaching past the picture, one empty.
    Walk w(true, {{0, 22}, {11, 33}, {95, 259}, {50, 40}}, false, {slice(0, kSliceI, 0)});
    decoder_ctx *ctx = w.d.ctx;
    ASSERT_EQ(ctx->cur_pps, &ctx->pps[0]);
    const std::map<int32_t, int32_t> expected = {
        {0, 0}, {2, 0}, {3, -1}, {11, 0}, {22, 0}, {23, 1}, {33, 1}, {34, -1},
        {50, -1}, {40, -1}, {94, -1}, {95, 2}, {99, 2},
    };
    for (bool map : {true, false}) {
        SCOPED_TRACE(map ? "region map" : "rectangle scan");
        if (!map)
            ctx->layer[0].region_map_pps = nullptr;
        for (auto [addr, region] : expected)
            EXPECT_EQ(roi_region_of_mb(ctx, addr), region) << addr;
    }
}

} // namespace
