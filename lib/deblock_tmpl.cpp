// Portable deblocking edge filters, written once over the bit depth.
#include "deblock.h"

#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <type_traits>

namespace {

template <int BD>
using pixel_t = std::conditional_t<(BD > 8), uint16_t, uint8_t>;

inline int clip3(int lo, int hi, int v)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// One line across the edge: sample i (i >= 0 is q_i, i < 0 is p_(-i-1)) lies
// i * across bytes from q0.
template <int BD>
struct Line {
    uint8_t *q0;
    ptrdiff_t across;

    pixel_t<BD> &at(int i) const { return *reinterpret_cast<pixel_t<BD> *>(q0 + i * across); }
};

template <int BD>
inline int clip_sample(int v)
{
    return clip3(0, (1 << BD) - 1, v);
}

inline bool gate(int p1, int p0, int q0, int q1, int alpha, int beta)
{
    return std::abs(p0 - q0) < alpha && std::abs(p1 - p0) < beta && std::abs(q1 - q0) < beta;
}

// The line filters are inlined into the edge loops.
template <int BD>
[[gnu::always_inline]] inline void luma_strong(const Line<BD> &l, int alpha, int beta)
{
    const int p0 = l.at(-1), p1 = l.at(-2), q0 = l.at(0), q1 = l.at(1);
    if (!gate(p1, p0, q0, q1, alpha, beta))
        return;
    const int p2 = l.at(-3), p3 = l.at(-4), q2 = l.at(2), q3 = l.at(3);
    const bool small = std::abs(p0 - q0) < (alpha >> 2) + 2;
    if (small && std::abs(p2 - p0) < beta) {
        l.at(-1) = pixel_t<BD>((p2 + p1 + 3 * p0 + 2 * q0 + q1 + 4) >> 3);
        l.at(-2) = pixel_t<BD>((p2 + p1 + p0 + q0 + 2) >> 2);
        l.at(-3) = pixel_t<BD>((2 * p3 + 2 * p2 + 2 * p1 + p0 + q0 + 4) >> 3);
    } else {
        l.at(-1) = pixel_t<BD>((2 * p1 + p0 + q1 + 2) >> 2);
    }
    if (small && std::abs(q2 - q0) < beta) {
        l.at(0) = pixel_t<BD>((q2 + q1 + 3 * q0 + 2 * p0 + p1 + 4) >> 3);
        l.at(1) = pixel_t<BD>((q2 + q1 + q0 + p0 + 2) >> 2);
        l.at(2) = pixel_t<BD>((2 * q3 + 2 * q2 + 2 * q1 + q0 + p0 + 4) >> 3);
    } else {
        l.at(0) = pixel_t<BD>((2 * q1 + q0 + p1 + 2) >> 2);
    }
}

template <int BD>
[[gnu::always_inline]] inline void luma_normal(const Line<BD> &l, int alpha, int beta, int clip)
{
    const int p0 = l.at(-1), p1 = l.at(-2), q0 = l.at(0), q1 = l.at(1);
    if (!gate(p1, p0, q0, q1, alpha, beta))
        return;
    const int p2 = l.at(-3), p3 = l.at(-4), q2 = l.at(2), q3 = l.at(3);
    const int ap = std::abs(p2 - p0) < beta;
    const int aq = std::abs(q2 - q0) < beta;
    const int tc = clip + ap + aq;
    const int delta = clip3(-tc, tc, (4 * (q0 - p0) + (p1 - q1) + 4) >> 3);
    l.at(-1) = pixel_t<BD>(clip_sample<BD>(p0 + delta));
    l.at(0) = pixel_t<BD>(clip_sample<BD>(q0 - delta));
    if (ap)
        l.at(-2) = pixel_t<BD>(clip_sample<BD>(p1 + clip3(-clip, clip, (p3 + p2 - 4 * p1 + p0 + q0 + 2) >> 2)));
    if (aq)
        l.at(1) = pixel_t<BD>(clip_sample<BD>(q1 + clip3(-clip, clip, (q3 + q2 - 4 * q1 + q0 + p0 + 2) >> 2)));
}

// Chroma reads p2 and q2 only under the strong filter and writes only p0 and q0.
template <int BD>
[[gnu::always_inline]] inline void chroma_strong(const Line<BD> &l, int alpha, int beta)
{
    const int p0 = l.at(-1), p1 = l.at(-2), q0 = l.at(0), q1 = l.at(1);
    if (!gate(p1, p0, q0, q1, alpha, beta))
        return;
    const int p2 = l.at(-3), q2 = l.at(2);
    const bool small = std::abs(p0 - q0) < (alpha >> 2) + 2;
    if (small && std::abs(p2 - p0) < beta)
        l.at(-1) = pixel_t<BD>((p2 + p1 + 3 * p0 + 2 * q0 + q1 + 4) >> 3);
    else
        l.at(-1) = pixel_t<BD>((2 * p1 + p0 + q1 + 2) >> 2);
    if (small && std::abs(q2 - q0) < beta)
        l.at(0) = pixel_t<BD>((q2 + q1 + 3 * q0 + 2 * p0 + p1 + 4) >> 3);
    else
        l.at(0) = pixel_t<BD>((2 * q1 + q0 + p1 + 2) >> 2);
}

template <int BD>
[[gnu::always_inline]] inline void chroma_normal(const Line<BD> &l, int alpha, int beta, int clip)
{
    const int p0 = l.at(-1), p1 = l.at(-2), q0 = l.at(0), q1 = l.at(1);
    if (!gate(p1, p0, q0, q1, alpha, beta))
        return;
    const int tc = clip + 1;
    const int delta = clip3(-tc, tc, (4 * (q0 - p0) + (p1 - q1) + 4) >> 3);
    l.at(-1) = pixel_t<BD>(clip_sample<BD>(p0 + delta));
    l.at(0) = pixel_t<BD>(clip_sample<BD>(q0 - delta));
}

// Lines are `along` bytes apart; samples of a line `across` bytes apart.
template <int BD, bool Chroma>
void filter_edge(uint8_t *pix, ptrdiff_t across, ptrdiff_t along, int alpha, int beta, const uint8_t *clip,
                 const uint8_t *strength)
{
    constexpr int segment = Chroma ? 4 : 8;
    uint8_t *base = pix;
    if (strength[0] == 3) {
        for (int i = 0; i < 2 * segment; ++i) {
            const Line<BD> line{base + i * along, across};
            if (Chroma)
                chroma_strong(line, alpha, beta);
            else
                luma_strong(line, alpha, beta);
        }
        return;
    }
    for (int k = 0; k < 2; ++k) {
        if (strength[k] == 0)
            continue;
        const int bound = clip[k];
        for (int i = k * segment; i < (k + 1) * segment; ++i) {
            const Line<BD> line{base + i * along, across};
            if (Chroma)
                chroma_normal(line, alpha, beta, bound);
            else
                luma_normal(line, alpha, beta, bound);
        }
    }
}

template <int BD, bool Chroma>
void filter_vertical_edge(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength)
{
    filter_edge<BD, Chroma>(pix, sizeof(pixel_t<BD>), stride, alpha, beta, clip, strength);
}

template <int BD, bool Chroma>
void filter_horizontal_edge(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                            const uint8_t *strength)
{
    filter_edge<BD, Chroma>(pix, stride, sizeof(pixel_t<BD>), alpha, beta, clip, strength);
}

} // namespace

void deblock_luma_v(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                    const uint8_t *strength)
{
    filter_vertical_edge<8, false>(pix, stride, alpha, beta, clip, strength);
}

void deblock_luma_h(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                    const uint8_t *strength)
{
    filter_horizontal_edge<8, false>(pix, stride, alpha, beta, clip, strength);
}

void deblock_chroma_v(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                      const uint8_t *strength)
{
    filter_vertical_edge<8, true>(pix, stride, alpha, beta, clip, strength);
}

void deblock_chroma_h(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                      const uint8_t *strength)
{
    filter_horizontal_edge<8, true>(pix, stride, alpha, beta, clip, strength);
}

void deblock_luma_v_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength)
{
    filter_vertical_edge<10, false>(pix, stride, alpha, beta, clip, strength);
}

void deblock_luma_h_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                          const uint8_t *strength)
{
    filter_horizontal_edge<10, false>(pix, stride, alpha, beta, clip, strength);
}

void deblock_chroma_v_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                            const uint8_t *strength)
{
    filter_vertical_edge<10, true>(pix, stride, alpha, beta, clip, strength);
}

void deblock_chroma_h_10bit(uint8_t *pix, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                            const uint8_t *strength)
{
    filter_horizontal_edge<10, true>(pix, stride, alpha, beta, clip, strength);
}

namespace {

// The same edge of both chroma planes.
template <int Bits, bool Vertical>
void filter_chroma_pair(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta, const uint8_t *clip,
                        const uint8_t *strength)
{
    for (uint8_t *plane : {cb, cr}) {
        if (Vertical)
            filter_vertical_edge<Bits, true>(plane, stride, alpha, beta, clip, strength);
        else
            filter_horizontal_edge<Bits, true>(plane, stride, alpha, beta, clip, strength);
    }
}

} // namespace

void deblock_chroma_pair_v(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                           const uint8_t *clip, const uint8_t *strength)
{
    filter_chroma_pair<8, true>(cb, cr, stride, alpha, beta, clip, strength);
}

void deblock_chroma_pair_h(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                           const uint8_t *clip, const uint8_t *strength)
{
    filter_chroma_pair<8, false>(cb, cr, stride, alpha, beta, clip, strength);
}

void deblock_chroma_pair_v_10bit(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength)
{
    filter_chroma_pair<10, true>(cb, cr, stride, alpha, beta, clip, strength);
}

void deblock_chroma_pair_h_10bit(uint8_t *cb, uint8_t *cr, int32_t stride, int32_t alpha, int32_t beta,
                                 const uint8_t *clip, const uint8_t *strength)
{
    filter_chroma_pair<10, false>(cb, cr, stride, alpha, beta, clip, strength);
}
