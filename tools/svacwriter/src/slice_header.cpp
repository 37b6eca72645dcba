#include "svacwriter/slice_header.h"

namespace svacwriter {

bool is_idr_type(uint32_t nal_type)
{
    return nal_type == kNalIdrBase || nal_type == kNalIdrEnh;
}

bool write_slice_header(BitWriter& w, const SliceHeader& sh, const Sps& sps, const Pps& pps,
                        uint32_t nal_type)
{
    w.put_ue(sh.pps_id);
    w.put_bits(sh.frame_num, 8);
    if (is_idr_type(nal_type))
        w.put_ue(sh.idr_pic_id);
    if (!sps.frame_only_flag) {
        w.put_bit(sh.field_pic_flag);
        if (sh.field_pic_flag)
            w.put_bit(sh.bottom_field_flag);
    }
    w.put_ue(sh.first_mb_in_slice);
    w.put_ue(sh.slice_type);
    const uint32_t type = sh.slice_type > 2 ? sh.slice_type - 3 : sh.slice_type;
    if (type == kSliceP || (type == kSliceB && sh.field_pic_flag))
        w.put_bit(sh.single_ref_flag);
    if (!pps.fixed_pic_qp) {
        w.put_bit(sh.fixed_slice_qp);
        w.put_se(sh.slice_qp_delta);
    }
    if (!pps.loop_filter_disable_flag) {
        w.put_bit(sh.filter_param_flag);
        if (sh.filter_param_flag) {
            w.put_se(sh.alpha_offset);
            w.put_se(sh.beta_offset);
        }
    }
    return w.ok();
}

NalUnit slice_unit(const SliceHeader& sh, const Sps& sps, const Pps& pps, uint32_t nal_type,
                   StartCode start_code)
{
    BitWriter w;
    write_slice_header(w, sh, sps, pps, nal_type);
    return finish_unit(nal_header(nal_type), w, start_code);
}

} // namespace svacwriter
