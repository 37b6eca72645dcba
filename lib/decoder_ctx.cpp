#include "decoder_ctx.h"

#include <cstddef>
#include <cstring>

#include "mem.h"

namespace {

// The fields of a new instance that are not zero.
void set_initial_state(decoder_ctx *ctx)
{
    ctx->cipher_type = ctx->hash_type = ctx->sign_type = -1;
    std::memset(ctx->key, 0, sizeof ctx->key);
    ctx->key_len = 0;
    for (layer_ctx &layer : ctx->layer) {
        for (auto &rec : layer.nb_default) {
            const int16_t defaults[6] = {0, 0, 1, -1, 0, 0};
            std::memcpy(rec, defaults, sizeof defaults);
        }
        layer.picture_done = 1;
        layer.poc_last_out = -1;
    }
    ctx->prev_pic_num = -1;
    ctx->frame_num = -1;
    ctx->last_sps_id = -1;
    ctx->queue = output_queue{};
}

// Everything the instance owns but its worker.
void release_state(decoder_ctx *ctx)
{
    frame_queue_release(&ctx->queue.list);
    ctx->queue.count = 0;
    for (layer_ctx &layer : ctx->layer) {
        frame_unref(&layer.cur);
        frame_unref(&layer.output);
        frame_unref(&layer.output_before);
        frame_unref(&layer.ref0);
        frame_unref(&layer.ref1);
        frame_pool_destroy(&layer.pool);
        for (uint8_t *&buf : layer.buf)
            mem_freep(&buf);
        mem_freep(&layer.region_map);
        mem_freep(&layer.region_next);
    }
    pps_free_arrays(ctx);
    sec_state_free(ctx);
    mem_freep(&ctx->pad_block_buf);
    ctx->pad_block_cap = 0;
    mem_freep(&ctx->enh_buf);
    mem_freep(&ctx->buf256);
    mem_freep(&ctx->pic_work_buf);
    mem_freep(&ctx->nal_work_buffer);
    ctx->nal_work_capacity = 0;
}

} // namespace

int decoder_ctx_init(decoder_ctx *ctx)
{
    set_initial_state(ctx);
    return lf_worker_start(ctx);
}

int decoder_ctx_free(decoder_ctx *ctx)
{
    // The worker may still be filtering into pictures: it goes first.
    lf_worker_stop(ctx);
    release_state(ctx);
    return 0;
}

void decoder_ctx_reset(decoder_ctx *ctx)
{
    lf_worker_drain(ctx);
    release_state(ctx);
    // Back to the zeroed state of a new instance, but for the worker, which sleeps on its
    // own mutex and conditions inside ctx->lf.
    auto *bytes = reinterpret_cast<unsigned char *>(ctx);
    const size_t lf_begin = offsetof(decoder_ctx, lf), lf_end = lf_begin + sizeof(lf_worker);
    std::memset(bytes, 0, lf_begin);
    std::memset(bytes + lf_end, 0, sizeof(decoder_ctx) - lf_end);
    set_initial_state(ctx);
}

int alloc_layer_buffers(decoder_ctx *ctx)
{
    const size_t w = static_cast<size_t>(ctx->mb_width);
    const size_t h = static_cast<size_t>(ctx->mb_height);
    if (ctx->mb_width < 1 || ctx->mb_height < 1)
        return -2;
    const size_t sizes[LB_COUNT] = {
        w, w, 4 * w, 24 * w + 12, 24 * w + 12, 24 * w, 32 * w + 32, 20 * w, 20 * w,
        4 * w, 4 * w, 4 * w, 48 * w * h, w * h, 4 * w, 4 * w,
    };
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    for (int i = 0; i < LB_COUNT; ++i) {
        if (i == LB_LEFT_SLICE_IDS && !ctx->buf256 && !(ctx->buf256 = static_cast<uint8_t *>(mem_alloc(256))))
            return -1;
        if (!layer.buf[i] && !(layer.buf[i] = static_cast<uint8_t *>(mem_alloc(sizes[i])))) {
            // A half-made set must not look allocated: the first buffer marks it.
            mem_freep(&layer.buf[0]);
            return -1;
        }
    }
    if (ctx->cur_layer == 1 && ctx->has_enhancement && !ctx->enh_buf &&
        !(ctx->enh_buf = static_cast<uint8_t *>(mem_alloc(4 * w))))
        return -1;
    return 0;
}

int reset_picture_state(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    frame_buf *pic = layer.cur;
    if (!pic || ctx->mb_width < 1)
        return -2;
    const int32_t s = ctx->bit_depth > 8 ? 2 : 1;
    const int32_t v = ctx->chroma_format == 1 ? 8 : 16;
    const int32_t l = pic->stride[0];
    const int32_t k = pic->stride[1];
    layer.luma_stride = l;
    layer.chroma_stride = k;

    const int32_t origin8[4] = {0, 8 * s, 8 * l, 8 * l + 8 * s};
    const int32_t step4[4] = {0, 4 * s, 4 * l, 4 * l + 4 * s};
    for (int b = 0; b < 4; ++b) {
        layer.blk_offset[b] = origin8[b];
        for (int i = 0; i < 4; ++i)
            layer.blk_offset[4 + 4 * b + i] = origin8[b] + step4[i];
    }

    const int32_t a = layer.first_mb;
    layer.first_mb_x = a % ctx->mb_width;
    layer.first_mb_y = a / ctx->mb_width;
    const int64_t x = layer.first_mb_x, y = layer.first_mb_y;
    layer.mb_x = layer.first_mb_x;
    layer.mb_y = layer.first_mb_y;
    layer.cur_mb_addr = a;
    layer.mb_avail = 0;
    layer.mb_plane[0] = pic->plane[0] + 16 * y * l + 16 * s * x;
    if (pic->plane_count == 3) {
        layer.mb_plane[1] = pic->plane[1] + v * y * k + 8 * s * x;
        layer.mb_plane[2] = pic->plane[2] + v * y * k + 8 * s * x;
    } else {
        layer.mb_plane[1] = layer.mb_plane[2] = nullptr;
    }
    return 0;
}
