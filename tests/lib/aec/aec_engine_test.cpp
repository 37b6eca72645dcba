// The decoder engine against the writer's encoder: random bin sequences round trip with the
// same context adaptation, the adaptation rules hold bin by bin, and short or spent data
// neither over-reads nor loops.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "aec_engine.h"
#include "svacwriter/aec_writer.h"

namespace {

enum class Op { Bin, Bin2, Bypass, Terminate };

struct Step {
    Op op;
    int a, b;   // context indices
    int bin;
};

void expect_same_contexts(const aec_decoder &d, const svacwriter::AecEncoder &e)
{
    for (int k = 0; k < AEC_CONTEXTS; ++k) {
        ASSERT_EQ(d.contexts[k].mps, e.contexts[k].mps) << "context " << k;
        ASSERT_EQ(d.contexts[k].cycno, e.contexts[k].cycno) << "context " << k;
        ASSERT_EQ(d.contexts[k].lgpmps, e.contexts[k].lgpmps) << "context " << k;
    }
}

std::vector<Step> random_steps(std::mt19937 &rng, size_t count, int contexts)
{
    // Each context leans towards its own symbol with its own strength, so contexts reach the
    // slow stages, flip their symbol and get very skewed.
    std::vector<double> p_one(contexts);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (double &p : p_one) {
        const double r = unit(rng);
        p = r < 0.3 ? 0.002 : r < 0.6 ? 0.998 : unit(rng);
    }
    std::uniform_int_distribution<int> pick(0, contexts - 1), kind(0, 99);
    std::vector<Step> steps;
    for (size_t i = 0; i < count; ++i) {
        const int k = kind(rng);
        Step s{Op::Bin, pick(rng), pick(rng), 0};
        if (k < 70) {
            s.bin = unit(rng) < p_one[s.a];
        } else if (k < 85) {
            s.op = Op::Bin2;
            s.bin = unit(rng) < (p_one[s.a] + p_one[s.b]) / 2;
        } else if (k < 97) {
            s.op = Op::Bypass;
            s.bin = unit(rng) < 0.5;
        } else {
            s.op = Op::Terminate;
        }
        steps.push_back(s);
    }
    steps.push_back({Op::Terminate, 0, 0, 1});
    return steps;
}

TEST(AecEngine, RandomBinsRoundTripWithEqualContexts)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const int contexts = trial % 4 == 0 ? 2 : 24;
        const size_t count = trial % 5 == 0 ? 1 + trial % 7 : 200 + 40 * (trial % 50);
        const std::vector<Step> steps = random_steps(rng, count, contexts);
        svacwriter::AecEncoder enc;
        for (const Step &s : steps) {
            switch (s.op) {
            case Op::Bin: enc.encode(s.bin, enc.contexts[s.a]); break;
            case Op::Bin2: enc.encode2(s.bin, enc.contexts[s.a], enc.contexts[s.b]); break;
            case Op::Bypass: enc.encode_bypass(s.bin); break;
            case Op::Terminate: enc.encode_terminate(s.bin); break;
            }
        }
        const std::vector<uint8_t> data = enc.finish();
        ASSERT_TRUE(enc.error().empty()) << enc.error();

        aec_decoder d;
        aec_engine_start(&d, data.data(), static_cast<int64_t>(data.size()));
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step &s = steps[i];
            int got = 0;
            switch (s.op) {
            case Op::Bin: got = aec_decode_bin(&d, &d.contexts[s.a]); break;
            case Op::Bin2: got = aec_decode_bin2(&d, &d.contexts[s.a], &d.contexts[s.b]); break;
            case Op::Bypass: got = aec_decode_bypass(&d); break;
            case Op::Terminate: got = aec_decode_terminate(&d); break;
            }
            ASSERT_EQ(got, s.bin) << "trial " << trial << " step " << i << " of " << steps.size();
            ASSERT_EQ(d.exhausted, 0) << "trial " << trial << " step " << i;
        }
        expect_same_contexts(d, enc);
    }
}

// One bin coded with a context in a given state; the decoder's context after it.
TEST(AecEngine, ContextAdaptationFollowsStageAndSymbol)
{
    struct Case {
        uint16_t lgpmps;
        uint8_t cycno, mps;
        int bin;
        uint16_t want_lg;
        uint8_t want_cycno, want_mps;
    } cases[] = {
        {1023, 0, 0, 0, 865, 1, 0},   // MPS at stage 0: fastest decay, stage 1
        {1023, 1, 0, 0, 865, 1, 0},   // stage 1 adapts like stage 0
        {1023, 0, 0, 1, 827, 1, 1},   // LPS past 1023: the symbol flips
        {900, 2, 1, 0, 995, 3, 1},    // LPS at stage 2: +95, no flip
        {900, 0, 1, 0, 950, 1, 0},    // LPS at stage 0: +197, flip
        {500, 3, 0, 1, 546, 3, 0},    // LPS at stage 3 stays at 3: +46
        {500, 3, 0, 0, 500 - 15 - 3, 3, 0},   // MPS at stage 3: cwr 5
        {400, 2, 1, 1, 400 - 25 - 6, 2, 1},   // MPS at stage 2: cwr 4
        {7, 1, 0, 0, 7, 1, 0},        // the smallest estimate no longer decays
    };
    for (const Case &c : cases) {
        svacwriter::AecEncoder enc;
        enc.contexts[0] = {c.mps, c.cycno, c.lgpmps};
        enc.encode(c.bin, enc.contexts[0]);
        enc.encode_terminate(1);
        const std::vector<uint8_t> data = enc.finish();
        aec_decoder d;
        aec_engine_start(&d, data.data(), static_cast<int64_t>(data.size()));
        d.contexts[0] = {c.mps, c.cycno, c.lgpmps};
        EXPECT_EQ(aec_decode_bin(&d, &d.contexts[0]), c.bin) << c.lgpmps;
        EXPECT_EQ(d.contexts[0].lgpmps, c.want_lg) << c.lgpmps << " bin " << c.bin;
        EXPECT_EQ(d.contexts[0].cycno, c.want_cycno) << c.lgpmps;
        EXPECT_EQ(d.contexts[0].mps, c.want_mps) << c.lgpmps;
        EXPECT_EQ(aec_decode_terminate(&d), 1);
    }
}

TEST(AecEngine, PairOfContextsCombinesTheirEstimates)
{
    struct Case {
        aec_ctx a, b;
        int bin;
    } cases[] = {
        {{1, 0, 100}, {1, 0, 300}, 1},   // agreeing: mean estimate
        {{1, 0, 100}, {1, 0, 300}, 0},
        {{0, 0, 500}, {1, 0, 500}, 1},   // disagreeing, equal: the second one's symbol
        {{0, 0, 500}, {1, 0, 500}, 0},
        {{0, 2, 40}, {1, 3, 900}, 1},    // disagreeing: the more confident one's symbol
    };
    for (const Case &c : cases) {
        svacwriter::AecEncoder enc;
        enc.contexts[0] = {c.a.mps, c.a.cycno, c.a.lgpmps};
        enc.contexts[1] = {c.b.mps, c.b.cycno, c.b.lgpmps};
        for (int i = 0; i < 3; ++i)
            enc.encode2(c.bin, enc.contexts[0], enc.contexts[1]);
        enc.encode_terminate(1);
        const std::vector<uint8_t> data = enc.finish();
        aec_decoder d;
        aec_engine_start(&d, data.data(), static_cast<int64_t>(data.size()));
        d.contexts[0] = c.a;
        d.contexts[1] = c.b;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(aec_decode_bin2(&d, &d.contexts[0], &d.contexts[1]), c.bin);
        EXPECT_EQ(aec_decode_terminate(&d), 1);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(d.contexts[k].lgpmps, enc.contexts[k].lgpmps);
            EXPECT_EQ(d.contexts[k].mps, enc.contexts[k].mps);
        }
    }
}

TEST(AecEngine, StartTakesLeadingZerosAsExponent)
{
    const uint8_t first_bit_set[] = {0xC5, 0xA0, 0x00};
    aec_decoder d;
    aec_engine_start(&d, first_bit_set, 3);
    EXPECT_EQ(d.value_s, 0u);
    EXPECT_EQ(d.value_t, ((0xC5u << 1) | 1u) & 255u);   // low 7 bits of byte 0, top bit of byte 1
    EXPECT_EQ(d.t1, 255u);
    const uint8_t leading_zeros[] = {0x00, 0x1F, 0xF0, 0x00};
    aec_engine_start(&d, leading_zeros, 4);
    EXPECT_EQ(d.value_s, 11u);
    EXPECT_EQ(d.value_t, 0xFFu);
}

TEST(AecEngine, SpentOrShortDataGivesZeroBinsWithoutReadingPast)
{
    for (size_t length : {0u, 1u, 2u, 3u}) {
        // Heap data of the exact length: any read past it is caught by the address checker.
        std::vector<uint8_t> data(length, 0x00);
        aec_decoder d;
        aec_engine_start(&d, data.data(), static_cast<int64_t>(length));
        aec_ctx before = d.contexts[5];
        int bins = 0;
        for (int i = 0; i < 100; ++i)
            bins += aec_decode_bin(&d, &d.contexts[5]) + aec_decode_bypass(&d);
        EXPECT_EQ(d.exhausted, 1) << length;
        if (length <= 2) {
            EXPECT_EQ(bins, 0) << length;
            EXPECT_EQ(std::memcmp(&before, &d.contexts[5], sizeof before), 0) << length;
        }
        EXPECT_NE(aec_decode_terminate(&d), 0) << length;
    }
}

TEST(AecEngine, TerminateReportsTheEndOnlyAtTheLastDecision)
{
    svacwriter::AecEncoder enc;
    std::mt19937 rng(3);
    for (int mb = 0; mb < 50; ++mb) {
        for (int i = 0; i < 20; ++i)
            enc.encode(rng() % 5 == 0, enc.contexts[i % 4]);
        enc.encode_terminate(mb == 49);
    }
    const std::vector<uint8_t> data = enc.finish();
    aec_decoder d;
    aec_engine_start(&d, data.data(), static_cast<int64_t>(data.size()));
    std::mt19937 again(3);
    for (int mb = 0; mb < 50; ++mb) {
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(aec_decode_bin(&d, &d.contexts[i % 4]), again() % 5 == 0 ? 1 : 0);
        ASSERT_EQ(aec_decode_terminate(&d), mb == 49 ? 1 : 0) << mb;
    }
    EXPECT_EQ(d.exhausted, 0);
}

TEST(AecEncoderChecks, UnterminatedSliceIsRefused)
{
    svacwriter::AecEncoder enc;
    enc.encode(1, enc.contexts[0]);
    EXPECT_TRUE(enc.finish().empty());
    EXPECT_FALSE(enc.error().empty());
}

} // namespace
