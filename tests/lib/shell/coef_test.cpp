#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "coef.h"

namespace {

uint32_t word(int step, int level)
{
    return static_cast<uint32_t>(step & 0xFFFF) | (static_cast<uint32_t>(level & 0xFFFF) << 16);
}

struct Kernel {
    const char *name;
    coef_fn fn;
    int n;               // 4 or 8
    bool ssse3;
};

const Kernel kernels[] = {
    {"4x4", coef_expand_dequant4x4, 4, false},
    {"8x8", coef_expand_dequant8x8, 8, false},
    {"4x4_ssse3", coef_expand_dequant4x4_ssse3, 4, true},
    {"8x8_ssse3", coef_expand_dequant8x8_ssse3, 8, true},
};

struct Case {
    const char *name;
    int n;
    std::vector<uint32_t> words;   // in list order
    int qp, scan;
    std::vector<std::pair<int, int32_t>> nonzero;   // storage index, value
};

const std::vector<Case> cases = {
    {"worked_example", 4, {word(1, -3), word(2, 5)}, 9, 0, {{4, 210}, {1, -126}}},
    {"dc_4x4_qp0", 4, {word(1, 1)}, 0, 0, {{0, 16}}},
    {"dc_4x4_qp7", 4, {word(1, 1)}, 7, 0, {{0, 32}}},
    {"dc_8x8_qp0", 8, {word(1, 1)}, 0, 0, {{0, 32}}},
    {"dc_8x8_qp7", 8, {word(1, 1)}, 7, 0, {{0, 64}}},
    {"step0_is_last_position", 4, {word(0, 1)}, 0, 0, {{15, 17}}},
    {"min_level_qp62", 4, {word(1, -32768)}, 62, 0, {{0, -251658240}}},
    {"field_scan_4x4", 4, {word(2, 1), word(2, 1)}, 0, 1, {{1, 16}, {2, 16}}},
    {"field_scan_8x8", 8, {word(4, 2)}, 0, 1, {{8, 2 * 30}}},
    {"zigzag_8x8_last", 8, {word(64, 1)}, 3, 0, {{63, 39}}},
    {"position_wraps", 4, {word(3, 2), word(16, 1)}, 0, 0, {{15, 17}, {1, 2 * 16}}},
    {"later_word_overwrites", 4, {word(16, 7), word(1, 1)}, 0, 0, {{0, 7 * 16}}},
    {"no_words", 8, {}, 20, 0, {}},
};

class CoefExpand : public testing::TestWithParam<Kernel> {
protected:
    void SetUp() override
    {
        if (GetParam().ssse3 && !__builtin_cpu_supports("ssse3"))
            GTEST_SKIP() << "no SSSE3";
    }
};

TEST_P(CoefExpand, WorkedCases)
{
    const Kernel &k = GetParam();
    for (const Case &c : cases) {
        if (c.n != k.n)
            continue;
        SCOPED_TRACE(c.name);
        alignas(16) int32_t block[64];
        std::fill(block, block + 64, 0x55555555);
        k.fn(c.words.data(), block, c.qp, static_cast<int32_t>(c.words.size()), c.scan);
        std::vector<int32_t> expect(k.n * k.n, 0);
        for (auto [index, value] : c.nonzero)
            expect[index] = value;
        EXPECT_EQ(std::vector<int32_t>(block, block + k.n * k.n), expect);
        if (k.n == 4) {
            EXPECT_EQ(block[16], 0x55555555) << "nothing past the block";
        }
    }
}

TEST_P(CoefExpand, DcDoublesEverySevenQpsUpToTheGuard)
{
    // A DC level of 1 at qp is the row's first scale shifted by qp / 7; qp outside 0..223 is
    // taken as the nearest end.
    const Kernel &k = GetParam();
    const int dc16[7] = {16, 18, 20, 22, 26, 28, 30}, dc32[7] = {32, 36, 40, 44, 52, 56, 60};
    const uint32_t w = word(1, 1);
    for (int qp = -3; qp <= 230; ++qp) {
        alignas(16) int32_t block[64];
        k.fn(&w, block, qp, 1, 0);
        const int q = qp < 0 ? 0 : qp > 223 ? 223 : qp;
        const uint32_t scale = static_cast<uint32_t>(k.n == 4 ? dc16[q % 7] : dc32[q % 7]);
        ASSERT_EQ(block[0], static_cast<int32_t>(scale << (q / 7))) << "qp " << qp;
    }
}

TEST_P(CoefExpand, NegativeCountClearsTheBlock)
{
    alignas(16) int32_t block[64];
    std::fill(block, block + 64, -1);
    const uint32_t w = word(1, 1);
    GetParam().fn(&w, block, 0, -3, 0);
    for (int i = 0; i < GetParam().n * GetParam().n; ++i)
        ASSERT_EQ(block[i], 0);
}

INSTANTIATE_TEST_SUITE_P(Kernels, CoefExpand, testing::ValuesIn(kernels),
                         [](const testing::TestParamInfo<Kernel> &info) { return info.param.name; });

TEST(CoefTables, ScansArePermutationsWithTheirScaleIndex)
{
    auto check = [](const coef_scan_entry *scan, int n) {
        std::vector<int> hits(n * n, 0);
        for (int i = 0; i < n * n; ++i) {
            const int u = scan[i].index / n, v = scan[i].index % n;
            ++hits[scan[i].index];
            EXPECT_EQ(scan[i].scale, u % 4 + 4 * (v % 4)) << "position " << i;
        }
        EXPECT_EQ(hits, std::vector<int>(n * n, 1));
    };
    for (int s = 0; s < 2; ++s) {
        check(coef_scan_table_4x4[s], 4);
        check(coef_scan_table_8x8[s], 8);
    }
    EXPECT_EQ(coef_scan_table_8x8[1][13].index, 7);
    EXPECT_EQ(coef_scan_table_4x4[0][6].index, 12);
}

TEST(CoefTables, FoldedScalesFollowTheScanAndTheScaleTable)
{
    for (int s = 0; s < 2; ++s)
        for (int q = 0; q < 7; ++q) {
            SCOPED_TRACE(testing::Message() << "scan " << s << " qp mod 7 " << q);
            for (int i = 0; i < 16; ++i) {
                const coef_scan_entry e = coef_scan_table_4x4[s][i];
                EXPECT_EQ(coef_dequant_4x4.t[s][q][i].index, e.index) << "4x4 position " << i;
                EXPECT_EQ(coef_dequant_4x4.t[s][q][i].scale, dequant_scale_table_4x4[q][e.scale]) << "4x4 position " << i;
            }
            for (int i = 0; i < 64; ++i) {
                const coef_scan_entry e = coef_scan_table_8x8[s][i];
                EXPECT_EQ(coef_dequant_8x8.t[s][q][i].index, e.index) << "8x8 position " << i;
                EXPECT_EQ(coef_dequant_8x8.t[s][q][i].scale, dequant_scale_table_8x8[q][e.scale]) << "8x8 position " << i;
            }
        }
}

TEST(CoefExpandSsse3, MatchesPortableForRandomLists)
{
    if (!__builtin_cpu_supports("ssse3"))
        GTEST_SKIP() << "no SSSE3";
    std::mt19937 rng(20240611);
    const struct { coef_fn plain, simd; int n, max_words; } pairs[] = {
        {coef_expand_dequant4x4, coef_expand_dequant4x4_ssse3, 4, 17},
        {coef_expand_dequant8x8, coef_expand_dequant8x8_ssse3, 8, 65},
    };
    for (const auto &p : pairs) {
        for (int iteration = 0; iteration < 5000; ++iteration) {
            std::vector<uint32_t> words(p.max_words);
            const int count = static_cast<int>(rng() % (p.max_words + 1));
            for (uint32_t &w : words) {
                int level = static_cast<int>(rng() % 65535) - 32767;
                if (iteration % 7 == 0)
                    level = (rng() & 1) ? -32768 : 32767;
                w = word(static_cast<int>(rng() % (iteration % 3 ? 4 : 70)), level ? level : 1);
            }
            const int qp = static_cast<int>(rng() % 70);
            const int scan = static_cast<int>(rng() & 1);
            alignas(16) int32_t a[64], b[64];
            std::fill(a, a + 64, 9);
            std::fill(b, b + 64, 9);
            p.plain(words.data(), a, qp, count, scan);
            p.simd(words.data(), b, qp, count, scan);
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0)
                << p.n << "x" << p.n << " qp " << qp << " count " << count << " iteration " << iteration;
        }
    }
}

} // namespace
