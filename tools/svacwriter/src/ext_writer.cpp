#include "svacwriter/ext_writer.h"

#include <string>

namespace svacwriter {

namespace {

void put_bytes(BitWriter& w, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        w.put_bits(data[i], 8);
}

template <size_t N>
void put_array(BitWriter& w, const std::array<uint8_t, N>& a)
{
    put_bytes(w, a.data(), N);
}

void put_vector(BitWriter& w, const std::vector<uint8_t>& v) { put_bytes(w, v.data(), v.size()); }

void put_head(BitWriter& w, uint32_t id)
{
    w.put_bits(id, 8);
}

// Length byte from a count, or the writer fails when it does not fit.
uint32_t byte_length(BitWriter& w, const std::optional<uint32_t>& given, size_t computed, const char* item)
{
    if (given)
        return *given;
    if (computed > 255) {
        w.fail(std::string(item) + ": contents too long for the length byte");
        return 0;
    }
    return static_cast<uint32_t>(computed);
}

} // namespace

void write_ext_type1(BitWriter& w, const std::vector<std::array<uint8_t, 4>>& groups)
{
    put_head(w, kExtType1);
    w.put_bits(0, 8);
    w.put_bits(0, 8);
    w.put_bits(0, 16);
    w.put_bits(static_cast<uint32_t>(groups.size()), 4);
    w.put_bits(0, 4);
    for (const auto& g : groups)
        put_array(w, g);
}

void write_ext_type2(BitWriter& w, const std::vector<std::vector<uint8_t>>& groups)
{
    put_head(w, kExtType2);
    w.put_bits(0, 8);
    w.put_bits(0, 8);
    w.put_bits(0, 16);
    w.put_bits(static_cast<uint32_t>(groups.size()), 4);
    w.put_bits(0, 4);
    for (const auto& g : groups) {
        w.put_bits(static_cast<uint32_t>(g.size()), 8);
        put_vector(w, g);
    }
}

void write_ext_type3(BitWriter& w, const std::vector<std::array<uint8_t, 4>>& groups)
{
    put_head(w, kExtType3);
    w.put_bits(0, 8);
    w.put_bits(0, 8);
    w.put_bits(0, 16);
    w.put_bits(static_cast<uint32_t>(groups.size()), 6);
    w.put_bits(0, 2);
    for (const auto& g : groups) {
        w.put_bits(g[0], 4);
        w.put_bits(g[1], 4);
        w.put_bits(g[2], 8);
        w.put_bits(g[3], 8);
    }
}

void write_ext_time(BitWriter& w, const ExtTime& t)
{
    put_head(w, kExtTime);
    w.put_bits(t.head_a, 8);
    w.put_bits(t.head_b, 8);
    w.put_bits(t.head_c, 16);
    w.put_bits(t.hour, 5);
    w.put_bits(t.minute, 6);
    w.put_bits(t.second, 6);
    w.put_bits(t.sub_second, 14);
    w.put_bit(t.has_date);
    if (t.has_date) {
        w.put_bits(t.year, 7);
        w.put_bits(t.month, 4);
        w.put_bits(t.day, 5);
    }
    w.put_bits(t.trailing, 8);
}

void write_ext_perimeter(BitWriter& w, const ExtPerimeter& p)
{
    put_head(w, kExtPerimeter);
    // The item is written into its own writer first so that its length in words is known.
    BitWriter body;
    body.put_bits(p.head_a, 8);
    body.put_bits(p.head_b, 8);
    body.put_bits(p.mode, 3);
    body.put_bits(p.width, 5);
    for (uint32_t v : p.values)
        body.put_bits(v, static_cast<int>(p.width));
    body.put_bits(p.tail, 4);
    body.put_ue(p.zone_count ? *p.zone_count : static_cast<uint32_t>(p.zones.size()));
    static const int widths[11] = {-1, 0, 0, -1, -1, 1, 5, 1, 3, 1, 2};
    for (const ExtZone& z : p.zones) {
        for (int f = 0; f < 11; ++f) {
            if (widths[f] < 0)
                body.put_ue(z.fields[f]);
            else
                body.put_bits(z.fields[f], widths[f] ? widths[f] : static_cast<int>(p.width));
        }
    }
    const uint64_t bits = 16 + body.bit_count();
    const uint64_t words = (bits + 31) / 32;
    if (!p.length && words > 0xFFFF)
        w.fail("perimeter guard: item too long for its length field");
    if (!body.ok())
        w.fail(body.error());
    w.put_bits(p.length ? *p.length : static_cast<uint32_t>(words), 16);
    const std::vector<uint8_t>& bytes = body.bytes();
    for (uint64_t i = 0; i < body.bit_count(); ++i)
        w.put_bit((bytes[i / 8] >> (7 - i % 8)) & 1);
    for (uint64_t i = bits; i < 32 * words; ++i)
        w.put_bit(false);
}

void write_ext_id_card(BitWriter& w, const ExtIdCard& c)
{
    put_head(w, kExtIdCard);
    w.put_bits(byte_length(w, c.length, 164 + c.extra.size(), "ID card"), 8);
    w.put_bits(c.subtype, 8);
    if (!c.body)
        return;
    put_array(w, c.field_a);
    put_array(w, c.field_b);
    w.put_bits(c.value, 16);
    put_array(w, c.field_c);
    put_array(w, c.field_d);
    put_array(w, c.field_e);
    put_vector(w, c.extra);
}

void write_ext_typed_block(BitWriter& w, const ExtTypedBlock& b)
{
    put_head(w, kExtTypedBlock);
    if (b.data.size() > 255)
        w.fail("typed block: more than 255 data bytes");
    w.put_bits(byte_length(w, b.length, 13 + b.data.size() + b.extra.size(), "typed block"), 8);
    w.put_bits(b.subtype, 8);
    put_array(w, b.head);
    for (uint32_t v : {b.value_a, b.value_b}) {
        w.put_bits(v & 0xFF, 8);
        w.put_bits((v >> 8) & 0xFF, 8);
    }
    w.put_bits(static_cast<uint32_t>(b.data.size() & 0xFF), 8);
    put_array(w, b.mid);
    put_vector(w, b.data);
    put_vector(w, b.extra);
}

void write_ext_car_plate(BitWriter& w, const ExtCarPlate& p)
{
    put_head(w, kExtCarPlate);
    w.put_bits(byte_length(w, p.length, 32 + p.extra.size(), "car plate"), 8);
    w.put_bits(p.subtype, 8);
    if (!p.body)
        return;
    put_array(w, p.plate);
    w.put_bits(p.value_a, 32);
    w.put_bits(p.value_b, 32);
    put_array(w, p.tail);
    put_vector(w, p.extra);
}

void write_ext_mac_wifi(BitWriter& w, const ExtMacWifi& m)
{
    put_head(w, kExtMacWifi);
    w.put_bits(byte_length(w, m.length, 1 + 8 * m.entries.size() + m.extra.size(), "MAC/wifi"), 8);
    w.put_bits(m.subtype, 8);
    for (const ExtMac& e : m.entries) {
        put_array(w, e.address);
        w.put_bits(e.value, 16);
    }
    put_vector(w, m.extra);
}

NalUnit extension_unit(BitWriter& items, StartCode start_code)
{
    return finish_unit(nal_header(kNalExtension), items, start_code);
}

} // namespace svacwriter
