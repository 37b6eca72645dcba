// Parameter sets and slice headers read back field by field in bitstream order.
#include <gtest/gtest.h>

#include "svacwriter/svac_writer.h"
#include "test_reader.h"

using namespace svacwriter;
using writer_test::BitReader;
using writer_test::ParsedUnit;
using writer_test::split_units;
using Bytes = std::vector<uint8_t>;

namespace {

// The single unit of a one-unit stream, checked for type.
ParsedUnit only_unit(const NalUnit& unit, uint32_t type)
{
    EXPECT_TRUE(unit.error.empty()) << unit.error;
    const auto units = split_units(make_stream({unit}));
    EXPECT_EQ(units.size(), 1u);
    if (units.size() != 1)
        return {};
    EXPECT_EQ(units[0].nal_type, type);
    return units[0];
}

void expect_sps(const NalUnit& unit, const Sps& s)
{
    const ParsedUnit pu = only_unit(unit, kNalSps);
    BitReader r(pu.payload, pu.bit_length);
    EXPECT_EQ(r.u(8), s.profile);
    EXPECT_EQ(r.u(8), s.level_idc);
    EXPECT_EQ(r.ue(), s.sps_id);
    EXPECT_EQ(r.u(2), s.chroma_format);
    EXPECT_EQ(r.ue(), s.bit_depth_luma_minus8);
    EXPECT_EQ(r.ue(), s.bit_depth_chroma_minus8);
    EXPECT_EQ(r.ue() + 1, s.mb_width);
    EXPECT_EQ(r.ue() + 1, s.mb_height);
    EXPECT_EQ(r.flag(), s.frame_only_flag);
    EXPECT_EQ(r.flag(), s.roi_flag);
    EXPECT_EQ(r.flag(), s.svc_flag);
    ASSERT_EQ(r.flag(), s.vui_flag);
    if (s.vui_flag) {
        ASSERT_EQ(r.flag(), s.timing_info_flag);
        if (s.timing_info_flag) {
            const uint64_t tick_hi = r.u(16);
            EXPECT_EQ((tick_hi << 16) | r.u(16), s.num_units_in_tick);
            const uint64_t scale_hi = r.u(16);
            EXPECT_EQ((scale_hi << 16) | r.u(16), s.time_scale);
            EXPECT_EQ(r.flag(), s.fixed_frame_rate_flag);
        }
        ASSERT_EQ(r.flag(), s.hrd_flag);
        if (s.hrd_flag) {
            const BufferParams& bp = s.buffer_params;
            const uint64_t n = r.ue() + 1;
            ASSERT_EQ(n, bp.entries.size());
            EXPECT_EQ(r.u(4), bp.scale_a);
            EXPECT_EQ(r.u(4), bp.scale_b);
            for (const BufferParamEntry& e : bp.entries) {
                EXPECT_EQ(r.ue(), e.value_a);
                EXPECT_EQ(r.ue(), e.value_b);
                EXPECT_EQ(r.flag(), e.flag);
            }
            for (uint32_t length : bp.lengths)
                EXPECT_EQ(r.u(5), length);
        }
        EXPECT_EQ(r.ue(), s.vui_tail_value);
    }
    EXPECT_EQ(r.pos(), r.length()) << "every bit in front of the stop bit read";
    EXPECT_FALSE(r.overrun());
}

void expect_pps(const NalUnit& unit, const Pps& p, const Sps& s, size_t rects_written)
{
    const ParsedUnit pu = only_unit(unit, kNalPps);
    BitReader r(pu.payload, pu.bit_length);
    const int qp_bits = s.bit_depth_luma_minus8 == 0 ? 6 : 7;
    EXPECT_EQ(r.ue(), p.pps_id);
    EXPECT_EQ(r.ue(), p.sps_id);
    EXPECT_EQ(r.flag(), p.aec_flag);
    EXPECT_EQ(r.u(qp_bits), p.pic_init_qp);
    if (s.roi_flag) {
        const uint64_t num_roi = r.ue();
        EXPECT_EQ(num_roi, p.num_roi ? *p.num_roi : p.rois.size());
        if (num_roi >= 1) {
            EXPECT_EQ(r.flag(), p.non_roi_skip_flag);
            if (!p.non_roi_skip_flag && s.svc_flag) {
                EXPECT_EQ(r.flag(), p.roi_layer_flag);
            }
            EXPECT_EQ(r.u(qp_bits), p.pic_init_qp_for_roi);
            for (size_t i = 0; i < rects_written; ++i) {
                EXPECT_EQ(r.ue(), p.rois[i].top_left);
                EXPECT_EQ(r.ue(), p.rois[i].bottom_right);
            }
        }
    }
    EXPECT_EQ(r.flag(), p.fixed_pic_qp);
    EXPECT_EQ(r.flag(), p.weighting_pred_flag);
    EXPECT_EQ(r.flag(), p.loop_filter_disable_flag);
    EXPECT_EQ(r.pos(), r.length());
    EXPECT_FALSE(r.overrun());
}

} // namespace

TEST(SpsWriter, ReadsBackInOrder)
{
    std::vector<Sps> cases(5);
    cases[1].sps_id = 31;
    cases[1].mb_width = 512;
    cases[1].mb_height = 1;
    cases[1].roi_flag = true;
    cases[1].svc_flag = true;
    cases[1].frame_only_flag = false;
    cases[2].profile = 0xFF;
    cases[2].level_idc = 0x40;
    cases[2].chroma_format = 2;
    cases[2].bit_depth_luma_minus8 = 2;
    cases[2].bit_depth_chroma_minus8 = 2;
    cases[2].vui_flag = true;
    cases[2].vui_tail_value = 300;
    cases[3] = cases[2];
    cases[3].timing_info_flag = true;
    cases[3].num_units_in_tick = 0x12345678;
    cases[3].time_scale = 0xFFFF0001;
    cases[3].fixed_frame_rate_flag = true;
    cases[3].hrd_flag = true;
    cases[3].buffer_params.scale_a = 15;
    cases[3].buffer_params.scale_b = 3;
    cases[3].buffer_params.entries = {{100, 7, true}, {0, 65536, false}, {5, 5, true}};
    cases[3].buffer_params.lengths[1] = 31;
    cases[4].chroma_format = 0;
    cases[4].bit_depth_luma_minus8 = 2;  // unequal depths are written as given
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        expect_sps(sps_unit(cases[i]), cases[i]);
    }
}

TEST(SpsWriter, EdgeGeometryAndBadFields)
{
    Sps s;
    s.mb_width = 1;  // coded 0
    s.mb_height = 513;
    expect_sps(sps_unit(s), s);

    Sps bad;
    bad.chroma_format = 4;
    EXPECT_FALSE(sps_unit(bad).error.empty());
    bad = Sps{};
    bad.vui_flag = bad.hrd_flag = true;
    bad.buffer_params.scale_a = 16;
    EXPECT_FALSE(sps_unit(bad).error.empty());
}

TEST(PpsWriter, ReadsBackUnderItsSequence)
{
    struct Case {
        Sps sps;
        Pps pps;
        size_t rects_written;
    };
    std::vector<Case> cases;
    {
        Case c{};  // plain: no region block at all
        c.pps.pps_id = 255;
        c.pps.sps_id = 31;
        c.pps.aec_flag = true;
        c.pps.pic_init_qp = 63;
        c.pps.fixed_pic_qp = true;
        c.pps.loop_filter_disable_flag = true;
        cases.push_back(c);
    }
    {
        Case c{};  // 10-bit: QPs take 7 bits
        c.sps.bit_depth_luma_minus8 = c.sps.bit_depth_chroma_minus8 = 2;
        c.sps.roi_flag = true;
        c.pps.pic_init_qp = 127;
        c.pps.pic_init_qp_for_roi = 40;
        c.pps.rois = {{0, 5}, {11, 11}};
        c.pps.non_roi_skip_flag = true;
        c.pps.weighting_pred_flag = true;
        c.rects_written = 2;
        cases.push_back(c);
    }
    {
        Case c{};  // two layers without skipping: roi_layer_flag is coded
        c.sps.roi_flag = c.sps.svc_flag = true;
        c.pps.rois = {{1, 6}};
        c.pps.roi_layer_flag = true;
        c.rects_written = 1;
        cases.push_back(c);
    }
    {
        Case c{};  // two layers with skipping: roi_layer_flag is not coded
        c.sps.roi_flag = c.sps.svc_flag = true;
        c.pps.rois = {{1, 6}};
        c.pps.non_roi_skip_flag = true;
        c.pps.roi_layer_flag = true;
        c.rects_written = 1;
        cases.push_back(c);
    }
    {
        Case c{};  // region flag with no rectangles: only the count
        c.sps.roi_flag = true;
        c.pps.non_roi_skip_flag = true;
        cases.push_back(c);
    }
    {
        Case c{};  // a count beyond the rectangles given
        c.sps.roi_flag = true;
        c.pps.rois = {{2, 3}};
        c.pps.num_roi = 1000;
        c.rects_written = 1;
        cases.push_back(c);
    }
    {
        Case c{};  // a count of 0 hides the rectangles
        c.sps.roi_flag = true;
        c.pps.rois = {{2, 3}};
        c.pps.num_roi = 0;
        cases.push_back(c);
    }
    {
        Case c{};  // rectangles without the region flag are not written
        c.pps.rois = {{2, 3}};
        cases.push_back(c);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        expect_pps(pps_unit(cases[i].pps, cases[i].sps), cases[i].pps, cases[i].sps,
                   cases[i].rects_written);
    }

    Pps too_big;
    too_big.pic_init_qp = 64;
    EXPECT_FALSE(pps_unit(too_big, Sps{}).error.empty()) << "u(6) at 8 bits";
    Sps ten_bit;
    ten_bit.bit_depth_luma_minus8 = 2;
    EXPECT_TRUE(pps_unit(too_big, ten_bit).error.empty()) << "u(7) at 10 bits";
}

TEST(SliceHeaderWriter, ReadsBackUnderItsParameterSets)
{
    struct Case {
        const char* name;
        uint32_t nal_type;
        bool frame_only, fixed_pic_qp, filter_off;
        SliceHeader sh;
    };
    auto header = [](uint32_t type, uint32_t first, uint32_t frame_num) {
        SliceHeader sh;
        sh.slice_type = type;
        sh.first_mb_in_slice = first;
        sh.frame_num = frame_num;
        return sh;
    };
    std::vector<Case> cases = {
        {"idr I", kNalIdrBase, true, false, false, header(kSliceI, 0, 0)},
        {"P", kNalSliceBase, true, false, false, header(kSliceP, 7, 255)},
        {"B frame", kNalSliceBase, true, false, false, header(kSliceB, 3, 4)},
        {"B field", kNalSliceEnh, false, false, false, header(kSliceB, 0, 9)},
        {"P bottom field", kNalIdrEnh, false, false, false, header(kSliceP, 1, 2)},
        {"I coded 5", kNalSliceBase, true, false, false, header(5, 0, 1)},
        {"P coded 3", kNalSliceBase, true, false, false, header(3, 0, 1)},
        {"fixed pic qp", kNalSliceBase, true, true, false, header(kSliceP, 0, 1)},
        {"filter off", kNalSliceBase, true, false, true, header(kSliceI, 0, 1)},
        {"filter params", kNalIdrBase, true, false, false, header(kSliceI, 0, 1)},
    };
    cases[0].sh.idr_pic_id = 70000;
    cases[0].sh.slice_qp_delta = -26;
    cases[1].sh.single_ref_flag = true;
    cases[1].sh.fixed_slice_qp = false;
    cases[1].sh.slice_qp_delta = 25;
    cases[3].sh.field_pic_flag = true;
    cases[3].sh.single_ref_flag = true;
    cases[4].sh.field_pic_flag = true;
    cases[4].sh.bottom_field_flag = true;
    cases[4].sh.idr_pic_id = 3;
    cases[9].sh.filter_param_flag = true;
    cases[9].sh.alpha_offset = -8;
    cases[9].sh.beta_offset = 6;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sps sps;
        sps.frame_only_flag = c.frame_only;
        Pps pps;
        pps.fixed_pic_qp = c.fixed_pic_qp;
        pps.loop_filter_disable_flag = c.filter_off;
        const ParsedUnit pu = only_unit(slice_unit(c.sh, sps, pps, c.nal_type), c.nal_type);
        BitReader r(pu.payload, pu.bit_length);
        const SliceHeader& sh = c.sh;
        EXPECT_EQ(r.ue(), sh.pps_id);
        EXPECT_EQ(r.u(8), sh.frame_num);
        if (c.nal_type == kNalIdrBase || c.nal_type == kNalIdrEnh) {
            EXPECT_EQ(r.ue(), sh.idr_pic_id);
        }
        bool field = false;
        if (!c.frame_only) {
            field = r.flag();
            EXPECT_EQ(field, sh.field_pic_flag);
            if (field) {
                EXPECT_EQ(r.flag(), sh.bottom_field_flag);
            }
        }
        EXPECT_EQ(r.ue(), sh.first_mb_in_slice);
        uint64_t type = r.ue();
        EXPECT_EQ(type, sh.slice_type);
        type = type > 2 ? type - 3 : type;
        if (type == kSliceP || (type == kSliceB && field)) {
            EXPECT_EQ(r.flag(), sh.single_ref_flag);
        }
        if (!c.fixed_pic_qp) {
            EXPECT_EQ(r.flag(), sh.fixed_slice_qp);
            EXPECT_EQ(r.se(), sh.slice_qp_delta);
        }
        if (!c.filter_off) {
            const bool params = r.flag();
            EXPECT_EQ(params, sh.filter_param_flag);
            if (params) {
                EXPECT_EQ(r.se(), sh.alpha_offset);
                EXPECT_EQ(r.se(), sh.beta_offset);
            }
        }
        EXPECT_EQ(r.pos(), r.length());
        EXPECT_FALSE(r.overrun());
    }
}

TEST(SliceHeaderWriter, SliceDataFollowsTheHeaderBeforeTheTrailingBits)
{
    Sps sps;
    Pps pps;
    SliceHeader sh;
    BitWriter w;
    ASSERT_TRUE(write_slice_header(w, sh, sps, pps, kNalIdrBase));
    const uint64_t header_bits = w.bit_count();
    w.align_zero();
    const uint8_t data[] = {0x00, 0x00, 0x00, 0x01, 0x7E};  // needs escaping
    w.put_bytes(data, sizeof data);
    const NalUnit unit = finish_unit(nal_header(kNalIdrBase), w, StartCode::kThreeByte);

    const Bytes stream = make_stream({sps_unit(sps), pps_unit(pps, sps), unit, sps_unit(sps)});
    const auto units = split_units(stream);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[0].nal_type, kNalSps);
    EXPECT_EQ(units[1].nal_type, kNalPps);
    EXPECT_EQ(units[2].nal_type, kNalIdrBase);
    EXPECT_EQ(units[3].nal_type, kNalSps);
    const size_t data_at = static_cast<size_t>((header_bits + 7) / 8);
    ASSERT_EQ(units[2].payload.size(), data_at + sizeof data + 1);
    EXPECT_TRUE(std::equal(data, data + sizeof data, units[2].payload.begin() + static_cast<long>(data_at)));
    EXPECT_EQ(units[2].payload.back(), 0x80);
    EXPECT_EQ(units[3].payload, units[0].payload);
}
