// Surveillance extension units: the item walk and the item readers that fill the caller's
// extension_data_record (layout in svacdec.h).
#pragma once
#include <cstdint>

struct decoder_ctx;

// Byte offsets in extension_data_record.
enum ext_offset : int32_t {
    EXT_FLAGS = 0,
    EXT_TIME = 4,
    EXT_BLOCKS = 3248,
    EXT_PLATE_COUNT = 4024,
    EXT_PLATES = 4028,
    EXT_ID_CARD_COUNT = 4668,
    EXT_ID_CARDS = 4672,
    EXT_MAC_COUNT = 8312,
    EXT_MACS = 8316,
    EXT_PERIMETER = 9116,
    EXT_ZONES = 9152,
};

constexpr int32_t EXT_BLOCK_SIZE = 258;
constexpr int32_t EXT_BLOCK_DATA_ROOM = 244;
constexpr int32_t EXT_PLATE_SIZE = 32, EXT_MAX_PLATES = 20;
constexpr int32_t EXT_ID_CARD_SIZE = 182, EXT_MAX_ID_CARDS = 20;
constexpr int32_t EXT_MAC_SIZE = 8, EXT_MAX_MACS = 100;
constexpr int32_t EXT_ZONE_SIZE = 44;

// Item readers: called with the reader just after the item id, they leave it after what
// they consumed. The perimeter guard returns false when the zone count does not fit the
// record (the zones that fit are stored).
void parse_ext_type1(decoder_ctx *ctx);
void parse_ext_type2(decoder_ctx *ctx);
void parse_ext_type3(decoder_ctx *ctx);
void parse_ext_time(decoder_ctx *ctx);
bool parse_ext_perimeter_guard(decoder_ctx *ctx);
void parse_ext_id_card(decoder_ctx *ctx);
void parse_ext_type130(decoder_ctx *ctx);
void parse_ext_car_plate(decoder_ctx *ctx);
void parse_ext_mac_wifi(decoder_ctx *ctx);
