#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "hex.h"
#include "sec_hash.h"

namespace {

// Digest of msg fed in pieces of `chunk` bytes (0: one call).
using digest_fn = std::string (*)(const std::string &msg, size_t chunk);

template <typename Ctx, int (*Init)(Ctx *), void (*Update)(Ctx *, const uint8_t *, int32_t),
          void (*Final)(Ctx *, uint8_t *), int Size>
std::string digest(const std::string &msg, size_t chunk)
{
    Ctx ctx;
    EXPECT_EQ(Init(&ctx), 0);
    const auto *p = reinterpret_cast<const uint8_t *>(msg.data());
    if (chunk == 0)
        chunk = msg.size() ? msg.size() : 1;
    for (size_t at = 0; at < msg.size(); at += chunk)
        Update(&ctx, p + at, static_cast<int32_t>(std::min(chunk, msg.size() - at)));
    Update(&ctx, p, 0);
    Update(&ctx, p, -5);
    uint8_t out[64 + 1];
    out[Size] = 0xEE;
    Final(&ctx, out);
    EXPECT_EQ(out[Size], 0xEE) << "digest longer than " << Size;
    return to_hex(out, Size);
}

struct algo {
    const char *name;
    digest_fn fn;
};

const algo kMd5 = {"MD5", digest<md5_ctx, md5_init, md5_update, md5_final, 16>};
const algo kSha1 = {"SHA-1", digest<sha1_ctx, sha1_init, sha1_update, sha1_final, 20>};
const algo kSha224 = {"SHA-224", digest<sha256_ctx, sha224_init, sha224_update, sha224_final, 28>};
const algo kSha256 = {"SHA-256", digest<sha256_ctx, sha256_init, sha256_update, sha256_final, 32>};
const algo kSha384 = {"SHA-384", digest<sha512_ctx, sha384_init, sha384_update, sha384_final, 48>};
const algo kSha512 = {"SHA-512", digest<sha512_ctx, sha512_init, sha512_update, sha512_final, 64>};
const algo kAll[] = {kMd5, kSha1, kSha224, kSha256, kSha384, kSha512};

// 56 bytes: the length no longer fits the first block. 112 bytes: likewise for 128-byte blocks.
const std::string k56 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string k112 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
    "lmnopqrsmnopqrstnopqrstu";
const std::string kMillionA(1000000, 'a');

struct hash_case {
    const algo &a;
    const std::string &msg;
    const char *digest;
};

const std::string kEmpty;
const std::string kAbc = "abc";
const std::string kMessageDigest = "message digest";
const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";
const std::string kDigits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

// RFC 1321 appendix A.5; FIPS 180 examples (one block, two blocks, one million "a").
const hash_case kCases[] = {
    {kMd5, kEmpty, "d41d8cd98f00b204e9800998ecf8427e"},
    {kMd5, kAbc, "900150983cd24fb0d6963f7d28e17f72"},
    {kMd5, kMessageDigest, "f96b697d7cb7938d525a2f31aaf161d0"},
    {kMd5, kAlphabet, "c3fcd3d76192e4007dfb496cca67e13b"},
    {kMd5, kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},
    {kSha1, kEmpty, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {kSha1, kAbc, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {kSha1, k56, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {kSha1, kMillionA, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {kSha224, kEmpty, "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
    {kSha224, kAbc, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
    {kSha224, k56, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
    {kSha224, kMillionA, "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},
    {kSha256, kEmpty, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {kSha256, kAbc, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {kSha256, k56, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {kSha256, kMillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {kSha384, kEmpty,
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {kSha384, kAbc,
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {kSha384, k112,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {kSha384, kMillionA,
     "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},
    {kSha512, kEmpty,
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
     "63b931bd47417a81a538327af927da3e"},
    {kSha512, kAbc,
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
     "454d4423643ce80e2a9ac94fa54ca49f"},
    {kSha512, k112,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
     "c7d329eeb6dd26545e96e55b874be909"},
    {kSha512, kMillionA,
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
     "eb009c5c2c49aa2e4eadb217ad8cc09b"},
};

TEST(Hash, PublishedDigests)
{
    for (const hash_case &c : kCases) {
        SCOPED_TRACE(std::string(c.a.name) + " of " + std::to_string(c.msg.size()) + " bytes");
        EXPECT_EQ(c.a.fn(c.msg, 0), c.digest);
    }
}

TEST(Hash, PiecewiseUpdatesEqualOneCall)
{
    std::string msg;
    for (int i = 0; i < 700; i++)
        msg += static_cast<char>(i * 37 + 11);
    for (const algo &a : kAll) {
        SCOPED_TRACE(a.name);
        const std::string whole = a.fn(msg, 0);
        for (size_t chunk : {1, 3, 55, 63, 64, 65, 111, 127, 128, 129, 333})
            EXPECT_EQ(a.fn(msg, chunk), whole) << "pieces of " << chunk;
    }
}

// The padding of a message must be exactly what the standard appends: hashing the message,
// then continuing from its digest over the padded message plus more data, must match
// hashing the padded message plus that data in one go. Checked at every length around
// the block boundaries, where the padding spills into an extra block.
struct resumable {
    const algo &a;
    int block;
    int length_bytes;
    bool little_endian;
    // Digest of `more` when starting from the state in `digest` after `done` bytes.
    std::string (*resume)(const std::vector<uint8_t> &digest, uint64_t done, const std::string &more);
};

uint64_t word_at(const std::vector<uint8_t> &d, int i, int size, bool little_endian)
{
    uint64_t w = 0;
    for (int b = 0; b < size; b++)
        w = little_endian ? w | (static_cast<uint64_t>(d[i * size + b]) << (8 * b))
                          : (w << 8) | d[i * size + b];
    return w;
}

template <typename Ctx, void (*Update)(Ctx *, const uint8_t *, int32_t),
          void (*Final)(Ctx *, uint8_t *), int Words, int WordSize, bool LittleEndian>
std::string resume(const std::vector<uint8_t> &digest, uint64_t done, const std::string &more)
{
    Ctx ctx{};
    for (int i = 0; i < Words; i++)
        ctx.state[i] = static_cast<std::remove_reference_t<decltype(ctx.state[0])>>(word_at(digest, i, WordSize, LittleEndian));
    if constexpr (sizeof(ctx.count) == 16) {
        ctx.count[0] = done;
    } else {
        ctx.count = done;
    }
    Update(&ctx, reinterpret_cast<const uint8_t *>(more.data()), static_cast<int32_t>(more.size()));
    uint8_t out[64];
    Final(&ctx, out);
    return to_hex(out, Words * WordSize);
}

const resumable kResumable[] = {
    {kMd5, 64, 8, true, resume<md5_ctx, md5_update, md5_final, 4, 4, true>},
    {kSha1, 64, 8, false, resume<sha1_ctx, sha1_update, sha1_final, 5, 4, false>},
    {kSha256, 64, 8, false, resume<sha256_ctx, sha256_update, sha256_final, 8, 4, false>},
    {kSha512, 128, 16, false, resume<sha512_ctx, sha512_update, sha512_final, 8, 8, false>},
};

std::string standard_padding(size_t n, int block, int length_bytes, bool little_endian)
{
    std::string pad(1, '\x80');
    while ((n + pad.size()) % block != static_cast<size_t>(block - length_bytes))
        pad += '\0';
    const uint64_t bits = static_cast<uint64_t>(n) * 8;
    std::string len(length_bytes, '\0');
    for (int b = 0; b < 8; b++) {
        const char byte = static_cast<char>(bits >> (8 * b));
        if (little_endian)
            len[b] = byte;
        else
            len[length_bytes - 1 - b] = byte;
    }
    return pad + len;
}

TEST(Hash, PaddingAtBlockBoundaries)
{
    const std::string more = "tail after the padded message";
    for (const resumable &r : kResumable) {
        SCOPED_TRACE(r.a.name);
        const int b = r.block;
        for (int n : {0, 1, b - r.length_bytes - 2, b - r.length_bytes - 1, b - r.length_bytes,
                      b - r.length_bytes + 1, b - 1, b, b + 1, 2 * b - r.length_bytes - 1,
                      2 * b - r.length_bytes}) {
            SCOPED_TRACE(n);
            const std::string msg(static_cast<size_t>(n), 'a');
            const std::string padded = msg + standard_padding(msg.size(), b, r.length_bytes,
                                                              r.little_endian);
            ASSERT_EQ(padded.size() % b, 0u);
            const std::vector<uint8_t> d = from_hex(r.a.fn(msg, 0));
            EXPECT_EQ(r.resume(d, padded.size(), more), r.a.fn(padded + more, 0));
        }
    }
}

} // namespace
