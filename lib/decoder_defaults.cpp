// Stages not linked into this build; their own definitions replace these at link time.
#include "decoder_ctx.h"
#include "lf_record.h"

// Without a NAL walk nothing can be decoded: any input that holds a NAL unit is refused.
__attribute__((weak)) int32_t decode_nal_units(decoder_ctx *ctx, int32_t *got_picture,
                                               const uint8_t *, int32_t length)
{
    *got_picture = 0;
    frame_unref(&ctx->layer[0].output);
    frame_unref(&ctx->layer[1].output);
    return length < 4 ? 0 : -2;
}

__attribute__((weak)) void mb_loop_filter(const lf_record *) {}
