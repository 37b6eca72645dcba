// Eighth-sample chroma prediction through chroma_mc_put_funcs and chroma_mc_avg_funcs.
#include "guard_page.h"
#include "mc.h"
#include "mc_reference.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int WIDTHS[N_CHROMA_MC_WIDTHS] = {8, 4, 2, 1};

int max_of(int depth)
{
    return (1 << depth) - 1;
}

chroma_mc_fn chroma_slot(int depth, int slot, bool avg)
{
    return avg ? chroma_mc_avg_funcs[depth - 8][slot] : chroma_mc_put_funcs[depth - 8][slot];
}

// Heights the decoder passes: 4:2:0 then 4:2:2 (slots 2 and 3 take the width-4 heights).
std::vector<int> heights_for(int slot)
{
    return slot == CHROMA_MC_W8 ? std::vector<int>{8, 16} : std::vector<int>{4, 8};
}

// depth, width slot, average
using ChromaParam = std::tuple<int, int, bool>;

class ChromaMcSlot : public testing::TestWithParam<ChromaParam> {
protected:
    void SetUp() override { mc_init(0); }
};

// Every fraction and height: the bilinear formula, reading only the samples it weights (the
// read area touches a guard page on one side or the other), writing only the w x h block.
TEST_P(ChromaMcSlot, MatchesFormulaAtEveryFraction)
{
    const auto [depth, slot, avg] = GetParam();
    const int w = WIDTHS[slot];
    const int bytes = depth > 8 ? 2 : 1;
    std::mt19937 rng(unsigned(depth * 100 + slot * 2 + avg));
    chroma_mc_fn fn = chroma_slot(depth, slot, avg);
    ASSERT_NE(fn, nullptr);

    for (int h : heights_for(slot))
        for (int fy = 0; fy < 8; fy++)
            for (int fx = 0; fx < 8; fx++)
                for (int trial = 0; trial < 4; trial++) {
                    const int read_w = w + (fx ? 1 : 0), read_h = h + (fy ? 1 : 0);
                    const ptrdiff_t stride = read_w * bytes;
                    GuardedRect src(read_w, read_h, stride, depth,
                                    trial % 2 ? GuardedRect::AT_START : GuardedRect::AT_END);
                    src.randomise(rng, max_of(depth), trial >= 2);
                    GuardedRect dst(w, h, stride, depth);
                    dst.randomise(rng, max_of(depth));
                    std::vector<int> before;
                    for (int y = 0; y < h; y++)
                        for (int x = 0; x < w; x++)
                            before.push_back(dst.get(x, y));

                    fn(dst.origin(), src.origin(), int32_t(stride), h, fx, fy);

                    const ref::Source s = [&src](int x, int y) { return src.get(x, y); };
                    for (int y = 0; y < h; y++)
                        for (int x = 0; x < w; x++) {
                            const int p = ref::chroma(s, fx, fy, x, y);
                            const int want = avg ? ref::average(before[size_t(y * w + x)], p) : p;
                            ASSERT_EQ(dst.get(x, y), want) << "h " << h << " fraction (" << fx << ", " << fy
                                                           << ") sample (" << x << ", " << y << ")";
                        }
                    ASSERT_TRUE(dst.gaps_untouched()) << "written beside the block";
                }
}

// The largest sample stays the largest at every fraction; nothing wraps.
TEST_P(ChromaMcSlot, FlatMaximumStays)
{
    const auto [depth, slot, avg] = GetParam();
    const int w = WIDTHS[slot];
    const int bytes = depth > 8 ? 2 : 1;
    for (int fy = 0; fy < 8; fy++)
        for (int fx = 0; fx < 8; fx++) {
            GuardedRect src(w + 1, 9, (w + 1) * bytes, depth);
            src.fill(max_of(depth));
            GuardedRect dst(w, 8, (w + 1) * bytes, depth);
            dst.fill(avg ? max_of(depth) : 0);
            chroma_slot(depth, slot, avg)(dst.origin(), src.origin(), (w + 1) * bytes, 8, fx, fy);
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < w; x++)
                    ASSERT_EQ(dst.get(x, y), max_of(depth)) << "fraction (" << fx << ", " << fy << ")";
        }
}

// A fraction outside 0..7 prints the failed check and touches nothing; a height of 0 or less
// does nothing and prints nothing. The source is never read on these paths.
TEST_P(ChromaMcSlot, RefusesBadFractionsAndEmptyHeights)
{
    const auto [depth, slot, avg] = GetParam();
    const int w = WIDTHS[slot];
    const int bytes = depth > 8 ? 2 : 1;
    GuardedRect dst(w, 4, w * bytes, depth);
    dst.fill(77);
    const std::string file = depth > 8 ? "mc_10bits.cpp:" : "mc.cpp:";

    const struct {
        int h, fx, fy;
        bool message;
    } cases[] = {
        {4, 8, 0, true}, {4, 0, -1, true}, {4, -1, 3, true}, {4, 3, 8, true}, {0, 3, 3, false}, {-2, 0, 0, false},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        chroma_slot(depth, slot, avg)(dst.origin(), nullptr, w * bytes, c.h, c.fx, c.fy);
        const std::string out = testing::internal::GetCapturedStdout();
        if (c.message) {
            EXPECT_EQ(out.rfind("x<8 && y<8 && x>=0 && y>=0 failed at ", 0), 0u) << out;
            EXPECT_NE(out.find(file), std::string::npos) << out;
            EXPECT_EQ(out.back(), '\n');
            EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
        } else {
            EXPECT_EQ(out, "");
        }
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < w; x++)
                ASSERT_EQ(dst.get(x, y), 77) << "h " << c.h << " fraction (" << c.fx << ", " << c.fy << ")";
    }
}

std::string chroma_param_name(const testing::TestParamInfo<ChromaParam> &info)
{
    const auto [depth, slot, avg] = info.param;
    return std::string(avg ? "avg" : "put") + std::to_string(WIDTHS[slot]) + "_" + std::to_string(depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(AllSlots, ChromaMcSlot,
                         testing::Combine(testing::Values(8, 10), testing::Range(0, int(N_CHROMA_MC_WIDTHS)),
                                          testing::Bool()),
                         chroma_param_name);

// depth, both-plane width slot, average
using CbcrParam = std::tuple<int, int, bool>;

class ChromaMcCbcrSlot : public testing::TestWithParam<CbcrParam> {
protected:
    void SetUp() override { mc_init(0); }
};

// Each plane gets the bilinear formula from its own source, read no further than the w + 1
// samples of h + 1 rows (one plane's area against the guard page at its start, the other's at
// its end); nothing is written beside either block; a bad fraction is refused for both.
TEST_P(ChromaMcCbcrSlot, EachPlaneMatchesFormula)
{
    const auto [depth, slot, avg] = GetParam();
    const int w = slot == CHROMA_CBCR_W8 ? 8 : 4;
    const int bytes = depth > 8 ? 2 : 1;
    std::mt19937 rng(unsigned(depth * 100 + slot * 2 + avg));
    const chroma_mc_cbcr_fn fn = avg ? chroma_mc_cbcr_avg_funcs[depth - 8][slot]
                                     : chroma_mc_cbcr_put_funcs[depth - 8][slot];
    ASSERT_NE(fn, nullptr);

    for (int h : {w / 2, w, 2 * w})
        for (int fy = 0; fy < 8; fy++)
            for (int fx = 0; fx < 8; fx++)
                for (int trial = 0; trial < 2; trial++) {
                    const int read_w = w + (fx ? 1 : 0), read_h = h + (fy ? 1 : 0);
                    const ptrdiff_t stride = read_w * bytes;
                    const GuardedRect::Placement first = trial ? GuardedRect::AT_START : GuardedRect::AT_END;
                    const GuardedRect::Placement second = trial ? GuardedRect::AT_END : GuardedRect::AT_START;
                    GuardedRect src_cb(read_w, read_h, stride, depth, first), src_cr(read_w, read_h, stride, depth, second);
                    src_cb.randomise(rng, max_of(depth));
                    src_cr.randomise(rng, max_of(depth), true);
                    GuardedRect dst_cb(w, h, stride, depth), dst_cr(w, h, stride, depth);
                    dst_cb.randomise(rng, max_of(depth));
                    dst_cr.randomise(rng, max_of(depth));
                    std::vector<int> before_cb, before_cr;
                    for (int y = 0; y < h; y++)
                        for (int x = 0; x < w; x++) {
                            before_cb.push_back(dst_cb.get(x, y));
                            before_cr.push_back(dst_cr.get(x, y));
                        }

                    fn(dst_cb.origin(), dst_cr.origin(), src_cb.origin(), src_cr.origin(), int32_t(stride), h, fx, fy);

                    const struct {
                        const char *name;
                        const GuardedRect &src, &dst;
                        const std::vector<int> &before;
                    } planes[] = {{"Cb", src_cb, dst_cb, before_cb}, {"Cr", src_cr, dst_cr, before_cr}};
                    for (const auto &p : planes) {
                        const ref::Source s = [&p](int x, int y) { return p.src.get(x, y); };
                        for (int y = 0; y < h; y++)
                            for (int x = 0; x < w; x++) {
                                const int v = ref::chroma(s, fx, fy, x, y);
                                const int want = avg ? ref::average(p.before[size_t(y * w + x)], v) : v;
                                ASSERT_EQ(p.dst.get(x, y), want) << p.name << ", h " << h << " fraction (" << fx
                                                                 << ", " << fy << ") sample (" << x << ", " << y << ")";
                            }
                        ASSERT_TRUE(p.dst.gaps_untouched()) << p.name << " written beside the block";
                    }
                }

    GuardedRect dst(w, 4, w * bytes, depth);
    dst.fill(77);
    testing::internal::CaptureStdout();
    fn(dst.origin(), dst.origin(), nullptr, nullptr, w * bytes, 4, 8, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("x<8 && y<8 && x>=0 && y>=0 failed at ", 0), 0u);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < w; x++)
            ASSERT_EQ(dst.get(x, y), 77) << "written with a bad fraction";
}

std::string cbcr_param_name(const testing::TestParamInfo<CbcrParam> &info)
{
    const auto [depth, slot, avg] = info.param;
    return std::string(avg ? "avg" : "put") + (slot == CHROMA_CBCR_W8 ? "8" : "4") + "_" + std::to_string(depth) +
           "bit";
}

INSTANTIATE_TEST_SUITE_P(AllSlots, ChromaMcCbcrSlot,
                         testing::Combine(testing::Values(8, 10), testing::Range(0, int(N_CHROMA_CBCR_WIDTHS)),
                                          testing::Bool()),
                         cbcr_param_name);

// Worked values at sample (0, 0): the two source rows of a 2 x 2 area, fractions, mode.
struct ChromaExample {
    const char *what;
    int depth;
    bool avg;
    int fx, fy;
    int top[2], bottom[2];
    int d;
    int expected;
};

void PrintTo(const ChromaExample &c, std::ostream *os)
{
    *os << c.what;
}

const ChromaExample chroma_examples[] = {
    {"half way along a row", 8, false, 4, 0, {10, 20}, {0, 0}, 0, 15},
    {"centre of 0 0 / 0 1", 8, false, 4, 4, {0, 0}, {0, 1}, 0, 0},
    {"centre of 0 1 / 1 1", 8, false, 4, 4, {0, 1}, {1, 1}, 0, 1},
    {"mean of 0 and 1 rounds up", 8, true, 4, 4, {0, 1}, {1, 1}, 0, 1},
    {"mean of equal values keeps them", 10, true, 4, 4, {0, 1}, {1, 1}, 1, 1},
    {"copy at fraction 0, 0", 10, false, 0, 0, {1000, 3}, {5, 7}, 0, 1000},
    {"quarter way down a column", 10, false, 0, 2, {1023, 0}, {3, 0}, 0, 768},
};

class ChromaMcExample : public testing::TestWithParam<ChromaExample> {
protected:
    void SetUp() override { mc_init(0); }
};

TEST_P(ChromaMcExample, GivesWorkedValue)
{
    const ChromaExample &e = GetParam();
    const int bytes = e.depth > 8 ? 2 : 1;
    for (int slot = 0; slot < N_CHROMA_MC_WIDTHS; slot++) {
        const int w = WIDTHS[slot];
        GuardedRect src(w + 1, 2, (w + 1) * bytes, e.depth);
        src.fill(0);
        src.set(0, 0, e.top[0]);
        src.set(1, 0, e.top[1]);
        src.set(0, 1, e.bottom[0]);
        src.set(1, 1, e.bottom[1]);
        GuardedRect dst(w, 1, (w + 1) * bytes, e.depth);
        dst.fill(e.d);
        chroma_slot(e.depth, slot, e.avg)(dst.origin(), src.origin(), (w + 1) * bytes, 1, e.fx, e.fy);
        EXPECT_EQ(dst.get(0, 0), e.expected) << e.what << ", width " << w;
    }
}

INSTANTIATE_TEST_SUITE_P(Worked, ChromaMcExample, testing::ValuesIn(chroma_examples));

} // namespace
