// Sample memory that ends (or starts) at an inaccessible page, so a kernel that reads or
// writes past the window it documents faults inside the test.
#pragma once

#include "../common/guarded_memory.h"

#include <cstring>
#include <random>

// A width x height rectangle of samples (bytes for depth 8, 16-bit words otherwise). AT_END:
// its last sample is the last one before the trailing guard page; AT_START: its first sample
// follows the leading guard page. Bytes between its rows hold 0xA5.
class GuardedRect {
public:
    enum Placement { AT_END, AT_START };

    GuardedRect(int width, int height, ptrdiff_t stride, int depth, Placement where = AT_END)
        : m_width(width), m_height(height), m_stride(stride), m_bytes(depth > 8 ? 2 : 1),
          m_mem(size_t((height - 1) * stride + width * m_bytes))
    {
        const size_t used = size_t((height - 1) * stride + width * m_bytes);
        m_origin = where == AT_END ? m_mem.end() - used : m_mem.begin();
        std::memset(m_mem.begin(), 0xA5, size_t(m_mem.end() - m_mem.begin()));
    }

    uint8_t *origin() const { return m_origin; }
    uint8_t *at(int x, int y) const { return m_origin + y * m_stride + x * m_bytes; }
    int get(int x, int y) const { return m_bytes == 2 ? *reinterpret_cast<const uint16_t *>(at(x, y)) : *at(x, y); }
    void set(int x, int y, int v) const
    {
        if (m_bytes == 2)
            *reinterpret_cast<uint16_t *>(at(x, y)) = uint16_t(v);
        else
            *at(x, y) = uint8_t(v);
    }
    void fill(int v) const
    {
        for (int y = 0; y < m_height; y++)
            for (int x = 0; x < m_width; x++)
                set(x, y, v);
    }
    // Random samples 0..max. Rough: a quarter of them at 0 or max, so that sums clip often.
    // Smooth: a narrow band around a random level, so that sums rarely clip and every
    // rounding shows.
    void randomise(std::mt19937 &rng, int max, bool smooth = false) const
    {
        std::uniform_int_distribution<int> any(0, max), pick(0, 7), band(-max / 16, max / 16);
        const int level = any(rng);
        for (int y = 0; y < m_height; y++)
            for (int x = 0; x < m_width; x++) {
                if (smooth) {
                    const int v = level + band(rng);
                    set(x, y, v < 0 ? 0 : v > max ? max : v);
                } else {
                    const int k = pick(rng);
                    set(x, y, k == 0 ? 0 : k == 1 ? max : any(rng));
                }
            }
    }
    // The bytes between the rows still hold their fill.
    bool gaps_untouched() const
    {
        for (int y = 0; y + 1 < m_height; y++)
            for (const uint8_t *b = at(m_width, y); b < at(0, y + 1); b++)
                if (*b != 0xA5)
                    return false;
        return true;
    }

private:
    int m_width, m_height;
    ptrdiff_t m_stride;
    int m_bytes;
    GuardedBytes m_mem;
    uint8_t *m_origin = nullptr;
};
