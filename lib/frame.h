// Reference-counted picture buffers from a per-layer pool. One allocation holds the header and
// every sample plane, each plane surrounded by the border that motion compensation reads.
#pragma once
#include <cstdint>

enum frame_format : int32_t {
    FRAME_FMT_400 = 1,
    FRAME_FMT_420 = 2,
    FRAME_FMT_422 = 3,
    FRAME_FMT_400_16 = 101,
    FRAME_FMT_420_16 = 102,
    FRAME_FMT_422_16 = 103,
};

struct frame_pool;

struct alignas(32) frame_buf {
    uint8_t *plane[8];
    int32_t stride[8];
    int32_t plane_count;
    int32_t width, height, format;
    int32_t created;
    int32_t refcount;
    frame_pool *pool;
    frame_buf *free_next;
    int32_t layer, chroma_format, bit_depth;
    frame_buf *queue_next;
    int32_t frame_id;       // 0..254 while queued, -1 once free
};

struct frame_pool {
    int32_t width, height, format;
    frame_buf *free_head, *free_tail;
};

// Plane geometry of one picture size and format, in bytes.
struct frame_layout {
    int32_t plane_count;
    int32_t stride[3];
    int32_t rows[3];
    int64_t block[3];       // bytes of each plane block
    int64_t origin[3];      // first visible sample within its block
};

// 0, or -1 for an unsupported format.
int frame_layout_compute(int32_t width, int32_t height, int32_t format, frame_layout *out);

frame_pool *frame_pool_init(frame_pool *pool, int32_t width, int32_t height, int32_t format);
frame_buf *frame_pool_get(frame_pool *pool, int32_t width, int32_t height, int32_t format);
void frame_pool_destroy(frame_pool *pool);

void frame_unref(frame_buf **p);
void frame_ref(frame_buf **dst, frame_buf *src);
void frame_move(frame_buf **dst, frame_buf **src);

// A list of queued pictures linked through queue_next.
struct frame_list {
    frame_buf *head, *tail, *cursor;
};
void frame_queue_release(frame_list *list);
