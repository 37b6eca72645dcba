#include "coef.h"

#include <cstring>

#include "dsp_init.h"

coef_fn coef_funcs[COEF_SIZES];

template <int N>
static void expand_dequant(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan,
                           const coef_dequant_tables<N> &tables)
{
    std::memset(block, 0, sizeof(int32_t) * N * N);
    if (count <= 0)
        return;
    const coef_qp_split q = coef_qp_splits.t[coef_qp_guard(qp)];
    const int shift = q.shift;
    const coef_dequant_entry *order = tables.t[scan & 1][q.row];
    int pos = -1;
    for (int32_t i = count - 1; i >= 0; --i) {
        const int step = static_cast<int>(words[i] & 0xFFFF);
        const int32_t level = static_cast<int16_t>(words[i] >> 16);
        pos = (pos + step) & (N * N - 1);
        const coef_dequant_entry e = order[pos];
        // The product fits in 32 bits; the shift wraps like the 32-bit arithmetic it models.
        block[e.index] = static_cast<int32_t>(static_cast<uint32_t>(level * e.scale) << shift);
    }
}

void coef_expand_dequant8x8(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant<8>(words, block, qp, count, scan, coef_dequant_8x8);
}

void coef_expand_dequant4x4(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant<4>(words, block, qp, count, scan, coef_dequant_4x4);
}

void coef_init(uint32_t cpu_flags)
{
    coef_funcs[COEF_8X8] = coef_expand_dequant8x8;
    coef_funcs[COEF_4X4] = coef_expand_dequant4x4;
    coef_init_ssse3(cpu_flags);
}

void coef_init_ssse3(uint32_t cpu_flags)
{
    if (!(cpu_flags & 0x80))
        return;
    coef_funcs[COEF_8X8] = coef_expand_dequant8x8_ssse3;
    coef_funcs[COEF_4X4] = coef_expand_dequant4x4_ssse3;
}
