// DES block cipher: 8-byte blocks, one block per call, 8-byte keys (parity bits ignored).
#pragma once
#include <cstdint>

// Round keys 0..15, each a 48-bit subkey split into its upper and lower 24 bits.
struct des_ctx {
    uint32_t round_keys[32];
};
static_assert(sizeof(des_ctx) == 128, "DES key context is 128 bytes");

// Builds the key schedule from the first 8 key bytes. A length other than 8 prints a
// message; a shorter key is completed with zero bytes. Weak and semi-weak keys print a
// message and stay in use.
void des_set_key(des_ctx *ctx, const uint8_t *key, int32_t key_len);
// One block; out and in may be the same buffer.
void des_encrypt(const des_ctx *ctx, uint8_t *out, const uint8_t *in);
void des_decrypt(const des_ctx *ctx, uint8_t *out, const uint8_t *in);
