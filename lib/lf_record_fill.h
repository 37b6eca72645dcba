// Fills the loop-filter record of the current macroblock from the decoding state.
#pragma once
#include <cstdint>

struct decoder_ctx;
struct lf_record;

// Takes the next record of the worker's ring and fills it for a macroblock of the given kind.
lf_record *write_lf_record(decoder_ctx *ctx, int32_t kind);
