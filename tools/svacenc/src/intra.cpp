// Intra mode decision: neighbours as a decoder substitutes them, the I_8X8 and I_4X4 modes and
// their residuals.
#include "encoder_state.h"

namespace svacenc {

void Encoder::State::block_origin(int n, int blk, int *bx, int *by)
{
    if (n == 8) {
        *bx = 8 * (blk & 1);
        *by = 8 * (blk >> 1);
        return;
    }
    const int q = blk >> 2, i = blk & 3;
    *bx = 8 * (q & 1) + 4 * (i & 1);
    *by = 8 * (q >> 1) + 4 * (i >> 1);
}

void Encoder::State::gather_luma(int mx, int my, int n, int blk, int *t, int *l) const
{
    const bool L = left(mx), T = top(my), TL = L && T, TR = T && mx + 1 < mbw;
    const bool small = n == 4;
    int bx, by;
    block_origin(n, blk, &bx, &by);
    const int ox = 16 * mx, oy = 16 * my;
    auto sample = [&](int dx, int dy) -> int {
        const int x = ox + dx, y = oy + dy;
        if (x < 0 || y < 0 || x >= cur.w || y >= cur.h)
            return 128;   // never used by an allowed mode
        return *cur.at(0, x, y);
    };
    // Whether the 4x4 cell (cx, cy) is decoded before block `blk`.
    auto ready = [&](int cx, int cy) {
        if (cy < 0) {
            if (cx < 0)
                return TL;
            if (cx < 4)
                return T;
            return cx < 8 && TR;
        }
        if (cx < 0)
            return L && cy < 4;
        if (cx >= 4 || cy >= 4)
            return false;
        const int rank = small ? ((cy >> 1) * 2 + (cx >> 1)) * 4 + (cy & 1) * 2 + (cx & 1) : (cy >> 1) * 2 + (cx >> 1);
        return rank < blk;
    };
    const int cx = bx >> 2, cy = by >> 2, cells = n / 4;
    for (int i = 0; i < n; ++i) {
        t[1 + i] = sample(bx + i, by - 1);
        l[1 + i] = sample(bx - 1, by + i);
    }
    const bool above_right = ready(cx + cells, cy - 1);
    const bool below_left = ready(cx - 1, cy + cells);
    for (int i = 0; i < n; ++i) {
        t[n + 1 + i] = above_right ? sample(bx + n + i, by - 1) : t[n];
        l[n + 1 + i] = below_left ? sample(bx - 1, by + n + i) : l[n];
    }
    for (int i = 2 * n + 1; i < k::kNeighbours; ++i) {
        t[i] = t[2 * n];
        l[i] = l[2 * n];
    }
    if (blk == 0) {
        int c;
        if (TL)
            c = sample(-1, -1);
        else if (L)
            c = l[1];
        else if (T)
            c = t[1];
        else
            c = 128;
        t[0] = l[0] = c;
    } else if (ready(cx - 1, cy - 1)) {
        t[0] = l[0] = sample(bx - 1, by - 1);
    } else {
        t[0] = t[1];
        l[0] = l[1];
    }
}

void Encoder::State::gather_chroma(int plane, int mx, int my, int *t, int *l) const
{
    const bool L = left(mx), T = top(my), TL = L && T, TR = T && mx + 1 < mbw;
    const int ox = 8 * mx, oy = 8 * my;
    for (int i = 1; i <= 8; ++i) {
        t[i] = T ? *cur.at(plane, ox + i - 1, oy - 1) : 128;
        l[i] = L ? *cur.at(plane, ox - 1, oy + i - 1) : 128;
    }
    t[9] = TR ? *cur.at(plane, ox + 8, oy - 1) : t[8];
    l[9] = l[8];
    int c;
    if (TL)
        c = *cur.at(plane, ox - 1, oy - 1);
    else if (T)
        c = t[1];
    else if (L)
        c = l[1];
    else
        c = 128;
    t[0] = l[0] = c;
    for (int i = 10; i < k::kNeighbours; ++i) {
        t[i] = t[9];
        l[i] = l[9];
    }
}

int Encoder::State::sad4(const uint8_t *a, int as, const uint8_t *b, int bs)
{
    int s = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            s += std::abs(int(a[y * as + x]) - int(b[y * bs + x]));
    return s;
}

int Encoder::State::sad8(const uint8_t *a, int as, const uint8_t *b, int bs)
{
    int s = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            s += std::abs(int(a[y * as + x]) - int(b[y * bs + x]));
    return s;
}

int Encoder::State::luma_kernel(int mode, bool no_left, bool no_top)
{
    int kernel = mode;
    if (no_left)
        kernel = kLumaLeftRemap[kernel];
    if (kernel >= 0 && no_top)
        kernel = kLumaTopRemap[kernel];
    return kernel;
}

int Encoder::State::intra_luma(int mx, int my, const IntraModeMap &modes, IntraMb &mb)
{
    const bool L = left(mx), T = top(my);
    const bool is8 = mb.kind == IntraKind::k8x8;
    const int n = is8 ? 8 : 4, blocks = is8 ? 4 : 16;
    const int qp = pic_qp;
    int t[k::kNeighbours], l[k::kNeighbours];
    uint8_t pred[64];
    int16_t levels[64];
    int total = 0;
    for (int blk = 0; blk < blocks; ++blk) {
        int ox, oy;
        block_origin(n, blk, &ox, &oy);
        const int bx = 16 * mx + ox, by = 16 * my + oy;
        const bool no_left = !L && ox == 0, no_top = !T && oy == 0;
        gather_luma(mx, my, n, blk, t, l);
        const int32_t predicted = modes.predict(uint32_t(mx), uint32_t(my), L, T, mb.kind, mb.luma_modes, blk);
        int best_mode = -1, best_cost = 0;
        for (int mode = 0; mode <= 4; ++mode) {
            const int kernel = luma_kernel(mode, no_left, no_top);
            if (kernel < 0)
                continue;
            int cost = lambda() * (mode == predicted ? 1 : 3);
            if (is8) {
                k::predict_luma8x8(kernel, t, l, pred, 8);
                cost += sad8(src.at(0, bx, by), src.w, pred, 8);
            } else {
                k::predict_luma4x4(kernel, t, l, pred, 4);
                cost += sad4(src.at(0, bx, by), src.w, pred, 4);
            }
            if (best_mode < 0 || cost < best_cost) {
                best_mode = mode;
                best_cost = cost;
            }
        }
        total += best_cost;
        const int kernel = luma_kernel(best_mode, no_left, no_top);
        mb.luma_modes[blk] = best_mode;
        uint8_t *dst = cur.at(0, bx, by);
        if (is8) {
            k::predict_luma8x8(kernel, t, l, dst, cur.w);
            if (k::quantise8x8(src.at(0, bx, by), src.w, dst, cur.w, qp, 1.0f / 3, levels)) {
                mb.cbp |= 1u << blk;
                k::reconstruct8x8(levels, qp, dst, cur.w);
                mb.luma[blk] = vlc_pairs(levels, 64);
            }
        } else {
            k::predict_luma4x4(kernel, t, l, dst, cur.w);
            if (k::quantise4x4(src.at(0, bx, by), src.w, dst, cur.w, qp, 1.0f / 3, levels)) {
                mb.cbp |= 1u << (blk >> 2);
                mb.cbp4x4[blk >> 2] |= uint8_t(1u << (blk & 3));
                k::reconstruct4x4(levels, qp, dst, cur.w);
                mb.luma[blk] = vlc_pairs(levels, 16);
            }
        }
    }
    return total;
}

int Encoder::State::intra_mb(int mx, int my, const IntraModeMap &modes, IntraMb &mb, int16_t levels[6][64])
{
    const bool L = left(mx), T = top(my);
    mb = IntraMb();
    mb.kind = IntraKind::k8x8;
    int total = intra_luma(mx, my, modes, mb);
    // Each of the 16 I_4X4 modes costs at least one bit.
    if (cfg.intra4x4 && total > 16 * lambda()) {
        MbSamples i8x8;
        save_mb(mx, my, &i8x8);
        IntraMb mb4;
        mb4.kind = IntraKind::k4x4;
        const int cost4 = intra_luma(mx, my, modes, mb4);
        if (cost4 < total) {
            mb = mb4;
            total = cost4;
        } else {
            restore_mb(mx, my, i8x8);
        }
    }
    const int qp = pic_qp;
    const int cqp = chroma_qp_table[qp];
    uint8_t pred[64];
    // Chroma: one mode for both planes.
    int tc[2][k::kNeighbours], lc[2][k::kNeighbours];
    for (int p = 0; p < 2; ++p)
        gather_chroma(1 + p, mx, my, tc[p], lc[p]);
    int best_mode = -1, best_cost = 0, best_kernel = 0;
    for (int mode = 0; mode <= 3; ++mode) {
        int kernel = mode;
        if (!L)
            kernel = kChromaLeftRemap[kernel];
        if (kernel >= 0 && !T)
            kernel = kChromaTopRemap[kernel];
        if (kernel < 0)
            continue;
        int cost = lambda() * (mode == 0 ? 1 : 3);
        for (int p = 0; p < 2; ++p) {
            k::predict_chroma8x8(kernel, tc[p], lc[p], pred, 8);
            cost += sad8(src.at(1 + p, 8 * mx, 8 * my), src.w / 2, pred, 8);
        }
        if (best_mode < 0 || cost < best_cost) {
            best_mode = mode;
            best_cost = cost;
            best_kernel = kernel;
        }
    }
    mb.chroma_modes[0] = best_mode;
    total += best_cost;
    for (int p = 0; p < 2; ++p) {
        uint8_t *dst = cur.at(1 + p, 8 * mx, 8 * my);
        k::predict_chroma8x8(best_kernel, tc[p], lc[p], dst, cur.w / 2);
        if (k::quantise8x8(src.at(1 + p, 8 * mx, 8 * my), src.w / 2, dst, cur.w / 2, cqp, 1.0f / 3, levels[4 + p])) {
            mb.cbp |= 16 << p;
            k::reconstruct8x8(levels[4 + p], cqp, dst, cur.w / 2);
        }
    }
    for (int p = 0; p < 2; ++p)
        if (mb.cbp & (16 << p))
            mb.chroma[p] = vlc_pairs(levels[4 + p], 64);
    return total;
}

} // namespace svacenc
