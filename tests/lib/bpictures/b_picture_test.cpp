// B pictures at picture level, and the P pictures decoded after them.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "b_stream.h"
#include "intra_fixture.h"

namespace {

using b_test::BBlock;
using b_test::BMbs;
using b_test::Geometry;
using b_test::StreamBuilder;
using inter_model::MbKind;
using inter_model::PCodedMb;
using svacwriter::BMb;
using svacwriter::PKind;

int32_t pick(std::mt19937 &rng, int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }

// Every macroblock P_16X16 with a random vector difference and no residual.
std::vector<PCodedMb> moving_p(StreamBuilder &sb)
{
    std::vector<PCodedMb> mbs(sb.mb_count());
    for (uint32_t a = 0; a < sb.mb_count(); ++a) {
        mbs[a].addr = a;
        mbs[a].kind = MbKind::kCoded;
        mbs[a].p.kind = PKind::k16x16;
        mbs[a].p.mvd[0][0] = pick(sb.rng(), -24, 24);
        mbs[a].p.mvd[0][1] = pick(sb.rng(), -24, 24);
    }
    return mbs;
}

// Every macroblock skipped, or every macroblock P_8X8 without vector differences: with zero
// vectors all around, either copies its reference.
std::vector<PCodedMb> still_p(uint32_t count, bool skipped)
{
    std::vector<PCodedMb> mbs(count);
    for (uint32_t a = 0; a < count; ++a) {
        mbs[a].addr = a;
        mbs[a].kind = skipped ? MbKind::kSkip : MbKind::kCoded;
        mbs[a].p.kind = PKind::k8x8;
    }
    return mbs;
}

using Subs = std::array<uint32_t, 4>;

BMb b_mb(uint32_t type, const Subs &sub = {})
{
    BMb mb;
    mb.type = type;
    for (int i = 0; i < 4; ++i)
        mb.sub[i] = sub[i];
    for (auto &m : mb.mvd) {
        m[0] = 13;
        m[1] = -9;
    }
    return mb;
}

void expect_equal(const intra_model::Picture &want, const intra_model::Picture &got, const std::string &what)
{
    EXPECT_EQ(intra_test::first_difference(want, got), "") << what;
}

// A P picture after a B picture predicts from list 0 only, whatever the B picture's last
// macroblock left behind: I0, P4 (moving), B2, then P6 with zero vectors must copy P4.
TEST(PAfterB, CopiesItsReferenceWhateverTheBPictureEndedWith)
{
    struct Case {
        uint32_t type;
        Subs sub;
    };
    std::vector<Case> cases = {{30, {}}, {7, {}}, {29, {0, 0, 0, 2}}, {29, {2, 3, 1, 0}}, {29, {3, 3, 2, 2}}};
    for (uint32_t t = 8; t <= 28; ++t)
        cases.push_back({t, {}});
    for (bool skipped : {true, false})
        for (const Case &c : cases) {
            const std::string name = "B ends with type " + std::to_string(c.type) + ", P6 " +
                                     (skipped ? "skipped" : "P_8X8");
            SCOPED_TRACE(name);
            Geometry geo;
            geo.loop_filter = true;
            StreamBuilder sb(geo, 17 + c.type);
            sb.intra(0);
            const intra_model::Picture p4 = sb.p(2, moving_p(sb));
            BMbs b(sb.mb_count());
            if (c.type != 30)
                b.back() = b_mb(c.type, c.sub);
            sb.b(1, b);
            sb.p(3, still_p(sb.mb_count(), skipped));
            const intra_test::Decoded got = intra_test::decode_all(sb.bytes());
            ASSERT_EQ(got.result, 0);
            ASSERT_EQ(got.pictures[0].size(), 4u);
            expect_equal(p4, got.pictures[0][2], "P4");
            expect_equal(got.pictures[0][2], got.pictures[0][3], "P6 against P4");
        }
}

} // namespace
