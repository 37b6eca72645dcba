#include <gtest/gtest.h>

#include <climits>

#include "svacwriter/bit_writer.h"
#include "test_reader.h"

using svacwriter::BitWriter;
using writer_test::bit_string;
using writer_test::BitReader;

namespace {

int code_length(uint64_t code_num)
{
    int bits = 0;
    for (uint64_t x = code_num + 1; x > 1; x >>= 1)
        ++bits;
    return 2 * bits + 1;
}

} // namespace

TEST(BitWriterCodes, ShortCodesHaveTheirBitPatterns)
{
    struct Case {
        const char* kind;
        int64_t value;
        int order;
        const char* bits;
    } cases[] = {
        {"ue", 0, 0, "1"},      {"ue", 1, 0, "010"},    {"ue", 2, 0, "011"},
        {"ue", 3, 0, "00100"},  {"ue", 7, 0, "0001000"},
        {"se", 0, 0, "1"},      {"se", 1, 0, "010"},    {"se", -1, 0, "011"},
        {"se", 2, 0, "00100"},  {"se", -2, 0, "00101"},
        {"uek", 2, 2, "110"},   {"uek", 5, 2, "01001"}, {"uek", 0, 3, "1000"},
    };
    for (const Case& c : cases) {
        BitWriter w;
        if (std::string(c.kind) == "ue")
            w.put_ue(static_cast<uint32_t>(c.value));
        else if (std::string(c.kind) == "se")
            w.put_se(static_cast<int32_t>(c.value));
        else
            w.put_ue_k(static_cast<uint32_t>(c.value), c.order);
        EXPECT_EQ(bit_string(w.bytes(), w.bit_count()), c.bits) << c.kind << " " << c.value;
    }
}

TEST(BitWriterCodes, UnsignedRoundTripAndLength)
{
    const uint32_t values[] = {0, 1, 2, 30, 31, 254, 255, 256, 65534, 65535, 1u << 24,
                               0x7FFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF};
    for (uint32_t v : values) {
        BitWriter w;
        w.put_bits(5, 3);  // misalign, and a marker on each side
        w.put_ue(v);
        w.put_bits(6, 3);
        ASSERT_TRUE(w.ok());
        EXPECT_EQ(w.bit_count(), 6u + static_cast<uint64_t>(code_length(v))) << v;
        BitReader r(w.bytes());
        EXPECT_EQ(r.u(3), 5u);
        EXPECT_EQ(r.ue(), v);
        EXPECT_EQ(r.u(3), 6u) << v;
    }
}

TEST(BitWriterCodes, SignedAndHigherOrderRoundTrip)
{
    const int32_t values[] = {0, 1, -1, 15, -15, 16, -16, 127, -128, 32767, -32768, INT32_MAX, INT32_MIN};
    BitWriter w;
    for (int32_t v : values)
        w.put_se(v);
    const uint32_t unsigned_values[] = {0, 1, 3, 4, 1000, 65535, 0xFFFFFFFF};
    for (int k = 0; k <= 5; ++k)
        for (uint32_t v : unsigned_values)
            w.put_ue_k(v, k);
    ASSERT_TRUE(w.ok());

    BitReader r(w.bytes(), static_cast<int64_t>(w.bit_count()));
    for (int32_t v : values)
        EXPECT_EQ(r.se(), v);
    for (int k = 0; k <= 5; ++k)
        for (uint32_t v : unsigned_values)
            EXPECT_EQ(r.ue_k(k), v) << "k=" << k;
    EXPECT_EQ(r.pos(), r.length());
}

TEST(BitWriterFixed, EveryWidthRoundTrips)
{
    BitWriter w;
    for (int n = 0; n <= 32; ++n) {
        const uint32_t v = n == 0 ? 0 : static_cast<uint32_t>((0xA5A5A5A5ull ^ n) & ((1ull << n) - 1));
        w.put_bits(v, n);
    }
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w.bit_count(), 32u * 33u / 2u);
    BitReader r(w.bytes());
    for (int n = 1; n <= 32; ++n)
        EXPECT_EQ(r.u(n), (0xA5A5A5A5ull ^ n) & ((1ull << n) - 1)) << "width " << n;
}

TEST(BitWriterFixed, BadArgumentsWriteNothingAndFail)
{
    BitWriter w;
    w.put_bits(4, 2);     // does not fit
    EXPECT_FALSE(w.ok());
    const std::string first = w.error();
    w.put_bits(0, 33);    // width too large
    w.put_ue_k(1, 32);    // order too large
    w.put_bits(3, 2);     // still written
    EXPECT_EQ(w.error(), first);
    EXPECT_EQ(bit_string(w.bytes(), w.bit_count()), "11");
}

TEST(BitWriterFixed, TrailingBitsAndAlignment)
{
    struct Case {
        int bits_before;
        std::vector<uint8_t> expected;
    } cases[] = {
        {0, {0x80}},
        {1, {0xC0}},        // 1, stop bit, zeros
        {3, {0xB0}},        // 101 1 0000
        {7, {0xAB}},        // 1010101 1
        {8, {0xAA, 0x80}},
    };
    for (const Case& c : cases) {
        BitWriter w;
        for (int i = 0; i < c.bits_before; ++i)
            w.put_bit(i % 2 == 0);
        w.put_trailing_bits();
        EXPECT_TRUE(w.byte_aligned());
        EXPECT_EQ(w.bytes(), c.expected) << c.bits_before;
    }

    BitWriter w;
    w.align_zero();
    EXPECT_EQ(w.bit_count(), 0u);
    w.put_bit(true);
    w.align_zero();
    const uint8_t data[] = {0x00, 0xFF};
    w.put_bytes(data, 2);
    w.put_bit(true);
    w.put_bytes(data, 2);  // unaligned: bit by bit
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{0x80, 0x00, 0xFF, 0x80, 0x7F, 0x80}));
}
