// Sequence and picture parameter sets: the records a slice header selects, and their parsers.
#pragma once
#include <cstdint>

struct decoder_ctx;

constexpr int SVAC_MAX_SPS = 32;
constexpr int SVAC_MAX_PPS = 256;
constexpr int SVAC_MAX_MB_SIZE = 512;   // macroblocks in either dimension

struct sps_record {
    int32_t valid;
    int32_t profile;
    int32_t level_idc;
    int32_t chroma_format;              // 0 luma only, 1 4:2:0, 2 4:2:2
    int32_t bit_depth_luma_minus8;
    int32_t bit_depth_chroma_minus8;
    int32_t frame_only_flag;
    int32_t roi_flag;
    int32_t svc_flag;
    int32_t mb_width, mb_height;        // base layer, 1..512
    int32_t vui_flag;
    int32_t timing_info_flag;
    uint32_t num_units_in_tick;
    uint32_t time_scale;
    int32_t fixed_frame_rate_flag;
    int32_t hrd_flag;
    int32_t vui_tail_value;
};

struct pps_record {
    int32_t valid;
    int32_t sps_id;
    int32_t aec_flag;
    int32_t pic_init_qp;                // coded value minus 7 x bit_depth_luma_minus8
    int32_t fixed_pic_qp;
    int32_t weighting_pred_flag;
    int32_t loop_filter_disable_flag;
    int32_t num_roi;
    int32_t non_roi_skip_flag;
    int32_t roi_layer_flag;
    int32_t pic_init_qp_for_roi;
    // Rectangles as top-left and bottom-right macroblock addresses in raster order.
    int32_t *cur_top_left, *cur_bottom_right;   // of the layer being decoded
    int32_t *enh_top_left, *enh_bottom_right;   // mapped to the enhancement layer
    int32_t *top_left, *bottom_right;           // as coded
    int32_t roi_capacity;                       // entries of each array
    uint32_t generation;                        // changes with every parse of this id
};

// 0, -5 (refused) or -11 (data ran out).
int parse_sps(decoder_ctx *ctx);
// 0, -6 (refused), -1 (allocation failed) or -11 (data ran out).
int parse_pps(decoder_ctx *ctx);
// Reads and discards the buffer-parameter block of a sequence parameter set.
void parse_sps_ext(decoder_ctx *ctx);
// Frees the rectangle arrays of every picture parameter set.
void pps_free_arrays(decoder_ctx *ctx);
