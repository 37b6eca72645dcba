// SSSE3 chroma motion compensation gives the bytes of the portable kernel of the same slot.
#include "slot_pairs.h"

#include <functional>

namespace {

using simd_mc::BandedBlock;
using simd_mc::ChromaPair;

class ChromaSimdSlot : public testing::TestWithParam<ChromaPair> {};

// Every fraction pair, the decoder's heights and the edge heights (1, and 0 or below, where
// nothing is written); the source is exactly the h + 1 rows of 16, 8 or 4 bytes (widths 8, 4,
// 2) the SSSE3 kernels may read, for widths 8 and 4 only w bytes of h rows at the whole-sample
// position (0, 0).
TEST_P(ChromaSimdSlot, SameBytesAsPortable)
{
    if (!simd_mc::cpu_has_ssse3())
        GTEST_SKIP() << "processor without SSSE3";
    const ChromaPair &k = GetParam();
    const int vector_w = k.width == 8 ? 16 : k.width == 4 ? 8 : 4;
    const bool exact = k.width >= 4;
    std::mt19937 rng(unsigned(std::hash<std::string>()(k.name)));
    int trial = 0;

    for (int h : {1, 2, 4, 8, 16, 0, -3})
        for (int fy = 0; fy < 8; fy++)
            for (int fx = 0; fx < 8; fx++)
                for (int rep = 0; rep < 2; rep++, trial++) {
                    const bool whole = exact && fx == 0 && fy == 0;
                    const int read_w = whole ? k.width : vector_w;
                    const int rows = h > 0 ? h + (whole ? 0 : 1) : 1;
                    const ptrdiff_t stride = trial % 3 == 0 ? read_w : trial % 3 == 1 ? 32 : 45;
                    const int offset = trial % 5 == 0 ? 0 : trial % 5 == 1 ? 8 : 5;
                    GuardedRect src(read_w, rows, stride, 8, rep ? GuardedRect::AT_START : GuardedRect::AT_END);
                    if (trial % 7 == 0) {
                        std::uniform_int_distribution<int> coin(0, 1);
                        for (int y = 0; y < rows; y++)
                            for (int x = 0; x < read_w; x++)
                                src.set(x, y, coin(rng) ? 255 : 0);
                    } else {
                        src.randomise(rng, 255, trial % 4 == 1);
                    }
                    const BandedBlock dst(rows, stride, offset, rng);
                    BandedBlock::Copy expected = dst.copy(), actual = dst.copy();

                    k.portable(expected.block, src.origin(), int32_t(stride), h, fx, fy);
                    k.simd(actual.block, src.origin(), int32_t(stride), h, fx, fy);

                    const std::string diff = dst.difference(expected, actual);
                    ASSERT_EQ(diff, "") << "h " << h << ", fx " << fx << ", fy " << fy << ", stride " << stride
                                        << ", destination offset " << offset;
                }
}

std::string slot_name(const testing::TestParamInfo<ChromaPair> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Replaced, ChromaSimdSlot, testing::ValuesIn(simd_mc::differing_chroma_slots()),
                         slot_name);

// Bit 0x80 must give chroma widths 8, 4 and 2, put and avg, an SSSE3 kernel.
TEST(ChromaSimdSlots, WidthsEightFourAndTwoAreReplaced)
{
    const std::vector<ChromaPair> pairs = simd_mc::differing_chroma_slots();
    ASSERT_EQ(pairs.size(), 6u);
    for (const ChromaPair &k : pairs)
        EXPECT_TRUE(k.width == 8 || k.width == 4 || k.width == 2) << k.name;
}

} // namespace
