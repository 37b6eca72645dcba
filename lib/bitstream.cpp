#include "bitstream.h"

#include <array>

namespace {

// Leading zeros of a 9-bit prefix.
constexpr int prefix_zeros(int p)
{
    int z = 0;
    while (z < 9 && !(p & (0x100 >> z)))
        ++z;
    return z;
}

template <typename T, typename F>
constexpr std::array<T, 512> prefix_table(F rule)
{
    std::array<T, 512> t{};
    for (int p = 16; p < 512; ++p)   // prefixes with at most 4 leading zeros
        t[p] = static_cast<T>(rule(p, prefix_zeros(p)));
    return t;
}

constexpr int ue_of_prefix(int p, int z) { return (p >> (9 - (2 * z + 1))) - 1; }

constexpr std::array<uint8_t, 256> make_log2()
{
    std::array<uint8_t, 256> t{};
    for (int x = 2; x < 256; ++x)
        t[x] = static_cast<uint8_t>(t[x / 2] + 1);
    return t;
}

} // namespace

extern const std::array<uint8_t, 512> ue_len_table =
    prefix_table<uint8_t>([](int, int z) { return 2 * z + 1; });
extern const std::array<uint8_t, 512> ue_value_table = prefix_table<uint8_t>(ue_of_prefix);
extern const std::array<int8_t, 512> se_value_table = prefix_table<int8_t>([](int p, int z) {
    const int k = ue_of_prefix(p, z);
    return (k & 1) ? (k + 1) / 2 : -(k / 2);
});
extern const std::array<uint8_t, 256> log2_table = make_log2();

// A code of at most 9 bits at the top of window w: its value from the table, the reader past it.
template <typename T>
static int32_t short_code(bit_reader *br, uint32_t w, const std::array<T, 512> &values)
{
    const uint32_t p = w >> 23;
    br->position += ue_len_table[p];
    return values[p];
}

int32_t read_ue_long(bit_reader *br)
{
    if (!bit_reader_check(br))
        return 0;
    const uint32_t w = bit_window(br, br->position);
    if (w >= (1u << 27))
        return short_code(br, w, ue_value_table);
    const int log = 2 * floor_log2(w) - 31;
    const int32_t pos = br->position;
    br->position += 32 - log;
    if (!(log >= 0)) {
        SVAC_ASSERT(log >= 0);
        return -3;
    }
    // The 32 - log code bits may pass the window's 25 sure bits.
    return static_cast<int32_t>(bit_window64(br, pos) >> (32 + log)) - 1;
}

int32_t read_se_long(bit_reader *br)
{
    if (!bit_reader_check(br))
        return 0;
    const uint32_t w = bit_window(br, br->position);
    if (w >= (1u << 27))
        return short_code(br, w, se_value_table);
    const int l = floor_log2(w);
    const int z = 31 - l;
    const uint32_t t = bit_window(br, br->position + z) >> l;
    br->position += 2 * z + 1;
    return (t & 1) ? -static_cast<int32_t>(t >> 1) : static_cast<int32_t>(t >> 1);
}
