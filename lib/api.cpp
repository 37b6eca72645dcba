#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "api.h"
#include "cpu.h"
#include "decoder_ctx.h"
#include "dsp_init.h"
#include "mem.h"
#include "output_queue.h"
#include "svacdec.h"

int32_t svac_lib_initialised = 0;

extern "C" {
SVAC_API int32_t dump_i = 1;
SVAC_API int32_t dump_p = 1;
SVAC_API int32_t dump_b = 1;
SVAC_API int32_t dump_coefs = 1;
SVAC_API int32_t DUMP_INFO = 1;
}

static void sec_init(uint32_t) {}

extern "C" SVAC_API int32_t ZQ_SVAC_Dec_Init(uint32_t cpu_flags)
{
    mc_init(cpu_flags);
    idct_init(cpu_flags);
    deblock_init(cpu_flags);
    intra_pred_init(cpu_flags);
    coef_init(cpu_flags);
    sec_init(cpu_flags);
    svac_lib_initialised = 1;
    return 0;
}

extern "C" SVAC_API int32_t ZQ_SVAC_Dec_DeInit(void)
{
    return 0;
}

extern "C" SVAC_API void *ZQ_SVAC_Dec_Open(void)
{
    if (!svac_lib_initialised) {
        std::printf("lib not init\n");
        return nullptr;
    }
    auto *ctx = static_cast<decoder_ctx *>(mem_alloc(sizeof(decoder_ctx)));
    if (!ctx)
        return nullptr;
    // Without its worker an instance could never deblock, and its producer would block.
    if (decoder_ctx_init(ctx) != 0) {
        decoder_ctx_free(ctx);
        mem_free(ctx);
        return nullptr;
    }
    return ctx;
}

extern "C" SVAC_API void ZQ_SVAC_Dec_Close(void *handle)
{
    if (!handle)
        return;
    decoder_ctx_free(static_cast<decoder_ctx *>(handle));
    mem_free(handle);
}

extern "C" SVAC_API int32_t ZQ_SVAC_Set_Key(void *handle, const unsigned char *key, uint32_t length)
{
    auto *ctx = static_cast<decoder_ctx *>(handle);
    if (!ctx)
        return 0;
    if (!key)
        length = 0;
    if (length > SVAC_KEY_MAX)
        length = SVAC_KEY_MAX;
    if (length)
        std::memcpy(ctx->key, key, length);
    ctx->key_len = length;
    return 0;
}

extern "C" SVAC_API int32_t ZQ_SVAC_Dec_Decode(void *handle, const decode_input *in, extension_data_record *ext)
{
    auto *ctx = static_cast<decoder_ctx *>(handle);
    if (!ctx || !in || in->length < 0 || (!in->data && in->length > 0))
        return SVAC_ERR_INVALID;
    ctx->layer_mask = in->layer_mask;
    ctx->ext = ext;
    if (ext) {
        for (size_t offset : {0, 4024, 4668, 8312})
            std::memset(ext->bytes + offset, 0, 4);
    }
    int32_t got_picture = 0;
    int32_t result = decode_nal_units(ctx, &got_picture, in->data, in->length);
    if (got_picture) {
        layer_ctx &layer = ctx->layer[ctx->cur_layer];
        lf_worker_wait_idle(ctx);
        // After a key picture, a picture of the group before may go out ahead of it.
        if (layer.output_before)
            output_queue_append(ctx, layer.output_before, ctx->cur_layer);
        output_queue_append(ctx, layer.output, ctx->cur_layer);
    }
    return result;
}

extern "C" SVAC_API const char *ZQ_SVAC_Dec_GetVersion(void)
{
    static char version[64];
    std::snprintf(version, sizeof version, "%d.%d.%s (%s %s)", 0, 1, "117967", "Sep 21 2018", "10:57:22");
    return version;
}

extern "C" SVAC_API uint32_t ZQ_SVAC_Dec_GetCPUCaps(void)
{
    return cpu_detect();
}
