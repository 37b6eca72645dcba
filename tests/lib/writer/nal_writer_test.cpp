#include <gtest/gtest.h>

#include <random>

#include "svacwriter/nal_writer.h"
#include "test_reader.h"

using namespace svacwriter;
using writer_test::split_units;

namespace {

using Bytes = std::vector<uint8_t>;

NalUnit raw_unit(uint32_t type, Bytes payload, StartCode sc = StartCode::kFourByte)
{
    NalUnit u;
    u.header = nal_header(type);
    u.payload = std::move(payload);
    u.start_code = sc;
    return u;
}

Bytes escape(const Bytes& b)
{
    return escape_payload(b.data(), b.size());
}

} // namespace

TEST(NalHeader, FieldsGoToTheirBits)
{
    struct Case {
        uint32_t type;
        bool ref, enc, auth, forbidden;
        uint8_t byte;
    } cases[] = {
        {kNalSps, true, false, false, false, 0x5C},
        {kNalPps, true, false, false, false, 0x60},
        {kNalSliceBase, false, false, false, false, 0x04},
        {kNalIdrEnh, true, false, false, false, 0x50},
        {kNalSecurity, true, true, true, false, 0x67},
        {kNalExtension, false, true, false, true, 0x96},
        {15, false, false, true, false, 0x3D},
    };
    for (const Case& c : cases) {
        NalHeader h = nal_header(c.type);
        h.ref_flag = c.ref;
        h.encryption_flag = c.enc;
        h.authentication_flag = c.auth;
        h.forbidden_bit = c.forbidden;
        EXPECT_EQ(nal_header_byte(h), c.byte) << "type " << c.type;
    }
}

TEST(EmulationPrevention, KnownSequences)
{
    struct Case {
        Bytes in, out;
    } cases[] = {
        {{0x00, 0x00, 0x00}, {0x00, 0x00, 0x03, 0x00}},
        {{0x00, 0x00, 0x01}, {0x00, 0x00, 0x03, 0x01}},
        {{0x00, 0x00, 0x02}, {0x00, 0x00, 0x03, 0x02}},
        {{0x00, 0x00, 0x03}, {0x00, 0x00, 0x03, 0x03}},
        {{0x00, 0x00, 0x04}, {0x00, 0x00, 0x04}},
        {{0x00, 0x01, 0x00, 0x00, 0x01}, {0x00, 0x01, 0x00, 0x00, 0x03, 0x01}},
        // A zero run: the count restarts after each inserted byte.
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, {0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x01}},
        {{0x00, 0x00, 0x03, 0x00, 0x00, 0x03}, {0x00, 0x00, 0x03, 0x03, 0x00, 0x00, 0x03, 0x03}},
        // Zeros at the end: nothing of the payload follows them.
        {{0x80, 0x00, 0x00}, {0x80, 0x00, 0x00}},
        {{0x00}, {0x00}},
        {{}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(escape(c.in), c.out);
}

TEST(EmulationPrevention, EveryPositionAndEveryCriticalByte)
{
    for (size_t len = 3; len <= 7; ++len) {
        for (size_t pos = 0; pos + 3 <= len; ++pos) {
            for (uint8_t x = 0; x <= 4; ++x) {
                Bytes payload(len, 0x55);
                payload[pos] = 0x00;
                payload[pos + 1] = 0x00;
                payload[pos + 2] = x;
                payload.push_back(0x80);  // stop bit
                const Bytes escaped = escape(payload);
                Bytes expected = payload;
                if (x <= 3)
                    expected.insert(expected.begin() + static_cast<long>(pos + 2), 0x03);
                EXPECT_EQ(escaped, expected) << "len " << len << " pos " << pos << " x " << int(x);

                // Packed between two units, the payload reads back unchanged.
                const Bytes stream = make_stream({raw_unit(kNalSps, payload, StartCode::kThreeByte),
                                                  raw_unit(kNalPps, {0x80}, StartCode::kThreeByte)});
                const auto units = split_units(stream);
                ASSERT_EQ(units.size(), 2u);
                EXPECT_EQ(units[0].payload, payload);
                EXPECT_EQ(units[0].bit_length, 8 * static_cast<int64_t>(len));
                EXPECT_EQ(units[1].nal_type, kNalPps);
            }
        }
    }
}

TEST(EmulationPrevention, RandomZeroHeavyPayloadsSurvivePacking)
{
    std::mt19937 rng(20240613);
    for (int round = 0; round < 300; ++round) {
        Bytes payload(1 + rng() % 40);
        for (uint8_t& b : payload)
            b = rng() % 3 == 0 ? static_cast<uint8_t>(rng() % 5) : 0;
        payload.push_back(static_cast<uint8_t>(1u << (rng() % 8)));  // stop bit somewhere
        const auto sc = rng() % 2 ? StartCode::kThreeByte : StartCode::kFourByte;
        std::vector<size_t> offsets;
        Bytes stream;
        ASSERT_TRUE(concat_units({raw_unit(kNalSliceBase, payload, sc), raw_unit(kNalSliceBase, payload, sc)},
                                 &stream, &offsets));
        const auto units = split_units(stream);
        ASSERT_EQ(units.size(), 2u) << round;
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(units[i].payload, payload) << round;
            EXPECT_EQ(units[i].prefix_offset, offsets[i] + (sc == StartCode::kFourByte ? 1 : 0));
        }
    }
}

TEST(EmulationPrevention, TrailingZeroBytesAreDroppedNotLeakedIntoTheNextUnit)
{
    // Stop bit followed by whole zero bytes, then a three-byte start code: the
    // zeros merge with the next prefix, and the reader drops them.
    for (size_t zeros = 0; zeros <= 3; ++zeros) {
        Bytes payload = {0x12, 0x34, 0x80};
        payload.insert(payload.end(), zeros, 0x00);
        const Bytes stream = make_stream({raw_unit(kNalSps, payload, StartCode::kThreeByte),
                                          raw_unit(kNalPps, {0x40}, StartCode::kThreeByte),
                                          raw_unit(kNalExtension, payload, StartCode::kThreeByte)});
        const auto units = split_units(stream);
        ASSERT_EQ(units.size(), 3u) << zeros;
        EXPECT_EQ(units[0].payload, (Bytes{0x12, 0x34, 0x80}));
        EXPECT_EQ(units[0].bit_length, 16);
        EXPECT_EQ(units[1].payload, Bytes{0x40});
        EXPECT_EQ(units[1].bit_length, 1);
        EXPECT_EQ(units[2].bit_length, 16) << "at the end of the stream";
    }
}

TEST(StartCodes, BothFormsAndTheAuthenticationByte)
{
    NalUnit a = raw_unit(kNalSps, {0xA0}, StartCode::kThreeByte);
    NalUnit b = raw_unit(kNalPps, {0x00, 0x00, 0x01, 0x80}, StartCode::kFourByte);
    NalUnit c = raw_unit(kNalExtension, {0x80}, StartCode::kThreeByte);
    c.header.authentication_flag = true;
    c.header.authentication_byte = 0x5A;

    std::vector<uint8_t> stream;
    std::vector<size_t> offsets;
    ASSERT_TRUE(concat_units({a, b, c}, &stream, &offsets));
    const Bytes expected = {0x00, 0x00, 0x01, 0x5C, 0xA0,
                            0x00, 0x00, 0x00, 0x01, 0x60, 0x00, 0x00, 0x03, 0x01, 0x80,
                            0x00, 0x00, 0x01, 0x55, 0x5A, 0x80};
    EXPECT_EQ(stream, expected);
    EXPECT_EQ(offsets, (std::vector<size_t>{0, 5, 15}));

    const auto units = split_units(stream);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[1].payload, b.payload);
    EXPECT_TRUE(units[2].authentication);
    EXPECT_EQ(units[2].authentication_byte, 0x5A);
    EXPECT_EQ(units[2].payload, Bytes{0x80});
}

TEST(StartCodes, BadUnitsLeaveNoStream)
{
    Bytes stream = {0x11};
    NalUnit too_wide = raw_unit(16, {0x80});
    EXPECT_FALSE(append_unit(stream, too_wide));
    EXPECT_EQ(stream, Bytes{0x11});

    NalUnit failed = raw_unit(kNalSps, {0x80});
    failed.error = "chroma_format does not fit";
    std::vector<size_t> offsets = {7};
    EXPECT_FALSE(concat_units({raw_unit(kNalSps, {0x80}), failed}, &stream, &offsets));
    EXPECT_TRUE(stream.empty());
    EXPECT_TRUE(offsets.empty());
    EXPECT_TRUE(make_stream({failed}).empty());
}
