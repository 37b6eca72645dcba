// The cipher and hash registry: which types exist, that each slot runs its own algorithm,
// block-by-block processing with a short tail, and keying.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../crypto/hex.h"
#include "sec_registry.h"
#include "sidedata_fixture.h"
#include "svacwriter/unit_encryptor.h"

using sidedata_test::printed;

namespace {

TEST(SecRegistry, CipherTypes)
{
    struct Case {
        int32_t type;
        bool made;
        std::string message;
    };
    const Case cases[] = {
        {-1, false, ""}, {0, false, "unimplemented encryption type: 0\n"}, {1, true, ""}, {2, true, ""},
        {3, false, ""},  {15, false, ""},
    };
    for (const Case &c : cases) {
        cipher_obj *obj = nullptr;
        EXPECT_EQ(printed([&] { obj = cipher_create(c.type); }), c.message) << c.type;
        EXPECT_EQ(obj != nullptr, c.made) << c.type;
        cipher_free(obj);
    }
    cipher_free(nullptr);
}

TEST(SecRegistry, HashSlotsGiveTheirStandardDigests)
{
    const std::string digests[] = {
        "900150983cd24fb0d6963f7d28e17f72",
        "a9993e364706816aba3e25717850c26c9cd0d89d",
        "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7",
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7",
        "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
    };
    for (int32_t type = 0; type < 6; ++type) {
        hash_obj *h = hash_create(type);
        ASSERT_NE(h, nullptr) << type;
        EXPECT_EQ(hash_size(h) * 2, static_cast<int32_t>(digests[type].size())) << type;
        EXPECT_EQ(hash_init(h), 0);
        hash_update(h, reinterpret_cast<const uint8_t *>("a"), 1);
        hash_update(h, reinterpret_cast<const uint8_t *>("bc"), 2);
        uint8_t out[64];
        hash_final(h, out);
        EXPECT_EQ(to_hex(out, static_cast<size_t>(hash_size(h))), digests[type]) << type;
        hash_free(h);
    }
    for (int32_t type : {-1, 6, 7}) {
        hash_obj *h = nullptr;
        EXPECT_EQ(printed([&] { h = hash_create(type); }), type == 6 ? "unimplemented hash type: 6\n" : "");
        EXPECT_EQ(h, nullptr);
    }
}

TEST(SecRegistry, SignTypesNeverExist)
{
    for (int32_t type : {0, 1, 2, 3, 15}) {
        sign_obj *s = reinterpret_cast<sign_obj *>(1);
        const std::string out = printed([&] { s = sign_create(type); });
        EXPECT_EQ(out, type <= 2 ? "unimplemented sign type: " + std::to_string(type) + "\n" : "");
        EXPECT_EQ(s, nullptr);
    }
}

// AES-128 example of the standard: key 00..0f, plaintext 00112233..ff.
const std::vector<uint8_t> aes_key = from_hex("000102030405060708090a0b0c0d0e0f");
const std::vector<uint8_t> aes_plain = from_hex("00112233445566778899aabbccddeeff");
const std::string aes_cipher = "69c4e0d86a7b0430d8cdb78070b4c55a";

TEST(SecRegistry, BlocksInPlaceWithAShortTail)
{
    cipher_obj *c = cipher_create(2);
    ASSERT_NE(c, nullptr);
    cipher_set_key(c, aes_key.data(), 16);
    // 37 bytes: two whole blocks, then 5 bytes through a zero-padded block.
    std::vector<uint8_t> buf;
    for (int i = 0; i < 2; ++i)
        buf.insert(buf.end(), aes_plain.begin(), aes_plain.end());
    const std::vector<uint8_t> tail = {1, 2, 3, 4, 5};
    buf.insert(buf.end(), tail.begin(), tail.end());
    cipher_encrypt(c, buf.data(), buf.data(), 37);
    EXPECT_EQ(to_hex(buf.data(), 16), aes_cipher);
    EXPECT_EQ(to_hex(buf.data() + 16, 16), aes_cipher);
    std::vector<uint8_t> padded_tail(16, 0);
    std::copy(tail.begin(), tail.end(), padded_tail.begin());
    cipher_encrypt(c, padded_tail.data(), padded_tail.data(), 16);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 32, buf.end()),
              std::vector<uint8_t>(padded_tail.begin(), padded_tail.begin() + 5));

    cipher_decrypt(c, buf.data(), buf.data(), 32);
    EXPECT_EQ(to_hex(buf.data(), 16), to_hex(aes_plain));
    cipher_free(c);
}

TEST(SecRegistry, RejectedKeyLengthLeavesNoEarlierKey)
{
    cipher_obj *c = cipher_create(2);
    ASSERT_NE(c, nullptr);
    const std::vector<uint8_t> zero(484, 0);
    EXPECT_EQ(std::memcmp(c->key_ctx, zero.data(), 484), 0) << "objects start zeroed";
    cipher_set_key(c, aes_key.data(), 16);
    const std::vector<uint8_t> long_key(20, 7);
    EXPECT_EQ(printed([&] { cipher_set_key(c, long_key.data(), 20); }),
              "AES: key len 20 error, must 16, 24 or 32 bytes\n");
    EXPECT_EQ(std::memcmp(c->key_ctx, zero.data(), 484), 0);
    cipher_free(c);
}

TEST(UnitEncryptor, MatchesTheDecoderCiphers)
{
    svacwriter::UnitEncryptor enc;
    EXPECT_FALSE(enc.set_key(2, aes_key.data(), 20));
    EXPECT_FALSE(enc.set_key(3, aes_key.data(), 16));
    EXPECT_FALSE(enc.set_key(1, aes_key.data(), 16));
    ASSERT_TRUE(enc.set_key(2, aes_key.data(), 16));
    EXPECT_EQ(to_hex(enc.encrypt_bytes(aes_plain.data(), 16)), aes_cipher);

    // DES example: key 133457799BBCDFF1, plaintext 0123456789ABCDEF.
    const std::vector<uint8_t> des_key = from_hex("133457799bbcdff1");
    ASSERT_TRUE(enc.set_key(1, des_key.data(), 8));
    const std::vector<uint8_t> plain = from_hex("0123456789abcdef");
    EXPECT_EQ(to_hex(enc.encrypt_bytes(plain.data(), 8)), "85e813540f0ab405");

    // A unit: padded to whole blocks behind its stop bit, encryption bit set.
    svacwriter::NalUnit unit;
    unit.header = svacwriter::nal_header(svacwriter::kNalExtension);
    unit.payload = {0x80};
    ASSERT_TRUE(enc.encrypt(unit));
    EXPECT_TRUE(unit.header.encryption_flag);
    EXPECT_EQ(unit.payload.size() % 8, 0u);
    EXPECT_NE(unit.payload.back(), 0);
}

} // namespace
