#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitstream.h"
#include "frontend_fixture.h"

namespace {

using frontend_test::printed;

// A reader over a bit string such as "0 0100", with the decoder's zero padding behind it.
struct Bits {
    explicit Bits(const std::string &text)
    {
        int32_t n = 0;
        for (char c : text) {
            if (c != '0' && c != '1')
                continue;
            if (n % 8 == 0)
                bytes.push_back(0);
            if (c == '1')
                bytes.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
            ++n;
        }
        const int32_t payload = static_cast<int32_t>(bytes.size());
        bytes.resize(bytes.size() + BIT_READER_PADDING, 0);
        bit_reader_init(&br, bytes.data(), n, payload + BIT_READER_PADDING);
    }
    std::vector<uint8_t> bytes;
    bit_reader br{};
};

TEST(BitReader, ExpGolombCodesOfEveryLength)
{
    struct Case { const char *bits; int32_t ue, se; int32_t length; };
    const Case cases[] = {
        {"1", 0, 0, 1},
        {"010", 1, 1, 3},
        {"011", 2, -1, 3},
        {"00100", 3, 2, 5},
        {"000011111", 30, -15, 9},                  // longest table code
        {"0000011111 1", 62, -31, 11},              // first computed code
        {"000000000000000 1111111111111111", 65534, -32767, 31},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bits);
        Bits a(std::string(c.bits) + "1"), b(std::string(c.bits) + "1");
        EXPECT_EQ(read_ue(&a.br), c.ue);
        EXPECT_EQ(a.br.position, c.length);
        EXPECT_EQ(read_se(&b.br), c.se);
        EXPECT_EQ(b.br.position, c.length);
        EXPECT_EQ(read_bits(&a.br, 1), 1u) << "the next read starts right behind the code";
    }
}

TEST(BitReader, LongCodesAtEveryBitOffset)
{
    // Codes of 25 to 31 bits, all ones behind the prefix: they pass a 32-bit window's sure bits
    // when they start late in a byte.
    for (int zeros = 12; zeros <= 15; ++zeros)
        for (int offset = 0; offset < 8; ++offset) {
            SCOPED_TRACE("zeros " + std::to_string(zeros) + ", offset " + std::to_string(offset));
            const std::string code = std::string(zeros, '0') + std::string(zeros + 1, '1');
            Bits a(std::string(offset, '1') + code + "0"), b(std::string(offset, '1') + code + "0");
            read_bits(&a.br, offset);
            read_bits(&b.br, offset);
            EXPECT_EQ(read_ue(&a.br), (1 << (zeros + 1)) - 2);
            EXPECT_EQ(a.br.position, offset + 2 * zeros + 1);
            EXPECT_EQ(get_ue_code(&b.br, 2), static_cast<uint32_t>((1 << (zeros + 1)) - 2) << 2);
            EXPECT_EQ(b.br.position, offset + 2 * zeros + 3);
        }
}

TEST(BitReader, ExpGolombCodesAsTheReadableBytesRunOut)
{
    // Each code at every bit offset, with 0 to 8 readable bytes behind the payload and the buffer
    // ending with them: the code reads alike whether its 64-bit window lies in the readable bytes
    // or not, and no read passes them (the sanitizer pass sees one that does).
    struct Case { const char *bits; int32_t ue, se; };
    const Case cases[] = {
        {"1", 0, 0},
        {"00111", 6, -3},
        {"000000000000000 1000000000000001", 32768, -16384},   // 15 zeros: the longest inline code
        {"0000000000000000 10000000000000000", -3, 32768},      // 16 zeros
    };
    for (const Case &c : cases)
        for (int offset = 0; offset < 8; ++offset)
            for (int32_t slack = 0; slack <= 8; ++slack) {
                SCOPED_TRACE(std::string(c.bits) + ", offset " + std::to_string(offset) + ", slack " +
                             std::to_string(slack));
                const Bits code(std::string(offset, '1') + c.bits);
                const int32_t length = code.br.length;
                const int32_t avail = (length + 7) / 8 + slack;
                const std::vector<uint8_t> readable(code.bytes.begin(), code.bytes.begin() + avail);
                bit_reader a{}, b{};
                bit_reader_init(&a, readable.data(), length, avail);
                bit_reader_init(&b, readable.data(), length, avail);
                read_bits(&a, offset);
                read_bits(&b, offset);
                int32_t ue = 0;
                printed([&] { ue = read_ue(&a); });
                EXPECT_EQ(ue, c.ue);
                EXPECT_EQ(read_se(&b), c.se);
                EXPECT_EQ(b.position, length);
                if (c.ue >= 0) {
                    EXPECT_EQ(a.position, length);
                }
            }
}

TEST(BitReader, OverlongUeCodeFailsButSeDecodesIt)
{
    const std::string code = std::string(16, '0') + "1" + std::string(16, '0');
    Bits a(code), b(code);
    int32_t value = 0;
    const std::string line = printed([&] { value = read_ue(&a.br); });
    EXPECT_EQ(value, -3);
    EXPECT_NE(line.find("log >= 0 failed at "), std::string::npos) << line;
    EXPECT_EQ(read_se(&b.br), 32768);
    EXPECT_EQ(b.br.position, 33);

    Bits zeros(std::string(80, '0'));
    printed([&] { read_ue(&zeros.br); });
    EXPECT_EQ(zeros.br.position, 63) << "an all-zero window";
}

TEST(BitReader, OnlyTheStartOfAReadIsChecked)
{
    Bits b("101 1");   // payload 101, then the stop bit
    b.br.length = 3;
    EXPECT_EQ(read_bits(&b.br, 3), 5u);
    EXPECT_EQ(read_bits(&b.br, 8), 0x80u) << "a read at the length runs to its full width";
    EXPECT_FALSE(bit_reader_exhausted(&b.br));

    Bits c("101 1");
    c.br.length = 3;
    EXPECT_EQ(read_bits(&c.br, 4), 0xBu);
    EXPECT_EQ(read_bits(&c.br, 8), 0u) << "a read behind the length";
    EXPECT_TRUE(bit_reader_exhausted(&c.br));
    EXPECT_EQ(read_ue(&c.br), 0);
    EXPECT_EQ(read_se(&c.br), 0);
    skip_bits(&c.br, 3);
    EXPECT_EQ(c.br.position, 4) << "an exhausted reader stays where it stopped";
}

TEST(BitReader, SingleBitsBehindThePayloadAreZeroAndLeaveTheStateAlone)
{
    Bits b("1");
    b.bytes[0] = 0xFF;
    b.br.length = 1;
    EXPECT_EQ(read_bit(&b.br), 1u);
    EXPECT_EQ(read_bit(&b.br), 1u) << "the stop bit position still reads";
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(read_bit(&b.br), 0u);
    EXPECT_FALSE(bit_reader_exhausted(&b.br));
    EXPECT_LT(bits_left(&b.br), 1);
}

TEST(BitReader, WidthsOutsideTheWindow)
{
    Bits b("1111 0000 1010 0101 1100 0011 1001 0110 1");
    EXPECT_EQ(read_bits(&b.br, 0), 0u);
    EXPECT_EQ(b.br.position, 0);
    EXPECT_EQ(read_bits(&b.br, 32), 0xF0A5C396u);
    Bits c("1111 0000 1010 0101 1100 0011 1001 0110 1");
    EXPECT_EQ(read_bits(&c.br, 4), 0xFu);
    EXPECT_EQ(read_bits(&c.br, 29), 0x0A5C396u << 1 | 1u);
    std::string line = printed([&] { EXPECT_EQ(read_bits(&c.br, 40), 0u); });
    EXPECT_NE(line.find("n>0 && n<=25 failed at "), std::string::npos) << line;
}

TEST(BitReader, ExpGolombOfHigherOrder)
{
    Bits a("1 10 1"), b("010 01 1");
    EXPECT_EQ(get_ue_code(&a.br, 2), 2u);
    EXPECT_EQ(get_ue_code(&b.br, 2), 5u);
    EXPECT_EQ(b.br.position, 5);
}

TEST(BitReader, ByteAlignAndBitsLeft)
{
    Bits b("101 00000 1111");
    read_bits(&b.br, 3);
    byte_align(&b.br);
    EXPECT_EQ(b.br.position, 8);
    EXPECT_EQ(bits_left(&b.br), 4);
    byte_align(&b.br);
    EXPECT_EQ(b.br.position, 8);
}

TEST(BitReader, ReadsNeverLeaveTheReadableBytes)
{
    // A reader whose readable bytes end with the payload: windows behind it read zeros.
    std::vector<uint8_t> one = {0xFF};
    bit_reader br{};
    bit_reader_init(&br, one.data(), 8, 1);
    EXPECT_EQ(read_bits(&br, 25), 0x1FE0000u);
    bit_reader_init(&br, one.data(), 8, 1);
    read_bits(&br, 8);
    EXPECT_EQ(read_se(&br), 0) << "a code behind the readable bytes";
}

} // namespace
