// Vector prediction on a hand-filled motion cache: availability cases, preferred neighbours,
// the D substitute, distance scaling and the median's tie order; derived B vectors.
#include <gtest/gtest.h>

#include <memory>

#include "decoder_ctx.h"
#include "mb_inter.h"
#include "mv_pred.h"

namespace {

struct Entry {
    int16_t x, y, ref;
};
constexpr Entry kNone{0, 0, -1};

struct Ctx {
    std::unique_ptr<decoder_ctx> ctx{new decoder_ctx()};
    Ctx(int32_t d0, int32_t d1)
    {
        ctx->ref_distance[0] = d0;
        ctx->ref_distance[1] = d1;
        ctx->ref_distance_scale[0] = d0 ? 512 / d0 : 0;
        ctx->ref_distance_scale[1] = d1 ? 512 / d1 : 0;
        for (int p = 0; p < MV_CACHE_ENTRIES; ++p)
            set(p, kNone);
    }
    void set(int pos, Entry e)
    {
        int16_t *m = ctx->mb.mv_cache[pos];
        m[MV_X] = e.x, m[MV_Y] = e.y, m[MV_DISTANCE] = 1, m[MV_REF_IDX] = e.ref, m[MV_MVD_X] = m[MV_MVD_Y] = 0;
    }
};

struct PredCase {
    const char *name;
    int pos, c_pos, rule, ref;
    std::vector<std::pair<int, Entry>> cache;
    int32_t want_x, want_y;
};

TEST(MotionPrediction, NeighbourChoice)
{
    const PredCase cases[] = {
        {"nothing available gives zero", 5, 3, MV_MEDIAN, 0, {}, 0, 0},
        {"only B: unscaled", 5, 3, MV_MEDIAN, 0, {{1, {40, -8, 1}}}, 40, -8},
        {"only C: unscaled", 5, 3, MV_MEDIAN, 0, {{3, {-12, 6, 1}}}, -12, 6},
        {"only A: unscaled", 5, 3, MV_MEDIAN, 0, {{4, {7, 9, 0}}}, 7, 9},
        // Distances 10, 90, 100: the median 90 lies between b and c and names a.
        {"A, B, C: median", 5, 3, MV_MEDIAN, 0, {{4, {0, 0, 0}}, {1, {10, 0, 0}}, {3, {100, 0, 0}}}, 0, 0},
        {"prefer A with its reference", 5, 2, MV_PREFER_A, 0,
         {{4, {100, 0, 0}}, {1, {10, 0, 0}}, {2, {12, 0, 0}}}, 100, 0},
        {"prefer A, other reference: median", 5, 2, MV_PREFER_A, 0,
         {{4, {100, 0, 1}}, {1, {10, 0, 0}}, {2, {12, 0, 0}}}, 10, 0},
        {"prefer B", 5, 3, MV_PREFER_B, 0, {{4, {0, 0, 0}}, {1, {-50, 3, 0}}, {3, {20, 0, 0}}}, -50, 3},
        {"prefer C", 6, 3, MV_PREFER_C, 0, {{5, {0, 0, 0}}, {2, {4, 0, 0}}, {3, {-60, 0, 0}}}, -60, 0},
        // C missing (-1): D takes its place; an intra C (-2) stays and counts as no motion.
        {"missing C replaced by D", 5, 3, MV_MEDIAN, 0, {{4, {0, 0, 0}}, {1, {8, 0, 0}}, {0, {9, 0, 0}}}, 9, 0},
        {"intra C is kept", 5, 3, MV_MEDIAN, 0,
         {{4, {4, 0, 0}}, {1, {8, 0, 0}}, {3, {0, 0, -2}}, {0, {40, 0, 0}}}, 0, 0},
        {"lower right block uses D", 10, 7, MV_MEDIAN, 0,
         {{9, {0, 0, 0}}, {6, {8, 0, 0}}, {5, {9, 0, 0}}, {7, {100, 0, 0}}}, 9, 0},
        // Equal distances AB and BC: c wins.
        {"tie gives c", 5, 3, MV_MEDIAN, 0, {{4, {0, 0, 0}}, {1, {10, 0, 0}}, {3, {20, 0, 0}}}, 20, 0},
        // Neighbour with reference 1 (distance 4) scaled to reference 0 (distance 2).
        {"scaled to the reference", 5, 3, MV_MEDIAN, 0,
         {{4, {-3, 40, 1}}, {1, {-3, 40, 1}}, {3, {100, 100, 0}}}, -2, 20},
    };
    for (const PredCase &c : cases) {
        Ctx t(2, 4);
        for (const auto &e : c.cache)
            t.set(e.first, e.second);
        int32_t x = 99, y = 99;
        predict_motion(t.ctx.get(), c.pos, c.c_pos, c.rule, c.ref, &x, &y);
        EXPECT_EQ(x, c.want_x) << c.name;
        EXPECT_EQ(y, c.want_y) << c.name;
    }
}

TEST(MotionPrediction, ScalingRoundsNegativeComponentsDown)
{
    EXPECT_EQ(scale_mv(-3, 2, 256), -3);
    EXPECT_EQ(scale_mv(3, 2, 256), 3);
    EXPECT_EQ(scale_mv(-1, 2, 256), -1);   // (-512 + 255) >> 9
    EXPECT_EQ(scale_mv(1, 2, 256), 1);     // (512 + 256) >> 9
    EXPECT_EQ(scale_mv(0, 511, 512), 0);
}

TEST(MotionStorage, DerivedBackwardAndDirectVectors)
{
    Ctx t(2, 2);
    t.ctx->sym_scale = 512;
    t.set(5, {4, -4, 1});
    store_motion_sym(t.ctx.get(), 17, 15, MV_MEDIAN, MV_FILL_16X16, 0);
    for (int p : {17, 18, 21, 22}) {
        EXPECT_EQ(t.ctx->mb.mv_cache[p][MV_X], -4);
        EXPECT_EQ(t.ctx->mb.mv_cache[p][MV_Y], 4);
        EXPECT_EQ(t.ctx->mb.mv_cache[p][MV_REF_IDX], 0);
    }
    // Temporal direct: co-located (8, -4) at distance 4 (scale 4096), both distances 2.
    t.ctx->direct_scale[0] = 4096;
    const int16_t col[MV_FIELDS] = {8, -4, 4, 0, 0, 0};
    b_direct_mv(t.ctx.get(), 9, col);
    EXPECT_EQ(t.ctx->mb.mv_cache[9][MV_X], 4);
    EXPECT_EQ(t.ctx->mb.mv_cache[9][MV_Y], -2);
    EXPECT_EQ(t.ctx->mb.mv_cache[9][MV_REF_IDX], 1);
    EXPECT_EQ(t.ctx->mb.mv_cache[21][MV_X], -4);
    EXPECT_EQ(t.ctx->mb.mv_cache[21][MV_Y], 2);
    EXPECT_EQ(t.ctx->mb.mv_cache[21][MV_REF_IDX], 0);
}

} // namespace
