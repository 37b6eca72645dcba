/* Public interface of the SVAC decoder library libPravenna.so. */
#ifndef PRAVENNA_SVACDEC_H
#define PRAVENNA_SVACDEC_H

#include <stdint.h>

#if defined(PRAVENNA_BUILD)
#define SVAC_API __attribute__((visibility("default")))
#else
#define SVAC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One input buffer of an elementary stream. */
typedef struct decode_input {
    const unsigned char *data;
    int32_t length;          /* bytes */
    int32_t layer_mask;      /* bit 0 base, bit 1 enhancement; 0 and 3 mean both */
} decode_input;

/* A picture handed out by the output queue; the planes stay the decoder's until released. */
typedef struct output_frame_rec {
    unsigned char *plane[3]; /* first visible sample; planes 1 and 2 null for luma-only pictures */
    int32_t stride[3];       /* bytes; 0 for absent planes */
    int32_t width, height;   /* samples, height after the display fix-ups */
    int32_t layer;           /* 0 base, 1 enhancement */
    int32_t chroma_format;   /* 0 4:0:0, 1 4:2:0, 2 4:2:2 */
    int32_t bit_depth;       /* above 8 every sample is a 16-bit word */
    int32_t frame_id;        /* 0..254, the key for releasing the picture */
} output_frame_rec;

/* Surveillance extension data filled by each decode call, addressed by byte offsets (all
   values little-endian):
     0     flags: 0x2 time, 0x20 car plate, 0x1001/0x1002/0x1004 typed block 0x20/0x21/0x22
     4     time: eight 32-bit words (year, month, day, hour, minute, second, sub-second, last)
     3248  typed blocks 0x20, 0x21, 0x22: 258 bytes each; byte 10 the data bytes kept, at most
           244 from byte 14 (longer data is cut to the slot)
     4024  car plate count, then 20 entries of 32 bytes from 4028
     4668  ID card count, then 20 entries of 182 bytes from 4672 (fields at 0, 19, 50, 52, 92
           and 162; the 24-byte field takes bytes 52-75)
     8312  MAC/wifi count, then 100 entries of 8 bytes from 8316
     9116  perimeter guard head of 36 bytes; its zone count (bytes 32-35) is the number of
           zones stored from 9152, 44 bytes each.
   The flags and the three counts are cleared by every call; the rest keeps its contents until
   an item overwrites it. The record holds SVAC_EXT_MAX_PERIMETER_ZONES zones: a perimeter
   guard with more stores that many and the call answers SVAC_ERR_TRUNCATED. Nothing is
   written past SVAC_EXT_RECORD_SIZE bytes. */
#define SVAC_EXT_MAX_PERIMETER_ZONES 64
#define SVAC_EXT_RECORD_SIZE (9152 + 44 * SVAC_EXT_MAX_PERIMETER_ZONES)  /* 11968 bytes */
typedef struct extension_data_record {
    unsigned char bytes[SVAC_EXT_RECORD_SIZE];
} extension_data_record;

/* Result codes */
#define SVAC_ERR_NOMEM     (-1)
#define SVAC_ERR_INVALID   (-2)
#define SVAC_ERR_NOKEY     (-9)
#define SVAC_ERR_NOFRAME   (-10)
#define SVAC_ERR_TRUNCATED (-11)

/* CPU flag word bit that selects the SSSE3 kernels. */
#define SVAC_CPU_SSSE3 0x80u

SVAC_API int32_t ZQ_SVAC_Dec_Init(uint32_t cpu_flags);
SVAC_API int32_t ZQ_SVAC_Dec_DeInit(void);
SVAC_API void *ZQ_SVAC_Dec_Open(void);
SVAC_API void ZQ_SVAC_Dec_Close(void *handle);
SVAC_API int32_t ZQ_SVAC_Set_Key(void *handle, const unsigned char *key, uint32_t length);
/* Decodes NAL units from in->data and returns the offset where it stopped (after at most one
   completed picture, which is queued) or a negative code. The buffer must hold whole NAL units:
   its end ends the last unit, so a unit split across two calls is decoded truncated. Pass the
   bytes from the returned offset on in the next call, and drain the output queue after each. */
SVAC_API int32_t ZQ_SVAC_Dec_Decode(void *handle, const decode_input *in, extension_data_record *ext);
SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_get_output_frame(void *handle, output_frame_rec *rec);
SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_release_output_frame(void *handle, const output_frame_rec *rec);
SVAC_API int32_t ZQ_SVAC_Get_LastFrame(void *handle, int32_t layer);
SVAC_API const char *ZQ_SVAC_Dec_GetVersion(void);
SVAC_API uint32_t ZQ_SVAC_Dec_GetCPUCaps(void);

/* Debug switches, all 1 at load. The library reads the switches and writes DUMP_INFO with
   relaxed atomic accesses: a host that changes or reads them while instances decode does the same. */
SVAC_API extern int32_t dump_i;
SVAC_API extern int32_t dump_p;
SVAC_API extern int32_t dump_b;
SVAC_API extern int32_t dump_coefs;
SVAC_API extern int32_t DUMP_INFO;

#ifdef __cplusplus
}
#endif

#endif
