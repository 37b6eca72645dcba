#include "deblock_model.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "deblock.h"

namespace intra_model {

namespace {

using Table = std::array<int32_t, 56>;

// A table from runs of (count, value), then single values.
Table runs(std::initializer_list<std::pair<int, int32_t>> counted, std::initializer_list<int32_t> tail)
{
    Table t{};
    size_t i = 0;
    for (const auto &run : counted)
        for (int k = 0; k < run.first; ++k)
            t.at(i++) = run.second;
    for (int32_t v : tail)
        t.at(i++) = v;
    return t;
}

const Table kAlpha = [] {
    Table t = runs({{16, 0}}, {4,  4,  5,  6,  7,  8,  9,  10, 12,  13,  15,  17,  20,  22,  25,  28,  32,
                               36, 40, 45, 50, 56, 63, 71, 80, 90, 101, 113, 127, 144, 162, 182, 203, 226});
    std::fill(t.begin() + 50, t.end(), 255);
    return t;
}();
const Table kBeta = runs({{16, 0}, {3, 2}, {4, 3}, {3, 4}},
                         {6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18,
                          18, 19, 19, 20, 20});
const Table kClip = runs({{16, 0}, {14, 1}, {8, 2}, {7, 3}}, {4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7});

struct EdgeArgs {
    int32_t alpha = 0, beta = 0;
    uint8_t clip[2] = {};
    uint8_t strength[2] = {};
};

// Thresholds of an edge of QP q whose two halves both have strength bs; false when the edge
// is left alone (alpha or beta 0).
bool edge_args(int32_t q, int32_t depth, const MbFilter &m, int32_t bs, EdgeArgs *out)
{
    const int32_t s = depth - 8;
    const int32_t index_a = std::clamp(q + m.alpha_offset - 7 * s, 0, 55);
    const int32_t index_b = std::clamp(q + m.beta_offset - 7 * s, 0, 55);
    out->alpha = kAlpha[static_cast<size_t>(index_a)] * (1 << s);
    out->beta = kBeta[static_cast<size_t>(index_b)] * (1 << s);
    const int32_t t = bs + q + m.alpha_offset - 7 * s;
    const int32_t clip = kClip[static_cast<size_t>(t < 1 ? 0 : std::min(t - 1, 55))] * (1 << s);
    out->clip[0] = out->clip[1] = static_cast<uint8_t>(clip);
    out->strength[0] = out->strength[1] = static_cast<uint8_t>(bs);
    return out->alpha > 0 && out->beta > 0;
}

class Deblocker {
public:
    Deblocker(const LayerGeometry &g, const std::vector<MbFilter> &mbs, Picture &pic) : g_(g), mbs_(mbs), pic_(pic) {}

    void run()
    {
        for (uint32_t y = 0; y < g_.mb_height; ++y)
            for (uint32_t x = 0; x < g_.mb_width; ++x) {
                const MbFilter &m = mbs_[y * g_.mb_width + x];
                if (m.decoded && m.filter)
                    macroblock(static_cast<int32_t>(x), static_cast<int32_t>(y), m);
            }
    }

private:
    int32_t chroma_rows() const { return g_.chroma_format == 2 ? 16 : 8; }
    int row() const { return g_.bit_depth - 8; }

    void call(int kind, int p, int32_t x, int32_t y, int32_t q, const MbFilter &m, int32_t bs)
    {
        EdgeArgs a;
        if (edge_args(q, g_.bit_depth, m, bs, &a))
            deblock_funcs[kind][row()](pic_.at(p, x, y), pic_.stride[p], a.alpha, a.beta, a.clip, a.strength);
    }

    // Every edge of an intra macroblock: 3 on the macroblock border, 2 inside.
    void macroblock(int32_t mx, int32_t my, const MbFilter &m)
    {
        const int32_t lx = 16 * mx, ly = 16 * my, cx = 8 * mx, cy = chroma_rows() * my;
        const bool chroma = g_.chroma_format != 0;
        const int32_t qc = chroma_qp_of(m.qp, g_.bit_depth);
        for (int32_t e : {0, 4, 8, 12}) {
            if (e == 0) {
                if (!(m.avail & 1))
                    continue;
                const MbFilter &left = mbs_[my * g_.mb_width + mx - 1];
                call(DEBLOCK_LUMA_V, 0, lx, ly, (m.qp + left.qp + 1) >> 1, m, 3);
                const int32_t q = (qc + chroma_qp_of(left.qp, g_.bit_depth) + 1) >> 1;
                for (int p = 1; chroma && p <= 2; ++p)
                    for (int32_t r = 0; r < chroma_rows(); r += 8)
                        call(DEBLOCK_CHROMA_V, p, cx, cy + r, q, m, 3);
            } else if (e == 8 || m.four) {
                call(DEBLOCK_LUMA_V, 0, lx + e, ly, m.qp, m, 2);
            }
        }
        for (int32_t e : {0, 4, 8, 12}) {
            if (e == 0) {
                if (!(m.avail & 2))
                    continue;
                const MbFilter &top = mbs_[(my - 1) * g_.mb_width + mx];
                call(DEBLOCK_LUMA_H, 0, lx, ly, (m.qp + top.qp + 1) >> 1, m, 3);
                const int32_t q = (qc + chroma_qp_of(top.qp, g_.bit_depth) + 1) >> 1;
                for (int p = 1; chroma && p <= 2; ++p)
                    call(DEBLOCK_CHROMA_H, p, cx, cy, q, m, 3);
            } else if (e == 8 || m.four) {
                call(DEBLOCK_LUMA_H, 0, lx, ly + e, m.qp, m, 2);
            }
            if (e == 8 && g_.chroma_format == 2)
                for (int p = 1; p <= 2; ++p)
                    call(DEBLOCK_CHROMA_H, p, cx, cy + 8, qc, m, 2);
        }
    }

    const LayerGeometry &g_;
    const std::vector<MbFilter> &mbs_;
    Picture &pic_;
};

} // namespace

uint64_t deblock_picture(const LayerGeometry &g, const std::vector<MbFilter> &mbs, Picture &pic)
{
    const Picture before = pic;
    Deblocker(g, mbs, pic).run();
    uint64_t changed = 0;
    for (int p = 0; p < pic.planes; ++p)
        for (int32_t y = 0; y < pic.height[p]; ++y)
            for (int32_t x = 0; x < pic.width[p]; ++x)
                changed += pic.get(p, x, y) != before.get(p, x, y);
    return changed;
}

} // namespace intra_model
