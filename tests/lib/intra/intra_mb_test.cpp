// Edge cases of the intra macroblock layer: modes of the first macroblock, remainders, coded
// block pattern codes, QP changes, refused types and codes.
#include <gtest/gtest.h>

#include <climits>

#include "decoder_ctx.h"
#include "intra_fixture.h"
#include "mb_intra.h"
#include "nal_walk.h"
#include "slice_header.h"
#include "svacwriter/svac_writer.h"

namespace {

using namespace svacwriter;

// Decodes the first macroblock of a slice and keeps the macroblock state.
struct FirstMb {
    int32_t result = 0;
    mb_work mb{};
    int32_t mb_qp = 0;
    std::string printed;
};
FirstMb *first_mb_out = nullptr;

int32_t decode_first_mb(decoder_ctx *ctx)
{
    const int header = parse_slice_header(ctx);
    if (header < 0)
        return header;
    ctx->pic_type = 1;
    first_mb_out->result = decode_intra_mb(ctx, read_ue(&ctx->bs));
    first_mb_out->mb = ctx->mb;
    first_mb_out->mb_qp = ctx->mb_qp;
    return first_mb_out->result;
}

struct Stream {
    Sps sps;
    Pps pps;
    SliceHeader sh;
    BitWriter w;
    Stream(uint32_t fmt = 1, uint32_t depth = 8, uint32_t qp = 28)
    {
        sps.chroma_format = fmt;
        sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = depth - 8;
        sps.mb_width = sps.mb_height = 1;
        pps.pic_init_qp = qp;
        pps.loop_filter_disable_flag = true;
        sh.fixed_slice_qp = false;
        write_slice_header(w, sh, sps, pps, kNalIdrBase);
    }
    std::vector<uint8_t> bytes() { return make_stream({sps_unit(sps), pps_unit(pps, sps), finish_unit(nal_header(kNalIdrBase), w)}); }
};

FirstMb run_first_mb(Stream &s)
{
    FirstMb out;
    first_mb_out = &out;
    const auto saved = nal_slice_decoder;
    nal_slice_decoder = decode_first_mb;
    const std::vector<uint8_t> bytes = s.bytes();
    out.printed = intra_test::printed([&] { intra_test::decode_all(bytes); });
    nal_slice_decoder = saved;
    first_mb_out = nullptr;
    return out;
}

// Empty residual of a block: the end-of-block code of the set's first table (code 58, order 2).
void end_of_block(BitWriter &w) { w.put_ue_k(58, 2); }

TEST(IntraMb, FirstMacroblockTakesSubstitutesForItsMissingNeighbours)
{
    // I_4X4, every block coded with its predicted mode except block 0: HORZ (remainder 1).
    Stream s;
    s.w.put_ue(0);
    s.w.put_bit(false);
    s.w.put_bits(1, 2);
    for (int i = 1; i < 16; ++i)
        s.w.put_bit(true);
    s.w.put_ue(0);   // chroma mode 0
    s.w.put_ue(4);   // cbp code 4: nothing coded
    const FirstMb got = run_first_mb(s);
    EXPECT_EQ(got.result, 0);
    // HORZ: no substitute without the left neighbour (0), none for VERT without the top (0).
    EXPECT_EQ(got.mb.mode4[6], 0);
    size_t count = 0;
    for (size_t at = 0; (at = got.printed.find("Illegal intra prediction mode\n", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(count, 2u);
    // Block 1 predicted 2 (_LP_) without the top: LPLF; block 2 without the left: LPTP.
    EXPECT_EQ(got.mb.mode4[7], 5);
    EXPECT_EQ(got.mb.mode4[11], 6);
    // Chroma 0 without the left: 5, then without the top: 6.
    EXPECT_EQ(got.mb.chroma_mode[0], 6);

    // I_8X8 whose blocks all take their predicted mode: block 0 _LP_ becomes LPTP, then D128.
    Stream d;
    d.w.put_ue(1 + 4);
    for (int i = 0; i < 4; ++i)
        d.w.put_bit(true);
    d.w.put_ue(0);
    EXPECT_EQ(run_first_mb(d).mb.mode8[4], 7);
}

TEST(IntraMb, RemaindersSkipThePredictedMode)
{
    // Block 3 of an I_4X4 macroblock lies inside it: both neighbours are blocks 1 and 2 (mode 2).
    for (uint32_t rem = 0; rem < 4; ++rem) {
        Stream s;
        s.w.put_ue(0);
        for (int i = 0; i < 16; ++i) {
            if (i == 3) {
                s.w.put_bit(false);
                s.w.put_bits(rem, 2);
            } else {
                s.w.put_bit(true);
            }
        }
        s.w.put_ue(0);
        s.w.put_ue(4);
        const FirstMb got = run_first_mb(s);
        const int32_t want[4] = {0, 1, 3, 4};
        EXPECT_EQ(got.mb.mode4[12], want[rem]) << "remainder " << rem;
    }
}

TEST(IntraMb, CodedBlockPatternCodes)
{
    struct Case {
        uint32_t fmt;
        uint32_t type;          // I_8X8 type: cbp code type - 1
        int32_t result;
        int32_t cbp;
    };
    const Case cases[] = {
        {1, 1, 0, 63},          // code 0: every block coded
        {1, 64, 0, 57},         // code 63
        {1, 65, -2, 0},         // code 64: beyond the 4:2:0 map
        {0, 16, 0, 9},          // 4-bit map, code 15
        {0, 17, -2, 0},         // code 16: beyond the 4-bit map
        {2, 17, -2, 0},
    };
    for (const Case &c : cases) {
        Stream s(c.fmt);
        s.w.put_ue(c.type);
        for (int i = 0; i < 4; ++i)
            s.w.put_bit(true);
        if (c.fmt != 0)
            s.w.put_ue(0);
        if (c.fmt == 2) {
            s.w.put_ue(0);
            s.w.put_ue(1);   // upper code 1: no chroma blocks
        }
        if (c.result == 0) {
            s.w.put_se(0);
            for (int b = 0; b < 6; ++b)
                if (c.cbp & (1 << b))
                    end_of_block(s.w);
        }
        const FirstMb got = run_first_mb(s);
        EXPECT_EQ(got.result, c.result) << "format " << c.fmt << " type " << c.type;
        if (c.result == 0)
            EXPECT_EQ(got.mb.cbp, c.cbp) << "format " << c.fmt << " type " << c.type;
        else
            EXPECT_NE(got.printed.find("illegal intra cbp code"), std::string::npos);
    }

    // 4:2:2: the second code brings the lower chroma bits; a 4x4 mask code beyond the map is refused.
    Stream upper(2);
    upper.w.put_ue(0);
    for (int i = 0; i < 16; ++i)
        upper.w.put_bit(true);
    upper.w.put_ue(0);
    upper.w.put_ue(0);
    upper.w.put_ue(1);    // luma code 1: no luma block
    upper.w.put_ue(16);   // upper code 16: beyond the map
    EXPECT_EQ(run_first_mb(upper).result, -2);
}

TEST(IntraMb, QpChangesWrapAndStayInRange)
{
    struct Case {
        uint32_t depth;
        uint32_t qp;            // coded picture QP
        int32_t delta;
        int32_t want;
    };
    const Case cases[] = {
        {8, 50, 10, 4},
        {8, 5, -10, 51},
        {10, 64, 10, 18},
        {10, 20, -10, 66},
        {8, 30, INT_MAX, -1},
        {8, 30, INT_MIN + 1, -1},
    };
    for (const Case &c : cases) {
        Stream s(1, c.depth, c.qp);
        s.w.put_ue(1 + 7);   // I_8X8 with cbp code 7: luma block 0 and the two lower ones
        for (int i = 0; i < 4; ++i)
            s.w.put_bit(true);
        s.w.put_ue(0);
        s.w.put_se(c.delta);
        for (int b = 0; b < 3; ++b)
            end_of_block(s.w);
        const FirstMb got = run_first_mb(s);
        ASSERT_EQ(got.result, 0);
        const int32_t offset = 7 * static_cast<int32_t>(c.depth - 8);
        if (c.want >= 0) {
            EXPECT_EQ(got.mb_qp, c.want) << c.qp << " + " << c.delta;
        }
        EXPECT_GE(got.mb_qp - offset, 0);
        EXPECT_LE(got.mb_qp - offset, 55);
    }
}

TEST(IntraMb, RefusedTypesAndModes)
{
    // A macroblock type whose code is too long to read is refused, not taken as I_8X8.
    Stream type;
    type.w.put_ue(70000);
    EXPECT_EQ(intra_test::decode_all(type.bytes()).result, -2);

    Stream chroma;
    chroma.w.put_ue(5);
    for (int i = 0; i < 4; ++i)
        chroma.w.put_bit(true);
    chroma.w.put_ue(7);
    const FirstMb got = run_first_mb(chroma);
    EXPECT_EQ(got.result, -2);
    EXPECT_NE(got.printed.find("illegal intra_chroma_pred_mode(7)\n"), std::string::npos);
}

} // namespace
