#include "output_queue.h"

#include "svacdec.h"

static bool queued(const output_queue &q, const frame_buf *pic)
{
    for (const frame_buf *b = q.list.head; b; b = b->queue_next)
        if (b == pic)
            return true;
    return false;
}

static bool id_in_use(const output_queue &q, int32_t id)
{
    for (const frame_buf *b = q.list.head; b; b = b->queue_next)
        if (b->frame_id == id)
            return true;
    return false;
}

int output_queue_append(decoder_ctx *ctx, frame_buf *pic, int32_t layer)
{
    output_queue &q = ctx->queue;
    if (!pic || queued(q, pic))
        return -2;
    if (q.count >= SVAC_QUEUE_CAPACITY) {
        frame_buf *oldest = q.list.head;
        q.list.head = oldest->queue_next;
        if (q.list.cursor == oldest)
            q.list.cursor = oldest->queue_next;
        if (q.list.tail == oldest)
            q.list.tail = nullptr;
        frame_unref(&oldest);
        --q.count;
    }
    // Ids run 0..254 over appends; one still held by an older queued picture is skipped, so
    // a release never hits another picture than the host's.
    int32_t id = q.id_counter % SVAC_QUEUE_CAPACITY;
    while (id_in_use(q, id)) {
        ++q.id_counter;
        id = q.id_counter % SVAC_QUEUE_CAPACITY;
    }
    q.id_counter = (q.id_counter + 1) % SVAC_QUEUE_CAPACITY;

    frame_buf *ref = nullptr;
    frame_ref(&ref, pic);
    ref->queue_next = nullptr;
    ref->layer = layer;
    // The picture's own samples: the stream may have changed format since it was decoded.
    ref->chroma_format = pic->format % 100 - FRAME_FMT_400;
    ref->bit_depth = pic->format > 100 ? 10 : 8;
    ref->frame_id = id;
    if (q.list.tail)
        q.list.tail->queue_next = ref;
    if (!q.list.head)
        q.list.head = ref;
    if (!q.list.cursor)
        q.list.cursor = ref;
    q.list.tail = ref;
    ++q.count;
    return 0;
}

static int32_t display_height(int32_t width, int32_t height)
{
    if (width == 1920 && height == 1088) return 1080;
    if (width == 1280 && height == 736) return 720;
    if (width == 640 && height == 368) return 360;
    if (width == 960 && height == 544) return 540;
    return height;
}

extern "C" SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_get_output_frame(void *handle, output_frame_rec *rec)
{
    auto *ctx = static_cast<decoder_ctx *>(handle);
    if (!ctx || !rec)
        return SVAC_ERR_INVALID;
    frame_buf *pic = ctx->queue.list.cursor;
    if (!pic)
        return SVAC_ERR_NOFRAME;
    const bool chroma = pic->plane_count == 3;
    for (int i = 0; i < 3; ++i) {
        rec->plane[i] = (i == 0 || chroma) ? pic->plane[i] : nullptr;
        rec->stride[i] = (i == 0 || chroma) ? pic->stride[i] : 0;
    }
    rec->width = pic->width;
    rec->height = display_height(pic->width, pic->height);
    rec->layer = pic->layer;
    rec->chroma_format = pic->chroma_format;
    rec->bit_depth = pic->bit_depth;
    rec->frame_id = pic->frame_id;
    ctx->queue.list.cursor = pic->queue_next;
    return 0;
}

extern "C" SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_release_output_frame(void *handle, const output_frame_rec *rec)
{
    auto *ctx = static_cast<decoder_ctx *>(handle);
    if (!ctx || !rec)
        return SVAC_ERR_INVALID;
    output_queue &q = ctx->queue;
    if (q.count <= 0 || !q.list.head || rec->frame_id < 0)
        return SVAC_ERR_INVALID;
    frame_buf *prev = nullptr;
    for (frame_buf *b = q.list.head; b; prev = b, b = b->queue_next) {
        if (b->frame_id != rec->frame_id)
            continue;
        if (prev)
            prev->queue_next = b->queue_next;
        else
            q.list.head = b->queue_next;
        if (q.list.tail == b)
            q.list.tail = prev;
        if (q.list.cursor == b)
            q.list.cursor = b->queue_next;
        frame_unref(&b);
        --q.count;
        return 0;
    }
    // An id that is not queued (stale or forged record) changes nothing: every other record
    // the host holds stays valid.
    return SVAC_ERR_NOFRAME;
}

// Distance from the last output POC forward to poc, in the 9-bit POC space.
static int32_t poc_ahead(int32_t poc, int32_t last_out)
{
    return ((poc - last_out) % 512 + 512) % 512;
}

extern "C" SVAC_API int32_t ZQ_SVAC_Get_LastFrame(void *handle, int32_t layer)
{
    auto *ctx = static_cast<decoder_ctx *>(handle);
    if (!ctx || (layer != 0 && layer != 1))
        return SVAC_ERR_INVALID;
    layer_ctx &l = ctx->layer[layer];
    const int32_t next = (l.poc_last_out + 2) % 512;
    frame_buf *ref1 = l.ref1_out ? nullptr : l.ref1;   // of the group before a key picture: out
    frame_buf *pick = nullptr;
    int32_t poc = 0;
    if (l.ref0 && next == l.poc_ref0) {
        pick = l.ref0;
        poc = l.poc_ref0;
    } else if (ref1 && next == l.poc_ref1) {
        pick = ref1;
        poc = l.poc_ref1;
    } else if (!l.ref0 || l.poc_ref0 != l.poc_last_out) {
        // A reference never output whose POC does not follow at the regular step (a gap in
        // the numbering, or POC 0): the one nearest ahead of the last output goes next. Once
        // the newer reference is out (a key picture restarts the numbering) the older one is too.
        int32_t best = 256;
        if (ref1) {
            int32_t d = poc_ahead(l.poc_ref1, l.poc_last_out);
            if (d > 0 && d < best) { best = d; pick = ref1; poc = l.poc_ref1; }
        }
        if (l.ref0) {
            int32_t d = poc_ahead(l.poc_ref0, l.poc_last_out);
            if (d > 0 && d < best) { best = d; pick = l.ref0; poc = l.poc_ref0; }
        }
    }
    if (!pick)
        return 0;
    l.poc_last_out = poc;
    return output_queue_append(ctx, pick, layer) == 0 ? 1 : 0;
}
