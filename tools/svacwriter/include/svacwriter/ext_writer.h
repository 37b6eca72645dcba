// Surveillance extension units of the SVAC stream writer. Each write_ext_* appends one item,
// its 8-bit id first; extension_unit() closes a writer holding items into a unit:
//
//   BitWriter w;
//   ExtTime t;
//   t.hour = 12;
//   write_ext_time(w, t);
//   write_ext_mac_wifi(w, macs);
//   NalUnit unit = extension_unit(w);
//
// Lengths are computed from the contents unless given; a given length is written as it
// stands, so a test can make an item claim more or less than it holds.
#ifndef SVACWRITER_EXT_WRITER_H
#define SVACWRITER_EXT_WRITER_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "svacwriter/bit_writer.h"
#include "svacwriter/nal_writer.h"

namespace svacwriter {

enum ExtItemId : uint32_t {
    kExtType1 = 1,
    kExtType2 = 2,
    kExtType3 = 3,
    kExtTime = 4,
    kExtPerimeter = 9,
    kExtEnd = 128,
    kExtIdCard = 129,
    kExtTypedBlock = 130,
    kExtCarPlate = 131,
    kExtMacWifi = 135,
};

// Items 1..3, which a decoder reads past. Type 1: groups of 4 bytes; type 2: groups of
// length-prefixed bytes; type 3: groups of {u(4), u(4), u(8), u(8)} given as 4 values.
void write_ext_type1(BitWriter& w, const std::vector<std::array<uint8_t, 4>>& groups);
void write_ext_type2(BitWriter& w, const std::vector<std::vector<uint8_t>>& groups);
void write_ext_type3(BitWriter& w, const std::vector<std::array<uint8_t, 4>>& groups);

struct ExtTime {
    uint32_t head_a = 0, head_b = 0, head_c = 0;   // u(8), u(8), u(16)
    uint32_t hour = 0;          // u(5)
    uint32_t minute = 0;        // u(6)
    uint32_t second = 0;        // u(6)
    uint32_t sub_second = 0;    // u(14)
    bool has_date = false;
    uint32_t year = 0;          // u(7): years after 2000
    uint32_t month = 0;         // u(4)
    uint32_t day = 0;           // u(5)
    uint32_t trailing = 0;      // u(8)
};
void write_ext_time(BitWriter& w, const ExtTime& t);

struct ExtZone {
    // ue, u(n), u(n), ue, ue, u(1), u(5), u(1), u(3), u(1), u(2)
    std::array<uint32_t, 11> fields{};
};

struct ExtPerimeter {
    std::optional<uint32_t> length;     // u(16), 32-bit words counted from the length field
    uint32_t head_a = 0, head_b = 0;    // u(8) each
    uint32_t mode = 0;                  // u(3)
    uint32_t width = 8;                 // u(5): bits of the coordinate values
    std::array<uint32_t, 4> values{};   // u(width) each
    uint32_t tail = 0;                  // u(4)
    std::optional<uint32_t> zone_count; // ue(v); zones.size() unless given
    std::vector<ExtZone> zones;
    // The item is padded with zero bits to whole words.
};
void write_ext_perimeter(BitWriter& w, const ExtPerimeter& p);

struct ExtIdCard {
    std::optional<uint32_t> length;     // u(8): bytes after the subtype; 164 + extra
    uint32_t subtype = 0;
    std::array<uint8_t, 19> field_a{};
    std::array<uint8_t, 30> field_b{};
    uint32_t value = 0;                 // u(16)
    std::array<uint8_t, 24> field_c{};
    std::array<uint8_t, 70> field_d{};
    std::array<uint8_t, 19> field_e{};
    std::vector<uint8_t> extra;         // bytes after the entry, inside the length
    bool body = true;                   // false: the item ends after its subtype
};
void write_ext_id_card(BitWriter& w, const ExtIdCard& c);

struct ExtTypedBlock {
    std::optional<uint32_t> length;     // u(8): bytes after the length; 13 + data + extra
    uint32_t subtype = 0x20;
    std::array<uint8_t, 4> head{};
    uint32_t value_a = 0, value_b = 0;  // 16 bits each, low byte first
    std::array<uint8_t, 3> mid{};
    std::vector<uint8_t> data;          // its size is the data length byte (at most 255)
    std::vector<uint8_t> extra;
};
void write_ext_typed_block(BitWriter& w, const ExtTypedBlock& b);

struct ExtCarPlate {
    std::optional<uint32_t> length;     // u(8): bytes after the subtype; 32 + extra
    uint32_t subtype = 5;
    std::array<uint8_t, 16> plate{};
    uint32_t value_a = 0, value_b = 0;  // u(32) each
    std::array<uint8_t, 8> tail{};
    std::vector<uint8_t> extra;
    bool body = true;
};
void write_ext_car_plate(BitWriter& w, const ExtCarPlate& p);

struct ExtMac {
    std::array<uint8_t, 6> address{};
    uint32_t value = 0;                 // u(16)
};

struct ExtMacWifi {
    std::optional<uint32_t> length;     // u(8): bytes after the length; 1 + 8 entries + extra
    uint32_t subtype = 0;
    std::vector<ExtMac> entries;
    std::vector<uint8_t> extra;
};
void write_ext_mac_wifi(BitWriter& w, const ExtMacWifi& m);

// Extension unit (NAL type 5) from a writer holding its items.
NalUnit extension_unit(BitWriter& items, StartCode start_code = StartCode::kFourByte);

} // namespace svacwriter

#endif
