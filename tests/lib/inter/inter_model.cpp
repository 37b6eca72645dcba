#include "inter_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "coef.h"
#include "deblock.h"
#include "idct.h"
#include "lf_strength.h"
#include "mc.h"
#include "svacdec.h"

namespace inter_model {

int32_t scale_component(int32_t v, int32_t distance, int32_t neighbour_distance)
{
    const int64_t scale = neighbour_distance ? 512 / neighbour_distance : 0;
    const int64_t product = int64_t(v) * distance * scale + 256 - (v < 0 ? 1 : 0);
    return static_cast<int32_t>(static_cast<uint32_t>(product)) >> 9;   // 32-bit wrap, arithmetic shift
}

namespace {

using svacwriter::PKind;

int bytes_per_sample(const Picture &p) { return p.bit_depth > 8 ? 2 : 1; }

// Sample (x, y) of plane p with coordinates clamped into the plane.
int32_t clamped(const Picture &pic, int p, int64_t x, int64_t y)
{
    return pic.get(p, static_cast<int32_t>(std::clamp<int64_t>(x, 0, pic.width[p] - 1)),
                   static_cast<int32_t>(std::clamp<int64_t>(y, 0, pic.height[p] - 1)));
}

// A work area of 40 x 40 samples with its own stride, for reference windows and predictions.
struct Area {
    static constexpr int kStride = 96;   // bytes
    alignas(32) uint8_t bytes[kStride * 40] = {};
    bool wide = false;
    uint8_t *at(int x, int y) { return bytes + y * kStride + x * (wide ? 2 : 1); }
    void put(int x, int y, int32_t v)
    {
        if (wide)
            *reinterpret_cast<uint16_t *>(at(x, y)) = static_cast<uint16_t>(v);
        else
            *at(x, y) = static_cast<uint8_t>(v);
    }
    int32_t get(int x, int y) { return wide ? *reinterpret_cast<uint16_t *>(at(x, y)) : *at(x, y); }
};

// One list's prediction of an n x n luma block at luma sample (lx, ly) of cur from the
// quarter-sample position (qx, qy) of ref, with its chroma.
void predict(const Picture &ref, Picture &cur, const LayerGeometry &g, int n, int32_t lx, int32_t ly, int64_t qx,
             int64_t qy)
{
    const int row = g.bit_depth - 8;
    const bool wide = g.bit_depth > 8;
    const int64_t ix = qx >> 2, iy = qy >> 2;
    Area win, out;
    win.wide = out.wide = wide;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            win.put(x, y, clamped(ref, 0, ix - 2 + x, iy - 2 + y));
    luma_mc_put_funcs[row][n == 16 ? LUMA_MC_16X16 : LUMA_MC_8X8][(qx & 3) + 4 * (qy & 3)](out.at(0, 0), win.at(2, 2),
                                                                                            Area::kStride);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            cur.set(0, lx + x, ly + y, out.get(x, y));
    if (g.chroma_format == 0)
        return;
    const int c422 = g.chroma_format == 2 ? 1 : 0;
    const int64_t cx = qx >> 3, cy = qy >> (3 - c422);
    const int32_t fx = static_cast<int32_t>(qx & 7), fy = static_cast<int32_t>((qy * (1 << c422)) & 7);
    const int cw = n / 2, ch = n >> (1 - c422);
    const int32_t dx = lx / 2, dy = ly >> (1 - c422);
    for (int p = 1; p <= 2; ++p) {
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                win.put(x, y, clamped(ref, p, cx + x, cy + y));
        chroma_mc_put_funcs[row][n == 16 ? CHROMA_MC_W8 : CHROMA_MC_W4](out.at(0, 0), win.at(0, 0), Area::kStride, ch,
                                                                        fx, fy);
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                cur.set(p, dx + x, dy + y, out.get(x, y));
    }
}

} // namespace

void predict_block(const Picture &ref, Picture &cur, const LayerGeometry &g, int n, int32_t lx, int32_t ly,
                   int64_t qx, int64_t qy)
{
    predict(ref, cur, g, n, lx, ly, qx, qy);
}

namespace {

void residual(const svacwriter::CoefList &pairs, uint8_t *dst, int32_t stride, int32_t qp, int32_t depth)
{
    std::vector<uint32_t> words;
    for (const auto &p : pairs)
        words.push_back((p.advance & 0xFFFF) | (static_cast<uint32_t>(p.level) << 16));
    alignas(16) int32_t block[64];
    coef_funcs[COEF_8X8](words.data(), block, qp, static_cast<int32_t>(words.size()), 0);
    idct_funcs[IDCT_8X8][depth - 8](dst, block, stride);
}

struct MbState {
    bool decoded = false;
    int32_t kind = 0;                 // 0/1 intra, 2..6 inter
    uint32_t cbp = 0;
    int32_t qp = 0, avail = 0;
    Motion blocks[4];
    bool filter = false;
    int32_t alpha_offset = 0, beta_offset = 0;
};

class PReconstructor {
public:
    PReconstructor(const LayerGeometry &g, const References &refs, Picture &pic)
        : g_(g), refs_(refs), pic_(pic), mbs_(static_cast<size_t>(g.mb_width) * g.mb_height)
    {
    }

    void macroblock(const PCodedMb &cm, int32_t avail, int32_t qp, const PSlice &s)
    {
        x_ = static_cast<int32_t>(cm.addr % g_.mb_width);
        y_ = static_cast<int32_t>(cm.addr / g_.mb_width);
        avail_ = avail;
        MbState &m = mbs_[cm.addr];
        m = MbState{};
        m.decoded = true;
        m.qp = qp;
        m.avail = avail;
        m.filter = s.loop_filter;
        m.alpha_offset = s.alpha_offset;
        m.beta_offset = s.beta_offset;
        cur_ = m.blocks;
        if (cm.kind == MbKind::kIntra) {
            m.kind = cm.intra.kind == svacwriter::IntraKind::k8x8 ? 1 : 0;
            m.cbp = cm.intra.cbp;
            for (Motion &b : m.blocks)
                b = {0, 0, -2};
            intra_model::reconstruct_intra_mb(g_, pic_, {cm.addr, cm.intra}, avail, qp);
            return;
        }
        if (cm.kind == MbKind::kSkip) {
            m.kind = 6;
            store(0, 0, 2, -1, 'M', 0, 0, 0, 2, 2);
            predict_mb(true);
            return;
        }
        const svacwriter::PMb &p = cm.p;
        m.kind = static_cast<int32_t>(p.kind);
        m.cbp = p.cbp;
        auto ref = [&](int i) { return s.single_ref ? 0 : static_cast<int32_t>(p.ref_idx[i]); };
        switch (p.kind) {
        case PKind::k16x16: store(0, 0, 2, -1, 'M', ref(0), p.mvd[0][0], p.mvd[0][1], 2, 2); break;
        case PKind::k16x8:
            store(0, 0, 2, -1, 'B', ref(0), p.mvd[0][0], p.mvd[0][1], 2, 1);
            store(0, 1, -1, 0, 'A', ref(1), p.mvd[1][0], p.mvd[1][1], 2, 1);
            break;
        case PKind::k8x16:
            store(0, 0, 1, -1, 'A', ref(0), p.mvd[0][0], p.mvd[0][1], 1, 2);
            store(1, 0, 2, -1, 'C', ref(1), p.mvd[1][0], p.mvd[1][1], 1, 2);
            break;
        case PKind::k8x8: {
            const int c[4][2] = {{1, -1}, {2, -1}, {1, 0}, {0, 0}};
            for (int i = 0; i < 4; ++i)
                store(i & 1, i >> 1, c[i][0], c[i][1], 'M', ref(i), p.mvd[i][0], p.mvd[i][1], 1, 1);
            break;
        }
        }
        predict_mb(p.kind == PKind::k16x16);
        uint8_t *mb_luma = pic_.at(0, 16 * x_, 16 * y_);
        for (int i = 0; i < 4; ++i)
            if ((p.cbp >> i) & 1)
                residual(p.luma[i], mb_luma + (8 * (i >> 1)) * pic_.stride[0] + 8 * (i & 1) * bytes_per_sample(pic_),
                         pic_.stride[0], qp, g_.bit_depth);
        const int32_t rows = g_.chroma_format == 2 ? 16 : 8;
        for (int bit = 4; bit < 8 && g_.chroma_format != 0; ++bit)
            if ((p.cbp >> bit) & 1)
                residual(p.chroma[bit - 4], pic_.at(1 + (bit & 1), 8 * x_, rows * y_ + (bit >= 6 ? 8 : 0)),
                         pic_.stride[1], intra_model::chroma_qp_of(qp, g_.bit_depth), g_.bit_depth);
    }

    const std::vector<MbState> &states() const { return mbs_; }

private:
    // Block (bx, by) relative to the macroblock: -1..1 across, -1..1 down; 2 across in row -1.
    Motion neighbour(int bx, int by) const
    {
        auto block = [&](int32_t mx, int32_t my, int i) { return mbs_[my * g_.mb_width + mx].blocks[i]; };
        if (by < 0) {
            if (bx < 0)
                return avail_ & 8 ? block(x_ - 1, y_ - 1, 3) : Motion{};
            if (bx < 2)
                return avail_ & 2 ? block(x_, y_ - 1, 2 + bx) : Motion{};
            return avail_ & 4 ? block(x_ + 1, y_ - 1, 2) : Motion{};
        }
        if (bx < 0)
            return avail_ & 1 ? block(x_ - 1, y_, 2 * by + 1) : Motion{};
        return cur_[2 * by + bx];
    }

    // Predicts the vector of block (bx, by) with neighbour C at (cx, cy), adds the difference
    // and stores it over w x h blocks.
    void store(int bx, int by, int cx, int cy, char rule, int32_t ref, int32_t dx, int32_t dy, int w, int h)
    {
        const Motion a = neighbour(bx - 1, by), b = neighbour(bx, by - 1);
        Motion c = neighbour(cx, cy);
        if (c.ref == -1 || (bx == 1 && by == 1))
            c = neighbour(bx - 1, by - 1);
        int32_t px, py;
        const bool ha = a.ref >= 0, hb = b.ref >= 0, hc = c.ref >= 0;
        const Motion *only = nullptr;
        if (!ha && hb && !hc)
            only = &b;
        else if (!ha && !hb && hc)
            only = &c;
        else if (ha && !hb && !hc)
            only = &a;
        else if ((rule == 'A' && a.ref == ref) || (rule == 'B' && b.ref == ref) || (rule == 'C' && c.ref == ref))
            only = rule == 'A' ? &a : rule == 'B' ? &b : &c;
        if (only) {
            px = only->x;
            py = only->y;
        } else {
            const Motion *n[3] = {&a, &b, &c};
            int32_t v[3][2];
            for (int i = 0; i < 3; ++i) {
                const int32_t nd = refs_.distance[std::max(n[i]->ref, 0)];
                v[i][0] = scale_component(n[i]->x, refs_.distance[ref], nd);
                v[i][1] = scale_component(n[i]->y, refs_.distance[ref], nd);
            }
            auto d = [&](int i, int j) { return std::abs(v[i][0] - v[j][0]) + std::abs(v[i][1] - v[j][1]); };
            const int32_t ab = d(0, 1), bc = d(1, 2), ca = d(2, 0);
            // The median of the three distances names the vector: c for ab, a for bc, b for ca.
            int32_t sorted[3] = {ab, bc, ca};
            std::sort(sorted, sorted + 3);
            const int32_t med = sorted[1];
            const int pick = med == ab ? 2 : med == bc ? 0 : 1;
            px = v[pick][0];
            py = v[pick][1];
        }
        const Motion m{static_cast<int16_t>(px + dx), static_cast<int16_t>(py + dy), ref};
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                cur_[2 * (by + j) + bx + i] = m;
    }

    void predict_mb(bool whole)
    {
        for (int i = 0; i < (whole ? 1 : 4); ++i) {
            const Motion &m = cur_[i];
            const int bx = 8 * (i & 1), by = 8 * (i >> 1);
            predict(*refs_.pic[m.ref], pic_, g_, whole ? 16 : 8, 16 * x_ + bx, 16 * y_ + by,
                    64 * int64_t(x_) + 4 * bx + m.x, 64 * int64_t(y_) + 4 * by + m.y);
        }
    }

    const LayerGeometry &g_;
    const References &refs_;
    Picture &pic_;
    std::vector<MbState> mbs_;
    Motion *cur_ = nullptr;
    int32_t x_ = 0, y_ = 0, avail_ = 0;
};

// Deblocking of a P picture, macroblocks in raster order.
class Deblocker {
public:
    Deblocker(const LayerGeometry &g, const std::vector<MbState> &mbs, Picture &pic) : g_(g), mbs_(mbs), pic_(pic) {}

    void run()
    {
        for (uint32_t y = 0; y < g_.mb_height; ++y)
            for (uint32_t x = 0; x < g_.mb_width; ++x) {
                const MbState &m = mbs_[y * g_.mb_width + x];
                if (m.decoded && m.filter)
                    macroblock(static_cast<int32_t>(x), static_cast<int32_t>(y), m);
            }
    }

private:
    static bool intra(const MbState &m) { return m.kind <= 1; }
    static bool bit(uint32_t cbp, int b) { return (cbp >> b) & 1; }
    static uint8_t half(const MbState &p, int pb, const Motion &pm, const MbState &q, int qb, const Motion &qm)
    {
        if (bit(p.cbp, pb) || bit(q.cbp, qb))
            return 2;
        return std::abs(pm.x - qm.x) >= 4 || std::abs(pm.y - qm.y) >= 4 || pm.ref != qm.ref ? 1 : 0;
    }

    void edge(int group, int p, int32_t x, int32_t y, int32_t q, const MbState &m, const uint8_t bs[2])
    {
        if (!bs[0] && !bs[1])
            return;
        lf_edge_params e;
        if (lf_edge_thresholds(q, g_.bit_depth - 8, m.alpha_offset, m.beta_offset, bs, &e))
            deblock_funcs[group][g_.bit_depth - 8](pic_.at(p, x, y), pic_.stride[p], e.alpha, e.beta, e.clip, bs);
    }

    void macroblock(int32_t mx, int32_t my, const MbState &m)
    {
        uint8_t left[2] = {}, top[2] = {}, iv[2], ih[2], i4[2] = {};
        const bool in = intra(m);
        if (m.avail & 1) {
            const MbState &l = mbs_[my * g_.mb_width + mx - 1];
            for (int h = 0; h < 2; ++h)
                left[h] = in || intra(l) ? 3 : half(l, 1 + 2 * h, l.blocks[1 + 2 * h], m, 2 * h, m.blocks[2 * h]);
        }
        if (m.avail & 2) {
            const MbState &t = mbs_[(my - 1) * g_.mb_width + mx];
            for (int h = 0; h < 2; ++h)
                top[h] = in || intra(t) ? 3 : half(t, 2 + h, t.blocks[2 + h], m, h, m.blocks[h]);
        }
        for (int h = 0; h < 2; ++h) {
            iv[h] = in ? 2 : half(m, 2 * h, m.blocks[2 * h], m, 2 * h + 1, m.blocks[2 * h + 1]);
            ih[h] = in ? 2 : half(m, h, m.blocks[h], m, h + 2, m.blocks[h + 2]);
        }
        if (m.kind == 0)
            i4[0] = i4[1] = 2;
        const int32_t lx = 16 * mx, ly = 16 * my, rows = g_.chroma_format == 2 ? 16 : 8;
        const int32_t cx = 8 * mx, cy = rows * my;
        const bool chroma = g_.chroma_format != 0;
        const int32_t qc = intra_model::chroma_qp_of(m.qp, g_.bit_depth);
        if (m.avail & 1) {
            const MbState &l = mbs_[my * g_.mb_width + mx - 1];
            edge(DEBLOCK_LUMA_V, 0, lx, ly, (m.qp + 1 + l.qp) >> 1, m, left);
            const int32_t q = (qc + 1 + intra_model::chroma_qp_of(l.qp, g_.bit_depth)) >> 1;
            for (int p = 1; chroma && p <= 2; ++p) {
                if (rows == 8) {
                    edge(DEBLOCK_CHROMA_V, p, cx, cy, q, m, left);
                } else {
                    const uint8_t upper[2] = {left[0], left[0]}, lower[2] = {left[1], left[1]};
                    edge(DEBLOCK_CHROMA_V, p, cx, cy, q, m, upper);
                    edge(DEBLOCK_CHROMA_V, p, cx, cy + 8, q, m, lower);
                }
            }
        }
        edge(DEBLOCK_LUMA_V, 0, lx + 4, ly, m.qp, m, i4);
        edge(DEBLOCK_LUMA_V, 0, lx + 8, ly, m.qp, m, iv);
        edge(DEBLOCK_LUMA_V, 0, lx + 12, ly, m.qp, m, i4);
        if (m.avail & 2) {
            const MbState &t = mbs_[(my - 1) * g_.mb_width + mx];
            edge(DEBLOCK_LUMA_H, 0, lx, ly, (m.qp + 1 + t.qp) >> 1, m, top);
            const int32_t q = (qc + 1 + intra_model::chroma_qp_of(t.qp, g_.bit_depth)) >> 1;
            for (int p = 1; chroma && p <= 2; ++p)
                edge(DEBLOCK_CHROMA_H, p, cx, cy, q, m, top);
        }
        edge(DEBLOCK_LUMA_H, 0, lx, ly + 4, m.qp, m, i4);
        edge(DEBLOCK_LUMA_H, 0, lx, ly + 8, m.qp, m, ih);
        edge(DEBLOCK_LUMA_H, 0, lx, ly + 12, m.qp, m, i4);
        for (int p = 1; rows == 16 && chroma && p <= 2; ++p)
            edge(DEBLOCK_CHROMA_H, p, cx, cy + 8, qc, m, ih);
    }

    const LayerGeometry &g_;
    const std::vector<MbState> &mbs_;
    Picture &pic_;
};

} // namespace

Picture reconstruct_p(const LayerGeometry &g, const std::vector<PSlice> &slices, const References &refs,
                      std::vector<Motion> *motion, uint64_t *filtered)
{
    if (!luma_mc_put_funcs[0][0][0] || !coef_funcs[0])
        ZQ_SVAC_Dec_Init(0);
    Picture pic;
    pic.allocate(16 * static_cast<int32_t>(g.mb_width), 16 * static_cast<int32_t>(g.mb_height), g.chroma_format,
                 g.bit_depth);
    intra_model::AvailabilityTracker av(g);
    PReconstructor rec(g, refs, pic);
    int32_t number = 0;
    for (const PSlice &s : slices) {
        ++number;
        int32_t qp = s.slice_qp;
        for (const PCodedMb &cm : s.mbs) {
            const int32_t avail = av.avail(cm.addr, number, s.first_mb);
            if (cm.kind == MbKind::kIntra && cm.intra.cbp != 0 && !s.fixed_qp) {
                const int32_t o = 7 * (g.bit_depth - 8);
                qp = o + (((qp - o + cm.intra.qp_delta) % 56) + 56) % 56;
            } else if (cm.kind == MbKind::kCoded && cm.p.cbp != 0 && !s.fixed_qp) {
                qp = (qp + cm.p.qp_delta) & 63;
            }
            rec.macroblock(cm, avail, qp, s);
            av.decoded(cm.addr, number);
        }
    }
    if (motion) {
        motion->clear();
        for (const MbState &m : rec.states())
            motion->insert(motion->end(), m.blocks, m.blocks + 4);
    }
    const Picture before = pic;
    Deblocker(g, rec.states(), pic).run();
    if (filtered) {
        uint64_t changed = 0;
        for (int p = 0; p < pic.planes; ++p)
            for (int32_t y = 0; y < pic.height[p]; ++y)
                for (int32_t x = 0; x < pic.width[p]; ++x)
                    changed += pic.get(p, x, y) != before.get(p, x, y);
        *filtered = changed;
    }
    return pic;
}

} // namespace inter_model
