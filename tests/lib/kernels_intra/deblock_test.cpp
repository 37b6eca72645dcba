// Deblocking edge filters, reached through their table slots.
#include "deblock.h"
#include "guarded_region.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

// One line across the edge: p3 p2 p1 p0 q0 q1 q2 q3. Chroma kernels see only
// p2..q2; their cases leave p3 and q3 at 0.
using Line = std::array<int, 8>;

struct Kind {
    const char *name;
    int kind;
    bool chroma;
    bool vertical;
};

const Kind kKinds[] = {
    {"luma vertical", DEBLOCK_LUMA_V, false, true},
    {"luma horizontal", DEBLOCK_LUMA_H, false, false},
    {"chroma vertical", DEBLOCK_CHROMA_V, true, true},
    {"chroma horizontal", DEBLOCK_CHROMA_H, true, false},
};

struct EdgeCall {
    int bit_depth;
    int alpha;
    int beta;
    uint8_t clip[2];
    uint8_t strength[2];
};

// Runs the kernel on a window of exactly the samples it may touch (p3..q3 for
// luma, p2..q2 for chroma over all lines), packed without gaps and placed
// against a guard page; the clip and strength pairs end at guard pages too.
std::vector<Line> filter_lines(const Kind &k, const EdgeCall &c, const std::vector<Line> &in, bool at_head)
{
    const int lines = k.chroma ? 8 : 16;
    const int reach = k.chroma ? 3 : 4; // samples on each side of the edge
    const int bps = sample_bytes(c.bit_depth);
    const size_t bytes = size_t(lines) * 2 * reach * bps;
    GuardedBytes region(bytes);
    uint8_t *window = at_head ? region.begin() : region.tail(bytes);

    // Sample i (-reach..reach-1) of line n, as an index into the window.
    auto index = [&](int n, int i) {
        return k.vertical ? size_t(n) * 2 * reach + (i + reach) : size_t(i + reach) * lines + n;
    };
    for (int n = 0; n < lines; ++n)
        for (int i = -reach; i < reach; ++i)
            put_sample(window, c.bit_depth, index(n, i), in[size_t(n)][size_t(i + 4)]);

    GuardedBytes pairs(16);
    uint8_t *clip = pairs.tail(2);
    GuardedBytes strength_pair(16);
    uint8_t *strength = strength_pair.tail(2);
    clip[0] = c.clip[0];
    clip[1] = c.clip[1];
    strength[0] = c.strength[0];
    strength[1] = c.strength[1];

    const int32_t stride = k.vertical ? 2 * reach * bps : lines * bps;
    uint8_t *q0 = window + index(0, 0) * bps;
    deblock_funcs[k.kind][c.bit_depth - 8](q0, stride, c.alpha, c.beta, clip, strength);

    std::vector<Line> out(size_t(lines), Line{});
    for (int n = 0; n < lines; ++n)
        for (int i = -reach; i < reach; ++i)
            out[size_t(n)][size_t(i + 4)] = get_sample(window, c.bit_depth, index(n, i));
    return out;
}

struct DeblockCase {
    const char *name;
    bool chroma;
    EdgeCall call;
    Line seg0_in, seg0_out;
    Line seg1_in, seg1_out;
};

// Luma lines worked out by hand.
const Line kA = {60, 62, 64, 66, 70, 72, 74, 76};
const Line kAStrong = {60, 64, 66, 67, 69, 71, 73, 76};
const Line kANormalClip0 = {60, 62, 64, 67, 69, 72, 74, 76};
const Line kB = {50, 52, 50, 60, 62, 60, 70, 80};
const Line kBStrong = {50, 53, 56, 58, 61, 63, 68, 80}; // p2' 2,2,2,1,1 and p0' 1,1,3,2,1 weights
const Line kN1 = {70, 80, 70, 72, 90, 92, 91, 90};
const Line kN1Clip1 = {70, 80, 70, 74, 88, 91, 91, 90};
const Line kN1Clip2 = {70, 80, 70, 75, 87, 90, 91, 90};
const Line kG = {60, 60, 60, 60, 64, 64, 64, 64};
const Line kGNormal = {60, 60, 61, 62, 62, 63, 64, 64};

const DeblockCase kCases[] = {
    // Strong luma filter.
    {"strong, both sides full", false, {8, 40, 10, {0, 0}, {3, 3}}, kA, kAStrong, kA, kAStrong},
    {"strong weights", false, {8, 60, 12, {0, 0}, {3, 3}}, kB, kBStrong, kB, kBStrong},
    {"strength 0 of 3 makes both segments strong, clip bounds ignored", false, {8, 60, 12, {200, 200}, {3, 0}},
     kA, kAStrong, kB, kBStrong},
    {"strong, step (alpha >> 2) + 1 is small", false, {8, 40, 10, {0, 0}, {3, 3}},
     {60, 60, 60, 60, 71, 71, 71, 71}, {60, 61, 63, 64, 67, 68, 70, 71},
     {60, 60, 60, 60, 71, 71, 71, 71}, {60, 61, 63, 64, 67, 68, 70, 71}},
    {"strong, step (alpha >> 2) + 2 is not small", false, {8, 40, 10, {0, 0}, {3, 3}},
     {60, 60, 60, 60, 72, 72, 72, 72}, {60, 60, 60, 63, 69, 72, 72, 72},
     {60, 60, 60, 60, 72, 72, 72, 72}, {60, 60, 60, 63, 69, 72, 72, 72}},
    {"strong, |p2 - p0| = beta shortens the p side only", false, {8, 40, 6, {0, 0}, {3, 3}},
     {50, 56, 58, 62, 64, 64, 64, 64}, {50, 56, 58, 61, 63, 64, 64, 64},
     {50, 56, 58, 62, 64, 64, 64, 64}, {50, 56, 58, 61, 63, 64, 64, 64}},

    // Gate: all three comparisons strict.
    {"|p0 - q0| = alpha", false, {8, 4, 10, {2, 2}, {1, 1}}, kG, kG, kG, kG},
    {"|p0 - q0| = alpha - 1", false, {8, 5, 10, {2, 2}, {1, 1}}, kG, kGNormal, kG, kGNormal},
    {"|p1 - p0| = beta", false, {8, 10, 3, {1, 1}, {2, 2}},
     {60, 60, 57, 60, 62, 62, 62, 62}, {60, 60, 57, 60, 62, 62, 62, 62},
     {60, 60, 57, 60, 62, 62, 62, 62}, {60, 60, 57, 60, 62, 62, 62, 62}},
    {"|p1 - p0| = beta - 1", false, {8, 10, 4, {1, 1}, {2, 2}},
     {60, 60, 57, 60, 62, 62, 62, 62}, {60, 60, 58, 60, 62, 62, 62, 62},
     {60, 60, 57, 60, 62, 62, 62, 62}, {60, 60, 58, 60, 62, 62, 62, 62}},
    {"|q1 - q0| = beta", false, {8, 10, 3, {1, 1}, {2, 2}},
     {62, 62, 62, 62, 60, 57, 60, 60}, {62, 62, 62, 62, 60, 57, 60, 60},
     {62, 62, 62, 62, 60, 57, 60, 60}, {62, 62, 62, 62, 60, 57, 60, 60}},
    {"|q1 - q0| = beta - 1", false, {8, 10, 4, {1, 1}, {2, 2}},
     {62, 62, 62, 62, 60, 57, 60, 60}, {62, 62, 62, 62, 60, 58, 60, 60},
     {62, 62, 62, 62, 60, 57, 60, 60}, {62, 62, 62, 62, 60, 58, 60, 60}},
    {"strong gate |p0 - q0| = alpha", false, {8, 4, 10, {0, 0}, {3, 3}}, kG, kG, kG, kG},

    // Normal luma filter and the choice by segment.
    {"normal, ap 0, delta clipped to tc", false, {8, 40, 5, {1, 1}, {1, 1}}, kN1, kN1Clip1, kN1, kN1Clip1},
    {"each segment its own clip bound", false, {8, 40, 5, {2, 1}, {2, 1}}, kN1, kN1Clip2, kN1, kN1Clip1},
    {"strengths 0, 3: segment 1 normal", false, {8, 40, 5, {2, 1}, {0, 3}}, kN1, kN1, kN1, kN1Clip1},
    {"strengths 0, 0: nothing", false, {8, 40, 10, {2, 2}, {0, 0}}, kA, kA, kA, kA},
    {"strength 1 is the normal filter", false, {8, 40, 10, {0, 0}, {1, 0}}, kA, kANormalClip0, kA, kA},
    {"normal p1 correction takes p3", false, {8, 5, 10, {2, 2}, {1, 1}},
     {52, 60, 60, 60, 64, 64, 64, 64}, {52, 60, 59, 62, 62, 63, 64, 64},
     {52, 60, 60, 60, 64, 64, 64, 64}, {52, 60, 59, 62, 62, 63, 64, 64}},
    {"normal clip bound 0 keeps p1 and q1", false, {8, 20, 5, {0, 0}, {2, 2}},
     {60, 60, 60, 60, 70, 70, 70, 70}, {60, 60, 60, 62, 68, 70, 70, 70},
     {60, 60, 60, 60, 70, 70, 70, 70}, {60, 60, 60, 62, 68, 70, 70, 70}},
    {"normal result clipped to 255 and 0", false, {8, 10, 20, {2, 2}, {1, 1}},
     {255, 255, 255, 255, 255, 236, 240, 240}, {255, 255, 255, 255, 253, 238, 240, 240},
     {0, 0, 0, 0, 0, 19, 15, 15}, {0, 0, 0, 0, 2, 17, 15, 15}},

    // Chroma: only p0 and q0 change.
    {"chroma strong", true, {8, 60, 12, {0, 0}, {3, 0}},
     {0, 52, 50, 60, 62, 60, 70, 0}, {0, 52, 50, 58, 61, 60, 70, 0},
     {0, 52, 50, 60, 62, 60, 70, 0}, {0, 52, 50, 58, 61, 60, 70, 0}},
    {"chroma strong, short p side", true, {8, 40, 6, {0, 0}, {3, 3}},
     {0, 56, 58, 62, 64, 64, 64, 0}, {0, 56, 58, 61, 63, 64, 64, 0},
     {0, 56, 58, 62, 64, 64, 64, 0}, {0, 56, 58, 61, 63, 64, 64, 0}},
    {"chroma normal, tc = clip + 1 per segment", true, {8, 20, 5, {0, 2}, {1, 2}},
     {0, 60, 60, 60, 70, 70, 70, 0}, {0, 60, 60, 61, 69, 70, 70, 0},
     {0, 60, 60, 60, 70, 70, 70, 0}, {0, 60, 60, 63, 67, 70, 70, 0}},
    {"chroma normal clipped to 255", true, {8, 10, 20, {2, 2}, {2, 2}},
     {0, 255, 255, 255, 255, 236, 240, 0}, {0, 255, 255, 255, 253, 236, 240, 0},
     {0, 255, 255, 255, 255, 236, 240, 0}, {0, 255, 255, 255, 253, 236, 240, 0}},
    {"chroma gate |p0 - q0| = alpha", true, {8, 10, 20, {2, 2}, {2, 3}},
     {0, 60, 60, 60, 70, 70, 70, 0}, {0, 60, 60, 60, 70, 70, 70, 0},
     {0, 60, 60, 60, 70, 70, 70, 0}, {0, 60, 60, 60, 70, 70, 70, 0}},

    // 10-bit: thresholds arrive scaled, the small constants do not scale.
    {"8-bit strong, small step", false, {8, 8, 4, {0, 0}, {3, 3}},
     {60, 60, 60, 60, 63, 63, 63, 63}, {60, 60, 61, 61, 62, 62, 63, 63},
     {60, 60, 60, 60, 63, 63, 63, 63}, {60, 60, 61, 61, 62, 62, 63, 63}},
    {"10-bit strong, same line times 4 is not small", false, {10, 32, 16, {0, 0}, {3, 3}},
     {240, 240, 240, 240, 252, 252, 252, 252}, {240, 240, 240, 243, 249, 252, 252, 252},
     {240, 240, 240, 240, 252, 252, 252, 252}, {240, 240, 240, 243, 249, 252, 252, 252}},
    {"10-bit normal clipped to 1023", false, {10, 40, 80, {8, 8}, {2, 2}},
     {1023, 1023, 1023, 1023, 1023, 944, 963, 963}, {1023, 1023, 1023, 1023, 1013, 952, 963, 963},
     {1023, 1023, 1023, 1023, 1023, 944, 963, 963}, {1023, 1023, 1023, 1023, 1013, 952, 963, 963}},
    {"10-bit strong weights", false, {10, 240, 48, {0, 0}, {3, 3}},
     {200, 208, 200, 240, 248, 240, 280, 320}, {200, 213, 224, 233, 243, 252, 271, 320},
     {200, 208, 200, 240, 248, 240, 280, 320}, {200, 213, 224, 233, 243, 252, 271, 320}},
    {"10-bit gate |p0 - q0| = alpha", false, {10, 16, 40, {8, 8}, {3, 3}},
     {240, 240, 240, 240, 256, 256, 256, 256}, {240, 240, 240, 240, 256, 256, 256, 256},
     {240, 240, 240, 240, 256, 256, 256, 256}, {240, 240, 240, 240, 256, 256, 256, 256}},
    {"10-bit chroma normal, clip 0 moves by 1", true, {10, 80, 20, {0, 0}, {1, 1}},
     {0, 240, 240, 240, 280, 280, 280, 0}, {0, 240, 240, 241, 279, 280, 280, 0},
     {0, 240, 240, 240, 280, 280, 280, 0}, {0, 240, 240, 241, 279, 280, 280, 0}},
    {"10-bit chroma strong", true, {10, 240, 48, {0, 0}, {3, 0}},
     {0, 208, 200, 240, 248, 240, 280, 0}, {0, 208, 200, 233, 243, 240, 280, 0},
     {0, 208, 200, 240, 248, 240, 280, 0}, {0, 208, 200, 233, 243, 240, 280, 0}},
};

class Deblock : public ::testing::Test {
protected:
    void SetUp() override { deblock_init(0); }
};

TEST_F(Deblock, TableHoldsRowsForEightAndTenBits)
{
    for (int kind = 0; kind < N_DEBLOCK_KINDS; ++kind) {
        EXPECT_NE(deblock_funcs[kind][DEBLOCK_ROW_8BIT], nullptr) << kind;
        EXPECT_NE(deblock_funcs[kind][DEBLOCK_ROW_10BIT], nullptr) << kind;
        EXPECT_EQ(deblock_funcs[kind][DEBLOCK_ROW_9BIT], nullptr) << kind;
    }
}

TEST_F(Deblock, CaseTable)
{
    for (const DeblockCase &c : kCases)
        for (const Kind &k : kKinds) {
            if (k.chroma != c.chroma)
                continue;
            const int lines = k.chroma ? 8 : 16;
            std::vector<Line> in(static_cast<size_t>(lines)), want(static_cast<size_t>(lines));
            for (int n = 0; n < lines; ++n) {
                const bool seg1 = n >= lines / 2;
                in[size_t(n)] = seg1 ? c.seg1_in : c.seg0_in;
                want[size_t(n)] = seg1 ? c.seg1_out : c.seg0_out;
            }
            for (bool at_head : {false, true}) {
                const std::vector<Line> got = filter_lines(k, c.call, in, at_head);
                for (int n = 0; n < lines; ++n)
                    ASSERT_EQ(got[size_t(n)], want[size_t(n)]) << c.name << ", " << k.name << ", "
                                                                << c.call.bit_depth << "-bit, line " << n;
            }
        }
}

// A plane of random, mostly smooth samples with an edge at column 4 (vertical
// kernels) or at row 4 of its transpose (horizontal kernels).
TEST_F(Deblock, VerticalEdgeEqualsHorizontalEdgeOnTransposedBlock)
{
    std::mt19937 rng(7321);
    for (bool chroma : {false, true})
        for (int bd : {8, 10}) {
            const int s = bd - 8;
            const int lines = chroma ? 8 : 16;
            const int across = 8;
            const int pad = 5; // stride wider than the block
            const int bps = sample_bytes(bd);
            const int vkind = chroma ? DEBLOCK_CHROMA_V : DEBLOCK_LUMA_V;
            const int hkind = chroma ? DEBLOCK_CHROMA_H : DEBLOCK_LUMA_H;
            for (int trial = 0; trial < 300; ++trial) {
                const int max = (1 << bd) - 1;
                const int base = std::uniform_int_distribution<int>(0, max)(rng);
                const int spread = std::uniform_int_distribution<int>(0, 12 << s)(rng);
                const int step = std::uniform_int_distribution<int>(-(40 << s), 40 << s)(rng);
                std::uniform_int_distribution<int> noise(-spread, spread);
                // v[line][i], i = 0..7 across the edge (q0 at 4).
                std::vector<std::vector<int>> v(static_cast<size_t>(lines), std::vector<int>(across));
                for (auto &line : v)
                    for (int i = 0; i < across; ++i) {
                        const int x = base + noise(rng) + (i >= 4 ? step : 0);
                        line[size_t(i)] = x < 0 ? 0 : (x > max ? max : x);
                    }
                const int alpha = std::uniform_int_distribution<int>(1, 255)(rng) << s;
                const int beta = std::uniform_int_distribution<int>(1, 18)(rng) << s;
                uint8_t clip[2], strength[2];
                for (int k = 0; k < 2; ++k) {
                    clip[k] = uint8_t(std::uniform_int_distribution<int>(0, 7)(rng) << s);
                    strength[k] = uint8_t(std::uniform_int_distribution<int>(0, 3)(rng));
                }

                // Vertical edge: lines are rows.
                const int vwidth = across + pad;
                std::vector<uint8_t> vplane(size_t(lines) * vwidth * bps);
                for (int n = 0; n < lines; ++n)
                    for (int i = 0; i < across; ++i)
                        put_sample(vplane.data(), bd, size_t(n) * vwidth + i, v[size_t(n)][size_t(i)]);
                deblock_funcs[vkind][s](vplane.data() + 4 * bps, vwidth * bps, alpha, beta, clip, strength);

                // Horizontal edge on the transpose: lines are columns.
                const int hwidth = lines + pad;
                std::vector<uint8_t> hplane(size_t(across) * hwidth * bps);
                for (int n = 0; n < lines; ++n)
                    for (int i = 0; i < across; ++i)
                        put_sample(hplane.data(), bd, size_t(i) * hwidth + n, v[size_t(n)][size_t(i)]);
                deblock_funcs[hkind][s](hplane.data() + size_t(4) * hwidth * bps, hwidth * bps, alpha, beta, clip,
                                        strength);

                for (int n = 0; n < lines; ++n)
                    for (int i = 0; i < across; ++i)
                        ASSERT_EQ(get_sample(vplane.data(), bd, size_t(n) * vwidth + i),
                                  get_sample(hplane.data(), bd, size_t(i) * hwidth + n))
                            << (chroma ? "chroma " : "luma ") << bd << "-bit trial " << trial << " line " << n
                            << " sample " << i;
            }
        }
}

} // namespace
