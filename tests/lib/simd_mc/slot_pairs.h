// The motion-compensation table slots that feature bit 0x80 gives another kernel, each with
// its portable and its SSSE3 kernel, and the pieces every differential test shares.
#pragma once

#include "../kernels_mc/guard_page.h"
#include "cpu.h"
#include "mc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace simd_mc {

struct LumaPair {
    std::string name; // e.g. put_16x16_pos5_8bit
    int n;
    luma_mc_fn portable, simd;
};

struct ChromaPair {
    std::string name; // e.g. avg_w4_8bit
    int width;
    chroma_mc_fn portable, simd;
};

struct CbcrPair {
    std::string name; // e.g. put_w8_8bit
    int width;
    chroma_mc_cbcr_fn portable, simd;
};

inline void PrintTo(const LumaPair &k, std::ostream *os)
{
    *os << k.name;
}

inline void PrintTo(const ChromaPair &k, std::ostream *os)
{
    *os << k.name;
}

inline void PrintTo(const CbcrPair &k, std::ostream *os)
{
    *os << k.name;
}

inline bool cpu_has_ssse3()
{
    return (cpu_detect() & 0x80) != 0;
}

// Slots whose kernel differs between the tables installed with word 0 and with 0x80. Leaves
// the portable tables installed.
inline std::vector<LumaPair> differing_luma_slots()
{
    static const int sizes[N_LUMA_MC_SIZES] = {16, 8};
    luma_mc_fn put[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
    luma_mc_fn avg[N_MC_ROWS][N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS];
    mc_init(0x80);
    std::memcpy(put, luma_mc_put_funcs, sizeof put);
    std::memcpy(avg, luma_mc_avg_funcs, sizeof avg);
    mc_init(0);
    std::vector<LumaPair> pairs;
    for (int row = 0; row < N_MC_ROWS; row++)
        for (int size = 0; size < N_LUMA_MC_SIZES; size++)
            for (int p = 0; p < N_LUMA_MC_POSITIONS; p++) {
                const int n = sizes[size];
                const std::string tail = "_" + std::to_string(n) + "x" + std::to_string(n) + "_pos" +
                                         std::to_string(p) + "_" + std::to_string(row + 8) + "bit";
                if (put[row][size][p] != luma_mc_put_funcs[row][size][p])
                    pairs.push_back({"put" + tail, n, luma_mc_put_funcs[row][size][p], put[row][size][p]});
                if (avg[row][size][p] != luma_mc_avg_funcs[row][size][p])
                    pairs.push_back({"avg" + tail, n, luma_mc_avg_funcs[row][size][p], avg[row][size][p]});
            }
    return pairs;
}

// The same for a chroma table pair indexed [row][width slot].
template <typename Pair, typename Fn, size_t WIDTHS>
std::vector<Pair> differing_width_slots(Fn (&put_table)[N_MC_ROWS][WIDTHS], Fn (&avg_table)[N_MC_ROWS][WIDTHS],
                                        const int (&widths)[WIDTHS])
{
    Fn put[N_MC_ROWS][WIDTHS];
    Fn avg[N_MC_ROWS][WIDTHS];
    mc_init(0x80);
    std::memcpy(put, put_table, sizeof put);
    std::memcpy(avg, avg_table, sizeof avg);
    mc_init(0);
    std::vector<Pair> pairs;
    for (int row = 0; row < N_MC_ROWS; row++)
        for (size_t w = 0; w < WIDTHS; w++) {
            const std::string tail = "_w" + std::to_string(widths[w]) + "_" + std::to_string(row + 8) + "bit";
            if (put[row][w] != put_table[row][w])
                pairs.push_back({"put" + tail, widths[w], put_table[row][w], put[row][w]});
            if (avg[row][w] != avg_table[row][w])
                pairs.push_back({"avg" + tail, widths[w], avg_table[row][w], avg[row][w]});
        }
    return pairs;
}

inline std::vector<ChromaPair> differing_chroma_slots()
{
    static const int widths[N_CHROMA_MC_WIDTHS] = {8, 4, 2, 1};
    return differing_width_slots<ChromaPair>(chroma_mc_put_funcs, chroma_mc_avg_funcs, widths);
}

inline std::vector<CbcrPair> differing_cbcr_slots()
{
    static const int widths[N_CHROMA_CBCR_WIDTHS] = {8, 4};
    return differing_width_slots<CbcrPair>(chroma_mc_cbcr_put_funcs, chroma_mc_cbcr_avg_funcs, widths);
}

// A destination block inside a band of random bytes: BAND_ROWS rows of `stride` bytes above
// and below the block, the block `offset` bytes into its row (from a 16-byte boundary). Each
// copy starts with the same bytes; comparing two copies covers the whole band, so a write
// beside the block shows.
class BandedBlock {
public:
    static constexpr int BAND_ROWS = 2;

    struct Copy {
        std::vector<uint8_t> storage;
        uint8_t *base = nullptr; // 16-byte aligned start of the banded area
        uint8_t *block = nullptr;
    };

    BandedBlock(int block_rows, ptrdiff_t stride, int offset, std::mt19937 &rng)
        : m_stride(stride), m_offset(offset), m_bytes(size_t((block_rows + 2 * BAND_ROWS) * stride) + 64)
    {
        std::uniform_int_distribution<int> byte(0, 255);
        for (uint8_t &b : m_bytes)
            b = uint8_t(byte(rng));
    }

    Copy copy() const
    {
        Copy c;
        c.storage.resize(m_bytes.size() + 16);
        c.base = c.storage.data() + (16 - reinterpret_cast<uintptr_t>(c.storage.data()) % 16) % 16;
        std::memcpy(c.base, m_bytes.data(), m_bytes.size());
        c.block = c.base + BAND_ROWS * m_stride + m_offset;
        return c;
    }

    // "" when the banded areas are equal, else where they first differ, relative to the block.
    std::string difference(const Copy &a, const Copy &b) const
    {
        for (size_t i = 0; i < m_bytes.size(); i++)
            if (a.base[i] != b.base[i]) {
                const ptrdiff_t rel = ptrdiff_t(i) - (BAND_ROWS * m_stride + m_offset);
                const ptrdiff_t row = rel >= 0 ? rel / m_stride : -((-rel + m_stride - 1) / m_stride);
                return "row " + std::to_string(row) + " column " + std::to_string(rel - row * m_stride) +
                       ": portable " + std::to_string(a.base[i]) + ", SSSE3 " + std::to_string(b.base[i]);
            }
        return "";
    }

private:
    ptrdiff_t m_stride;
    int m_offset;
    std::vector<uint8_t> m_bytes;
};

} // namespace simd_mc
