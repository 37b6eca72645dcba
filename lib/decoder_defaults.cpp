// Stages not linked into this build; their own definitions replace these at link time.
#include "decoder_ctx.h"
#include "lf_record.h"
#include "mb_address.h"
#include "nal_walk.h"
#include "slice_header.h"

#include <cstring>

__attribute__((weak)) void mb_loop_filter(const lf_record *) {}

// Without a macroblock layer every macroblock of the slice's region counts as decoded: the
// picture keeps whatever its buffer held, and references and output order run as usual.
__attribute__((weak)) int32_t decode_slice_data(decoder_ctx *ctx)
{
    const int result = parse_slice_header(ctx);
    if (result < 0)
        return result;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    ctx->pic_type = ctx->slice_type == 2 ? 1 : ctx->slice_type == 0 ? 2 : 3;
    layer.poc_cur = (2 * ctx->frame_num) & 511;
    for (int64_t guard = 2 * static_cast<int64_t>(ctx->mb_total) + 2; guard > 0 && mb_advance(ctx); --guard) {
    }
    if (ctx->pic_type == 3 || layer.picture_done != 1)
        return layer.picture_done ? 0 : 1;
    frame_unref(&layer.ref1);
    layer.ref1 = layer.ref0;
    layer.ref0 = layer.cur;
    layer.cur = nullptr;
    layer.poc_ref1 = layer.poc_ref0;
    layer.poc_ref0 = layer.poc_cur;
    layer.poc_cur = 0;
    if (ctx->cur_sps->roi_flag)
        layer.roi_regions_left = ctx->cur_pps->num_roi;
    ctx->slice_count = 0;
    ctx->saved_top_left_slice = 0;
    for (int which : {LB_LEFT_SLICE_IDS, LB_TOP_SLICE_IDS})
        if (layer.buf[which])
            std::memset(layer.buf[which], 0, 4 * static_cast<size_t>(ctx->mb_width));
    return 0;
}

__attribute__((weak)) int32_t parse_extension_unit(decoder_ctx *) { return 0; }
__attribute__((weak)) int32_t parse_sec_param_set(decoder_ctx *) { return 0; }
__attribute__((weak)) void decrypt_nal_payload(decoder_ctx *, uint8_t *, int32_t) {}
__attribute__((weak)) void mb_keep_motion(decoder_ctx *) {}
__attribute__((weak)) void mb_reset_left_context(decoder_ctx *) {}
