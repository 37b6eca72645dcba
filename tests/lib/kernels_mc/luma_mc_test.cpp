// Quarter-sample luma prediction through luma_mc_put_funcs and luma_mc_avg_funcs.
#include "guard_page.h"
#include "mc.h"
#include "mc_reference.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int MARGIN_BEFORE = 2; // columns and rows read before the block
constexpr int MARGIN_AFTER = 3;  // columns and rows read after it
// Random samples per slot: enough that a rounding off by one shows at every position.
constexpr int SAMPLES_PER_SLOT = 16384;

int row_of(int depth)
{
    return depth - 8;
}

int max_of(int depth)
{
    return (1 << depth) - 1;
}

luma_mc_fn luma_slot(int depth, int size, int p, bool avg)
{
    const int s = size == 16 ? LUMA_MC_16X16 : LUMA_MC_8X8;
    return avg ? luma_mc_avg_funcs[row_of(depth)][s][p] : luma_mc_put_funcs[row_of(depth)][s][p];
}

ref::Source source_of(const GuardedRect &plane, int bx, int by)
{
    return [&plane, bx, by](int x, int y) { return plane.get(bx + x, by + y); };
}

// depth, block size, position, average
using LumaParam = std::tuple<int, int, int, bool>;

class LumaMcSlot : public testing::TestWithParam<LumaParam> {
protected:
    void SetUp() override { mc_init(0); }
};

// Every output sample equals the formula; the source is read only inside columns and rows
// -2 .. N + 2 (the window touches a guard page on one side or the other); nothing beside
// the N x N destination block is written.
TEST_P(LumaMcSlot, MatchesFormulaInsideGuardedWindow)
{
    const auto [depth, n, p, avg] = GetParam();
    const int window = n + MARGIN_BEFORE + MARGIN_AFTER;
    const int bytes = depth > 8 ? 2 : 1;
    const ptrdiff_t stride = window * bytes;
    std::mt19937 rng(unsigned(depth * 1000 + n * 100 + p * 2 + avg));
    luma_mc_fn fn = luma_slot(depth, n, p, avg);
    ASSERT_NE(fn, nullptr);

    for (int trial = 0; trial < SAMPLES_PER_SLOT / (n * n); trial++) {
        const auto where = trial % 2 ? GuardedRect::AT_START : GuardedRect::AT_END;
        GuardedRect src(window, window, stride, depth, where);
        src.randomise(rng, max_of(depth), trial % 4 >= 2);
        GuardedRect dst(n, n, stride, depth);
        dst.randomise(rng, max_of(depth));
        std::vector<int> before;
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                before.push_back(dst.get(x, y));

        fn(dst.origin(), src.at(MARGIN_BEFORE, MARGIN_BEFORE), int32_t(stride));

        const ref::Source s = source_of(src, MARGIN_BEFORE, MARGIN_BEFORE);
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++) {
                const int o = ref::luma(s, p, x, y, max_of(depth));
                const int want = avg ? ref::average(before[size_t(y * n + x)], o) : o;
                ASSERT_EQ(dst.get(x, y), want) << "trial " << trial << " sample (" << x << ", " << y << ")";
            }
        ASSERT_TRUE(dst.gaps_untouched()) << "written beside the block";
    }
}

// depth, position, average
using QuadParam = std::tuple<int, int, bool>;

class LumaMcQuadrants : public testing::TestWithParam<QuadParam> {
protected:
    void SetUp() override { mc_init(0); }
};

// A 16x16 prediction is the four 8x8 predictions of its quadrants.
TEST_P(LumaMcQuadrants, SixteenEqualsFourEights)
{
    const auto [depth, p, avg] = GetParam();
    const int bytes = depth > 8 ? 2 : 1;
    const int window = 16 + MARGIN_BEFORE + MARGIN_AFTER;
    const ptrdiff_t stride = (window + 11) * bytes; // wider than the window, not a multiple of 16
    std::mt19937 rng(unsigned(p * 7 + depth + avg));
    GuardedRect src(window + 11, window, stride, depth);
    src.randomise(rng, max_of(depth));
    GuardedRect whole(16, 16, stride, depth), quads(16, 16, stride, depth);
    whole.randomise(rng, max_of(depth));
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            quads.set(x, y, whole.get(x, y));

    luma_slot(depth, 16, p, avg)(whole.origin(), src.at(2, 2), int32_t(stride));
    for (int qy = 0; qy < 16; qy += 8)
        for (int qx = 0; qx < 16; qx += 8)
            luma_slot(depth, 8, p, avg)(quads.at(qx, qy), src.at(2 + qx, 2 + qy), int32_t(stride));

    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(whole.get(x, y), quads.get(x, y)) << "sample (" << x << ", " << y << ")";
}

std::string quad_param_name(const testing::TestParamInfo<QuadParam> &info)
{
    const auto [depth, p, avg] = info.param;
    return std::string(avg ? "avg" : "put") + "_pos" + std::to_string(p) + "_" + std::to_string(depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(AllPositions, LumaMcQuadrants,
                         testing::Combine(testing::Values(8, 10), testing::Range(0, 16), testing::Bool()),
                         quad_param_name);

// A flat reference predicts its value at every position; averaging then rounds halves up.
TEST_P(LumaMcSlot, FlatReferenceKeepsItsValue)
{
    const auto [depth, n, p, avg] = GetParam();
    const int bytes = depth > 8 ? 2 : 1;
    const int window = n + MARGIN_BEFORE + MARGIN_AFTER;
    for (int v : {0, 1, max_of(depth)}) {
        GuardedRect src(window, window, window * bytes, depth);
        src.fill(v);
        GuardedRect dst(n, n, window * bytes, depth);
        dst.fill(max_of(depth) / 3);
        luma_slot(depth, n, p, avg)(dst.origin(), src.at(2, 2), window * bytes);
        const int want = avg ? ref::average(max_of(depth) / 3, v) : v;
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                ASSERT_EQ(dst.get(x, y), want) << "v " << v << " sample (" << x << ", " << y << ")";
    }
}

std::string luma_param_name(const testing::TestParamInfo<LumaParam> &info)
{
    const auto [depth, n, p, avg] = info.param;
    return std::string(avg ? "avg" : "put") + std::to_string(n) + "x" + std::to_string(n) + "_pos" +
           std::to_string(p) + "_" + std::to_string(depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(AllSlots, LumaMcSlot,
                         testing::Combine(testing::Values(8, 10), testing::Values(16, 8), testing::Range(0, 16),
                                          testing::Bool()),
                         luma_param_name);

// Worked values at output sample (0, 0) of an 8x8 block over a zero (or flat) background.
struct Plant {
    int x, y, v;
};

struct LumaExample {
    const char *what;
    int depth;
    int p;
    bool avg;
    int background;
    std::vector<Plant> plants;
    int d; // destination before an average
    int expected;
};

void PrintTo(const LumaExample &c, std::ostream *os)
{
    *os << c.what;
}

const LumaExample luma_examples[] = {
    {"half-sample overshoot clips to 255", 8, 2, false, 0, {{0, 0, 255}, {1, 0, 255}}, 0, 255},
    {"quarter-sample undershoot floors and clips to 0", 8, 1, false, 0, {{-1, 0, 255}, {2, 0, 255}}, 0, 0},
    {"diagonal rounds once (M 700, F 12)", 8, 5, false, 0, {{0, 0, 12}, {1, 0, 16}}, 0, 11},
    {"diagonal rounds once, then the mean", 10, 5, true, 0, {{0, 0, 12}, {1, 0, 16}}, 21, 16},
    {"centre value of position 10", 10, 10, false, 0, {{-1, -1, 7}, {1, 0, 1}}, 0, 1},
    {"diagonal does not average the rounded centre", 10, 5, false, 0, {{-1, -1, 7}, {1, 0, 1}}, 0, 0},
    {"centre value clips at 1023", 10, 10, false, 0, {{1, 0, 1023}, {0, 1, 1023}, {1, 1, 1023}}, 0, 1023},
    {"diagonal clips only its final value", 10, 5, false, 0, {{1, 0, 1023}, {0, 1, 1023}, {1, 1, 1023}}, 0, 599},
    {"single sample at half position", 8, 2, false, 0, {{0, 0, 1}}, 0, 1},
    {"single sample at quarter row", 8, 4, false, 0, {{0, 0, 1}}, 0, 1},
    {"mixed position rounds once", 8, 6, false, 0, {{0, 0, 1}}, 0, 0},
    {"mixed position rounds once, 10-bit", 10, 6, false, 0, {{0, 0, 1}}, 0, 0},
    {"half-sample overshoot clips to 1023", 10, 2, false, 0, {{0, 0, 1023}, {1, 0, 1023}}, 0, 1023},
    {"reversed pattern clips to 0", 10, 2, false, 0, {{-1, 0, 1023}, {2, 0, 1023}}, 0, 0},
    {"prediction is clipped before the mean", 10, 2, true, 0, {{0, 0, 1023}, {1, 0, 1023}}, 0, 512},
    {"undershoot clips to 0 before the mean", 10, 1, true, 0, {{-1, 0, 1023}, {2, 0, 1023}}, 1023, 512},
    {"full-sample mean rounds up", 8, 0, true, 11, {}, 10, 11},
    {"full-sample mean rounds up, 10-bit", 10, 0, true, 1023, {}, 1022, 1023},
    {"full-sample mean of 0 and 1", 10, 0, true, 1, {}, 0, 1},
    {"second source of position 7 is one sample right", 10, 7, false, 0, {{1, 0, 640}}, 0, 445},
    {"second source of position 13 is one row down", 8, 13, false, 0, {{0, 1, 200}}, 0, 139},
    {"second source of position 15 is one row down, one right", 8, 15, false, 0, {{1, 1, 100}}, 0, 70},
};

class LumaMcExample : public testing::TestWithParam<LumaExample> {
protected:
    void SetUp() override { mc_init(0); }
};

TEST_P(LumaMcExample, GivesWorkedValue)
{
    const LumaExample &e = GetParam();
    const int window = 8 + MARGIN_BEFORE + MARGIN_AFTER;
    const int bytes = e.depth > 8 ? 2 : 1;
    GuardedRect src(window, window, window * bytes, e.depth);
    src.fill(e.background);
    for (const Plant &pl : e.plants)
        src.set(MARGIN_BEFORE + pl.x, MARGIN_BEFORE + pl.y, pl.v);
    GuardedRect dst(8, 8, window * bytes, e.depth);
    dst.fill(e.d);

    luma_slot(e.depth, 8, e.p, e.avg)(dst.origin(), src.at(MARGIN_BEFORE, MARGIN_BEFORE), window * bytes);

    EXPECT_EQ(dst.get(0, 0), e.expected) << e.what;
    const int o = ref::luma(source_of(src, MARGIN_BEFORE, MARGIN_BEFORE), e.p, 0, 0, max_of(e.depth));
    EXPECT_EQ(e.avg ? ref::average(e.d, o) : o, e.expected) << "reference formula: " << e.what;
}

INSTANTIATE_TEST_SUITE_P(Worked, LumaMcExample, testing::ValuesIn(luma_examples));

} // namespace
