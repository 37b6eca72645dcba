#include <gtest/gtest.h>

#include "frontend_fixture.h"

namespace {

using namespace svacwriter;
using frontend_test::Bytes;
using frontend_test::Decoder;
using frontend_test::printed;

struct Outcome {
    int32_t result;
    std::string printed;
};

Outcome decode_units(Decoder &d, const std::vector<NalUnit> &units)
{
    Bytes s = make_stream(units);
    EXPECT_FALSE(s.empty());
    Outcome run{};
    run.printed = printed([&] { run.result = d.decode(s); });
    if (run.result == static_cast<int32_t>(s.size()))
        run.result = 0;
    return run;
}

NalUnit truncated(NalUnit unit, size_t bytes)
{
    unit.payload.resize(bytes);
    return unit;
}

TEST(SequenceParameterSet, RefusedAndAcceptedValues)
{
    struct Case {
        const char *name;
        Sps sps;
        int32_t result;
        const char *line;
        bool stored;
    };
    auto with = [](auto change) {
        Sps s;
        s.sps_id = 31;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"highest id", with([](Sps &) {}), 0, "", true},
        {"id beyond the table", with([](Sps &s) { s.sps_id = 32; }), -5, "svac decoder error: sps, sps_id(32)\n", false},
        {"widest picture", with([](Sps &s) { s.mb_width = 512; s.mb_height = 512; }), 0, "", true},
        {"too wide", with([](Sps &s) { s.mb_width = 513; }), -5, "svac decoder error: mb_width(513), mb_height(3)\n", false},
        {"too high", with([](Sps &s) { s.mb_height = 600; }), -5, "svac decoder error: mb_width(4), mb_height(600)\n", false},
        {"one macroblock", with([](Sps &s) { s.mb_width = s.mb_height = 1; }), 0, "", true},
        {"unequal bit depths are stored but refused", with([](Sps &s) { s.bit_depth_chroma_minus8 = 2; }), -5, "", true},
        {"timing and buffer parameters", with([](Sps &s) {
             s.vui_flag = s.timing_info_flag = s.hrd_flag = true;
             s.num_units_in_tick = 1001;
             s.time_scale = 60000;
             s.buffer_params.entries = {{5, 6, true}, {7, 8, false}};
             s.vui_tail_value = 77;
         }), 0, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        const Outcome run = decode_units(d, {sps_unit(c.sps)});
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.printed, c.line);
        const int32_t id = c.sps.sps_id < 32 ? static_cast<int32_t>(c.sps.sps_id) : 0;
        const sps_record &rec = d.ctx->sps[id];
        EXPECT_EQ(rec.valid, c.stored ? 1 : 0);
        if (c.stored) {
            EXPECT_EQ(d.ctx->last_sps_id, id);
            EXPECT_EQ(rec.mb_width, static_cast<int32_t>(c.sps.mb_width));
            EXPECT_EQ(rec.mb_height, static_cast<int32_t>(c.sps.mb_height));
            EXPECT_EQ(rec.bit_depth_chroma_minus8, static_cast<int32_t>(c.sps.bit_depth_chroma_minus8));
            EXPECT_EQ(rec.time_scale, c.sps.vui_flag ? c.sps.time_scale : 0u);
            EXPECT_EQ(rec.vui_tail_value, c.sps.vui_flag ? static_cast<int32_t>(c.sps.vui_tail_value) : 0);
        }
    }
}

TEST(SequenceParameterSet, GeometryChangesNeedANewInstance)
{
    Sps first;
    first.mb_width = 120;
    first.mb_height = 68;
    struct Case { const char *name; Sps next; int32_t result; const char *line; };
    auto with = [&](auto change) {
        Sps s = first;
        s.sps_id = 7;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"new size", with([](Sps &s) { s.mb_width = 80; s.mb_height = 45; }), -5,
         "SVAC parameters change, must reinit. (0 0 120 68) -> (0 0 80 45)\n"},
        {"regions of interest", with([](Sps &s) { s.roi_flag = true; }), -5,
         "SVAC parameters change, must reinit. (0 0 120 68) -> (1 0 120 68)\n"},
        {"second layer", with([](Sps &s) { s.svc_flag = true; }), -5,
         "SVAC parameters change, must reinit. (0 0 120 68) -> (0 1 120 68)\n"},
        {"chroma format and bit depth may change",
         with([](Sps &s) { s.chroma_format = 2; s.bit_depth_luma_minus8 = s.bit_depth_chroma_minus8 = 2; }), 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        ASSERT_EQ(decode_units(d, {sps_unit(first)}).result, 0);
        const Outcome run = decode_units(d, {sps_unit(c.next)});
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.printed, c.line);
        EXPECT_EQ(d.ctx->sps[7].valid, c.result == 0 ? 1 : 0);
        EXPECT_EQ(d.ctx->last_sps_id, c.result == 0 ? 7 : 0);
    }
}

TEST(SequenceParameterSet, DataRunningOut)
{
    Sps sps;
    sps.vui_flag = sps.timing_info_flag = true;
    Decoder with_vui;
    EXPECT_EQ(decode_units(with_vui, {truncated(sps_unit(sps), 7)}).result, -11);
    EXPECT_EQ(with_vui.ctx->sps[0].valid, 0) << "nothing stored";

    // Without timing data the record is stored before the end is noticed.
    Decoder plain;
    NalUnit unit = sps_unit(Sps{});
    unit.payload = {0x42, 0x1E, 0x80};
    EXPECT_EQ(decode_units(plain, {unit}).result, -11);
    EXPECT_EQ(plain.ctx->sps[0].valid, 1);
}

TEST(PictureParameterSet, RefusedAndAcceptedValues)
{
    Sps sps8;
    Sps sps10;
    sps10.sps_id = 31;
    sps10.bit_depth_luma_minus8 = sps10.bit_depth_chroma_minus8 = 2;
    Sps roi;
    roi.sps_id = 2;
    roi.roi_flag = true;
    roi.mb_width = 10;
    roi.mb_height = 10;
    struct Case {
        const char *name;
        Pps pps;
        const Sps *sps;
        int32_t result;
        const char *line;
        int32_t qp, qp_roi, num_roi;
    };
    auto with = [](uint32_t sps_id, auto change) {
        Pps p;
        p.pps_id = 255;
        p.sps_id = sps_id;
        change(p);
        return p;
    };
    const Case cases[] = {
        {"highest id", with(0, [](Pps &) {}), &sps8, 0, "", 26, 0, 0},
        {"id beyond the table", with(0, [](Pps &p) { p.pps_id = 256; }), &sps8, -6,
         "svac decoder error: pps,pps_id(256)\n", 0, 0, 0},
        {"sequence id beyond the table", with(32, [](Pps &) {}), &sps8, -6, "svac decoder error: pps,sps_id(32)\n", 0, 0, 0},
        {"10-bit QP in 7 bits", with(31, [](Pps &p) { p.pic_init_qp = 40; }), &sps10, 0, "", 26, 0, 0},
        {"no rectangles", with(2, [](Pps &p) { p.pic_init_qp = 30; p.pic_init_qp_for_roi = 20; }), &roi, 0, "", 30, 30, 0},
        {"rectangles", with(2, [](Pps &p) {
             p.pic_init_qp_for_roi = 20;
             p.rois = {{12, 35}, {0, 99}};
         }), &roi, 0, "", 26, 20, 2},
        {"as many rectangles as the arrays hold", with(2, [](Pps &p) { p.rois.resize(50); }), &roi, 0, "", 26, 26, 50},
        {"more rectangles than the arrays hold", with(2, [](Pps &p) { p.rois.resize(51); }), &roi, -6,
         "svac decoder error: pps,num_roi(51)\n", 26, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        ASSERT_EQ(decode_units(d, {sps_unit(*c.sps)}).result, 0);
        const Outcome run = decode_units(d, {pps_unit(c.pps, *c.sps)});
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.printed, c.line);
        if (c.pps.pps_id > 255 || c.pps.sps_id > 31) {
            EXPECT_EQ(d.ctx->pps[255].valid, 0);
            continue;
        }
        const pps_record &rec = d.ctx->pps[255];
        EXPECT_EQ(rec.valid, 1);
        EXPECT_EQ(rec.num_roi, c.num_roi);
        if (c.result != 0)
            continue;
        EXPECT_EQ(rec.pic_init_qp, c.qp);
        if (c.sps->roi_flag) {
            EXPECT_EQ(rec.pic_init_qp_for_roi, c.qp_roi);
        }
        for (int32_t i = 0; i < c.num_roi; ++i) {
            EXPECT_EQ(rec.top_left[i], static_cast<int32_t>(c.pps.rois[i].top_left));
            EXPECT_EQ(rec.bottom_right[i], static_cast<int32_t>(c.pps.rois[i].bottom_right));
        }
        EXPECT_EQ(d.ctx->layer[0].roi_regions_left, c.num_roi);
    }
}

TEST(PictureParameterSet, DataRunningOut)
{
    Sps sps;
    Pps pps;
    Decoder d;
    NalUnit unit = pps_unit(pps, sps);
    unit.payload = {0xC0};   // ids 0 and 0, then nothing
    EXPECT_EQ(decode_units(d, {sps_unit(sps), unit}).result, -11);
}

} // namespace
