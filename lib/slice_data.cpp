// The slice data loop: slice header, per-slice distances, the macroblock loop of I, P and B
// pictures, and the reference rotation when an I or P picture completes.
#include <cstring>

#include "aec.h"
#include "decoder_ctx.h"
#include "inter_pred.h"
#include "mb_address.h"
#include "mb_inter.h"
#include "mb_intra.h"
#include "nal_walk.h"
#include "slice_header.h"

namespace {

void compute_distances(decoder_ctx *ctx, const layer_ctx &layer)
{
    const int32_t poc = layer.poc_cur;
    if (ctx->pic_type == 3) {
        ctx->ref_distance[0] = (layer.poc_ref0 - poc) & 511;
        ctx->ref_distance[1] = (poc - layer.poc_ref1) & 511;
    } else {
        ctx->ref_distance[0] = (poc - layer.poc_ref0) & 511;
        ctx->ref_distance[1] = (poc - layer.poc_ref1) & 511;
    }
    for (int r = 0; r < 2; ++r) {
        const int32_t d = ctx->ref_distance[r];
        ctx->ref_distance_scale[r] = d ? 512 / d : 0;
        if (ctx->pic_type != 3)
            ctx->direct_scale[r] = d ? 16384 / d : 0;
    }
    if (ctx->pic_type == 3)
        ctx->sym_scale = ctx->ref_distance[0] * ctx->ref_distance_scale[1];
}

// The switches and DUMP_INFO are process-wide words that the host and every instance share, so
// they are read and written atomically; DUMP_INFO is stored only when it changes, which keeps
// instances decoding at once from contending for its cache line.
void set_debug_words(decoder_ctx *ctx)
{
    const int32_t *word = ctx->pic_type == 1 ? &dump_i : ctx->pic_type == 2 ? &dump_p : &dump_b;
    const int32_t sw = __atomic_load_n(word, __ATOMIC_RELAXED);
    const int32_t info = sw != 0 ? 1 : 0;
    if (__atomic_load_n(&DUMP_INFO, __ATOMIC_RELAXED) != info)
        __atomic_store_n(&DUMP_INFO, info, __ATOMIC_RELAXED);
    ctx->dump_switch = sw;
}

int32_t fail_picture(layer_ctx &layer, int32_t code)
{
    layer.picture_done = 1;
    layer.mbs_left = 0;
    return code;
}

int32_t finish_slice(decoder_ctx *ctx, layer_ctx &layer)
{
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

} // namespace

int32_t decode_slice_data(decoder_ctx *ctx)
{
    const int header = parse_slice_header(ctx);
    if (header < 0)
        return header;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    bit_reader *br = &ctx->bs;
    ctx->pic_type = ctx->slice_type == 2 ? 1 : ctx->slice_type == 0 ? 2 : 3;
    layer.poc_cur = (2 * ctx->frame_num) & 511;
    compute_distances(ctx, layer);
    if (ctx->pic_type == 2)
        start_p_slice(ctx);
    if (ctx->pic_type != 1)
        inter_pred_start_slice(ctx);
    ctx->walk_in_rows = ctx->cur_pps->num_roi < 1 && !ctx->cur_sps->roi_flag;

    const bool aec = ctx->cur_pps->aec_flag != 0;
    if (aec) {
        const int32_t pos = (br->position + 7) & ~7;
        const int32_t bytes = (br->length - pos + 7) / 8;
        const int started = aec_init(ctx, br->base + pos / 8, bytes > 0 ? bytes : 0);
        if (started < 0)
            return started;
    }
    set_debug_words(ctx);

    const bool roi_skip = ctx->cur_sps->roi_flag == 1 && ctx->cur_pps->non_roi_skip_flag == 1;
    int32_t run = -1;
    for (;;) {
        int result;
        if (ctx->pic_type == 1) {
            if (bits_left(br) <= 0)
                break;
            const int32_t mb_type = aec ? aec_read_mb_type_i(ctx) : read_ue(br);
            // A failed or negative type has no meaning: refused rather than taken as I_8X8.
            if (mb_type < 0)
                return fail_picture(layer, -2);
            result = decode_intra_mb(ctx, mb_type);
        } else {
            const bool outside = roi_skip && roi_region_of_mb(ctx, layer.cur_mb_addr) == -1;
            bool skipped;
            if (aec) {
                skipped = aec_read_mb_skip_run(ctx) > 0;
            } else {
                if (run < 0 && !outside)
                    run = read_ue(br);
                skipped = run > 0;
                --run;
            }
            if (skipped || outside) {
                result = ctx->pic_type == 2 ? decode_p_mb(ctx, 6) : decode_b_mb(ctx, 30);
            } else {
                if (bits_left(br) <= 0)
                    break;
                const int32_t code = aec ? (ctx->pic_type == 2 ? aec_read_mb_type_p(ctx) : aec_read_mb_type_b(ctx))
                                         : read_ue(br);
                if (ctx->pic_type == 2) {
                    if (code < 0) {
                        layer.picture_done = 1;
                        layer.mbs_left = 0;
                        return finish_slice(ctx, layer);
                    }
                    result = code + 2 < 6 ? decode_p_mb(ctx, code + 2) : decode_intra_mb(ctx, code - 4);
                } else {
                    result = code + 7 < 30 ? decode_b_mb(ctx, code + 7) : decode_intra_mb(ctx, code - 23);
                }
            }
        }

        if (result < 0)
            return fail_picture(layer, result);
        if (aec && aec_read_end_of_slice(ctx)) {
            mb_advance(ctx);
            break;
        }
        if (bit_reader_exhausted(br) || (aec && aec_data_exhausted(ctx)))
            return -11;
        if (!mb_advance(ctx))
            break;
    }
    return finish_slice(ctx, layer);
}
