// Output picture queue of an instance: pictures wait here, in output order, until the host
// releases them by frame id.
#pragma once
#include <cstdint>

#include "decoder_ctx.h"

// Appends a picture of the given layer with the chroma format and bit depth of the SPS in use.
// 0, or -2 when the picture is null or already queued.
int output_queue_append(decoder_ctx *ctx, frame_buf *pic, int32_t layer);
