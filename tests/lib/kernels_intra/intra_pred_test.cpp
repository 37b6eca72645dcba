// Intra prediction kernels, reached through their table slots.
#include "guarded_region.h"
#include "ipred.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Family { Luma4x4, Luma8x8, Chroma };
enum class Rule { Vert, Horz, Lp, Dnlf, Dnrh, Lplf, Lptp, D128, Plane };

const Rule kLumaSlots[] = {Rule::Vert, Rule::Horz, Rule::Lp,   Rule::Dnlf,
                           Rule::Dnrh, Rule::Lplf, Rule::Lptp, Rule::D128};
const Rule kChromaSlots[] = {Rule::Lp, Rule::Horz, Rule::Vert, Rule::Plane, Rule::Lplf, Rule::Lptp, Rule::D128};

struct FamilyInfo {
    Family family;
    const char *name;
    int n;
    int slots;
};

const FamilyInfo kFamilies[] = {
    {Family::Luma4x4, "luma4x4", 4, N_INTRA_LUMA_MODES},
    {Family::Luma8x8, "luma8x8", 8, N_INTRA_LUMA_MODES},
    {Family::Chroma, "chroma", 8, N_INTRA_CHROMA_MODES},
};

const int kDepths[] = {8, 10};

const char *rule_name(Rule r)
{
    switch (r) {
    case Rule::Vert: return "VERT";
    case Rule::Horz: return "HORZ";
    case Rule::Lp: return "LP";
    case Rule::Dnlf: return "DNLF";
    case Rule::Dnrh: return "DNRH";
    case Rule::Lplf: return "LPLF";
    case Rule::Lptp: return "LPTP";
    case Rule::D128: return "D128";
    case Rule::Plane: return "PLANE";
    }
    return "?";
}

Rule slot_rule(Family f, int slot)
{
    return f == Family::Chroma ? kChromaSlots[slot] : kLumaSlots[slot];
}

intra_pred_fn slot_kernel(Family f, int bit_depth, int slot)
{
    const int row = bit_depth - 8;
    switch (f) {
    case Family::Luma4x4: return intra_pred4x4_funcs[row][slot];
    case Family::Luma8x8: return intra_pred8x8_funcs[row][slot];
    case Family::Chroma: return intra_pred_chroma_funcs[row][slot];
    }
    return nullptr;
}

// Array entries a mode may read; last < 0 means it reads none.
struct Window {
    int first;
    int last;
};

void read_windows(Rule r, int n, Window &top, Window &left)
{
    const Window none{0, -1};
    switch (r) {
    case Rule::Vert: top = {1, n}; left = none; break;
    case Rule::Horz: top = none; left = {1, n}; break;
    case Rule::Lp: top = {0, n + 1}; left = {0, n + 1}; break;
    case Rule::Dnlf: top = {1, 2 * n + 1}; left = {1, 2 * n + 1}; break;
    case Rule::Dnrh: top = {0, n}; left = {0, n}; break;
    case Rule::Lplf: top = none; left = {0, n + 1}; break;
    case Rule::Lptp: top = {0, n + 1}; left = none; break;
    case Rule::D128: top = none; left = none; break;
    case Rule::Plane: top = {0, 8}; left = {0, 8}; break;
    }
}

int lowpass(const std::vector<int> &a, int k)
{
    return (a[k] + 2 * a[k + 1] + a[k + 2] + 2) >> 2;
}

int floor_shift5(int v)
{
    return v >= 0 ? v / 32 : -((-v + 31) / 32);
}

// The prediction rule of each mode, sample by sample.
int expected_sample(Rule r, const std::vector<int> &t, const std::vector<int> &l, int x, int y, int bit_depth)
{
    switch (r) {
    case Rule::Vert: return t[x + 1];
    case Rule::Horz: return l[y + 1];
    case Rule::Lp: return (lowpass(t, x) + lowpass(l, y)) / 2;
    case Rule::Dnlf: return (lowpass(t, x + y + 1) + lowpass(l, x + y + 1)) / 2;
    case Rule::Dnrh:
        if (x == y)
            return (l[1] + 2 * t[0] + t[1] + 2) / 4;
        return x > y ? lowpass(t, x - y - 1) : lowpass(l, y - x - 1);
    case Rule::Lplf: return lowpass(l, y);
    case Rule::Lptp: return lowpass(t, x);
    case Rule::D128: return 1 << (bit_depth - 1);
    case Rule::Plane: {
        int h = 0, v = 0;
        for (int i = 1; i <= 4; ++i) {
            h += i * (t[4 + i] - t[4 - i]);
            v += i * (l[4 + i] - l[4 - i]);
        }
        const int gx = floor_shift5(17 * h + 16);
        const int gy = floor_shift5(17 * v + 16);
        const int s = floor_shift5(16 * (t[8] + l[8]) + gx * (x - 3) + gy * (y - 3) + 16);
        const int max = (1 << bit_depth) - 1;
        return s < 0 ? 0 : (s > max ? max : s);
    }
    }
    return -1;
}

// Destination with a margin of canary samples around the block.
struct Destination {
    static constexpr int kMarginX = 3;
    static constexpr int kMarginY = 2;
    static constexpr uint16_t kCanary = 0xA5A5;

    Destination(int n_, int bit_depth_) : n(n_), bit_depth(bit_depth_)
    {
        width = n + 2 * kMarginX + 1;
        bytes.assign(size_t(width) * (n + 2 * kMarginY) * sample_bytes(bit_depth), 0xA5);
    }
    uint8_t *block() { return bytes.data() + (size_t(kMarginY) * width + kMarginX) * sample_bytes(bit_depth); }
    uint32_t stride() const { return uint32_t(width * sample_bytes(bit_depth)); }
    int at(int x, int y) const
    {
        return get_sample(bytes.data(), bit_depth, size_t(y + kMarginY) * width + x + kMarginX);
    }
    // Every sample outside the block still holds the canary.
    bool margin_intact() const
    {
        const int canary = bit_depth > 8 ? kCanary : 0xA5;
        for (int y = -kMarginY; y < n + kMarginY; ++y)
            for (int x = -kMarginX; x < width - kMarginX; ++x) {
                const bool inside = x >= 0 && x < n && y >= 0 && y < n;
                if (!inside && at(x, y) != canary)
                    return false;
            }
        return true;
    }

    int n;
    int bit_depth;
    int width;
    std::vector<uint8_t> bytes;
};

// Neighbour arrays copied into guarded memory so that the entries a mode may
// read end at (or, with at_head, start at) an inaccessible page.
class GuardedNeighbours {
public:
    GuardedNeighbours(const std::vector<int> &values, Window w, int bit_depth, bool at_head)
        : m_region(64)
    {
        const int bps = sample_bytes(bit_depth);
        if (w.last < w.first) {
            m_ptr = at_head ? m_region.begin() - bps : m_region.tail(0);
            return;
        }
        m_ptr = at_head ? m_region.begin() - w.first * bps : m_region.tail(size_t(w.last + 1) * bps);
        for (int i = w.first; i <= w.last; ++i)
            put_sample(m_ptr, bit_depth, size_t(i), values[size_t(i)]);
    }
    const uint8_t *ptr() const { return m_ptr; }

private:
    GuardedBytes m_region;
    uint8_t *m_ptr = nullptr;
};

// Runs one slot on guarded copies of t and l and returns the destination.
Destination predict(Family f, int bit_depth, int slot, const std::vector<int> &t, const std::vector<int> &l,
                    bool at_head)
{
    const int n = f == Family::Luma4x4 ? 4 : 8;
    Window tw, lw;
    read_windows(slot_rule(f, slot), n, tw, lw);
    GuardedNeighbours top(t, tw, bit_depth, at_head);
    GuardedNeighbours left(l, lw, bit_depth, at_head);
    Destination dst(n, bit_depth);
    slot_kernel(f, bit_depth, slot)(dst.block(), top.ptr(), left.ptr(), dst.stride());
    return dst;
}

std::string label(const FamilyInfo &fi, int bit_depth, int slot)
{
    return std::string(fi.name) + " " + std::to_string(bit_depth) + "-bit slot " + std::to_string(slot) + " " +
           rule_name(slot_rule(fi.family, slot));
}

class IntraPred : public ::testing::Test {
protected:
    void SetUp() override { intra_pred_init(0); }
};

TEST_F(IntraPred, TablesHoldRowsForEightAndTenBitsAndShareChromaKernels)
{
    for (int row : {0, 2}) {
        for (int s = 0; s < N_INTRA_LUMA_MODES; ++s) {
            EXPECT_NE(intra_pred4x4_funcs[row][s], nullptr) << row << " " << s;
            EXPECT_NE(intra_pred8x8_funcs[row][s], nullptr) << row << " " << s;
        }
        for (int s = 0; s < N_INTRA_CHROMA_MODES; ++s)
            EXPECT_NE(intra_pred_chroma_funcs[row][s], nullptr) << row << " " << s;
        EXPECT_NE(intra_pred4x4_funcs[row][0], intra_pred4x4_funcs[2 - row][0]);

        // Chroma LP, HOR, VER, LPLE, LPTP and D128 are the 8x8 luma kernels.
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_LP], intra_pred8x8_funcs[row][INTRA_LUMA_LP]);
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_HOR], intra_pred8x8_funcs[row][INTRA_LUMA_HORZ]);
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_VER], intra_pred8x8_funcs[row][INTRA_LUMA_VERT]);
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_LPLE], intra_pred8x8_funcs[row][INTRA_LUMA_LPLF]);
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_LPTP], intra_pred8x8_funcs[row][INTRA_LUMA_LPTP]);
        EXPECT_EQ(intra_pred_chroma_funcs[row][INTRA_CHROMA_D128], intra_pred8x8_funcs[row][INTRA_LUMA_D128]);
    }
    for (int s = 0; s < N_INTRA_LUMA_MODES; ++s) {
        EXPECT_EQ(intra_pred4x4_funcs[1][s], nullptr);
        EXPECT_EQ(intra_pred8x8_funcs[1][s], nullptr);
    }
    for (int s = 0; s < N_INTRA_CHROMA_MODES; ++s)
        EXPECT_EQ(intra_pred_chroma_funcs[1][s], nullptr);
    for (int row = 0; row < N_INTRA_ROWS; ++row) {
        EXPECT_NE(intra_pred_multi_funcs[row], nullptr) << row;
        EXPECT_NE(intra_pred_multi_chroma_funcs[row], nullptr) << row;
    }
}

// Random neighbours, read windows against guard pages on both ends, and a
// destination whose margin must stay untouched.
TEST_F(IntraPred, EveryModeFollowsItsRuleOnRandomNeighbours)
{
    std::mt19937 rng(20240611);
    for (const FamilyInfo &fi : kFamilies)
        for (int bd : kDepths)
            for (int slot = 0; slot < fi.slots; ++slot)
                for (int trial = 0; trial < 24; ++trial) {
                    const int max = (1 << bd) - 1;
                    std::uniform_int_distribution<int> dist(0, max);
                    std::vector<int> t(2 * fi.n + 2), l(2 * fi.n + 2);
                    for (int &v : t)
                        v = dist(rng);
                    for (int &v : l)
                        v = dist(rng);
                    const Destination d = predict(fi.family, bd, slot, t, l, trial % 2 == 0);
                    const Rule r = slot_rule(fi.family, slot);
                    for (int y = 0; y < fi.n; ++y)
                        for (int x = 0; x < fi.n; ++x)
                            ASSERT_EQ(d.at(x, y), expected_sample(r, t, l, x, y, bd))
                                << label(fi, bd, slot) << " at (" << x << ", " << y << ")";
                    ASSERT_TRUE(d.margin_intact()) << label(fi, bd, slot);
                }
}

TEST_F(IntraPred, FlatNeighboursPredictTheirValueAndD128TheMidValue)
{
    for (const FamilyInfo &fi : kFamilies)
        for (int bd : kDepths)
            for (int v : {0, 1, 100, (1 << bd) - 1})
                for (int slot = 0; slot < fi.slots; ++slot) {
                    const std::vector<int> flat(2 * fi.n + 2, v);
                    const Destination d = predict(fi.family, bd, slot, flat, flat, false);
                    const int want = slot_rule(fi.family, slot) == Rule::D128 ? 1 << (bd - 1) : v;
                    for (int y = 0; y < fi.n; ++y)
                        for (int x = 0; x < fi.n; ++x)
                            ASSERT_EQ(d.at(x, y), want) << label(fi, bd, slot) << " v " << v;
                }
}

// Hand-computed blocks.
TEST_F(IntraPred, LowPassAveragesRoundedFiltersDownwards)
{
    // F(T, x) = 10 and F(L, y) = 11 give 10, not 11.
    for (int bd : kDepths) {
        const Destination d = predict(Family::Luma4x4, bd, INTRA_LUMA_LP, std::vector<int>(10, 10),
                                      std::vector<int>(10, 11), false);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(d.at(x, y), 10) << bd;
    }
}

TEST_F(IntraPred, DiagonalDownRightTakesTheCornerFromTheTopArray)
{
    // T[0] = 40 differs from L[0] = 0: diagonal (60 + 80 + 20 + 2) >> 2 = 40,
    // (0, 1) = F(L, 0) = (0 + 120 + 60 + 2) >> 2 = 45, (1, 0) = F(T, 0) = (40 + 40 + 20 + 2) >> 2 = 25.
    std::vector<int> t(10, 20), l(10, 60);
    t[0] = 40;
    l[0] = 0;
    for (int bd : kDepths) {
        const Destination d = predict(Family::Luma4x4, bd, INTRA_LUMA_DNRH, t, l, false);
        const int want[4][4] = {{40, 25, 20, 20}, {45, 40, 25, 20}, {60, 45, 40, 25}, {60, 60, 45, 40}};
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(d.at(x, y), want[y][x]) << bd << " (" << x << ", " << y << ")";
    }
}

TEST_F(IntraPred, DiagonalDownLeftReadsTheRepeatEntries)
{
    // Only the repeat entry T[2N + 1] is non-zero: F(T, 2N - 1) = (0 + 0 + 100 + 2) >> 2 = 25,
    // so the bottom-right sample is 25 >> 1 = 12 and every other sample 0.
    for (int n : {4, 8}) {
        std::vector<int> t(2 * n + 2, 0), l(2 * n + 2, 0);
        t[2 * n + 1] = 100;
        const Family f = n == 4 ? Family::Luma4x4 : Family::Luma8x8;
        const Destination d = predict(f, 8, INTRA_LUMA_DNLF, t, l, false);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                EXPECT_EQ(d.at(x, y), x == n - 1 && y == n - 1 ? 12 : 0) << n;
    }
}

// Arrays as the caller builds them when neighbours are missing: substituted
// corners, and the last sample repeated where above right or below left is
// unavailable. The side a mode does not read lies in an inaccessible page.
TEST_F(IntraPred, SubstitutedNeighbourArrays)
{
    struct Case {
        const char *name;
        Family family;
        int slot;
        std::vector<int> t, l;
        std::vector<std::vector<int>> want; // rows
    };
    const Case cases[] = {
        {"LPLF, only left: L[0] = L[1], below left repeated", Family::Luma4x4, INTRA_LUMA_LPLF,
         {},
         {40, 40, 80, 80, 80, 80, 80, 80, 80, 80},
         {{50, 50, 50, 50}, {70, 70, 70, 70}, {80, 80, 80, 80}, {80, 80, 80, 80}}},
        {"LPTP, only top: T[0] = T[1], above right repeated", Family::Luma4x4, INTRA_LUMA_LPTP,
         {20, 20, 40, 60, 100, 100, 100, 100, 100, 100},
         {},
         {{25, 40, 65, 90}, {25, 40, 65, 90}, {25, 40, 65, 90}, {25, 40, 65, 90}}},
        {"LP, corner (L[1] + T[1] + 1) >> 1 in both arrays", Family::Luma4x4, INTRA_LUMA_LP,
         {46, 30, 30, 30, 30, 30, 30, 30, 30, 30},
         {46, 61, 61, 61, 61, 61, 61, 61, 61, 61},
         {{45, 43, 43, 43}, {47, 45, 45, 45}, {47, 45, 45, 45}, {47, 45, 45, 45}}},
        {"chroma LPLE, only left", Family::Chroma, INTRA_CHROMA_LPLE,
         {},
         {40, 40, 80, 80, 80, 80, 80, 80, 80, 80},
         {{50}, {70}, {80}, {80}, {80}, {80}, {80}, {80}}},
    };
    for (const Case &c : cases)
        for (int bd : kDepths) {
            const Destination d = predict(c.family, bd, c.slot, c.t, c.l, false);
            for (size_t y = 0; y < c.want.size(); ++y)
                for (int x = 0; x < d.n; ++x) {
                    const std::vector<int> &row = c.want[y];
                    EXPECT_EQ(d.at(x, int(y)), row.size() == 1 ? row[0] : row[size_t(x)])
                        << c.name << ", " << bd << "-bit (" << x << ", " << y << ")";
                }
        }
}

TEST_F(IntraPred, DiagonalDownLeftWithRepeatedAboveRightAndBelowLeft)
{
    // 8x8 block without above-right or below-left samples: T[1..8] = 8, 16, ..., 64 and
    // T[9..17] = 64; L[1..17] = 100. F(T, s) = 8s + 8 for s <= 6, 62 for s = 7, 64 beyond,
    // so sample (x, y) = (F(T, x + y + 1) + 100) >> 1.
    std::vector<int> t(18, 64), l(18, 100);
    for (int i = 0; i <= 8; ++i)
        t[size_t(i)] = 8 * i;
    auto want = [](int s) { return s <= 6 ? 4 * s + 54 : (s == 7 ? 81 : 82); };
    for (int bd : kDepths) {
        const Destination d = predict(Family::Luma8x8, bd, INTRA_LUMA_DNLF, t, l, true);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(d.at(x, y), want(x + y + 1)) << bd << "-bit (" << x << ", " << y << ")";
    }
}

TEST_F(IntraPred, PlaneClipsASteepRampAtBothEnds)
{
    // T rises 0, 32, ..., 224, 255 and L falls 255, 223, ..., 31, 0:
    // H = 1916, V = -1916, gx = 1018, gy = -1018 (rounded towards minus infinity), a = 4080,
    // so sample (x, y) = (4096 + 1018 (x - y)) >> 5 clipped, a function of x - y.
    const std::vector<int> t = {0, 32, 64, 96, 128, 160, 192, 224, 255, 255};
    const std::vector<int> l = {255, 223, 191, 159, 127, 95, 63, 31, 0, 0};
    const Destination d = predict(Family::Chroma, 8, INTRA_CHROMA_PLANE, t, l, false);
    auto want = [](int diff) {
        static const int by_diff[] = {0, 32, 64, 96, 128, 159, 191, 223, 255};
        return diff <= -4 ? 0 : (diff >= 4 ? 255 : by_diff[diff + 4]);
    };
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(d.at(x, y), want(x - y)) << "(" << x << ", " << y << ")";
}

TEST_F(IntraPred, PlaneAtTheMaximumDoesNotWrap)
{
    for (int bd : kDepths) {
        const int max = (1 << bd) - 1;
        const std::vector<int> top(10, max), left(10, max);
        const Destination plane = predict(Family::Chroma, bd, INTRA_CHROMA_PLANE, top, left, false);
        const Destination mid = predict(Family::Chroma, bd, INTRA_CHROMA_D128, top, left, false);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(plane.at(x, y), max) << bd;
                EXPECT_EQ(mid.at(x, y), 1 << (bd - 1)) << bd;
            }
    }
}

TEST_F(IntraPred, TenBitPlaneRampReachesBothBounds)
{
    std::vector<int> t(10), l(10);
    for (int i = 0; i < 10; ++i) {
        t[i] = std::min(1023, 128 * i);
        l[i] = std::max(0, 1023 - 128 * i);
    }
    const Destination d = predict(Family::Chroma, 10, INTRA_CHROMA_PLANE, t, l, false);
    EXPECT_EQ(d.at(7, 0), 1023);
    EXPECT_EQ(d.at(0, 7), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(d.at(x, y), expected_sample(Rule::Plane, t, l, x, y, 10));
}

} // namespace
