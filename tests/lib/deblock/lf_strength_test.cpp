// Loop-filter decisions: boundary strengths from a macroblock's record, and the thresholds
// and clip values of an edge.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

using Strengths = std::array<int, 10>;   // left, inner_v, top, inner_h, inner4 pairs

// An inter (P_16X16) macroblock with inter neighbours on both sides, every vector zero and
// every reference index 0.
lf_record inter_record()
{
    lf_record r{};
    r.avail = MB_LEFT | MB_TOP;
    r.kind = r.kind_left = r.kind_top = 2;
    return r;
}

Strengths strengths_of(const lf_record &r)
{
    lf_strengths bs;
    lf_boundary_strengths(&r, &bs);
    return {bs.left[0],    bs.left[1],    bs.inner_v[0], bs.inner_v[1], bs.top[0],
            bs.top[1],     bs.inner_h[0], bs.inner_h[1], bs.inner4[0],  bs.inner4[1]};
}

struct StrengthCase {
    const char *name;
    std::function<void(lf_record &)> set;
    Strengths want;
};

// The record holds the fields the strengths read (vector, distance, reference).
void move_entry(lf_record &r, int list, int entry, int field, int16_t v)
{
    ASSERT_LT(field, LF_MOTION_FIELDS);
    r.motion[list][lf_motion_slot(entry)][field] = v;
}

// Sets `field` of every list-0 entry to `all`, then that of `entry` to `one`.
std::function<void(lf_record &)> spread_then_move(int field, int16_t all, int entry, int16_t one)
{
    return [=](lf_record &r) {
        for (auto &e : r.motion[0])
            e[field] = all;
        move_entry(r, 0, entry, field, one);
    };
}

const StrengthCase kStrengthCases[] = {
    {"intra 4x4 without neighbours", [](lf_record &r) { r.kind = 0; r.avail = 0; r.kind_left = r.kind_top = 0; },
     {0, 0, 2, 2, 0, 0, 2, 2, 2, 2}},
    {"intra 8x8 with neighbours", [](lf_record &r) { r.kind = 1; }, {3, 3, 2, 2, 3, 3, 2, 2, 0, 0}},
    {"intra left neighbour", [](lf_record &r) { r.kind_left = 1; }, {3, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"intra top neighbour", [](lf_record &r) { r.kind_top = 0; }, {0, 0, 0, 0, 3, 3, 0, 0, 0, 0}},
    {"intra neighbours not available",
     [](lf_record &r) {
         r.kind_left = r.kind_top = 0;
         r.avail = MB_TOP_LEFT | MB_TOP_RIGHT;
     },
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"equal motion, nothing coded", [](lf_record &) {}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"chroma bits only", [](lf_record &r) { r.cbp = r.cbp_left = r.cbp_top = 0xF0; }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"left neighbour's upper right block", [](lf_record &r) { r.cbp_left = 2; }, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"left neighbour's lower right block", [](lf_record &r) { r.cbp_left = 8; }, {0, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"left neighbour's far blocks", [](lf_record &r) { r.cbp_left = 5; }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"upper neighbour's lower left block", [](lf_record &r) { r.cbp_top = 4; }, {0, 0, 0, 0, 2, 0, 0, 0, 0, 0}},
    {"upper neighbour's lower right block", [](lf_record &r) { r.cbp_top = 8; }, {0, 0, 0, 0, 0, 2, 0, 0, 0, 0}},
    {"upper neighbour's far blocks", [](lf_record &r) { r.cbp_top = 3; }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"own upper left block", [](lf_record &r) { r.cbp = 1; }, {2, 0, 2, 0, 2, 0, 2, 0, 0, 0}},
    {"own upper right block", [](lf_record &r) { r.cbp = 2; }, {0, 0, 2, 0, 0, 2, 0, 2, 0, 0}},
    {"own lower left block", [](lf_record &r) { r.cbp = 4; }, {0, 2, 0, 2, 0, 0, 2, 0, 0, 0}},
    {"own lower right block", [](lf_record &r) { r.cbp = 8; }, {0, 0, 0, 2, 0, 0, 0, 2, 0, 0}},
    {"vector apart by 4 in x", [](lf_record &r) { move_entry(r, 0, 5, MV_X, 4); }, {1, 0, 1, 0, 1, 0, 1, 0, 0, 0}},
    {"vector apart by 3 in x", [](lf_record &r) { move_entry(r, 0, 5, MV_X, -3); }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"vector apart by 4 in y", [](lf_record &r) { move_entry(r, 0, 10, MV_Y, -4); }, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0}},
    {"vector apart by 3 in y", [](lf_record &r) { move_entry(r, 0, 10, MV_Y, 3); }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"left neighbour's lower vector", [](lf_record &r) { move_entry(r, 0, 8, MV_Y, 7); }, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"upper neighbour's right vector", [](lf_record &r) { move_entry(r, 0, 2, MV_X, 9); }, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
    {"other reference", [](lf_record &r) { move_entry(r, 0, 9, MV_REF_IDX, 1); }, {0, 1, 0, 1, 0, 0, 1, 0, 0, 0}},
    // Differences beyond 16 bits must not wrap to small ones.
    {"vectors at opposite extremes", spread_then_move(MV_X, INT16_MIN, 5, INT16_MAX), {1, 0, 1, 0, 1, 0, 1, 0, 0, 0}},
    {"vectors apart by 3 at the extreme", spread_then_move(MV_Y, INT16_MAX, 10, INT16_MAX - 3),
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"references at opposite extremes", spread_then_move(MV_REF_IDX, INT16_MIN, 9, INT16_MAX),
     {0, 1, 0, 1, 0, 0, 1, 0, 0, 0}},
    {"distance field ignored",
     [](lf_record &r) {
         move_entry(r, 0, 5, MV_DISTANCE, 3);
         move_entry(r, 0, 10, MV_DISTANCE, 40);
     },
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"coded block wins over motion",
     [](lf_record &r) {
         r.cbp = 1;
         move_entry(r, 0, 5, MV_X, 8);
     },
     {2, 0, 2, 0, 2, 0, 2, 0, 0, 0}},
    {"list 1 ignored in P", [](lf_record &r) { move_entry(r, 1, 5, MV_X, 8); }, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"list 1 compared in B",
     [](lf_record &r) {
         r.kind = 8;
         move_entry(r, 1, 5, MV_X, 8);
     },
     {1, 0, 1, 0, 1, 0, 1, 0, 0, 0}},
    {"list 1 reference in B skip",
     [](lf_record &r) {
         r.kind = 30;
         move_entry(r, 1, 9, MV_REF_IDX, -1);
     },
     {0, 1, 0, 1, 0, 0, 1, 0, 0, 0}},
};

TEST(LoopFilterStrength, FromKindsCodedBlocksAndMotion)
{
    for (const StrengthCase &c : kStrengthCases) {
        lf_record r = inter_record();
        c.set(r);
        EXPECT_EQ(strengths_of(r), c.want) << c.name;
        lf_strengths bs;
        lf_boundary_strengths(&r, &bs);
        EXPECT_EQ(lf_any_strength(bs), c.want != Strengths{}) << c.name;
    }
}

// The strength of each half-edge by the rule written out edge by edge, for records whose
// neighbours and blocks mostly share their motion and residual, as in skipped areas.
uint8_t edge_rule(const lf_record &r, bool intra_across, bool coded_blocks, int p, int q)
{
    if (intra_across)
        return 3;
    if (coded_blocks)
        return 2;
    const int lists = r.kind >= 7 ? 2 : 1;
    for (int list = 0; list < lists; ++list) {
        const int16_t *a = r.motion[list][lf_motion_slot(p)], *b = r.motion[list][lf_motion_slot(q)];
        if (std::abs(a[MV_X] - b[MV_X]) >= 4 || std::abs(a[MV_Y] - b[MV_Y]) >= 4 || a[MV_REF_IDX] != b[MV_REF_IDX])
            return 1;
    }
    return 0;
}

Strengths strengths_by_rule(const lf_record &r)
{
    auto intra = [](int32_t kind) { return kind == 0 || kind == 1; };
    auto bit = [](int32_t cbp, int b) { return ((cbp >> b) & 1) != 0; };
    Strengths s{};
    if (intra(r.kind)) {
        if (r.avail & MB_LEFT)
            s[0] = s[1] = 3;
        if (r.avail & MB_TOP)
            s[4] = s[5] = 3;
        s[2] = s[3] = s[6] = s[7] = 2;
        if (r.kind == 0)
            s[8] = s[9] = 2;
        return s;
    }
    if (r.avail & MB_LEFT) {
        s[0] = edge_rule(r, intra(r.kind_left), bit(r.cbp_left, 1) || bit(r.cbp, 0), 4, 5);
        s[1] = edge_rule(r, intra(r.kind_left), bit(r.cbp_left, 3) || bit(r.cbp, 2), 8, 9);
    }
    if (r.avail & MB_TOP) {
        s[4] = edge_rule(r, intra(r.kind_top), bit(r.cbp_top, 2) || bit(r.cbp, 0), 1, 5);
        s[5] = edge_rule(r, intra(r.kind_top), bit(r.cbp_top, 3) || bit(r.cbp, 1), 2, 6);
    }
    s[2] = edge_rule(r, false, bit(r.cbp, 0) || bit(r.cbp, 1), 5, 6);
    s[3] = edge_rule(r, false, bit(r.cbp, 2) || bit(r.cbp, 3), 9, 10);
    s[6] = edge_rule(r, false, bit(r.cbp, 0) || bit(r.cbp, 2), 5, 9);
    s[7] = edge_rule(r, false, bit(r.cbp, 1) || bit(r.cbp, 3), 6, 10);
    return s;
}

TEST(LoopFilterStrength, MostlyStillMacroblocksFollowTheEdgeRule)
{
    std::mt19937 rng(29);
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    const int32_t kinds[] = {0, 1, 2, 3, 5, 6, 7, 8, 30};
    for (int n = 0; n < 20000; ++n) {
        lf_record r{};
        r.avail = static_cast<int32_t>(rng() % 16);
        r.kind = kinds[rng() % std::size(kinds)];
        r.kind_left = chance(90) ? 2 : static_cast<int32_t>(rng() % 2);
        r.kind_top = chance(90) ? 2 : static_cast<int32_t>(rng() % 2);
        // Residual rare, chroma bits as often as luma ones.
        r.cbp = chance(70) ? 0 : static_cast<int32_t>(rng() % 256);
        r.cbp_left = chance(70) ? 0 : static_cast<int32_t>(rng() % 256);
        r.cbp_top = chance(70) ? 0 : static_cast<int32_t>(rng() % 256);
        // One motion for all, then a few entries or fields changed, some below the threshold,
        // some in the fields the rule ignores.
        const int16_t shared[LF_MOTION_FIELDS] = {static_cast<int16_t>(rng() % 64 - 32),
                                                  static_cast<int16_t>(rng() % 64 - 32),
                                                  static_cast<int16_t>(rng() % 4), static_cast<int16_t>(rng() % 3)};
        for (auto &list : r.motion)
            for (auto &entry : list)
                std::copy(std::begin(shared), std::end(shared), entry);
        const int changes = chance(60) ? 0 : static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) {
            const int field = static_cast<int>(rng() % LF_MOTION_FIELDS);
            const int16_t step = static_cast<int16_t>(static_cast<int>(rng() % 11) - 5);
            r.motion[rng() % 2][rng() % LF_MOTION_ENTRIES][field] += step != 0 ? step : 1;
        }
        const Strengths want = strengths_by_rule(r);
        ASSERT_EQ(strengths_of(r), want) << "record " << n;
        lf_strengths bs;
        lf_boundary_strengths(&r, &bs);
        ASSERT_EQ(lf_any_strength(bs), want != Strengths{}) << "record " << n;
    }
}

struct ThresholdCase {
    int32_t q, shift, alpha_offset, beta_offset;
    uint8_t bs[2];
    bool filtered;
    int32_t alpha, beta;
    uint8_t clip[2];
};

const ThresholdCase kThresholdCases[] = {
    {15, 0, 0, 0, {1, 1}, false, 0, 0, {0, 0}},        // below the tables' first non-zero entry
    {16, 0, 0, 0, {1, 2}, true, 4, 2, {1, 1}},
    {37, 0, 0, 0, {1, 2}, true, 56, 11, {2, 3}},       // clip index grows with the strength
    {16, 0, -1, 0, {1, 1}, false, 0, 2, {0, 0}},
    {16, 0, 0, -1, {1, 1}, false, 4, 0, {1, 1}},
    {10, 0, 6, 6, {1, 2}, true, 4, 2, {1, 1}},
    {40, 0, 5, -8, {2, 1}, true, 144, 9, {4, 4}},
    {60, 0, 0, 0, {2, 3}, true, 255, 20, {7, 7}},      // indexes clipped at 55
    {29, 2, 0, 0, {1, 1}, false, 0, 0, {0, 0}},        // 10-bit: lowered by 14
    {43, 2, 0, 0, {1, 2}, true, 88, 28, {4, 8}},       // and scaled by 4
    {40, 0, -30, 0, {1, 1}, false, 0, 13, {0, 0}},
    {40, 0, INT32_MAX, INT32_MAX, {2, 2}, true, 255, 20, {7, 7}},
    {40, 0, INT32_MIN, INT32_MIN, {2, 2}, false, 0, 0, {0, 0}},
};

TEST(LoopFilterThresholds, TablesOffsetsAndDepth)
{
    for (const ThresholdCase &c : kThresholdCases) {
        lf_edge_params e;
        const bool filtered = lf_edge_thresholds(c.q, c.shift, c.alpha_offset, c.beta_offset, c.bs, &e);
        const std::string name = "q " + std::to_string(c.q) + " shift " + std::to_string(c.shift) + " offsets " +
                                 std::to_string(c.alpha_offset) + "/" + std::to_string(c.beta_offset);
        EXPECT_EQ(filtered, c.filtered) << name;
        EXPECT_EQ(e.alpha, c.alpha) << name;
        EXPECT_EQ(e.beta, c.beta) << name;
        EXPECT_EQ(e.clip[0], c.clip[0]) << name;
        EXPECT_EQ(e.clip[1], c.clip[1]) << name;
    }
}

// The thresholds a macroblock works out once per edge group are those of each edge alone,
// over the QPs, offsets (to the int32 extremes) and depths; a group whose edges are not
// filtered has alpha 0.
TEST(LoopFilterThresholds, MacroblockGroupsMatchTheEdgeThresholds)
{
    const int32_t offsets[] = {INT32_MIN, -70, -13, -1, 0, 1, 6, 13, 70, INT32_MAX};
    const uint8_t strengths[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
    for (int32_t shift : {0, 2})
        for (int32_t qp = -4; qp <= 80; qp += 3)
            for (int32_t aoff : offsets)
                for (int32_t boff : {offsets[0], offsets[2], offsets[4], offsets[7], offsets[9]}) {
                    lf_slice slice{};
                    slice.chroma_format = 2;
                    slice.luma_shift = slice.chroma_shift = shift;
                    slice.alpha_offset = aoff;
                    slice.beta_offset = boff;
                    lf_record r{};
                    r.slice = &slice;
                    r.kind = r.kind_left = r.kind_top = 1;
                    r.avail = MB_LEFT | MB_TOP;
                    r.qp = qp;
                    r.qp_left = qp + 7;
                    r.qp_top = qp - 5;
                    lf_strengths bs;
                    lf_boundary_strengths(&r, &bs);
                    lf_mb_thresholds t;
                    lf_macroblock_thresholds(&r, bs, &t);
                    // Looked up in a table of the slice's depth and offsets where it holds the QPs.
                    lf_qp_table table;
                    lf_qp_table_fill(&table, shift, aoff, boff);
                    slice.table = &table;
                    lf_mb_thresholds looked_up;
                    lf_macroblock_thresholds(&r, bs, &looked_up);
                    slice.table = nullptr;
                    const int32_t qc = lf_chroma_qp(qp, shift, shift);
                    const struct {
                        const char *name;
                        const lf_qp_params &got;
                        int32_t q;
                    } groups[] = {
                        {"inner", t.inner, qp},
                        {"left", t.left, (2 * qp + 8) >> 1},
                        {"top", t.top, (2 * qp - 4) >> 1},
                        {"chroma inner", t.chroma_inner, qc},
                        {"chroma left", t.chroma_left, (qc + 1 + lf_chroma_qp(qp + 7, shift, shift)) >> 1},
                        {"chroma top", t.chroma_top, (qc + 1 + lf_chroma_qp(qp - 5, shift, shift)) >> 1},
                        {"inner, table", looked_up.inner, qp},
                        {"left, table", looked_up.left, (2 * qp + 8) >> 1},
                        {"top, table", looked_up.top, (2 * qp - 4) >> 1},
                        {"chroma inner, table", looked_up.chroma_inner, qc},
                        {"chroma left, table", looked_up.chroma_left,
                         (qc + 1 + lf_chroma_qp(qp + 7, shift, shift)) >> 1},
                        {"chroma top, table", looked_up.chroma_top,
                         (qc + 1 + lf_chroma_qp(qp - 5, shift, shift)) >> 1},
                    };
                    for (const auto &g : groups)
                        for (const auto &pair : strengths) {
                            lf_edge_params e;
                            const bool filtered = lf_edge_thresholds(g.q, shift, aoff, boff, pair, &e);
                            const std::string name = std::string(g.name) + " qp " + std::to_string(qp) + " shift " +
                                                     std::to_string(shift) + " offsets " + std::to_string(aoff) + "/" +
                                                     std::to_string(boff);
                            // A group that filters nothing says so by alpha alone.
                            if (!filtered) {
                                ASSERT_EQ(g.got.alpha, 0) << name;
                                continue;
                            }
                            ASSERT_EQ(g.got.alpha, e.alpha) << name;
                            ASSERT_EQ(g.got.beta, e.beta) << name;
                            ASSERT_EQ(g.got.clip[pair[0]], e.clip[0]) << name;
                            ASSERT_EQ(g.got.clip[pair[1]], e.clip[1]) << name;
                        }
                }
}

TEST(LoopFilterThresholds, GroupsWithoutEdgesAreMarked)
{
    struct Case {
        const char *name;
        int32_t avail, kind, chroma_format;
        bool inner, left, top, chroma_inner, chroma_left, chroma_top;
    };
    // kind 2 with equal motion and nothing coded: no inner strength, none across a missing edge.
    const Case cases[] = {
        {"intra 4:2:2, both neighbours", MB_LEFT | MB_TOP, 1, 2, true, true, true, true, true, true},
        {"intra 4:2:0: no chroma inner edge", MB_LEFT | MB_TOP, 1, 1, true, true, true, false, true, true},
        {"intra monochrome", MB_LEFT | MB_TOP, 0, 0, true, true, true, false, false, false},
        {"intra without neighbours", 0, 1, 2, true, false, false, true, false, false},
        {"still inter", MB_LEFT | MB_TOP, 2, 2, false, false, false, false, false, false},
    };
    for (const Case &c : cases) {
        lf_slice slice{};
        slice.chroma_format = c.chroma_format;
        lf_record r{};
        r.slice = &slice;
        r.kind = c.kind;
        r.kind_left = r.kind_top = 2;
        r.avail = c.avail;
        r.qp = r.qp_left = r.qp_top = 40;
        lf_strengths bs;
        lf_boundary_strengths(&r, &bs);
        lf_mb_thresholds t;
        lf_macroblock_thresholds(&r, bs, &t);
        EXPECT_EQ(t.inner.alpha != 0, c.inner) << c.name;
        EXPECT_EQ(t.left.alpha != 0, c.left) << c.name;
        EXPECT_EQ(t.top.alpha != 0, c.top) << c.name;
        EXPECT_EQ(t.chroma_inner.alpha != 0, c.chroma_inner) << c.name;
        EXPECT_EQ(t.chroma_left.alpha != 0, c.chroma_left) << c.name;
        EXPECT_EQ(t.chroma_top.alpha != 0, c.chroma_top) << c.name;
    }
}

TEST(LoopFilterThresholds, ChromaQp)
{
    struct {
        int32_t q, shift, want;
    } const cases[] = {
        {20, 0, 20}, {32, 0, 32}, {33, 0, 33}, {34, 0, 33}, {35, 0, 34}, {55, 0, 42},
        {70, 0, 42}, {-3, 0, 0},  {54, 2, 51}, {10, 2, 14}, {69, 2, 56},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lf_chroma_qp(c.q, c.shift, c.shift), c.want) << c.q << " shift " << c.shift;
}

} // namespace
