// Security parameter set and payload decryption: the state a stream's security parameter
// sets leave in the decoder context.
#pragma once
#include <cstdint>

struct decoder_ctx;
struct cipher_obj;
struct hash_obj;
struct sign_obj;

// Fields of the last security parameter set and the objects made for it. The encryption
// flag, the key and the types of the objects held live beside it in decoder_ctx.
struct sec_state {
    int32_t authentication_flag;
    int32_t encryption_type;
    int32_t hash_type;
    int32_t auth_flags[4];
    int32_t sign_type;
    int32_t auth_values[2];     // stored plus 1
    cipher_obj *cipher;
    hash_obj *hash, *hash2;     // made, never fed
    sign_obj *sign;             // always null
    uint8_t keyed[64];          // key bytes the cipher was last keyed with
    uint32_t keyed_len;
};

// Frees the objects (decoder_ctx_free).
void sec_state_free(decoder_ctx *ctx);
