#include "inter_stream.h"

#include <algorithm>
#include <random>
#include <set>

#include "intra_stream.h"
#include "svacwriter/svac_writer.h"

using namespace svacwriter;

namespace inter_test {

namespace {

int32_t pick(std::mt19937 &rng, int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }

bool on_left_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? (i & 1) == 0 : ((i >> 2) & 1) == 0 && (i & 1) == 0; }
bool on_top_edge(IntraKind kind, int i) { return kind == IntraKind::k8x8 ? i < 2 : (i >> 2) < 2 && (i & 3) < 2; }

IntraMb random_intra(std::mt19937 &rng, const StreamConfig &cfg, const IntraModeMap &map, uint32_t x, uint32_t y,
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
            const bool codable = m == pred || (rem >= 0 && rem <= 3);
            if (codable && intra_model::luma_substitute(m, on_left_edge(mb.kind, i) && !left,
                                                        on_top_edge(mb.kind, i) && !top) >= 0)
                options.push_back(m);
        }
        mb.luma_modes[i] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    for (int j = 0; j < (cfg.chroma_format == 2 ? 2 : 1) && cfg.chroma_format != 0; ++j) {
        std::vector<int32_t> options;
        for (int32_t m = 0; m <= 6; ++m)
            if (intra_model::chroma_substitute(m, !left, j == 0 && !top) >= 0)
                options.push_back(m);
        mb.chroma_modes[j] = options[static_cast<size_t>(pick(rng, 0, static_cast<int32_t>(options.size()) - 1))];
    }
    const uint32_t mask = cfg.chroma_format == 1 ? 63u : cfg.chroma_format == 2 ? 255u : 15u;
    mb.cbp = pick(rng, 0, 2) == 0 ? 0u : static_cast<uint32_t>(pick(rng, 0, static_cast<int32_t>(mask)));
    for (int k = 0; k < 4; ++k)
        if (mb.cbp & (1u << k))
            mb.cbp4x4[k] = static_cast<uint8_t>(pick(rng, 0, 15));
    if (!cfg.fixed_qp)
        mb.qp_delta = pick(rng, -3, 3);
    for (int i = 0; i < blocks; ++i)
        mb.luma[i] = intra_test::random_coefs(rng, mb.kind == IntraKind::k8x8 ? 8 : 4, cfg.max_coefs);
    for (auto &c : mb.chroma)
        c = intra_test::random_coefs(rng, 8, cfg.max_coefs);
    return mb;
}

PMb random_p(std::mt19937 &rng, const StreamConfig &cfg, bool two_refs)
{
    PMb mb;
    mb.kind = static_cast<PKind>(pick(rng, 2, 5));
    for (int i = 0; i < p_partitions(mb.kind); ++i) {
        mb.ref_idx[i] = two_refs ? static_cast<uint32_t>(pick(rng, 0, 1)) : 0u;
        const int32_t reach = pick(rng, 0, 99) < cfg.far_percent ? 300 : 10;
        mb.mvd[i][0] = pick(rng, -reach, reach);
        mb.mvd[i][1] = pick(rng, -reach, reach);
    }
    const uint32_t mask = cfg.chroma_format == 1 ? 63u : cfg.chroma_format == 2 ? 255u : 15u;
    mb.cbp = pick(rng, 0, 2) == 0 ? 0u : static_cast<uint32_t>(pick(rng, 0, static_cast<int32_t>(mask)));
    if (!cfg.fixed_qp)
        mb.qp_delta = pick(rng, 0, 9) == 0 ? pick(rng, -40, 40) : pick(rng, -3, 3);
    for (auto &l : mb.luma)
        l = intra_test::random_coefs(rng, 8, cfg.max_coefs);
    for (auto &c : mb.chroma)
        c = intra_test::random_coefs(rng, 8, cfg.max_coefs);
    return mb;
}

} // namespace

Built build_stream(const StreamConfig &cfg)
{
    std::mt19937 rng(cfg.seed);
    Built out;
    Sps sps;
    sps.chroma_format = cfg.chroma_format;
    sps.bit_depth_luma_minus8 = sps.bit_depth_chroma_minus8 = static_cast<uint32_t>(cfg.bit_depth - 8);
    sps.mb_width = cfg.mb_width;
    sps.mb_height = cfg.mb_height;
    Pps pps;
    const int32_t offset = 7 * (cfg.bit_depth - 8);
    pps.pic_init_qp = static_cast<uint32_t>(offset + pick(rng, 20, 36));
    pps.loop_filter_disable_flag = !cfg.loop_filter;
    std::vector<NalUnit> units = {sps_unit(sps), pps_unit(pps, sps)};

    inter_model::LayerGeometry g;
    g.mb_width = cfg.mb_width;
    g.mb_height = cfg.mb_height;
    g.chroma_format = cfg.chroma_format;
    g.bit_depth = cfg.bit_depth;
    const uint32_t count = cfg.mb_width * cfg.mb_height;

    // The I picture: every macroblock intra, one slice.
    {
        BitWriter w;
        SliceHeader sh;
        sh.slice_type = kSliceI;
        sh.fixed_slice_qp = cfg.fixed_qp;
        write_slice_header(w, sh, sps, pps, kNalIdrBase);
        IntraModeMap map(g.mb_width, g.mb_height);
        intra_model::AvailabilityTracker av(g);
        intra_model::CodedSlice cs;
        cs.fixed_qp = cfg.fixed_qp;
        cs.loop_filter = cfg.loop_filter;
        cs.slice_qp = static_cast<int32_t>(pps.pic_init_qp);
        MbLayerParams params;
        params.chroma_format = cfg.chroma_format;
        params.fixed_slice_qp = cfg.fixed_qp;
        for (uint32_t a = 0; a < count; ++a) {
            const uint32_t x = a % g.mb_width, y = a / g.mb_width;
            const int32_t avail = av.avail(a, 1, 0);
            IntraMb mb = random_intra(rng, cfg, map, x, y, avail);
            write_intra_mb(w, mb, params, map, x, y, avail & 1, avail & 2);
            av.decoded(a, 1);
            cs.mbs.push_back({a, mb});
        }
        if (!w.ok())
            return Built{};
        units.push_back(finish_unit(nal_header(kNalIdrBase), w));
        out.expected.push_back(intra_model::reconstruct(g, {cs}, nullptr));
    }

    int32_t alpha_offset = 0, beta_offset = 0;
    for (uint32_t f = 1; f <= cfg.p_pictures; ++f) {
        inter_model::References refs;
        const size_t n = out.expected.size();
        refs.pic[0] = &out.expected[n - 1];
        refs.pic[1] = n >= 2 ? &out.expected[n - 2] : nullptr;
        refs.distance[0] = 2;
        refs.distance[1] = n >= 2 ? 4 : (2 * static_cast<int32_t>(f)) & 511;
        std::set<uint32_t> cuts;
        const uint32_t slices = static_cast<uint32_t>(pick(rng, 1, static_cast<int32_t>(std::min(cfg.max_slices, count))));
        for (uint32_t s = 1; s < slices; ++s)
            cuts.insert(static_cast<uint32_t>(pick(rng, 1, static_cast<int32_t>(count) - 1)));
        std::vector<uint32_t> starts = {0};
        starts.insert(starts.end(), cuts.begin(), cuts.end());
        starts.push_back(count);

        IntraModeMap map(g.mb_width, g.mb_height);
        intra_model::AvailabilityTracker av(g);
        std::vector<inter_model::PSlice> coded;
        for (size_t s = 0; s + 1 < starts.size(); ++s) {
            SliceHeader sh;
            sh.frame_num = f;
            sh.first_mb_in_slice = starts[s];
            sh.slice_type = kSliceP;
            sh.single_ref_flag = refs.pic[1] == nullptr || pick(rng, 0, 3) == 0;
            sh.fixed_slice_qp = cfg.fixed_qp;
            sh.slice_qp_delta = pick(rng, -3, 3);
            if (cfg.loop_filter) {
                sh.filter_param_flag = pick(rng, 0, 2) != 0;
                if (sh.filter_param_flag) {
                    sh.alpha_offset = alpha_offset = pick(rng, -6, 6);
                    sh.beta_offset = beta_offset = pick(rng, -6, 6);
                }
            }
            inter_model::PSlice ps;
            ps.first_mb = starts[s];
            ps.slice_qp = static_cast<int32_t>(pps.pic_init_qp) + sh.slice_qp_delta;
            ps.fixed_qp = cfg.fixed_qp;
            ps.loop_filter = cfg.loop_filter;
            ps.alpha_offset = alpha_offset;
            ps.beta_offset = beta_offset;
            ps.single_ref = sh.single_ref_flag;
            BitWriter w;
            write_slice_header(w, sh, sps, pps, kNalSliceBase);
            MbLayerParams iparams;
            iparams.chroma_format = cfg.chroma_format;
            iparams.fixed_slice_qp = cfg.fixed_qp;
            iparams.type_offset = 4;
            PLayerParams pparams;
            pparams.chroma_format = cfg.chroma_format;
            pparams.fixed_slice_qp = cfg.fixed_qp;
            pparams.single_ref = sh.single_ref_flag;
            uint32_t run = 0;
            const int32_t number = static_cast<int32_t>(s) + 1;
            for (uint32_t a = starts[s]; a < starts[s + 1]; ++a) {
                const uint32_t x = a % g.mb_width, y = a / g.mb_width;
                const int32_t avail = av.avail(a, number, ps.first_mb);
                inter_model::PCodedMb cm;
                cm.addr = a;
                const int32_t roll = pick(rng, 0, 99);
                IntraMb as_modes;   // what an inter macroblock leaves for intra mode prediction
                for (int32_t &m : as_modes.luma_modes)
                    m = 2;
                if (roll < cfg.skip_percent) {
                    cm.kind = inter_model::MbKind::kSkip;
                    ++run;
                    map.store(x, y, as_modes);
                } else {
                    write_skip_run(w, run);
                    run = 0;
                    if (roll < cfg.skip_percent + cfg.intra_percent) {
                        cm.kind = inter_model::MbKind::kIntra;
                        cm.intra = random_intra(rng, cfg, map, x, y, avail);
                        write_intra_mb(w, cm.intra, iparams, map, x, y, avail & 1, avail & 2);
                    } else {
                        cm.kind = inter_model::MbKind::kCoded;
                        cm.p = random_p(rng, cfg, !sh.single_ref_flag);
                        write_p_mb(w, cm.p, pparams);
                        map.store(x, y, as_modes);
                        ++out.inter_mbs;
                    }
                }
                av.decoded(a, number);
                ps.mbs.push_back(cm);
            }
            if (run > 0)
                write_skip_run(w, run);
            if (!w.ok())
                return Built{};
            units.push_back(finish_unit(nal_header(kNalSliceBase), w));
            coded.push_back(std::move(ps));
        }
        uint64_t filtered = 0;
        inter_model::Picture pic = inter_model::reconstruct_p(g, coded, refs, nullptr, &filtered);
        out.filtered_samples += filtered;
        out.expected.push_back(std::move(pic));
    }
    out.bytes = make_stream(units);
    return out;
}

} // namespace inter_test
