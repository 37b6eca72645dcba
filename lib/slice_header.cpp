#include "slice_header.h"

#include <cstdio>
#include <cstdlib>

#include "decoder_ctx.h"
#include "mb_address.h"
#include "mc.h"
#include "mem.h"

namespace {

bool is_enhancement(int32_t nal_type) { return nal_type == 3 || nal_type == 4; }

// Refuses slices of a layer that the decode call's mask excludes or the sequence lacks.
bool layer_refused(const decoder_ctx *ctx, const sps_record &sps)
{
    const bool enh = is_enhancement(ctx->nal_type);
    if (!sps.svc_flag)
        return enh;
    const bool base_bit = ctx->layer_mask & 1, enh_bit = ctx->layer_mask & 2;
    if (!enh)
        return !base_bit && enh_bit;
    return base_bit && !enh_bit;
}

void set_geometry(decoder_ctx *ctx, int32_t mb_w, int32_t mb_h)
{
    ctx->mb_width = mb_w;
    ctx->mb_height = mb_h;
    ctx->width = 16 * mb_w;
    ctx->height = 16 * mb_h;
    ctx->mb_total = mb_w * mb_h;
}

// Base and enhancement geometry of a two-layer stream, with the rectangles mapped to the
// enhancement layer; done once after each picture parameter set.
void compute_layer_geometry(decoder_ctx *ctx, const sps_record &sps, pps_record &pps)
{
    if (ctx->base_width && ctx->base_height && ctx->enh_width && ctx->enh_height)
        return;
    ctx->base_mb_width = sps.mb_width;
    ctx->base_mb_height = sps.mb_height;
    ctx->base_width = 16 * sps.mb_width;
    ctx->base_height = 16 * sps.mb_height;
    ctx->base_mb_count = sps.mb_width * sps.mb_height;
    ctx->enh_mb_width = 2 * sps.mb_width;
    ctx->enh_mb_height = 2 * sps.mb_height;
    ctx->enh_width = 2 * ctx->base_width;
    ctx->enh_height = 2 * ctx->base_height;
    ctx->enh_mb_count = ctx->enh_mb_width * ctx->enh_mb_height;
    if (!sps.roi_flag || pps.num_roi < 1 || !pps.top_left || !pps.enh_top_left)
        return;
    const int32_t w = sps.mb_width;
    for (int32_t i = 0; i < pps.num_roi; ++i) {
        const int32_t t = pps.top_left[i], b = pps.bottom_right[i];
        const int32_t x1 = t % w, y1 = t / w, x2 = b % w, y2 = b / w;
        pps.enh_top_left[i] = 2 * y1 * 2 * w + 2 * x1;
        pps.enh_bottom_right[i] = (2 * y2 + 1) * 2 * w + 2 * x2 + 1;
    }
}

// Picture buffer format of the sequence's samples as start_picture makes it; 0 for those it
// refuses.
int32_t picture_format(const sps_record &sps)
{
    const int32_t luma = sps.bit_depth_luma_minus8, chroma = sps.bit_depth_chroma_minus8;
    if (sps.chroma_format < 0 || sps.chroma_format > 2 || luma != chroma || (luma != 0 && luma != 2))
        return 0;
    return FRAME_FMT_400 + sps.chroma_format + (luma > 0 ? 100 : 0);
}

int start_picture(decoder_ctx *ctx, const sps_record &sps)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    layer.mbs_left = ctx->mb_total;
    if (lf_worker_reset(ctx) != 0)
        return -1;
    frame_unref(&layer.cur);
    int32_t format;
    switch (sps.chroma_format) {
    case 0: format = FRAME_FMT_400; break;
    case 1: format = FRAME_FMT_420; break;
    case 2: format = FRAME_FMT_422; break;
    default:
        std::printf("error chroma format: %d\n", sps.chroma_format);
        return -2;
    }
    // Kernels exist for 8-bit and 10-bit samples only.
    const int32_t luma = sps.bit_depth_luma_minus8, chroma = sps.bit_depth_chroma_minus8;
    if (luma != chroma || (luma != 0 && luma != 2)) {
        std::printf("unsupport bit depth format, luma %d, chroma %d\n", luma + 8, chroma + 8);
        return -2;
    }
    if (luma > 0)
        format += 100;
    layer.cur = frame_pool_get(&layer.pool, ctx->width, ctx->height, format);
    if (!layer.cur)
        return -1;
    // The enhancement layer's pictures are twice as wide: the window area follows every picture.
    if (pad_block_buf_reserve(&ctx->pad_block_buf, &ctx->pad_block_cap, layer.cur->stride[0]) != 0)
        return -1;
    return 0;
}

} // namespace

int parse_slice_header(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t nal_type = ctx->nal_type;

    const int32_t pps_id = read_ue(br);
    if (pps_id == -3)
        return -2;
    if (static_cast<uint32_t>(pps_id) >= SVAC_MAX_PPS) {
        std::printf("svac dcoder error: pps_id(%d)\n", pps_id);
        return -2;
    }
    pps_record &pps = ctx->pps[pps_id];
    if (pps.sps_id >= SVAC_MAX_SPS) {
        std::printf("svac dcoder error: sps_id(%d)\n", pps.sps_id);
        return -2;
    }
    sps_record &sps = ctx->sps[pps.sps_id];
    // Parameter sets never received have no geometry to address macroblocks with.
    if (!pps.valid || !sps.valid)
        return -2;
    ctx->pps_id = pps_id;
    ctx->cur_pps = &pps;
    ctx->cur_sps = &sps;

    if (layer_refused(ctx, sps))
        return -2;
    set_geometry(ctx, sps.mb_width, sps.mb_height);

    ctx->prev_pic_num = ctx->frame_num;
    ctx->frame_num = static_cast<int32_t>(read_bits(br, 8));
    if (nal_type == 2 || nal_type == 4)
        ctx->idr_pic_id = read_ue(br);
    ctx->pic_structure = -1;
    if (!sps.frame_only_flag) {
        ctx->field_pic_flag = static_cast<int32_t>(read_bit(br));
        if (ctx->field_pic_flag)
            ctx->pic_structure = static_cast<int32_t>(read_bit(br));
    }

    if (sps.svc_flag) {
        compute_layer_geometry(ctx, sps, pps);
        if (is_enhancement(nal_type)) {
            set_geometry(ctx, ctx->enh_mb_width, ctx->enh_mb_height);
            pps.cur_top_left = pps.enh_top_left;
            pps.cur_bottom_right = pps.enh_bottom_right;
        } else {
            set_geometry(ctx, ctx->base_mb_width, ctx->base_mb_height);
            pps.cur_top_left = pps.top_left;
            pps.cur_bottom_right = pps.bottom_right;
        }
    } else {
        pps.cur_top_left = pps.top_left;
        pps.cur_bottom_right = pps.bottom_right;
    }
    const int32_t mb_count = ctx->mb_total;
    layer.mb_count = mb_count;

    const int32_t first_mb = read_ue(br);
    if (first_mb < 0 || first_mb >= mb_count)
        return -2;
    if (!sps.roi_flag && layer.mbs_left == mb_count && first_mb != 0)
        return -2;
    ctx->first_mb_in_slice = first_mb;

    int32_t slice_type = read_ue(br);
    if (slice_type > 2)
        slice_type -= 3;
    if (slice_type < 0 || slice_type > 2)
        return -2;
    ctx->slice_type = slice_type;
    if (slice_type == 0 || (slice_type == 1 && ctx->field_pic_flag == 1))
        ctx->single_ref_flag = static_cast<int32_t>(read_bit(br));

    const int32_t qp_offset = 7 * sps.bit_depth_luma_minus8;
    if (pps.fixed_pic_qp == 1) {
        ctx->fixed_slice_qp = 1;
        ctx->slice_qp = pps.pic_init_qp + qp_offset;
    } else {
        ctx->fixed_slice_qp = static_cast<int32_t>(read_bit(br));
        ctx->slice_qp_delta = read_se(br);
        const bool in_roi = sps.roi_flag == 1 && pps.num_roi >= 1 && roi_region_of_mb(ctx, first_mb) != -1;
        const int32_t base = in_roi ? pps.pic_init_qp_for_roi : pps.pic_init_qp;
        ctx->slice_qp = base + qp_offset + ctx->slice_qp_delta;
    }
    if (ctx->slice_qp - qp_offset < 0 || ctx->slice_qp - qp_offset > SVAC_QP_MAX)
        return -2;
    ctx->mb_qp = ctx->slice_qp;

    if (pps.loop_filter_disable_flag == 0) {
        ctx->filter_param_flag = static_cast<int32_t>(read_bit(br));
        if (ctx->filter_param_flag) {
            ctx->alpha_offset = read_se(br);
            ctx->beta_offset = read_se(br);
        }
    }

    layer.first_mb = first_mb;
    layer.cur_mb_addr = first_mb;
    ctx->slice_count += 1;
    ctx->lf_disabled = pps.loop_filter_disable_flag;
    if (bit_reader_exhausted(br))
        return -11;

    const bool new_picture = ctx->frame_num != ctx->prev_pic_num || layer.picture_done == 1;
    // Every slice of a picture decodes in the sample format of the picture's buffer.
    if (!new_picture && layer.cur && layer.cur->format != picture_format(sps))
        return -2;
    ctx->chroma_format = sps.chroma_format;
    ctx->bit_depth = 8 + sps.bit_depth_luma_minus8;
    ctx->has_enhancement = sps.svc_flag;
    if (new_picture) {
        const int result = start_picture(ctx, sps);
        if (result != 0)
            return result;
    }
    if (!layer.buf[0] && alloc_layer_buffers(ctx) != 0)
        return -1;
    if (roi_map_update(ctx) != 0)
        return -1;
    return reset_picture_state(ctx);
}
