// SSSE3 luma motion compensation gives the bytes of the portable kernel of the same slot.
#include "slot_pairs.h"

#include <functional>

namespace {

using simd_mc::BandedBlock;
using simd_mc::LumaPair;

// Fills of the source window: random with many 0 and 255, smooth random (every rounding
// shows), noise of 0 and 255 only, planted tiles and a flat value.
enum class Fill { ROUGH, SMOOTH, BINARY, TILE, FLAT };
constexpr Fill FILLS[] = {Fill::ROUGH, Fill::SMOOTH, Fill::BINARY, Fill::TILE, Fill::FLAT};

// Tile rows and columns. Crossing two of them (one inverted where the other is low) puts the
// largest and smallest filter sums at some outputs, including the 2-D ones.
const std::vector<std::vector<int>> PATTERNS = {
    {0, 255, 255, 0},          // signs of the half-sample taps
    {0, 0, 255, 255, 0},       // signs of the quarter-sample taps
    {0, 255, 255, 0, 0},       // signs of the three-quarter-sample taps
    {255, 227, 255, 255, 254}, // quarter-sample sum 32703 + 64 = 32767 (255 exactly)
    {254, 255, 255, 227, 255}, // the same at three quarters
    {255},                     // no change along this axis
};

void fill_source(const GuardedRect &src, int cols, int rows, Fill fill, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> any(0, 255);
    switch (fill) {
    case Fill::ROUGH:
    case Fill::SMOOTH:
        src.randomise(rng, 255, fill == Fill::SMOOTH);
        return;
    case Fill::BINARY:
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < cols; x++)
                src.set(x, y, any(rng) & 1 ? 255 : 0);
        return;
    case Fill::FLAT:
        src.fill(any(rng));
        return;
    case Fill::TILE: {
        std::uniform_int_distribution<size_t> pick(0, PATTERNS.size() - 1);
        const std::vector<int> &along = PATTERNS[pick(rng)], &across = PATTERNS[pick(rng)];
        const int phase_a = any(rng), phase_b = any(rng);
        const bool transposed = any(rng) & 1;
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < cols; x++) {
                const int i = transposed ? y : x, j = transposed ? x : y;
                const int a = along[size_t(i + phase_a) % along.size()];
                const int b = across[size_t(j + phase_b) % across.size()];
                src.set(x, y, b >= 128 ? a : 255 - a);
            }
        return;
    }
    }
}

const char *fill_name(Fill f)
{
    switch (f) {
    case Fill::ROUGH: return "rough";
    case Fill::SMOOTH: return "smooth";
    case Fill::BINARY: return "binary";
    case Fill::TILE: return "tile";
    case Fill::FLAT: return "flat";
    }
    return "?";
}

class LumaSimdSlot : public testing::TestWithParam<LumaPair> {};

// Random and planted sources over strides, destination offsets and source placements; the
// source window is exactly what the SSSE3 kernels may read (columns -2 .. 22 or -2 .. 14, rows
// -2 .. N + 2), so reading past it on the guarded side faults.
TEST_P(LumaSimdSlot, SameBytesAsPortable)
{
    if (!simd_mc::cpu_has_ssse3())
        GTEST_SKIP() << "processor without SSSE3";
    const LumaPair &k = GetParam();
    const int n = k.n;
    const int cols = n == 16 ? 25 : 17;
    const int rows = n + 5;
    std::mt19937 rng(unsigned(std::hash<std::string>()(k.name)));

    struct Placement {
        GuardedRect::Placement where;
        int left; // extra columns left of the window: other source alignments
    };
    const Placement placements[] = {{GuardedRect::AT_END, 0}, {GuardedRect::AT_START, 0}, {GuardedRect::AT_END, 5}};
    for (ptrdiff_t stride : {32, 48, 67})
        for (int offset : {0, 3, 8})
            for (const Placement &at : placements)
                for (Fill fill : FILLS) {
                    GuardedRect src(cols + at.left, rows, stride, 8, at.where);
                    fill_source(src, cols + at.left, rows, fill, rng);
                    const uint8_t *origin = src.at(at.left + 2, 2);
                    const BandedBlock dst(n, stride, offset, rng);
                    BandedBlock::Copy expected = dst.copy(), actual = dst.copy();

                    k.portable(expected.block, origin, int32_t(stride));
                    k.simd(actual.block, origin, int32_t(stride));

                    const std::string diff = dst.difference(expected, actual);
                    ASSERT_EQ(diff, "") << "stride " << stride << ", destination offset " << offset
                                        << ", source " << (at.where == GuardedRect::AT_END ? "at end" : "at start")
                                        << " + " << at.left << ", fill " << fill_name(fill);
                }
}

std::string slot_name(const testing::TestParamInfo<LumaPair> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Replaced, LumaSimdSlot, testing::ValuesIn(simd_mc::differing_luma_slots()), slot_name);

// Bit 0x80 must give every 8-bit luma slot but the two full-sample copies an SSSE3 kernel, or
// the suite above tests nothing.
TEST(LumaSimdSlots, EveryEightBitSlotButTheCopiesIsReplaced)
{
    const std::vector<simd_mc::LumaPair> pairs = simd_mc::differing_luma_slots();
    EXPECT_EQ(pairs.size(), size_t(2 * N_LUMA_MC_SIZES * N_LUMA_MC_POSITIONS - 2));
    for (const simd_mc::LumaPair &k : pairs)
        EXPECT_TRUE(k.name != "put_8x8_pos0_8bit" && k.name != "put_16x16_pos0_8bit") << k.name;
}

} // namespace
