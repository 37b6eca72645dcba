#include "param_sets.h"

#include <cstdio>

#include "decoder_ctx.h"
#include "mem.h"

void parse_sps_ext(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    const int32_t n = read_ue(br) + 1;
    skip_bits(br, 4);
    skip_bits(br, 4);
    // An exhausted reader reads every further entry as nothing: stop there.
    for (int32_t i = 0; i < n && !bit_reader_exhausted(br); ++i) {
        read_ue(br);
        read_ue(br);
        read_bit(br);
    }
    for (int i = 0; i < 3; ++i)
        skip_bits(br, 5);
}

int parse_sps(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    sps_record s{};
    s.profile = static_cast<int32_t>(read_bits(br, 8));
    s.level_idc = static_cast<int32_t>(read_bits(br, 8));
    const int32_t sps_id = read_ue(br);
    if (static_cast<uint32_t>(sps_id) >= SVAC_MAX_SPS) {
        std::printf("svac decoder error: sps, sps_id(%d)\n", sps_id);
        return -5;
    }
    s.chroma_format = static_cast<int32_t>(read_bits(br, 2));
    s.bit_depth_luma_minus8 = read_ue(br);
    s.bit_depth_chroma_minus8 = read_ue(br);
    s.mb_width = read_ue(br) + 1;
    s.mb_height = read_ue(br) + 1;
    s.frame_only_flag = static_cast<int32_t>(read_bit(br));
    s.roi_flag = static_cast<int32_t>(read_bit(br));
    s.svc_flag = static_cast<int32_t>(read_bit(br));
    s.vui_flag = static_cast<int32_t>(read_bit(br));
    if (s.mb_width < 1 || s.mb_width > SVAC_MAX_MB_SIZE || s.mb_height < 1 || s.mb_height > SVAC_MAX_MB_SIZE) {
        std::printf("svac decoder error: mb_width(%d), mb_height(%d)\n", s.mb_width, s.mb_height);
        return -5;
    }
    if (s.vui_flag) {
        s.timing_info_flag = static_cast<int32_t>(read_bit(br));
        if (s.timing_info_flag) {
            s.num_units_in_tick = read_bits(br, 16) << 16;
            s.num_units_in_tick |= read_bits(br, 16);
            s.time_scale = read_bits(br, 16) << 16;
            s.time_scale |= read_bits(br, 16);
            s.fixed_frame_rate_flag = static_cast<int32_t>(read_bit(br));
        }
        s.hrd_flag = static_cast<int32_t>(read_bit(br));
        if (s.hrd_flag)
            parse_sps_ext(ctx);
        s.vui_tail_value = read_ue(br);
        if (bit_reader_exhausted(br))
            return -11;
    }
    if (ctx->last_sps_id != -1) {
        const sps_record &old = ctx->sps[ctx->last_sps_id];
        if (old.roi_flag != s.roi_flag || old.svc_flag != s.svc_flag || old.mb_width != s.mb_width ||
            old.mb_height != s.mb_height) {
            std::printf("SVAC parameters change, must reinit. (%d %d %d %d) -> (%d %d %d %d)\n",
                        old.roi_flag, old.svc_flag, old.mb_width, old.mb_height,
                        s.roi_flag, s.svc_flag, s.mb_width, s.mb_height);
            return -5;
        }
    }
    s.valid = 1;
    ctx->sps[sps_id] = s;
    ctx->last_sps_id = sps_id;
    if (bit_reader_exhausted(br))
        return -11;
    if (s.bit_depth_chroma_minus8 != s.bit_depth_luma_minus8)
        return -5;
    return 0;
}

// Coded QP: 6 bits at 8-bit samples, 7 bits above, stored without the depth offset.
static int32_t read_pps_qp(bit_reader *br, int32_t depth_minus8)
{
    const int32_t coded = static_cast<int32_t>(read_bits(br, depth_minus8 == 0 ? 6 : 7));
    return coded - 7 * depth_minus8;
}

static int alloc_roi_arrays(pps_record &p, const sps_record &sps, int32_t capacity)
{
    if (p.roi_capacity == 0)
        p.roi_capacity = capacity;
    int32_t **arrays[4] = {&p.top_left, &p.bottom_right, &p.enh_top_left, &p.enh_bottom_right};
    const int count = sps.svc_flag ? 4 : 2;
    for (int i = 0; i < count; ++i) {
        if (!*arrays[i] &&
            !(*arrays[i] = static_cast<int32_t *>(mem_alloc(sizeof(int32_t) * static_cast<size_t>(p.roi_capacity)))))
            return -1;
    }
    return 0;
}

int parse_pps(decoder_ctx *ctx)
{
    bit_reader *br = &ctx->bs;
    const int32_t pps_id = read_ue(br);
    if (static_cast<uint32_t>(pps_id) >= SVAC_MAX_PPS) {
        std::printf("svac decoder error: pps,pps_id(%d)\n", pps_id);
        return -6;
    }
    const int32_t sps_id = read_ue(br);
    if (static_cast<uint32_t>(sps_id) >= SVAC_MAX_SPS) {
        std::printf("svac decoder error: pps,sps_id(%d)\n", sps_id);
        return -6;
    }
    pps_record &p = ctx->pps[pps_id];
    const sps_record &sps = ctx->sps[sps_id];
    p.valid = 1;
    p.sps_id = sps_id;
    p.generation = ++ctx->pps_generation;
    p.aec_flag = static_cast<int32_t>(read_bit(br));
    p.pic_init_qp = read_pps_qp(br, sps.bit_depth_luma_minus8);
    if (sps.roi_flag) {
        const bool was_exhausted = bit_reader_exhausted(br);
        p.num_roi = read_ue(br);
        if (was_exhausted)
            p.num_roi = 0;
        if (p.num_roi < 1) {
            p.num_roi = 0;
            p.non_roi_skip_flag = 0;
            p.pic_init_qp_for_roi = p.pic_init_qp;
        } else {
            // Rectangles go into arrays of (mb_width x mb_height) / 2 entries; more do not fit.
            const int32_t capacity = sps.mb_width * sps.mb_height / 2;
            const int32_t room = p.roi_capacity ? p.roi_capacity : capacity;
            if (p.num_roi > room) {
                std::printf("svac decoder error: pps,num_roi(%d)\n", p.num_roi);
                p.num_roi = 0;
                return -6;
            }
            if (alloc_roi_arrays(p, sps, capacity) != 0) {
                p.num_roi = 0;
                return -1;
            }
            p.non_roi_skip_flag = static_cast<int32_t>(read_bit(br));
            if (p.non_roi_skip_flag)
                p.roi_layer_flag = 1;
            else
                p.roi_layer_flag = sps.svc_flag ? static_cast<int32_t>(read_bit(br)) : 0;
            p.pic_init_qp_for_roi = read_pps_qp(br, sps.bit_depth_luma_minus8);
            for (int32_t i = 0; i < p.num_roi; ++i) {
                p.top_left[i] = read_ue(br);
                p.bottom_right[i] = read_ue(br);
            }
        }
    } else {
        p.num_roi = 0;
    }
    p.fixed_pic_qp = static_cast<int32_t>(read_bit(br));
    p.weighting_pred_flag = static_cast<int32_t>(read_bit(br));
    p.loop_filter_disable_flag = static_cast<int32_t>(read_bit(br));
    ctx->layer[0].roi_regions_left = ctx->layer[1].roi_regions_left = p.num_roi;
    ctx->enh_width = ctx->enh_height = 0;
    ctx->slice_count = 0;
    ctx->saved_top_left_slice = 0;
    if (bit_reader_exhausted(br))
        return -11;
    return 0;
}

void pps_free_arrays(decoder_ctx *ctx)
{
    for (pps_record &p : ctx->pps) {
        mem_freep(&p.top_left);
        mem_freep(&p.bottom_right);
        mem_freep(&p.enh_top_left);
        mem_freep(&p.enh_bottom_right);
        p.cur_top_left = p.cur_bottom_right = nullptr;
        p.roi_capacity = 0;
    }
}
