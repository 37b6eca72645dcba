// SSSE3 chroma motion compensation gives the bytes of the portable kernel of the same slot.
#include "slot_pairs.h"

#include <functional>

namespace {

using simd_mc::BandedBlock;
using simd_mc::CbcrPair;
using simd_mc::ChromaPair;

// Every fraction pair at the decoder's heights and the edge heights (1, and 0 or below, where
// nothing is written), twice: test(h, fx, fy, rep, stride of a row of read_w bytes, destination
// offset), stride and offset varying from case to case. Stops at the first fatal failure.
template <typename Test>
void sweep(int read_w_fraction, int read_w_whole, Test test)
{
    int trial = 0;
    for (int h : {1, 2, 4, 8, 16, 0, -3})
        for (int fy = 0; fy < 8; fy++)
            for (int fx = 0; fx < 8; fx++)
                for (int rep = 0; rep < 2; rep++, trial++) {
                    const int read_w = fx == 0 && fy == 0 ? read_w_whole : read_w_fraction;
                    const ptrdiff_t stride = trial % 3 == 0 ? read_w : trial % 3 == 1 ? 32 : 45;
                    const int offset = trial % 5 == 0 ? 0 : trial % 5 == 1 ? 8 : 5;
                    test(h, fx, fy, rep, stride, offset);
                    if (testing::Test::HasFatalFailure())
                        return;
                }
}

// The rows the kernels read at a height: h + 1, h at the whole-sample position of kernels that
// read exactly, one where nothing is read.
int rows_read(int h, bool whole)
{
    return h > 0 ? h + (whole ? 0 : 1) : 1;
}

std::string where(int h, int fx, int fy, ptrdiff_t stride, int offset)
{
    return "h " + std::to_string(h) + ", fx " + std::to_string(fx) + ", fy " + std::to_string(fy) + ", stride " +
           std::to_string(stride) + ", destination offset " + std::to_string(offset);
}

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

    sweep(vector_w, exact ? k.width : vector_w, [&](int h, int fx, int fy, int rep, ptrdiff_t stride, int offset) {
        const bool whole = exact && fx == 0 && fy == 0;
        const int read_w = whole ? k.width : vector_w;
        const int rows = rows_read(h, whole);
        GuardedRect src(read_w, rows, stride, 8, rep ? GuardedRect::AT_START : GuardedRect::AT_END);
        const int t = trial++;
        if (t % 7 == 0) {
            std::uniform_int_distribution<int> coin(0, 1);
            for (int y = 0; y < rows; y++)
                for (int x = 0; x < read_w; x++)
                    src.set(x, y, coin(rng) ? 255 : 0);
        } else {
            src.randomise(rng, 255, t % 4 == 1);
        }
        const BandedBlock dst(rows, stride, offset, rng);
        BandedBlock::Copy expected = dst.copy(), actual = dst.copy();

        k.portable(expected.block, src.origin(), int32_t(stride), h, fx, fy);
        k.simd(actual.block, src.origin(), int32_t(stride), h, fx, fy);

        ASSERT_EQ(dst.difference(expected, actual), "") << where(h, fx, fy, stride, offset);
    });
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

class CbcrSimdSlot : public testing::TestWithParam<CbcrPair> {};

// Both planes at every fraction pair and height, each plane's source exactly the w + 1 samples
// of h + 1 rows the kernels may read (w of h at the whole-sample position) against a guard page,
// one plane's at its start and the other's at its end; each destination in its own band.
TEST_P(CbcrSimdSlot, SameBytesAsPortableInBothPlanes)
{
    if (!simd_mc::cpu_has_ssse3())
        GTEST_SKIP() << "processor without SSSE3";
    const CbcrPair &k = GetParam();
    std::mt19937 rng(unsigned(std::hash<std::string>()(k.name)));
    int trial = 0;

    sweep(k.width + 1, k.width, [&](int h, int fx, int fy, int rep, ptrdiff_t stride, int offset) {
        const bool whole = fx == 0 && fy == 0;
        const int read_w = k.width + (whole ? 0 : 1);
        const int rows = rows_read(h, whole);
        GuardedRect cb(read_w, rows, stride, 8, rep ? GuardedRect::AT_START : GuardedRect::AT_END);
        GuardedRect cr(read_w, rows, stride, 8, rep ? GuardedRect::AT_END : GuardedRect::AT_START);
        const int t = trial++;
        cb.randomise(rng, 255, t % 4 == 1);
        cr.randomise(rng, 255, t % 4 == 2);
        const BandedBlock dst_cb(rows, stride, offset, rng), dst_cr(rows, stride, offset, rng);
        BandedBlock::Copy expected_cb = dst_cb.copy(), actual_cb = dst_cb.copy();
        BandedBlock::Copy expected_cr = dst_cr.copy(), actual_cr = dst_cr.copy();

        k.portable(expected_cb.block, expected_cr.block, cb.origin(), cr.origin(), int32_t(stride), h, fx, fy);
        k.simd(actual_cb.block, actual_cr.block, cb.origin(), cr.origin(), int32_t(stride), h, fx, fy);

        ASSERT_EQ(dst_cb.difference(expected_cb, actual_cb), "") << "Cb, " << where(h, fx, fy, stride, offset);
        ASSERT_EQ(dst_cr.difference(expected_cr, actual_cr), "") << "Cr, " << where(h, fx, fy, stride, offset);
    });
}

std::string cbcr_slot_name(const testing::TestParamInfo<CbcrPair> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Replaced, CbcrSimdSlot, testing::ValuesIn(simd_mc::differing_cbcr_slots()),
                         cbcr_slot_name);

// Bit 0x80 must give both widths, put and avg, of the 8-bit row an SSSE3 kernel.
TEST(CbcrSimdSlots, BothWidthsOfTheEightBitRowAreReplaced)
{
    const std::vector<CbcrPair> pairs = simd_mc::differing_cbcr_slots();
    ASSERT_EQ(pairs.size(), 4u);
    for (const CbcrPair &k : pairs)
        EXPECT_NE(k.name.find("_8bit"), std::string::npos) << k.name;
}

} // namespace
