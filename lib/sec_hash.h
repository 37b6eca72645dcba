// Hash functions of the stream security: MD5, SHA-1, SHA-224/256 and SHA-384/512.
// init returns 0; update takes any length in any number of calls (a length of 0 or less
// adds nothing); final pads, and writes the digest.
#pragma once
#include <cstdint>

constexpr int MD5_DIGEST_SIZE = 16;
constexpr int SHA1_DIGEST_SIZE = 20;
constexpr int SHA224_DIGEST_SIZE = 28;
constexpr int SHA256_DIGEST_SIZE = 32;
constexpr int SHA384_DIGEST_SIZE = 48;
constexpr int SHA512_DIGEST_SIZE = 64;

// Byte counts are totals of the bytes fed, low word first.
struct md5_ctx {
    uint32_t state[4];
    uint8_t block[64];
    uint64_t count;
};

struct sha1_ctx {
    uint64_t count;
    uint32_t state[5];
    uint8_t block[64];
};

// Shared by SHA-224 and SHA-256.
struct sha256_ctx {
    uint64_t count;
    uint32_t state[8];
    uint8_t block[64];
};

// Shared by SHA-384 and SHA-512.
struct sha512_ctx {
    uint64_t count[2];
    uint64_t state[8];
    uint8_t block[128];
};

static_assert(sizeof(md5_ctx) == 88, "MD5 context is 88 bytes");
static_assert(sizeof(sha1_ctx) == 96, "SHA-1 context is 96 bytes");
static_assert(sizeof(sha256_ctx) == 104, "SHA-256 context is 104 bytes");
static_assert(sizeof(sha512_ctx) == 208, "SHA-512 context is 208 bytes");

int md5_init(md5_ctx *ctx);
void md5_update(md5_ctx *ctx, const uint8_t *data, int32_t len);
void md5_final(md5_ctx *ctx, uint8_t *digest);

int sha1_init(sha1_ctx *ctx);
void sha1_update(sha1_ctx *ctx, const uint8_t *data, int32_t len);
void sha1_final(sha1_ctx *ctx, uint8_t *digest);

int sha224_init(sha256_ctx *ctx);
void sha224_update(sha256_ctx *ctx, const uint8_t *data, int32_t len);
void sha224_final(sha256_ctx *ctx, uint8_t *digest);

int sha256_init(sha256_ctx *ctx);
void sha256_update(sha256_ctx *ctx, const uint8_t *data, int32_t len);
void sha256_final(sha256_ctx *ctx, uint8_t *digest);

int sha384_init(sha512_ctx *ctx);
void sha384_update(sha512_ctx *ctx, const uint8_t *data, int32_t len);
void sha384_final(sha512_ctx *ctx, uint8_t *digest);

int sha512_init(sha512_ctx *ctx);
void sha512_update(sha512_ctx *ctx, const uint8_t *data, int32_t len);
void sha512_final(sha512_ctx *ctx, uint8_t *digest);
