// Which kernel-table slots initialisation fills, and which the SSSE3 bit replaces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "coef.h"
#include "idct.h"
#include "svacdec.h"

namespace {

enum class Ssse3 {
    keeps,        // the same kernel under every feature word
    replaces,     // a different kernel when bit 0x80 is set
    replaces_later, // the SSSE3 form is not built yet: still the same kernel
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
                                 &idct_funcs[size][row], row == 0 ? Ssse3::replaces_later : Ssse3::keeps));
    return slots;
}

std::vector<Slot> all_slots()
{
    std::vector<Slot> all;
    for (auto family : {coef_slots, idct_slots})
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
    ZQ_SVAC_Dec_Init(0);
}

} // namespace
