// Portable intra prediction kernels, written once over the bit depth.
#include "ipred.h"

#include <cstddef>
#include <type_traits>

namespace {

template <int BD>
using pixel_t = std::conditional_t<(BD > 8), uint16_t, uint8_t>;

template <int BD>
constexpr int pixel_max = (1 << BD) - 1;

template <int BD>
inline pixel_t<BD> *pixel_row(uint8_t *dst, int32_t stride, int y)
{
    return reinterpret_cast<pixel_t<BD> *>(dst + ptrdiff_t(y) * stride);
}

// Three-tap low-pass filter centred on a[k + 1].
template <typename pixel>
inline int lowpass(const pixel *a, int k)
{
    return (a[k] + 2 * a[k + 1] + a[k + 2] + 2) >> 2;
}

template <int BD, int N>
void pred_vert(uint8_t *dst, const uint8_t *top, const uint8_t *, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = t[x + 1];
    }
}

template <int BD, int N>
void pred_horz(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = l[y + 1];
    }
}

template <int BD, int N>
void pred_lp(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    int ft[N];
    for (int x = 0; x < N; ++x)
        ft[x] = lowpass(t, x);
    for (int y = 0; y < N; ++y) {
        const int fl = lowpass(l, y);
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = pixel_t<BD>((ft[x] + fl) >> 1);
    }
}

template <int BD, int N>
void pred_dnlf(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    int diag[2 * N - 1];
    for (int k = 0; k < 2 * N - 1; ++k)
        diag[k] = (lowpass(t, k + 1) + lowpass(l, k + 1)) >> 1;
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = pixel_t<BD>(diag[x + y]);
    }
}

template <int BD, int N>
void pred_dnrh(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    const int corner = (l[1] + 2 * t[0] + t[1] + 2) >> 2;
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x) {
            int v;
            if (x == y)
                v = corner;
            else if (x > y)
                v = lowpass(t, x - y - 1);
            else
                v = lowpass(l, y - x - 1);
            d[x] = pixel_t<BD>(v);
        }
    }
}

template <int BD, int N>
void pred_lplf(uint8_t *dst, const uint8_t *, const uint8_t *left, int32_t stride)
{
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    for (int y = 0; y < N; ++y) {
        const pixel_t<BD> v = pixel_t<BD>(lowpass(l, y));
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = v;
    }
}

template <int BD, int N>
void pred_lptp(uint8_t *dst, const uint8_t *top, const uint8_t *, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    pixel_t<BD> ft[N];
    for (int x = 0; x < N; ++x)
        ft[x] = pixel_t<BD>(lowpass(t, x));
#pragma GCC unroll 8
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = ft[x];
    }
}

template <int BD, int N>
void pred_d128(uint8_t *dst, const uint8_t *, const uint8_t *, int32_t stride)
{
    constexpr pixel_t<BD> mid = pixel_t<BD>(1 << (BD - 1));
#pragma GCC unroll 8
    for (int y = 0; y < N; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < N; ++x)
            d[x] = mid;
    }
}

template <int BD>
void pred_chroma_plane(uint8_t *dst, const uint8_t *top, const uint8_t *left, int32_t stride)
{
    const auto *t = reinterpret_cast<const pixel_t<BD> *>(top);
    const auto *l = reinterpret_cast<const pixel_t<BD> *>(left);
    int h = 0;
    int v = 0;
    for (int i = 1; i <= 4; ++i) {
        h += i * (t[4 + i] - t[4 - i]);
        v += i * (l[4 + i] - l[4 - i]);
    }
    // Arithmetic shifts: negative gradients round towards minus infinity.
    const int gx = (17 * h + 16) >> 5;
    const int gy = (17 * v + 16) >> 5;
    const int a = 16 * (t[8] + l[8]);
    for (int y = 0; y < 8; ++y) {
        pixel_t<BD> *d = pixel_row<BD>(dst, stride, y);
        for (int x = 0; x < 8; ++x) {
            int s = (a + gx * (x - 3) + gy * (y - 3) + 16) >> 5;
            s = s < 0 ? 0 : (s > pixel_max<BD> ? pixel_max<BD> : s);
            d[x] = pixel_t<BD>(s);
        }
    }
}

} // namespace

void intra_pred4x4_vert(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_vert<8, 4>(d, t, l, s); }
void intra_pred4x4_horz(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_horz<8, 4>(d, t, l, s); }
void intra_pred4x4_lp(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lp<8, 4>(d, t, l, s); }
void intra_pred4x4_dnlf(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnlf<8, 4>(d, t, l, s); }
void intra_pred4x4_dnrh(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnrh<8, 4>(d, t, l, s); }
void intra_pred4x4_lplf(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lplf<8, 4>(d, t, l, s); }
void intra_pred4x4_lptp(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lptp<8, 4>(d, t, l, s); }
void intra_pred4x4_d128(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_d128<8, 4>(d, t, l, s); }

void intra_pred4x4_vert_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_vert<10, 4>(d, t, l, s); }
void intra_pred4x4_horz_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_horz<10, 4>(d, t, l, s); }
void intra_pred4x4_lp_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lp<10, 4>(d, t, l, s); }
void intra_pred4x4_dnlf_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnlf<10, 4>(d, t, l, s); }
void intra_pred4x4_dnrh_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnrh<10, 4>(d, t, l, s); }
void intra_pred4x4_lplf_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lplf<10, 4>(d, t, l, s); }
void intra_pred4x4_lptp_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lptp<10, 4>(d, t, l, s); }
void intra_pred4x4_d128_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_d128<10, 4>(d, t, l, s); }

void intra_pred8x8_vert(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_vert<8, 8>(d, t, l, s); }
void intra_pred8x8_horz(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_horz<8, 8>(d, t, l, s); }
void intra_pred8x8_lp(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lp<8, 8>(d, t, l, s); }
void intra_pred8x8_dnlf(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnlf<8, 8>(d, t, l, s); }
void intra_pred8x8_dnrh(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnrh<8, 8>(d, t, l, s); }
void intra_pred8x8_lplf(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lplf<8, 8>(d, t, l, s); }
void intra_pred8x8_lptp(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lptp<8, 8>(d, t, l, s); }
void intra_pred8x8_d128(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_d128<8, 8>(d, t, l, s); }

void intra_pred8x8_vert_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_vert<10, 8>(d, t, l, s); }
void intra_pred8x8_horz_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_horz<10, 8>(d, t, l, s); }
void intra_pred8x8_lp_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lp<10, 8>(d, t, l, s); }
void intra_pred8x8_dnlf_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnlf<10, 8>(d, t, l, s); }
void intra_pred8x8_dnrh_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_dnrh<10, 8>(d, t, l, s); }
void intra_pred8x8_lplf_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lplf<10, 8>(d, t, l, s); }
void intra_pred8x8_lptp_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_lptp<10, 8>(d, t, l, s); }
void intra_pred8x8_d128_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_d128<10, 8>(d, t, l, s); }

void intra_pred_chroma_plane(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_chroma_plane<8>(d, t, l, s); }
void intra_pred_chroma_plane_10bit(uint8_t *d, const uint8_t *t, const uint8_t *l, int32_t s) { pred_chroma_plane<10>(d, t, l, s); }
