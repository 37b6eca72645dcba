#include "frame.h"

#include <cstdio>
#include <cstring>

#include "mem.h"

static int64_t round16(int64_t v) { return (v + 15) & ~int64_t{15}; }
static int64_t round32(int64_t v) { return (v + 31) & ~int64_t{31}; }

int frame_layout_compute(int32_t width, int32_t height, int32_t format, frame_layout *out)
{
    const int64_t w = round16(width);
    const int64_t rows = round32(height) + 32;
    const int64_t l8 = round32(w + 32);
    const int64_t l16 = round32(2 * w + 64);
    const int64_t c8 = (((w + 32) >> 1) + 31) & ~int64_t{31};

    int64_t luma_stride, chroma_stride = 0, chroma_rows = 0, chroma_border = 0;
    int planes = 3;
    switch (format) {
    case FRAME_FMT_400: luma_stride = l8; planes = 1; break;
    case FRAME_FMT_420: luma_stride = l8; chroma_stride = c8; chroma_rows = rows / 2; chroma_border = 8; break;
    case FRAME_FMT_422: luma_stride = l8; chroma_stride = c8; chroma_rows = rows; chroma_border = 16; break;
    case FRAME_FMT_400_16: luma_stride = l16; planes = 1; break;
    case FRAME_FMT_420_16: luma_stride = l16; chroma_stride = l8; chroma_rows = rows / 2; chroma_border = 8; break;
    case FRAME_FMT_422_16: luma_stride = l16; chroma_stride = l8; chroma_rows = rows; chroma_border = 16; break;
    default: return -1;
    }
    std::memset(out, 0, sizeof *out);
    out->plane_count = planes;
    out->stride[0] = static_cast<int32_t>(luma_stride);
    out->rows[0] = static_cast<int32_t>(rows);
    out->block[0] = rows * luma_stride + 32;
    out->origin[0] = 16 * luma_stride + 32;
    for (int i = 1; i < planes; ++i) {
        out->stride[i] = static_cast<int32_t>(chroma_stride);
        out->rows[i] = static_cast<int32_t>(chroma_rows);
        out->block[i] = chroma_rows * chroma_stride + 32;
        out->origin[i] = chroma_border * chroma_stride + 32;
    }
    return 0;
}

frame_pool *frame_pool_init(frame_pool *pool, int32_t width, int32_t height, int32_t format)
{
    pool->width = width;
    pool->height = height;
    pool->format = format;
    pool->free_head = pool->free_tail = nullptr;
    return pool;
}

static void free_list_release(frame_pool *pool)
{
    frame_buf *b = pool->free_head;
    while (b) {
        frame_buf *next = b->free_next;
        mem_free(b);
        b = next;
    }
    pool->free_head = pool->free_tail = nullptr;
}

frame_buf *frame_pool_get(frame_pool *pool, int32_t width, int32_t height, int32_t format)
{
    if (!pool || width <= 0 || height <= 0 || format == 0) {
        std::printf("invalid parameter: pool %p width %d height %d fmt %d\n",
                    static_cast<void *>(pool), width, height, format);
        return nullptr;
    }
    frame_buf *b = nullptr;
    if (pool->width != width || pool->height != height || pool->format != format) {
        free_list_release(pool);
        pool->width = width;
        pool->height = height;
        pool->format = format;
    } else if (pool->free_head) {
        b = pool->free_head;
        pool->free_head = b->free_next;
        if (!pool->free_head)
            pool->free_tail = nullptr;
        b->free_next = nullptr;
    }
    if (!b) {
        frame_layout layout;
        if (frame_layout_compute(width, height, format, &layout) != 0) {
            std::printf("unsupport frame format: %d\n", format);
            return nullptr;
        }
        int64_t total = sizeof(frame_buf);
        for (int i = 0; i < layout.plane_count; ++i)
            total += layout.block[i];
        if (total > static_cast<int64_t>(SVAC_MEM_MAX) ||
            !(b = static_cast<frame_buf *>(mem_malloc(static_cast<size_t>(total))))) {
            std::printf("alloc frame buffer error!\n");
            return nullptr;
        }
        std::memset(b, 0, sizeof *b);
        b->plane_count = layout.plane_count;
        b->width = width;
        b->height = height;
        b->format = format;
        b->created = 1;
        b->frame_id = -1;
        uint8_t *block = reinterpret_cast<uint8_t *>(b) + sizeof(frame_buf);
        for (int i = 0; i < layout.plane_count; ++i) {
            b->stride[i] = layout.stride[i];
            b->plane[i] = block + layout.origin[i];
            block += layout.block[i];
        }
    }
    b->refcount = 1;
    b->pool = pool;
    return b;
}

void frame_pool_destroy(frame_pool *pool)
{
    free_list_release(pool);
    pool->width = pool->height = pool->format = 0;
}

// Drops one reference; at zero the buffer goes back to its pool, or is freed when the pool
// has taken another geometry since it was made.
static void drop_reference(frame_buf *b)
{
    if (!b || b->refcount < 1)
        return;
    if (--b->refcount > 0)
        return;
    b->frame_id = -1;
    b->queue_next = nullptr;
    frame_pool *pool = b->pool;
    if (pool && pool->width == b->width && pool->height == b->height && pool->format == b->format) {
        b->free_next = nullptr;
        if (pool->free_tail)
            pool->free_tail->free_next = b;
        else
            pool->free_head = b;
        pool->free_tail = b;
    } else {
        mem_free(b);
    }
}

void frame_unref(frame_buf **p)
{
    if (!p)
        return;
    frame_buf *b = *p;
    *p = nullptr;
    drop_reference(b);
}

void frame_ref(frame_buf **dst, frame_buf *src)
{
    *dst = src;
    if (src)
        ++src->refcount;
}

void frame_move(frame_buf **dst, frame_buf **src)
{
    *dst = *src;
    *src = nullptr;
}

void frame_queue_release(frame_list *list)
{
    frame_buf *b = list->head;
    while (b) {
        frame_buf *next = b->queue_next;
        drop_reference(b);
        b = next;
    }
    list->head = list->tail = list->cursor = nullptr;
}
