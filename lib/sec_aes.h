// AES block cipher: 16-byte blocks, one block per call, 16-, 24- or 32-byte keys.
#pragma once
#include <cstdint>

// Round-key words hold four key-schedule bytes, the first in the least significant byte.
// dec_keys are the round keys of the equivalent inverse cipher.
struct aes_ctx {
    uint32_t enc_keys[60];
    uint32_t dec_keys[60];
    int32_t key_len; // 16, 24 or 32
};
static_assert(sizeof(aes_ctx) == 484, "AES key context is 484 bytes");

// Expands the key. Another length prints a message and leaves the context as it was.
void aes_set_key(aes_ctx *ctx, const uint8_t *key, int32_t key_len);
// One block; out and in may be the same buffer. The context must hold a key.
void aes_encrypt(const aes_ctx *ctx, uint8_t *out, const uint8_t *in);
void aes_decrypt(const aes_ctx *ctx, uint8_t *out, const uint8_t *in);
