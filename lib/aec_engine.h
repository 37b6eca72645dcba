// Arithmetic entropy decoder engine: adaptive binary contexts with the probability held as a
// scaled negative logarithm, range and offset held as exponent/mantissa pairs.
#pragma once
#include <cstdint>

constexpr int AEC_CONTEXTS = 332;
constexpr uint16_t AEC_LG_HALF = 1023;   // lgpmps of two equally likely symbols

struct aec_ctx {
    uint8_t mps;      // most probable symbol
    uint8_t cycno;    // adaptation stage 0..3
    uint16_t lgpmps;  // -log2(p(mps)) x 1024, 0..1023
};

struct aec_decoder {
    uint32_t cur_byte;      // byte whose bits are being consumed
    int32_t bit_pos;        // bit of cur_byte taken last, 7..0
    const uint8_t *data;
    int64_t byte_pos;       // next byte to load; may pass length while renormalising at the end
    int64_t length;
    int32_t exhausted;      // a bin was requested with no byte left; stays until the next start
    uint32_t s1, t1;        // range: exponent, mantissa
    uint32_t value_s, value_t; // offset: exponent, mantissa
    int32_t last_qp_delta;
    aec_ctx contexts[AEC_CONTEXTS];
};

// Starts the engine on length bytes of slice data. Bits past the data read as 1.
void aec_engine_start(aec_decoder *d, const uint8_t *data, int64_t length);
int aec_decode_bin(aec_decoder *d, aec_ctx *c);
int aec_decode_bin2(aec_decoder *d, aec_ctx *a, aec_ctx *b);
int aec_decode_bypass(aec_decoder *d);
// The terminating decision after a macroblock: non-zero when the slice ends.
int aec_decode_terminate(aec_decoder *d);
