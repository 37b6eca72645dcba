#include <gtest/gtest.h>

#include "frontend_fixture.h"

namespace {

using namespace svacwriter;
using frontend_test::Bytes;
using frontend_test::Decoder;
using frontend_test::Output;
using frontend_test::printed;
using frontend_test::slice;

Output pic(int32_t frame_num, int32_t layer = 0, int32_t w = 64, int32_t h = 48)
{
    return Output{layer, 2 * frame_num, w, h};
}

// Parameter sets of a 4x3-macroblock stream, then one slice per (frame_num, type).
std::vector<NalUnit> stream_units(const std::vector<std::pair<uint32_t, uint32_t>> &pictures,
                                  StartCode sc = StartCode::kFourByte)
{
    Sps sps;
    Pps pps;
    std::vector<NalUnit> units = {sps_unit(sps, sc), pps_unit(pps, sps, sc)};
    bool first = true;
    for (auto [frame_num, type] : pictures) {
        units.push_back(slice_unit(slice(frame_num, type), sps, pps, first ? kNalIdrBase : kNalSliceBase, sc));
        first = false;
    }
    return units;
}

TEST(NalUnescape, EmulationPreventionAtEveryPosition)
{
    const Bytes base = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x80};
    const Bytes next_units[] = {{}, {0, 0, 1, 0x1C}, {0, 0, 0, 1, 0x1C}, {0, 0, 2}};
    for (size_t at = 0; at + 3 < base.size(); ++at) {
        for (uint8_t x = 0; x <= 3; ++x) {
            Bytes payload = base;
            payload[at] = payload[at + 1] = 0;
            payload[at + 2] = x;
            const Bytes escaped = escape_payload(payload.data(), payload.size());
            for (const Bytes &next : next_units) {
                SCOPED_TRACE(testing::Message() << "at " << at << " x " << int(x) << " next " << next.size());
                Bytes input = escaped;
                input.insert(input.end(), next.begin(), next.end());
                Bytes out(input.size());
                int32_t out_len = -1;
                const int32_t consumed =
                    nal_unescape(input.data(), static_cast<int32_t>(input.size()), out.data(), &out_len);
                EXPECT_EQ(consumed, static_cast<int32_t>(escaped.size()));
                out.resize(static_cast<size_t>(out_len));
                EXPECT_EQ(out, payload);
            }
        }
    }
}

TEST(NalUnescape, EscapeBeforeAStartCodeEndsThePayloadThere)
{
    const Bytes input = {0xAA, 0, 0, 3, 0, 0, 1, 0x1C};
    Bytes out(input.size());
    int32_t out_len = 0;
    EXPECT_EQ(nal_unescape(input.data(), static_cast<int32_t>(input.size()), out.data(), &out_len), 4);
    out.resize(static_cast<size_t>(out_len));
    EXPECT_EQ(out, (Bytes{0xAA, 0, 0}));
}

TEST(NalUnescape, TrailingBitsGiveTheBitLength)
{
    struct Case { Bytes payload; int64_t bits; int32_t len; };
    const Case cases[] = {
        {{0xAB, 0x80}, 8, 2},
        {{0xAB, 0x80, 0, 0}, 8, 2},
        {{0xAB, 0x01}, 15, 2},
        {{0xAB, 0x40}, 9, 2},
        {{0x00}, 8, 1},
        {{0x00, 0x00}, 8, 1},
        {{}, -1, 0},
    };
    for (const Case &c : cases) {
        int32_t len = static_cast<int32_t>(c.payload.size());
        EXPECT_EQ(nal_payload_bits(c.payload.data(), &len), c.bits) << testing::PrintToString(c.payload);
        EXPECT_EQ(len, c.len);
    }
}

TEST(NalWalk, ParameterSetsThroughEmulationPreventionAndStartCodeForms)
{
    // Zero runs in the timing fields make the writer insert escapes at several offsets.
    const uint32_t values[][2] = {{0, 0}, {0x00000300, 0x00000001}, {0x01000000, 0x00000200}, {0xFFFFFFFF, 3}};
    for (const auto &v : values) {
        for (StartCode sc : {StartCode::kThreeByte, StartCode::kFourByte}) {
            SCOPED_TRACE(testing::Message() << std::hex << v[0] << " " << v[1] << " four " << (sc == StartCode::kFourByte));
            Sps sps;
            sps.sps_id = 5;
            sps.vui_flag = sps.timing_info_flag = true;
            sps.num_units_in_tick = v[0];
            sps.time_scale = v[1];
            sps.vui_tail_value = 0;
            BitWriter w;
            ASSERT_TRUE(write_sps(w, sps));
            const int64_t sps_bits = static_cast<int64_t>(w.bit_count());
            BitWriter empty;
            NalUnit other = finish_unit(nal_header(6), empty, sc);
            Bytes s = make_stream({sps_unit(sps, sc), other});
            Decoder d;
            ASSERT_EQ(d.decode(s), static_cast<int32_t>(s.size()));
            const sps_record &rec = d.ctx->sps[5];
            EXPECT_EQ(rec.valid, 1);
            EXPECT_EQ(rec.num_units_in_tick, v[0]);
            EXPECT_EQ(rec.time_scale, v[1]);
            EXPECT_EQ(d.ctx->bs.length, sps_bits) << "nothing of the next start code stays on the payload";
        }
    }
}

TEST(NalWalk, HeaderFlagsSkipTheAuthenticationByteAndKeepEncryptedBytesWithoutCipher)
{
    Sps sps;
    sps.sps_id = 3;
    NalUnit unit = sps_unit(sps);
    unit.header.authentication_flag = true;
    unit.header.authentication_byte = 0x5A;
    unit.header.encryption_flag = true;
    Decoder d;
    d.ctx->stream_encrypted = 1;
    Bytes s = make_stream({unit});
    EXPECT_EQ(d.decode(s), static_cast<int32_t>(s.size()));
    EXPECT_EQ(d.ctx->sps[3].valid, 1);
    EXPECT_EQ(d.ctx->nal_auth_byte, 0x5A);
}

TEST(NalWalk, EachCallStopsAtTheStartCodeAfterAnOutputPicture)
{
    std::vector<size_t> offsets;
    Bytes s;
    ASSERT_TRUE(concat_units(stream_units({{0, kSliceI}, {1, kSliceI}}), &s, &offsets));
    Decoder d;
    // Four-byte start codes: the call stops at the 00 00 01 of the next unit.
    ASSERT_EQ(d.decode(s), static_cast<int32_t>(offsets[3] + 1));
    EXPECT_EQ(d.outputs, (std::vector<Output>{pic(0)}));
    const int32_t rest = static_cast<int32_t>(s.size() - offsets[3] - 1);
    EXPECT_EQ(d.decode(s.data() + offsets[3] + 1, rest), rest);
    EXPECT_EQ(d.outputs, (std::vector<Output>{pic(0), pic(1)}));

    Decoder sets_only;
    Bytes p = make_stream(stream_units({}));
    EXPECT_EQ(sets_only.decode(p), static_cast<int32_t>(p.size()));
    EXPECT_TRUE(sets_only.outputs.empty());
}

TEST(NalWalk, SplittingAtAnyUnitBoundaryGivesTheSameResult)
{
    const std::vector<std::pair<uint32_t, uint32_t>> pictures = {
        {0, kSliceI}, {2, kSliceP}, {1, kSliceB}, {4, kSliceP}, {3, kSliceB}, {5, kSliceP}};
    for (StartCode sc : {StartCode::kThreeByte, StartCode::kFourByte}) {
        std::vector<size_t> offsets;
        Bytes s;
        ASSERT_TRUE(concat_units(stream_units(pictures, sc), &s, &offsets));
        Decoder whole;
        ASSERT_EQ(whole.feed(s), 0);
        whole.finish(0);
        ASSERT_EQ(whole.outputs.size(), 6u);
        for (size_t cut : offsets) {
            SCOPED_TRACE(cut);
            Decoder split;
            ASSERT_EQ(split.feed(Bytes(s.begin(), s.begin() + static_cast<long>(cut))), 0);
            ASSERT_EQ(split.feed(Bytes(s.begin() + static_cast<long>(cut), s.end())), 0);
            split.finish(0);
            EXPECT_EQ(split.outputs, whole.outputs);
        }
    }
}

TEST(NalWalk, DisplayOrder)
{
    struct Case {
        const char *name;
        std::vector<std::pair<uint32_t, uint32_t>> decode_order;
        std::vector<int32_t> shown;   // frame_num of each output picture, in order
    };
    const Case cases[] = {
        {"P pictures go out as they complete", {{0, kSliceI}, {1, kSliceP}, {2, kSliceP}}, {0, 1, 2}},
        {"one B picture between references", {{0, kSliceI}, {2, kSliceP}, {1, kSliceB}, {4, kSliceP}, {3, kSliceB}},
         {0, 1, 2, 3, 4}},
        {"two B pictures between references",
         {{0, kSliceI}, {3, kSliceP}, {1, kSliceB}, {2, kSliceB}, {6, kSliceP}, {4, kSliceB}, {5, kSliceB}},
         {0, 1, 2, 3, 4, 5, 6}},
        {"an I picture restarts the order", {{0, kSliceI}, {1, kSliceP}, {0, kSliceI}, {1, kSliceP}}, {0, 1, 0, 1}},
        {"a lost P picture does not freeze the output",
         {{0, kSliceI}, {1, kSliceP}, {3, kSliceP}, {4, kSliceP}, {5, kSliceP}}, {0, 1, 3, 4, 5}},
        {"a lost B picture", {{0, kSliceI}, {2, kSliceP}, {4, kSliceP}, {3, kSliceB}}, {0, 2, 3, 4}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        ASSERT_EQ(d.feed(make_stream(stream_units(c.decode_order))), 0);
        d.finish(0);
        std::vector<Output> expected;
        for (int32_t fn : c.shown)
            expected.push_back(pic(fn));
        EXPECT_EQ(d.outputs, expected);
    }
}

TEST(NalWalk, UnitsThatAreSkippedOrRefused)
{
    Sps sps;
    Pps pps;
    auto raw = [](std::initializer_list<uint8_t> bytes) {
        NalUnit u;
        u.header = nal_header(0);
        Bytes b(bytes);
        u.header.nal_type = b[0];
        u.payload.assign(b.begin() + 1, b.end());
        return u;
    };
    struct Case {
        const char *name;
        std::vector<NalUnit> units;
        int32_t result;
        size_t outputs;
    };
    const Case cases[] = {
        {"slices before the first IDR are skipped",
         {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0), sps, pps, kNalSliceBase)}, -1, 0},
        {"enhancement slices before their IDR are skipped",
         {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0), sps, pps, kNalSliceEnh)}, -1, 0},
        {"other unit types are skipped whatever they hold",
         {raw({0, 0xFF}), raw({6}), raw({10, 0x12}), raw({15, 0, 0, 0})}, -1, 0},
        {"an empty parameter set", {raw({7})}, -2, 0},
        {"an empty slice after the IDR",
         {sps_unit(sps), pps_unit(pps, sps), slice_unit(slice(0), sps, pps, kNalIdrBase), raw({1})}, -2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        Bytes s = make_stream(c.units);
        ASSERT_FALSE(s.empty());
        const int32_t r = d.feed(s);
        EXPECT_EQ(r, c.result == -1 ? 0 : c.result);
        EXPECT_EQ(d.outputs.size(), c.outputs);
    }
}

TEST(NalWalk, AFailureEndsTheCallAndKeepsWhatWasBuilt)
{
    Sps sps;
    Sps other = sps;
    other.mb_width = 8;
    Pps pps;
    pps.pps_id = 9;
    Bytes s = make_stream({sps_unit(sps), sps_unit(other), pps_unit(pps, sps)});
    Decoder d;
    const std::string line = printed([&] { EXPECT_EQ(d.decode(s), -5); });
    EXPECT_EQ(line, "SVAC parameters change, must reinit. (0 0 4 3) -> (0 0 8 3)\n");
    EXPECT_EQ(d.ctx->sps[0].mb_width, 4);
    EXPECT_EQ(d.ctx->pps[9].valid, 0) << "units after the failing one stay unread";
}

} // namespace
