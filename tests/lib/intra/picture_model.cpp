#include "picture_model.h"

#include <algorithm>
#include <cstring>

#include "coef.h"
#include "deblock_model.h"
#include "idct.h"
#include "ipred.h"
#include "svacdec.h"

namespace intra_model {

namespace {

const uint8_t kChromaQp[56] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
                               19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 33, 34, 35, 35,
                               36, 36, 37, 37, 38, 38, 39, 39, 39, 40, 40, 40, 41, 41, 41, 42, 42, 42};

} // namespace

int32_t chroma_qp_of(int32_t qp, int32_t depth)
{
    const int32_t o = 7 * (depth - 8);
    return kChromaQp[std::clamp(qp - o, 0, 55)] + o;
}

namespace {

// Substitutes for a missing left or top neighbour, by mode (-1: the mode needs that side).
const int8_t kLumaNoLeft[8] = {0, -1, 6, -1, -1, 7, 6, 7};
const int8_t kLumaNoTop[8] = {-1, 1, 5, -1, -1, 5, 7, 7};
const int8_t kChromaNoLeft[7] = {5, -1, 2, -1, 6, 5, 6};
const int8_t kChromaNoTop[7] = {4, 1, -1, -1, 4, 6, 6};

int32_t substitute(const int8_t *no_left, const int8_t *no_top, int count, int32_t mode, bool left_missing,
                   bool top_missing, bool *illegal)
{
    if (left_missing) {
        mode = mode >= 0 && mode < count ? no_left[mode] : -1;
        if (mode < 0) {
            *illegal = true;
            mode = 0;
        }
    }
    if (top_missing) {
        mode = mode >= 0 && mode < count ? no_top[mode] : -1;
        if (mode < 0) {
            *illegal = true;
            mode = 0;
        }
    }
    return mode;
}

int32_t wrap_qp(int64_t qp, int32_t depth)
{
    const int64_t o = 7 * (depth - 8);
    int64_t q = qp - o;
    q = ((q % 56) + 56) % 56;
    return static_cast<int32_t>(o + q);
}

// A neighbour-sample array in the picture's sample width.
struct Samples {
    alignas(16) uint8_t bytes[128] = {};
    bool wide;
    void put(int i, int32_t v)
    {
        if (wide)
            reinterpret_cast<uint16_t *>(bytes)[i] = static_cast<uint16_t>(v);
        else
            bytes[i] = static_cast<uint8_t>(v);
    }
    int32_t get(int i) const { return wide ? reinterpret_cast<const uint16_t *>(bytes)[i] : bytes[i]; }
};

int floor4(int v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); }

class Reconstructor {
public:
    Reconstructor(const LayerGeometry &g, Picture &pic, const Picture *base) : g_(g), pic_(pic), base_(base) {}

    void macroblock(const CodedMb &cm, int32_t avail, int32_t qp)
    {
        x_ = static_cast<int32_t>(cm.addr % g_.mb_width);
        y_ = static_cast<int32_t>(cm.addr / g_.mb_width);
        avail_ = avail;
        qp_ = qp;
        const svacwriter::IntraMb &mb = cm.mb;
        const bool is8 = mb.kind == svacwriter::IntraKind::k8x8;
        if (mb.base_pred_flag) {
            upsample_base();
            for (int i = 0; i < (is8 ? 4 : 16); ++i)
                luma_residual(mb, i, is8);
            for (int bit = 4; bit < 8; ++bit)
                chroma_residual(mb, bit);
            return;
        }
        const int row = g_.bit_depth - 8;
        for (int i = 0; i < (is8 ? 4 : 16); ++i) {
            int bx, by;
            block_origin(i, is8, &bx, &by);
            const int32_t mode = substitute(kLumaNoLeft, kLumaNoTop, 8, mb.luma_modes[i],
                                            bx == 0 && !(avail_ & 1), by == 0 && !(avail_ & 2), &illegal_);
            Samples t{{}, wide()}, l{{}, wide()};
            gather_luma(bx, by, is8 ? 8 : 4, i, !is8, t, l);
            uint8_t *dst = pic_.at(0, 16 * x_ + bx, 16 * y_ + by);
            if (is8)
                intra_pred8x8_funcs[row][mode](dst, t.bytes, l.bytes, pic_.stride[0]);
            else
                intra_pred4x4_funcs[row][mode](dst, t.bytes, l.bytes, pic_.stride[0]);
            luma_residual(mb, i, is8);
        }
        const int passes = g_.chroma_format == 2 ? 2 : g_.chroma_format == 1 ? 1 : 0;
        for (int j = 0; j < passes; ++j) {
            const int32_t mode = substitute(kChromaNoLeft, kChromaNoTop, 7, mb.chroma_modes[j], !(avail_ & 1),
                                            j == 0 && !(avail_ & 2), &illegal_);
            for (int p = 1; p <= 2; ++p) {
                Samples t{{}, wide()}, l{{}, wide()};
                gather_chroma(p, j, t, l);
                intra_pred_chroma_funcs[row][mode](pic_.at(p, 8 * x_, chroma_rows() * y_ + 8 * j), t.bytes, l.bytes,
                                                   pic_.stride[p]);
            }
            chroma_residual(mb, 4 + 2 * j);
            chroma_residual(mb, 5 + 2 * j);
        }
    }

    bool illegal() const { return illegal_; }

private:
    bool wide() const { return g_.bit_depth > 8; }
    int32_t chroma_rows() const { return g_.chroma_format == 2 ? 16 : 8; }

    static void block_origin(int i, bool is8, int *bx, int *by)
    {
        if (is8) {
            *bx = 8 * (i & 1);
            *by = 8 * (i >> 1);
            return;
        }
        const int q = i >> 2, j = i & 3;
        *bx = 8 * (q & 1) + 4 * (j & 1);
        *by = 8 * (q >> 1) + 4 * (j >> 1);
    }

    // Whether the sample at (dx, dy) relative to the macroblock is decoded and may be used by
    // the block of the given rank.
    bool ready(int dx, int dy, int rank, bool small) const
    {
        const int cx = floor4(dx), cy = floor4(dy);
        if (cy < 0) {
            if (cx < 0)
                return avail_ & 8;
            if (cx < 4)
                return avail_ & 2;
            return cx < 8 && (avail_ & 4);
        }
        if (cx < 0)
            return (avail_ & 1) && cy < 4;
        if (cx >= 4 || cy >= 4)
            return false;
        const int r = small ? ((cy >> 1) * 2 + (cx >> 1)) * 4 + (cy & 1) * 2 + (cx & 1) : (cy >> 1) * 2 + (cx >> 1);
        return r < rank;
    }

    int32_t sample(int dx, int dy) const { return pic_.get(0, 16 * x_ + dx, 16 * y_ + dy); }

    void gather_luma(int bx, int by, int n, int rank, bool small, Samples &t, Samples &l) const
    {
        for (int i = 0; i < n; ++i) {
            t.put(1 + i, ready(bx + i, by - 1, rank, small) ? sample(bx + i, by - 1) : 0);
            l.put(1 + i, ready(bx - 1, by + i, rank, small) ? sample(bx - 1, by + i) : 0);
        }
        const bool above_right = ready(bx + n, by - 1, rank, small);
        const bool below_left = ready(bx - 1, by + n, rank, small);
        for (int i = 0; i < n; ++i) {
            t.put(1 + n + i, above_right ? sample(bx + n + i, by - 1) : t.get(n));
            l.put(1 + n + i, below_left ? sample(bx - 1, by + n + i) : l.get(n));
        }
        for (int i = 2 * n + 1; i < 32; ++i) {
            t.put(i, t.get(2 * n));
            l.put(i, l.get(2 * n));
        }
        int32_t tc, lc;
        if (bx == 0 && by == 0) {
            if (avail_ & 8)
                tc = lc = sample(-1, -1);
            else if ((avail_ & 1) && (avail_ & 2))
                tc = lc = (l.get(1) + t.get(1) + 1) >> 1;
            else if (avail_ & 1)
                tc = lc = l.get(1);
            else if (avail_ & 2)
                tc = lc = t.get(1);
            else
                tc = lc = 1 << (g_.bit_depth - 1);
        } else if (ready(bx - 1, by - 1, rank, small)) {
            tc = lc = sample(bx - 1, by - 1);
        } else {
            tc = t.get(1);
            lc = l.get(1);
        }
        t.put(0, tc);
        l.put(0, lc);
    }

    void gather_chroma(int p, int j, Samples &t, Samples &l) const
    {
        const int32_t X = 8 * x_, Y = chroma_rows() * y_ + 8 * j;
        const bool left = avail_ & 1, top = j == 1 || (avail_ & 2);
        for (int i = 1; i <= 8; ++i) {
            t.put(i, top ? pic_.get(p, X + i - 1, Y - 1) : 0);
            l.put(i, left ? pic_.get(p, X - 1, Y + i - 1) : 0);
        }
        t.put(9, j == 0 && (avail_ & 4) ? pic_.get(p, X + 8, Y - 1) : t.get(8));
        l.put(9, l.get(8));
        int32_t c;
        if (j == 1)
            c = left ? pic_.get(p, X - 1, Y - 1) : t.get(1);
        else if (avail_ & 8)
            c = pic_.get(p, X - 1, Y - 1);
        else if (left && top)
            c = (l.get(1) + t.get(1) + 1) >> 1;
        else if (top)
            c = t.get(1);
        else if (left)
            c = l.get(1);
        else
            c = 1 << (g_.bit_depth - 1);
        t.put(0, c);
        l.put(0, c);
    }

    void residual(const svacwriter::CoefList &pairs, uint8_t *dst, int32_t stride, int32_t qp, bool small)
    {
        std::vector<uint32_t> words;
        for (const auto &p : pairs)
            words.push_back((p.advance & 0xFFFF) | (static_cast<uint32_t>(p.level) << 16));
        alignas(16) int32_t block[64];
        const int size = small ? COEF_4X4 : COEF_8X8;
        coef_funcs[size](words.data(), block, qp, static_cast<int32_t>(words.size()), 0);
        idct_funcs[small ? IDCT_4X4 : IDCT_8X8][g_.bit_depth - 8](dst, block, stride);
    }

    void luma_residual(const svacwriter::IntraMb &mb, int i, bool is8)
    {
        const bool coded = is8 ? (mb.cbp >> i) & 1 : ((mb.cbp >> (i >> 2)) & 1) && ((mb.cbp4x4[i >> 2] >> (i & 3)) & 1);
        if (!coded)
            return;
        int bx, by;
        block_origin(i, is8, &bx, &by);
        residual(mb.luma[i], pic_.at(0, 16 * x_ + bx, 16 * y_ + by), pic_.stride[0], qp_, !is8);
    }

    void chroma_residual(const svacwriter::IntraMb &mb, int bit)
    {
        if (!((mb.cbp >> bit) & 1) || g_.chroma_format == 0)
            return;
        const int p = 1 + (bit & 1);
        uint8_t *dst = pic_.at(p, 8 * x_, chroma_rows() * y_ + (bit >= 6 ? 8 : 0));
        residual(mb.chroma[bit - 4], dst, pic_.stride[p], chroma_qp_of(qp_, g_.bit_depth), false);
    }

    // The co-located base area, edges repeated, enlarged two times.
    void upsample_base()
    {
        if (!base_)
            return;
        const int row = g_.bit_depth - 8;
        const int bps = wide() ? 2 : 1;
        auto enlarge = [&](int p, int32_t sx, int32_t sy, int w, int n, upsample_fn fn, uint8_t *dst) {
            const int32_t cols = w + 3, stride = cols * bps;
            std::vector<uint8_t> area(static_cast<size_t>(stride) * (n + 3));
            for (int r = -1; r <= n + 1; ++r)
                for (int c = -1; c <= w + 1; ++c) {
                    const int32_t bxp = std::clamp(sx + c, 0, base_->width[p] - 1);
                    const int32_t byp = std::clamp(sy + r, 0, base_->height[p] - 1);
                    const int32_t v = base_->get(p, bxp, byp);
                    uint8_t *o = area.data() + (r + 1) * stride + (c + 1) * bps;
                    if (wide())
                        *reinterpret_cast<uint16_t *>(o) = static_cast<uint16_t>(v);
                    else
                        *o = static_cast<uint8_t>(v);
                }
            fn(dst, area.data() + stride + bps, pic_.stride[p], stride, n);
        };
        enlarge(0, 8 * x_, 8 * y_, 8, 8, intra_pred_multi_funcs[row], pic_.at(0, 16 * x_, 16 * y_));
        if (g_.chroma_format == 0)
            return;
        const int n = g_.chroma_format == 1 ? 4 : 8;
        for (int p = 1; p <= 2; ++p)
            enlarge(p, 4 * x_, n * y_, 4, n, intra_pred_multi_chroma_funcs[row], pic_.at(p, 8 * x_, 2 * n * y_));
    }

    const LayerGeometry &g_;
    Picture &pic_;
    const Picture *base_;
    int32_t x_ = 0, y_ = 0, avail_ = 0, qp_ = 0;
    bool illegal_ = false;
};

} // namespace

void Picture::allocate(int32_t luma_w, int32_t luma_h, uint32_t chroma_format, int32_t depth)
{
    bit_depth = depth;
    planes = chroma_format == 0 ? 1 : 3;
    const int bps = depth > 8 ? 2 : 1;
    for (int p = 0; p < planes; ++p) {
        width[p] = p == 0 ? luma_w : luma_w / 2;
        height[p] = p == 0 || chroma_format == 2 ? luma_h : luma_h / 2;
        stride[p] = width[p] * bps;
        data[p].assign(static_cast<size_t>(stride[p]) * height[p], 0);
    }
}

uint8_t *Picture::at(int p, int32_t x, int32_t y)
{
    return data[p].data() + static_cast<size_t>(y) * stride[p] + static_cast<size_t>(x) * (bit_depth > 8 ? 2 : 1);
}

int32_t Picture::get(int p, int32_t x, int32_t y) const
{
    const uint8_t *s = data[p].data() + static_cast<size_t>(y) * stride[p];
    return bit_depth > 8 ? reinterpret_cast<const uint16_t *>(s)[x] : s[x];
}

void Picture::set(int p, int32_t x, int32_t y, int32_t v)
{
    uint8_t *s = at(p, x, y);
    if (bit_depth > 8)
        *reinterpret_cast<uint16_t *>(s) = static_cast<uint16_t>(v);
    else
        *s = static_cast<uint8_t>(v);
}

int32_t region_of(const LayerGeometry &g, uint32_t addr)
{
    const uint32_t w = g.mb_width, x = addr % w, y = addr / w;
    for (size_t i = 0; i < g.rects.size(); ++i) {
        const auto &r = g.rects[i];
        if (r.top_left % w <= x && x <= r.bottom_right % w && r.top_left / w <= y && y <= r.bottom_right / w)
            return static_cast<int32_t>(i);
    }
    return -1;
}

AvailabilityTracker::AvailabilityTracker(const LayerGeometry &g)
    : g_(g), slice_of_(static_cast<size_t>(g.mb_width) * g.mb_height, -1)
{
}

int32_t AvailabilityTracker::avail(uint32_t addr, int32_t slice_number, uint32_t first_mb) const
{
    const int64_t w = g_.mb_width, x = addr % w, y = addr / w, m = addr;
    const int32_t r = g_.roi_flag ? region_of(g_, addr) : -1;
    // A slice starts without neighbours, even one that continues a rectangle.
    if (addr == first_mb)
        return 0;
    auto available = [&](bool exists, int64_t n) {
        if (!exists)
            return false;
        if (!g_.roi_flag)
            return n >= static_cast<int64_t>(first_mb);
        const int32_t rn = region_of(g_, static_cast<uint32_t>(n));
        const int32_t sn = slice_of_[static_cast<size_t>(n)];
        return rn == r && sn >= 0 && (r >= 0 || sn == slice_number);
    };
    int32_t mask = 0;
    if (available(x >= 1, m - 1))
        mask |= 1;
    if (available(y >= 1, m - w))
        mask |= 2;
    if (available(y >= 1 && x < w - 1, m - w + 1))
        mask |= 4;
    if (available(y >= 1 && x >= 1, m - w - 1))
        mask |= 8;
    return mask;
}

void AvailabilityTracker::decoded(uint32_t addr, int32_t slice_number) { slice_of_[addr] = slice_number; }

Picture reconstruct(const LayerGeometry &g, const std::vector<CodedSlice> &slices, const Picture *base,
                    uint64_t *filtered)
{
    if (!intra_pred4x4_funcs[0][0] || !coef_funcs[0])
        ZQ_SVAC_Dec_Init(0);   // the kernel tables
    Picture pic;
    pic.allocate(16 * static_cast<int32_t>(g.mb_width), 16 * static_cast<int32_t>(g.mb_height), g.chroma_format,
                 g.bit_depth);
    AvailabilityTracker av(g);
    Reconstructor rec(g, pic, base);
    std::vector<MbFilter> filter(static_cast<size_t>(g.mb_width) * g.mb_height);
    int32_t number = 0;
    for (const CodedSlice &s : slices) {
        ++number;
        int32_t qp = s.slice_qp;
        for (const CodedMb &cm : s.mbs) {
            if (cm.mb.cbp != 0 && !s.fixed_qp)
                qp = wrap_qp(static_cast<int64_t>(qp) + cm.mb.qp_delta, g.bit_depth);
            const int32_t avail = av.avail(cm.addr, number, s.first_mb);
            rec.macroblock(cm, avail, qp);
            av.decoded(cm.addr, number);
            filter[cm.addr] = {true, s.loop_filter, cm.mb.kind == svacwriter::IntraKind::k4x4, qp, avail,
                               s.alpha_offset, s.beta_offset};
        }
    }
    const uint64_t changed = deblock_picture(g, filter, pic);
    if (filtered)
        *filtered = changed;
    return pic;
}

void reconstruct_intra_mb(const LayerGeometry &g, Picture &pic, const CodedMb &cm, int32_t avail, int32_t qp)
{
    Reconstructor rec(g, pic, nullptr);
    rec.macroblock(cm, avail, qp);
}

int32_t luma_substitute(int32_t mode, bool left_missing, bool top_missing)
{
    bool illegal = false;
    const int32_t m = substitute(kLumaNoLeft, kLumaNoTop, 8, mode, left_missing, top_missing, &illegal);
    return illegal ? -1 : m;
}

int32_t chroma_substitute(int32_t mode, bool left_missing, bool top_missing)
{
    bool illegal = false;
    const int32_t m = substitute(kChromaNoLeft, kChromaNoTop, 7, mode, left_missing, top_missing, &illegal);
    return illegal ? -1 : m;
}

} // namespace intra_model
