// A sequence parameter set that changes the sample format (chroma format, bit depth) while the
// geometry stays: a slice that continues the picture begun under the old format is refused, the
// next picture takes the new one, and every output record describes its own picture's samples.
// An enhancement layer of another format than its base does not predict from the base picture.
// The pictures are mid-grey throughout (DC prediction from missing neighbours, no residual), so
// each visible sample is checked against the record's bit depth.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "svacdec.h"
#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/mb_writer.h"
#include "svacwriter/svac_writer.h"

namespace {

using namespace svacwriter;

struct Format {
    uint32_t chroma_format;
    int32_t bit_depth;
};

Sps sps_of(Format f)
{
    Sps sps;
    sps.mb_width = 3;
    sps.mb_height = 2;
    sps.chroma_format = f.chroma_format;
    sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = static_cast<uint32_t>(f.bit_depth - 8);
    return sps;
}

// Macroblocks [first, end) of one slice: intra without residual in I slices (predicted from the
// base picture in the enhancement layer), P_16X16 vectors reaching far outside the reference in
// P slices.
NalUnit slice_of(const Sps &sps, uint32_t nal, uint32_t frame_num, uint32_t type, uint32_t first, uint32_t end,
                 const Pps &pps = Pps{})
{
    const bool enhancement = nal == kNalIdrEnh || nal == kNalSliceEnh;
    const uint32_t mb_width = sps.mb_width << enhancement, mb_height = sps.mb_height << enhancement;
    BitWriter w;
    SliceHeader sh;
    sh.pps_id = pps.pps_id;
    sh.frame_num = frame_num;
    sh.slice_type = type;
    sh.first_mb_in_slice = first;
    sh.single_ref_flag = true;
    write_slice_header(w, sh, sps, pps, nal);
    MbLayerParams ip;
    ip.chroma_format = sps.chroma_format;
    ip.enhancement = enhancement;
    PLayerParams pp;
    pp.chroma_format = sps.chroma_format;
    pp.single_ref = true;
    IntraModeMap map(mb_width, mb_height);
    for (uint32_t a = first; a < end; ++a) {
        const uint32_t x = a % mb_width, y = a / mb_width;
        const bool left = x > 0 && a > first, top = y > 0 && a >= first + mb_width;
        if (type == kSliceI) {
            IntraMb mb;
            mb.base_pred_flag = enhancement;
            for (int i = 0; i < 4; ++i)
                mb.luma_modes[i] = map.predict(x, y, left, top, mb.kind, mb.luma_modes, i);
            write_intra_mb(w, mb, ip, map, x, y, left, top);
        } else {
            write_skip_run(w, 0);
            PMb mb;
            mb.mvd[0][0] = a % 2 ? 300 : -300;
            mb.mvd[0][1] = a % 3 ? -200 : 200;
            write_p_mb(w, mb, pp);
        }
    }
    return finish_unit(nal_header(nal), w);
}

struct Case {
    const char *name;
    Format before, after;
    // Units in stream order: "I<n>" an I picture (IDR) and "P<n>" a P picture of frame number n,
    // "<" or ">" after one its first or second half alone; "|" the new format's parameter sets.
    const char *units;
    int failed_units;
    const char *outputs;   // per picture output, 'o' old format, 'n' new
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.units; }

struct Outcome {
    int failed_units = 0;
    std::vector<std::pair<int32_t, int32_t>> formats;   // chroma format, bit depth per picture
    std::vector<std::string> faults;
};

// Checks that every visible sample the record describes is mid-grey.
void check_picture(const output_frame_rec &rec, Outcome &out)
{
    out.formats.emplace_back(rec.chroma_format, rec.bit_depth);
    const int32_t grey = 1 << (rec.bit_depth - 1);
    const int planes = rec.chroma_format == 0 ? 1 : 3;
    for (int p = 0; p < planes; ++p) {
        const int32_t w = p ? rec.width / 2 : rec.width;
        const int32_t h = p && rec.chroma_format == 1 ? rec.height / 2 : rec.height;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t *row = rec.plane[p] + int64_t(y) * rec.stride[p];
            for (int32_t x = 0; x < w; ++x) {
                const int32_t v = rec.bit_depth > 8 ? reinterpret_cast<const uint16_t *>(row)[x] : row[x];
                if (v != grey) {
                    out.faults.push_back("picture " + std::to_string(out.formats.size() - 1) + " plane " +
                                         std::to_string(p) + " (" + std::to_string(x) + ", " + std::to_string(y) +
                                         ") is " + std::to_string(v));
                    return;
                }
            }
        }
    }
}

// Decodes one unit per call, as a host that splits the stream at its start codes does.
Outcome decode(const std::vector<std::vector<uint8_t>> &units)
{
    Outcome out;
    void *h = ZQ_SVAC_Dec_Open();
    EXPECT_NE(h, nullptr);
    if (!h)
        return out;
    auto drain = [&] {
        output_frame_rec rec;
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
            check_picture(rec, out);
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
        }
    };
    extension_data_record ext{};
    for (const std::vector<uint8_t> &unit : units) {
        decode_input in{unit.data(), static_cast<int32_t>(unit.size()), 0};
        if (ZQ_SVAC_Dec_Decode(h, &in, &ext) < 0)
            ++out.failed_units;
        drain();
    }
    while (ZQ_SVAC_Get_LastFrame(h, 0) == 1)
        drain();
    ZQ_SVAC_Dec_Close(h);
    return out;
}

class FormatChange : public testing::TestWithParam<Case> {};

TEST_P(FormatChange, PicturesKeepTheFormatTheyBeganWith)
{
    const Case &c = GetParam();
    const Sps a = sps_of(c.before), b = sps_of(c.after);
    const Pps pps;
    const uint32_t count = a.mb_width * a.mb_height;
    std::vector<NalUnit> units = {sps_unit(a), pps_unit(pps, a)};
    const Sps *sps = &a;
    for (const char *u = c.units; *u; ++u) {
        if (*u == '|') {
            sps = &b;
            units.push_back(sps_unit(b));
            units.push_back(pps_unit(pps, b));
        } else if (*u == 'I' || *u == 'P') {
            const uint32_t type = *u == 'I' ? kSliceI : kSliceP;
            const uint32_t frame = static_cast<uint32_t>(u[1] - '0');
            const uint32_t first = u[2] == '>' ? count / 2 : 0, end = u[2] == '<' ? count / 2 : count;
            units.push_back(slice_of(*sps, type == kSliceI ? kNalIdrBase : kNalSliceBase, frame, type, first, end));
        }
    }
    std::vector<std::vector<uint8_t>> stream;
    for (const NalUnit &u : units) {
        stream.push_back(make_stream({u}));
        ASSERT_FALSE(stream.back().empty()) << u.error;
    }

    std::vector<std::pair<int32_t, int32_t>> want;
    for (const char *o = c.outputs; *o; ++o) {
        const Format &f = *o == 'o' ? c.before : c.after;
        want.emplace_back(static_cast<int32_t>(f.chroma_format), f.bit_depth);
    }
    for (uint32_t flags : {0u, ZQ_SVAC_Dec_GetCPUCaps()}) {
        SCOPED_TRACE(testing::Message() << "cpu flags " << flags);
        ZQ_SVAC_Dec_Init(flags);
        const Outcome out = decode(stream);
        EXPECT_EQ(out.failed_units, c.failed_units);
        EXPECT_EQ(out.formats, want);
        EXPECT_EQ(out.faults, std::vector<std::string>{});
    }
    ZQ_SVAC_Dec_Init(0);
}

// A picture left incomplete is dropped when the next one begins; a P picture under the new
// format has no reference it can use.
INSTANTIATE_TEST_SUITE_P(Inter, FormatChange, testing::Values(
    Case{"p_continues_8_to_10_bit", {1, 8}, {1, 10}, "I0 P1< | P1> I2", 1, "on"},
    Case{"p_continues_10_to_8_bit", {2, 10}, {2, 8}, "I0 P1< | P1> I2", 1, "on"},
    Case{"p_continues_420_to_422", {1, 8}, {2, 8}, "I0 P1< | P1> I2", 1, "on"},
    Case{"p_continues_420_to_422_10_bit", {1, 10}, {2, 10}, "I0 P1< | P1> I2", 1, "on"},
    Case{"i_continues_8_to_10_bit", {1, 8}, {1, 10}, "I0< | I0> I1", 1, "n"},
    Case{"i_continues_400_to_420", {0, 8}, {1, 8}, "I0< | I0> I1", 1, "n"},
    Case{"i_continues_422_10_bit_to_400", {2, 10}, {0, 8}, "I0< | I0> I1", 1, "n"},
    Case{"next_picture_8_to_10_bit", {1, 8}, {2, 10}, "I0 | I1", 0, "on"},
    Case{"reference_output_after_change", {2, 10}, {1, 8}, "I0 P2 | P3", 1, "oo"}),
    [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// Two layers whose parameter sets give them different sample formats: the base picture is no
// prediction for the enhancement layer (its samples are left as they are, so only the records
// are checked), and the pictures of each layer keep their own format.
TEST(FormatChange, EnhancementLayerOfAnotherFormatThanTheBase)
{
    Sps base = sps_of({1, 8}), enh = sps_of({2, 10});
    base.svc_flag = enh.svc_flag = true;
    enh.sps_id = 1;
    Pps base_pps, enh_pps;
    enh_pps.pps_id = enh_pps.sps_id = 1;
    const std::vector<NalUnit> units = {
        sps_unit(base), sps_unit(enh), pps_unit(base_pps, base), pps_unit(enh_pps, enh),
        slice_of(base, kNalIdrBase, 0, kSliceI, 0, 6, base_pps), slice_of(enh, kNalIdrEnh, 0, kSliceI, 0, 24, enh_pps)};
    const std::vector<uint8_t> stream = make_stream(units);
    ASSERT_FALSE(stream.empty());

    ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps());
    void *h = ZQ_SVAC_Dec_Open();
    ASSERT_NE(h, nullptr);
    std::vector<std::vector<int32_t>> got;   // layer, chroma format, bit depth, width
    auto drain = [&] {
        output_frame_rec rec;
        while (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(h, &rec) == 0) {
            got.push_back({rec.layer, rec.chroma_format, rec.bit_depth, rec.width});
            ZQ_SVACDEC_ZQ_SVAC_release_output_frame(h, &rec);
        }
    };
    size_t pos = 0;
    while (pos < stream.size()) {
        decode_input in{stream.data() + pos, static_cast<int32_t>(stream.size() - pos), 0};
        const int32_t r = ZQ_SVAC_Dec_Decode(h, &in, nullptr);
        drain();
        ASSERT_GE(r, 0);
        if (r == 0)
            break;
        pos += static_cast<size_t>(r);
    }
    for (int32_t layer = 0; layer < 2; ++layer)
        while (ZQ_SVAC_Get_LastFrame(h, layer) == 1)
            drain();
    ZQ_SVAC_Dec_Close(h);
    ZQ_SVAC_Dec_Init(0);
    EXPECT_EQ(got, (std::vector<std::vector<int32_t>>{{0, 1, 8, 48}, {1, 2, 10, 96}}));
}

} // namespace
