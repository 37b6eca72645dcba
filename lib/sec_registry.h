// Registry of the stream-security algorithms: cipher and hash descriptors by stream type
// number, and the objects made from them (a descriptor plus its working context).
#pragma once
#include <cstdint>

constexpr int SEC_CIPHER_TYPES = 3;  // 0 none, 1 DES, 2 AES
constexpr int SEC_HASH_TYPES = 7;    // 0 MD5, 1 SHA-1, 2 SHA-224, 3 SHA-256, 4 SHA-384, 5 SHA-512, 6 none

struct cipher_desc {
    int32_t ctx_size;
    int32_t block_size;
    int32_t min_key_len, max_key_len;
    void (*set_key)(void *key_ctx, const uint8_t *key, int32_t key_len);
    void (*encrypt)(const void *key_ctx, uint8_t *out, const uint8_t *in);
    void (*decrypt)(const void *key_ctx, uint8_t *out, const uint8_t *in);
};

struct hash_desc {
    int32_t ctx_size;
    int32_t digest_size;
    int (*init)(void *hash_ctx);
    void (*update)(void *hash_ctx, const uint8_t *data, int32_t len);
    void (*final)(void *hash_ctx, uint8_t *digest);
};

extern const cipher_desc cipher_descs[SEC_CIPHER_TYPES];
extern const hash_desc hash_descs[SEC_HASH_TYPES];

// One zeroed allocation: the descriptor, then the input and output blocks and the key
// context (key_ctx points into the same allocation).
struct cipher_obj {
    const cipher_desc *desc;
    uint8_t *in_block;
    uint8_t *out_block;
    void *key_ctx;
};

struct hash_obj {
    const hash_desc *desc;
    void *hash_ctx;
};

// Null for a type outside 0..2, for an unimplemented type (message) or when memory is short.
cipher_obj *cipher_create(int32_t type);
void cipher_free(cipher_obj *c);
// Clears the key context, then builds the schedule: a key length the cipher rejects leaves
// a cleared context, never an earlier or partly built key.
void cipher_set_key(cipher_obj *c, const uint8_t *key, int32_t key_len);
// Electronic codebook over len bytes; a short tail goes through a zero-padded block and only
// its len bytes are written. out and in may be the same buffer.
void cipher_encrypt(cipher_obj *c, uint8_t *out, const uint8_t *in, int32_t len);
void cipher_decrypt(cipher_obj *c, uint8_t *out, const uint8_t *in, int32_t len);

// Null for a type outside 0..6, for type 6 (message) or when memory is short.
hash_obj *hash_create(int32_t type);
void hash_free(hash_obj *h);
int hash_init(hash_obj *h);
void hash_update(hash_obj *h, const uint8_t *data, int32_t len);
void hash_final(hash_obj *h, uint8_t *digest);
int32_t hash_size(const hash_obj *h);

// No signature algorithm exists: always null; types 0..2 print a message.
struct sign_obj;
sign_obj *sign_create(int32_t type);
void sign_free(sign_obj *s);
