// Whole streams in arithmetic mode: the same macroblock decisions written once with
// Exp-Golomb codes and once arithmetic-coded decode to the same pictures, so contexts carried
// from macroblock to macroblock, skipped macroblocks, slice ends and several slices per
// picture stay in step with the writer's.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "intra_fixture.h"
#include "lf_worker.h"
#include "intra_stream.h"
#include "svacwriter/aec_mb_writer.h"
#include "svacwriter/svac_writer.h"

namespace {

using namespace svacwriter;

int32_t pick(std::mt19937 &rng, int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }

struct Config {
    uint32_t mb_width = 4, mb_height = 3;
    uint32_t chroma_format = 1;
    int32_t bit_depth = 8;
    uint32_t max_slices = 3;
    bool loop_filter = true;
    uint32_t seed = 1;
};

// Coefficients of a coded block: never empty (an arithmetic-coded block has at least one).
CoefList coefs(std::mt19937 &rng, int n)
{
    CoefList list = intra_test::random_coefs(rng, n, 6);
    if (list.empty())
        list.push_back({pick(rng, 0, 1) ? 1 : -2, static_cast<uint32_t>(pick(rng, 1, 3))});
    return list;
}

uint32_t mask(uint32_t fmt) { return fmt == 1 ? 63u : fmt == 2 ? 255u : 15u; }

uint32_t random_cbp(std::mt19937 &rng, uint32_t fmt)
{
    return pick(rng, 0, 2) == 0 ? 0u : static_cast<uint32_t>(pick(rng, 0, static_cast<int32_t>(mask(fmt))));
}

bool on_left_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? (i & 1) == 0 : ((i >> 2) & 1) == 0 && (i & 1) == 0; }
bool on_top_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? i < 2 : (i >> 2) < 2 && (i & 3) < 2; }

IntraMb random_intra(std::mt19937 &rng, const Config &cfg, const IntraModeMap &map, uint32_t x, uint32_t y,
                     int32_t avail)
{
    IntraMb mb;
    const bool left = avail & 1, top = avail & 2;
    mb.kind = pick(rng, 0, 1) ? IntraKind::k8x8 : IntraKind::k4x4;
    const int blocks = mb.kind == IntraKind::k8x8 ? 4 : 16;
    for (int i = 0; i < blocks; ++i) {
        const int32_t pred = map.predict(x, y, left, top, mb.kind, mb.luma_modes, i);
        std::vector<int32_t> options;
        for (int32_t m : {pred, 0, 1, 2, 3, 4}) {
            const int32_t rem = m < pred ? m : m - 1;
            if ((m == pred || (rem >= 0 && rem <= 3)) &&
                intra_model::luma_substitute(m, on_left_edge(mb.kind, i) && !left, on_top_edge(mb.kind, i) && !top) >= 0)
                options.push_back(m);
        }
        mb.luma_modes[i] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    for (int j = 0; j < (cfg.chroma_format == 2 ? 2 : 1) && cfg.chroma_format != 0; ++j) {
        std::vector<int32_t> options;
        for (int32_t m = 0; m <= 3; ++m)   // the arithmetic code carries modes 0..3
            if (intra_model::chroma_substitute(m, !left, j == 0 && !top) >= 0)
                options.push_back(m);
        mb.chroma_modes[j] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    mb.cbp = random_cbp(rng, cfg.chroma_format);
    for (int k = 0; k < 4; ++k)
        if (mb.cbp & (1u << k))
            mb.cbp4x4[k] = static_cast<uint8_t>(pick(rng, 0, 15));
    mb.qp_delta = pick(rng, -3, 3);
    for (int i = 0; i < blocks; ++i)
        mb.luma[i] = coefs(rng, mb.kind == IntraKind::k8x8 ? 8 : 4);
    for (auto &c : mb.chroma)
        c = coefs(rng, 8);
    return mb;
}

PMb random_p(std::mt19937 &rng, const Config &cfg, bool two_refs)
{
    PMb mb;
    mb.kind = static_cast<PKind>(pick(rng, 2, 5));
    for (int i = 0; i < p_partitions(mb.kind); ++i) {
        mb.ref_idx[i] = two_refs ? static_cast<uint32_t>(pick(rng, 0, 1)) : 0u;
        const int32_t reach = pick(rng, 0, 4) == 0 ? 70 : 12;
        mb.mvd[i][0] = pick(rng, -reach, reach);
        mb.mvd[i][1] = pick(rng, -reach, reach);
    }
    mb.cbp = random_cbp(rng, cfg.chroma_format);
    mb.qp_delta = pick(rng, -3, 3);
    for (auto &l : mb.luma)
        l = coefs(rng, 8);
    for (auto &c : mb.chroma)
        c = coefs(rng, 8);
    return mb;
}

// A B macroblock whose backward-coded blocks have no symmetric block on their left (left_dirs:
// the directions of the left macroblock's right column, -1 where none).
BMb random_b(std::mt19937 &rng, const Config &cfg, const int left_dirs[2])
{
    for (;;) {
        BMb mb;
        mb.type = static_cast<uint32_t>(pick(rng, 7, 29));
        for (uint32_t &s : mb.sub)
            s = static_cast<uint32_t>(pick(rng, 0, 3));
        BDir dirs[4];
        b_block_dirs(mb.type, mb.sub, dirs);
        bool ok = true;
        for (int i = 0; i < 4; ++i) {
            const int l = (i & 1) ? dirs[i - 1] : left_dirs[i >> 1];
            ok = ok && !(dirs[i] == kDirBwd && l == kDirSym);
        }
        if (!ok)
            continue;
        for (auto &m : mb.mvd) {
            const int32_t reach = pick(rng, 0, 4) == 0 ? 60 : 10;
            m[0] = pick(rng, -reach, reach);
            m[1] = pick(rng, -reach, reach);
        }
        mb.cbp = random_cbp(rng, cfg.chroma_format);
        mb.qp_delta = pick(rng, -3, 3);
        for (auto &l : mb.luma)
            l = coefs(rng, 8);
        for (auto &c : mb.chroma)
            c = coefs(rng, 8);
        return mb;
    }
}

struct Streams {
    std::vector<uint8_t> vlc, aec;
    uint32_t pictures = 0;
};

struct Pic {
    uint32_t frame;
    AecPictureKind kind;
    bool idr = false;
};

const std::vector<Pic> kGroup = {{0, AecPictureKind::kI, true}, {2, AecPictureKind::kP}, {1, AecPictureKind::kB},
                                 {4, AecPictureKind::kP}, {3, AecPictureKind::kB}};

// The pictures of plan (by default I0, P2, B1, P4, B3) in decoding order: every picture in
// random slices, with every macroblock kind the picture type allows, skipped ones included,
// written in both modes from the same values.
Streams build(const Config &cfg, const std::vector<Pic> &plan = kGroup)
{
    std::mt19937 rng(cfg.seed);
    Sps sps;
    sps.chroma_format = cfg.chroma_format;
    sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = static_cast<uint32_t>(cfg.bit_depth - 8);
    sps.mb_width = cfg.mb_width;
    sps.mb_height = cfg.mb_height;
    Pps pps[2];
    for (int m = 0; m < 2; ++m) {
        pps[m].pic_init_qp = static_cast<uint32_t>(7 * (cfg.bit_depth - 8) + 30);
        pps[m].loop_filter_disable_flag = !cfg.loop_filter;
        pps[m].aec_flag = m == 1;
    }
    std::vector<NalUnit> units[2];
    for (int m = 0; m < 2; ++m)
        units[m] = {sps_unit(sps), pps_unit(pps[m], sps)};

    intra_model::LayerGeometry g;
    g.mb_width = cfg.mb_width;
    g.mb_height = cfg.mb_height;
    const uint32_t count = cfg.mb_width * cfg.mb_height;
    int references = 0;
    for (const Pic &pic : plan) {
        std::set<uint32_t> cuts;
        const uint32_t slices = static_cast<uint32_t>(pick(rng, 1, static_cast<int32_t>(std::min(cfg.max_slices, count))));
        for (uint32_t s = 1; s < slices; ++s)
            cuts.insert(static_cast<uint32_t>(pick(rng, 1, static_cast<int32_t>(count) - 1)));
        std::vector<uint32_t> starts = {0};
        starts.insert(starts.end(), cuts.begin(), cuts.end());
        starts.push_back(count);

        IntraModeMap map[2] = {IntraModeMap(g.mb_width, g.mb_height), IntraModeMap(g.mb_width, g.mb_height)};
        intra_model::AvailabilityTracker av(g);
        AecPictureState state(g.mb_width, g.mb_height);
        std::vector<std::array<int, 4>> dirs(count, {-1, -1, -1, -1});
        IntraMb as_modes;   // what an inter macroblock leaves for intra mode prediction
        for (int32_t &m : as_modes.luma_modes)
            m = 2;
        const uint32_t nal = pic.idr ? kNalIdrBase : kNalSliceBase;
        for (size_t s = 0; s + 1 < starts.size(); ++s) {
            SliceHeader sh;
            sh.frame_num = pic.frame;
            sh.first_mb_in_slice = starts[s];
            sh.slice_type = pic.kind == AecPictureKind::kI ? kSliceI : pic.kind == AecPictureKind::kP ? kSliceP : kSliceB;
            sh.single_ref_flag = references < 2 || pick(rng, 0, 2) == 0;
            sh.fixed_slice_qp = pick(rng, 0, 3) == 0;
            sh.slice_qp_delta = pick(rng, -4, 4);
            BitWriter w[2];
            for (int m = 0; m < 2; ++m)
                write_slice_header(w[m], sh, sps, pps[m], nal);
            w[1].align_zero();
            MbLayerParams ip;
            ip.chroma_format = cfg.chroma_format;
            ip.fixed_slice_qp = sh.fixed_slice_qp;
            ip.type_offset = pic.kind == AecPictureKind::kI ? 0 : pic.kind == AecPictureKind::kP ? 4 : 23;
            PLayerParams pp;
            pp.chroma_format = cfg.chroma_format;
            pp.fixed_slice_qp = sh.fixed_slice_qp;
            pp.single_ref = sh.single_ref_flag;
            AecSliceWriter aec(state, ip, pic.kind, sh.single_ref_flag);
            uint32_t run = 0;
            const int32_t number = static_cast<int32_t>(s) + 1;
            for (uint32_t a = starts[s]; a < starts[s + 1]; ++a) {
                const uint32_t x = a % g.mb_width, y = a / g.mb_width;
                const int32_t avail = av.avail(a, number, starts[s]);
                const int32_t roll = pick(rng, 0, 99);
                if (pic.kind != AecPictureKind::kI && roll < 25) {
                    ++run;
                    aec.skip(a, avail);
                    for (auto &mm : map)
                        mm.store(x, y, as_modes);
                    continue;
                }
                if (pic.kind != AecPictureKind::kI)
                    write_skip_run(w[0], run);
                run = 0;
                if (pic.kind == AecPictureKind::kI || roll < 40) {
                    const IntraMb mb = random_intra(rng, cfg, map[0], x, y, avail);
                    write_intra_mb(w[0], mb, ip, map[0], x, y, avail & 1, avail & 2);
                    aec.intra(a, avail, mb, map[1]);
                } else if (pic.kind == AecPictureKind::kP) {
                    const PMb mb = random_p(rng, cfg, !sh.single_ref_flag);
                    write_p_mb(w[0], mb, pp);
                    aec.p(a, avail, mb);
                    for (auto &mm : map)
                        mm.store(x, y, as_modes);
                } else {
                    const int left_dirs[2] = {(avail & 1) ? dirs[a - 1][1] : -1, (avail & 1) ? dirs[a - 1][3] : -1};
                    const BMb mb = random_b(rng, cfg, left_dirs);
                    BDir d[4];
                    b_block_dirs(mb.type, mb.sub, d);
                    for (int i = 0; i < 4; ++i)
                        dirs[a][static_cast<size_t>(i)] = d[i];
                    write_b_mb(w[0], mb, pp);
                    aec.b(a, avail, mb);
                    for (auto &mm : map)
                        mm.store(x, y, as_modes);
                }
                av.decoded(a, number);
            }
            if (run > 0)
                write_skip_run(w[0], run);
            aec.finish(w[1]);
            for (int m = 0; m < 2; ++m) {
                EXPECT_TRUE(w[m].ok()) << w[m].error();
                units[m].push_back(finish_unit(nal_header(nal), w[m]));
            }
            // Skipped macroblocks are decoded too: they count for later availability.
            for (uint32_t a = starts[s]; a < starts[s + 1]; ++a)
                av.decoded(a, number);
        }
        if (pic.kind != AecPictureKind::kB)
            ++references;
    }
    Streams out;
    out.vlc = make_stream(units[0]);
    out.aec = make_stream(units[1]);
    out.pictures = static_cast<uint32_t>(plan.size());
    return out;
}

struct Case {
    const char *name;
    Config cfg;
};

std::vector<Case> cases()
{
    std::vector<Case> out;
    for (uint32_t fmt : {1u, 2u})
        for (int32_t depth : {8, 10}) {
            Config c;
            c.chroma_format = fmt;
            c.bit_depth = depth;
            out.push_back({fmt == 1 ? "420" : "422", c});
        }
    Config mono;
    mono.chroma_format = 0;
    out.push_back({"400", mono});
    Config many;
    many.mb_width = 7;
    many.mb_height = 5;
    many.max_slices = 6;
    out.push_back({"many_slices", many});
    return out;
}

class ArithmeticStream : public testing::TestWithParam<Case> {};

TEST_P(ArithmeticStream, DecodesLikeTheSameMacroblocksInExpGolombMode)
{
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        Config cfg = GetParam().cfg;
        cfg.seed = seed * 7919 + cfg.chroma_format * 13 + static_cast<uint32_t>(cfg.bit_depth);
        const Streams s = build(cfg);
        ASSERT_FALSE(s.vlc.empty());
        ASSERT_FALSE(s.aec.empty());
        for (uint32_t flags : {0u, ZQ_SVAC_Dec_GetCPUCaps()}) {
            const intra_test::Decoded vlc = intra_test::decode_all(s.vlc, flags);
            const intra_test::Decoded aec = intra_test::decode_all(s.aec, flags);
            ASSERT_EQ(vlc.result, 0);
            ASSERT_EQ(aec.result, 0);
            ASSERT_EQ(vlc.pictures[0].size(), s.pictures);
            ASSERT_EQ(aec.pictures[0].size(), s.pictures);
            for (size_t i = 0; i < s.pictures; ++i)
                ASSERT_EQ(intra_test::first_difference(vlc.pictures[0][i], aec.pictures[0][i]), "")
                    << "seed " << cfg.seed << " output picture " << i << " cpu flags " << flags;
        }
    }
    ZQ_SVAC_Dec_Init(0);
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    return std::string(info.param.name) + "_" + std::to_string(info.param.cfg.bit_depth) + "bit";
}

INSTANTIATE_TEST_SUITE_P(Configurations, ArithmeticStream, testing::ValuesIn(cases()), case_name);

using Bytes = std::vector<uint8_t>;
using Pictures = std::vector<intra_model::Picture>;

Bytes join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Pictures join(Pictures a, const Pictures &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void expect_pictures(const Bytes &stream, const Pictures &want, const std::string &what)
{
    const intra_test::Decoded got = intra_test::decode_all(stream);
    ASSERT_EQ(got.result, 0) << what;
    ASSERT_EQ(got.pictures[0].size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(intra_test::first_difference(want[i], got.pictures[0][i]), "") << what << ", output picture " << i;
}

// A key picture after a group with B pictures: what the group still holds comes out first, in
// order, then the key picture and its group; nothing is lost or output twice. Expected
// pictures are those of each part decoded alone.
TEST(OutputOrder, AKeyPictureAfterBPicturesComesOutAfterTheGroupBefore)
{
    // Each part also as plain slices (a key picture that restarts the numbering without being
    // an IDR picture): the same pictures, which alone could not be decoded.
    Config cfg;
    cfg.seed = 11;
    std::vector<Pic> plan = kGroup;
    const Streams group = build(cfg, plan);
    plan[0].idr = false;
    const Streams group_plain = build(cfg, plan);
    cfg.seed = 12;
    const Streams key = build(cfg, {{0, AecPictureKind::kI, true}});
    const Streams key_plain = build(cfg, {{0, AecPictureKind::kI, false}});
    for (int mode = 0; mode < 2; ++mode) {
        SCOPED_TRACE(mode ? "arithmetic" : "exp-golomb");
        const Bytes &g = mode ? group.aec : group.vlc, &gn = mode ? group_plain.aec : group_plain.vlc;
        const Bytes &k = mode ? key.aec : key.vlc, &kn = mode ? key_plain.aec : key_plain.vlc;
        const Pictures gp = intra_test::decode_all(g).pictures[0];
        const Pictures kp = intra_test::decode_all(k).pictures[0];
        ASSERT_EQ(gp.size(), 5u);
        ASSERT_EQ(kp.size(), 1u);
        const struct {
            const char *name;
            Bytes stream;
            Pictures want;
        } cases[] = {
            {"group, key picture", join(g, k), join(gp, kp)},
            {"group, key picture that is no IDR picture", join(g, kn), join(gp, kp)},
            {"group twice", join(g, g), join(gp, gp)},
            {"group twice, the second starting without IDR", join(g, gn), join(gp, gp)},
            {"group, two key pictures, group", join(join(join(g, k), kn), g), join(join(join(gp, kp), kp), gp)},
        };
        for (const auto &c : cases)
            expect_pictures(c.stream, c.want, c.name);
    }
}

// I0, I4, B2: I4 follows on from I0 (it restarts nothing), so it waits like a P picture and the
// B picture before it in display order comes out first.
TEST(OutputOrder, AnIntraPictureThatFollowsOnWaitsForTheBPictureBeforeIt)
{
    Config cfg;
    cfg.seed = 5;
    const std::vector<Pic> refs = {{0, AecPictureKind::kI, true}, {4, AecPictureKind::kI}};
    std::vector<Pic> plan = refs;
    plan.push_back({2, AecPictureKind::kB});
    const Streams two = build(cfg, refs), three = build(cfg, plan);
    for (int mode = 0; mode < 2; ++mode) {
        SCOPED_TRACE(mode ? "arithmetic" : "exp-golomb");
        const Pictures ip = intra_test::decode_all(mode ? two.aec : two.vlc).pictures[0];
        const intra_test::Decoded got = intra_test::decode_all(mode ? three.aec : three.vlc);
        ASSERT_EQ(ip.size(), 2u);
        ASSERT_EQ(got.pictures[0].size(), 3u);
        EXPECT_EQ(intra_test::first_difference(ip[0], got.pictures[0][0]), "") << "I0";
        EXPECT_NE(intra_test::first_difference(ip[1], got.pictures[0][1]), "") << "B2 before I4";
        EXPECT_EQ(intra_test::first_difference(ip[1], got.pictures[0][2]), "") << "I4";
    }
}

} // namespace

namespace {

// The loop filter on the worker thread and inline on the decoding thread give the same pictures.
TEST(LoopFilterThread, WorkerAndInlineFilteringDecodeAlike)
{
    Config cfg;
    cfg.mb_width = 7;
    cfg.mb_height = 5;
    cfg.max_slices = 4;
    cfg.seed = 31;
    const Streams s = build(cfg);
    const int32_t saved = lf_worker_min_mbs;
    for (int mode = 0; mode < 2; ++mode) {
        const Bytes &stream = mode ? s.aec : s.vlc;
        lf_worker_min_mbs = 0;
        const intra_test::Decoded worker = intra_test::decode_all(stream, ZQ_SVAC_Dec_GetCPUCaps());
        lf_worker_min_mbs = INT32_MAX;
        const intra_test::Decoded inline_ = intra_test::decode_all(stream, ZQ_SVAC_Dec_GetCPUCaps());
        lf_worker_min_mbs = saved;
        ASSERT_EQ(worker.result, 0);
        ASSERT_EQ(inline_.result, 0);
        ASSERT_EQ(worker.pictures[0].size(), s.pictures);
        ASSERT_EQ(inline_.pictures[0].size(), s.pictures);
        for (size_t i = 0; i < s.pictures; ++i)
            EXPECT_EQ(intra_test::first_difference(worker.pictures[0][i], inline_.pictures[0][i]), "")
                << (mode ? "arithmetic" : "exp-golomb") << ", picture " << i;
    }
    ZQ_SVAC_Dec_Init(0);
}

} // namespace
