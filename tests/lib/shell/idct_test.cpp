#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "idct.h"

namespace {

struct Kernel {
    const char *name;
    idct_fn fn;
    int n;
    int bytes;      // per sample
    int max;
};

const Kernel kernels[] = {
    {"4x4_8bit", idct4x4_add, 4, 1, 255},
    {"4x4_9bit", idct4x4_add_9bit, 4, 2, 511},
    {"4x4_10bit", idct4x4_add_10bit, 4, 2, 1023},
    {"8x8_8bit", idct8x8_add, 8, 1, 255},
    {"8x8_9bit", idct8x8_add_9bit, 8, 2, 511},
    {"8x8_10bit", idct8x8_add_10bit, 8, 2, 1023},
};

// A block of samples inside a guard band; the stride leaves a gap after each row.
struct Picture {
    static constexpr int guard = 16;
    Picture(const Kernel &k, int fill) : k(k), stride((k.n + 5) * k.bytes)
    {
        bytes.assign(guard + stride * k.n + guard, 0xA5);
        for (int y = 0; y < k.n; ++y)
            for (int x = 0; x < k.n; ++x)
                set(x, y, fill);
    }
    uint8_t *origin() { return bytes.data() + guard; }
    int get(int x, int y) const
    {
        const uint8_t *p = bytes.data() + guard + y * stride + x * k.bytes;
        if (k.bytes == 1)
            return *p;
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    void set(int x, int y, int v)
    {
        uint8_t *p = bytes.data() + guard + y * stride + x * k.bytes;
        if (k.bytes == 1)
            *p = static_cast<uint8_t>(v);
        else {
            const uint16_t s = static_cast<uint16_t>(v);
            std::memcpy(p, &s, 2);
        }
    }
    // Bytes outside the block's samples are untouched.
    void expect_guard_intact() const
    {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const long off = static_cast<long>(i) - guard;
            const bool inside = off >= 0 && off / stride < k.n && off % stride < k.n * k.bytes;
            if (!inside) {
                ASSERT_EQ(bytes[i], 0xA5) << "byte " << off << " written";
            }
        }
    }
    const Kernel &k;
    int stride;
    std::vector<uint8_t> bytes;
};

// Reference: the transforms as products with the basis matrices, in exact arithmetic, wrapped
// to 32 bits where the kernels hold 32-bit values (after each pass and after the rounding).
const int basis4[4][4] = {{4, 4, 4, 4}, {5, 2, -2, -5}, {4, -4, -4, 4}, {2, -5, 5, -2}};
const int basis8[8][8] = {
    {8, 8, 8, 8, 8, 8, 8, 8}, {12, 10, 6, 3, -3, -6, -10, -12},
    {10, 4, -4, -10, -10, -4, 4, 10}, {10, -3, -12, -6, 6, 12, 3, -10},
    {8, -8, -8, 8, 8, -8, -8, 8}, {6, -12, 3, 10, -10, -3, 12, -6},
    {4, -10, 10, -4, -4, 10, -10, 4}, {3, -6, 10, -12, 12, -10, 6, -3}};

int32_t wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

std::vector<int32_t> reference_residual(const int32_t *coef, int n)
{
    auto b = [n](int f, int x) { return n == 4 ? basis4[f][x] : basis8[f][x]; };
    std::vector<int32_t> t(n * n), r(n * n);
    for (int v = 0; v < n; ++v)
        for (int x = 0; x < n; ++x) {
            int64_t sum = 0;
            for (int u = 0; u < n; ++u)
                sum += int64_t{b(u, x)} * coef[n * u + v];
            t[n * x + v] = n == 8 ? wrap(sum) >> 3 : wrap(sum);
        }
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            int64_t sum = 0;
            for (int v = 0; v < n; ++v)
                sum += int64_t{b(v, y)} * t[n * x + v];
            r[n * y + x] = n == 8 ? wrap(int64_t{wrap(sum)} + 1024) >> 11 : wrap(int64_t{wrap(sum)} + 512) >> 10;
        }
    return r;
}

class InverseTransform : public testing::TestWithParam<Kernel> {};

TEST_P(InverseTransform, DcThresholdsAndClipping)
{
    const Kernel &k = GetParam();
    // Every sample changes by the rounded DC residual, then clips to the kernel's range.
    struct Case { int n; int32_t dc; int before; int delta; };
    const Case cases[] = {
        {4, 0, 100, 0}, {4, 31, 100, 0}, {4, 32, 100, 1}, {4, -32, 100, 0}, {4, -33, 100, -1},
        {4, 608, 250, 10}, {4, -640, 3, -10}, {4, -1000000, 10, -15625},
        {8, 0, 100, 0}, {8, 127, 100, 0}, {8, 128, 100, 1}, {8, -128, 100, 0}, {8, -129, 100, -1},
        {8, 2560, 250, 10}, {8, -1000000, 10, -3906},
    };
    for (const Case &c : cases) {
        if (c.n != k.n)
            continue;
        SCOPED_TRACE(testing::Message() << "dc " << c.dc << " on " << c.before);
        Picture pic(k, c.before);
        alignas(16) int32_t coef[64] = {};
        coef[0] = c.dc;
        k.fn(pic.origin(), coef, pic.stride);
        const int after = std::min(k.max, std::max(0, c.before + c.delta));
        for (int y = 0; y < k.n; ++y)
            for (int x = 0; x < k.n; ++x)
                ASSERT_EQ(pic.get(x, y), after) << x << "," << y;
        pic.expect_guard_intact();
    }
}

TEST_P(InverseTransform, LargeResidualClipsToTheTopOfTheRange)
{
    const Kernel &k = GetParam();
    const int before = k.max == 1023 ? 1000 : k.max == 511 ? 500 : 250;
    Picture pic(k, before);
    alignas(16) int32_t coef[64] = {};
    coef[0] = 1 << 20;
    k.fn(pic.origin(), coef, pic.stride);
    for (int y = 0; y < k.n; ++y)
        for (int x = 0; x < k.n; ++x)
            ASSERT_EQ(pic.get(x, y), k.max);
}

TEST_P(InverseTransform, MatchesTheBasisProductOverTheWholeInputRange)
{
    const Kernel &k = GetParam();
    std::mt19937 rng(7 + k.n * 10 + k.max);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        alignas(16) int32_t coef[64] = {};
        // Realistic magnitudes first, then any 32-bit value (the sums wrap).
        const int range = iteration < 1500 ? (1 << (iteration % 23)) : 0;
        for (int i = 0; i < k.n * k.n; ++i) {
            if (rng() % 3 == 0)
                continue;
            const int32_t any = static_cast<int32_t>(rng());
            coef[i] = range ? any % range : any;
        }
        Picture pic(k, 0);
        for (int y = 0; y < k.n; ++y)
            for (int x = 0; x < k.n; ++x)
                pic.set(x, y, static_cast<int>(rng() % (k.max + 1)));
        Picture before = pic;
        const std::vector<int32_t> residual = reference_residual(coef, k.n);
        k.fn(pic.origin(), coef, pic.stride);
        for (int y = 0; y < k.n; ++y)
            for (int x = 0; x < k.n; ++x) {
                const int64_t want = std::min<int64_t>(k.max, std::max<int64_t>(0, before.get(x, y) + int64_t{residual[k.n * y + x]}));
                ASSERT_EQ(pic.get(x, y), want) << "iteration " << iteration << " at " << x << "," << y;
            }
        pic.expect_guard_intact();
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, InverseTransform, testing::ValuesIn(kernels),
                         [](const testing::TestParamInfo<Kernel> &info) { return info.param.name; });

TEST(InverseTransform8x8, FirstPassTruncatesTowardMinusInfinity)
{
    alignas(16) int32_t coef[64] = {};
    coef[8] = 100;
    uint8_t samples[8 * 8] = {};
    idct8x8_add(samples, coef, 8);
    const int32_t first_pass[8] = {150, 125, 75, 37, -38, -75, -125, -150};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(coef[8 * x], first_pass[x]) << "column " << x;

    std::memset(coef, 0, sizeof coef);
    coef[8] = 1;
    idct8x8_add(samples, coef, 8);
    const int32_t unit[8] = {1, 1, 0, 0, -1, -1, -2, -2};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(coef[8 * x], unit[x]) << "column " << x;
}

} // namespace
