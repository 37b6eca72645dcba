#include "idct.h"

#include "dsp_init.h"

idct_fn idct_funcs[IDCT_SIZES][IDCT_ROWS];
idct_single_fn idct8x8_single_funcs[IDCT_ROWS];
idct_pair_fn idct8x8_pair_funcs[IDCT_ROWS];
dc_add_fn idct_dc_add_funcs[IDCT_SIZES];

namespace {

// Sums wrap modulo 2^32: the arithmetic runs on unsigned values and only shifts and clips
// look at the sign.
using u32 = uint32_t;

inline int32_t as_signed(u32 v) { return static_cast<int32_t>(v); }

inline void transform4(const u32 a[4], u32 p[4])
{
    const u32 e0 = 4 * (a[0] + a[2]);
    const u32 e1 = 4 * (a[0] - a[2]);
    const u32 o0 = 5 * a[1] + 2 * a[3];
    const u32 o1 = 2 * a[1] - 5 * a[3];
    p[0] = e0 + o0;
    p[1] = e1 + o1;
    p[2] = e1 - o1;
    p[3] = e0 - o0;
}

inline void transform8(const u32 a[8], u32 p[8])
{
    const u32 e0 = 8 * (a[0] + a[4]);
    const u32 e1 = 8 * (a[0] - a[4]);
    const u32 e2 = 10 * a[2] + 4 * a[6];
    const u32 e3 = 4 * a[2] - 10 * a[6];
    const u32 E0 = e0 + e2, E1 = e1 + e3, E2 = e1 - e3, E3 = e0 - e2;
    const u32 O0 = 12 * a[1] + 10 * a[3] + 6 * a[5] + 3 * a[7];
    const u32 O1 = 10 * a[1] - 3 * a[3] - 12 * a[5] - 6 * a[7];
    const u32 O2 = 6 * a[1] - 12 * a[3] + 3 * a[5] + 10 * a[7];
    const u32 O3 = 3 * a[1] - 6 * a[3] + 10 * a[5] - 12 * a[7];
    p[0] = E0 + O0;
    p[1] = E1 + O1;
    p[2] = E2 + O2;
    p[3] = E3 + O3;
    p[4] = E3 - O3;
    p[5] = E2 - O2;
    p[6] = E1 - O1;
    p[7] = E0 - O0;
}

template <typename pixel, int max>
inline void add_clipped(uint8_t *row, int x, int32_t residual)
{
    pixel *p = reinterpret_cast<pixel *>(row) + x;
    const int32_t v = *p + residual;
    *p = static_cast<pixel>(v < 0 ? 0 : v > max ? max : v);
}

template <typename pixel, int max>
void idct4x4(uint8_t *dst, int32_t *coef, int32_t stride)
{
    u32 a[4], p[4];
    // Horizontal frequencies first, for each vertical frequency v; the result stays in coef.
    for (int v = 0; v < 4; ++v) {
        for (int u = 0; u < 4; ++u)
            a[u] = static_cast<u32>(coef[4 * u + v]);
        transform4(a, p);
        for (int x = 0; x < 4; ++x)
            coef[4 * x + v] = as_signed(p[x]);
    }
    for (int x = 0; x < 4; ++x) {
        for (int v = 0; v < 4; ++v)
            a[v] = static_cast<u32>(coef[4 * x + v]);
        transform4(a, p);
        for (int y = 0; y < 4; ++y)
            add_clipped<pixel, max>(dst + y * static_cast<intptr_t>(stride), x, as_signed(p[y] + 512) >> 10);
    }
}

template <typename pixel, int max>
void idct8x8(uint8_t *dst, int32_t *coef, int32_t stride)
{
    u32 a[8], p[8];
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u)
            a[u] = static_cast<u32>(coef[8 * u + v]);
        transform8(a, p);
        for (int x = 0; x < 8; ++x)
            coef[8 * x + v] = as_signed(p[x]) >> 3;
    }
    for (int x = 0; x < 8; ++x) {
        for (int v = 0; v < 8; ++v)
            a[v] = static_cast<u32>(coef[8 * x + v]);
        transform8(a, p);
        for (int y = 0; y < 8; ++y)
            add_clipped<pixel, max>(dst + y * static_cast<intptr_t>(stride), x, as_signed(p[y] + 1024) >> 11);
    }
}

// The full transform's sums with one nonzero input are its basis weight times that input, in
// the same wrapping arithmetic.
template <typename pixel, int max>
void idct8x8_single(uint8_t *dst, int32_t *coef, int index, int32_t stride)
{
    const u32 c = static_cast<u32>(coef[index]);
    const int u = index >> 3, v = index & 7;
    int32_t h[8];
    for (int x = 0; x < 8; ++x)
        h[x] = as_signed(static_cast<u32>(idct8_basis[x][u]) * c) >> 3;
    for (int y = 0; y < 8; ++y) {
        const u32 w = static_cast<u32>(idct8_basis[y][v]);
        for (int x = 0; x < 8; ++x)
            add_clipped<pixel, max>(dst + y * static_cast<intptr_t>(stride), x,
                                    as_signed(w * static_cast<u32>(h[x]) + 1024) >> 11);
    }
}

// Two nonzero inputs: sums of the same column add before the shift by 3, the two columns of
// the vertical pass add before the rounding.
template <typename pixel, int max>
void idct8x8_pair(uint8_t *dst, int32_t *coef, int i0, int i1, int32_t stride)
{
    const u32 c0 = static_cast<u32>(coef[i0]), c1 = static_cast<u32>(coef[i1]);
    const int u0 = i0 >> 3, v0 = i0 & 7, u1 = i1 >> 3, v1 = i1 & 7;
    int32_t h0[8], h1[8];
    for (int x = 0; x < 8; ++x) {
        const u32 p0 = static_cast<u32>(idct8_basis[x][u0]) * c0, p1 = static_cast<u32>(idct8_basis[x][u1]) * c1;
        h0[x] = as_signed(v0 == v1 ? p0 + p1 : p0) >> 3;
        h1[x] = v0 == v1 ? 0 : as_signed(p1) >> 3;
    }
    for (int y = 0; y < 8; ++y) {
        const u32 w0 = static_cast<u32>(idct8_basis[y][v0]), w1 = static_cast<u32>(idct8_basis[y][v1]);
        for (int x = 0; x < 8; ++x)
            add_clipped<pixel, max>(dst + y * static_cast<intptr_t>(stride), x,
                                    as_signed(w0 * static_cast<u32>(h0[x]) + w1 * static_cast<u32>(h1[x]) + 1024) >> 11);
    }
}

// A constant residual r over an N x N block. Clamping r to +-max first keeps every clipped sum.
template <typename pixel, int max, int N>
void add_constant(uint8_t *dst, int32_t r, int32_t stride)
{
    r = r < -max ? -max : r > max ? max : r;
    for (int y = 0; y < N; ++y) {
        pixel *p = reinterpret_cast<pixel *>(dst + y * static_cast<intptr_t>(stride));
        for (int x = 0; x < N; ++x) {
            const int32_t v = p[x] + r;
            p[x] = static_cast<pixel>(v < 0 ? 0 : v > max ? max : v);
        }
    }
}

template <int N>
void dc_add(uint8_t *dst, int32_t r, int32_t stride, int bit_depth)
{
    if (bit_depth == 8)
        idct_dc_add_funcs[N == 4 ? IDCT_4X4 : IDCT_8X8](dst, r < -255 ? -255 : r > 255 ? 255 : r, stride);
    else if (bit_depth == 9)
        add_constant<uint16_t, 511, N>(dst, r, stride);
    else
        add_constant<uint16_t, 1023, N>(dst, r, stride);
}

} // namespace

void idct_dc_add(uint8_t *dst, int32_t dc, int32_t stride, bool small, int bit_depth)
{
    // Both passes of the full transform with a single non-zero input, in the same wrapping
    // arithmetic: 4x4 scales by 4 twice; 8x8 by 8, >> 3, and by 8 again.
    const u32 d = static_cast<u32>(dc);
    if (small) {
        dc_add<4>(dst, as_signed(16 * d + 512) >> 10, stride, bit_depth);
    } else {
        const u32 t = static_cast<u32>(as_signed(8 * d) >> 3);
        dc_add<8>(dst, as_signed(8 * t + 1024) >> 11, stride, bit_depth);
    }
}

void idct4x4_add(uint8_t *dst, int32_t *coef, int32_t stride) { idct4x4<uint8_t, 255>(dst, coef, stride); }
void idct4x4_add_9bit(uint8_t *dst, int32_t *coef, int32_t stride) { idct4x4<uint16_t, 511>(dst, coef, stride); }
void idct4x4_add_10bit(uint8_t *dst, int32_t *coef, int32_t stride) { idct4x4<uint16_t, 1023>(dst, coef, stride); }
void idct8x8_add(uint8_t *dst, int32_t *coef, int32_t stride) { idct8x8<uint8_t, 255>(dst, coef, stride); }
void idct8x8_add_9bit(uint8_t *dst, int32_t *coef, int32_t stride) { idct8x8<uint16_t, 511>(dst, coef, stride); }
void idct8x8_add_10bit(uint8_t *dst, int32_t *coef, int32_t stride) { idct8x8<uint16_t, 1023>(dst, coef, stride); }

void idct_init(uint32_t cpu_flags)
{
    idct_funcs[IDCT_8X8][0] = idct8x8_add;
    idct_funcs[IDCT_8X8][1] = idct8x8_add_9bit;
    idct_funcs[IDCT_8X8][2] = idct8x8_add_10bit;
    idct_funcs[IDCT_4X4][0] = idct4x4_add;
    idct_funcs[IDCT_4X4][1] = idct4x4_add_9bit;
    idct_funcs[IDCT_4X4][2] = idct4x4_add_10bit;
    idct8x8_single_funcs[0] = idct8x8_single<uint8_t, 255>;
    idct8x8_single_funcs[1] = idct8x8_single<uint16_t, 511>;
    idct8x8_single_funcs[2] = idct8x8_single<uint16_t, 1023>;
    idct8x8_pair_funcs[0] = idct8x8_pair<uint8_t, 255>;
    idct8x8_pair_funcs[1] = idct8x8_pair<uint16_t, 511>;
    idct8x8_pair_funcs[2] = idct8x8_pair<uint16_t, 1023>;
    idct_dc_add_funcs[IDCT_8X8] = add_constant<uint8_t, 255, 8>;
    idct_dc_add_funcs[IDCT_4X4] = add_constant<uint8_t, 255, 4>;
    idct_init_ssse3(cpu_flags);
}

// Row 0 only: there are no SSSE3 transforms of wider samples.
void idct_init_ssse3(uint32_t cpu_flags)
{
    if (!(cpu_flags & 0x80))
        return;
    idct_funcs[IDCT_8X8][0] = idct8x8_add_ssse3;
    idct_funcs[IDCT_4X4][0] = idct4x4_add_ssse3;
    idct8x8_single_funcs[0] = idct8x8_single_add_ssse3;
    idct8x8_pair_funcs[0] = idct8x8_pair_add_ssse3;
    idct_dc_add_funcs[IDCT_8X8] = idct_dc_add8x8_ssse3;
    idct_dc_add_funcs[IDCT_4X4] = idct_dc_add4x4_ssse3;
}
