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

/* Surveillance extension data filled by each decode call. The record is addressed by byte
   offsets: flags at 0, time at 4, typed blocks at 3248, plates at 4024, ID cards at 4668,
   MAC/wifi addresses at 8312, perimeter guard at 9116 and its zones of 44 bytes from 9152. */
#define SVAC_EXT_MAX_PERIMETER_ZONES 64
#define SVAC_EXT_RECORD_SIZE (9152 + 44 * SVAC_EXT_MAX_PERIMETER_ZONES)
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
SVAC_API int32_t ZQ_SVAC_Dec_Decode(void *handle, const decode_input *in, extension_data_record *ext);
SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_get_output_frame(void *handle, output_frame_rec *rec);
SVAC_API int32_t ZQ_SVACDEC_ZQ_SVAC_release_output_frame(void *handle, const output_frame_rec *rec);
SVAC_API int32_t ZQ_SVAC_Get_LastFrame(void *handle, int32_t layer);
SVAC_API const char *ZQ_SVAC_Dec_GetVersion(void);
SVAC_API uint32_t ZQ_SVAC_Dec_GetCPUCaps(void);

/* Debug switches, all 1 at load. */
SVAC_API extern int32_t dump_i;
SVAC_API extern int32_t dump_p;
SVAC_API extern int32_t dump_b;
SVAC_API extern int32_t dump_coefs;
SVAC_API extern int32_t DUMP_INFO;

#ifdef __cplusplus
}
#endif

#endif
