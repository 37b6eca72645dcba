// Bit reader over one NAL unit payload (emulation-prevention bytes removed), most significant
// bit first, with the Exp-Golomb codes of the headers and of the VLC macroblock layer.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "svac_assert.h"

// Zeroed bytes kept behind every payload: a 32-bit window that starts up to 31 bits behind
// the last payload bit stays inside them.
constexpr int BIT_READER_PADDING = 8;

struct bit_reader {
    const uint8_t *data;    // payload start; set to end once a read starts behind the payload
    const uint8_t *end;     // data + (length + 7) / 8
    int32_t position;       // next bit, counted from bit 7 of the first byte
    int32_t length;         // payload bits in front of the stop bit
    const uint8_t *base;    // payload start, kept when the reader is exhausted
    int32_t avail;          // readable bytes at base (payload and padding); the rest reads as 0
};

// Code length, ue(v) and se(v) value of a 9-bit prefix with at most 4 leading zeros (entries
// 0..15 are never read), and floor(log2 x) of a byte (entry 0 is 0).
extern const std::array<uint8_t, 512> ue_len_table;
extern const std::array<uint8_t, 512> ue_value_table;
extern const std::array<int8_t, 512> se_value_table;
extern const std::array<uint8_t, 256> log2_table;

// Points the reader at bytes whose payload holds bit_length bits; avail bytes may be read.
inline void bit_reader_init(bit_reader *br, const uint8_t *buf, int32_t bit_length, int32_t avail)
{
    br->base = br->data = buf;
    br->end = buf + (static_cast<int64_t>(bit_length) + 7) / 8;
    br->position = 0;
    br->length = bit_length;
    br->avail = avail;
}

inline bool bit_reader_exhausted(const bit_reader *br) { return br->data == br->end; }
inline int32_t bits_left(const bit_reader *br) { return br->length - br->position; }

// Big-endian window of W's width at a bit position, shifted so that its first bit is the top
// bit; bytes past the data read as 0.
template <typename W>
inline W bit_window_of(const bit_reader *br, int32_t pos)
{
    constexpr int32_t n = sizeof(W);
    const int32_t byte = pos >> 3;
    W w;
    if (byte >= 0 && byte + n <= br->avail) {
        std::memcpy(&w, br->base + byte, n);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        if constexpr (n == 8)
            w = __builtin_bswap64(w);
        else
            w = __builtin_bswap32(w);
#endif
    } else {
        w = 0;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t at = byte + i;
            w = (w << 8) | (at >= 0 && at < br->avail ? br->base[at] : 0u);
        }
    }
    return w << (pos & 7);
}

// 32 bits: at least 25 sure bits.
inline uint32_t bit_window(const bit_reader *br, int32_t pos) { return bit_window_of<uint32_t>(br, pos); }
// 64 bits: at least 57 sure bits.
inline uint64_t bit_window64(const bit_reader *br, int32_t pos) { return bit_window_of<uint64_t>(br, pos); }

inline bool bit_reader_check(bit_reader *br)
{
    if (br->position > br->length) {
        br->data = br->end;
        return false;
    }
    return true;
}

// n bits from 1 to 32 (wider reads than 25 bits take two windows); 0 bits read as 0.
inline uint32_t read_bits(bit_reader *br, int n)
{
    if (n == 0)
        return 0;
    if (n < 0 || n > 32) {
        SVAC_ASSERT(n>0 && n<=25);
        return 0;
    }
    if (!bit_reader_check(br))
        return 0;
    uint32_t v;
    if (n <= 25) {
        v = bit_window(br, br->position) >> (32 - n);
    } else {
        const uint32_t high = bit_window(br, br->position) >> 16;
        v = (high << (n - 16)) | (bit_window(br, br->position + 16) >> (32 - (n - 16)));
    }
    br->position += n;
    return v;
}

inline void skip_bits(bit_reader *br, int n) { read_bits(br, n); }

// No end test: behind the stop bit it yields zeros and never marks the reader exhausted.
inline uint32_t read_bit(bit_reader *br)
{
    if (br->position > br->length)
        return 0;
    const uint32_t b = bit_window(br, br->position) >> 31;
    br->position += 1;
    return b;
}

inline int floor_log2(uint32_t x)
{
    int b = 0;
    if (x >= 0x10000) {
        x >>= 16;
        b = 16;
    }
    if (x & 0xFF00) {
        x >>= 8;
        b += 8;
    }
    return b + log2_table[x];
}

// The out-of-line forms of read_ue and read_se: codes whose 64-bit window passes the readable
// bytes or that have more than 15 leading zeros, and readers past their length.
int32_t read_ue_long(bit_reader *br);
int32_t read_se_long(bit_reader *br);

// The 64-bit window at the position when the reader is within its length and all 8 bytes are
// readable; a code with at most 15 leading zeros then ends within its 57 sure bits.
inline bool bit_window64_inline(const bit_reader *br, uint64_t *w)
{
    const int32_t pos = br->position;
    if (pos < 0 || pos > br->length || (pos >> 3) > br->avail - 8)
        return false;
    uint64_t v;
    std::memcpy(&v, br->base + (pos >> 3), 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    *w = v << (pos & 7);
    return true;
}

// Code number + 1 of an Exp-Golomb code of at most 15 leading zeros, read from the inline
// window; false, with the reader unmoved, for any other code or position.
__attribute__((always_inline)) inline bool read_short_code(bit_reader *br, uint32_t *t)
{
    uint64_t w;
    if (!bit_window64_inline(br, &w) || w < (uint64_t{1} << 48))
        return false;
    const int len = 2 * __builtin_clzll(w) + 1;
    br->position += len;
    *t = static_cast<uint32_t>(w >> (64 - len));
    return true;
}

// ue(v): codes of up to 15 leading zeros (values 0..65534); longer ones give -3.
__attribute__((always_inline)) inline int32_t read_ue(bit_reader *br)
{
    uint32_t t;
    if (read_short_code(br, &t))
        return static_cast<int32_t>(t) - 1;
    return read_ue_long(br);
}

// se(v): up to 31 leading zeros.
__attribute__((always_inline)) inline int32_t read_se(bit_reader *br)
{
    uint32_t t;
    if (read_short_code(br, &t)) {
        // code number + 1: odd values are negative, negated without a branch
        const uint32_t negative = 0u - (t & 1);
        return static_cast<int32_t>(((t >> 1) ^ negative) - negative);
    }
    return read_se_long(br);
}

// Exp-Golomb code of order k. The caller checks the prefix against 2^31 >> k.
inline uint32_t get_ue_code(bit_reader *br, int k)
{
    const uint32_t u = static_cast<uint32_t>(read_ue(br));
    if (k > 0 && k < 32)
        return (u << k) + read_bits(br, k);
    return u;
}

inline void byte_align(bit_reader *br) { br->position = (br->position + 7) & ~7; }
