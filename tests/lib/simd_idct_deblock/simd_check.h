// Shared pieces of the portable-against-SSSE3 comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cpu.h"

constexpr uint32_t kSsse3 = 0x80;

inline bool cpu_has_ssse3()
{
    return (cpu_detect() & kSsse3) != 0;
}

// Fixed unless SIMD_TEST_SEED is set (for longer soak runs with other data).
inline uint32_t test_seed()
{
    const char *env = std::getenv("SIMD_TEST_SEED");
    return env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 0)) : 20240611u;
}

// Repeat count, scaled by SIMD_TEST_ROUNDS for soak runs.
inline int test_rounds(int base)
{
    const char *env = std::getenv("SIMD_TEST_ROUNDS");
    const long factor = env ? std::strtol(env, nullptr, 0) : 1;
    return factor > 0 ? static_cast<int>(base * factor) : base;
}

class Rng {
public:
    explicit Rng(uint32_t seed) : m_gen(seed) {}
    // Uniform in lo..hi inclusive.
    int64_t range(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(m_gen); }
    int byte() { return static_cast<int>(range(0, 255)); }
    bool chance(int percent) { return range(0, 99) < percent; }
    template <typename T>
    const T &pick(const std::vector<T> &v) { return v[static_cast<size_t>(range(0, int64_t(v.size()) - 1))]; }

private:
    std::mt19937 m_gen;
};

// A picture area with a margin on every side, filled with random bytes. A copy keeps the
// geometry and the alignment; two copies run the two kernels and are then compared whole,
// margins included.
class BandedPlane {
public:
    static constexpr int kMargin = 8;

    // The area's first sample lies `align` bytes past a 16-byte boundary.
    BandedPlane(int width, int height, int stride_extra, int align, Rng &rng)
        : stride(width + 2 * kMargin + stride_extra), align(align), m_rows(height + 2 * kMargin)
    {
        allocate();
        for (size_t i = 0; i < used(); ++i)
            m_start[i] = static_cast<uint8_t>(rng.byte());
    }
    BandedPlane(const BandedPlane &other) : stride(other.stride), align(other.align), m_rows(other.m_rows)
    {
        allocate();
        std::memcpy(m_start, other.m_start, used());
    }
    BandedPlane &operator=(const BandedPlane &) = delete;

    // Top-left sample of the area proper.
    uint8_t *origin() const { return m_start + size_t(kMargin) * stride + kMargin; }

    // "row r, column c: ..." of the first byte that differs (relative to the area), or "".
    std::string first_difference(const BandedPlane &other) const
    {
        for (size_t i = 0; i < used(); ++i)
            if (m_start[i] != other.m_start[i])
                return "row " + std::to_string(long(i / stride) - kMargin) + ", column " +
                       std::to_string(long(i % stride) - kMargin) + ": portable " + std::to_string(m_start[i]) +
                       ", ssse3 " + std::to_string(other.m_start[i]);
        return "";
    }

    const int stride;
    const int align;

private:
    size_t used() const { return size_t(stride) * m_rows; }
    void allocate()
    {
        m_bytes.assign(used() + 32, 0);
        const uintptr_t first = reinterpret_cast<uintptr_t>(m_bytes.data()) + size_t(kMargin) * stride + kMargin;
        m_start = m_bytes.data() + (uintptr_t(align) + 16 - first % 16) % 16;
    }

    int m_rows;
    std::vector<uint8_t> m_bytes;
    uint8_t *m_start = nullptr;
};
