#include "sec_des.h"

#include <cstdio>
#include <cstring>

#include "sec_tables.h"

namespace {

// Lookup tables derived once from the standard tables: each permutation becomes an OR of
// per-byte lookups, and each S-box is merged with the permutation P.
struct des_luts {
    uint64_t ip[8][256];
    uint64_t fp[8][256];
    uint64_t e[4][256];
    uint32_t sp[8][64];
};

// Output bit j (most significant first) takes input bit table[j] (1 = most significant).
uint64_t permute(uint64_t in, int in_bits, const uint8_t *table, int out_bits)
{
    uint64_t out = 0;
    for (int j = 0; j < out_bits; j++)
        out = (out << 1) | ((in >> (in_bits - table[j])) & 1);
    return out;
}

void build_luts(des_luts *t)
{
    for (int p = 0; p < 8; p++) {
        for (int v = 0; v < 256; v++) {
            const uint64_t in = static_cast<uint64_t>(v) << (56 - 8 * p);
            t->ip[p][v] = permute(in, 64, des_ip, 64);
            t->fp[p][v] = permute(in, 64, des_fp, 64);
        }
    }
    for (int p = 0; p < 4; p++)
        for (int v = 0; v < 256; v++)
            t->e[p][v] = permute(static_cast<uint64_t>(v) << (24 - 8 * p), 32, des_e, 48);
    for (int i = 0; i < 8; i++) {
        for (int v = 0; v < 64; v++) {
            const int row = ((v >> 4) & 2) | (v & 1);
            const int col = (v >> 1) & 15;
            const uint64_t s = static_cast<uint64_t>(des_sbox[i][row * 16 + col]) << (28 - 4 * i);
            t->sp[i][v] = static_cast<uint32_t>(permute(s, 32, des_p, 32));
        }
    }
}

const des_luts &luts()
{
    static des_luts tables;
    static const bool built = (build_luts(&tables), true);
    (void)built;
    return tables;
}

uint64_t permute_bytes(const uint64_t (*lut)[256], uint64_t x)
{
    uint64_t out = 0;
    for (int p = 0; p < 8; p++)
        out |= lut[p][(x >> (56 - 8 * p)) & 0xFF];
    return out;
}

uint32_t feistel(const des_luts &t, uint32_t r, uint64_t subkey)
{
    uint64_t e = t.e[0][r >> 24] | t.e[1][(r >> 16) & 0xFF] | t.e[2][(r >> 8) & 0xFF] |
                 t.e[3][r & 0xFF];
    e ^= subkey;
    uint32_t out = 0;
    for (int i = 0; i < 8; i++)
        out |= t.sp[i][(e >> (42 - 6 * i)) & 63];
    return out;
}

void des_crypt(const des_ctx *ctx, uint8_t *out, const uint8_t *in, bool decrypt)
{
    const des_luts &t = luts();
    uint64_t x = 0;
    for (int i = 0; i < 8; i++)
        x = (x << 8) | in[i];
    x = permute_bytes(t.ip, x);
    uint32_t l = static_cast<uint32_t>(x >> 32);
    uint32_t r = static_cast<uint32_t>(x);
    for (int round = 0; round < 16; round++) {
        const int k = decrypt ? 15 - round : round;
        const uint64_t subkey = (static_cast<uint64_t>(ctx->round_keys[2 * k]) << 24) |
                                ctx->round_keys[2 * k + 1];
        const uint32_t next = l ^ feistel(t, r, subkey);
        l = r;
        r = next;
    }
    x = permute_bytes(t.fp, (static_cast<uint64_t>(r) << 32) | l);
    for (int i = 7; i >= 0; i--) {
        out[i] = static_cast<uint8_t>(x);
        x >>= 8;
    }
}

bool is_weak_key(const uint8_t *key)
{
    for (const uint8_t *weak : des_weak_keys) {
        int i = 0;
        while (i < 8 && (key[i] & 0xFE) == (weak[i] & 0xFE))
            i++;
        if (i == 8)
            return true;
    }
    return false;
}

} // namespace

void des_set_key(des_ctx *ctx, const uint8_t *key, int32_t key_len)
{
    if (key_len != 8)
        std::printf("DES: key len %d error\n", key_len);
    uint8_t k[8] = {};
    if (key != nullptr && key_len > 0)
        std::memcpy(k, key, key_len < 8 ? key_len : 8);

    uint64_t key_bits = 0;
    for (int i = 0; i < 8; i++)
        key_bits = (key_bits << 8) | k[i];
    const uint64_t cd = permute(key_bits, 64, des_pc1, 56);
    uint32_t c = static_cast<uint32_t>(cd >> 28) & 0x0FFFFFFF;
    uint32_t d = static_cast<uint32_t>(cd) & 0x0FFFFFFF;
    for (int round = 0; round < 16; round++) {
        const int s = des_shifts[round];
        c = ((c << s) | (c >> (28 - s))) & 0x0FFFFFFF;
        d = ((d << s) | (d >> (28 - s))) & 0x0FFFFFFF;
        const uint64_t subkey = permute((static_cast<uint64_t>(c) << 28) | d, 56, des_pc2, 48);
        ctx->round_keys[2 * round] = static_cast<uint32_t>(subkey >> 24);
        ctx->round_keys[2 * round + 1] = static_cast<uint32_t>(subkey & 0xFFFFFF);
    }

    if (is_weak_key(k))
        std::printf("DES: weak key was set\n");
}

void des_encrypt(const des_ctx *ctx, uint8_t *out, const uint8_t *in)
{
    des_crypt(ctx, out, in, false);
}

void des_decrypt(const des_ctx *ctx, uint8_t *out, const uint8_t *in)
{
    des_crypt(ctx, out, in, true);
}
