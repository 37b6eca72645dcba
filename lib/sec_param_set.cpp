#include "sec_param_set.h"

#include <cstring>

#include "decoder_ctx.h"
#include "nal_walk.h"
#include "sec_registry.h"

static_assert(sizeof(sec_state::keyed) == SVAC_KEY_MAX, "keyed copy holds a whole key");

namespace {

void key_cipher(decoder_ctx *ctx)
{
    sec_state &s = ctx->sec;
    cipher_set_key(s.cipher, ctx->key, static_cast<int32_t>(ctx->key_len));
    std::memcpy(s.keyed, ctx->key, ctx->key_len);
    s.keyed_len = ctx->key_len;
}

// A key set after the cipher was keyed replaces the old one.
void rekey_if_changed(decoder_ctx *ctx)
{
    const sec_state &s = ctx->sec;
    if (s.keyed_len != ctx->key_len || std::memcmp(s.keyed, ctx->key, ctx->key_len) != 0)
        key_cipher(ctx);
}

} // namespace

int32_t parse_sec_param_set(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    sec_state &s = ctx->sec;
    ctx->stream_encrypted = static_cast<int32_t>(read_bits(br, 1));
    s.authentication_flag = static_cast<int32_t>(read_bits(br, 1));
    if (ctx->stream_encrypted) {
        if (ctx->key_len == 0)
            return SVAC_ERR_NOKEY;
        s.encryption_type = static_cast<int32_t>(read_bits(br, 4));
    }
    if (s.authentication_flag) {
        s.hash_type = static_cast<int32_t>(read_bits(br, 4));
        for (int32_t &flag : s.auth_flags)
            flag = static_cast<int32_t>(read_bits(br, 1));
        s.sign_type = static_cast<int32_t>(read_bits(br, 4));
        if (s.sign_type > 0)
            for (int32_t &value : s.auth_values)
                value = static_cast<int32_t>(read_bits(br, 8)) + 1;
    }

    if (ctx->stream_encrypted) {
        // A type whose object could not be made is tried again by the next set naming it,
        // also when it is the type held before.
        if (s.encryption_type != ctx->cipher_type || !s.cipher) {
            cipher_free(s.cipher);
            s.cipher = cipher_create(s.encryption_type);
            if (!s.cipher)
                return 0;
            ctx->cipher_type = s.encryption_type;
            key_cipher(ctx);
        } else {
            rekey_if_changed(ctx);
        }
    }
    if (s.authentication_flag) {
        if (s.hash_type != ctx->hash_type || !s.hash) {
            hash_free(s.hash);
            s.hash = hash_create(s.hash_type);
            if (!s.hash)
                return 0;
            hash_free(s.hash2);
            s.hash2 = hash_create(s.hash_type);
            ctx->hash_type = s.hash_type;
        }
        if (s.sign_type != ctx->sign_type) {
            sign_free(s.sign);
            s.sign = sign_create(s.sign_type);
            ctx->sign_type = s.sign_type;
        }
    }
    return bit_reader_exhausted(br) ? SVAC_ERR_TRUNCATED : 0;
}

void decrypt_nal_payload(decoder_ctx *ctx, uint8_t *buf, int32_t len)
{
    if (!ctx->sec.cipher)
        return;
    rekey_if_changed(ctx);
    cipher_decrypt(ctx->sec.cipher, buf, buf, len);
}

void sec_state_free(decoder_ctx *ctx)
{
    sec_state &s = ctx->sec;
    cipher_free(s.cipher);
    hash_free(s.hash);
    hash_free(s.hash2);
    sign_free(s.sign);
    s.cipher = nullptr;
    s.hash = s.hash2 = nullptr;
    s.sign = nullptr;
    ctx->cipher_type = ctx->hash_type = ctx->sign_type = -1;
}
