// Two-times upsampling kernels, reached through their table slots.
#include "guarded_region.h"
#include "ipred.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Kernel {
    const char *name;
    bool chroma;
    int bit_depth;

    int width() const { return chroma ? 4 : 8; }
    int max() const { return (1 << bit_depth) - 1; }
    upsample_fn fn() const
    {
        return chroma ? intra_pred_multi_chroma_funcs[bit_depth - 8] : intra_pred_multi_funcs[bit_depth - 8];
    }
};

const Kernel kKernels[] = {
    {"luma 8-bit", false, 8},   {"luma 9-bit", false, 9},   {"luma 10-bit", false, 10},
    {"chroma 8-bit", true, 8},  {"chroma 9-bit", true, 9},  {"chroma 10-bit", true, 10},
};

// Source sample at row r, column j of the area (rows -1..n+1, columns -1..W+1).
using SourceFn = std::function<int(int r, int j)>;

// The read window, rows -1..n+1 by columns -1..W+1, packed with no gap
// between rows and placed against a guard page on one side.
class GuardedSource {
public:
    GuardedSource(const Kernel &k, int n, const SourceFn &sample, bool at_head)
        : m_cols(k.width() + 3), m_region(size_t(n + 3) * (k.width() + 3) * 2)
    {
        const int bps = sample_bytes(k.bit_depth);
        const size_t bytes = size_t(n + 3) * m_cols * bps;
        uint8_t *window = at_head ? m_region.begin() : m_region.tail(bytes);
        for (int r = -1; r <= n + 1; ++r)
            for (int j = -1; j <= k.width() + 1; ++j)
                put_sample(window, k.bit_depth, size_t(r + 1) * m_cols + (j + 1), sample(r, j));
        m_origin = window + (size_t(m_cols) + 1) * bps;
        m_stride = uint32_t(m_cols * bps);
    }
    const uint8_t *origin() const { return m_origin; }
    uint32_t stride() const { return m_stride; }

private:
    int m_cols;
    GuardedBytes m_region;
    const uint8_t *m_origin = nullptr;
    uint32_t m_stride = 0;
};

// Output area with canary samples around it.
class Output {
public:
    static constexpr int kMargin = 2;

    Output(const Kernel &k, int rows) : m_bd(k.bit_depth), m_cols(2 * k.width()), m_rows(rows)
    {
        m_width = m_cols + 2 * kMargin + 3;
        m_bytes.assign(size_t(m_width) * (m_rows + 2 * kMargin) * sample_bytes(m_bd), 0xA5);
        m_canary = get_sample(m_bytes.data(), m_bd, 0);
    }
    uint8_t *area() { return m_bytes.data() + (size_t(kMargin) * m_width + kMargin) * sample_bytes(m_bd); }
    uint32_t stride() const { return uint32_t(m_width * sample_bytes(m_bd)); }
    int at(int x, int y) const { return get_sample(m_bytes.data(), m_bd, size_t(y + kMargin) * m_width + x + kMargin); }
    bool untouched_outside(int rows_written) const
    {
        for (int y = -kMargin; y < m_rows + kMargin; ++y)
            for (int x = -kMargin; x < m_width - kMargin; ++x) {
                const bool inside = x >= 0 && x < m_cols && y >= 0 && y < rows_written;
                if (!inside && at(x, y) != m_canary)
                    return false;
            }
        return true;
    }

private:
    int m_bd;
    int m_cols;
    int m_rows;
    int m_width;
    int m_canary;
    std::vector<uint8_t> m_bytes;
};

Output upsample(const Kernel &k, int n, const SourceFn &sample, bool at_head)
{
    GuardedSource src(k, n, sample, at_head);
    Output out(k, 2 * n);
    k.fn()(out.area(), src.origin(), out.stride(), src.stride(), n);
    EXPECT_TRUE(out.untouched_outside(2 * n)) << k.name << " n " << n;
    return out;
}

// Every output row must equal `row`, repeated for the whole output width.
void expect_rows(const Kernel &k, const Output &out, const std::vector<std::vector<int>> &rows, const char *what)
{
    for (size_t y = 0; y < rows.size(); ++y)
        for (int x = 0; x < 2 * k.width(); ++x) {
            const std::vector<int> &row = rows[y];
            const int want = row.size() == 1 ? row[0] : row[size_t(x)];
            ASSERT_EQ(out.at(x, int(y)), want) << k.name << " " << what << " at (" << x << ", " << y << ")";
        }
}

class Upsample : public ::testing::Test {
protected:
    void SetUp() override { intra_pred_init(0); }
};

TEST_F(Upsample, FlatSourceStaysFlatForEveryRowCount)
{
    for (const Kernel &k : kKernels)
        for (int v : {0, 77, k.max()})
            for (int n = 1; n <= 8; ++n)
                for (bool at_head : {false, true}) {
                    const Output out = upsample(k, n, [v](int, int) { return v; }, at_head);
                    expect_rows(k, out, std::vector<std::vector<int>>(size_t(2 * n), {v}), "flat");
                }
}

TEST_F(Upsample, HalfSampleRowsClipAtBothEnds)
{
    for (const Kernel &k : kKernels) {
        const int m = k.max();
        // 0, max, max, 0 sums to 18 max: clipped to max. max, 0, 0, max sums below 0: clipped to 0.
        const Output high = upsample(k, 1, [m](int r, int) { return r == 0 || r == 1 ? m : 0; }, false);
        expect_rows(k, high, {{m}, {m}}, "0 max max 0");
        const Output low = upsample(k, 1, [m](int r, int) { return r == 0 || r == 1 ? 0 : m; }, true);
        expect_rows(k, low, {{0}, {0}}, "max 0 0 max");
    }
}

TEST_F(Upsample, NineBitKernelsClipAt511)
{
    // Column 0, 511, 511, 0: (9 * 1022 + 8) >> 4 = 575, which only the 9-bit kernels clip.
    for (const Kernel &k : kKernels) {
        if (k.bit_depth == 8)
            continue;
        const Output out = upsample(k, 1, [](int r, int) { return r == 0 || r == 1 ? 511 : 0; }, false);
        expect_rows(k, out, {{511}, {k.bit_depth == 9 ? 511 : 575}}, "0 511 511 0");
    }
}

TEST_F(Upsample, EvenRowsCopyAndOddRowsInterpolateDownwards)
{
    // Source rows -1..3 are 0, max, max, 0, 0 in every column (n = 2):
    // rows 255, h(0, 255, 255, 0) = 255, 255, h(255, 255, 0, 0) = (2295 - 255 + 8) >> 4 = 128.
    for (const Kernel &k : kKernels) {
        if (k.bit_depth != 8)
            continue;
        const Output out = upsample(k, 2, [](int r, int) { return r == 0 || r == 1 ? 255 : 0; }, false);
        expect_rows(k, out, {{255}, {255}, {255}, {128}}, "rows 0 255 255 0 0");
    }
}

TEST_F(Upsample, ClippedHalfSampleRowFeedsTheHorizontalFilter)
{
    // Column -1 runs 0, 255, 255, 0 down rows -1..2, so its half-sample value is
    // 287 clipped to 255; columns 0 and 1 hold 100, the rest 0. Output column 1 of
    // row 1 is h(255, 100, 100, 0) = 1553 >> 4 = 97 (the unclipped 287 would give 95);
    // column 3 is h(100, 100, 0, 0) = 50 and column 5 h(100, 0, 0, 0) < 0, clipped to 0.
    auto sample = [](int r, int j) {
        if (j == -1)
            return r == 0 || r == 1 ? 255 : 0;
        return j <= 1 ? 100 : 0;
    };
    for (const Kernel &k : kKernels) {
        if (k.bit_depth != 8)
            continue;
        std::vector<int> row(size_t(2 * k.width()), 0);
        row[0] = 100;
        row[1] = 97;
        row[2] = 100;
        row[3] = 50;
        const Output out = upsample(k, 1, sample, true);
        expect_rows(k, out, {row, row}, "clipped half-sample column");
    }
}

TEST_F(Upsample, RowCountAboveEightIsRefusedWithTheAssertionLine)
{
    GuardedBytes unreadable(16);
    const uint8_t *src = unreadable.tail(0);
    for (const Kernel &k : kKernels)
        for (int n : {9, 0, -3}) {
            Output out(k, 16);
            ::testing::internal::CaptureStdout();
            k.fn()(out.area(), src, out.stride(), 64, n);
            const std::string printed = ::testing::internal::GetCapturedStdout();
            EXPECT_TRUE(out.untouched_outside(0)) << k.name << " n " << n;
            if (n > 8)
                EXPECT_TRUE(std::regex_match(printed, std::regex("n <= 8 failed at .+:[0-9]+\\.\n")))
                    << k.name << ": " << printed;
            else
                EXPECT_EQ(printed, "") << k.name << " n " << n;
        }
}

} // namespace
