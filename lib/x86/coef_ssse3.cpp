// SSSE3 forms of the coefficient expansion: the block is cleared with aligned vector stores,
// the words are walked as in the portable kernels.
#include <tmmintrin.h>

#include "coef.h"

namespace {

template <int N>
inline void expand_dequant_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count,
                                 int32_t scan, const coef_scan_entry (*scans)[N * N],
                                 const uint8_t (*scales)[16])
{
    const __m128i zero = _mm_setzero_si128();
    auto *out = reinterpret_cast<__m128i *>(block);
    #pragma GCC unroll 16
    for (int i = 0; i < N * N / 4; ++i)
        _mm_store_si128(out + i, zero);
    if (count <= 0)
        return;
    qp = coef_qp_guard(qp);
    const int shift = qp / 7;
    const uint8_t *scale = scales[qp % 7];
    const coef_scan_entry *order = scans[scan & 1];
    int pos = -1;
    for (int32_t i = count - 1; i >= 0; --i) {
        const int32_t word = static_cast<int32_t>(words[i]);
        pos = static_cast<int>((static_cast<uint32_t>(pos) + words[i]) & (N * N - 1));
        const coef_scan_entry e = order[pos];
        // The level is the upper half of the word; the product fits in 32 bits and the shift
        // wraps like the portable kernel.
        block[e.index] = static_cast<int32_t>(static_cast<uint32_t>((word >> 16) * scale[e.scale]) << shift);
    }
}

} // namespace

void coef_expand_dequant8x8_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant_ssse3<8>(words, block, qp, count, scan, coef_scan_table_8x8, dequant_scale_table_8x8);
}

void coef_expand_dequant4x4_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant_ssse3<4>(words, block, qp, count, scan, coef_scan_table_4x4, dequant_scale_table_4x4);
}
