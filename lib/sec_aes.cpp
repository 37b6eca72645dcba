#include "sec_aes.h"

#include <cstdio>

#include "sec_tables.h"

namespace {

// Round tables derived once from the S-boxes: te[x] is MixColumns of a column holding
// S(x) in row 0, td[x] InvMixColumns of one holding InvS(x); other rows are rotations.
struct aes_luts {
    uint32_t te[256];
    uint32_t td[256];
};

uint8_t gf_mul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    while (b) {
        if (b & 1)
            r ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return r;
}

uint32_t column(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3)
{
    return r0 | (static_cast<uint32_t>(r1) << 8) | (static_cast<uint32_t>(r2) << 16) |
           (static_cast<uint32_t>(r3) << 24);
}

void build_luts(aes_luts *t)
{
    for (int x = 0; x < 256; x++) {
        const uint8_t s = aes_sbox[x];
        t->te[x] = column(gf_mul(s, 2), s, s, gf_mul(s, 3));
        const uint8_t v = aes_inv_sbox[x];
        t->td[x] = column(gf_mul(v, 14), gf_mul(v, 9), gf_mul(v, 13), gf_mul(v, 11));
    }
}

const aes_luts &luts()
{
    static aes_luts tables;
    static const bool built = (build_luts(&tables), true);
    (void)built;
    return tables;
}

inline uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint8_t byte_of(uint32_t w, int row)
{
    return static_cast<uint8_t>(w >> (8 * row));
}

uint32_t load_le(const uint8_t *p)
{
    return column(p[0], p[1], p[2], p[3]);
}

void store_le(uint8_t *p, uint32_t w)
{
    for (int i = 0; i < 4; i++)
        p[i] = byte_of(w, i);
}

uint32_t sub_word(uint32_t w)
{
    return column(aes_sbox[byte_of(w, 0)], aes_sbox[byte_of(w, 1)], aes_sbox[byte_of(w, 2)],
                  aes_sbox[byte_of(w, 3)]);
}

uint32_t inv_mix_column(const aes_luts &t, uint32_t w)
{
    // td includes InvS, so feed it S of each byte.
    return t.td[aes_sbox[byte_of(w, 0)]] ^ rotl(t.td[aes_sbox[byte_of(w, 1)]], 8) ^
           rotl(t.td[aes_sbox[byte_of(w, 2)]], 16) ^ rotl(t.td[aes_sbox[byte_of(w, 3)]], 24);
}

// A context that never took a key (key_len 0) runs 10 rounds of its zero round keys
// rather than reading past the schedule.
int rounds_of(const aes_ctx *ctx)
{
    return ctx->key_len == 32 ? 14 : ctx->key_len == 24 ? 12 : 10;
}

} // namespace

void aes_set_key(aes_ctx *ctx, const uint8_t *key, int32_t key_len)
{
    if (key_len != 16 && key_len != 24 && key_len != 32) {
        std::printf("AES: key len %d error, must 16, 24 or 32 bytes\n", key_len);
        return;
    }
    const aes_luts &t = luts();
    ctx->key_len = key_len;
    const int nk = key_len / 4;
    const int nr = nk + 6;
    const int words = 4 * (nr + 1);
    uint32_t *w = ctx->enc_keys;
    for (int i = 0; i < nk; i++)
        w[i] = load_le(key + 4 * i);
    for (int i = nk; i < words; i++) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0)
            temp = sub_word(rotl(temp, 24)) ^ aes_rcon[i / nk - 1];
        else if (nk > 6 && i % nk == 4)
            temp = sub_word(temp);
        w[i] = w[i - nk] ^ temp;
    }

    uint32_t *dw = ctx->dec_keys;
    for (int c = 0; c < 4; c++) {
        dw[c] = w[4 * nr + c];
        dw[4 * nr + c] = w[c];
    }
    for (int round = 1; round < nr; round++)
        for (int c = 0; c < 4; c++)
            dw[4 * round + c] = inv_mix_column(t, w[4 * (nr - round) + c]);
}

void aes_encrypt(const aes_ctx *ctx, uint8_t *out, const uint8_t *in)
{
    const aes_luts &t = luts();
    const uint32_t *rk = ctx->enc_keys;
    const int nr = rounds_of(ctx);
    uint32_t s[4], n[4];
    for (int c = 0; c < 4; c++)
        s[c] = load_le(in + 4 * c) ^ rk[c];
    for (int round = 1; round < nr; round++) {
        for (int c = 0; c < 4; c++)
            n[c] = t.te[byte_of(s[c], 0)] ^ rotl(t.te[byte_of(s[(c + 1) & 3], 1)], 8) ^
                   rotl(t.te[byte_of(s[(c + 2) & 3], 2)], 16) ^
                   rotl(t.te[byte_of(s[(c + 3) & 3], 3)], 24) ^ rk[4 * round + c];
        for (int c = 0; c < 4; c++)
            s[c] = n[c];
    }
    for (int c = 0; c < 4; c++)
        n[c] = column(aes_sbox[byte_of(s[c], 0)], aes_sbox[byte_of(s[(c + 1) & 3], 1)],
                      aes_sbox[byte_of(s[(c + 2) & 3], 2)], aes_sbox[byte_of(s[(c + 3) & 3], 3)]) ^
               rk[4 * nr + c];
    for (int c = 0; c < 4; c++)
        store_le(out + 4 * c, n[c]);
}

void aes_decrypt(const aes_ctx *ctx, uint8_t *out, const uint8_t *in)
{
    const aes_luts &t = luts();
    const uint32_t *rk = ctx->dec_keys;
    const int nr = rounds_of(ctx);
    uint32_t s[4], n[4];
    for (int c = 0; c < 4; c++)
        s[c] = load_le(in + 4 * c) ^ rk[c];
    for (int round = 1; round < nr; round++) {
        for (int c = 0; c < 4; c++)
            n[c] = t.td[byte_of(s[c], 0)] ^ rotl(t.td[byte_of(s[(c + 3) & 3], 1)], 8) ^
                   rotl(t.td[byte_of(s[(c + 2) & 3], 2)], 16) ^
                   rotl(t.td[byte_of(s[(c + 1) & 3], 3)], 24) ^ rk[4 * round + c];
        for (int c = 0; c < 4; c++)
            s[c] = n[c];
    }
    for (int c = 0; c < 4; c++)
        n[c] = column(aes_inv_sbox[byte_of(s[c], 0)], aes_inv_sbox[byte_of(s[(c + 3) & 3], 1)],
                      aes_inv_sbox[byte_of(s[(c + 2) & 3], 2)],
                      aes_inv_sbox[byte_of(s[(c + 1) & 3], 3)]) ^
               rk[4 * nr + c];
    for (int c = 0; c < 4; c++)
        store_le(out + 4 * c, n[c]);
}
