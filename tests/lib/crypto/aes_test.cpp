#include <gtest/gtest.h>

#include <cstring>

#include "hex.h"
#include "sec_aes.h"
#include "sec_tables.h"

namespace {

struct aes_case {
    const char *key, *plain, *cipher;
    int last_word_index;
    const char *last_word; // the last word of the key expansion, in key-byte order
};

// FIPS 197 appendix B and appendix C.1 to C.3; the expanded-key words from appendix A.
const aes_case kAesCases[] = {
    {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32", 43, "b6630ca6"},
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a", -1, nullptr},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191", -1, nullptr},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", -1, nullptr},
    {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", "00112233445566778899aabbccddeeff",
     nullptr, 51, "01002202"},
    {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "00112233445566778899aabbccddeeff", nullptr, 59, "706c631e"},
};

// Round-key words hold their first byte in the least significant bits.
std::string word_bytes(const uint32_t *words, int count)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; i++)
        for (int b = 0; b < 4; b++)
            bytes.push_back(static_cast<uint8_t>(words[i] >> (8 * b)));
    return to_hex(bytes);
}

std::string set_key_output(aes_ctx *ctx, const std::vector<uint8_t> &key)
{
    testing::internal::CaptureStdout();
    aes_set_key(ctx, key.data(), static_cast<int32_t>(key.size()));
    return testing::internal::GetCapturedStdout();
}

TEST(Aes, KnownAnswersEncryptAndDecrypt)
{
    for (const aes_case &c : kAesCases) {
        SCOPED_TRACE(c.key);
        const std::vector<uint8_t> key = from_hex(c.key);
        aes_ctx ctx{};
        EXPECT_EQ(set_key_output(&ctx, key), "");
        EXPECT_EQ(ctx.key_len, static_cast<int32_t>(key.size()));
        EXPECT_EQ(word_bytes(ctx.enc_keys, static_cast<int>(key.size()) / 4), c.key);
        if (c.last_word) {
            EXPECT_EQ(word_bytes(&ctx.enc_keys[c.last_word_index], 1), c.last_word);
        }

        const std::vector<uint8_t> plain = from_hex(c.plain);
        std::vector<uint8_t> out(16), back(16);
        aes_encrypt(&ctx, out.data(), plain.data());
        if (c.cipher) {
            EXPECT_EQ(to_hex(out), c.cipher);
        }
        aes_decrypt(&ctx, back.data(), out.data());
        EXPECT_EQ(back, plain);

        // In place.
        std::vector<uint8_t> block = plain;
        aes_encrypt(&ctx, block.data(), block.data());
        EXPECT_EQ(block, out);
        aes_decrypt(&ctx, block.data(), block.data());
        EXPECT_EQ(block, plain);
    }
}

TEST(Aes, InverseSboxUndoesSbox)
{
    for (int x = 0; x < 256; x++)
        EXPECT_EQ(aes_inv_sbox[aes_sbox[x]], x) << x;
}

TEST(Aes, RejectedKeyLengthLeavesTheContextAsItWas)
{
    const std::vector<uint8_t> key = from_hex("000102030405060708090a0b0c0d0e0f");
    const std::vector<uint8_t> long_key(33, 0x5A);
    for (int len : {0, 8, 15, 17, 20, 31, 33}) {
        SCOPED_TRACE(len);
        aes_ctx fresh{};
        aes_ctx keyed{};
        set_key_output(&keyed, key);
        for (aes_ctx *ctx : {&fresh, &keyed}) {
            const aes_ctx before = *ctx;
            const std::vector<uint8_t> bad(long_key.begin(), long_key.begin() + len);
            EXPECT_EQ(set_key_output(ctx, bad), "AES: key len " + std::to_string(len) +
                                                    " error, must 16, 24 or 32 bytes\n");
            EXPECT_EQ(0, std::memcmp(&before, ctx, sizeof(aes_ctx)));
        }
        // The earlier key still works.
        uint8_t block[16];
        const std::vector<uint8_t> plain = from_hex("00112233445566778899aabbccddeeff");
        aes_encrypt(&keyed, block, plain.data());
        EXPECT_EQ(to_hex(block, 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
    }
}

} // namespace
