/* Scaler module (libswscale.so): planar YUV 4:2:0 pictures to RGB32. */
#ifndef OUTSIDE_SWSCALE_SWSCALE_H
#define OUTSIDE_SWSCALE_SWSCALE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Source formats (SCALE_PARAMS.srcFormat). */
#define SCALE_FMT_I420 0     /* 8-bit samples */
#define SCALE_FMT_I420_P10 1 /* 16-bit little-endian samples holding 10 significant bits */

/* Destination bits per pixel (SCALE_PARAMS.dstBits): only RGB32 is produced. Pixels are
   32-bit words 0xFFRRGGBB, that is B, G, R, 255 in memory. */
#define SCALE_BITS_RGB32 32

/* The ten 32-bit words given to SCALE_open. */
typedef struct SCALE_PARAMS {
    int32_t srcWidth;
    int32_t srcHeight;
    int32_t srcStride;   /* plane-0 line size in bytes (informative; SCALE_start carries them) */
    int32_t dstWidth;
    int32_t dstHeight;
    int32_t dstStride;   /* pixels per destination line */
    int32_t dstBits;     /* SCALE_BITS_RGB32 */
    int32_t srcFormat;   /* SCALE_FMT_* */
    int32_t flags;       /* quality hints, ignored */
    int32_t reserved;
} SCALE_PARAMS;

/* Planes for SCALE_start. Source: three plane pointers then three line sizes in bytes.
   Destination: plane[0] the RGB32 buffer and lineSize[0] its line size in pixels. */
typedef struct SCALE_PLANES {
    const uint8_t *plane[4];
    int32_t lineSize[4];
} SCALE_PLANES;

/* A conversion handle, or null for parameters it cannot serve. */
void *SCALE_open(const SCALE_PARAMS *params);
/* 0 on success, negative on a bad argument. */
int32_t SCALE_start(void *handle, const SCALE_PLANES *src, const SCALE_PLANES *dst);
void SCALE_close(void *handle);

typedef void *(*SCALE_open_fn)(const SCALE_PARAMS *params);
typedef int32_t (*SCALE_start_fn)(void *handle, const SCALE_PLANES *src, const SCALE_PLANES *dst);
typedef void (*SCALE_close_fn)(void *handle);

#ifdef __cplusplus
}
#endif

#endif
