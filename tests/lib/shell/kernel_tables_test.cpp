// Which kernel-table slots initialisation fills, and which the SSSE3 bit replaces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "coef.h"
#include "deblock.h"
#include "idct.h"
#include "ipred.h"
#include "mc.h"
#include "svacdec.h"

namespace {

enum class Ssse3 {
    keeps,     // the same kernel under every feature word
    replaces,  // a different kernel when bit 0x80 is set
};

struct Slot {
    std::string name;
    const void *address;   // the table element
    Ssse3 ssse3;
};

template <typename Fn>
Slot slot(const std::string &name, Fn *element, Ssse3 ssse3)
{
    return Slot{name, static_cast<const void *>(element), ssse3};
}

// Each family appends the slots its installer fills.
std::vector<Slot> coef_slots()
{
    return {
        slot("coef_funcs[8x8]", &coef_funcs[COEF_8X8], Ssse3::replaces),
        slot("coef_funcs[4x4]", &coef_funcs[COEF_4X4], Ssse3::replaces),
    };
}

std::vector<Slot> idct_slots()
{
    std::vector<Slot> slots;
    const char *sizes[IDCT_SIZES] = {"8x8", "4x4"};
    for (int size = 0; size < IDCT_SIZES; ++size)
        for (int row = 0; row < IDCT_ROWS; ++row)
            slots.push_back(slot(std::string("idct_funcs[") + sizes[size] + "][" + std::to_string(row) + "]",
                                 &idct_funcs[size][row], row == 0 ? Ssse3::replaces : Ssse3::keeps));
    return slots;
}

// Row 0 of the three single-block tables is replaced but for the fills with 128 and the 8x8 (and
// chroma) low-pass of the top row; row 1 stays empty.
std::vector<Slot> intra_slots()
{
    std::vector<Slot> slots;
    for (int row : {INTRA_ROW_8BIT, INTRA_ROW_10BIT}) {
        const Ssse3 ssse3 = row == INTRA_ROW_8BIT ? Ssse3::replaces : Ssse3::keeps;
        const std::string r = "[" + std::to_string(row) + "][";
        for (int mode = 0; mode < N_INTRA_LUMA_MODES; ++mode) {
            slots.push_back(slot("intra_pred4x4_funcs" + r + std::to_string(mode) + "]",
                                 &intra_pred4x4_funcs[row][mode], mode == INTRA_LUMA_D128 ? Ssse3::keeps : ssse3));
            slots.push_back(slot("intra_pred8x8_funcs" + r + std::to_string(mode) + "]",
                                 &intra_pred8x8_funcs[row][mode],
                                 mode == INTRA_LUMA_LPTP || mode == INTRA_LUMA_D128 ? Ssse3::keeps : ssse3));
        }
        for (int mode = 0; mode < N_INTRA_CHROMA_MODES; ++mode)
            slots.push_back(slot("intra_pred_chroma_funcs" + r + std::to_string(mode) + "]",
                                 &intra_pred_chroma_funcs[row][mode],
                                 mode == INTRA_CHROMA_LPTP || mode == INTRA_CHROMA_D128 ? Ssse3::keeps : ssse3));
    }
    for (int row = 0; row < N_INTRA_ROWS; ++row) {
        slots.push_back(slot("intra_pred_multi_funcs[" + std::to_string(row) + "]", &intra_pred_multi_funcs[row],
                             Ssse3::keeps));
        slots.push_back(slot("intra_pred_multi_chroma_funcs[" + std::to_string(row) + "]",
                             &intra_pred_multi_chroma_funcs[row], Ssse3::keeps));
    }
    return slots;
}

// Row 0 of the motion-compensation tables: every luma slot but the full-sample copies (put)
// and chroma widths 8, 4 and 2; row 1
// stays empty, row 2 and the padding routines keep their kernels.
std::vector<Slot> mc_slots()
{
    std::vector<Slot> slots;
    const char *sizes[N_LUMA_MC_SIZES] = {"16x16", "8x8"};
    for (int row : {MC_ROW_8BIT, MC_ROW_10BIT}) {
        const Ssse3 ssse3 = row == MC_ROW_8BIT ? Ssse3::replaces : Ssse3::keeps;
        const std::string r = "[" + std::to_string(row) + "][";
        for (int size = 0; size < N_LUMA_MC_SIZES; ++size)
            for (int p = 0; p < N_LUMA_MC_POSITIONS; ++p) {
                const std::string at = r + sizes[size] + "][" + std::to_string(p) + "]";
                slots.push_back(slot("luma_mc_put_funcs" + at, &luma_mc_put_funcs[row][size][p],
                                     p == 0 ? Ssse3::keeps : ssse3));
                slots.push_back(slot("luma_mc_avg_funcs" + at, &luma_mc_avg_funcs[row][size][p], ssse3));
            }
        for (int w = 0; w < N_CHROMA_MC_WIDTHS; ++w) {
            const Ssse3 chroma = w <= CHROMA_MC_W2 ? ssse3 : Ssse3::keeps;
            const std::string at = r + std::to_string(w) + "]";
            slots.push_back(slot("chroma_mc_put_funcs" + at, &chroma_mc_put_funcs[row][w], chroma));
            slots.push_back(slot("chroma_mc_avg_funcs" + at, &chroma_mc_avg_funcs[row][w], chroma));
        }
    }
    for (int i = 0; i < N_PAD_REF_SLOTS; ++i)
        slots.push_back(slot("pad_ref_block_funcs[" + std::to_string(i) + "]", &pad_ref_block_funcs[i], Ssse3::keeps));
    return slots;
}

// The luma edges of row 0 are replaced (chroma, filtered through the pair slots, keeps its
// single-plane kernels); row 1 stays empty, row 2 keeps its kernels.
std::vector<Slot> deblock_slots()
{
    std::vector<Slot> slots;
    const char *kinds[N_DEBLOCK_KINDS] = {"luma v", "luma h", "chroma v", "chroma h"};
    for (int row : {DEBLOCK_ROW_8BIT, DEBLOCK_ROW_10BIT})
        for (int kind = 0; kind < N_DEBLOCK_KINDS; ++kind)
            slots.push_back(slot(std::string("deblock_funcs[") + kinds[kind] + "][" + std::to_string(row) + "]",
                                 &deblock_funcs[kind][row],
                                 row == DEBLOCK_ROW_8BIT && kind <= DEBLOCK_LUMA_H ? Ssse3::replaces : Ssse3::keeps));
    const char *pairs[N_DEBLOCK_PAIR_KINDS] = {"chroma pair v", "chroma pair h"};
    for (int row : {DEBLOCK_ROW_8BIT, DEBLOCK_ROW_10BIT})
        for (int kind = 0; kind < N_DEBLOCK_PAIR_KINDS; ++kind)
            slots.push_back(slot(std::string("deblock_pair_funcs[") + pairs[kind] + "][" + std::to_string(row) + "]",
                                 &deblock_pair_funcs[kind][row],
                                 row == DEBLOCK_ROW_8BIT ? Ssse3::replaces : Ssse3::keeps));
    return slots;
}

std::vector<Slot> all_slots()
{
    std::vector<Slot> all;
    for (auto family : {coef_slots, idct_slots, intra_slots, mc_slots, deblock_slots})
        for (Slot &s : family())
            all.push_back(s);
    return all;
}

using Snapshot = std::vector<uintptr_t>;

Snapshot snapshot_after(std::initializer_list<uint32_t> words)
{
    for (uint32_t w : words)
        ZQ_SVAC_Dec_Init(w);
    Snapshot snap;
    for (const Slot &s : all_slots()) {
        uintptr_t value;
        std::memcpy(&value, s.address, sizeof value);
        snap.push_back(value);
    }
    return snap;
}

TEST(KernelTables, EveryListedSlotIsFilled)
{
    const std::vector<Slot> slots = all_slots();
    for (uint32_t word : {0u, 0x80u, ~0x80u, ~0u}) {
        const Snapshot snap = snapshot_after({word});
        for (size_t i = 0; i < slots.size(); ++i)
            EXPECT_NE(snap[i], 0u) << slots[i].name << " after word " << std::hex << word;
    }
}

TEST(KernelTables, OnlyBit0x80SelectsKernels)
{
    const std::vector<Slot> slots = all_slots();
    const Snapshot plain = snapshot_after({0});
    const Snapshot others = snapshot_after({~0x80u});
    const Snapshot simd = snapshot_after({0x80});
    const Snapshot back = snapshot_after({0x80, 0});
    EXPECT_EQ(others, plain) << "every bit but 0x80 is ignored";
    EXPECT_EQ(back, plain) << "a second Init restores the portable kernels";
    for (size_t i = 0; i < slots.size(); ++i) {
        const bool differs = simd[i] != plain[i];
        EXPECT_EQ(differs, slots[i].ssse3 == Ssse3::replaces) << slots[i].name;
    }
}

TEST(KernelTables, PortableKernelsAreTheNamedOnes)
{
    ZQ_SVAC_Dec_Init(0);
    EXPECT_EQ(coef_funcs[COEF_8X8], coef_expand_dequant8x8);
    EXPECT_EQ(coef_funcs[COEF_4X4], coef_expand_dequant4x4);
    EXPECT_EQ(idct_funcs[IDCT_8X8][0], idct8x8_add);
    EXPECT_EQ(idct_funcs[IDCT_8X8][1], idct8x8_add_9bit);
    EXPECT_EQ(idct_funcs[IDCT_8X8][2], idct8x8_add_10bit);
    EXPECT_EQ(idct_funcs[IDCT_4X4][0], idct4x4_add);
    EXPECT_EQ(idct_funcs[IDCT_4X4][1], idct4x4_add_9bit);
    EXPECT_EQ(idct_funcs[IDCT_4X4][2], idct4x4_add_10bit);
    ZQ_SVAC_Dec_Init(0x80);
    EXPECT_EQ(coef_funcs[COEF_8X8], coef_expand_dequant8x8_ssse3);
    EXPECT_EQ(coef_funcs[COEF_4X4], coef_expand_dequant4x4_ssse3);
    EXPECT_EQ(idct_funcs[IDCT_8X8][0], idct8x8_add_ssse3);
    EXPECT_EQ(idct_funcs[IDCT_4X4][0], idct4x4_add_ssse3);
    EXPECT_EQ(deblock_funcs[DEBLOCK_LUMA_V][DEBLOCK_ROW_8BIT], deblock_luma_v_ssse3);
    EXPECT_EQ(deblock_funcs[DEBLOCK_LUMA_H][DEBLOCK_ROW_8BIT], deblock_luma_h_ssse3);
    EXPECT_EQ(deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][DEBLOCK_ROW_8BIT], deblock_chroma_pair_v_ssse3);
    EXPECT_EQ(deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][DEBLOCK_ROW_8BIT], deblock_chroma_pair_h_ssse3);
    ZQ_SVAC_Dec_Init(0);
}

} // namespace
