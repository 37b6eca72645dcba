#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "frame.h"
#include "mem.h"

namespace {

bool aligned32(const void *p) { return reinterpret_cast<uintptr_t>(p) % 32 == 0; }

TEST(AlignedMemory, BlocksAreAlignedAndZeroSizesRefused)
{
    EXPECT_EQ(mem_malloc(0), nullptr);
    EXPECT_EQ(mem_alloc(0), nullptr);
    EXPECT_EQ(mem_malloc(SVAC_MEM_MAX + 1), nullptr);
    EXPECT_EQ(mem_calloc(0x7FFFFFFF, 2), nullptr);
    for (size_t size : {size_t(1), size_t(31), size_t(32), size_t(33), size_t(1000), size_t(4096),
                        (size_t(2) << 20) - 32, size_t(2) << 20, (size_t(3) << 20) + 1}) {
        auto *p = static_cast<unsigned char *>(mem_alloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(aligned32(p));
        for (size_t i = 0; i < size; ++i)
            ASSERT_EQ(p[i], 0);
        mem_freep(&p);
        EXPECT_EQ(p, nullptr);
    }
    mem_free(nullptr);
}

TEST(AlignedMemory, ReallocGrowsWithHeadroomOnly)
{
    int32_t cap = 0;
    void *p = mem_realloc(nullptr, &cap, 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(cap, 138);
    std::memset(p, 0x5A, 138);
    EXPECT_EQ(mem_realloc(p, &cap, 137), p) << "below the capacity nothing changes";
    EXPECT_EQ(cap, 138);
    p = mem_realloc(p, &cap, 138);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(cap, 178);
    EXPECT_TRUE(aligned32(p));
    for (int i = 0; i < 138; ++i)
        ASSERT_EQ(static_cast<unsigned char *>(p)[i], 0x5A) << "contents travel";
    p = mem_realloc(p, &cap, 100000);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(aligned32(p));
    EXPECT_EQ(static_cast<unsigned char *>(p)[137], 0x5A);
    // Past the large-block size and back: the contents travel both ways.
    static_cast<unsigned char *>(p)[99999] = 0xA5;
    p = mem_realloc(p, &cap, 3 << 20);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(aligned32(p));
    EXPECT_EQ(static_cast<unsigned char *>(p)[137], 0x5A);
    EXPECT_EQ(static_cast<unsigned char *>(p)[99999], 0xA5);
    static_cast<unsigned char *>(p)[(3 << 20) - 1] = 0x3C;
    p = mem_resize(p, 200000);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(aligned32(p));
    EXPECT_EQ(static_cast<unsigned char *>(p)[99999], 0xA5);
    cap = 200000;

    void *kept = p;
    mem_fail_countdown = 0;
    EXPECT_EQ(mem_realloc(p, &cap, 200000), nullptr);
    EXPECT_EQ(cap, 0) << "a failed growth reports no capacity and leaves the old block";
    mem_free(kept);
}

struct LayoutCase {
    int32_t width, height, format;
    int32_t stride0, rows0, stride1, rows1;
    int64_t plane1_from_plane0;  // bytes between the two picture origins
};

// Strides, rows and origins of the pool's planes.
const LayoutCase layout_cases[] = {
    {1920, 1088, FRAME_FMT_420, 1952, 1120, 992, 560, 1120LL * 1952 + 32 - (16 * 1952 + 32) + 8 * 992 + 32},
    {352, 288, FRAME_FMT_422_16, 768, 320, 384, 320, 320LL * 768 + 32 - (16 * 768 + 32) + 16 * 384 + 32},
    {352, 288, FRAME_FMT_420_16, 768, 320, 384, 160, 320LL * 768 + 32 - (16 * 768 + 32) + 8 * 384 + 32},
    {1280, 720, FRAME_FMT_422, 1312, 768, 672, 768, 768LL * 1312 + 32 - (16 * 1312 + 32) + 16 * 672 + 32},
    {176, 144, FRAME_FMT_400, 224, 192, 0, 0, 0},
    {176, 144, FRAME_FMT_400_16, 416, 192, 0, 0, 0},
};

TEST(FramePool, PlaneGeometryFollowsTheFormatTable)
{
    for (const LayoutCase &c : layout_cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " fmt " << c.format);
        frame_pool pool{};
        frame_buf *b = frame_pool_get(&pool, c.width, c.height, c.format);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->stride[0], c.stride0);
        EXPECT_TRUE(aligned32(b->plane[0]));
        frame_layout layout;
        ASSERT_EQ(frame_layout_compute(c.width, c.height, c.format, &layout), 0);
        EXPECT_EQ(layout.rows[0], c.rows0);
        if (c.stride1) {
            EXPECT_EQ(b->plane_count, 3);
            EXPECT_EQ(b->stride[1], c.stride1);
            EXPECT_EQ(b->stride[2], c.stride1);
            EXPECT_EQ(layout.rows[1], c.rows1);
            EXPECT_EQ(b->plane[1] - b->plane[0], c.plane1_from_plane0);
            EXPECT_EQ(b->plane[2] - b->plane[1], int64_t{c.rows1} * c.stride1 + 32);
            EXPECT_TRUE(aligned32(b->plane[1]));
            EXPECT_TRUE(aligned32(b->plane[2]));
            // The last plane's block, bottom border included, lies inside the allocation.
            b->plane[2][layout.block[2] - layout.origin[2] - 1] = 1;
        } else {
            EXPECT_EQ(b->plane_count, 1);
        }
        b->plane[0][-layout.origin[0]] = 1;
        b->plane[0][layout.block[0] - layout.origin[0] - 1] = 1;
        frame_unref(&b);
        frame_pool_destroy(&pool);
    }
}

TEST(FramePool, RefusesBadRequests)
{
    frame_pool pool{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(frame_pool_get(nullptr, 16, 16, 1), nullptr);
    EXPECT_EQ(frame_pool_get(&pool, 0, 16, 1), nullptr);
    EXPECT_EQ(frame_pool_get(&pool, 16, 16, 4), nullptr);
    mem_fail_countdown = 0;
    EXPECT_EQ(frame_pool_get(&pool, 16, 16, 1), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("invalid parameter: pool (nil) width 16 height 16 fmt 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("width 0 height 16 fmt 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("unsupport frame format: 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("alloc frame buffer error!\n"), std::string::npos) << out;
    frame_pool_destroy(&pool);
}

TEST(FramePool, BuffersAreRecycledOldestFirst)
{
    frame_pool pool{};
    frame_buf *a = frame_pool_get(&pool, 64, 48, FRAME_FMT_420);
    frame_buf *b = frame_pool_get(&pool, 64, 48, FRAME_FMT_420);
    ASSERT_TRUE(a && b);
    frame_buf *const first = a, *const second = b;
    a->plane[0][0] = 77;

    frame_buf *extra = nullptr;
    frame_ref(&extra, a);
    EXPECT_EQ(a->refcount, 2);
    frame_unref(&a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(pool.free_head, nullptr) << "still referenced";
    frame_unref(&extra);
    frame_unref(&b);
    EXPECT_EQ(pool.free_head, first);
    EXPECT_EQ(pool.free_tail, second);
    EXPECT_EQ(first->frame_id, -1);

    frame_buf *reused = frame_pool_get(&pool, 64, 48, FRAME_FMT_420);
    EXPECT_EQ(reused, first);
    EXPECT_EQ(reused->refcount, 1);
    EXPECT_EQ(reused->plane[0][0], 77) << "a reused buffer keeps its samples";

    frame_buf *moved = nullptr;
    frame_move(&moved, &reused);
    EXPECT_EQ(reused, nullptr);
    EXPECT_EQ(moved->refcount, 1);
    frame_unref(&moved);
    frame_unref(&moved);   // a cleared pointer is harmless
    frame_pool_destroy(&pool);
    EXPECT_EQ(pool.free_head, nullptr);
    EXPECT_EQ(pool.width, 0);
}

TEST(FramePool, NewGeometryFreesOldBuffers)
{
    frame_pool pool{};
    frame_buf *kept = frame_pool_get(&pool, 64, 48, FRAME_FMT_420);
    frame_buf *spare = frame_pool_get(&pool, 64, 48, FRAME_FMT_420);
    frame_unref(&spare);
    ASSERT_NE(pool.free_head, nullptr);

    frame_buf *big = frame_pool_get(&pool, 128, 96, FRAME_FMT_420_16);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(pool.free_head, nullptr) << "the old free list is gone";
    frame_unref(&kept);
    EXPECT_EQ(pool.free_head, nullptr) << "an old-size buffer is freed, not pooled";
    frame_unref(&big);
    EXPECT_NE(pool.free_head, nullptr);
    frame_pool_destroy(&pool);
}

} // namespace
