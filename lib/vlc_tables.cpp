// Table data as rows: order k, threshold, largest advance with a reference level, the reference
// levels, the code of the end-of-block entry and the positive entries (level, advance) in code
// order. Each positive entry takes the next two free codes, +level first, then -level; the
// end-of-block entry keeps its own code. Steps follow from the thresholds of the set.
#include "vlc_tables.h"

#include <climits>

namespace {

struct vlc2d_row {
    int8_t order;
    int32_t threshold;
    int8_t max_advance;
    int8_t ref_level[VLC2D_MAX_REF_LEVELS];
    int8_t eob_code;
    int8_t pairs[29][2];
};

template <int N>
struct vlc2d_set {
    vlc2d_table t[N];
};

template <int N>
constexpr vlc2d_set<N> build_set(const vlc2d_row (&rows)[N])
{
    vlc2d_set<N> set{};
    for (int i = 0; i < N; ++i) {
        const vlc2d_row &r = rows[i];
        vlc2d_table &t = set.t[i];
        t.order = r.order;
        t.threshold = r.threshold;
        for (int a = 1; a <= VLC2D_MAX_ADVANCE; ++a)
            t.ref_level[a] = static_cast<int8_t>(a <= r.max_advance ? r.ref_level[a - 1] : 1);
        for (int m = 0; m < VLC2D_ESCAPE_STEPS; ++m) {
            int step = 0;
            while (i + step < N - 1 && rows[i + step].threshold < m)
                ++step;
            t.escape_step[m] = static_cast<int8_t>(step);
        }
        t.entries[r.eob_code] = vlc2d_entry{0, 0, 0, 0};
        int code = 0;
        for (int p = 0; p < 29; ++p) {
            const int level = r.pairs[p][0];
            int step = 0;
            while (i + step < N - 1 && rows[i + step].threshold < level)
                ++step;
            for (int sign = 0; sign < 2; ++sign) {
                if (code == r.eob_code)
                    ++code;
                t.entries[code] = vlc2d_entry{static_cast<int8_t>(sign ? -level : level), r.pairs[p][1],
                                              static_cast<int8_t>(step), 0};
                ++code;
            }
        }
        for (int c = VLC2D_CODES; c < VLC2D_CODES + VLC2D_ESCAPE_CODES; ++c)
            t.entries[c] = vlc2d_entry{static_cast<int8_t>(c & 1 ? -1 : 1),
                                       static_cast<int8_t>(((c - VLC2D_CODES) >> 1) + 1), 0, -1};
        for (int p = 0; p < (1 << VLC2D_DIRECT_BITS); ++p) {
            int z = 0;
            while (z < VLC2D_DIRECT_BITS && !(p & (1 << (VLC2D_DIRECT_BITS - 1 - z))))
                ++z;
            const int len = 2 * z + 1 + t.order;
            if (len > VLC2D_DIRECT_BITS)
                continue;
            const int c = (p >> (VLC2D_DIRECT_BITS - len)) - (1 << t.order);
            if (c >= VLC2D_CODES)
                continue;
            const vlc2d_entry &e = t.entries[c];
            t.direct[p] = vlc2d_direct{e.level, e.advance, e.step, static_cast<uint8_t>(len)};
        }
    }
    return set;
}

constexpr vlc2d_row intra_rows[VLC2D_INTRA_TABLES] = {
    {2, 0, 23, {4, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 58,
     {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {1, 11}, {2, 1}, {1, 12}, {1, 13}, {1, 14},
      {1, 15}, {2, 2}, {1, 16}, {1, 17}, {3, 1}, {1, 18}, {1, 19}, {2, 3}, {1, 20}, {1, 21}, {2, 4}, {1, 22}, {2, 5}, {1, 23}}},
    {2, 1, 15, {7, 4, 4, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2}, 8,
     {{1, 1}, {1, 2}, {2, 1}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {3, 1}, {2, 2}, {1, 7}, {1, 8}, {1, 9}, {2, 3}, {4, 1}, {1, 10},
      {1, 11}, {2, 4}, {3, 2}, {1, 12}, {2, 5}, {5, 1}, {1, 13}, {2, 6}, {1, 14}, {2, 7}, {2, 8}, {3, 3}, {6, 1}, {1, 15}}},
    {2, 2, 10, {10, 6, 4, 4, 3, 3, 3, 2, 2, 2}, 8,
     {{1, 1}, {2, 1}, {1, 2}, {3, 1}, {1, 3}, {2, 2}, {4, 1}, {1, 4}, {5, 1}, {1, 5}, {3, 2}, {2, 3}, {1, 6}, {6, 1}, {2, 4},
      {1, 7}, {4, 2}, {7, 1}, {3, 3}, {2, 5}, {1, 8}, {2, 6}, {8, 1}, {1, 9}, {5, 2}, {3, 4}, {2, 7}, {9, 1}, {1, 10}}},
    {2, 4, 7, {13, 7, 5, 4, 3, 2, 2}, 8,
     {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {4, 1}, {5, 1}, {2, 2}, {1, 3}, {6, 1}, {3, 2}, {7, 1}, {1, 4}, {8, 1}, {2, 3}, {4, 2},
      {1, 5}, {9, 1}, {5, 2}, {2, 4}, {10, 1}, {3, 3}, {1, 6}, {11, 1}, {6, 2}, {1, 7}, {2, 5}, {3, 4}, {12, 1}, {4, 3}}},
    {2, 7, 5, {18, 8, 4, 2, 2}, 6,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {1, 2}, {7, 1}, {8, 1}, {2, 2}, {9, 1}, {10, 1}, {1, 3}, {3, 2}, {11, 1},
      {4, 2}, {12, 1}, {13, 1}, {5, 2}, {1, 4}, {2, 3}, {14, 1}, {6, 2}, {15, 1}, {16, 1}, {3, 3}, {1, 5}, {7, 2}, {17, 1}}},
    {2, 10, 3, {22, 7, 3}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}, {10, 1}, {1, 2}, {11, 1}, {12, 1}, {13, 1}, {2, 2},
      {14, 1}, {15, 1}, {3, 2}, {16, 1}, {1, 3}, {17, 1}, {4, 2}, {18, 1}, {5, 2}, {19, 1}, {20, 1}, {6, 2}, {21, 1}, {2, 3}}},
    {2, INT_MAX, 2, {27, 4}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {15, 1},
      {16, 1}, {1, 2}, {17, 1}, {18, 1}, {19, 1}, {20, 1}, {21, 1}, {2, 2}, {22, 1}, {23, 1}, {24, 1}, {25, 1}, {3, 2}, {26, 1}}},
};

constexpr vlc2d_row inter_rows[VLC2D_INTER_TABLES] = {
    {3, 0, 26, {4, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 58,
     {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {1, 11}, {1, 12}, {1, 13}, {2, 1}, {1, 14},
      {1, 15}, {1, 16}, {1, 17}, {1, 18}, {1, 19}, {3, 1}, {1, 20}, {1, 21}, {2, 2}, {1, 22}, {1, 23}, {1, 24}, {1, 25}, {1, 26}}},
    {2, 1, 19, {5, 4, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 2,
     {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {2, 1}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {2, 2}, {1, 11}, {1, 12}, {3, 1},
      {1, 13}, {1, 14}, {2, 3}, {1, 15}, {2, 4}, {1, 16}, {2, 5}, {1, 17}, {4, 1}, {2, 6}, {1, 18}, {1, 19}, {2, 7}, {3, 2}}},
    {2, 2, 14, {7, 5, 4, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2}, 2,
     {{1, 1}, {1, 2}, {2, 1}, {1, 3}, {1, 4}, {3, 1}, {2, 2}, {1, 5}, {1, 6}, {1, 7}, {2, 3}, {4, 1}, {1, 8}, {3, 2}, {2, 4},
      {1, 9}, {1, 10}, {5, 1}, {2, 5}, {1, 11}, {2, 6}, {1, 12}, {3, 3}, {6, 1}, {4, 2}, {1, 13}, {2, 7}, {3, 4}, {1, 14}}},
    {2, 3, 10, {10, 6, 5, 4, 3, 3, 2, 2, 2, 2}, 2,
     {{1, 1}, {2, 1}, {1, 2}, {3, 1}, {1, 3}, {2, 2}, {4, 1}, {1, 4}, {5, 1}, {1, 5}, {3, 2}, {2, 3}, {1, 6}, {6, 1}, {2, 4},
      {1, 7}, {4, 2}, {7, 1}, {3, 3}, {1, 8}, {2, 5}, {8, 1}, {1, 9}, {3, 4}, {2, 6}, {5, 2}, {1, 10}, {9, 1}, {4, 3}}},
    {2, 6, 7, {13, 7, 5, 4, 3, 2, 2}, 2,
     {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {4, 1}, {5, 1}, {2, 2}, {1, 3}, {6, 1}, {3, 2}, {7, 1}, {1, 4}, {8, 1}, {2, 3}, {4, 2},
      {1, 5}, {9, 1}, {5, 2}, {2, 4}, {1, 6}, {10, 1}, {3, 3}, {11, 1}, {1, 7}, {6, 2}, {3, 4}, {2, 5}, {12, 1}, {4, 3}}},
    {2, 9, 5, {17, 8, 4, 3, 2}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {1, 2}, {6, 1}, {7, 1}, {8, 1}, {2, 2}, {9, 1}, {1, 3}, {10, 1}, {3, 2}, {11, 1},
      {4, 2}, {12, 1}, {1, 4}, {2, 3}, {13, 1}, {5, 2}, {14, 1}, {6, 2}, {1, 5}, {15, 1}, {3, 3}, {16, 1}, {2, 4}, {7, 2}}},
    {2, INT_MAX, 4, {22, 6, 3, 2}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {1, 2}, {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 1}, {2, 2}, {13, 1},
      {1, 3}, {14, 1}, {15, 1}, {3, 2}, {16, 1}, {17, 1}, {18, 1}, {4, 2}, {19, 1}, {20, 1}, {2, 3}, {1, 4}, {5, 2}, {21, 1}}},
};

constexpr vlc2d_row chroma_rows[VLC2D_CHROMA_TABLES] = {
    {2, 0, 25, {5, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 58,
     {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {2, 1}, {1, 8}, {1, 9}, {1, 10}, {1, 11}, {1, 12}, {1, 13}, {1, 14},
      {1, 15}, {3, 1}, {1, 16}, {1, 17}, {1, 18}, {1, 19}, {1, 20}, {1, 21}, {1, 22}, {2, 2}, {1, 23}, {1, 24}, {1, 25}, {4, 1}}},
    {0, 1, 20, {6, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 0,
     {{1, 1}, {1, 2}, {2, 1}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {3, 1}, {1, 7}, {1, 8}, {2, 2}, {1, 9}, {1, 10}, {1, 11}, {4, 1},
      {1, 12}, {1, 13}, {1, 14}, {2, 3}, {1, 15}, {2, 4}, {5, 1}, {3, 2}, {1, 16}, {1, 17}, {1, 18}, {2, 5}, {1, 19}, {1, 20}}},
    {1, 2, 11, {10, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2}, 2,
     {{1, 1}, {2, 1}, {1, 2}, {3, 1}, {1, 3}, {4, 1}, {2, 2}, {1, 4}, {5, 1}, {1, 5}, {3, 2}, {2, 3}, {1, 6}, {6, 1}, {1, 7},
      {2, 4}, {7, 1}, {1, 8}, {4, 2}, {1, 9}, {3, 3}, {2, 5}, {2, 6}, {8, 1}, {1, 10}, {1, 11}, {9, 1}, {5, 2}, {3, 4}}},
    {1, 4, 8, {14, 7, 4, 3, 3, 2, 2, 2}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {1, 2}, {5, 1}, {2, 2}, {6, 1}, {1, 3}, {7, 1}, {3, 2}, {8, 1}, {1, 4}, {2, 3}, {9, 1},
      {4, 2}, {1, 5}, {10, 1}, {3, 3}, {5, 2}, {2, 4}, {11, 1}, {1, 6}, {12, 1}, {1, 7}, {6, 2}, {13, 1}, {2, 5}, {1, 8}}},
    {0, INT_MAX, 5, {20, 7, 3, 2, 2}, 0,
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {1, 2}, {9, 1}, {10, 1}, {11, 1}, {2, 2}, {12, 1}, {13, 1},
      {3, 2}, {14, 1}, {1, 3}, {15, 1}, {4, 2}, {16, 1}, {17, 1}, {5, 2}, {1, 4}, {2, 3}, {18, 1}, {6, 2}, {19, 1}, {1, 5}}},
};

constexpr vlc2d_set<VLC2D_INTRA_TABLES> intra_set = build_set(intra_rows);
constexpr vlc2d_set<VLC2D_INTER_TABLES> inter_set = build_set(inter_rows);
constexpr vlc2d_set<VLC2D_CHROMA_TABLES> chroma_set = build_set(chroma_rows);

template <int N>
constexpr bool entries_filled(const vlc2d_set<N> &set)
{
    for (int i = 0; i < N; ++i)
        for (int c = 0; c < VLC2D_CODES; ++c)
            if (set.t[i].entries[c].advance == 0 && set.t[i].entries[c].level != 0)
                return false;
    return true;
}
static_assert(entries_filled(intra_set) && entries_filled(inter_set) && entries_filled(chroma_set), "table rows");

// The residual reader looks short codes up for orders 0..3 only.
template <int N>
constexpr bool orders_within(const vlc2d_set<N> &set)
{
    for (int i = 0; i < N; ++i)
        if (set.t[i].order < 0 || set.t[i].order > VLC2D_MAX_ORDER)
            return false;
    return true;
}
static_assert(orders_within(intra_set) && orders_within(inter_set) && orders_within(chroma_set), "table orders");

// An escape's level above the last entry of escape_step moves on to the set's last table.
template <int N>
constexpr bool escape_steps_cover(const vlc2d_row (&rows)[N])
{
    return rows[N - 2].threshold < VLC2D_ESCAPE_STEPS - 1;
}
static_assert(escape_steps_cover(intra_rows) && escape_steps_cover(inter_rows) && escape_steps_cover(chroma_rows),
              "escape steps");

} // namespace

const vlc2d_table vlc2d_intra_tables[VLC2D_INTRA_TABLES] = {
    intra_set.t[0], intra_set.t[1], intra_set.t[2], intra_set.t[3], intra_set.t[4], intra_set.t[5], intra_set.t[6],
};
const vlc2d_table vlc2d_inter_tables[VLC2D_INTER_TABLES] = {
    inter_set.t[0], inter_set.t[1], inter_set.t[2], inter_set.t[3], inter_set.t[4], inter_set.t[5], inter_set.t[6],
};
const vlc2d_table vlc2d_chroma_tables[VLC2D_CHROMA_TABLES] = {
    chroma_set.t[0], chroma_set.t[1], chroma_set.t[2], chroma_set.t[3], chroma_set.t[4],
};

const uint8_t cbp_map_420[64][2] = {
    {63, 0},  {15, 15}, {31, 63}, {47, 31}, {0, 16},  {14, 32}, {13, 47}, {11, 13}, {7, 14},  {5, 11},  {10, 12},
    {8, 5},   {12, 10}, {61, 7},  {4, 48},  {55, 3},  {1, 2},   {2, 8},   {59, 4},  {3, 1},   {62, 61}, {9, 55},
    {6, 59},  {29, 62}, {45, 29}, {51, 27}, {23, 23}, {39, 19}, {27, 30}, {46, 28}, {53, 9},  {30, 6},  {43, 60},
    {37, 21}, {60, 44}, {16, 26}, {21, 51}, {28, 35}, {19, 18}, {35, 20}, {42, 24}, {26, 53}, {44, 17}, {32, 37},
    {58, 39}, {24, 45}, {20, 58}, {17, 43}, {18, 42}, {48, 46}, {22, 36}, {33, 33}, {25, 34}, {49, 40}, {40, 52},
    {36, 49}, {34, 50}, {50, 56}, {52, 25}, {54, 22}, {41, 54}, {56, 57}, {38, 41}, {57, 38},
};

const uint8_t cbp_map_4bit[16][2] = {
    {15, 0}, {0, 1}, {7, 2}, {11, 4}, {13, 8}, {14, 3}, {3, 5}, {5, 10},
    {10, 12}, {12, 15}, {1, 7}, {2, 11}, {4, 13}, {8, 14}, {6, 6}, {9, 9},
};

const uint8_t chroma_qp_table[56] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
    28, 29, 30, 31, 32, 33, 33, 34, 35, 35, 36, 36, 37, 37, 38, 38, 39, 39, 39, 40, 40, 40, 41, 41, 41, 42, 42, 42,
};
