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
