// The SSSE3 intra prediction slots predict exactly what the portable slots predict.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "../common/guarded_memory.h"
#include "ipred.h"
#include "svacdec.h"

namespace {

enum class Table { Luma4x4, Luma8x8, Chroma };

struct SlotCase {
    std::string name;
    Table table;
    int slot;
    int n;
    // Readable bytes of each neighbour array, as the macroblock decoder guarantees them.
    size_t window;
};

void PrintTo(const SlotCase &c, std::ostream *os)
{
    *os << c.name;
}

intra_pred_fn &slot_of(Table table, int slot)
{
    switch (table) {
    case Table::Luma4x4: return intra_pred4x4_funcs[INTRA_ROW_8BIT][slot];
    case Table::Luma8x8: return intra_pred8x8_funcs[INTRA_ROW_8BIT][slot];
    case Table::Chroma: break;
    }
    return intra_pred_chroma_funcs[INTRA_ROW_8BIT][slot];
}

std::vector<SlotCase> all_cases()
{
    const char *luma[] = {"VERT", "HORZ", "LP", "DNLF", "DNRH", "LPLF", "LPTP", "D128"};
    const char *chroma[] = {"LP", "HOR", "VER", "PLANE", "LPLE", "LPTP", "D128"};
    std::vector<SlotCase> cases;
    for (int s = 0; s < N_INTRA_LUMA_MODES; ++s)
        cases.push_back({std::string("luma4x4_") + luma[s] + "_8bit", Table::Luma4x4, s, 4, 13});
    for (int s = 0; s < N_INTRA_LUMA_MODES; ++s)
        cases.push_back({std::string("luma8x8_") + luma[s] + "_8bit", Table::Luma8x8, s, 8, 25});
    for (int s = 0; s < N_INTRA_CHROMA_MODES; ++s)
        cases.push_back({std::string("chroma_") + chroma[s] + "_8bit", Table::Chroma, s, 8, 16});
    return cases;
}

// Fills the top and left windows. Every byte of a window is set, also those the mode ignores,
// so bytes that must not matter carry junk.
using Pattern = std::function<void(uint8_t *top, uint8_t *left, size_t len, std::mt19937 &rng)>;

struct NamedPattern {
    const char *name;
    Pattern fill;
    int repeats;
};

uint8_t random_byte(std::mt19937 &rng)
{
    return uint8_t(rng() & 0xFF);
}

const NamedPattern kPatterns[] = {
    {"random", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &rng) {
         for (size_t i = 0; i < len; ++i) { t[i] = random_byte(rng); l[i] = random_byte(rng); }
     }, 400},
    {"random extremes", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &rng) {
         for (size_t i = 0; i < len; ++i) {
             t[i] = (rng() & 1) ? 255 : 0;
             l[i] = (rng() & 1) ? 255 : 0;
         }
     }, 400},
    {"all zero", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         std::memset(t, 0, len); std::memset(l, 0, len);
     }, 1},
    {"all 255", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         std::memset(t, 255, len); std::memset(l, 255, len);
     }, 1},
    {"top 255, left 0", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         std::memset(t, 255, len); std::memset(l, 0, len);
     }, 1},
    {"top 0, left 255", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         std::memset(t, 0, len); std::memset(l, 255, len);
     }, 1},
    // Steepest plane: every weighted difference at its extreme, in both signs.
    {"steep ramps", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         for (size_t i = 0; i < len; ++i) { t[i] = i > 4 ? 255 : 0; l[i] = i > 4 ? 0 : 255; }
     }, 1},
    {"steep ramps, corner flipped", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         for (size_t i = 0; i < len; ++i) { t[i] = i < 4 ? 255 : 0; l[i] = i < 4 ? 0 : 255; }
         t[0] = 0; l[0] = 255;
     }, 1},
    {"alternating", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &) {
         for (size_t i = 0; i < len; ++i) { t[i] = (i & 1) ? 255 : 0; l[i] = (i & 1) ? 0 : 255; }
     }, 1},
    // Extremes inside the used entries, random junk around them.
    {"planted extremes", [](uint8_t *t, uint8_t *l, size_t len, std::mt19937 &rng) {
         for (size_t i = 0; i < len; ++i) { t[i] = random_byte(rng); l[i] = random_byte(rng); }
         const size_t at = rng() % 10;
         t[at] = 255; l[at] = 0;
         t[(at + 1) % 10] = 0; l[(at + 1) % 10] = 255;
     }, 200},
};

// Destination layouts: stride and the block's column inside its row.
struct Layout {
    int stride;
    int column;
};

class SimdIntraSlot : public testing::TestWithParam<SlotCase> {
protected:
    void SetUp() override
    {
        if (!(ZQ_SVAC_Dec_GetCPUCaps() & 0x80))
            GTEST_SKIP() << "no SSSE3";
        intra_pred_init(0);
        m_plain = slot_of(GetParam().table, GetParam().slot);
        intra_pred_init(0x80);
        m_simd = slot_of(GetParam().table, GetParam().slot);
        intra_pred_init(0);
        if (m_plain == m_simd)
            GTEST_SKIP() << "the slot keeps its portable kernel";
    }

    intra_pred_fn m_plain = nullptr;
    intra_pred_fn m_simd = nullptr;
};

TEST_P(SimdIntraSlot, MatchesPortableKernel)
{
    const SlotCase &c = GetParam();
    // The arrays end where a guard page starts: reading past the window faults.
    GuardedBytes top_memory(c.window);
    GuardedBytes left_memory(c.window);
    uint8_t *top = top_memory.tail(c.window);
    uint8_t *left = left_memory.tail(c.window);

    const Layout layouts[] = {{c.n, 0}, {19, 5}, {64, 16}};
    std::mt19937 rng(std::hash<std::string>()(c.name) & 0xFFFFFFFF);
    for (const NamedPattern &p : kPatterns) {
        for (int r = 0; r < p.repeats; ++r) {
            p.fill(top, left, c.window, rng);
            for (const Layout &lay : layouts) {
                // One row of margin above and below the block, junk everywhere.
                const size_t size = size_t(lay.stride) * (c.n + 2);
                std::vector<uint8_t> expect(size);
                for (uint8_t &b : expect)
                    b = random_byte(rng);
                std::vector<uint8_t> got = expect;
                m_plain(expect.data() + lay.stride + lay.column, top, left, lay.stride);
                m_simd(got.data() + lay.stride + lay.column, top, left, lay.stride);
                if (got != expect) {
                    std::string where;
                    for (size_t i = 0; i < size; ++i)
                        if (got[i] != expect[i]) {
                            where = "row " + std::to_string(int(i / lay.stride) - 1) + " column " +
                                    std::to_string(int(i % lay.stride) - lay.column) + ": " +
                                    std::to_string(got[i]) + " instead of " + std::to_string(expect[i]);
                            break;
                        }
                    FAIL() << p.name << " #" << r << ", stride " << lay.stride << ": " << where;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, SimdIntraSlot, testing::ValuesIn(all_cases()),
                         [](const testing::TestParamInfo<SlotCase> &info) { return info.param.name; });

// The chroma slots LP, HOR, VER, LPLE, LPTP and D128 use the 8x8 luma kernels under either word.
TEST(SimdIntraTables, ChromaSharesTheEightByEightKernels)
{
    const struct { int chroma, luma; } shared[] = {
        {INTRA_CHROMA_LP, INTRA_LUMA_LP},     {INTRA_CHROMA_HOR, INTRA_LUMA_HORZ},
        {INTRA_CHROMA_VER, INTRA_LUMA_VERT},  {INTRA_CHROMA_LPLE, INTRA_LUMA_LPLF},
        {INTRA_CHROMA_LPTP, INTRA_LUMA_LPTP}, {INTRA_CHROMA_D128, INTRA_LUMA_D128},
    };
    for (uint32_t word : {0u, 0x80u}) {
        intra_pred_init(word);
        for (const auto &s : shared)
            for (int row : {INTRA_ROW_8BIT, INTRA_ROW_10BIT})
                EXPECT_EQ(intra_pred_chroma_funcs[row][s.chroma], intra_pred8x8_funcs[row][s.luma])
                    << "chroma slot " << s.chroma << ", row " << row << ", word " << word;
    }
    intra_pred_init(0);
}

} // namespace
