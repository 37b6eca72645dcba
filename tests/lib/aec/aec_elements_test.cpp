// Syntax element readers against the writer's element encoder: every binarisation round trips,
// and each neighbour-driven context choice matches the encoder's (checked through the whole
// context array after decoding, which differs as soon as one bin used another context).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "aec.h"
#include "decoder_ctx.h"
#include "dsp_init.h"
#include "svacwriter/aec_writer.h"

namespace {

using svacwriter::AecCbpNeighbours;
using svacwriter::AecCoef;
using svacwriter::AecSyntaxWriter;

constexpr int kWidth = 4;

class AecElements : public ::testing::Test {
public:
    void SetUp() override
    {
        ctx.reset(new decoder_ctx());
        ctx->chroma_format = 1;
        ctx->bit_depth = 8;
        ctx->pic_structure = -1;
        ctx->pic_type = 1;
        ctx->mb_width = kWidth;
        layer_ctx &layer = ctx->layer[0];
        for (layer_buffer b : {LB_CBP_ROW, LB_ROW_A, LB_ROW_B, LB_ROW_C}) {
            rows.emplace_back(4 * kWidth, 0);
            layer.buf[b] = rows.back().data();
        }
        layer.mb_x = 1;
    }

    layer_ctx &layer() { return ctx->layer[0]; }
    int32_t *column(layer_buffer b) { return reinterpret_cast<int32_t *>(layer().buf[b]); }

    // Finishes the writer's slice and starts the decoder on it.
    void start(AecSyntaxWriter &w)
    {
        w.end_of_slice(true);
        data = w.finish();
        ASSERT_FALSE(data.empty()) << w.encoder().error();
        ASSERT_EQ(aec_init(ctx.get(), data.data(), static_cast<int32_t>(data.size())), 0);
    }

    void expect_end_and_same_contexts(AecSyntaxWriter &w)
    {
        EXPECT_EQ(aec_read_end_of_slice(ctx.get()), 1);
        EXPECT_EQ(aec_data_exhausted(ctx.get()), 0);
        for (int k = 0; k < AEC_CONTEXTS; ++k) {
            const aec_ctx &d = ctx->aec.contexts[k];
            const svacwriter::AecContext &e = w.encoder().contexts[k];
            ASSERT_TRUE(d.mps == e.mps && d.cycno == e.cycno && d.lgpmps == e.lgpmps) << "context " << k;
        }
    }

    std::unique_ptr<decoder_ctx> ctx;
    std::vector<std::vector<uint8_t>> rows;
    std::vector<uint8_t> data;
};

// A value written and the reader expected to give it back.
struct Element {
    std::function<void(AecSyntaxWriter &)> write;
    std::function<int32_t(decoder_ctx *)> read;
    int32_t want;
};

TEST_F(AecElements, RandomValuesOfEveryElementRoundTrip)
{
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int trial = 0; trial < 40; ++trial) {
        SetUp();
        ctx->pic_type = trial % 2 ? 2 : 3;   // P or B: reference indices differ
        const bool b_pic = ctx->pic_type == 3;
        std::vector<Element> elements;
        for (int i = 0; i < 300; ++i) {
            switch (pick(0, 12)) {
            case 0: {
                const int v = pick(0, 1) ? pick(0, 3) : pick(4, 40);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_skip_run(v); }, aec_read_mb_skip_run, v});
                break;
            }
            case 1: {
                const int v = pick(0, 1);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_type_i(v); }, aec_read_mb_type_i, v});
                break;
            }
            case 2: {
                const int v = pick(0, 5);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_type_p(v); }, aec_read_mb_type_p, v});
                break;
            }
            case 3: {
                // No neighbour is available: the first bin always takes the base context.
                const int v = pick(0, 24);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_type_b(v, 0); }, aec_read_mb_type_b, v});
                break;
            }
            case 4: {
                const int v = pick(0, 3);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_part_type(v); }, aec_read_mb_part_type, v});
                break;
            }
            case 5: {
                const int v = pick(0, 1);
                elements.push_back({[v](AecSyntaxWriter &w) { w.pred_mode_flag(v); }, aec_read_pred_mode_flag, v});
                break;
            }
            case 6: {
                const int v = pick(0, 3);
                elements.push_back(
                    {[v](AecSyntaxWriter &w) { w.intra_luma_pred_mode(v); }, aec_read_intra_luma_pred_mode, v});
                break;
            }
            case 7: {
                const int v = pick(0, 3);
                elements.push_back({[v](AecSyntaxWriter &w) { w.intra_chroma_pred_mode(v, 0); },
                                    [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 0); }, v});
                break;
            }
            case 8: {
                const int v = b_pic ? pick(0, 1) : pick(0, 6);
                elements.push_back({[v, b_pic](AecSyntaxWriter &w) { w.ref_idx(v, 0, b_pic); },
                                    [](decoder_ctx *c) { return aec_read_ref_idx(c, 5); }, v});
                break;
            }
            case 9: {
                const int comp = pick(0, 1);
                const int r = pick(0, 9);
                const int v = r < 3 ? pick(-8, 8) : r < 8 ? pick(-40, 40) : pick(-5000, 5000);
                elements.push_back({[v, comp](AecSyntaxWriter &w) { w.mvd(v, comp, 0); },
                                    [comp](decoder_ctx *c) { return aec_read_mvd(c, comp); }, v});
                break;
            }
            case 10: {
                const int v = pick(0, 63);
                elements.push_back({[v](AecSyntaxWriter &w) { w.cbp(v, AecCbpNeighbours{}); }, aec_read_cbp, v});
                break;
            }
            case 11: {
                const int v = pick(0, 3) ? pick(-3, 3) : pick(-26, 26);
                elements.push_back({[v](AecSyntaxWriter &w) { w.mb_qp_delta(v); }, aec_read_mb_qp_delta, v});
                break;
            }
            default: {
                const int v = pick(0, 4);
                elements.push_back({[v](AecSyntaxWriter &w) { w.base_pred_flag(v); }, aec_read_base_pred_flag, v});
                break;
            }
            }
        }
        // Nothing around the macroblock: no neighbour takes part in any context.
        layer().mb_avail = 0;
        ctx->mb.current_mv_pos = 5;
        AecSyntaxWriter w;
        for (const Element &e : elements) {
            e.write(w);
            w.end_of_slice(false);
        }
        start(w);
        for (size_t i = 0; i < elements.size(); ++i) {
            ASSERT_EQ(elements[i].read(ctx.get()), elements[i].want) << "trial " << trial << " element " << i;
            ASSERT_EQ(aec_read_end_of_slice(ctx.get()), 0) << "element " << i;
        }
        expect_end_and_same_contexts(w);
    }
}

TEST_F(AecElements, NeighboursChooseTheFirstBinContext)
{
    struct Case {
        const char *what;
        std::function<void(AecElements &)> setup;   // decoder-side neighbours
        std::function<void(AecSyntaxWriter &)> write;
        std::function<int32_t(decoder_ctx *)> read;
        int32_t want;
    };
    auto b_type = [](int inc, int v) { return [inc, v](AecSyntaxWriter &w) { w.mb_type_b(v, inc); }; };
    auto chroma = [](int inc, int v) { return [inc, v](AecSyntaxWriter &w) { w.intra_chroma_pred_mode(v, inc); }; };
    auto mvd = [](int inc, int v) { return [inc, v](AecSyntaxWriter &w) { w.mvd(v, 0, inc); }; };
    auto set_b = [](int32_t left_code, int32_t top_code, int avail) {
        return [=](AecElements &t) {
            t.ctx->pic_type = 3;
            t.layer().mb_avail = avail;
            t.layer().mb_type_code = left_code;
            t.column(LB_ROW_C)[1] = top_code;
        };
    };
    auto set_chroma = [](int fmt, int avail, int32_t left, int32_t top_a, int32_t top_b, int32_t upper) {
        return [=](AecElements &t) {
            t.ctx->chroma_format = fmt;
            t.layer().mb_avail = avail;
            t.ctx->mb.left_chroma_mode[0] = t.ctx->mb.left_chroma_mode[1] = left;
            t.column(LB_ROW_A)[1] = top_a;
            t.column(LB_ROW_B)[1] = top_b;
            t.ctx->mb.chroma_mode[0] = upper;
        };
    };
    auto set_mvd = [](int pic_type, int16_t left_mvd, int8_t dir_left, int8_t dir) {
        return [=](AecElements &t) {
            t.ctx->pic_type = pic_type;
            t.ctx->mb.current_mv_pos = 6;
            t.ctx->mb.mv_cache[5][MV_MVD_X] = left_mvd;
            t.ctx->mb.b_pred_pos = 2;
            t.ctx->mb.b_pred_dir[0][1] = dir_left;
            t.ctx->mb.b_pred_dir[0][2] = dir;
        };
    };
    const std::vector<Case> cases = {
        {"B type: left skipped B", set_b(30, 0, MB_LEFT | MB_TOP), b_type(0, 3), aec_read_mb_type_b, 3},
        {"B type: left direct", set_b(0, 0, MB_LEFT | MB_TOP), b_type(0, 3), aec_read_mb_type_b, 3},
        {"B type: left intra", set_b(23, 0, MB_LEFT | MB_TOP), b_type(1, 3), aec_read_mb_type_b, 3},
        {"B type: both coded", set_b(5, 2, MB_LEFT | MB_TOP), b_type(2, 0), aec_read_mb_type_b, 0},
        {"B type: row start ignores the code", set_b(5, 2, MB_TOP), b_type(1, 1), aec_read_mb_type_b, 1},
        {"chroma: left and top", set_chroma(1, MB_LEFT | MB_TOP, 2, 1, 0, 0), chroma(2, 1),
         [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 0); }, 1},
        {"chroma: top missing", set_chroma(1, MB_LEFT, 2, 1, 0, 0), chroma(1, 2),
         [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 0); }, 2},
        {"chroma 4:2:2 upper half: lower mode above", set_chroma(2, MB_TOP, 0, 0, 3, 0), chroma(1, 3),
         [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 0); }, 3},
        {"chroma 4:2:2 upper half: upper mode above unused", set_chroma(2, MB_TOP, 0, 3, 0, 0), chroma(0, 3),
         [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 0); }, 3},
        {"chroma 4:2:2 lower half: own upper mode", set_chroma(2, 0, 0, 0, 0, 2), chroma(1, 0),
         [](decoder_ctx *c) { return aec_read_intra_chroma_pred_mode(c, 1); }, 0},
        {"mvd: small left difference", set_mvd(2, -1, 0, 0), mvd(0, 4), [](decoder_ctx *c) { return aec_read_mvd(c, 0); },
         4},
        {"mvd: medium left difference", set_mvd(2, -15, 0, 0), mvd(1, 4),
         [](decoder_ctx *c) { return aec_read_mvd(c, 0); }, 4},
        {"mvd: large left difference", set_mvd(2, 16, 0, 0), mvd(2, -9),
         [](decoder_ctx *c) { return aec_read_mvd(c, 0); }, -9},
        {"mvd B: same direction", set_mvd(3, 16, 2, 0), mvd(2, 9), [](decoder_ctx *c) { return aec_read_mvd(c, 0); }, 9},
        {"mvd B: backward after symmetric", set_mvd(3, 16, 2, 1), mvd(2, 9),
         [](decoder_ctx *c) { return aec_read_mvd(c, 0); }, 9},
        {"mvd B: forward after backward", set_mvd(3, 16, 1, 0), mvd(0, 9),
         [](decoder_ctx *c) { return aec_read_mvd(c, 0); }, 9},
    };
    for (const Case &c : cases) {
        SetUp();
        c.setup(*this);
        AecSyntaxWriter w;
        // Twice: the second read decodes wrongly or adapts another context if the first chose
        // the wrong one.
        c.write(w);
        c.write(w);
        start(w);
        EXPECT_EQ(c.read(ctx.get()), c.want) << c.what;
        c.setup(*this);   // the type readers record their own code as the next left neighbour
        EXPECT_EQ(c.read(ctx.get()), c.want) << c.what;
        expect_end_and_same_contexts(w);
        if (HasFailure()) {
            ADD_FAILURE() << c.what;
            return;
        }
    }
}

TEST_F(AecElements, ReferenceIndexContextAndLength)
{
    for (int pic_type : {2, 3})
        for (int above : {0, 1})
            for (int left : {0, 1}) {
                SetUp();
                ctx->pic_type = pic_type;
                ctx->mb.mv_cache[6 - 4][MV_REF_IDX] = static_cast<int16_t>(above ? 1 : -1);
                ctx->mb.mv_cache[6 - 1][MV_REF_IDX] = static_cast<int16_t>(left ? 2 : 0);
                const int inc = 2 * above + left;
                const std::vector<int> values = pic_type == 3 ? std::vector<int>{1, 0, 1} : std::vector<int>{3, 0, 1};
                AecSyntaxWriter w;
                for (int v : values)
                    w.ref_idx(v, inc, pic_type == 3);
                start(w);
                for (int v : values)
                    EXPECT_EQ(aec_read_ref_idx(ctx.get(), 6), v) << pic_type << above << left;
                expect_end_and_same_contexts(w);
            }
}

TEST_F(AecElements, CodedBlockPatternFollowsNeighbourBlocks)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 64; ++trial) {
        SetUp();
        AecCbpNeighbours nb;
        nb.chroma_format = trial % 3 == 2 ? 2 : 1;
        nb.left = trial & 1;
        nb.top = trial & 2;
        nb.left_cbp = static_cast<int32_t>(rng() % 64);
        nb.top_cbp = static_cast<int32_t>(rng() % 64);
        ctx->chroma_format = static_cast<int32_t>(nb.chroma_format);
        layer().mb_avail = (nb.left ? MB_LEFT : 0) | (nb.top ? MB_TOP : 0);
        ctx->mb.left_cbp = nb.left_cbp;
        layer().buf[LB_CBP_ROW][1] = static_cast<uint8_t>(nb.top_cbp);
        std::vector<uint32_t> values;
        AecSyntaxWriter w;
        for (int i = 0; i < 6; ++i) {
            values.push_back(static_cast<uint32_t>(rng() % 64));
            w.cbp(values.back(), nb);
        }
        start(w);
        for (uint32_t v : values)
            EXPECT_EQ(aec_read_cbp(ctx.get()), static_cast<int32_t>(v)) << trial;
        expect_end_and_same_contexts(w);
    }
}

TEST_F(AecElements, QpDeltaContextFollowsTheLastDelta)
{
    // A pattern of 0 clears the last delta, and so does a macroblock without a change.
    AecSyntaxWriter w;
    w.mb_qp_delta(2);
    w.mb_qp_delta(0);
    w.mb_qp_delta(-1);
    w.cbp(0, AecCbpNeighbours{});
    w.mb_qp_delta(1);
    w.clear_qp_delta();
    w.mb_qp_delta(-2);
    start(w);
    EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), 2);
    EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), 0);
    EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), -1);
    EXPECT_EQ(aec_read_cbp(ctx.get()), 0);
    EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), 1);
    aec_clear_last_qp_delta(ctx.get());
    EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), -2);
    expect_end_and_same_contexts(w);
}

TEST_F(AecElements, MbTypeRecordsItsCodeForTheNeighbours)
{
    // I: first bin 1 is refused with code 0; P: six zero bins have no type.
    AecSyntaxWriter w;
    w.encoder().encode(1, w.encoder().contexts[2]);
    w.mb_type_i(1);
    for (int n = 0; n < 7; ++n)
        w.encoder().encode(0, w.encoder().contexts[2 + (n < 4 ? n : 4)]);
    start(w);
    layer().mb_type_code = 9;
    EXPECT_EQ(aec_read_mb_type_i(ctx.get()), -1);
    EXPECT_EQ(layer().mb_type_code, 0);
    EXPECT_EQ(aec_read_mb_type_i(ctx.get()), 1);
    EXPECT_EQ(layer().mb_type_code, 2);
    EXPECT_EQ(column(LB_ROW_C)[1], 2);
    EXPECT_LT(aec_read_mb_type_p(ctx.get()), 0);
}

TEST_F(AecElements, CoefficientPairsRoundTripInEveryContextSet)
{
    coef_init(0);
    idct_init(0);
    std::mt19937 rng(9);
    for (int trial = 0; trial < 48; ++trial) {
        SetUp();
        const bool small = trial & 1, luma = trial & 2, field = trial & 4;
        ctx->pic_structure = field ? 0 : -1;
        const int max_pairs = small ? 17 : 65;
        std::vector<std::vector<AecCoef>> blocks;
        AecSyntaxWriter w;
        for (int b = 0; b < 4; ++b) {
            const int n = b == 3 ? max_pairs : 1 + static_cast<int>(rng() % (small ? 8 : 20));
            std::vector<AecCoef> pairs;
            for (int i = 0; i < n; ++i) {
                const int r = static_cast<int>(rng() % 10);
                int32_t level = r < 5 ? 1 : r < 8 ? 2 + static_cast<int>(rng() % 3) : 5 + static_cast<int>(rng() % 60);
                if (rng() & 1)
                    level = -level;
                pairs.push_back({level, static_cast<int32_t>(rng() % (small ? 4 : 9))});
            }
            blocks.push_back(pairs);
            w.coefs(pairs, luma, field, small);
            w.mb_qp_delta(b);   // a different element right after each block
        }
        start(w);
        for (const std::vector<AecCoef> &pairs : blocks) {
            uint8_t samples[8 * 8] = {};
            const int r = small ? aec_read_coefs2(ctx.get(), 20, samples, 8, luma) : aec_read_coefs(ctx.get(), 20, samples, 8, luma);
            EXPECT_EQ(r, 0);
            for (size_t i = 0; i < pairs.size(); ++i) {
                const uint32_t word = ctx->mb.pairs[i];
                ASSERT_EQ(static_cast<int16_t>(word >> 16), pairs[i].level) << trial << " pair " << i;
                ASSERT_EQ(static_cast<int32_t>(word & 0xFFFF), pairs[i].run + 1) << trial << " pair " << i;
            }
            EXPECT_EQ(aec_read_mb_qp_delta(ctx.get()), static_cast<int32_t>(&pairs - blocks.data()));
        }
        expect_end_and_same_contexts(w);
    }
}

} // namespace

namespace {

// Arbitrary data: every reader ends (exhaustion stops the unary loops) and nothing reads
// outside the data, whatever the bins decode to.
TEST_F(AecElements, ArbitraryDataEndsEveryReader)
{
    coef_init(0);
    idct_init(0);
    std::mt19937 rng(13);
    for (int trial = 0; trial < 200; ++trial) {
        SetUp();
        ctx->pic_type = 2 + trial % 2;
        ctx->mb.current_mv_pos = 5;
        std::vector<uint8_t> bytes(rng() % 40);
        const int fill = trial % 3;   // zeros, ones, random
        for (uint8_t &b : bytes)
            b = fill == 0 ? 0 : fill == 1 ? 0xFF : static_cast<uint8_t>(rng());
        ASSERT_EQ(aec_init(ctx.get(), bytes.data(), static_cast<int32_t>(bytes.size())), 0);
        uint8_t samples[64] = {};
        for (int round = 0; round < 1000 && !aec_data_exhausted(ctx.get()); ++round) {
            aec_read_mb_skip_run(ctx.get());
            aec_read_mb_type_i(ctx.get());
            aec_read_mb_type_p(ctx.get());
            aec_read_mb_type_b(ctx.get());
            aec_read_ref_idx(ctx.get(), 5);
            aec_read_mvd(ctx.get(), round & 1);
            aec_read_cbp(ctx.get());
            aec_read_mb_qp_delta(ctx.get());
            aec_read_coefs(ctx.get(), 20, samples, 8, 1);
            aec_read_coefs2(ctx.get(), 20, samples, 8, 0);
            aec_read_end_of_slice(ctx.get());
        }
        EXPECT_EQ(aec_data_exhausted(ctx.get()), 1) << trial;
    }
}

} // namespace
