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
    for (int i = 0; i < N * N / 4; ++i)
        _mm_store_si128(out + i, zero);
    if (count <= 0)
        return;
    qp = coef_qp_guard(qp);
    const __m128i shift = _mm_cvtsi32_si128(qp / 7);
    const uint8_t *scale = scales[qp % 7];
    const coef_scan_entry *order = scans[scan & 1];
    int pos = -1;
    for (int32_t i = count - 1; i >= 0; --i) {
        const int32_t word = static_cast<int32_t>(words[i]);
        pos = (pos + (word & 0xFFFF)) & (N * N - 1);
        const coef_scan_entry e = order[pos];
        const __m128i level = _mm_srai_epi32(_mm_cvtsi32_si128(word), 16);
        const __m128i product = _mm_mullo_epi16(level, _mm_cvtsi32_si128(scale[e.scale]));
        // 16x16 -> 32-bit product: the low half from mullo, the high half from mulhi.
        const __m128i high = _mm_mulhi_epi16(level, _mm_cvtsi32_si128(scale[e.scale]));
        const __m128i wide = _mm_unpacklo_epi16(product, high);
        block[e.index] = _mm_cvtsi128_si32(_mm_sll_epi32(wide, shift));
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
