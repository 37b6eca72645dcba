// Straightforward per-sample prediction formulas, the expectations the kernels are held to.
#pragma once

#include <functional>

namespace ref {

// Division rounding towards minus infinity (what an arithmetic right shift does).
inline int floor_shift(int v, int shift)
{
    const int d = 1 << shift;
    return v >= 0 ? v / d : -((-v + d - 1) / d);
}

inline int clip(int v, int max)
{
    return v < 0 ? 0 : v > max ? max : v;
}

struct Filter {
    int first;   // offset of the first tap
    int count;
    int taps[5];
};

constexpr Filter HALF = {-1, 4, {-1, 5, 5, -1, 0}};
constexpr Filter QUARTER = {-2, 5, {-1, -2, 96, 42, -7}};
constexpr Filter THREE_QUARTER = {-1, 5, {-7, 42, 96, -2, -1}};

inline const Filter &filter_for(int fraction)
{
    return fraction == 1 ? QUARTER : fraction == 2 ? HALF : THREE_QUARTER;
}

// S(x, y): source sample relative to the block's full-sample position.
using Source = std::function<int(int x, int y)>;

// Quarter-sample luma prediction O(x, y) at position p = 4 * dy + dx, clipped to 0..max.
inline int luma(const Source &s, int p, int x, int y, int max)
{
    const int dx = p & 3, dy = p >> 2;
    if (p == 0)
        return s(x, y);
    if (dy == 0 || dx == 0) {
        const Filter &f = filter_for(dx ? dx : dy);
        int sum = 0;
        for (int k = 0; k < f.count; k++)
            sum += f.taps[k] * (dy == 0 ? s(x + f.first + k, y) : s(x, y + f.first + k));
        const int shift = (dx ? dx : dy) == 2 ? 3 : 7;
        return clip(floor_shift(sum + (1 << (shift - 1)), shift), max);
    }
    const bool diagonal = (dx & 1) && (dy & 1);
    const Filter &hf = diagonal ? HALF : filter_for(dx);
    auto t = [&](int c, int r) {
        int sum = 0;
        for (int k = 0; k < hf.count; k++)
            sum += hf.taps[k] * s(c + hf.first + k, r);
        return sum;
    };
    const Filter &vf = diagonal ? HALF : filter_for(dy);
    int v = 0;
    for (int k = 0; k < vf.count; k++)
        v += vf.taps[k] * t(x, y + vf.first + k);
    if (diagonal) {
        const int f = s(x + (dx == 3), y + (dy == 3));
        return clip(floor_shift(v + 64 * f + 64, 7), max);
    }
    if (dx == 2 && dy == 2)
        return clip(floor_shift(v + 32, 6), max);
    return clip(floor_shift(v + 512, 10), max);
}

// Bilinear eighth-sample chroma prediction at fractions (fx, fy); samples of weight 0 are
// not read.
inline int chroma(const Source &s, int fx, int fy, int x, int y)
{
    int sum = (8 - fx) * (8 - fy) * s(x, y);
    if (fx)
        sum += fx * (8 - fy) * s(x + 1, y);
    if (fy)
        sum += (8 - fx) * fy * s(x, y + 1);
    if (fx && fy)
        sum += fx * fy * s(x + 1, y + 1);
    return (sum + 32) >> 6;
}

inline int average(int d, int o)
{
    return (d + o + 1) >> 1;
}

} // namespace ref
