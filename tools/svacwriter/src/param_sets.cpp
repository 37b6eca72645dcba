#include "svacwriter/param_sets.h"

#include <algorithm>

namespace svacwriter {

namespace {

void write_buffer_params(BitWriter& w, const BufferParams& bp)
{
    const std::vector<BufferParamEntry> one_default = {BufferParamEntry{}};
    const std::vector<BufferParamEntry>& entries = bp.entries.empty() ? one_default : bp.entries;
    w.put_ue(static_cast<uint32_t>(entries.size() - 1));
    w.put_bits(bp.scale_a, 4);
    w.put_bits(bp.scale_b, 4);
    for (const BufferParamEntry& e : entries) {
        w.put_ue(e.value_a);
        w.put_ue(e.value_b);
        w.put_bit(e.flag);
    }
    for (uint32_t length : bp.lengths)
        w.put_bits(length, 5);
}

int qp_width(const Sps& sps)
{
    return sps.bit_depth_luma_minus8 == 0 ? 6 : 7;
}

} // namespace

bool write_sps(BitWriter& w, const Sps& sps)
{
    w.put_bits(sps.profile, 8);
    w.put_bits(sps.level_idc, 8);
    w.put_ue(sps.sps_id);
    w.put_bits(sps.chroma_format, 2);
    w.put_ue(sps.bit_depth_luma_minus8);
    w.put_ue(sps.bit_depth_chroma_minus8);
    w.put_ue(sps.mb_width - 1);
    w.put_ue(sps.mb_height - 1);
    w.put_bit(sps.frame_only_flag);
    w.put_bit(sps.roi_flag);
    w.put_bit(sps.svc_flag);
    w.put_bit(sps.vui_flag);
    if (sps.vui_flag) {
        w.put_bit(sps.timing_info_flag);
        if (sps.timing_info_flag) {
            w.put_bits(sps.num_units_in_tick >> 16, 16);
            w.put_bits(sps.num_units_in_tick & 0xFFFF, 16);
            w.put_bits(sps.time_scale >> 16, 16);
            w.put_bits(sps.time_scale & 0xFFFF, 16);
            w.put_bit(sps.fixed_frame_rate_flag);
        }
        w.put_bit(sps.hrd_flag);
        if (sps.hrd_flag)
            write_buffer_params(w, sps.buffer_params);
        w.put_ue(sps.vui_tail_value);
    }
    return w.ok();
}

bool write_pps(BitWriter& w, const Pps& pps, const Sps& sps)
{
    const int width = qp_width(sps);
    w.put_ue(pps.pps_id);
    w.put_ue(pps.sps_id);
    w.put_bit(pps.aec_flag);
    w.put_bits(pps.pic_init_qp, width);
    if (sps.roi_flag) {
        const uint32_t num_roi = pps.num_roi ? *pps.num_roi : static_cast<uint32_t>(pps.rois.size());
        w.put_ue(num_roi);
        if (num_roi >= 1) {
            w.put_bit(pps.non_roi_skip_flag);
            if (!pps.non_roi_skip_flag && sps.svc_flag)
                w.put_bit(pps.roi_layer_flag);
            w.put_bits(pps.pic_init_qp_for_roi, width);
            const size_t count = std::min<size_t>(num_roi, pps.rois.size());
            for (size_t i = 0; i < count; ++i) {
                w.put_ue(pps.rois[i].top_left);
                w.put_ue(pps.rois[i].bottom_right);
            }
        }
    }
    w.put_bit(pps.fixed_pic_qp);
    w.put_bit(pps.weighting_pred_flag);
    w.put_bit(pps.loop_filter_disable_flag);
    return w.ok();
}

NalUnit sps_unit(const Sps& sps, StartCode start_code)
{
    BitWriter w;
    write_sps(w, sps);
    return finish_unit(nal_header(kNalSps), w, start_code);
}

NalUnit pps_unit(const Pps& pps, const Sps& sps, StartCode start_code)
{
    BitWriter w;
    write_pps(w, pps, sps);
    return finish_unit(nal_header(kNalPps), w, start_code);
}

} // namespace svacwriter
