#include "ext_data.h"

#include <cstdio>
#include <cstring>

#include "decoder_ctx.h"
#include "nal_walk.h"

static_assert(EXT_ZONES + EXT_ZONE_SIZE * SVAC_EXT_MAX_PERIMETER_ZONES == SVAC_EXT_RECORD_SIZE,
              "the record ends with the perimeter zones");
static_assert(sizeof(extension_data_record) == SVAC_EXT_RECORD_SIZE, "record size");

namespace {

uint8_t *record(decoder_ctx *ctx) { return ctx->ext->bytes; }

void put32(uint8_t *rec, int32_t off, int32_t v) { std::memcpy(rec + off, &v, 4); }
void put16(uint8_t *rec, int32_t off, uint16_t v) { std::memcpy(rec + off, &v, 2); }

int32_t get32(const uint8_t *rec, int32_t off)
{
    int32_t v;
    std::memcpy(&v, rec + off, 4);
    return v;
}

void or_flags(uint8_t *rec, uint32_t bits)
{
    put32(rec, EXT_FLAGS, static_cast<int32_t>(static_cast<uint32_t>(get32(rec, EXT_FLAGS)) | bits));
}

int32_t u(decoder_ctx *ctx, int n) { return static_cast<int32_t>(read_bits(&ctx->bs, n)); }

void read_bytes(decoder_ctx *ctx, uint8_t *dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<uint8_t>(read_bits(&ctx->bs, 8));
}

// Moves forward n bits with one end test at the start.
void skip_forward(bit_reader *br, int64_t n)
{
    if (!bit_reader_check(br) || n <= 0)
        return;
    // Anything past the stop bit reads the same; stop there so the position cannot overflow.
    br->position = n > static_cast<int64_t>(br->length) + 1 - br->position
                       ? br->length + 1
                       : br->position + static_cast<int32_t>(n);
}

// 16 bits taken low byte first from the current byte on, shifted by the bit offset.
uint16_t read_le16(bit_reader *br)
{
    if (!bit_reader_check(br))
        return 0;
    const int32_t byte = br->position >> 3;
    const int shift = br->position & 7;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const int32_t at = byte + i;
        v |= uint32_t(at < br->avail ? br->base[at] : 0) << (8 * i);
    }
    br->position += 16;
    return static_cast<uint16_t>(v >> shift);
}

// Items carry their own length: skips what the reader did not take, or reports an item that
// claimed less than it held.
void length_rule(bit_reader *br, int32_t mark, int64_t item_bits, const char *message)
{
    const int64_t rest = item_bits - (br->position - mark);
    if (rest > 0) {
        const int64_t to = br->position + rest;
        br->position = to > static_cast<int64_t>(br->length) + 1 ? br->length + 1 : static_cast<int32_t>(to);
    } else if (rest < 0) {
        std::fputs(message, stdout);
    }
}

void skip_common_head(decoder_ctx *ctx)
{
    u(ctx, 8);
    u(ctx, 8);
    u(ctx, 16);
}

} // namespace

void parse_ext_type1(decoder_ctx *ctx)
{
    skip_common_head(ctx);
    const int32_t n = u(ctx, 4);
    u(ctx, 4);
    for (int32_t i = 0; i < n; ++i)
        u(ctx, 32);
}

void parse_ext_type2(decoder_ctx *ctx)
{
    skip_common_head(ctx);
    const int32_t n = u(ctx, 4);
    u(ctx, 4);
    for (int32_t i = 0; i < n; ++i)
        skip_forward(&ctx->bs, 8 * static_cast<int64_t>(u(ctx, 8)));
}

void parse_ext_type3(decoder_ctx *ctx)
{
    skip_common_head(ctx);
    const int32_t n = u(ctx, 6);
    u(ctx, 2);
    for (int32_t i = 0; i < n; ++i) {
        u(ctx, 4);
        u(ctx, 4);
        u(ctx, 8);
        u(ctx, 8);
    }
}

void parse_ext_time(decoder_ctx *ctx)
{
    skip_common_head(ctx);
    int32_t t[8] = {};
    t[3] = u(ctx, 5);
    t[4] = u(ctx, 6);
    t[5] = u(ctx, 6);
    t[6] = u(ctx, 14);
    if (u(ctx, 1)) {
        t[0] = 2000 + u(ctx, 7);
        t[1] = u(ctx, 4);
        t[2] = u(ctx, 5);
    }
    t[7] = u(ctx, 8);
    uint8_t *rec = record(ctx);
    for (int i = 0; i < 8; ++i)
        put32(rec, EXT_TIME + 4 * i, t[i]);
    or_flags(rec, 0x2);
}

bool parse_ext_perimeter_guard(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    uint8_t *rec = record(ctx);
    const int32_t p0 = br->position;
    const int32_t length = u(ctx, 16);
    rec[EXT_PERIMETER] = static_cast<uint8_t>(u(ctx, 8));
    rec[EXT_PERIMETER + 1] = static_cast<uint8_t>(u(ctx, 8));
    put32(rec, EXT_PERIMETER + 4, u(ctx, 3));
    const int n = u(ctx, 5);
    put32(rec, EXT_PERIMETER + 8, n);
    for (int i = 0; i < 4; ++i)
        put32(rec, EXT_PERIMETER + 12 + 4 * i, u(ctx, n));
    rec[EXT_PERIMETER + 28] = static_cast<uint8_t>(u(ctx, 4));
    const int32_t zones = read_ue(br);
    // The record holds a fixed number of zones: the count says how many were stored.
    const bool fits = zones >= 0 && zones <= SVAC_EXT_MAX_PERIMETER_ZONES;
    const int32_t stored = zones < 0 ? 0 : fits ? zones : SVAC_EXT_MAX_PERIMETER_ZONES;
    put32(rec, EXT_PERIMETER + 32, stored);
    static const int widths[11] = {-1, 0, 0, -1, -1, 1, 5, 1, 3, 1, 2};   // -1 ue(v), 0 u(n)
    for (int32_t i = 0; i < stored; ++i) {
        for (int f = 0; f < 11; ++f) {
            const int32_t v = widths[f] < 0 ? read_ue(br) : u(ctx, widths[f] ? widths[f] : n);
            put32(rec, EXT_ZONES + EXT_ZONE_SIZE * i + 4 * f, v);
        }
    }
    if (!fits)
        return false;
    length_rule(br, p0, 32 * static_cast<int64_t>(length), "Error! Perimeter guard length is wrong!\n ");
    return true;
}

void parse_ext_id_card(decoder_ctx *ctx)
{
    uint8_t *rec = record(ctx);
    const int32_t k = get32(rec, EXT_ID_CARD_COUNT);
    if (static_cast<uint32_t>(k) >= EXT_MAX_ID_CARDS) {
        std::printf("error! ID_CARD_NUM larger than 20\n");
        return;
    }
    put32(rec, EXT_ID_CARD_COUNT, k + 1);
    const int32_t length = u(ctx, 8);
    if (u(ctx, 8) != 0)
        return;
    const int32_t p1 = ctx->bs.position;
    uint8_t *e = rec + EXT_ID_CARDS + EXT_ID_CARD_SIZE * k;
    read_bytes(ctx, e, 19);
    read_bytes(ctx, e + 19, 30);
    put16(e, 50, static_cast<uint16_t>(u(ctx, 16)));
    read_bytes(ctx, e + 52, 24);
    read_bytes(ctx, e + 92, 70);
    read_bytes(ctx, e + 162, 19);
    length_rule(&ctx->bs, p1, 8 * static_cast<int64_t>(length), "Error! ID card length is wrong!\n ");
}

void parse_ext_type130(decoder_ctx *ctx)
{
    const int32_t length = u(ctx, 8);
    uint8_t block[EXT_BLOCK_SIZE] = {};
    const int32_t subtype = u(ctx, 8);
    block[0] = static_cast<uint8_t>(subtype);
    read_bytes(ctx, block + 1, 4);
    const uint16_t first = read_le16(&ctx->bs);
    const uint16_t second = read_le16(&ctx->bs);
    put16(block, 6, first);
    put16(block, 8, second);
    const int32_t n = u(ctx, 8);
    read_bytes(ctx, block + 11, 3);
    // Data beyond the slot's room is read and dropped; byte 10 tells what the slot holds.
    const int32_t kept = n < EXT_BLOCK_DATA_ROOM ? n : EXT_BLOCK_DATA_ROOM;
    block[10] = static_cast<uint8_t>(kept);
    read_bytes(ctx, block + 14, kept);
    for (int32_t i = kept; i < n; ++i)
        u(ctx, 8);
    if (length > 13 + n)
        skip_forward(&ctx->bs, 8 * static_cast<int64_t>(length - 13 - n));
    if (subtype >= 0x20 && subtype <= 0x22) {
        uint8_t *rec = record(ctx);
        std::memcpy(rec + EXT_BLOCKS + EXT_BLOCK_SIZE * (subtype - 0x20), block, sizeof block);
        or_flags(rec, 0x1000u | (1u << (subtype - 0x20)));
    }
}

void parse_ext_car_plate(decoder_ctx *ctx)
{
    uint8_t *rec = record(ctx);
    const int32_t k = get32(rec, EXT_PLATE_COUNT);
    if (static_cast<uint32_t>(k) >= EXT_MAX_PLATES) {
        std::printf("error! car id larger than 20\n");
        return;
    }
    put32(rec, EXT_PLATE_COUNT, k + 1);
    const int32_t length = u(ctx, 8);
    if (u(ctx, 8) != 5) {
        std::printf("Car plate do not support the subtype!\n");
        return;
    }
    const int32_t p1 = ctx->bs.position;
    or_flags(rec, 0x20);
    uint8_t *e = rec + EXT_PLATES + EXT_PLATE_SIZE * k;
    read_bytes(ctx, e, 16);
    put32(e, 16, static_cast<int32_t>(read_bits(&ctx->bs, 32)));
    put32(e, 20, static_cast<int32_t>(read_bits(&ctx->bs, 32)));
    read_bytes(ctx, e + 24, 8);
    length_rule(&ctx->bs, p1, 8 * static_cast<int64_t>(length), "Error! car plate length is wrong!\n ");
}

void parse_ext_mac_wifi(decoder_ctx *ctx)
{
    const int32_t length = u(ctx, 8);
    const int32_t p1 = ctx->bs.position;
    const int32_t subtype = u(ctx, 8);
    if (subtype > 3) {
        std::printf("mac wifi do not support the subtype!\n");
        return;
    }
    const uint32_t n = (static_cast<uint32_t>(length) - 1) / 8;
    if (n > EXT_MAX_MACS) {
        std::printf("mac wifi num larger than max_mac_wifi_num!\n");
        return;
    }
    uint8_t *rec = record(ctx);
    for (uint32_t k = 0; k < n; ++k) {
        uint8_t *e = rec + EXT_MACS + EXT_MAC_SIZE * k;
        read_bytes(ctx, e, 6);
        put16(e, 6, static_cast<uint16_t>(u(ctx, 16)));
    }
    put32(rec, EXT_MAC_COUNT, static_cast<int32_t>(n));
    length_rule(&ctx->bs, p1, 8 * static_cast<int64_t>(length), "Error! mac wifi length is wrong!\n ");
}

int32_t parse_extension_unit(decoder_ctx *ctx)
{
    // A call without a record still walks the items, into a record nobody reads.
    extension_data_record *const caller = ctx->ext;
    extension_data_record scratch;
    if (!caller) {
        std::memset(&scratch, 0, sizeof scratch);
        ctx->ext = &scratch;
    }
    bit_reader *br = &ctx->bs;
    int32_t result = 0;
    for (int32_t id = u(ctx, 8); id != 128; id = u(ctx, 8)) {
        bool ok = true;
        switch (id) {
        case 1: parse_ext_type1(ctx); break;
        case 2: parse_ext_type2(ctx); break;
        case 3: parse_ext_type3(ctx); break;
        case 4: parse_ext_time(ctx); break;
        case 9: ok = parse_ext_perimeter_guard(ctx); break;
        case 129: parse_ext_id_card(ctx); break;
        case 130: parse_ext_type130(ctx); break;
        case 131: parse_ext_car_plate(ctx); break;
        case 135: parse_ext_mac_wifi(ctx); break;
        default:
            // The rest of the unit holds nothing this decoder knows.
            result = bit_reader_exhausted(br) ? SVAC_ERR_TRUNCATED : 0;
            ctx->ext = caller;
            return result;
        }
        if (!ok || bit_reader_exhausted(br)) {
            result = SVAC_ERR_TRUNCATED;
            break;
        }
    }
    ctx->ext = caller;
    return result;
}
