#include "intra_stream.h"

#include <algorithm>
#include <set>

using namespace svacwriter;

namespace intra_test {

namespace {

int32_t pick(std::mt19937 &rng, int32_t lo, int32_t hi)
{
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

struct SlicePlan {
    std::vector<uint32_t> addrs;
};

// Slices of one layer: every region (the background and each rectangle) in raster order, cut
// at random points; the background's slices before or after the rectangles'.
std::vector<SlicePlan> plan_slices(std::mt19937 &rng, const intra_model::LayerGeometry &g, uint32_t max_slices,
                                   bool rects_first)
{
    const uint32_t count = g.mb_width * g.mb_height;
    std::vector<std::vector<uint32_t>> regions(g.rects.size() + 1);
    for (uint32_t a = 0; a < count; ++a)
        regions[static_cast<size_t>(intra_model::region_of(g, a) + 1)].push_back(a);
    if (rects_first)
        std::rotate(regions.begin(), regions.begin() + 1, regions.end());
    std::vector<SlicePlan> plans;
    for (const auto &addrs : regions) {
        if (addrs.empty())
            continue;
        const uint32_t slices = static_cast<uint32_t>(pick(rng, 1, static_cast<int32_t>(max_slices)));
        std::set<size_t> cuts;
        for (uint32_t s = 1; s < slices && addrs.size() > 1; ++s)
            cuts.insert(static_cast<size_t>(pick(rng, 1, static_cast<int32_t>(addrs.size()) - 1)));
        SlicePlan cur;
        for (size_t i = 0; i < addrs.size(); ++i) {
            if (cuts.count(i)) {
                plans.push_back(cur);
                cur = {};
            }
            cur.addrs.push_back(addrs[i]);
        }
        plans.push_back(cur);
    }
    return plans;
}

bool on_left_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? (i & 1) == 0 : ((i >> 2) & 1) == 0 && (i & 1) == 0; }
bool on_top_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? i < 2 : (i >> 2) < 2 && (i & 3) < 2; }

IntraMb random_mb(std::mt19937 &rng, const StreamConfig &cfg, const IntraModeMap &map, uint32_t x, uint32_t y,
                  int32_t avail, bool enhancement, bool fixed)
{
    IntraMb mb;
    const bool left = avail & 1, top = avail & 2;
    mb.kind = pick(rng, 0, 1) ? IntraKind::k8x8 : IntraKind::k4x4;
    mb.base_pred_flag = enhancement && !cfg.all_dc && pick(rng, 0, 2) == 0;
    const int blocks = mb.kind == IntraKind::k8x8 ? 4 : 16;
    for (int i = 0; i < blocks; ++i) {
        const int32_t pred = map.predict(x, y, left, top, mb.kind, mb.luma_modes, i);
        if (mb.base_pred_flag) {
            mb.luma_modes[i] = pred;
            continue;
        }
        std::vector<int32_t> options;
        for (int32_t m : {pred, 0, 1, 2, 3, 4}) {
            const int32_t rem = m < pred ? m : m - 1;
            const bool codable = m == pred || (rem >= 0 && rem <= 3);
            const int32_t used = intra_model::luma_substitute(m, on_left_edge(mb.kind, i) && !left,
                                                              on_top_edge(mb.kind, i) && !top);
            if (codable && used >= 0 && (!cfg.all_dc || m == 2))
                options.push_back(m);
        }
        mb.luma_modes[i] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    for (int j = 0; j < (cfg.chroma_format == 2 ? 2 : 1); ++j) {
        std::vector<int32_t> options;
        for (int32_t m = 0; m <= 6; ++m)
            if (intra_model::chroma_substitute(m, !left, j == 0 && !top) >= 0 && (!cfg.all_dc || m == 0))
                options.push_back(m);
        mb.chroma_modes[j] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    if (cfg.chroma_format == 0)
        mb.chroma_modes[0] = mb.chroma_modes[1] = 0;
    if (cfg.all_dc)
        return mb;
    const uint32_t mask = cfg.chroma_format == 1 ? 63u : cfg.chroma_format == 2 ? 255u : 15u;
    mb.cbp = pick(rng, 0, 3) == 0 ? 0u : static_cast<uint32_t>(pick(rng, 0, static_cast<int32_t>(mask)));
    for (int k = 0; k < 4; ++k)
        if (mb.cbp & (1u << k))
            mb.cbp4x4[k] = static_cast<uint8_t>(pick(rng, 0, 15));
    if (!fixed)
        mb.qp_delta = pick(rng, 0, 9) == 0 ? pick(rng, -60, 60) : pick(rng, -3, 3);
    const bool is8 = mb.kind == IntraKind::k8x8;
    for (int i = 0; i < blocks; ++i)
        mb.luma[i] = random_coefs(rng, is8 ? 8 : 4, cfg.max_coefs);
    for (auto &c : mb.chroma)
        c = random_coefs(rng, 8, cfg.max_coefs);
    return mb;
}

} // namespace

CoefList random_coefs(std::mt19937 &rng, int n, uint32_t max_coefs)
{
    const int size = n * n;
    const int count = pick(rng, 0, std::min<int>(static_cast<int>(max_coefs), size));
    std::set<int> positions;
    while (static_cast<int>(positions.size()) < count)
        positions.insert(pick(rng, 0, pick(rng, 0, 3) == 0 ? size - 1 : std::min(size - 1, 12)));
    CoefList list;
    int previous = -1;
    for (int p : positions) {
        int32_t level;
        const int kind = pick(rng, 0, 19);
        if (kind < 14)
            level = pick(rng, 1, 3);
        else if (kind < 19)
            level = pick(rng, 4, 40);
        else
            level = pick(rng, 41, 300);
        if (pick(rng, 0, 1))
            level = -level;
        list.push_back({level, static_cast<uint32_t>(p - previous)});
        previous = p;
    }
    std::reverse(list.begin(), list.end());
    return list;
}

Built build_stream(const StreamConfig &cfg)
{
    std::mt19937 rng(cfg.seed);
    Built out;
    Sps sps;
    sps.chroma_format = cfg.chroma_format;
    sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = static_cast<uint32_t>(cfg.bit_depth - 8);
    sps.mb_width = cfg.mb_width;
    sps.mb_height = cfg.mb_height;
    sps.svc_flag = cfg.svc;
    sps.roi_flag = !cfg.rects.empty();
    Pps pps;
    const int32_t offset = 7 * (cfg.bit_depth - 8);
    pps.pic_init_qp = static_cast<uint32_t>(offset + pick(rng, 18, 38));
    pps.pic_init_qp_for_roi = static_cast<uint32_t>(offset + pick(rng, 18, 38));
    pps.rois = cfg.rects;
    pps.loop_filter_disable_flag = !cfg.loop_filter;
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps)};

    // Filter offsets that a slice does not code stay those of the last slice that did.
    int32_t alpha_offset = 0, beta_offset = 0;
    const int layers = cfg.svc ? 2 : 1;
    for (uint32_t f = 0; f < cfg.pictures; ++f) {
        intra_model::Picture base_pic;
        for (int layer = 0; layer < layers; ++layer) {
            intra_model::LayerGeometry g;
            g.mb_width = cfg.mb_width << layer;
            g.mb_height = cfg.mb_height << layer;
            g.chroma_format = cfg.chroma_format;
            g.bit_depth = cfg.bit_depth;
            g.roi_flag = sps.roi_flag;
            if (layer == 0)
                g.rects = cfg.rects;
            else
                for (const RoiRect &r : cfg.rects) {
                    const uint32_t w = cfg.mb_width, x1 = r.top_left % w, y1 = r.top_left / w;
                    const uint32_t x2 = r.bottom_right % w, y2 = r.bottom_right / w;
                    g.rects.push_back({2 * y1 * 2 * w + 2 * x1, (2 * y2 + 1) * 2 * w + 2 * x2 + 1});
                }
            const bool enhancement = layer == 1;
            const uint32_t nal_type = f == 0 ? (enhancement ? kNalIdrEnh : kNalIdrBase)
                                             : (enhancement ? kNalSliceEnh : kNalSliceBase);
            IntraModeMap map(g.mb_width, g.mb_height);
            intra_model::AvailabilityTracker av(g);
            std::vector<intra_model::CodedSlice> coded;
            int32_t number = 0;
            for (const SlicePlan &plan : plan_slices(rng, g, cfg.max_slices, cfg.rects_first)) {
                ++number;
                SliceHeader sh;
                sh.frame_num = f;
                sh.idr_pic_id = 0;
                sh.first_mb_in_slice = plan.addrs.front();
                sh.slice_type = kSliceI;
                sh.fixed_slice_qp = cfg.fixed_qp;
                sh.slice_qp_delta = pick(rng, -3, 3);
                if (cfg.loop_filter) {
                    sh.filter_param_flag = pick(rng, 0, 2) != 0;
                    if (sh.filter_param_flag) {
                        const int32_t reach = pick(rng, 0, 4) == 0 ? 40 : 6;
                        sh.alpha_offset = alpha_offset = pick(rng, -reach, reach);
                        sh.beta_offset = beta_offset = pick(rng, -reach, reach);
                    }
                }
                const bool in_roi = sps.roi_flag && intra_model::region_of(g, plan.addrs.front()) >= 0;
                intra_model::CodedSlice cs;
                cs.first_mb = plan.addrs.front();
                cs.fixed_qp = cfg.fixed_qp;
                cs.loop_filter = cfg.loop_filter;
                cs.alpha_offset = alpha_offset;
                cs.beta_offset = beta_offset;
                cs.slice_qp = static_cast<int32_t>(in_roi ? pps.pic_init_qp_for_roi : pps.pic_init_qp) + sh.slice_qp_delta;
                BitWriter w;
                write_slice_header(w, sh, sps, pps, nal_type);
                MbLayerParams params;
                params.chroma_format = cfg.chroma_format;
                params.enhancement = enhancement;
                params.fixed_slice_qp = cfg.fixed_qp;
                for (uint32_t addr : plan.addrs) {
                    const uint32_t x = addr % g.mb_width, y = addr / g.mb_width;
                    const int32_t avail = av.avail(addr, number, cs.first_mb);
                    IntraMb mb = random_mb(rng, cfg, map, x, y, avail, enhancement, cfg.fixed_qp);
                    write_intra_mb(w, mb, params, map, x, y, avail & 1, avail & 2);
                    av.decoded(addr, number);
                    cs.mbs.push_back({addr, mb});
                    ++out.macroblocks;
                }
                if (!w.ok())
                    return Built{};
                units.push_back(finish_unit(nal_header(nal_type), w));
                coded.push_back(std::move(cs));
            }
            uint64_t filtered = 0;
            intra_model::Picture pic =
                intra_model::reconstruct(g, coded, enhancement ? &base_pic : nullptr, &filtered);
            out.filtered_samples += filtered;
            if (layer == 0)
                base_pic = pic;
            out.expected[layer].push_back(std::move(pic));
        }
    }
    out.bytes = make_stream(units);
    return out;
}

} // namespace intra_test
