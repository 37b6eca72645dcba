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
std::vector<PCodedMb> moving_p(StreamBuilder &sb, int layer = 0)
{
    std::vector<PCodedMb> mbs(sb.mb_count(layer));
    for (uint32_t a = 0; a < mbs.size(); ++a) {
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

namespace {

const uint32_t kCpuFlags[2] = {0, ZQ_SVAC_Dec_GetCPUCaps()};

// Decoded with the portable and, where the machine has them, the SSSE3 kernels.
std::vector<intra_test::Decoded> decode_both(const std::vector<uint8_t> &bytes)
{
    std::vector<intra_test::Decoded> out;
    for (uint32_t flags : kCpuFlags)
        out.push_back(intra_test::decode_all(bytes, flags));
    ZQ_SVAC_Dec_Init(0);
    return out;
}

// Every macroblock P_16X16 with a zero vector and a residual in every block: a backward
// reference unlike the forward one, with zero co-located motion.
std::vector<PCodedMb> residual_p(uint32_t count, uint32_t chroma_format)
{
    std::vector<PCodedMb> mbs(count);
    for (uint32_t a = 0; a < count; ++a) {
        mbs[a].addr = a;
        mbs[a].kind = MbKind::kCoded;
        mbs[a].p.kind = PKind::k16x16;
        mbs[a].p.cbp = chroma_format == 1 ? 63u : chroma_format == 2 ? 255u : 15u;
        for (auto &l : mbs[a].p.luma)
            l = {{static_cast<int32_t>(a % 7) - 3 ? 9 : -9, 1}, {-4, 2}, {30 - static_cast<int32_t>(a), 1}};
        for (auto &c : mbs[a].p.chroma)
            c = {{-12, 1}, {5, 3}};
    }
    return mbs;
}

// Every macroblock intra: spatial direct in the B pictures that follow.
std::vector<PCodedMb> intra_p(uint32_t count)
{
    std::vector<PCodedMb> mbs(count);
    for (uint32_t a = 0; a < count; ++a) {
        mbs[a].addr = a;
        mbs[a].kind = MbKind::kIntra;
    }
    return mbs;
}

std::vector<BBlock> uniform(uint32_t count, const BBlock mb[4])
{
    std::vector<BBlock> blocks;
    for (uint32_t a = 0; a < count; ++a)
        blocks.insert(blocks.end(), mb, mb + 4);
    return blocks;
}

struct Layout {
    const char *name;
    uint32_t chroma_format;
    int32_t bit_depth;
};
const Layout kLayouts[] = {{"4:2:0 8-bit", 1, 8}, {"4:2:2 10-bit", 2, 10}, {"4:0:0 8-bit", 0, 8}};

// With zero vectors everywhere each block is the forward reference, the backward reference or
// their rounded average, as its type's directions say; the direct blocks average, whether
// their vectors are temporal (co-located inter macroblocks) or spatial (co-located intra ones).
TEST(BPicture, ZeroVectorsGiveTheReferencesOrTheirAverage)
{
    std::vector<std::pair<uint32_t, Subs>> types = {{30, {}}, {7, {}}, {29, {0, 1, 2, 3}}, {29, {3, 2, 1, 0}},
                                                    {29, {1, 1, 2, 2}}};
    for (uint32_t t = 8; t <= 28; ++t)
        types.push_back({t, {}});
    for (const Layout &layout : kLayouts)
        for (bool temporal : {true, false}) {
            Geometry geo;
            geo.mb_width = 3;
            geo.mb_height = 2;
            geo.chroma_format = layout.chroma_format;
            geo.bit_depth = layout.bit_depth;
            for (const auto &[type, sub] : types) {
                SCOPED_TRACE(std::string(layout.name) + (temporal ? ", temporal" : ", spatial") + ", type " +
                             std::to_string(type) + " sub " + std::to_string(sub[0]) + std::to_string(sub[1]) +
                             std::to_string(sub[2]) + std::to_string(sub[3]));
                StreamBuilder sb(geo, 5);
                sb.intra(0);
                sb.p(2, temporal ? residual_p(sb.mb_count(), geo.chroma_format) : intra_p(sb.mb_count()));
                BMbs b(sb.mb_count());
                if (type != 30)
                    for (auto &mb : b) {
                        BMb coded;
                        coded.type = type;
                        std::copy(sub.begin(), sub.end(), coded.sub);
                        mb = coded;
                    }
                sb.b(1, b);
                BBlock motion[4];
                b_test::zero_motion(type, sub.data(), motion);
                const intra_model::Picture want =
                    b_test::predict_b(sb.layer(), sb.ref(1), sb.ref(0), uniform(sb.mb_count(), motion));
                for (const intra_test::Decoded &got : decode_both(sb.bytes())) {
                    ASSERT_EQ(got.result, 0);
                    ASSERT_EQ(got.pictures[0].size(), 3u);
                    expect_equal(sb.ref(1), got.pictures[0][0], "I0");
                    expect_equal(want, got.pictures[0][1], "B");
                    expect_equal(sb.ref(0), got.pictures[0][2], "backward reference");
                }
            }
        }
}

// Forward-only B macroblocks predict like a P picture from the forward reference, backward-only
// ones like a P picture from the backward reference, deblocking included, when the vector
// differences and the picture distances are the same.
TEST(BPicture, OneDirectionEqualsTheEquivalentPPicture)
{
    for (const Layout &layout : kLayouts)
        for (bool forward : {true, false}) {
            SCOPED_TRACE(std::string(layout.name) + (forward ? ", forward" : ", backward"));
            Geometry geo;
            geo.chroma_format = layout.chroma_format;
            geo.bit_depth = layout.bit_depth;
            geo.loop_filter = true;
            std::mt19937 rng(layout.bit_depth * 3 + layout.chroma_format);
            std::vector<PCodedMb> p_mbs(geo.mb_width * geo.mb_height);
            BMbs b(p_mbs.size());
            for (uint32_t a = 0; a < p_mbs.size(); ++a) {
                p_mbs[a].addr = a;
                p_mbs[a].kind = MbKind::kCoded;
                BMb mb;
                mb.type = forward ? 8 : 9;
                for (int c = 0; c < 2; ++c)
                    mb.mvd[0][c] = p_mbs[a].p.mvd[0][c] = pick(rng, -40, 40);
                b[a] = mb;
            }
            // I0, R at 2, B at 1 against I0, R at 2, P at 3 (backward) or I0, P at 1 (forward):
            // every distance is 2.
            StreamBuilder with_b(geo, 9), with_p(geo, 9);
            with_b.intra(0);
            with_p.intra(0);
            with_b.p(2, residual_p(with_b.mb_count(), geo.chroma_format));
            with_b.b(1, b);
            if (!forward)
                with_p.p(2, residual_p(with_p.mb_count(), geo.chroma_format));
            const intra_model::Picture want = with_p.p(forward ? 1 : 3, p_mbs);
            for (const intra_test::Decoded &got : decode_both(with_b.bytes())) {
                ASSERT_EQ(got.result, 0);
                ASSERT_EQ(got.pictures[0].size(), 3u);
                expect_equal(want, got.pictures[0][1], "B");
            }
        }
}

// Temporal direct scales the co-located vector by the picture distances: (8, -4) of a P
// picture at distance 4 gives (4, -2) forward and (-4, 2) backward halfway; at distance 6 a B
// picture 2 after the forward reference gets (2, -1) and (-5, 2).
TEST(BPicture, TemporalDirectScalesTheCoLocatedVector)
{
    struct Case {
        uint32_t p_frame;
        BBlock block;
    };
    const Case cases[] = {{2, {true, true, 4, -2, -4, 2}}, {3, {true, true, 2, -1, -5, 2}}};
    for (const Layout &layout : kLayouts)
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(layout.name) + ", P at frame " + std::to_string(c.p_frame));
            Geometry geo;
            geo.chroma_format = layout.chroma_format;
            geo.bit_depth = layout.bit_depth;
            StreamBuilder sb(geo, 21);
            sb.intra(0);
            // The first vector difference gives every macroblock the vector (8, -4).
            std::vector<PCodedMb> p_mbs(sb.mb_count());
            for (uint32_t a = 0; a < p_mbs.size(); ++a) {
                p_mbs[a].addr = a;
                p_mbs[a].kind = MbKind::kCoded;
            }
            p_mbs[0].p.mvd[0][0] = 8;
            p_mbs[0].p.mvd[0][1] = -4;
            sb.p(c.p_frame, p_mbs);
            BMbs b(sb.mb_count());
            for (uint32_t a = 0; a < b.size(); a += 2)
                b[a] = BMb{};   // B_DIRECT between B_SKIP macroblocks
            sb.b(1, b);
            const BBlock mb[4] = {c.block, c.block, c.block, c.block};
            const intra_model::Picture want =
                b_test::predict_b(sb.layer(), sb.ref(1), sb.ref(0), uniform(sb.mb_count(), mb));
            for (const intra_test::Decoded &got : decode_both(sb.bytes())) {
                ASSERT_EQ(got.result, 0);
                ASSERT_EQ(got.pictures[0].size(), 3u);
                expect_equal(want, got.pictures[0][1], "B");
            }
        }
}

// B_8X8 with spatial direct sub-blocks (the co-located macroblock is intra) between coded
// sub-blocks with vectors: a coded sub-block keeps its own directions and vectors, wherever
// the direct prediction falls. A one-macroblock picture, so every prediction is known: direct
// blocks (0, 0) both ways, coded vectors equal their differences, the symmetric backward vector
// the negated forward one.
TEST(BPicture, EightByEightMixesDirectAndCodedSubBlocks)
{
    struct Case {
        const char *name;
        Subs sub;
        int32_t mvd[3][2];
        BBlock want[4];
    };
    const Case cases[] = {
        {"direct, forward, backward, symmetric", {0, 1, 2, 3}, {{12, -8}, {-6, 5}, {9, 4}},
         {{true, true}, {true, false, 12, -8}, {false, true, 0, 0, 9, 4}, {true, true, -6, 5, 6, -5}}},
        {"forward, backward, direct, direct", {1, 2, 0, 0}, {{-13, 7}, {10, -3}},
         {{true, false, -13, 7}, {false, true, 0, 0, 10, -3}, {true, true}, {true, true}}},
        {"backward, symmetric, direct, forward", {2, 3, 0, 1}, {{-9, -9}, {14, 2}, {3, 11}},
         {{false, true, 0, 0, 3, 11}, {true, true, -9, -9, 9, 9}, {true, true}, {true, false, 14, 2}}},
    };
    for (const Layout &layout : kLayouts)
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(layout.name) + ", " + c.name);
            Geometry geo;
            geo.mb_width = geo.mb_height = 1;
            geo.chroma_format = layout.chroma_format;
            geo.bit_depth = layout.bit_depth;
            StreamBuilder sb(geo, 33);
            sb.intra(0);
            sb.p(2, intra_p(1));
            BMb mb;
            mb.type = 29;
            std::copy(c.sub.begin(), c.sub.end(), mb.sub);
            for (int i = 0; i < 3; ++i)
                for (int k = 0; k < 2; ++k)
                    mb.mvd[i][k] = c.mvd[i][k];
            sb.b(1, {mb});
            const intra_model::Picture want =
                b_test::predict_b(sb.layer(), sb.ref(1), sb.ref(0), {c.want, c.want + 4});
            for (const intra_test::Decoded &got : decode_both(sb.bytes())) {
                ASSERT_EQ(got.result, 0);
                ASSERT_EQ(got.pictures[0].size(), 3u);
                expect_equal(want, got.pictures[0][1], "B");
            }
        }
}

// Two B pictures between the references come out between them in display order: I0, B1, B2,
// P3 from the decoding order I0, P3, B1, B2.
TEST(BPicture, TwoBPicturesBetweenTheReferences)
{
    Geometry geo;
    geo.loop_filter = true;
    StreamBuilder sb(geo, 41);
    sb.intra(0);
    sb.p(3, residual_p(sb.mb_count(), geo.chroma_format));
    sb.b(1, BMbs(sb.mb_count()));   // skipped: the average
    BMbs forward(sb.mb_count());
    for (auto &mb : forward) {
        BMb coded;
        coded.type = 8;             // forward with zero vectors: a copy of I0
        mb = coded;
    }
    sb.b(2, forward);
    const BBlock both[4] = {{true, true}, {true, true}, {true, true}, {true, true}};
    const intra_model::Picture average =
        b_test::predict_b(sb.layer(), sb.ref(1), sb.ref(0), uniform(sb.mb_count(), both));
    for (const intra_test::Decoded &got : decode_both(sb.bytes())) {
        ASSERT_EQ(got.result, 0);
        ASSERT_EQ(got.pictures[0].size(), 4u);
        expect_equal(sb.ref(1), got.pictures[0][0], "I0");
        expect_equal(average, got.pictures[0][1], "B1");
        expect_equal(sb.ref(1), got.pictures[0][2], "B2");
        expect_equal(sb.ref(0), got.pictures[0][3], "P3");
    }
}

} // namespace

namespace {

// Two layers, each with its own references, decoded interleaved: I0, P2 (moving, some intra
// macroblocks), B1, P3 (zero vectors) per layer. The enhancement layer's P pictures equal the
// inter model at twice the size, and a P picture after the other layer's B picture still
// copies its own reference.
TEST(TwoLayers, InterPicturesInTheEnhancementLayer)
{
    for (const Layout &layout : {kLayouts[0], kLayouts[1]}) {
        SCOPED_TRACE(layout.name);
        Geometry geo;
        geo.mb_width = geo.mb_height = 2;
        geo.chroma_format = layout.chroma_format;
        geo.bit_depth = layout.bit_depth;
        geo.loop_filter = true;
        geo.svc = true;
        StreamBuilder sb(geo, 57);
        intra_model::Picture want[2][4];
        for (int l = 0; l < 2; ++l)
            want[l][0] = sb.intra(0, l);
        for (int l = 0; l < 2; ++l) {
            std::vector<PCodedMb> mbs = moving_p(sb, l);
            for (size_t a = 1; a < mbs.size(); a += 3)
                mbs[a].kind = MbKind::kIntra;
            want[l][2] = want[l][3] = sb.p(2, mbs, l);
        }
        BMbs backward(sb.mb_count(0));
        for (auto &mb : backward) {
            BMb coded;
            coded.type = 9;         // zero vectors: a copy of P2
            mb = coded;
        }
        sb.b(1, backward, 0);
        want[0][1] = want[0][2];
        sb.b(1, BMbs(sb.mb_count(1)), 1);   // temporal direct from the moving P2
        for (int l = 0; l < 2; ++l)
            sb.p(3, still_p(sb.mb_count(l), true), l);
        for (const intra_test::Decoded &got : decode_both(sb.bytes())) {
            ASSERT_EQ(got.result, 0);
            for (int l = 0; l < 2; ++l) {
                ASSERT_EQ(got.pictures[l].size(), 4u) << "layer " << l;
                for (int i = 0; i < 4; ++i)
                    if (l == 0 || i != 1)
                        expect_equal(want[l][i], got.pictures[l][i],
                                     "layer " + std::to_string(l) + " picture " + std::to_string(i));
            }
        }
    }
}

} // namespace
