#include "b_stream.h"

#include "intra_stream.h"

using namespace svacwriter;

namespace b_test {

StreamBuilder::StreamBuilder(const Geometry &geometry, uint32_t seed) : rng_(seed)
{
    sps_.chroma_format = geometry.chroma_format;
    sps_.bit_depth_luma_minus8 = sps_.bit_depth_chroma_minus8 = static_cast<uint32_t>(geometry.bit_depth - 8);
    sps_.mb_width = geometry.mb_width;
    sps_.mb_height = geometry.mb_height;
    sps_.svc_flag = geometry.svc;
    pps_.pic_init_qp = static_cast<uint32_t>(7 * (geometry.bit_depth - 8) + 28);
    pps_.loop_filter_disable_flag = !geometry.loop_filter;
    units_ = {sps_unit(sps_), pps_unit(pps_, sps_)};
    for (int l = 0; l < 2; ++l) {
        inter_model::LayerGeometry &g = layers_[l].g;
        g.mb_width = geometry.mb_width << l;
        g.mb_height = geometry.mb_height << l;
        g.chroma_format = geometry.chroma_format;
        g.bit_depth = geometry.bit_depth;
    }
}

void StreamBuilder::reference(Layer &layer, Picture pic, uint32_t frame_num)
{
    layer.refs.push_back(std::move(pic));
    layer.ref_pocs.push_back(static_cast<int32_t>(2 * frame_num) & 511);
}

uint32_t StreamBuilder::nal_type(int layer) const
{
    if (layers_[layer].refs.empty())
        return layer ? kNalIdrEnh : kNalIdrBase;
    return layer ? kNalSliceEnh : kNalSliceBase;
}

IntraMb StreamBuilder::textured_intra(const Layer &layer, const IntraModeMap &map, uint32_t x, uint32_t y,
                                      int32_t avail)
{
    const uint32_t mask = layer.g.chroma_format == 1 ? 63u : layer.g.chroma_format == 2 ? 255u : 15u;
    IntraMb mb;
    mb.kind = IntraKind::k8x8;
    for (int i = 0; i < 4; ++i) {
        // The predicted mode when it needs no missing neighbour, else a coded one that does not.
        const int32_t pred = map.predict(x, y, avail & 1, avail & 2, mb.kind, mb.luma_modes, i);
        mb.luma_modes[i] = pred;
        for (int32_t m : {pred, 0, 1, 2, 3, 4})
            if ((m == pred || (m < pred ? m : m - 1) <= 3) &&
                intra_model::luma_substitute(m, (i & 1) == 0 && !(avail & 1), i < 2 && !(avail & 2)) >= 0) {
                mb.luma_modes[i] = m;
                break;
            }
    }
    mb.chroma_modes[0] = mb.chroma_modes[1] = 6;   // usable with any neighbour missing
    mb.cbp = mask;
    for (int i = 0; i < 4; ++i)
        mb.luma[i] = intra_test::random_coefs(rng_, 8, 12);
    for (auto &c : mb.chroma)
        c = intra_test::random_coefs(rng_, 8, 6);
    return mb;
}

const Picture &StreamBuilder::intra(uint32_t frame_num, int layer)
{
    Layer &ly = layers_[layer];
    const inter_model::LayerGeometry &g = ly.g;
    const uint32_t nal = nal_type(layer);
    BitWriter w;
    SliceHeader sh;
    sh.slice_type = kSliceI;
    sh.frame_num = frame_num;
    write_slice_header(w, sh, sps_, pps_, nal);
    IntraModeMap map(g.mb_width, g.mb_height);
    intra_model::AvailabilityTracker av(g);
    intra_model::CodedSlice cs;
    cs.slice_qp = static_cast<int32_t>(pps_.pic_init_qp);
    cs.loop_filter = !pps_.loop_filter_disable_flag;
    MbLayerParams params;
    params.chroma_format = g.chroma_format;
    params.enhancement = layer == 1;
    for (uint32_t a = 0; a < mb_count(layer); ++a) {
        const uint32_t x = a % g.mb_width, y = a / g.mb_width;
        const int32_t avail = av.avail(a, 1, 0);
        const IntraMb mb = textured_intra(ly, map, x, y, avail);
        write_intra_mb(w, mb, params, map, x, y, avail & 1, avail & 2);
        av.decoded(a, 1);
        cs.mbs.push_back({a, mb});
    }
    units_.push_back(finish_unit(nal_header(nal), w));
    reference(ly, intra_model::reconstruct(g, {cs}, nullptr), frame_num);
    return ly.refs.back();
}

const Picture &StreamBuilder::p(uint32_t frame_num, const std::vector<inter_model::PCodedMb> &mbs, int layer)
{
    Layer &ly = layers_[layer];
    const inter_model::LayerGeometry &g = ly.g;
    const uint32_t nal = nal_type(layer);
    BitWriter w;
    SliceHeader sh;
    sh.slice_type = kSliceP;
    sh.frame_num = frame_num;
    sh.single_ref_flag = true;
    write_slice_header(w, sh, sps_, pps_, nal);
    inter_model::PSlice ps;
    ps.slice_qp = static_cast<int32_t>(pps_.pic_init_qp);
    ps.loop_filter = !pps_.loop_filter_disable_flag;
    ps.single_ref = true;
    PLayerParams params;
    params.chroma_format = g.chroma_format;
    params.single_ref = true;
    MbLayerParams iparams;
    iparams.chroma_format = g.chroma_format;
    iparams.type_offset = 4;
    iparams.enhancement = layer == 1;
    IntraModeMap map(g.mb_width, g.mb_height);
    intra_model::AvailabilityTracker av(g);
    IntraMb as_modes;   // what an inter macroblock leaves for intra mode prediction
    for (int32_t &m : as_modes.luma_modes)
        m = 2;
    uint32_t run = 0;
    for (inter_model::PCodedMb cm : mbs) {
        const uint32_t x = cm.addr % g.mb_width, y = cm.addr / g.mb_width;
        const int32_t avail = av.avail(cm.addr, 1, 0);
        if (cm.kind == inter_model::MbKind::kSkip) {
            ++run;
            map.store(x, y, as_modes);
        } else {
            write_skip_run(w, run);
            run = 0;
            if (cm.kind == inter_model::MbKind::kIntra) {
                cm.intra = textured_intra(ly, map, x, y, avail);
                write_intra_mb(w, cm.intra, iparams, map, x, y, avail & 1, avail & 2);
            } else {
                write_p_mb(w, cm.p, params);
                map.store(x, y, as_modes);
            }
        }
        av.decoded(cm.addr, 1);
        ps.mbs.push_back(cm);
    }
    if (run > 0)
        write_skip_run(w, run);
    units_.push_back(finish_unit(nal_header(nal), w));
    const int32_t poc = static_cast<int32_t>(2 * frame_num) & 511;
    inter_model::References refs;
    const size_t n = ly.refs.size();
    refs.pic[0] = &ly.refs[n - 1];
    refs.distance[0] = (poc - ly.ref_pocs[n - 1]) & 511;
    if (n >= 2) {
        refs.pic[1] = &ly.refs[n - 2];
        refs.distance[1] = (poc - ly.ref_pocs[n - 2]) & 511;
    }
    Picture pic = inter_model::reconstruct_p(g, {ps}, refs);
    reference(ly, std::move(pic), frame_num);
    return ly.refs.back();
}

void StreamBuilder::b(uint32_t frame_num, const BMbs &mbs, int layer)
{
    const uint32_t nal = nal_type(layer);
    BitWriter w;
    SliceHeader sh;
    sh.slice_type = kSliceB;
    sh.frame_num = frame_num;
    write_slice_header(w, sh, sps_, pps_, nal);
    PLayerParams params;
    params.chroma_format = layers_[layer].g.chroma_format;
    uint32_t run = 0;
    for (const auto &mb : mbs) {
        if (!mb) {
            ++run;
            continue;
        }
        write_skip_run(w, run);
        run = 0;
        write_b_mb(w, *mb, params);
    }
    if (run > 0)
        write_skip_run(w, run);
    units_.push_back(finish_unit(nal_header(nal), w));
}

std::vector<uint8_t> StreamBuilder::bytes() const { return make_stream(units_); }

Picture predict_b(const inter_model::LayerGeometry &g, const Picture &fwd, const Picture &bwd,
                  const std::vector<BBlock> &blocks)
{
    Picture f = fwd, b = bwd, out = fwd;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const uint32_t mb = static_cast<uint32_t>(i / 4), blk = static_cast<uint32_t>(i % 4);
        const int32_t lx = static_cast<int32_t>(16 * (mb % g.mb_width) + 8 * (blk & 1));
        const int32_t ly = static_cast<int32_t>(16 * (mb / g.mb_width) + 8 * (blk >> 1));
        const BBlock &m = blocks[i];
        if (m.fwd)
            inter_model::predict_block(fwd, f, g, 8, lx, ly, 4 * lx + m.fx, 4 * ly + m.fy);
        if (m.bwd)
            inter_model::predict_block(bwd, b, g, 8, lx, ly, 4 * lx + m.bx, 4 * ly + m.by);
        const int c422 = g.chroma_format == 2 ? 1 : 0;
        for (int p = 0; p < out.planes; ++p) {
            const int32_t w = p ? 4 : 8, h = p ? 8 >> (1 - c422) : 8;
            const int32_t x0 = p ? lx / 2 : lx, y0 = p ? ly >> (1 - c422) : ly;
            for (int32_t y = y0; y < y0 + h; ++y)
                for (int32_t x = x0; x < x0 + w; ++x) {
                    const int32_t fv = f.get(p, x, y), bv = b.get(p, x, y);
                    out.set(p, x, y, m.fwd && m.bwd ? (fv + bv + 1) >> 1 : m.fwd ? fv : bv);
                }
        }
    }
    return out;
}

void zero_motion(uint32_t type, const uint32_t sub[4], BBlock out[4])
{
    BDir dirs[4];
    b_block_dirs(type, sub, dirs);
    for (int i = 0; i < 4; ++i) {
        out[i] = BBlock{};
        out[i].fwd = dirs[i] != kDirBwd;
        out[i].bwd = dirs[i] != kDirFwd;
    }
}

} // namespace b_test
