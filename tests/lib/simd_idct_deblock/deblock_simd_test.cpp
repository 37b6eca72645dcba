// The SSSE3 deblocking filters give the samples of the portable kernels of their slots.
#include "../common/guarded_memory.h"
#include "deblock.h"
#include "simd_check.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace {

struct EdgeSlot {
    const char *name;
    DeblockEdgeKind kind;
    bool vertical;
};

// Luma edges; chroma has SSSE3 kernels only in the pair slots below.
const EdgeSlot kEdgeSlots[] = {
    {"luma_vertical_8bit", DEBLOCK_LUMA_V, true},
    {"luma_horizontal_8bit", DEBLOCK_LUMA_H, false},
};

void PrintTo(const EdgeSlot &slot, std::ostream *os) { *os << slot.name; }

struct Pair {
    deblock_fn portable;
    deblock_fn ssse3;
};

Pair kernels_of(DeblockEdgeKind kind)
{
    deblock_init(0);
    const deblock_fn portable = deblock_funcs[kind][DEBLOCK_ROW_8BIT];
    deblock_init(kSsse3);
    const deblock_fn ssse3 = deblock_funcs[kind][DEBLOCK_ROW_8BIT];
    deblock_init(cpu_detect());
    return {portable, ssse3};
}

struct EdgeParams {
    int alpha;
    int beta;
    uint8_t clip[2];
    uint8_t strength[2];
};

EdgeParams random_params(Rng &rng)
{
    EdgeParams p;
    p.alpha = int(rng.chance(30) ? rng.range(1, 255) : rng.range(1, 64));
    p.beta = int(rng.chance(30) ? rng.range(1, 255) : rng.range(1, 18));
    for (int h = 0; h < 2; ++h) {
        p.clip[h] = uint8_t(rng.chance(85) ? rng.range(0, 13) : rng.range(0, 253));
        p.strength[h] = uint8_t(rng.range(0, 3));
    }
    if (rng.chance(5))
        p.strength[0] = p.strength[1] = 0;
    // Outside what the decoder passes; the kernels still agree.
    const std::vector<int> odd = {0, -3, 256, 300, 1000, 1023, 5000};
    if (rng.chance(3))
        p.alpha = rng.pick(odd);
    if (rng.chance(3))
        p.beta = rng.pick(odd);
    if (rng.chance(2))
        p.clip[rng.range(0, 1)] = 255;
    return p;
}

int clamp_byte(int v) { return std::min(std::max(v, 0), 255); }

// One line p3 p2 p1 p0 q0 q1 q2 q3, built so that the gate and the filter choices fall on both
// sides of their thresholds.
std::array<int, 8> random_line(const EdgeParams &e, Rng &rng)
{
    std::array<int, 8> s{};
    switch (rng.range(0, 4)) {
    case 0:   // anything
        for (int &v : s)
            v = rng.byte();
        return s;
    case 1: { // flat sides at the extremes
        const int lo = int(rng.range(0, 3)), hi = int(rng.range(252, 255));
        const bool up = rng.chance(50);
        for (int i = 0; i < 8; ++i)
            s[i] = (i < 4) == up ? lo : hi;
        return s;
    }
    default: { // thresholds around alpha, beta and the small step
        auto sign = [&] { return rng.chance(50) ? 1 : -1; };
        auto near = [&](int limit) {
            switch (rng.range(0, 3)) {
            case 0: return limit - 1;
            case 1: return limit;
            default: return int(rng.range(0, std::max(limit - 1, 0)));
            }
        };
        const int small = std::min((e.alpha >> 2) + 1 + int(rng.range(0, 1)), 255);
        const int step = rng.chance(30) ? small : near(e.alpha);
        const int p0 = rng.byte();
        const int q0 = clamp_byte(p0 + sign() * step);
        s[3] = p0;
        s[4] = q0;
        s[2] = clamp_byte(p0 + sign() * near(e.beta));
        s[5] = clamp_byte(q0 + sign() * near(e.beta));
        s[1] = clamp_byte(p0 + sign() * near(e.beta));
        s[6] = clamp_byte(q0 + sign() * near(e.beta));
        s[0] = clamp_byte(s[1] + int(rng.range(-12, 12)));
        s[7] = clamp_byte(s[6] + int(rng.range(-12, 12)));
        return s;
    }
    }
}

// Area of the samples a kernel may read: columns -4..3 of every line of a vertical edge,
// rows -4..3 of a horizontal edge.
struct EdgeArea {
    int width;
    int height;
    uint8_t *pix(BandedPlane &plane, bool vertical) const
    {
        return plane.origin() + (vertical ? 4 : 4 * plane.stride);
    }
};

void put_line(BandedPlane &plane, bool vertical, int line, const std::array<int, 8> &s)
{
    for (int i = 0; i < 8; ++i) {
        const size_t at = vertical ? size_t(line) * plane.stride + i : size_t(i) * plane.stride + line;
        plane.origin()[at] = uint8_t(s[size_t(i)]);
    }
}

class DeblockSimd : public ::testing::TestWithParam<EdgeSlot> {};

TEST_P(DeblockSimd, MatchesPortableKernel)
{
    if (!cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const EdgeSlot &slot = GetParam();
    const Pair k = kernels_of(slot.kind);
    if (k.portable == k.ssse3)
        GTEST_SKIP() << "no SSSE3 kernel in this slot";

    const uint32_t seed = test_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    const int lines = 16;
    const EdgeArea area = slot.vertical ? EdgeArea{8, lines} : EdgeArea{lines, 8};
    // The pairs end at a guard page: only their two bytes may be read.
    GuardedBytes clip_page(16), strength_page(16);
    uint8_t *clip = clip_page.tail(2);
    uint8_t *strength = strength_page.tail(2);
    const int stride_extras[] = {0, 1, 5, 8, 24};
    int failures = 0;
    for (int round = 0; round < test_rounds(6000) && failures < 5; ++round) {
        const EdgeParams e = random_params(rng);
        // Aligned rows (as the decoder passes them) on even rounds, any alignment on odd ones.
        const bool aligned = round % 2 == 0;
        const int width = area.width + 2 * BandedPlane::kMargin;
        const int extra = aligned ? (16 - width % 16) % 16 + 16 * int(rng.range(0, 1)) : stride_extras[round % 5];
        BandedPlane ref(area.width, area.height, extra, aligned ? 0 : int(rng.range(0, 15)), rng);
        for (int n = 0; n < lines; ++n)
            put_line(ref, slot.vertical, n, random_line(e, rng));
        BandedPlane simd = ref;
        std::memcpy(clip, e.clip, 2);
        std::memcpy(strength, e.strength, 2);

        k.portable(area.pix(ref, slot.vertical), ref.stride, e.alpha, e.beta, clip, strength);
        k.ssse3(area.pix(simd, slot.vertical), simd.stride, e.alpha, e.beta, clip, strength);

        const std::string diff = ref.first_difference(simd);
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << slot.name << ": alpha " << e.alpha << ", beta " << e.beta << ", clip "
                          << int(e.clip[0]) << "/" << int(e.clip[1]) << ", strength " << int(e.strength[0]) << "/"
                          << int(e.strength[1]) << ", stride " << simd.stride << ", alignment " << simd.align
                          << ", round " << round << ": " << diff;
        }
    }
}

// Strength (0, 0) and thresholds that no line can pass: nothing to filter.
struct IdleCase {
    int alpha, beta;
    uint8_t strength[2];
};
const IdleCase kIdleCases[] = {{40, 10, {0, 0}}, {0, 10, {2, 2}}, {40, 0, {3, 3}}, {-5, 10, {1, 1}}};
const uint8_t kIdleClip[2] = {2, 2};

// Calls call(base, stride, idle case) for every idle case over `rows` rows of smooth samples
// (every gate would pass) that are read-only during the calls: a kernel that writes faults.
template <class Call>
void expect_no_writes(int rows, Call call)
{
    const int stride = 32;
    const size_t size = size_t(stride) * size_t(rows);
    GuardedBytes region(size);
    uint8_t *base = region.begin();
    for (size_t i = 0; i < size; ++i)
        base[i] = uint8_t(60 + (i % 3));
    ASSERT_EQ(mprotect(base, size, PROT_READ), 0);
    for (const IdleCase &c : kIdleCases)
        call(base, stride, c);
    ASSERT_EQ(mprotect(base, size, PROT_READ | PROT_WRITE), 0);
}

TEST_P(DeblockSimd, WritesNothingWithoutWork)
{
    if (!cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const EdgeSlot &slot = GetParam();
    const Pair k = kernels_of(slot.kind);
    if (k.portable == k.ssse3)
        GTEST_SKIP() << "no SSSE3 kernel in this slot";
    expect_no_writes(24, [&](uint8_t *base, int stride, const IdleCase &c) {
        k.ssse3(base + 4 * stride + 4, stride, c.alpha, c.beta, kIdleClip, c.strength);
    });
}

INSTANTIATE_TEST_SUITE_P(Slots, DeblockSimd, ::testing::ValuesIn(kEdgeSlots),
                         [](const ::testing::TestParamInfo<EdgeSlot> &info) { return std::string(info.param.name); });

// Kernels of both chroma planes at once: each plane gets what the portable kernel gives it,
// whatever the two planes' alignments.
struct PairSlot {
    const char *name;
    DeblockPairKind kind;
    bool vertical;
};

const PairSlot kPairSlots[] = {
    {"chroma_pair_vertical_8bit", DEBLOCK_CHROMA_PAIR_V, true},
    {"chroma_pair_horizontal_8bit", DEBLOCK_CHROMA_PAIR_H, false},
};

void PrintTo(const PairSlot &slot, std::ostream *os) { *os << slot.name; }

struct PairKernels {
    deblock_pair_fn portable;
    deblock_pair_fn ssse3;
};

PairKernels pair_kernels_of(DeblockPairKind kind)
{
    deblock_init(0);
    const deblock_pair_fn portable = deblock_pair_funcs[kind][DEBLOCK_ROW_8BIT];
    deblock_init(kSsse3);
    const deblock_pair_fn ssse3 = deblock_pair_funcs[kind][DEBLOCK_ROW_8BIT];
    deblock_init(cpu_detect());
    return {portable, ssse3};
}

class DeblockPairSimd : public ::testing::TestWithParam<PairSlot> {};

TEST_P(DeblockPairSimd, MatchesPortableKernel)
{
    if (!cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const PairSlot &slot = GetParam();
    const PairKernels k = pair_kernels_of(slot.kind);
    ASSERT_NE(k.portable, k.ssse3);

    const uint32_t seed = test_seed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    const int lines = 8;
    const EdgeArea area = slot.vertical ? EdgeArea{8, lines} : EdgeArea{lines, 8};
    GuardedBytes clip_page(16), strength_page(16);
    uint8_t *clip = clip_page.tail(2);
    uint8_t *strength = strength_page.tail(2);
    const int stride_extras[] = {0, 1, 5, 8, 24};
    int failures = 0;
    for (int round = 0; round < test_rounds(6000) && failures < 5; ++round) {
        const EdgeParams e = random_params(rng);
        const bool aligned = round % 2 == 0;
        const int width = area.width + 2 * BandedPlane::kMargin;
        const int extra = aligned ? (16 - width % 16) % 16 + 16 * int(rng.range(0, 1)) : stride_extras[round % 5];
        BandedPlane ref_cb(area.width, area.height, extra, aligned ? 0 : int(rng.range(0, 15)), rng);
        BandedPlane ref_cr(area.width, area.height, extra, aligned ? 8 * int(rng.range(0, 1)) : int(rng.range(0, 15)),
                           rng);
        for (int n = 0; n < lines; ++n) {
            put_line(ref_cb, slot.vertical, n, random_line(e, rng));
            put_line(ref_cr, slot.vertical, n, random_line(e, rng));
        }
        BandedPlane simd_cb = ref_cb, simd_cr = ref_cr;
        std::memcpy(clip, e.clip, 2);
        std::memcpy(strength, e.strength, 2);

        k.portable(area.pix(ref_cb, slot.vertical), area.pix(ref_cr, slot.vertical), ref_cb.stride, e.alpha, e.beta,
                   clip, strength);
        k.ssse3(area.pix(simd_cb, slot.vertical), area.pix(simd_cr, slot.vertical), simd_cb.stride, e.alpha, e.beta,
                clip, strength);

        for (const auto &[plane, ref, simd] : {std::tuple{"cb", &ref_cb, &simd_cb}, std::tuple{"cr", &ref_cr, &simd_cr}}) {
            const std::string diff = ref->first_difference(*simd);
            if (diff.empty())
                continue;
            ++failures;
            ADD_FAILURE() << slot.name << " " << plane << ": alpha " << e.alpha << ", beta " << e.beta << ", clip "
                          << int(e.clip[0]) << "/" << int(e.clip[1]) << ", strength " << int(e.strength[0]) << "/"
                          << int(e.strength[1]) << ", stride " << simd->stride << ", alignment " << simd->align
                          << ", round " << round << ": " << diff;
        }
    }
}

TEST_P(DeblockPairSimd, WritesNothingWithoutWork)
{
    if (!cpu_has_ssse3())
        GTEST_SKIP() << "the processor lacks SSSE3";
    const PairKernels k = pair_kernels_of(GetParam().kind);
    expect_no_writes(40, [&](uint8_t *base, int stride, const IdleCase &c) {
        k.ssse3(base + 4 * stride + 4, base + 20 * stride + 4, stride, c.alpha, c.beta, kIdleClip, c.strength);
    });
}

INSTANTIATE_TEST_SUITE_P(Slots, DeblockPairSimd, ::testing::ValuesIn(kPairSlots),
                         [](const ::testing::TestParamInfo<PairSlot> &info) { return std::string(info.param.name); });

} // namespace
