// Motion search and inter prediction: vector prediction as a decoder makes it, whole- then
// sub-sample search, partitions, and motion compensation through the decoder's kernels.
#include "encoder_state.h"

namespace svacenc {

Encoder::State::Neighbour Encoder::State::block_mv(int mx, int my, int bx, int by, const Mv *own, int done) const
{
    Neighbour n;
    if (by >= 0 && bx >= 0) {
        if (bx < 2 && (done >> (2 * by + bx) & 1)) {
            n.ref = 0;
            n.mv = own[2 * by + bx];
        }
        return n;
    }
    const int x = mx + (bx < 0 ? -1 : bx >= 2 ? 1 : 0), y = my + (by < 0 ? -1 : 0);
    if (x < 0 || y < 0 || x >= mbw)
        return n;
    const MbInfo &i = info[size_t(y) * mbw + x];
    n.ref = i.intra ? -2 : 0;
    if (!i.intra)
        n.mv = i.mv[2 * (by < 0 ? 1 : by) + (bx < 0 ? 1 : bx >= 2 ? 0 : bx)];
    return n;
}

Mv Encoder::State::predict_mv(int mx, int my, int pos, int c_pos, MvRule rule, const Mv *own, int done) const
{
    auto at = [&](int p) { return block_mv(mx, my, (p & 3) - 1, (p >> 2) - 1, own, done); };
    const Neighbour a = at(pos - 1), b = at(pos - 4);
    Neighbour c = at(c_pos);
    if (c.ref == -1 || pos == 10)
        c = at(pos - 5);
    const bool ha = a.ref >= 0, hb = b.ref >= 0, hc = c.ref >= 0;
    if (!ha && hb && !hc)
        return b.mv;
    if (!ha && !hb && hc)
        return c.mv;
    if (ha && !hb && !hc)
        return a.mv;
    if ((rule == kPreferA && ha) || (rule == kPreferB && hb) || (rule == kPreferC && hc))
        return rule == kPreferA ? a.mv : rule == kPreferB ? b.mv : c.mv;
    const Mv v[3] = {a.mv, b.mv, c.mv};
    auto span = [&](int i, int j) { return std::abs(v[i].x - v[j].x) + std::abs(v[i].y - v[j].y); };
    const int vab = span(0, 1), vbc = span(1, 2), vca = span(2, 0);
    int m;
    if (vab <= vbc)
        m = vca < vbc ? std::max(vca, vab) : vbc;
    else
        m = vca > vbc ? std::min(vab, vca) : vbc;
    return m == vab ? v[2] : m == vbc ? v[0] : v[1];
}

int Encoder::State::sad16(int mx, int my, int vx, int vy, int limit) const
{
    const int ox = 16 * mx, oy = 16 * my;
    const int rx = ox + vx, ry = oy + vy;
    const bool inside = rx >= 0 && ry >= 0 && rx + 16 <= ref.w && ry + 16 <= ref.h;
    int s = 0;
    for (int y = 0; y < 16; ++y) {
        const uint8_t *a = src.at(0, ox, oy + y);
        if (inside) {
            const uint8_t *b = ref.at(0, rx, ry + y);
            for (int x = 0; x < 16; ++x)
                s += std::abs(int(a[x]) - int(b[x]));
        } else {
            for (int x = 0; x < 16; ++x)
                s += std::abs(int(a[x]) - int(ref.clamped(0, rx + x, ry + y)));
        }
        if (s >= limit)
            return s;
    }
    return s;
}

void Encoder::State::mc_luma(int mx, int my, Mv v, uint8_t *dst) const
{
    alignas(16) uint8_t win[kWin * 24];
    const int x = 16 * mx + (v.x >> 2) - 2, y = 16 * my + (v.y >> 2) - 2;
    pad_ref_block_funcs[PAD_REF_8BIT](win, sample_address(ref.p[0].data(), x, y, ref.w), kWin, ref.w, 21, 21, x, y,
                                      ref.w, ref.h);
    luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][(v.x & 3) + 4 * (v.y & 3)](dst, win + 2 + 2 * kWin, kWin);
}

void Encoder::State::mc_chroma(int p, int mx, int my, Mv v, uint8_t *dst) const
{
    alignas(16) uint8_t win[kWin * 12];
    const int qx = 64 * mx + v.x, qy = 64 * my + v.y;
    const int x = qx >> 3, y = qy >> 3;
    const int w = ref.w / 2, h = ref.h / 2;
    pad_ref_block_funcs[PAD_REF_8BIT](win, sample_address(ref.p[p].data(), x, y, w), kWin, w, 9, 9, x, y, w, h);
    chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W8](dst, win, kWin, 8, qx & 7, qy & 7);
}

int Encoder::State::sad_at(int mx, int my, Mv v) const
{
    if (((v.x | v.y) & 3) == 0)
        return sad16(mx, my, v.x >> 2, v.y >> 2, 1 << 30);
    alignas(16) uint8_t pred[kWin * 16];
    mc_luma(mx, my, v, pred);
    int s = 0;
    for (int y = 0; y < 16; ++y) {
        const uint8_t *a = src.at(0, 16 * mx, 16 * my + y);
        for (int x = 0; x < 16; ++x)
            s += std::abs(int(a[x]) - int(pred[y * kWin + x]));
    }
    return s;
}

void Encoder::State::predict_inter(int mx, int my, Mv mv)
{
    const int ix = 16 * mx + (mv.x >> 2), iy = 16 * my + (mv.y >> 2);
    if (((mv.x | mv.y) & 7) == 0 && ix >= 0 && iy >= 0 && ix + 16 <= ref.w && iy + 16 <= ref.h) {
        for (int y = 0; y < 16; ++y)
            std::memcpy(cur.at(0, 16 * mx, 16 * my + y), ref.at(0, ix, iy + y), 16);
        for (int p = 1; p <= 2; ++p)
            for (int y = 0; y < 8; ++y)
                std::memcpy(cur.at(p, 8 * mx, 8 * my + y), ref.at(p, ix / 2, iy / 2 + y), 8);
        return;
    }
    alignas(16) uint8_t pred[kWin * 16];
    mc_luma(mx, my, mv, pred);
    for (int y = 0; y < 16; ++y)
        std::memcpy(cur.at(0, 16 * mx, 16 * my + y), pred + y * kWin, 16);
    for (int p = 1; p <= 2; ++p) {
        mc_chroma(p, mx, my, mv, pred);
        for (int y = 0; y < 8; ++y)
            std::memcpy(cur.at(p, 8 * mx, 8 * my + y), pred + y * kWin, 8);
    }
}

int Encoder::State::prediction_sad(int mx, int my) const
{
    int s = 0;
    for (int b = 0; b < 4; ++b) {
        const int bx = 16 * mx + 8 * (b & 1), by = 16 * my + 8 * (b >> 1);
        s += sad8(src.at(0, bx, by), src.w, cur.at(0, bx, by), cur.w);
    }
    for (int p = 1; p <= 2; ++p)
        s += sad8(src.at(p, 8 * mx, 8 * my), src.w / 2, cur.at(p, 8 * mx, 8 * my), cur.w / 2);
    return s;
}

Mv Encoder::State::search(int mx, int my, Mv pred)
{
    const int range = std::max(1, cfg.search_range);
    const int lam = lambda();
    auto cost_of = [&](int vx, int vy, int limit) {
        const int bits = se_bits(4 * vx - pred.x) + se_bits(4 * vy - pred.y);
        return sad16(mx, my, vx, vy, limit) + lam * bits;
    };
    const int px = pred.x >> 2, py = pred.y >> 2;
    auto in_range = [&](int vx, int vy) { return std::abs(vx) <= range && std::abs(vy) <= range; };
    int bx = 0, by = 0;
    int best = cost_of(0, 0, 1 << 30);
    auto consider = [&](int vx, int vy) {
        if (!in_range(vx, vy) || (vx == bx && vy == by))
            return false;
        const int c = cost_of(vx, vy, best);
        if (c < best) {
            best = c;
            bx = vx;
            by = vy;
            return true;
        }
        return false;
    };
    consider(px, py);
    if (mx > 0) {
        const Mv &a = info[size_t(my) * mbw + mx - 1].mv[1];
        consider(a.x >> 2, a.y >> 2);
    }
    if (my > 0) {
        const Mv &b = info[size_t(my - 1) * mbw + mx].mv[2];
        consider(b.x >> 2, b.y >> 2);
    }
    for (int step = 8; step >= 1; step >>= 1) {
        for (int rounds = 0; rounds < 2 * range; ++rounds) {
            const int cx = bx, cy = by;
            bool moved = false;
            moved |= consider(cx + step, cy);
            moved |= consider(cx - step, cy);
            moved |= consider(cx, cy + step);
            moved |= consider(cx, cy - step);
            if (!moved)
                break;
        }
    }
    Mv best_mv{4 * bx, 4 * by};
    if (!cfg.subsample)
        return best_mv;
    // Half, then quarter samples around the best, and the predicted vector itself.
    auto bits = [&](Mv v) { return se_bits(v.x - pred.x) + se_bits(v.y - pred.y); };
    const int limit = 4 * range + 3;
    int best_cost = sad_at(mx, my, best_mv) + lam * bits(best_mv);
    auto try_vector = [&](Mv v) {
        if (std::abs(v.x) > limit || std::abs(v.y) > limit)
            return;
        const int c = sad_at(mx, my, v) + lam * bits(v);
        if (c < best_cost) {
            best_cost = c;
            best_mv = v;
        }
    };
    if (pred != best_mv)
        try_vector(pred);
    for (int step = 2; step >= 1; step >>= 1) {
        const Mv c = best_mv;
        for (int dy = -step; dy <= step; dy += step)
            for (int dx = -step; dx <= step; dx += step)
                if (dx || dy)
                    try_vector(Mv{c.x + dx, c.y + dy});
    }
    return best_mv;
}

int Encoder::State::sad_region(int mx, int my, Mv v, int x0, int y0, int w, int h) const
{
    const int ix = 16 * mx + (v.x >> 2), iy = 16 * my + (v.y >> 2);
    if (((v.x | v.y) & 3) == 0 && ix >= 0 && iy >= 0 && ix + 16 <= ref.w && iy + 16 <= ref.h) {
        int s = 0;
        for (int y = y0; y < y0 + h; ++y) {
            const uint8_t *a = src.at(0, 16 * mx, 16 * my + y), *r = ref.at(0, ix, iy + y);
            for (int x = x0; x < x0 + w; ++x)
                s += std::abs(int(a[x]) - int(r[x]));
        }
        return s;
    }
    alignas(16) uint8_t pred[kWin * 16];
    mc_luma(mx, my, v, pred);
    int s = 0;
    for (int y = y0; y < y0 + h; ++y) {
        const uint8_t *a = src.at(0, 16 * mx, 16 * my + y);
        for (int x = x0; x < x0 + w; ++x)
            s += std::abs(int(a[x]) - int(pred[y * kWin + x]));
    }
    return s;
}

Encoder::State::Motion Encoder::State::search_split(int mx, int my, PKind kind, Mv start, int *cost) const
{
    // The decoder's grid position of each partition's first block, its upper-right
    // neighbour and its prediction rule.
    static const int kPos[3][4] = {{5, 9}, {5, 6}, {5, 6, 9, 10}};
    static const int kUpperRight[3][4] = {{3, 4}, {2, 3}, {2, 3, 6, 7}};
    static const MvRule kRule[3][4] = {{kPreferB, kPreferA}, {kPreferA, kPreferC}, {kMedian, kMedian, kMedian, kMedian}};
    const int k = kind == PKind::k16x8 ? 0 : kind == PKind::k8x16 ? 1 : 2;
    const int lam = lambda(), limit = 4 * std::max(1, cfg.search_range) + 3;
    Motion m;
    m.kind = kind;
    Mv own[4];
    int done = 0;
    *cost = 0;
    for (int i = 0; i < m.parts(); ++i) {
        int x0, y0, w, h;
        m.region(i, &x0, &y0, &w, &h);
        const Mv pred = predict_mv(mx, my, kPos[k][i], kUpperRight[k][i], kRule[k][i], own, done);
        auto cost_of = [&](Mv v) {
            return sad_region(mx, my, v, x0, y0, w, h) + lam * (se_bits(v.x - pred.x) + se_bits(v.y - pred.y));
        };
        Mv best = start;
        int best_cost = cost_of(start);
        auto consider = [&](Mv v) {
            if (std::abs(v.x) > limit || std::abs(v.y) > limit || v == best)
                return false;
            if (!cfg.subsample && ((v.x | v.y) & 3))
                return false;
            const int c = cost_of(v);
            if (c >= best_cost)
                return false;
            best_cost = c;
            best = v;
            return true;
        };
        consider(pred);
        for (int step = 8; step >= (cfg.subsample ? 1 : 4); step >>= 1)
            for (int rounds = 0; rounds < 4; ++rounds) {
                const Mv c = best;
                bool moved = consider(Mv{c.x + step, c.y});
                moved |= consider(Mv{c.x - step, c.y});
                moved |= consider(Mv{c.x, c.y + step});
                moved |= consider(Mv{c.x, c.y - step});
                if (!moved)
                    break;
            }
        m.mv[i] = best;
        m.pred[i] = pred;
        *cost += best_cost;
        for (int b = 0; b < 4; ++b)
            if (m.part_of(b) == i) {
                own[b] = best;
                done |= 1 << b;
            }
    }
    return m;
}

bool Encoder::State::next_shape(PKind *kind) const
{
    if (!cfg.partitions || *kind == PKind::k8x8 || (*kind == PKind::k8x16 && !cfg.partitions8x8))
        return false;
    *kind = *kind == PKind::k16x16 ? PKind::k16x8 : *kind == PKind::k16x8 ? PKind::k8x16 : PKind::k8x8;
    return true;
}

Encoder::State::Motion Encoder::State::search_shape(int mx, int my, PKind kind, Mv mv, int *cost) const
{
    Motion m = search_split(mx, my, kind, mv, cost);
    // More vectors and a longer type.
    *cost += (kind == PKind::k8x8 ? 4 : 2) * lambda();
    return m;
}

Encoder::State::Motion Encoder::State::choose_shape(int mx, int my, Mv mv, Mv pred) const
{
    Motion best;
    best.mv[0] = mv;
    best.pred[0] = pred;
    int least = cfg.partitions ? sad_at(mx, my, mv) + lambda() * best.bits() : 0;
    for (PKind kind = PKind::k16x16; next_shape(&kind);) {
        int cost;
        const Motion split = search_shape(mx, my, kind, mv, &cost);
        if (cost < least) {
            least = cost;
            best = split;
        }
    }
    return best;
}

void Encoder::State::predict_split(int mx, int my, const Motion &m)
{
    alignas(16) uint8_t pred[kWin * 16];
    for (int i = 0; i < m.parts(); ++i) {
        int x0, y0, w, h;
        m.region(i, &x0, &y0, &w, &h);
        mc_luma(mx, my, m.mv[i], pred);
        for (int y = y0; y < y0 + h; ++y)
            std::memcpy(cur.at(0, 16 * mx + x0, 16 * my + y), pred + y * kWin + x0, size_t(w));
        for (int p = 1; p <= 2; ++p) {
            mc_chroma(p, mx, my, m.mv[i], pred);
            for (int y = y0 / 2; y < (y0 + h) / 2; ++y)
                std::memcpy(cur.at(p, 8 * mx + x0 / 2, 8 * my + y), pred + y * kWin + x0 / 2, size_t(w / 2));
        }
    }
}

} // namespace svacenc
