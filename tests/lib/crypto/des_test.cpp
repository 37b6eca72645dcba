#include <gtest/gtest.h>

#include <cstring>

#include "hex.h"
#include "sec_des.h"
#include "sec_tables.h"

namespace {

struct des_case {
    const char *key, *plain, *cipher;
};

// FIPS 81 appendix B (ECB of "Now is the time for all "), then the variable-plaintext,
// variable-key, permutation and substitution known answers of NIST SP 800-17.
const des_case kDesCases[] = {
    {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"0123456789abcdef", "68652074696d6520", "6a271787ab8883f9"},
    {"0123456789abcdef", "666f7220616c6c20", "893d51ec4b563b53"},
    {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
    {"0101010101010101", "4000000000000000", "dd7f121ca5015619"},
    {"0101010101010101", "2000000000000000", "2e8653104f3834ea"},
    {"0101010101010101", "0000000000000001", "166b40b44aba4bd6"},
    {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
    {"4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
    {"1046913489980131", "0000000000000000", "88d55e54f54c97b4"},
    {"1007103489988020", "0000000000000000", "0c0cc00c83ea48fd"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
    {"0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    {"07a1133e4a0b2686", "0248d43806f67172", "868ebb51cab4599a"},
    {"3849674c2602319e", "51454b582ddf440a", "7178876e01f19b2a"},
    {"04b915ba43feb5b6", "42fd443059577fa2", "af37fb421f8c4095"},
};

std::string set_key_output(des_ctx *ctx, const std::vector<uint8_t> &key)
{
    testing::internal::CaptureStdout();
    des_set_key(ctx, key.data(), static_cast<int32_t>(key.size()));
    return testing::internal::GetCapturedStdout();
}

std::vector<uint8_t> encrypt(const des_ctx &ctx, const std::vector<uint8_t> &in)
{
    std::vector<uint8_t> out(8);
    des_encrypt(&ctx, out.data(), in.data());
    return out;
}

TEST(Des, KnownAnswersEncryptAndDecrypt)
{
    for (const des_case &c : kDesCases) {
        SCOPED_TRACE(c.key + std::string(" / ") + c.plain);
        des_ctx ctx;
        set_key_output(&ctx, from_hex(c.key)); // 0101010101010101 is weak: its message is checked below
        std::vector<uint8_t> block = from_hex(c.plain);
        des_encrypt(&ctx, block.data(), block.data()); // in place
        EXPECT_EQ(to_hex(block), c.cipher);
        des_decrypt(&ctx, block.data(), block.data());
        EXPECT_EQ(to_hex(block), c.plain);
    }
}

TEST(Des, ParityBitsDoNotChangeTheSchedule)
{
    des_ctx odd, even;
    set_key_output(&odd, from_hex("0123456789abcdef"));
    set_key_output(&even, from_hex("0022446688aaccee"));
    EXPECT_EQ(0, std::memcmp(&odd, &even, sizeof(des_ctx)));
}

// Weak keys make encryption an involution; a semi-weak key is undone by its partner.
TEST(Des, WeakAndSemiWeakKeysAreReportedAndStayInUse)
{
    const std::vector<uint8_t> plain = from_hex("0123456789abcdef");
    for (int i = 0; i < 16; i++) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t> key(des_weak_keys[i], des_weak_keys[i] + 8);
        const int partner = i < 4 ? i : (i % 2 == 0 ? i + 1 : i - 1);
        const std::vector<uint8_t> partner_key(des_weak_keys[partner], des_weak_keys[partner] + 8);
        des_ctx ctx, other;
        EXPECT_EQ(set_key_output(&ctx, key), "DES: weak key was set\n");
        set_key_output(&other, partner_key);
        EXPECT_EQ(encrypt(other, encrypt(ctx, plain)), plain);

        // The check ignores parity bits.
        std::vector<uint8_t> flipped = key;
        for (uint8_t &b : flipped)
            b ^= 1;
        EXPECT_EQ(set_key_output(&ctx, flipped), "DES: weak key was set\n");
    }
}

TEST(Des, OrdinaryKeysAreSilent)
{
    des_ctx ctx;
    for (const char *key : {"0123456789abcdef", "0101010101010180", "fefefefefefefeef"})
        EXPECT_EQ(set_key_output(&ctx, from_hex(key)), "") << key;
}

TEST(Des, WrongKeyLengthIsReportedAndTheFirstEightBytesKey)
{
    des_ctx ctx, reference;
    set_key_output(&reference, from_hex("0123456789abcdef"));
    EXPECT_EQ(set_key_output(&ctx, from_hex("0123456789abcdef00112233445566778899aabbccddeeff")),
              "DES: key len 24 error\n");
    EXPECT_EQ(0, std::memcmp(&ctx, &reference, sizeof(des_ctx)));

    // A short key is completed with zero bytes, never read past its end.
    set_key_output(&reference, from_hex("0123450000000000"));
    EXPECT_EQ(set_key_output(&ctx, from_hex("012345")), "DES: key len 3 error\n");
    EXPECT_EQ(0, std::memcmp(&ctx, &reference, sizeof(des_ctx)));
}

} // namespace
