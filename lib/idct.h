// Inverse transforms added to the prediction in place, clipped to the sample range.
#pragma once
#include <cstdint>

enum idct_size { IDCT_8X8, IDCT_4X4, IDCT_SIZES };
constexpr int IDCT_ROWS = 3;   // bit depth - 8

// (destination samples, 16-byte aligned coefficient block used as scratch, stride in bytes)
typedef void (*idct_fn)(uint8_t *dst, int32_t *coef, int32_t stride);

extern idct_fn idct_funcs[IDCT_SIZES][IDCT_ROWS];

void idct4x4_add(uint8_t *dst, int32_t *coef, int32_t stride);
void idct4x4_add_9bit(uint8_t *dst, int32_t *coef, int32_t stride);
void idct4x4_add_10bit(uint8_t *dst, int32_t *coef, int32_t stride);
void idct8x8_add(uint8_t *dst, int32_t *coef, int32_t stride);
void idct8x8_add_9bit(uint8_t *dst, int32_t *coef, int32_t stride);
void idct8x8_add_10bit(uint8_t *dst, int32_t *coef, int32_t stride);

// SSSE3 forms of the 8-bit transforms (x86/idct_ssse3.cpp). The 8x8 form may leave the
// horizontal pass in the block, the 4x4 form leaves the block unchanged.
void idct4x4_add_ssse3(uint8_t *dst, int32_t *coef, int32_t stride);
void idct8x8_add_ssse3(uint8_t *dst, int32_t *coef, int32_t stride);

// The transform of a block whose only coefficient is the DC value dc, added like the full
// transforms add it (same samples).
void idct_dc_add(uint8_t *dst, int32_t dc, int32_t stride, bool small, int bit_depth);

// Adds residual r, already limited to -255..255, to the N x N 8-bit block (N: 8, 4), clipped.
typedef void (*dc_add_fn)(uint8_t *dst, int32_t r, int32_t stride);
extern dc_add_fn idct_dc_add_funcs[IDCT_SIZES];
void idct_dc_add8x8_ssse3(uint8_t *dst, int32_t r, int32_t stride);
void idct_dc_add4x4_ssse3(uint8_t *dst, int32_t r, int32_t stride);

// 8x8 block whose only nonzero coefficient is coef[index] (index 8 u + v): the samples of the
// full transform, from one column of the basis in each pass. SSSE3 form: 8 bits.
typedef void (*idct_single_fn)(uint8_t *dst, int32_t *coef, int index, int32_t stride);
extern idct_single_fn idct8x8_single_funcs[IDCT_ROWS];
void idct8x8_single_add_ssse3(uint8_t *dst, int32_t *coef, int index, int32_t stride);

// 8x8 block whose only nonzero coefficients are coef[i0] and coef[i1], i0 != i1.
typedef void (*idct_pair_fn)(uint8_t *dst, int32_t *coef, int i0, int i1, int32_t stride);
extern idct_pair_fn idct8x8_pair_funcs[IDCT_ROWS];
void idct8x8_pair_add_ssse3(uint8_t *dst, int32_t *coef, int i0, int i1, int32_t stride);

// Weight of input u in output x of the 8-point transform.
inline constexpr int8_t idct8_basis[8][8] = {
    {8, 12, 10, 10, 8, 6, 4, 3},   {8, 10, 4, -3, -8, -12, -10, -6}, {8, 6, -4, -12, -8, 3, 10, 10},
    {8, 3, -10, -6, 8, 10, -4, -12}, {8, -3, -10, 6, 8, -10, -4, 12}, {8, -6, -4, 12, -8, -3, 10, -10},
    {8, -10, 4, 3, -8, 12, -10, 6}, {8, -12, 10, -10, 8, -6, 4, -3}};

void idct_init(uint32_t cpu_flags);
void idct_init_ssse3(uint32_t cpu_flags);
