// Loop-filter threshold tables by index 0..55, and their values by clamped index in rows.
#include "lf_strength.h"

#include <algorithm>
#include <utility>

extern constexpr uint8_t deblock_alpha_table[56] = {
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   4,   4,   5,
    6,   7,   8,   9,   10,  12,  13,  15,  17,  20,  22,  25,  28,  32,  36,  40,  45,  50,  56,
    63,  71,  80,  90,  101, 113, 127, 144, 162, 182, 203, 226, 255, 255, 255, 255, 255, 255,
};

extern constexpr uint8_t deblock_beta_table[56] = {
    0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  2,  2,  2,  3,  3,  3,  3,  4,  4,  4,  6,  6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19, 20, 20,
};

extern constexpr uint8_t deblock_clip_table[56] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7,
};

namespace {

constexpr uint8_t at(const uint8_t (&table)[56], int i) { return table[std::clamp(i, 0, 55)]; }

constexpr lf_threshold_row row_of(int a)
{
    return {at(deblock_alpha_table, a), at(deblock_beta_table, a),
            {at(deblock_clip_table, a - 1), at(deblock_clip_table, a), at(deblock_clip_table, a + 1),
             at(deblock_clip_table, a + 2)}};
}

template <int... I>
constexpr std::array<lf_threshold_row, sizeof...(I)> rows_of(std::integer_sequence<int, I...>)
{
    return {row_of(I + LF_INDEX_MIN)...};
}

} // namespace

const std::array<lf_threshold_row, LF_INDEX_MAX - LF_INDEX_MIN + 1> deblock_threshold_rows =
    rows_of(std::make_integer_sequence<int, LF_INDEX_MAX - LF_INDEX_MIN + 1>{});

static_assert(
    [] {
        for (uint8_t c : deblock_clip_table)
            if (c >= 8)
                return false;
        return true;
    }(),
    "the four clip values of a row shift in one word");
