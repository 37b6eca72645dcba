// SSSE3 forms of the coefficient expansion: the block is cleared with aligned vector stores,
// the words are walked as in the portable kernels, two at a time.
#include <tmmintrin.h>

#include "coef.h"

namespace {

template <int N>
inline void expand_dequant_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count,
                                 int32_t scan, const coef_dequant_tables<N> &tables)
{
    const __m128i zero = _mm_setzero_si128();
    auto *out = reinterpret_cast<__m128i *>(block);
    #pragma GCC unroll 16
    for (int i = 0; i < N * N / 4; ++i)
        _mm_store_si128(out + i, zero);
    if (count <= 0)
        return;
    const coef_qp_split q = coef_qp_splits.t[coef_qp_guard(qp)];
    const int shift = q.shift;
    const coef_dequant_entry *order = tables.t[scan & 1][q.row];
    uint32_t pos = ~0u;
    auto place = [&](uint32_t word) {
        pos = (pos + word) & (N * N - 1);   // the step is the lower half
        const coef_dequant_entry e = order[pos];
        // The level is the upper half of the word; the product fits in 32 bits and the shift
        // wraps like the portable kernel.
        block[e.index] = static_cast<int32_t>(static_cast<uint32_t>((static_cast<int32_t>(word) >> 16) * e.scale)
                                              << shift);
    };
    // Words two at a time, with no branch on the count's parity: an odd count starts with a
    // zero word, a step of none that writes zero at the last scan position (already clear).
    const uint32_t odd = static_cast<uint32_t>(count) & 1;
    int32_t i = count - 1 + static_cast<int32_t>(odd);
    place(words[count - 1] & (odd - 1));
    place(words[i - 1]);
    for (i -= 2; i > 0; i -= 2) {
        place(words[i]);
        place(words[i - 1]);
    }
}

} // namespace

void coef_expand_dequant8x8_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant_ssse3<8>(words, block, qp, count, scan, coef_dequant_8x8);
}

void coef_expand_dequant4x4_ssse3(const uint32_t *words, int32_t *block, int32_t qp, int32_t count, int32_t scan)
{
    expand_dequant_ssse3<4>(words, block, qp, count, scan, coef_dequant_4x4);
}
