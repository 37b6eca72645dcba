// The inter macroblock layer on hand-written streams: refused syntax, data that ends inside a
// macroblock, and skipped B macroblocks predicted from two equal references.
#include <gtest/gtest.h>

#include <functional>

#include "intra_fixture.h"
#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/svac_writer.h"

namespace {

using namespace svacwriter;

// An I picture of flat mid-grey macroblocks, then the slices that `more` writes (each gets
// its header from the given frame number and type).
struct Stream {
    Sps sps;
    Pps pps;
    std::vector<NalUnit> units;

    explicit Stream(uint32_t fmt, bool filter = false)
    {
        sps.chroma_format = fmt;
        sps.mb_width = 2;
        sps.mb_height = 2;
        pps.pic_init_qp = 28;
        pps.loop_filter_disable_flag = !filter;
        units = {sps_unit(sps), pps_unit(pps, sps)};
        BitWriter w;
        SliceHeader sh;
        sh.slice_type = kSliceI;
        write_slice_header(w, sh, sps, pps, kNalIdrBase);
        IntraModeMap map(2, 2);
        MbLayerParams params;
        params.chroma_format = fmt;
        for (uint32_t a = 0; a < 4; ++a) {
            IntraMb mb;
            for (int32_t &m : mb.luma_modes)
                m = 2;
            mb.chroma_modes[0] = 0;
            write_intra_mb(w, mb, params, map, a % 2, a / 2, a % 2 == 1, a >= 2);
        }
        units.push_back(finish_unit(nal_header(kNalIdrBase), w));
    }

    void slice(uint32_t frame_num, uint32_t type, bool single_ref, const std::function<void(BitWriter &)> &data)
    {
        BitWriter w;
        SliceHeader sh;
        sh.frame_num = frame_num;
        sh.slice_type = type;
        sh.single_ref_flag = single_ref;
        write_slice_header(w, sh, sps, pps, kNalSliceBase);
        data(w);
        units.push_back(finish_unit(nal_header(kNalSliceBase), w));
    }

    std::vector<uint8_t> bytes() const { return make_stream(units); }
};

struct Refusal {
    const char *name;
    uint32_t fmt;
    bool single_ref;
    std::function<void(BitWriter &)> data;
    int32_t result;
    const char *printed;
};

TEST(InterMacroblock, RefusedOrCutShort)
{
    const Refusal cases[] = {
        // Reference 1 named while the layer holds only the I picture.
        {"missing reference", 1, false,
         [](BitWriter &w) {
             w.put_ue(0), w.put_ue(0), w.put_bit(true), w.put_se(0), w.put_se(0), w.put_ue(0);
         },
         -2, ""},
        {"pattern code above 63", 1, true,
         [](BitWriter &w) { w.put_ue(0), w.put_ue(0), w.put_se(0), w.put_se(0), w.put_ue(64); }, -8,
         "illegal inter cbp 64\n"},
        // The 4-bit map of 4:2:2 and 4:0:0 has 16 codes.
        {"pattern code beyond the 4-bit map", 2, true,
         [](BitWriter &w) { w.put_ue(0), w.put_ue(0), w.put_se(0), w.put_se(0), w.put_ue(20); }, -8,
         "illegal inter cbp 20\n"},
        {"data ends in the vector", 1, true, [](BitWriter &w) { w.put_ue(0), w.put_ue(0); }, -11, ""},
    };
    for (const Refusal &c : cases) {
        Stream s(c.fmt);
        s.slice(1, kSliceP, c.single_ref, c.data);
        intra_test::Decoded got;
        const std::string out = intra_test::printed([&] { got = intra_test::decode_all(s.bytes()); });
        EXPECT_EQ(got.result, c.result) << c.name;
        EXPECT_EQ(out, c.printed) << c.name;
    }
}

// I0, P4 (every macroblock skipped: a copy of I0), then B2 (every macroblock skipped: direct
// vectors from P4's zero vectors, the average of two equal pictures): all three pictures equal.
TEST(InterMacroblock, SkippedPictureCopiesAndSkippedBAveragesEqualReferences)
{
    for (uint32_t fmt : {0u, 1u, 2u}) {
        Stream s(fmt, true);
        s.slice(2, kSliceP, true, [](BitWriter &w) { w.put_ue(4); });
        s.slice(1, kSliceB, true, [](BitWriter &w) { w.put_ue(4); });
        const intra_test::Decoded got = intra_test::decode_all(s.bytes());
        ASSERT_EQ(got.result, 0);
        ASSERT_EQ(got.pictures[0].size(), 3u) << "format " << fmt;
        for (size_t i = 1; i < 3; ++i)
            EXPECT_EQ(intra_test::first_difference(got.pictures[0][0], got.pictures[0][i]), "") << "picture " << i;
    }
}

} // namespace
