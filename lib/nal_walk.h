// The walk over the NAL units of one input buffer and the stages it hands units to.
#pragma once
#include <cstdint>

struct decoder_ctx;

// Slice unit: header, macroblocks. Negative code, 0 when the picture is complete, 1 when it
// still lacks macroblocks.
int32_t decode_slice_data(decoder_ctx *ctx);
// Surveillance extension unit: 0, or -11 when the data ended inside an item.
int32_t parse_extension_unit(decoder_ctx *ctx);
// Security parameter set: 0 or a code that ends the decode call.
int32_t parse_sec_param_set(decoder_ctx *ctx);
// Turns the len bytes at buf into plain text in place when a cipher is in force.
void decrypt_nal_payload(decoder_ctx *ctx, uint8_t *buf, int32_t len);

// Test hook: the slice decoder the walk calls (decode_slice_data).
extern int32_t (*nal_slice_decoder)(decoder_ctx *ctx);

// Payload of a unit whose payload starts at src with r bytes up to the end of the input:
// removes emulation prevention into dst (null: only measures) and returns the input bytes
// that belong to the payload; *out_len receives the bytes written.
int32_t nal_unescape(const uint8_t *src, int32_t r, uint8_t *dst, int32_t *out_len);
// Bits in front of the stop bit of a payload, after dropping its trailing zero bytes
// (*len is updated); -1 for an empty payload.
int64_t nal_payload_bits(const uint8_t *buf, int32_t *len);
