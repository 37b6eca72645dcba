// The motion-compensation and padding tables after installation.
#include "mc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Snapshot {
    std::vector<void *> luma_put, luma_avg, chroma_put, chroma_avg, cbcr_put, cbcr_avg, pad;

    static Snapshot take()
    {
        Snapshot s;
        for (auto &row : luma_mc_put_funcs)
            for (auto &size : row)
                for (auto fn : size)
                    s.luma_put.push_back(reinterpret_cast<void *>(fn));
        for (auto &row : luma_mc_avg_funcs)
            for (auto &size : row)
                for (auto fn : size)
                    s.luma_avg.push_back(reinterpret_cast<void *>(fn));
        for (auto &row : chroma_mc_put_funcs)
            for (auto fn : row)
                s.chroma_put.push_back(reinterpret_cast<void *>(fn));
        for (auto &row : chroma_mc_avg_funcs)
            for (auto fn : row)
                s.chroma_avg.push_back(reinterpret_cast<void *>(fn));
        for (auto &row : chroma_mc_cbcr_put_funcs)
            for (auto fn : row)
                s.cbcr_put.push_back(reinterpret_cast<void *>(fn));
        for (auto &row : chroma_mc_cbcr_avg_funcs)
            for (auto fn : row)
                s.cbcr_avg.push_back(reinterpret_cast<void *>(fn));
        for (auto fn : pad_ref_block_funcs)
            s.pad.push_back(reinterpret_cast<void *>(fn));
        return s;
    }
    bool operator==(const Snapshot &o) const
    {
        return luma_put == o.luma_put && luma_avg == o.luma_avg && chroma_put == o.chroma_put &&
               chroma_avg == o.chroma_avg && cbcr_put == o.cbcr_put && cbcr_avg == o.cbcr_avg && pad == o.pad;
    }
};

TEST(McTables, RowsEightAndTenFilledNineEmpty)
{
    mc_init(0);
    for (int row = 0; row < N_MC_ROWS; row++) {
        const bool filled = row != MC_ROW_9BIT;
        for (int size = 0; size < N_LUMA_MC_SIZES; size++)
            for (int p = 0; p < N_LUMA_MC_POSITIONS; p++) {
                EXPECT_EQ(luma_mc_put_funcs[row][size][p] != nullptr, filled) << row << " " << size << " " << p;
                EXPECT_EQ(luma_mc_avg_funcs[row][size][p] != nullptr, filled) << row << " " << size << " " << p;
            }
        for (int w = 0; w < N_CHROMA_MC_WIDTHS; w++) {
            EXPECT_EQ(chroma_mc_put_funcs[row][w] != nullptr, filled) << row << " " << w;
            EXPECT_EQ(chroma_mc_avg_funcs[row][w] != nullptr, filled) << row << " " << w;
        }
        for (int w = 0; w < N_CHROMA_CBCR_WIDTHS; w++) {
            EXPECT_EQ(chroma_mc_cbcr_put_funcs[row][w] != nullptr, filled) << row << " " << w;
            EXPECT_EQ(chroma_mc_cbcr_avg_funcs[row][w] != nullptr, filled) << row << " " << w;
        }
    }
    EXPECT_NE(pad_ref_block_funcs[PAD_REF_8BIT], nullptr);
    EXPECT_NE(pad_ref_block_funcs[PAD_REF_16BIT], nullptr);
    EXPECT_NE(pad_ref_block_funcs[PAD_REF_8BIT], pad_ref_block_funcs[PAD_REF_16BIT]);
}

// Only bit 0x80 may change anything, only in row 0 of the luma tables, chroma widths 8, 4
// and 2 and the both-plane chroma tables; the last installation wins.
TEST(McTables, FeatureWordSelectsOnlyTheEightBitSlots)
{
    mc_init(0);
    const Snapshot portable = Snapshot::take();
    mc_init(~0x80u);
    EXPECT_TRUE(Snapshot::take() == portable);

    mc_init(0x80);
    const Snapshot simd = Snapshot::take();
    for (int row = MC_ROW_9BIT; row < N_MC_ROWS; row++)
        for (int size = 0; size < N_LUMA_MC_SIZES; size++)
            for (int p = 0; p < N_LUMA_MC_POSITIONS; p++) {
                const size_t i = size_t((row * N_LUMA_MC_SIZES + size) * N_LUMA_MC_POSITIONS + p);
                EXPECT_EQ(simd.luma_put[i], portable.luma_put[i]);
                EXPECT_EQ(simd.luma_avg[i], portable.luma_avg[i]);
            }
    for (int row = 0; row < N_MC_ROWS; row++)
        for (int w = 0; w < N_CHROMA_MC_WIDTHS; w++) {
            if (row == MC_ROW_8BIT && w <= CHROMA_MC_W2)
                continue;
            const size_t i = size_t(row * N_CHROMA_MC_WIDTHS + w);
            EXPECT_EQ(simd.chroma_put[i], portable.chroma_put[i]) << row << " " << w;
            EXPECT_EQ(simd.chroma_avg[i], portable.chroma_avg[i]) << row << " " << w;
        }
    for (int row = MC_ROW_9BIT; row < N_MC_ROWS; row++)
        for (int w = 0; w < N_CHROMA_CBCR_WIDTHS; w++) {
            const size_t i = size_t(row * N_CHROMA_CBCR_WIDTHS + w);
            EXPECT_EQ(simd.cbcr_put[i], portable.cbcr_put[i]) << row << " " << w;
            EXPECT_EQ(simd.cbcr_avg[i], portable.cbcr_avg[i]) << row << " " << w;
        }
    EXPECT_EQ(simd.pad, portable.pad);

    mc_init(0);
    EXPECT_TRUE(Snapshot::take() == portable);
}

} // namespace
