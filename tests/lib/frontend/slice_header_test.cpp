#include <gtest/gtest.h>

#include "frontend_fixture.h"

namespace {

using namespace svacwriter;
using frontend_test::Bytes;
using frontend_test::Decoder;
using frontend_test::printed;
using frontend_test::slice;

int32_t decode(Decoder &d, const std::vector<NalUnit> &units, int32_t mask = 0, std::string *line = nullptr)
{
    Bytes s = make_stream(units);
    EXPECT_FALSE(s.empty());
    int32_t r = 0;
    const std::string out = printed([&] { r = d.feed(s, mask); });
    if (line)
        *line = out;
    return r;
}

TEST(SliceHeader, LayerMaskChoosesTheLayersOfATwoLayerStream)
{
    Sps sps;
    sps.svc_flag = true;
    Pps pps;
    struct Case { int32_t mask; uint32_t nal_type; int32_t result; };
    const Case cases[] = {
        {0, kNalIdrBase, 0}, {0, kNalIdrEnh, 0}, {3, kNalIdrBase, 0}, {3, kNalIdrEnh, 0},
        {1, kNalIdrBase, 0}, {1, kNalIdrEnh, -2}, {2, kNalIdrBase, -2}, {2, kNalIdrEnh, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mask " << c.mask << " type " << c.nal_type);
        Decoder d;
        EXPECT_EQ(decode(d, {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0), sps, pps, c.nal_type)}, c.mask),
                  c.result);
        if (c.result == 0) {
            ASSERT_EQ(d.outputs.size(), 1u);
            const bool enh = c.nal_type == kNalIdrEnh;
            EXPECT_EQ(d.outputs[0].layer, enh ? 1 : 0);
            EXPECT_EQ(d.outputs[0].width, enh ? 128 : 64);
            EXPECT_EQ(d.outputs[0].height, enh ? 96 : 48);
        }
    }

    Sps single;
    Decoder d;
    EXPECT_EQ(decode(d, {sps_unit(single), pps_unit(pps, single), slice_unit(slice(0), single, pps, kNalIdrEnh)}), -2)
        << "a one-layer stream has no enhancement slices";
}

TEST(SliceHeader, RefusedSlices)
{
    struct Case {
        const char *name;
        Sps sps;
        Pps pps;
        SliceHeader sh;
        int32_t result;
        const char *line;
    };
    auto sh_with = [](auto change) {
        SliceHeader sh = slice(0);
        change(sh);
        return sh;
    };
    Sps sps;
    Pps pps;
    Sps chroma3 = sps;
    chroma3.chroma_format = 3;
    Sps deep = sps;
    deep.bit_depth_luma_minus8 = deep.bit_depth_chroma_minus8 = 4;
    Sps uneven = sps;
    uneven.bit_depth_chroma_minus8 = 2;
    Pps names_missing_sps = pps;
    names_missing_sps.pps_id = 4;
    names_missing_sps.sps_id = 9;
    Pps deep_pps = pps;
    deep_pps.pic_init_qp = 54;   // stored as 26 at 12 bits
    Pps fixed_high = pps;
    fixed_high.fixed_pic_qp = true;
    fixed_high.pic_init_qp = 60;
    const Case cases[] = {
        {"unknown picture parameter set", sps, pps, sh_with([](SliceHeader &s) { s.pps_id = 5; }), -2, ""},
        {"picture parameter set id beyond the table", sps, pps, sh_with([](SliceHeader &s) { s.pps_id = 256; }), -2,
         "svac dcoder error: pps_id(256)\n"},
        {"sequence parameter set never received", sps, names_missing_sps,
         sh_with([](SliceHeader &s) { s.pps_id = 4; }), -2, ""},
        {"first macroblock past the picture", sps, pps, sh_with([](SliceHeader &s) { s.first_mb_in_slice = 12; }), -2, ""},
        {"first macroblock far past the picture", sps, pps,
         sh_with([](SliceHeader &s) { s.first_mb_in_slice = 40000; }), -2, ""},
        {"slice type beyond the types", sps, pps, sh_with([](SliceHeader &s) { s.slice_type = 6; }), -2, ""},
        {"negative QP", sps, pps, sh_with([](SliceHeader &s) { s.slice_qp_delta = -27; }), -2, ""},
        {"QP beyond the tables", sps, pps, sh_with([](SliceHeader &s) { s.slice_qp_delta = 30; }), -2, ""},
        {"fixed QP beyond the tables", sps, fixed_high, slice(0), -2, ""},
        {"chroma format 3", chroma3, pps, slice(0), -2, "error chroma format: 3\n"},
        {"12-bit samples", deep, deep_pps, slice(0), -2, "unsupport bit depth format, luma 12, chroma 12\n"},
        {"unequal bit depths", uneven, pps, slice(0), -2, "unsupport bit depth format, luma 8, chroma 10\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        std::vector<NalUnit> units = {sps_unit(c.sps), pps_unit(c.pps, c.sps),
                                      slice_unit(c.sh, c.sps, c.pps, kNalIdrBase)};
        // Each set on its own: a refused one must not hide the other.
        printed([&] {
            d.decode(make_stream({units[0]}));
            d.decode(make_stream({units[1]}));
        });
        std::string line;
        EXPECT_EQ(decode(d, {units[2]}, 0, &line), c.result);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(d.outputs.empty());
    }
}

TEST(SliceHeader, SliceQp)
{
    struct Case {
        const char *name;
        uint32_t depth_minus8;
        bool fixed;
        uint32_t coded_qp;
        int32_t delta;
        uint32_t first_mb;
        int32_t slice_qp;
    };
    const Case cases[] = {
        {"8-bit delta", 0, false, 26, 3, 0, 29},
        {"fixed picture QP reads no fields", 0, true, 33, 0, 0, 33},
        {"10-bit", 2, false, 40, -2, 0, 38},
        {"10-bit fixed", 2, true, 40, 0, 0, 40},
        {"first macroblock inside a rectangle", 0, false, 26, 1, 5, 21},
        {"first macroblock in the background", 0, false, 26, 1, 4, 27},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sps sps;
        sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = c.depth_minus8;
        sps.roi_flag = true;
        Pps pps;
        pps.pic_init_qp = c.coded_qp;
        pps.fixed_pic_qp = c.fixed;
        pps.pic_init_qp_for_roi = 20;
        pps.rois = {{5, 6}};
        SliceHeader sh = slice(0, kSliceI, c.first_mb);
        sh.slice_qp_delta = c.delta;
        Decoder d;
        EXPECT_EQ(decode(d, {sps_unit(sps), pps_unit(pps, sps), slice_unit(sh, sps, pps, kNalIdrBase)}), 0);
        EXPECT_EQ(d.ctx->slice_qp, c.slice_qp);
        EXPECT_EQ(d.ctx->mb_qp, c.slice_qp);
        EXPECT_EQ(d.ctx->fixed_slice_qp, c.fixed ? 1 : sh.fixed_slice_qp);
    }
}

TEST(SliceHeader, FieldsAndFilterOffsetsThatAreNotCodedKeepTheirValues)
{
    Sps sps;
    sps.frame_only_flag = false;
    Pps pps;
    SliceHeader first = slice(0, kSliceP + 3);
    first.field_pic_flag = true;
    first.bottom_field_flag = true;
    first.single_ref_flag = true;
    first.filter_param_flag = true;
    first.alpha_offset = -3;
    first.beta_offset = 5;
    SliceHeader second = slice(1, kSliceI);
    Decoder d;
    ASSERT_EQ(decode(d, {sps_unit(sps), pps_unit(pps, sps), slice_unit(first, sps, pps, kNalIdrBase)}), 0);
    EXPECT_EQ(d.ctx->slice_type, 0) << "coded 3 means P";
    EXPECT_EQ(d.ctx->pic_structure, 1);
    EXPECT_EQ(d.ctx->single_ref_flag, 1);
    ASSERT_EQ(decode(d, {slice_unit(second, sps, pps, kNalSliceBase)}), 0);
    EXPECT_EQ(d.ctx->pic_structure, -1);
    EXPECT_EQ(d.ctx->single_ref_flag, 1) << "I slices carry none";
    EXPECT_EQ(d.ctx->filter_param_flag, 0);
    EXPECT_EQ(d.ctx->alpha_offset, -3);
    EXPECT_EQ(d.ctx->beta_offset, 5);
    EXPECT_EQ(d.ctx->prev_pic_num, 0);
    EXPECT_EQ(d.ctx->frame_num, 1);
}

TEST(SliceHeader, SlicesOfOnePictureShareItsBuffer)
{
    // One rectangle: an I picture takes a slice for the rectangle and one for the background.
    Sps sps;
    sps.roi_flag = true;
    Pps pps;
    pps.rois = {{5, 6}};
    Decoder d;
    ASSERT_EQ(decode(d, {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0, kSliceI, 5), sps, pps, kNalIdrBase)}), 0);
    const frame_buf *picture = d.ctx->layer[0].cur;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(d.ctx->layer[0].mbs_left, 10);
    EXPECT_TRUE(d.outputs.empty());
    ASSERT_EQ(decode(d, {slice_unit(slice(0, kSliceI, 0), sps, pps, kNalSliceBase)}), 0);
    EXPECT_EQ(d.outputs.size(), 1u);
    EXPECT_EQ(d.ctx->layer[0].ref0, picture) << "the second slice finished the same picture";

    // The same frame_num again after the picture completed starts a new one.
    ASSERT_EQ(decode(d, {slice_unit(slice(0, kSliceI, 5), sps, pps, kNalSliceBase)}), 0);
    EXPECT_NE(d.ctx->layer[0].cur, nullptr);
    EXPECT_EQ(d.ctx->layer[0].mbs_left, 10);
}

TEST(SliceHeader, RectanglesMapToTheEnhancementLayer)
{
    Sps sps;
    sps.svc_flag = sps.roi_flag = true;
    sps.mb_width = 5;
    sps.mb_height = 4;
    const int32_t w = 5;
    Pps pps;
    pps.rois = {{0, w + 1}, {13, 19}};
    Decoder d;
    ASSERT_EQ(decode(d, {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0, kSliceI, 0), sps, pps, kNalIdrEnh)}), 0);
    const pps_record &rec = d.ctx->pps[0];
    EXPECT_EQ(rec.enh_top_left[0], 0);
    EXPECT_EQ(rec.enh_bottom_right[0], 3 * 2 * w + 3);
    // (3, 2)..(4, 3) in the base layer is (6, 4)..(9, 7) above it.
    EXPECT_EQ(rec.enh_top_left[1], 4 * 2 * w + 6);
    EXPECT_EQ(rec.enh_bottom_right[1], 7 * 2 * w + 9);
    EXPECT_EQ(d.ctx->mb_width, 10);
    EXPECT_EQ(d.ctx->mb_total, 80);
    EXPECT_EQ(rec.cur_top_left, rec.enh_top_left);
}

} // namespace
