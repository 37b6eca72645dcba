// Reference window padding through pad_ref_block_funcs, and the scratch area it writes into.
#include "guard_page.h"
#include "mc.h"
#include "mem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int PLANE_W = 40;
constexpr int PLANE_H = 30;

pad_ref_fn pad_slot(int depth)
{
    return pad_ref_block_funcs[depth > 8 ? PAD_REF_16BIT : PAD_REF_8BIT];
}

// The address plane sample (x, y) would have; it may lie outside the plane's memory.
const uint8_t *address_of(const GuardedRect &plane, int x, int y, ptrdiff_t stride, int bytes)
{
    return reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(plane.origin()) + y * stride + x * bytes);
}

struct PadCase {
    const char *what;
    int block_w, block_h;
    int x, y;
};

void PrintTo(const PadCase &c, std::ostream *os)
{
    *os << c.what;
}

const PadCase pad_cases[] = {
    {"inside", 21, 21, 1, 0},
    {"across the left edge", 21, 21, -5, 0},
    {"across the right edge", 21, 21, PLANE_W - 10, -1},
    {"across the top edge", 9, 9, 3, -4},
    {"across the bottom edge", 9, 17, 2, PLANE_H - 6},
    {"across the top-left corner", 21, 21, -2, -2},
    {"across the top-right corner", 9, 9, PLANE_W - 3, -7},
    {"across the bottom-left corner", 9, 17, -8, PLANE_H - 1},
    {"across the bottom-right corner", 21, 21, PLANE_W - 19, PLANE_H - 3},
    {"one column overlapping on the left", 21, 21, -20, 0},
    {"just beyond the left edge", 21, 21, -21, 0},
    {"far beyond the left edge", 9, 9, -1000, 5},
    {"just beyond the right edge", 9, 9, PLANE_W, 5},
    {"far beyond the right edge", 21, 21, PLANE_W + 500, 0},
    {"just above", 21, 21, 0, -21},
    {"far above", 9, 17, 4, -3000},
    {"just below", 9, 9, 4, PLANE_H},
    {"far below", 21, 21, -3, PLANE_H + 77},
    {"far beyond the top-left corner", 21, 21, -400, -400},
    {"far beyond the top-right corner", 9, 9, PLANE_W + 9, -60},
    {"far beyond the bottom-left corner", 9, 17, -90, PLANE_H + 40},
    {"far beyond the bottom-right corner", 21, 21, PLANE_W + 100, PLANE_H + 100},
};

class PadRefBlock : public testing::TestWithParam<std::tuple<int, PadCase>> {
protected:
    void SetUp() override { mc_init(0); }
};

// Block sample (j, i) is plane sample (clamp(x + j), clamp(y + i)). The plane touches a guard
// page on one side or the other, so no sample outside it is read; the block is written with a
// wider stride and nothing between its rows changes.
TEST_P(PadRefBlock, RepeatsNearestBorderSample)
{
    const auto [depth, c] = GetParam();
    const int bytes = depth > 8 ? 2 : 1;
    const int max = (1 << depth) - 1;
    std::mt19937 rng(7);
    for (auto where : {GuardedRect::AT_END, GuardedRect::AT_START}) {
        const ptrdiff_t src_stride = PLANE_W * bytes;
        GuardedRect plane(PLANE_W, PLANE_H, src_stride, depth, where);
        plane.randomise(rng, max);
        const ptrdiff_t dst_stride = (c.block_w + 3) * bytes;
        GuardedRect block(c.block_w, c.block_h, dst_stride, depth);

        testing::internal::CaptureStdout();
        pad_slot(depth)(block.origin(), address_of(plane, c.x, c.y, src_stride, bytes), int32_t(dst_stride),
                        int32_t(src_stride), c.block_w, c.block_h, c.x, c.y, PLANE_W, PLANE_H);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

        for (int i = 0; i < c.block_h; i++)
            for (int j = 0; j < c.block_w; j++) {
                const int px = std::clamp(c.x + j, 0, PLANE_W - 1), py = std::clamp(c.y + i, 0, PLANE_H - 1);
                ASSERT_EQ(block.get(j, i), plane.get(px, py)) << c.what << ": block (" << j << ", " << i << ")";
            }
        ASSERT_TRUE(block.gaps_untouched()) << c.what;
    }
}

std::string pad_case_name(const testing::TestParamInfo<std::tuple<int, PadCase>> &info)
{
    std::string name = std::string(std::get<1>(info.param).what) + "_" + std::to_string(std::get<0>(info.param)) + "bit";
    std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(EdgesAndCorners, PadRefBlock,
                         testing::Combine(testing::Values(8, 10), testing::ValuesIn(pad_cases)), pad_case_name);

// A plane one sample wide fills every block row with the sample of that row.
TEST(PadRefBlockNarrow, OneSampleWidePlane)
{
    mc_init(0);
    for (int depth : {8, 10}) {
        const int bytes = depth > 8 ? 2 : 1;
        GuardedRect plane(1, 6, bytes, depth);
        for (int y = 0; y < 6; y++)
            plane.set(0, y, 100 + y * 30);
        GuardedRect block(21, 21, 21 * bytes, depth);
        pad_slot(depth)(block.origin(), address_of(plane, -2, -3, bytes, bytes), 21 * bytes, bytes, 21, 21, -2, -3, 1,
                        6);
        for (int i = 0; i < 21; i++)
            for (int j = 0; j < 21; j++)
                ASSERT_EQ(block.get(j, i), 100 + std::clamp(i - 3, 0, 5) * 30) << depth << "-bit (" << j << ", " << i << ")";
    }
}

// Empty planes are left alone silently; an empty block prints the failed check (rows first)
// and writes nothing.
TEST(PadRefBlockRefusal, EmptyPlaneOrBlock)
{
    mc_init(0);
    const struct {
        int block_w, block_h, width, height;
        const char *message; // expression text, or nullptr for silence
    } cases[] = {
        {21, 21, 0, PLANE_H, nullptr},
        {21, 21, PLANE_W, 0, nullptr},
        {0, 21, PLANE_W, PLANE_H, "start_x < end_x && block_w"},
        {21, 0, PLANE_W, PLANE_H, "start_y < end_y && block_h"},
        {0, 0, PLANE_W, PLANE_H, "start_y < end_y && block_h"},
    };
    for (int depth : {8, 10}) {
        const int bytes = depth > 8 ? 2 : 1;
        GuardedRect plane(PLANE_W, PLANE_H, PLANE_W * bytes, depth);
        plane.fill(9);
        GuardedRect block(21, 21, 21 * bytes, depth);
        block.fill(200);
        for (const auto &c : cases) {
            testing::internal::CaptureStdout();
            pad_slot(depth)(block.origin(), plane.origin(), 21 * bytes, PLANE_W * bytes, c.block_w, c.block_h, 0, 0,
                            c.width, c.height);
            const std::string out = testing::internal::GetCapturedStdout();
            if (c.message) {
                EXPECT_EQ(out.rfind(std::string(c.message) + " failed at ", 0), 0u) << out;
                EXPECT_NE(out.find("mc.cpp:"), std::string::npos) << out;
                EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
            } else {
                EXPECT_EQ(out, "");
            }
            for (int i = 0; i < 21; i++)
                for (int j = 0; j < 21; j++)
                    ASSERT_EQ(block.get(j, i), 200) << depth << "-bit";
        }
    }
}

// The scratch area follows the largest luma stride seen: a later, larger or deeper picture
// gets room for its 21-row luma window and its chroma windows.
TEST(PadBlockBuffer, GrowsForLargerOrDeeperPictures)
{
    mc_init(0);
    uint8_t *buf = nullptr;
    size_t capacity = 0;
    ASSERT_EQ(pad_block_buf_reserve(&buf, &capacity, 240), 0); // small 8-bit picture first
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(capacity, size_t(96 * 288));

    const struct {
        int32_t stride;
        int bytes;
        int chroma_rows;
    } pictures[] = {
        {1984, 1, 9},      // 1920 wide, 8-bit
        {2 * 1984, 2, 17}, // same size, 10-bit, 4:2:2
        {2 * 4160, 2, 9},  // 4096 wide, 10-bit
    };
    for (const auto &pic : pictures) {
        ASSERT_EQ(pad_block_buf_reserve(&buf, &capacity, pic.stride), 0);
        EXPECT_GE(capacity, pad_block_buf_size(pic.stride));
        EXPECT_GE(capacity, size_t(20 * pic.stride + 21 * pic.bytes));
        EXPECT_GE(capacity, size_t((pic.chroma_rows - 1) * pic.stride + 9 * pic.bytes));
        // Writes the whole luma window; a short buffer shows under the address sanitizer.
        std::vector<uint8_t> plane(size_t(16 * pic.bytes), 1);
        pad_ref_block_funcs[pic.bytes == 2 ? PAD_REF_16BIT : PAD_REF_8BIT](buf, plane.data(), pic.stride, 16 * pic.bytes,
                                                                          21, 21, 0, 0, 16, 1);
    }

    // A smaller picture keeps the buffer.
    uint8_t *kept = buf;
    const size_t kept_capacity = capacity;
    ASSERT_EQ(pad_block_buf_reserve(&buf, &capacity, 240), 0);
    EXPECT_EQ(buf, kept);
    EXPECT_EQ(capacity, kept_capacity);

    // A failed allocation reports -1 and keeps the old buffer.
    mem_fail_countdown = 0;
    EXPECT_EQ(pad_block_buf_reserve(&buf, &capacity, 4 * 4160), -1);
    mem_fail_countdown = -1;
    EXPECT_EQ(buf, kept);
    EXPECT_EQ(capacity, kept_capacity);

    mem_free(buf);
}

} // namespace
