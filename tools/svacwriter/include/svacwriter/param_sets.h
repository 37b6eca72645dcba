// Sequence and picture parameter sets of the SVAC stream writer. Each struct
// holds syntax values; the write functions emit them in bitstream order,
// conditional fields only under their conditions. Values are written as
// given, also out-of-range ones (a decoder test may want them refused); only
// values that do not fit their fixed-width field fail the writer.
#ifndef SVACWRITER_PARAM_SETS_H
#define SVACWRITER_PARAM_SETS_H

#include <cstdint>
#include <optional>
#include <vector>

#include "svacwriter/bit_writer.h"
#include "svacwriter/nal_writer.h"

namespace svacwriter {

// One entry of the buffer-parameter block.
struct BufferParamEntry {
    uint32_t value_a = 0;           // ue(v)
    uint32_t value_b = 0;           // ue(v)
    bool flag = false;              // u(1)
};

// Buffer-parameter block of the sequence parameter set (hrd_flag). Written as:
// ue(entries.size() - 1), u(4) scale_a, u(4) scale_b, per entry ue ue u(1),
// then the three u(5) lengths. An empty entries list is written as one
// default entry.
struct BufferParams {
    uint32_t scale_a = 0;
    uint32_t scale_b = 0;
    std::vector<BufferParamEntry> entries = {BufferParamEntry{}};
    uint32_t lengths[3] = {23, 23, 23};
};

// Sequence parameter set (NAL type 7).
struct Sps {
    uint32_t profile = 0;           // u(8)
    uint32_t level_idc = 0;         // u(8)
    uint32_t sps_id = 0;            // ue(v)
    uint32_t chroma_format = 1;     // u(2): 0 luma only, 1 4:2:0, 2 4:2:2
    uint32_t bit_depth_luma_minus8 = 0;    // ue(v)
    uint32_t bit_depth_chroma_minus8 = 0;  // ue(v)
    // Picture size in macroblocks, written as ue(value - 1) (0 wraps to the
    // largest 32-bit code number).
    uint32_t mb_width = 4;
    uint32_t mb_height = 3;
    bool frame_only_flag = true;
    bool roi_flag = false;
    bool svc_flag = false;
    bool vui_flag = false;
    // Present with vui_flag.
    bool timing_info_flag = false;
    // Present with timing_info_flag; each written as two u(16), high half first.
    uint32_t num_units_in_tick = 1;
    uint32_t time_scale = 50;
    bool fixed_frame_rate_flag = false;
    bool hrd_flag = false;          // present with vui_flag
    BufferParams buffer_params;     // present with hrd_flag
    uint32_t vui_tail_value = 0;    // ue(v), present with vui_flag
};

// Rectangle of interest as two macroblock addresses in raster order.
struct RoiRect {
    uint32_t top_left = 0;
    uint32_t bottom_right = 0;
};

// Picture parameter set (NAL type 8). Which fields are present depends on the
// sequence parameter set it refers to (roi_flag, svc_flag, luma bit depth),
// which is passed to the write function.
struct Pps {
    uint32_t pps_id = 0;            // ue(v)
    uint32_t sps_id = 0;            // ue(v)
    bool aec_flag = false;
    // Coded QP: u(6) when bit_depth_luma_minus8 is 0, else u(7).
    uint32_t pic_init_qp = 26;
    // With roi_flag: num_roi ue(v), written as rois.size() unless set here.
    // The rest of the region block follows only when that count is at least 1;
    // then min(count, rois.size()) rectangles are written.
    std::optional<uint32_t> num_roi;
    bool non_roi_skip_flag = false;
    bool roi_layer_flag = false;    // written only without non_roi_skip_flag and with svc_flag
    uint32_t pic_init_qp_for_roi = 26;  // same width as pic_init_qp
    std::vector<RoiRect> rois;      // each as ue(top_left), ue(bottom_right)
    bool fixed_pic_qp = false;
    bool weighting_pred_flag = false;
    bool loop_filter_disable_flag = false;
};

// Syntax of the set, without trailing bits. False when the writer failed.
bool write_sps(BitWriter& w, const Sps& sps);
bool write_pps(BitWriter& w, const Pps& pps, const Sps& sps);

// Complete units (trailing bits written, header of the right type).
NalUnit sps_unit(const Sps& sps, StartCode start_code = StartCode::kFourByte);
NalUnit pps_unit(const Pps& pps, const Sps& sps, StartCode start_code = StartCode::kFourByte);

} // namespace svacwriter

#endif
