// One decoder instance: everything a stream needs lives in or hangs off this record.
#pragma once
#include <cstddef>
#include <cstdint>

#include "aec_engine.h"
#include "bitstream.h"
#include "frame.h"
#include "lf_worker.h"
#include "mb_work.h"
#include "param_sets.h"
#include "sec_param_set.h"
#include "svacdec.h"

constexpr int SVAC_KEY_MAX = 64;
constexpr int SVAC_QUEUE_CAPACITY = 255;

// Per-layer buffers of alloc_layer_buffers, in allocation order.
enum layer_buffer {
    LB_QP_ROW,            // W bytes
    LB_CBP_ROW,           // W bytes
    LB_KIND_ROW,          // 4 W
    LB_MV_ROW0,           // 24 W + 12
    LB_MV_ROW1,           // 24 W + 12
    LB_INTRA_MODE_ROW,    // 24 W
    LB_INTRA_LINE,        // 32 W + 32
    LB_INTRA_LINE_CB,     // 20 W
    LB_INTRA_LINE_CR,     // 20 W
    LB_ROW_A,             // 4 W: first chroma mode of each column
    LB_ROW_B,             // 4 W: second chroma mode of each column (4:2:2)
    LB_ROW_C,             // 4 W: arithmetic-mode mb_type code of each column
    LB_COLOCATED_MOTION,  // 48 W H
    LB_COLOCATED_KIND,    // W H
    LB_LEFT_SLICE_IDS,    // 4 W: slice number of the last macroblock finished in each column
    LB_TOP_SLICE_IDS,     // 4 W: slice number recorded when a macroblock of the column began
    LB_COUNT
};

struct layer_ctx {
    frame_pool pool;
    frame_buf *output;      // chosen for output by the last completed picture
    frame_buf *output_before; // a picture of the group before a key picture, output ahead of it
    frame_buf *cur;         // picture in decoding
    frame_buf *ref0, *ref1; // newest reference, the one before
    uint8_t refs_fit;       // bit r: reference r fits the picture in decoding (set per slice)
    int32_t poc_cur, poc_last_out, poc_ref0, poc_ref1;
    int32_t ref1_out;       // reference 1 is of the group before a key picture, so already output
    uint8_t *mb_plane[3];
    uint8_t *buf[LB_COUNT];
    int32_t picture_done;
    int32_t mb_count;
    int32_t first_mb, first_mb_x, first_mb_y;
    int32_t luma_stride, chroma_stride;
    int32_t blk_offset[20]; // four 8x8 origins, then sixteen 4x4 origins
    int32_t idr_seen;
    int16_t nb_default[2][6];

    // Macroblock addressing
    int32_t mbs_left;           // macroblocks of the picture not yet decoded
    int32_t roi_regions_left;   // rectangles whose macroblocks are not finished
    int32_t mb_x, mb_y, cur_mb_addr;
    int32_t mb_avail;           // 1 left, 2 top, 4 top-right, 8 top-left
    int32_t mb_type_code;       // arithmetic-mode mb_type code of the last macroblock

    // Region of every macroblock and the next address of the same region, built for one
    // picture parameter set (by its generation), geometry and rectangle set.
    int32_t *region_map, *region_next;
    int32_t region_first_background;
    int32_t region_map_mbs;
    const pps_record *region_map_pps;
    uint32_t region_map_generation;
    const int32_t *region_map_rects;
    int32_t region_map_width;
};

struct output_queue {
    int32_t count;
    frame_list list;        // head oldest, tail newest, cursor the next to hand out
    int32_t id_counter;
};

struct decoder_ctx {
    bit_reader bs;
    aec_decoder aec;            // arithmetic entropy decoder of the slice

    // Macroblock being decoded
    mb_work mb;

    // Picture geometry and type
    int32_t pic_type;
    // Distances to the references and their scales, per slice (direct_scale of I and P only)
    int32_t ref_distance[2], ref_distance_scale[2], direct_scale[2], sym_scale;
    int32_t dump_switch;        // debug switch of the picture type; read by nothing
    int32_t mb_width, mb_height;
    int32_t width, height;
    int32_t mb_total;
    // Of the SPS in use: written on the picture that goes out
    int32_t chroma_format;
    int32_t bit_depth;
    int32_t has_enhancement;

    // Shared work buffers
    uint8_t *pic_work_buf;
    uint8_t *buf256;

    // NAL unit being handled
    int32_t nal_ref, nal_type, nal_encrypted, nal_auth, nal_auth_byte;
    uint8_t *nal_work_buffer;
    int32_t nal_work_capacity;
    int32_t last_sps_id;

    // Parameter sets
    sps_record sps[SVAC_MAX_SPS];
    pps_record pps[SVAC_MAX_PPS];
    sps_record *cur_sps;
    pps_record *cur_pps;
    uint32_t pps_generation;

    // Stream security
    int32_t stream_encrypted;                   // encryption flag of the last security set
    uint8_t key[SVAC_KEY_MAX];
    uint32_t key_len;
    int32_t cipher_type, hash_type, sign_type;  // types of the objects held, -1 before any
    sec_state sec;

    // Slice header
    int32_t pps_id;
    int32_t frame_num;
    int32_t prev_pic_num;       // frame_num of the slice before, -1 at start
    int32_t idr_pic_id;
    int32_t field_pic_flag;
    int32_t pic_structure;      // -1 frame, 0 top field, 1 bottom field
    int32_t first_mb_in_slice;
    int32_t slice_type;         // 0 P, 1 B, 2 I
    int32_t single_ref_flag;
    int32_t fixed_slice_qp;
    int32_t slice_qp_delta;
    int32_t slice_qp;
    int32_t mb_qp;
    int32_t filter_param_flag;
    int32_t alpha_offset, beta_offset;
    int32_t lf_disabled;
    // Layer geometry: base layer and the enhancement layer at twice its size; computed by the
    // first slice of a two-layer stream after each picture parameter set.
    int32_t base_mb_width, base_mb_height, base_width, base_height, base_mb_count;
    int32_t enh_mb_width, enh_mb_height, enh_width, enh_height, enh_mb_count;
    // Padded reference windows of motion compensation, sized for the luma stride at each picture start.
    uint8_t *pad_block_buf;
    size_t pad_block_cap;
    int32_t saved_top_left_slice;
    int32_t walk_in_rows;       // the slice's pictures have no rectangles: mb_advance steps along rows inline
    int32_t cur_top_slice;      // top_slice_ids entry of the current column before the current macroblock took it

    // Per call
    int32_t layer_mask;
    int32_t slice_count;
    extension_data_record *ext;
    int32_t cur_layer;

    layer_ctx layer[2];
    uint8_t *enh_buf;

    lf_worker lf;
    output_queue queue;
};

int decoder_ctx_init(decoder_ctx *ctx);
int decoder_ctx_free(decoder_ctx *ctx);
// Returns an open instance to the state of a new one (no pictures, parameter sets, key or
// queued output), keeping its worker thread and ring: cheap reuse across streams.
void decoder_ctx_reset(decoder_ctx *ctx);
// 0, or -1 when a buffer cannot be allocated (the buffers made so far stay for the free).
int alloc_layer_buffers(decoder_ctx *ctx);
int reset_picture_state(decoder_ctx *ctx);

// The walk over the NAL units of one input buffer; sets *got_picture.
int32_t decode_nal_units(decoder_ctx *ctx, int32_t *got_picture, const uint8_t *data, int32_t length);
