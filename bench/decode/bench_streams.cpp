#include "bench_streams.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/mb_writer.h"
#include "svacwriter/svac_writer.h"

using namespace svacwriter;

namespace bench {

namespace {

// The hard set: modes by cost, texture kept (psy) and bits weighed lightly, so that on the
// default pictures (flat areas with noise) as few macroblocks are skipped and as many split as
// x264 does at the same size: at the low rate about an eighth skipped and a third split, at
// the high rate nearly none skipped and three fifths split (every partitioning costed).
constexpr int kHardLowQp = 20, kHardHighQp = 18;
constexpr float kHardRounding = 0.45f, kHardPsy = 4, kHardLambdaScale = 0.1f;
constexpr float kHardLowSplitMargin = 0.01f, kHardHighSplitMargin = 1;

int pick(std::mt19937 &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

// Up to max_count levels of magnitude up to max_level, at random positions of an n x n block.
CoefList coefs(std::mt19937 &rng, int n, int max_count, int max_level)
{
    CoefList list;
    const int count = pick(rng, 0, max_count);
    std::vector<int> positions;
    for (int i = 0; i < count; ++i)
        positions.push_back(pick(rng, 0, std::min(n * n - 1, 4 * max_count)));
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    int pos = -1;
    for (int p : positions) {
        const int level = pick(rng, 1, max_level);
        list.push_back({pick(rng, 0, 1) ? level : -level, static_cast<uint32_t>(p - pos)});
        pos = p;
    }
    std::reverse(list.begin(), list.end());
    return list;
}

// A luma mode for block i that needs no missing neighbour and that the syntax can code.
int32_t mode_for(std::mt19937 &rng, int32_t pred, bool left_edge_missing, bool top_edge_missing)
{
    std::vector<int32_t> options;
    for (int32_t m : {pred, 0, 1, 2, 3, 4}) {
        const int32_t rem = m < pred ? m : m - 1;
        if (m != pred && (rem < 0 || rem > 3))
            continue;
        if (left_edge_missing && top_edge_missing && m != 2)
            continue;
        if (left_edge_missing && m != 0 && m != 2)
            continue;
        if (top_edge_missing && m != 1 && m != 2)
            continue;
        options.push_back(m);
    }
    return options[static_cast<size_t>(pick(rng, 0, static_cast<int>(options.size()) - 1))];
}

IntraMb intra_mb(std::mt19937 &rng, const IntraModeMap &map, uint32_t x, uint32_t y)
{
    IntraMb mb;
    mb.kind = pick(rng, 0, 3) == 0 ? IntraKind::k4x4 : IntraKind::k8x8;
    const bool is8 = mb.kind == IntraKind::k8x8;
    for (int i = 0; i < (is8 ? 4 : 16); ++i) {
        const bool left_edge = is8 ? (i & 1) == 0 : (i & 5) == 0;
        const bool top_edge = is8 ? i < 2 : (i & 10) == 0;
        const int32_t pred = map.predict(x, y, x > 0, y > 0, mb.kind, mb.luma_modes, i);
        mb.luma_modes[i] = mode_for(rng, pred, left_edge && x == 0, top_edge && y == 0);
    }
    mb.chroma_modes[0] = x == 0 && y == 0 ? 0 : x == 0 ? 4 : y == 0 ? 1 : pick(rng, 0, 6);
    mb.cbp = static_cast<uint32_t>(pick(rng, 0, 63));
    for (int k = 0; k < 4; ++k)
        mb.cbp4x4[k] = static_cast<uint8_t>(pick(rng, 0, 15));
    mb.qp_delta = pick(rng, -1, 1);
    for (int i = 0; i < (is8 ? 4 : 16); ++i)
        mb.luma[i] = coefs(rng, is8 ? 8 : 4, is8 ? 6 : 3, 6);
    for (auto &c : mb.chroma)
        c = coefs(rng, 8, 5, 6);
    return mb;
}

struct InterLevel {
    int skip_percent;     // of the macroblocks
    int coded_percent;    // of the non-skipped ones that carry a residual
    int max_coefs;
    int max_level;
};

PMb p_mb(std::mt19937 &rng, const InterLevel &level)
{
    PMb mb;
    const int shape = pick(rng, 0, 9);
    mb.kind = shape < 6 ? PKind::k16x16 : shape < 7 ? PKind::k16x8 : shape < 8 ? PKind::k8x16 : PKind::k8x8;
    for (int i = 0; i < p_partitions(mb.kind); ++i)
        for (int c = 0; c < 2; ++c) {
            // Differences to the predicted vector stay small: a smooth, drifting field.
            const int roll = pick(rng, 0, 9);
            mb.mvd[i][c] = roll < 4 ? 0 : roll < 9 ? pick(rng, -2, 2) : pick(rng, -12, 12);
        }
    if (pick(rng, 0, 99) < level.coded_percent) {
        mb.cbp = static_cast<uint32_t>(pick(rng, 1, 15));
        if (pick(rng, 0, 2) == 0)
            mb.cbp |= static_cast<uint32_t>(pick(rng, 1, 3)) << 4;
        mb.qp_delta = pick(rng, -1, 1);
        for (auto &l : mb.luma)
            l = coefs(rng, 8, level.max_coefs, level.max_level);
        for (auto &c : mb.chroma)
            c = coefs(rng, 8, 1, 2);
    }
    return mb;
}

std::vector<uint8_t> stream(Content c, uint32_t pictures, Mix *mix)
{
    *mix = Mix{};
    mix->fractional = -1;
    std::mt19937 rng(2024);
    Sps sps;
    sps.mb_width = kMbWidth;
    sps.mb_height = kMbHeight;
    Pps pps;
    pps.pic_init_qp = 30;
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps)};
    const InterLevel level = c == Content::kInterLow ? InterLevel{35, 25, 2, 2} : InterLevel{20, 60, 5, 4};
    for (uint32_t f = 0; f < pictures; ++f) {
        const bool intra = c == Content::kIntraLow || c == Content::kIntraHigh || f == 0;
        SliceHeader sh;
        sh.frame_num = f & 255;
        sh.fixed_slice_qp = false;
        sh.slice_type = intra ? kSliceI : kSliceP;
        sh.single_ref_flag = true;
        const uint32_t type = f == 0 ? kNalIdrBase : kNalSliceBase;
        BitWriter w;
        write_slice_header(w, sh, sps, pps, type);
        IntraModeMap map(kMbWidth, kMbHeight);
        MbLayerParams params;
        params.fixed_slice_qp = false;
        PLayerParams pparams;
        pparams.fixed_slice_qp = false;
        pparams.single_ref = true;
        IntraMb as_modes;   // what an inter macroblock leaves for intra mode prediction
        for (int32_t &m : as_modes.luma_modes)
            m = 2;
        uint32_t run = 0;
        for (uint32_t y = 0; y < kMbHeight; ++y)
            for (uint32_t x = 0; x < kMbWidth; ++x) {
                ++mix->macroblocks;
                if (intra) {
                    const IntraMb mb = intra_mb(rng, map, x, y);
                    ++(mb.kind == IntraKind::k4x4 ? mix->intra4x4 : mix->intra8x8);
                    write_intra_mb(w, mb, params, map, x, y, x > 0, y > 0);
                    continue;
                }
                map.store(x, y, as_modes);
                if (pick(rng, 0, 99) < level.skip_percent) {
                    ++mix->skipped;
                    ++run;
                    continue;
                }
                write_skip_run(w, run);
                run = 0;
                const PMb mb = p_mb(rng, level);
                ++mix->inter;
                mix->partitioned += mb.kind != PKind::k16x16;
                write_p_mb(w, mb, pparams);
            }
        if (run > 0)
            write_skip_run(w, run);
        if (!w.ok()) {
            std::fprintf(stderr, "writer: %s\n", w.error().c_str());
            return {};
        }
        units.push_back(finish_unit(nal_header(type), w));
    }
    return svacwriter::make_stream(units);
}

} // namespace

ContentInfo content_info(Content c)
{
    switch (c) {
    case Content::kIntraLow:
        return {"intra-low", "intra only, low rate"};
    case Content::kIntraHigh:
        return {"intra-high", "intra only, high rate"};
    case Content::kInterLow:
        return {"ipp-low", "one I then P pictures, low rate"};
    case Content::kInterHigh:
        return {"ipp-high", "one I then P pictures, high rate"};
    case Content::kHardLow:
        return {"hard-low", "one I then P pictures, every tool, few skipped, low rate"};
    case Content::kHardHigh:
        return {"hard-high", "one I then P pictures, every tool, few skipped, high rate"};
    }
    return {"", ""};
}

bool parse_content(const std::string &name, Content *c)
{
    for (Content k : {Content::kIntraLow, Content::kIntraHigh, Content::kInterLow, Content::kInterHigh,
                      Content::kHardLow, Content::kHardHigh})
        if (name == content_info(k).name) {
            *c = k;
            return true;
        }
    return false;
}

std::vector<uint8_t> make_stream(Content c, uint32_t pictures, Mix *mix) { return stream(c, pictures, mix); }

void print_mix(const Mix &m)
{
    const double all = m.macroblocks ? double(m.macroblocks) / 100 : 1;
    char frac[16] = "n/a";
    if (m.fractional >= 0)
        std::snprintf(frac, sizeof frac, "%.1f", m.inter ? 100.0 * double(m.fractional) / double(m.inter) : 0.0);
    std::printf("mix skip %.1f part %.1f frac %s i4 %.1f i8 %.1f\n", double(m.skipped) / all,
                double(m.partitioned) / all, frac, double(m.intra4x4) / all, double(m.intra8x8) / all);
}

std::vector<uint8_t> encode_stream(Content c, const std::vector<svacenc::Yuv> &pictures, Mix *mix)
{
    const bool intra = c == Content::kIntraLow || c == Content::kIntraHigh;
    const bool hard = c == Content::kHardLow || c == Content::kHardHigh;
    const bool low = c == Content::kIntraLow || c == Content::kInterLow || c == Content::kHardLow;
    svacenc::Config config;
    config.width = kWidth;
    config.height = kShownHeight;
    config.gop = intra ? 1 : 1 << 20;
    config.qp = intra ? (low ? 30 : 20) : hard ? (low ? kHardLowQp : kHardHighQp) : (low ? 32 : 24);
    if (hard) {
        config.partitions8x8 = true;
        config.rd_modes = true;
        config.psy = kHardPsy;
        config.lambda_scale = kHardLambdaScale;
        config.split_margin = low ? kHardLowSplitMargin : kHardHighSplitMargin;
        config.inter_rounding = kHardRounding;
    }
    svacenc::Encoder encoder(config);
    std::vector<uint8_t> out;
    Mix &sum = *mix;
    sum = Mix{};
    for (const svacenc::Yuv &p : pictures) {
        svacenc::Coded coded;
        if (!encoder.encode(p, &coded)) {
            std::fprintf(stderr, "encoder: %s\n", encoder.error().c_str());
            return {};
        }
        out.insert(out.end(), coded.stream.begin(), coded.stream.end());
        sum.intra8x8 += coded.intra8x8;
        sum.intra4x4 += coded.intra4x4;
        sum.inter += coded.inter;
        sum.fractional += coded.fractional;
        sum.partitioned += coded.partitioned;
        sum.skipped += coded.skipped;
    }
    sum.macroblocks = uint64_t(kMbWidth * kMbHeight) * pictures.size();
    return out;
}

std::vector<svacenc::Yuv> read_pictures(const std::string &path, uint32_t count)
{
    std::vector<svacenc::Yuv> pictures;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return pictures;
    std::vector<uint8_t> frame(kWidth * kHeight * 3 / 2);
    svacenc::Yuv p;
    p.allocate(kWidth, kShownHeight);
    while (pictures.size() < count && std::fread(frame.data(), 1, frame.size(), f) == frame.size()) {
        const uint8_t *from = frame.data();
        for (int plane = 0; plane < 3; ++plane) {
            const size_t bytes = static_cast<size_t>(p.stride(plane)) * p.rows(plane);
            std::copy(from, from + bytes, p.plane(plane));
            from += static_cast<size_t>(p.stride(plane)) * (plane ? kHeight / 2 : kHeight);
        }
        pictures.push_back(p);
    }
    std::fclose(f);
    return pictures;
}

std::vector<svacenc::Yuv> moving_pictures(uint32_t count)
{
    std::vector<svacenc::Yuv> pictures(count);
    std::mt19937 rng(7);
    for (uint32_t n = 0; n < count; ++n) {
        svacenc::Yuv &p = pictures[n];
        p.allocate(kWidth, kShownHeight);
        const int pan = 3 * static_cast<int>(n), box_x = 200 + 13 * static_cast<int>(n), box_y = 300 + 5 * static_cast<int>(n);
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane ? 1 : 0;
            uint8_t *row = p.plane(plane);
            for (int y = 0; y < p.rows(plane); ++y, row += p.stride(plane))
                for (int x = 0; x < p.stride(plane); ++x) {
                    const int u = (x << shift) + pan, v = y << shift;
                    int value;
                    if (u - pan >= box_x && u - pan < box_x + 320 && v >= box_y && v < box_y + 240)
                        value = plane == 0 ? 60 + ((u - pan - box_x) ^ (v - box_y)) % 64 : 90 + 60 * plane;
                    else if (plane == 0)
                        value = 128 + ((u / 64 + v / 64) & 1 ? 40 : -40) + ((u * 7 + v * 3) % 31) - 15 + (v * 100) / kHeight;
                    else
                        value = 128 + (plane == 1 ? 1 : -1) * ((u / 160 + v / 120) % 5 * 12 - 24);
                    if (plane == 0)
                        value += pick(rng, -3, 3);
                    row[x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
                }
        }
    }
    return pictures;
}

} // namespace bench
