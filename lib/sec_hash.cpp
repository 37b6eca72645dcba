#include "sec_hash.h"

#include <cstring>

#include "sec_tables.h"

namespace {

inline uint32_t rotl32(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint32_t rotr32(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline uint64_t rotr64(uint64_t x, int n)
{
    return (x >> n) | (x << (64 - n));
}

uint32_t load_be32(const uint8_t *p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint64_t load_be64(const uint8_t *p)
{
    return (static_cast<uint64_t>(load_be32(p)) << 32) | load_be32(p + 4);
}

uint32_t load_le32(const uint8_t *p)
{
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void store_be(uint8_t *p, uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--) {
        p[i] = static_cast<uint8_t>(v);
        v >>= 8;
    }
}

void store_le(uint8_t *p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++) {
        p[i] = static_cast<uint8_t>(v);
        v >>= 8;
    }
}

// Feeds data through a block buffer; `used` is the byte count before this call modulo
// the block size. compress runs on every completed block.
template <int BLOCK, typename Ctx, typename Compress>
void absorb(Ctx *ctx, uint8_t *block, uint64_t used, const uint8_t *data, int32_t len,
            Compress compress)
{
    if (data == nullptr || len <= 0)
        return;
    size_t fill = static_cast<size_t>(used % BLOCK);
    size_t left = static_cast<size_t>(len);
    if (fill) {
        const size_t take = left < BLOCK - fill ? left : BLOCK - fill;
        std::memcpy(block + fill, data, take);
        data += take;
        left -= take;
        fill += take;
        if (fill < BLOCK)
            return;
        compress(ctx, block);
    }
    for (; left >= BLOCK; left -= BLOCK, data += BLOCK)
        compress(ctx, data);
    std::memcpy(block, data, left);
}

// Appends 0x80 and zeros so that `length_bytes` bytes remain free in the last block.
template <int BLOCK, typename Ctx, typename Compress>
uint8_t *pad(Ctx *ctx, uint8_t *block, uint64_t count, int length_bytes, Compress compress)
{
    size_t used = static_cast<size_t>(count % BLOCK);
    block[used++] = 0x80;
    if (used > BLOCK - static_cast<size_t>(length_bytes)) {
        std::memset(block + used, 0, BLOCK - used);
        compress(ctx, block);
        used = 0;
    }
    std::memset(block + used, 0, BLOCK - length_bytes - used);
    return block + BLOCK - length_bytes;
}

// ---- MD5 ----

void md5_compress(md5_ctx *ctx, const uint8_t *p)
{
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = load_le32(p + 4 * i);
    uint32_t a = ctx->state[0], b = ctx->state[1], c = ctx->state[2], d = ctx->state[3];
    for (int i = 0; i < 64; i++) {
        const int round = i / 16;
        uint32_t f;
        int g;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (b & d) | (c & ~d); g = (1 + 5 * i) & 15; break;
        case 2: f = b ^ c ^ d; g = (5 + 3 * i) & 15; break;
        default: f = c ^ (b | ~d); g = (7 * i) & 15; break;
        }
        const uint32_t t = b + rotl32(a + f + x[g] + md5_t[i], md5_shift[round][i & 3]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
}

// ---- SHA-1 ----

void sha1_compress(sha1_ctx *ctx, const uint8_t *p)
{
    uint32_t w[80];
    for (int t = 0; t < 16; t++)
        w[t] = load_be32(p + 4 * t);
    for (int t = 16; t < 80; t++)
        w[t] = rotl32(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = ctx->state[0], b = ctx->state[1], c = ctx->state[2], d = ctx->state[3],
             e = ctx->state[4];
    for (int t = 0; t < 80; t++) {
        uint32_t f;
        if (t < 20)
            f = (b & c) ^ (~b & d);
        else if (t < 40 || t >= 60)
            f = b ^ c ^ d;
        else
            f = (b & c) ^ (b & d) ^ (c & d);
        const uint32_t temp = rotl32(a, 5) + f + e + sha1_k[t / 20] + w[t];
        e = d;
        d = c;
        c = rotl32(b, 30);
        b = a;
        a = temp;
    }
    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
    ctx->state[4] += e;
}

// ---- SHA-256 ----

void sha256_compress(sha256_ctx *ctx, const uint8_t *p)
{
    uint32_t w[64];
    for (int t = 0; t < 16; t++)
        w[t] = load_be32(p + 4 * t);
    for (int t = 16; t < 64; t++) {
        const uint32_t s0 = rotr32(w[t - 15], 7) ^ rotr32(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = rotr32(w[t - 2], 17) ^ rotr32(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t v[8];
    std::memcpy(v, ctx->state, sizeof(v));
    for (int t = 0; t < 64; t++) {
        const uint32_t big1 = rotr32(v[4], 6) ^ rotr32(v[4], 11) ^ rotr32(v[4], 25);
        const uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + big1 + ch + sha256_k[t] + w[t];
        const uint32_t big0 = rotr32(v[0], 2) ^ rotr32(v[0], 13) ^ rotr32(v[0], 22);
        const uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        std::memmove(v + 1, v, 7 * sizeof(uint32_t));
        v[4] += t1;
        v[0] = t1 + big0 + maj;
    }
    for (int i = 0; i < 8; i++)
        ctx->state[i] += v[i];
}

void sha256_finish(sha256_ctx *ctx, uint8_t *digest, int words)
{
    uint8_t *len = pad<64>(ctx, ctx->block, ctx->count, 8, sha256_compress);
    store_be(len, ctx->count << 3, 8);
    sha256_compress(ctx, ctx->block);
    for (int i = 0; i < words; i++)
        store_be(digest + 4 * i, ctx->state[i], 4);
}

// ---- SHA-512 ----

void sha512_compress(sha512_ctx *ctx, const uint8_t *p)
{
    uint64_t w[80];
    for (int t = 0; t < 16; t++)
        w[t] = load_be64(p + 8 * t);
    for (int t = 16; t < 80; t++) {
        const uint64_t s0 = rotr64(w[t - 15], 1) ^ rotr64(w[t - 15], 8) ^ (w[t - 15] >> 7);
        const uint64_t s1 = rotr64(w[t - 2], 19) ^ rotr64(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint64_t v[8];
    std::memcpy(v, ctx->state, sizeof(v));
    for (int t = 0; t < 80; t++) {
        const uint64_t big1 = rotr64(v[4], 14) ^ rotr64(v[4], 18) ^ rotr64(v[4], 41);
        const uint64_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint64_t t1 = v[7] + big1 + ch + sha512_k[t] + w[t];
        const uint64_t big0 = rotr64(v[0], 28) ^ rotr64(v[0], 34) ^ rotr64(v[0], 39);
        const uint64_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        std::memmove(v + 1, v, 7 * sizeof(uint64_t));
        v[4] += t1;
        v[0] = t1 + big0 + maj;
    }
    for (int i = 0; i < 8; i++)
        ctx->state[i] += v[i];
}

void sha512_finish(sha512_ctx *ctx, uint8_t *digest, int words)
{
    uint8_t *len = pad<128>(ctx, ctx->block, ctx->count[0], 16, sha512_compress);
    store_be(len, (ctx->count[1] << 3) | (ctx->count[0] >> 61), 8);
    store_be(len + 8, ctx->count[0] << 3, 8);
    sha512_compress(ctx, ctx->block);
    for (int i = 0; i < words; i++)
        store_be(digest + 8 * i, ctx->state[i], 8);
}

} // namespace

int md5_init(md5_ctx *ctx)
{
    std::memcpy(ctx->state, md5_iv, sizeof(ctx->state));
    ctx->count = 0;
    return 0;
}

void md5_update(md5_ctx *ctx, const uint8_t *data, int32_t len)
{
    absorb<64>(ctx, ctx->block, ctx->count, data, len, md5_compress);
    if (data != nullptr && len > 0)
        ctx->count += static_cast<uint64_t>(len);
}

void md5_final(md5_ctx *ctx, uint8_t *digest)
{
    uint8_t *len = pad<64>(ctx, ctx->block, ctx->count, 8, md5_compress);
    store_le(len, ctx->count << 3, 8);
    md5_compress(ctx, ctx->block);
    for (int i = 0; i < 4; i++)
        store_le(digest + 4 * i, ctx->state[i], 4);
}

int sha1_init(sha1_ctx *ctx)
{
    std::memcpy(ctx->state, sha1_iv, sizeof(ctx->state));
    ctx->count = 0;
    return 0;
}

void sha1_update(sha1_ctx *ctx, const uint8_t *data, int32_t len)
{
    absorb<64>(ctx, ctx->block, ctx->count, data, len, sha1_compress);
    if (data != nullptr && len > 0)
        ctx->count += static_cast<uint64_t>(len);
}

void sha1_final(sha1_ctx *ctx, uint8_t *digest)
{
    uint8_t *len = pad<64>(ctx, ctx->block, ctx->count, 8, sha1_compress);
    store_be(len, ctx->count << 3, 8);
    sha1_compress(ctx, ctx->block);
    for (int i = 0; i < 5; i++)
        store_be(digest + 4 * i, ctx->state[i], 4);
}

int sha224_init(sha256_ctx *ctx)
{
    std::memcpy(ctx->state, sha224_iv, sizeof(ctx->state));
    ctx->count = 0;
    return 0;
}

void sha224_update(sha256_ctx *ctx, const uint8_t *data, int32_t len)
{
    sha256_update(ctx, data, len);
}

void sha224_final(sha256_ctx *ctx, uint8_t *digest)
{
    sha256_finish(ctx, digest, SHA224_DIGEST_SIZE / 4);
}

int sha256_init(sha256_ctx *ctx)
{
    std::memcpy(ctx->state, sha256_iv, sizeof(ctx->state));
    ctx->count = 0;
    return 0;
}

void sha256_update(sha256_ctx *ctx, const uint8_t *data, int32_t len)
{
    absorb<64>(ctx, ctx->block, ctx->count, data, len, sha256_compress);
    if (data != nullptr && len > 0)
        ctx->count += static_cast<uint64_t>(len);
}

void sha256_final(sha256_ctx *ctx, uint8_t *digest)
{
    sha256_finish(ctx, digest, SHA256_DIGEST_SIZE / 4);
}

int sha384_init(sha512_ctx *ctx)
{
    std::memcpy(ctx->state, sha384_iv, sizeof(ctx->state));
    ctx->count[0] = ctx->count[1] = 0;
    return 0;
}

void sha384_update(sha512_ctx *ctx, const uint8_t *data, int32_t len)
{
    sha512_update(ctx, data, len);
}

void sha384_final(sha512_ctx *ctx, uint8_t *digest)
{
    sha512_finish(ctx, digest, SHA384_DIGEST_SIZE / 8);
}

int sha512_init(sha512_ctx *ctx)
{
    std::memcpy(ctx->state, sha512_iv, sizeof(ctx->state));
    ctx->count[0] = ctx->count[1] = 0;
    return 0;
}

void sha512_update(sha512_ctx *ctx, const uint8_t *data, int32_t len)
{
    absorb<128>(ctx, ctx->block, ctx->count[0], data, len, sha512_compress);
    if (data == nullptr || len <= 0)
        return;
    const uint64_t before = ctx->count[0];
    ctx->count[0] += static_cast<uint64_t>(len);
    if (ctx->count[0] < before)
        ctx->count[1]++;
}

void sha512_final(sha512_ctx *ctx, uint8_t *digest)
{
    sha512_finish(ctx, digest, SHA512_DIGEST_SIZE / 8);
}
