// The macroblock edge walk: which kernels it calls, where, in what order and with which
// thresholds, clip values and strengths. The kernel table holds recorders here.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <vector>

#include "deblock.h"
#include "lf_record.h"
#include "lf_strength.h"
#include "mb_work.h"

namespace {

struct Call {
    int kind;
    int row;
    char plane;          // 'Y', 'U', 'V'
    int x, y;            // samples from the macroblock's top-left
    int alpha, beta;
    int clip[2];
    int bs[2];

    bool operator==(const Call &o) const
    {
        return kind == o.kind && row == o.row && plane == o.plane && x == o.x && y == o.y && alpha == o.alpha &&
               beta == o.beta && clip[0] == o.clip[0] && clip[1] == o.clip[1] && bs[0] == o.bs[0] &&
               bs[1] == o.bs[1];
    }
};

std::ostream &operator<<(std::ostream &os, const Call &c)
{
    const char *const kinds[] = {"luma V", "luma H", "chroma V", "chroma H"};
    return os << kinds[c.kind] << " row " << c.row << " " << c.plane << "(" << c.x << "," << c.y << ") alpha "
              << c.alpha << " beta " << c.beta << " clip " << c.clip[0] << "/" << c.clip[1] << " bs " << c.bs[0]
              << "/" << c.bs[1];
}

// A record with its own slice header, so that copies vary both.
struct Mb : lf_record, lf_slice {
};

std::vector<Call> g_calls;
const Mb *g_record = nullptr;

template <int Kind, int Row>
void recorder(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip, const uint8_t *bs)
{
    const Mb &r = *g_record;
    const int sample = Row == DEBLOCK_ROW_10BIT ? 2 : 1;
    char plane = 'Y';
    const uint8_t *origin = r.luma;
    int32_t plane_stride = r.luma_stride;
    if (Kind == DEBLOCK_CHROMA_V || Kind == DEBLOCK_CHROMA_H) {
        plane = pix >= r.cr && pix < r.cr + 16 * r.chroma_stride ? 'V' : 'U';
        origin = plane == 'V' ? r.cr : r.cb;
        plane_stride = r.chroma_stride;
    }
    EXPECT_EQ(stride, plane_stride);
    const long off = static_cast<long>(pix - origin);
    g_calls.push_back({Kind, Row, plane, static_cast<int>(off % stride) / sample, static_cast<int>(off / stride),
                       alpha, beta, {clip[0], clip[1]}, {bs[0], bs[1]}});
}

// Both chroma planes in one call: recorded as the call of each plane, cb first.
template <int Kind, int Row>
void pair_recorder(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                   const uint8_t *bs)
{
    EXPECT_EQ(cr - g_record->cr, cb - g_record->cb) << "the same edge of both planes";
    recorder<Kind, Row>(cb, stride, alpha, beta, clip, bs);
    recorder<Kind, Row>(cr, stride, alpha, beta, clip, bs);
}

class MbLoopFilter : public testing::Test {
protected:
    void SetUp() override
    {
        std::copy(&deblock_funcs[0][0], &deblock_funcs[0][0] + N_DEBLOCK_KINDS * N_DEBLOCK_ROWS, &saved_[0][0]);
        std::copy(&deblock_pair_funcs[0][0], &deblock_pair_funcs[0][0] + N_DEBLOCK_PAIR_KINDS * N_DEBLOCK_ROWS,
                  &saved_pairs_[0][0]);
        install<DEBLOCK_ROW_8BIT>();
        install<DEBLOCK_ROW_10BIT>();
        g_calls.clear();
    }
    void TearDown() override
    {
        std::copy(&saved_[0][0], &saved_[0][0] + N_DEBLOCK_KINDS * N_DEBLOCK_ROWS, &deblock_funcs[0][0]);
        std::copy(&saved_pairs_[0][0], &saved_pairs_[0][0] + N_DEBLOCK_PAIR_KINDS * N_DEBLOCK_ROWS,
                  &deblock_pair_funcs[0][0]);
    }

    template <int Row>
    static void install()
    {
        deblock_funcs[DEBLOCK_LUMA_V][Row] = recorder<DEBLOCK_LUMA_V, Row>;
        deblock_funcs[DEBLOCK_LUMA_H][Row] = recorder<DEBLOCK_LUMA_H, Row>;
        deblock_funcs[DEBLOCK_CHROMA_V][Row] = recorder<DEBLOCK_CHROMA_V, Row>;
        deblock_funcs[DEBLOCK_CHROMA_H][Row] = recorder<DEBLOCK_CHROMA_H, Row>;
        deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_V][Row] = pair_recorder<DEBLOCK_CHROMA_V, Row>;
        deblock_pair_funcs[DEBLOCK_CHROMA_PAIR_H][Row] = pair_recorder<DEBLOCK_CHROMA_H, Row>;
    }

    // A macroblock in the middle of a small picture buffer.
    Mb record(int32_t kind, int32_t avail, int32_t chroma_format, int32_t shift)
    {
        Mb r{};
        const int32_t sample = shift ? 2 : 1;
        r.luma_stride = 48 * sample;
        r.chroma_stride = 24 * sample;
        r.luma = luma_ + 16 * r.luma_stride + 16 * sample;
        r.cb = cb_ + 16 * r.chroma_stride + 8 * sample;
        r.cr = cr_ + 16 * r.chroma_stride + 8 * sample;
        r.kind = r.kind_left = r.kind_top = kind;
        r.avail = avail;
        r.chroma_format = chroma_format;
        r.luma_shift = r.chroma_shift = shift;
        return r;
    }

    // The calls for the macroblock, which are the same with thresholds computed per
    // macroblock and looked up in a table of its slice's depth and offsets.
    std::vector<Call> run(const Mb &mb)
    {
        Mb r = mb;
        r.slice = &r;
        g_record = &r;
        r.table = nullptr;
        g_calls.clear();
        mb_loop_filter(&r);
        const std::vector<Call> computed = g_calls;
        lf_qp_table table;
        lf_qp_table_fill(&table, r.luma_shift, r.alpha_offset, r.beta_offset);
        r.table = &table;
        g_calls.clear();
        mb_loop_filter(&r);
        g_record = nullptr;
        EXPECT_EQ(g_calls, computed) << "looked up against computed thresholds";
        return g_calls;
    }

    deblock_fn saved_[N_DEBLOCK_KINDS][N_DEBLOCK_ROWS];
    deblock_pair_fn saved_pairs_[N_DEBLOCK_PAIR_KINDS][N_DEBLOCK_ROWS];
    uint8_t luma_[48 * 48 * 2] = {};
    uint8_t cb_[24 * 48 * 2] = {};
    uint8_t cr_[24 * 48 * 2] = {};
};

constexpr int LV = DEBLOCK_LUMA_V, LH = DEBLOCK_LUMA_H, CV = DEBLOCK_CHROMA_V, CH = DEBLOCK_CHROMA_H;

TEST_F(MbLoopFilter, FirstMacroblockFiltersOnlyItsInnerEdges)
{
    Mb r = record(0, 0, 1, 0);
    r.qp = r.qp_left = r.qp_top = 30;
    const std::vector<Call> want = {
        {LV, 0, 'Y', 4, 0, 25, 8, {2, 2}, {2, 2}},  {LV, 0, 'Y', 8, 0, 25, 8, {2, 2}, {2, 2}},
        {LV, 0, 'Y', 12, 0, 25, 8, {2, 2}, {2, 2}}, {LH, 0, 'Y', 0, 4, 25, 8, {2, 2}, {2, 2}},
        {LH, 0, 'Y', 0, 8, 25, 8, {2, 2}, {2, 2}},  {LH, 0, 'Y', 0, 12, 25, 8, {2, 2}, {2, 2}},
    };
    EXPECT_EQ(run(r), want);

    r.alpha_offset = 6;
    r.beta_offset = -2;
    for (const Call &c : run(r)) {
        EXPECT_EQ(c.alpha, 50);
        EXPECT_EQ(c.beta, 7);
    }
}

TEST_F(MbLoopFilter, EveryEdgeOfAnIntraMacroblockIn422)
{
    Mb r = record(1, MB_LEFT | MB_TOP, 2, 0);
    r.qp = 44;
    r.qp_left = 48;
    r.qp_top = 40;
    const std::vector<Call> want = {
        {LV, 0, 'Y', 0, 0, 162, 16, {5, 5}, {3, 3}}, {CV, 0, 'U', 0, 0, 80, 13, {3, 3}, {3, 3}},
        {CV, 0, 'V', 0, 0, 80, 13, {3, 3}, {3, 3}},  {CV, 0, 'U', 0, 8, 80, 13, {3, 3}, {3, 3}},
        {CV, 0, 'V', 0, 8, 80, 13, {3, 3}, {3, 3}},  {LV, 0, 'Y', 8, 0, 127, 15, {4, 4}, {2, 2}},
        {LH, 0, 'Y', 0, 0, 101, 14, {3, 3}, {3, 3}}, {CH, 0, 'U', 0, 0, 63, 12, {3, 3}, {3, 3}},
        {CH, 0, 'V', 0, 0, 63, 12, {3, 3}, {3, 3}},  {LH, 0, 'Y', 0, 8, 127, 15, {4, 4}, {2, 2}},
        {CH, 0, 'U', 0, 8, 71, 12, {3, 3}, {2, 2}},  {CH, 0, 'V', 0, 8, 71, 12, {3, 3}, {2, 2}},
    };
    EXPECT_EQ(run(r), want);
}

TEST_F(MbLoopFilter, TenBitUsesTheSecondRowForEveryPlane)
{
    Mb r = record(1, MB_LEFT, 1, 2);
    r.qp = 58;
    r.qp_left = 50;
    const std::vector<Call> want = {
        {LV, 2, 'Y', 0, 0, 320, 52, {12, 12}, {3, 3}}, {CV, 2, 'U', 0, 0, 224, 44, {12, 12}, {3, 3}},
        {CV, 2, 'V', 0, 0, 224, 44, {12, 12}, {3, 3}}, {LV, 2, 'Y', 8, 0, 508, 60, {16, 16}, {2, 2}},
        {LH, 2, 'Y', 0, 8, 508, 60, {16, 16}, {2, 2}},
    };
    EXPECT_EQ(run(r), want);
}

TEST_F(MbLoopFilter, HalfStrengthsReachTheRightChromaCalls)
{
    // Only the upper half of the left edge has a coded block beside it.
    Mb r = record(2, MB_LEFT | MB_TOP, 2, 0);
    r.qp = r.qp_left = r.qp_top = 30;
    r.cbp_left = 2;
    const std::vector<Call> want = {
        {LV, 0, 'Y', 0, 0, 25, 8, {2, 1}, {2, 0}},
        {CV, 0, 'U', 0, 0, 25, 8, {2, 2}, {2, 2}},
        {CV, 0, 'V', 0, 0, 25, 8, {2, 2}, {2, 2}},
    };
    EXPECT_EQ(run(r), want);

    // The lower half in 4:2:0 stays within one chroma call.
    r.chroma_format = 1;
    r.cbp_left = 8;
    const std::vector<Call> lower = {
        {LV, 0, 'Y', 0, 0, 25, 8, {1, 2}, {0, 2}},
        {CV, 0, 'U', 0, 0, 25, 8, {1, 2}, {0, 2}},
        {CV, 0, 'V', 0, 0, 25, 8, {1, 2}, {0, 2}},
    };
    EXPECT_EQ(run(r), lower);
}

TEST_F(MbLoopFilter, ChromaFilteredWhereTheLumaQpFiltersNothing)
{
    // 10-bit chroma QPs are clamped up to 14, so low luma QPs leave only chroma above the tables.
    Mb r = record(1, MB_LEFT | MB_TOP, 1, 2);
    r.qp = r.qp_left = r.qp_top = 4;
    r.alpha_offset = r.beta_offset = 16;
    const std::vector<Call> want = {
        {CV, 2, 'U', 0, 0, 16, 8, {4, 4}, {3, 3}},
        {CV, 2, 'V', 0, 0, 16, 8, {4, 4}, {3, 3}},
        {CH, 2, 'U', 0, 0, 16, 8, {4, 4}, {3, 3}},
        {CH, 2, 'V', 0, 0, 16, 8, {4, 4}, {3, 3}},
    };
    EXPECT_EQ(run(r), want);
}

// Thresholds are kept from one macroblock to the next: each macroblock still gets those of
// its own QPs, offsets, neighbours and format, whichever macroblock came before.
TEST_F(MbLoopFilter, ThresholdsFollowEachMacroblockWhicheverCameBefore)
{
    Mb base = record(1, MB_LEFT | MB_TOP, 2, 0);
    base.qp = 40;
    base.qp_left = 44;
    base.qp_top = 34;
    std::vector<Mb> variants = {base};
    auto vary = [&](void (*change)(Mb &)) {
        Mb r = base;
        change(r);
        variants.push_back(r);
    };
    vary([](Mb &r) { r.qp = 42; });
    vary([](Mb &r) { r.qp_left = 30; });
    vary([](Mb &r) { r.qp_top = 50; });
    vary([](Mb &r) { r.alpha_offset = 4; });
    vary([](Mb &r) { r.beta_offset = -6; });
    vary([](Mb &r) { r.avail = MB_LEFT; });
    vary([](Mb &r) { r.avail = MB_TOP; });
    vary([](Mb &r) { r.chroma_format = 1; });
    Mb ten = record(1, MB_LEFT | MB_TOP, 2, 2);
    ten.qp = base.qp;
    ten.qp_left = base.qp_left;
    ten.qp_top = base.qp_top;
    variants.push_back(ten);

    Mb other = record(1, MB_LEFT | MB_TOP, 1, 0);
    other.qp = other.qp_left = other.qp_top = 24;
    other.alpha_offset = other.beta_offset = 2;
    std::vector<std::vector<Call>> alone;
    for (const Mb &r : variants) {
        run(other);
        alone.push_back(run(r));
        EXPECT_FALSE(alone.back().empty());
        if (alone.size() > 1) {
            EXPECT_NE(alone.back(), alone.front()) << "variant " << alone.size() - 1 << " changes nothing";
        }
    }
    for (size_t a = 0; a < variants.size(); ++a)
        for (size_t b = 0; b < variants.size(); ++b) {
            run(variants[a]);
            EXPECT_EQ(run(variants[b]), alone[b]) << "variant " << b << " after variant " << a;
        }
}

// QPs far above the tables (as a corrupt stream may carry) clamp to their last row, the same
// on the per-thread table's path and off it.
TEST_F(MbLoopFilter, QpsBeyondTheTablesFilterAsTheirLastRow)
{
    for (int32_t format : {1, 2}) {
        Mb top = record(1, MB_LEFT | MB_TOP, format, 0);
        top.qp = top.qp_left = top.qp_top = 60;
        const std::vector<Call> want = run(top);
        ASSERT_FALSE(want.empty());
        for (int32_t q : {127, 128, 300}) {
            Mb far = top;
            far.qp = far.qp_left = far.qp_top = q;
            EXPECT_EQ(run(far), want) << "QP " << q << " format " << format;
            far.qp = 60;
            EXPECT_EQ(run(far), want) << "neighbours' QP " << q << " format " << format;
        }
    }
}

TEST_F(MbLoopFilter, NothingCalled)
{
    struct Case {
        const char *name;
        Mb r;
    };
    std::vector<Case> cases;
    Mb disabled = record(0, MB_LEFT | MB_TOP, 1, 0);
    disabled.qp = disabled.qp_left = disabled.qp_top = 40;
    disabled.lf_disabled = 1;
    cases.push_back({"filter disabled", disabled});
    Mb still = record(2, MB_LEFT | MB_TOP, 1, 0);
    still.qp = still.qp_left = still.qp_top = 40;
    cases.push_back({"equal motion, nothing coded", still});
    Mb low = record(0, MB_LEFT | MB_TOP, 2, 0);
    low.qp = low.qp_left = low.qp_top = 15;
    cases.push_back({"QP below the tables", low});
    Mb ten = record(0, MB_LEFT | MB_TOP, 1, 2);
    ten.qp = ten.qp_left = ten.qp_top = 29;
    cases.push_back({"10-bit QP below the tables", ten});
    Mb depth = record(0, MB_LEFT | MB_TOP, 1, 1);
    depth.qp = depth.qp_left = depth.qp_top = 40;
    cases.push_back({"depth without kernels", depth});
    for (const Case &c : cases)
        EXPECT_TRUE(run(c.r).empty()) << c.name;
}

TEST_F(MbLoopFilter, MonochromeHasNoChromaCalls)
{
    Mb r = record(1, MB_LEFT | MB_TOP, 0, 0);
    r.cb = r.cr = nullptr;
    r.qp = r.qp_left = r.qp_top = 30;
    for (const Call &c : run(r))
        EXPECT_EQ(c.plane, 'Y') << c;
    EXPECT_EQ(g_calls.size(), 4u);
}

} // namespace
