#include "sec_registry.h"

#include <cstdio>
#include <cstring>

#include "mem.h"
#include "sec_aes.h"
#include "sec_des.h"
#include "sec_hash.h"

namespace {

// The algorithms take typed contexts; the descriptors hold untyped slots.
void des_set_key_slot(void *c, const uint8_t *k, int32_t n) { des_set_key(static_cast<des_ctx *>(c), k, n); }
void des_encrypt_slot(const void *c, uint8_t *o, const uint8_t *i) { des_encrypt(static_cast<const des_ctx *>(c), o, i); }
void des_decrypt_slot(const void *c, uint8_t *o, const uint8_t *i) { des_decrypt(static_cast<const des_ctx *>(c), o, i); }
void aes_set_key_slot(void *c, const uint8_t *k, int32_t n) { aes_set_key(static_cast<aes_ctx *>(c), k, n); }
void aes_encrypt_slot(const void *c, uint8_t *o, const uint8_t *i) { aes_encrypt(static_cast<const aes_ctx *>(c), o, i); }
void aes_decrypt_slot(const void *c, uint8_t *o, const uint8_t *i) { aes_decrypt(static_cast<const aes_ctx *>(c), o, i); }

template <typename Ctx, int (*Init)(Ctx *), void (*Update)(Ctx *, const uint8_t *, int32_t),
          void (*Final)(Ctx *, uint8_t *)>
struct hash_slots {
    static int init(void *c) { return Init(static_cast<Ctx *>(c)); }
    static void update(void *c, const uint8_t *d, int32_t n) { Update(static_cast<Ctx *>(c), d, n); }
    static void final(void *c, uint8_t *out) { Final(static_cast<Ctx *>(c), out); }
};

template <typename S>
constexpr hash_desc hash_entry(int32_t ctx_size, int32_t digest_size)
{
    return {ctx_size, digest_size, S::init, S::update, S::final};
}

using md5_slots = hash_slots<md5_ctx, md5_init, md5_update, md5_final>;
using sha1_slots = hash_slots<sha1_ctx, sha1_init, sha1_update, sha1_final>;
using sha224_slots = hash_slots<sha256_ctx, sha224_init, sha224_update, sha224_final>;
using sha256_slots = hash_slots<sha256_ctx, sha256_init, sha256_update, sha256_final>;
using sha384_slots = hash_slots<sha512_ctx, sha384_init, sha384_update, sha384_final>;
using sha512_slots = hash_slots<sha512_ctx, sha512_init, sha512_update, sha512_final>;

// Contexts start on a 16-byte boundary behind the object header.
constexpr size_t align16(size_t n) { return (n + 15) & ~size_t(15); }

bool implemented(const cipher_desc &d)
{
    return d.ctx_size > 0 && d.block_size > 0 && d.min_key_len > 0 && d.max_key_len > 0 && d.set_key &&
           d.encrypt && d.decrypt;
}

void run_blocks(cipher_obj *c, uint8_t *out, const uint8_t *in, int32_t len,
                void (*op)(const void *, uint8_t *, const uint8_t *))
{
    if (!c || len <= 0)
        return;
    const int32_t b = c->desc->block_size;
    while (len >= b) {
        std::memcpy(c->in_block, in, static_cast<size_t>(b));
        op(c->key_ctx, c->out_block, c->in_block);
        std::memcpy(out, c->out_block, static_cast<size_t>(b));
        in += b;
        out += b;
        len -= b;
    }
    if (len > 0) {
        std::memcpy(c->in_block, in, static_cast<size_t>(len));
        std::memset(c->in_block + len, 0, static_cast<size_t>(b - len));
        op(c->key_ctx, c->out_block, c->in_block);
        std::memcpy(out, c->out_block, static_cast<size_t>(len));
    }
}

} // namespace

const cipher_desc cipher_descs[SEC_CIPHER_TYPES] = {
    {0, 0, 0, 0, nullptr, nullptr, nullptr},
    {static_cast<int32_t>(sizeof(des_ctx)), 8, 8, 8, des_set_key_slot, des_encrypt_slot, des_decrypt_slot},
    {static_cast<int32_t>(sizeof(aes_ctx)), 16, 16, 32, aes_set_key_slot, aes_encrypt_slot, aes_decrypt_slot},
};

const hash_desc hash_descs[SEC_HASH_TYPES] = {
    hash_entry<md5_slots>(sizeof(md5_ctx), MD5_DIGEST_SIZE),
    hash_entry<sha1_slots>(sizeof(sha1_ctx), SHA1_DIGEST_SIZE),
    hash_entry<sha224_slots>(sizeof(sha256_ctx), SHA224_DIGEST_SIZE),
    hash_entry<sha256_slots>(sizeof(sha256_ctx), SHA256_DIGEST_SIZE),
    hash_entry<sha384_slots>(sizeof(sha512_ctx), SHA384_DIGEST_SIZE),
    hash_entry<sha512_slots>(sizeof(sha512_ctx), SHA512_DIGEST_SIZE),
    {0, 0, nullptr, nullptr, nullptr},
};

cipher_obj *cipher_create(int32_t type)
{
    if (type < 0 || type >= SEC_CIPHER_TYPES)
        return nullptr;
    const cipher_desc &d = cipher_descs[type];
    if (!implemented(d)) {
        std::printf("unimplemented encryption type: %d\n", type);
        return nullptr;
    }
    const size_t head = align16(sizeof(cipher_obj));
    const size_t blocks = align16(2 * static_cast<size_t>(d.block_size));
    auto *raw = static_cast<uint8_t *>(mem_alloc(head + blocks + static_cast<size_t>(d.ctx_size)));
    if (!raw)
        return nullptr;
    auto *c = reinterpret_cast<cipher_obj *>(raw);
    c->desc = &d;
    c->in_block = raw + head;
    c->out_block = raw + head + d.block_size;
    c->key_ctx = raw + head + blocks;
    return c;
}

void cipher_free(cipher_obj *c) { mem_free(c); }

void cipher_set_key(cipher_obj *c, const uint8_t *key, int32_t key_len)
{
    if (!c)
        return;
    std::memset(c->key_ctx, 0, static_cast<size_t>(c->desc->ctx_size));
    c->desc->set_key(c->key_ctx, key, key_len);
}

void cipher_encrypt(cipher_obj *c, uint8_t *out, const uint8_t *in, int32_t len)
{
    if (c)
        run_blocks(c, out, in, len, c->desc->encrypt);
}

void cipher_decrypt(cipher_obj *c, uint8_t *out, const uint8_t *in, int32_t len)
{
    if (c)
        run_blocks(c, out, in, len, c->desc->decrypt);
}

hash_obj *hash_create(int32_t type)
{
    if (type < 0 || type >= SEC_HASH_TYPES)
        return nullptr;
    const hash_desc &d = hash_descs[type];
    if (d.ctx_size <= 0 || !d.init || !d.update || !d.final) {
        std::printf("unimplemented hash type: %d\n", type);
        return nullptr;
    }
    const size_t head = align16(sizeof(hash_obj));
    auto *raw = static_cast<uint8_t *>(mem_alloc(head + static_cast<size_t>(d.ctx_size)));
    if (!raw)
        return nullptr;
    auto *h = reinterpret_cast<hash_obj *>(raw);
    h->desc = &d;
    h->hash_ctx = raw + head;
    return h;
}

void hash_free(hash_obj *h) { mem_free(h); }

int hash_init(hash_obj *h) { return h ? h->desc->init(h->hash_ctx) : -1; }

void hash_update(hash_obj *h, const uint8_t *data, int32_t len)
{
    if (h)
        h->desc->update(h->hash_ctx, data, len);
}

void hash_final(hash_obj *h, uint8_t *digest)
{
    if (h)
        h->desc->final(h->hash_ctx, digest);
}

int32_t hash_size(const hash_obj *h) { return h ? h->desc->digest_size : 0; }

sign_obj *sign_create(int32_t type)
{
    if (type >= 0 && type <= 2)
        std::printf("unimplemented sign type: %d\n", type);
    return nullptr;
}

void sign_free(sign_obj *s) { mem_free(s); }
