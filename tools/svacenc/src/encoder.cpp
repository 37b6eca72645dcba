#include "svacenc/encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "kernels.h"
#include "mc.h"
#include "svacdec.h"
#include "vlc_tables.h"
#include "svacwriter/aec_mb_writer.h"
#include "svacwriter/aec_writer.h"
#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/mb_writer.h"
#include "svacwriter/sec_writer.h"
#include "svacwriter/svac_writer.h"
#include "svacwriter/unit_encryptor.h"

namespace svacenc {

bool Yuv::allocate(int w, int h)
{
    if (w < 2 || h < 2 || w > 8192 || h > 8192 || (w | h) & 1)
        return false;
    width = w;
    height = h;
    data.assign(size_t(w) * h * 3 / 2, 0);
    return true;
}

size_t Yuv::offset(int p) const
{
    const size_t luma = size_t(width) * height;
    return p == 0 ? 0 : p == 1 ? luma : luma + luma / 4;
}

namespace {

using namespace svacwriter;
namespace k = kernels;

// Remaps of a luma or chroma mode when the left or upper macroblock is missing; -1: the mode
// cannot be used there.
const int8_t kLumaLeftRemap[8] = {0, -1, 6, -1, -1, 7, 6, 7};
const int8_t kLumaTopRemap[8] = {-1, 1, 5, -1, -1, 5, 7, 7};
const int8_t kChromaLeftRemap[7] = {5, -1, 2, -1, 6, 5, 6};
const int8_t kChromaTopRemap[7] = {4, 1, -1, -1, 4, 6, 6};

// Padded picture: planes of whole macroblocks.
struct Planes {
    int w = 0, h = 0;   // luma
    std::vector<uint8_t> p[3];

    void allocate(int lw, int lh)
    {
        w = lw;
        h = lh;
        p[0].assign(size_t(w) * h, 0);
        p[1].assign(size_t(w / 2) * (h / 2), 128);
        p[2].assign(size_t(w / 2) * (h / 2), 128);
    }
    int stride(int plane) const { return plane ? w / 2 : w; }
    int height(int plane) const { return plane ? h / 2 : h; }
    uint8_t *at(int plane, int x, int y) { return p[plane].data() + size_t(y) * stride(plane) + x; }
    const uint8_t *at(int plane, int x, int y) const { return p[plane].data() + size_t(y) * stride(plane) + x; }
    uint8_t clamped(int plane, int x, int y) const
    {
        x = std::min(std::max(x, 0), stride(plane) - 1);
        y = std::min(std::max(y, 0), height(plane) - 1);
        return *at(plane, x, y);
    }
    // Whether macroblock (mx, my) has the same samples in both pictures.
    bool same_mb(const Planes &o, int mx, int my) const
    {
        for (int y = 0; y < 16; ++y)
            if (std::memcmp(at(0, 16 * mx, 16 * my + y), o.at(0, 16 * mx, 16 * my + y), 16))
                return false;
        for (int p = 1; p <= 2; ++p)
            for (int y = 0; y < 8; ++y)
                if (std::memcmp(at(p, 8 * mx, 8 * my + y), o.at(p, 8 * mx, 8 * my + y), 8))
                    return false;
        return true;
    }
};

struct Mv {
    int x = 0, y = 0;   // quarter samples
    bool operator==(const Mv &o) const { return x == o.x && y == o.y; }
    bool operator!=(const Mv &o) const { return !(*this == o); }
};

// What later macroblocks need of a coded one.
struct MbInfo {
    bool intra = false;
    Mv mv[4];           // per 8x8 block, raster order
    int cbp = 0;
};

// Rules of vector prediction: the median, or one neighbour first when it is inter.
enum MvRule { kMedian, kPreferA, kPreferB, kPreferC };

// Row stride of the motion-compensation windows: room for the widest vector loads.
constexpr int kWin = 64;

// Address that sample (x, y) of a plane would have, also for a sample outside it.
const uint8_t *sample_address(const uint8_t *plane, int x, int y, int stride)
{
    return reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(plane) +
                                             static_cast<uintptr_t>(intptr_t(y) * stride + x));
}

int ue_bits(uint32_t v)
{
    int n = 0;
    for (uint32_t x = v + 1; x > 1; x >>= 1)
        ++n;
    return 2 * n + 1;
}

int se_bits(int v) { return ue_bits(v > 0 ? 2u * uint32_t(v) - 1 : 2u * uint32_t(-v)); }

bool display_crop(int width, int padded_height, int *height)
{
    struct Fix {
        int w, h, shown;
    };
    static const Fix kFixes[] = {{1920, 1088, 1080}, {1280, 736, 720}, {640, 368, 360}, {960, 544, 540}};
    for (const Fix &f : kFixes)
        if (f.w == width && f.h == padded_height) {
            *height = f.shown;
            return true;
        }
    *height = padded_height;
    return false;
}

// Coefficient pairs of a block's count levels (scan order), highest frequency first.
CoefList vlc_pairs(const int16_t *levels, int count)
{
    CoefList out;
    int prev = -1;
    for (int p = 0; p < count; ++p)
        if (levels[p]) {
            out.push_back(CoefPair{levels[p], uint32_t(p - prev)});
            prev = p;
        }
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace

struct Encoder::State {
    ~State()
    {
        if (decoder)
            ZQ_SVAC_Dec_Close(decoder);
    }

    Config cfg;
    std::string error;
    bool configured = false;
    int mbw = 0, mbh = 0;
    int shown_height = 0;
    Planes src, cur, ref;
    Yuv recon;
    int count = 0;          // pictures encoded
    int since_key = 0;      // pictures since the last key picture
    int idr_id = 0;
    int qp = 30;            // P-picture QP under rate control
    int64_t debt = 0;       // bits above the target so far
    int key_qp = 30;        // key-picture QP under rate control
    double key_bits = 0, p_bits = 0;
    bool have_ref = false;
    std::vector<MbInfo> info;
    // The last picture's source, and for each macroblock skipped with a zero vector the QP
    // plus one at which its residual vanished (0 otherwise): while its source stays the same
    // the residual is the same, and it vanishes at any QP not finer than that one.
    Planes last_src;
    std::vector<uint8_t> still;
    UnitEncryptor encryptor;
    // With the loop filter on: the decoder that makes the deblocked references.
    void *decoder = nullptr;

    // Per picture.
    int pic_qp = 0;
    bool aec = false;

    Sps sps() const
    {
        Sps s;
        s.profile = 0x11;
        s.level_idc = 0x20;
        s.mb_width = uint32_t(mbw);
        s.mb_height = uint32_t(mbh);
        return s;
    }
    Pps pps() const
    {
        Pps p;
        p.aec_flag = cfg.entropy == Entropy::kArithmetic;
        p.pic_init_qp = 26;
        p.loop_filter_disable_flag = !cfg.loop_filter;
        return p;
    }

    bool left(int mx) const { return mx > 0; }
    bool top(int my) const { return my > 0; }

    // ---- intra -------------------------------------------------------------------------

    // Luma block blk of a macroblock, n x n (8: raster order; 4: four in each 8x8 block).
    static void block_origin(int n, int blk, int *bx, int *by)
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

    // Neighbours of n x n luma block blk of macroblock (mx, my), read from the picture being
    // built, with the substitutions of missing samples a decoder makes.
    void gather_luma(int mx, int my, int n, int blk, int *t, int *l) const
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

    void gather_chroma(int plane, int mx, int my, int *t, int *l) const
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

    static int sad4(const uint8_t *a, int as, const uint8_t *b, int bs)
    {
        int s = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                s += std::abs(int(a[y * as + x]) - int(b[y * bs + x]));
        return s;
    }

    static int sad8(const uint8_t *a, int as, const uint8_t *b, int bs)
    {
        int s = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                s += std::abs(int(a[y * as + x]) - int(b[y * bs + x]));
        return s;
    }

    // Weight of a mode's or vector's bits against SAD: the quantiser step doubles every 7 QP.
    int lambda() const { return std::max(1, (1 << (pic_qp / 7)) * 2); }

    // Kernel of luma mode `mode` for a block on the macroblock's left or top edge (no_left,
    // no_top: that neighbour is missing); -1 where the mode cannot be used.
    static int luma_kernel(int mode, bool no_left, bool no_top)
    {
        int kernel = mode;
        if (no_left)
            kernel = kLumaLeftRemap[kernel];
        if (kernel >= 0 && no_top)
            kernel = kLumaTopRemap[kernel];
        return kernel;
    }

    // Chooses, predicts and codes the luma of an intra macroblock of kind mb.kind into cur:
    // modes, cbp (and cbp4x4), coefficient lists. Returns the cost of the chosen predictions
    // (SAD and weighted mode bits).
    int intra_luma(int mx, int my, const IntraModeMap &modes, IntraMb &mb)
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

    // Chooses, predicts and codes one intra macroblock into cur: I_8X8, or I_4X4 where its
    // predictions cost less. Fills the syntax values; returns the cost of the chosen
    // predictions.
    int intra_mb(int mx, int my, const IntraModeMap &modes, IntraMb &mb, int16_t levels[6][64])
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

    // ---- inter -------------------------------------------------------------------------

    // Vector of the 8x8 block (bx, by) of macroblock (mx, my) in block units, bx and by -1..2
    // reaching into the neighbours: ref -1 missing (not decoded yet), -2 intra, 0 inter. own
    // holds the blocks of macroblock (mx, my) chosen so far (bit b of done: block b).
    struct Neighbour {
        int ref = -1;
        Mv mv;
    };
    Neighbour block_mv(int mx, int my, int bx, int by, const Mv *own, int done) const
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

    // The vector a decoder predicts for the partition whose first 8x8 block is pos in the
    // decoder's neighbour grid (4 per row; row 0 above the macroblock, column 0 left of it),
    // with c_pos its upper-right neighbour. Reference 0 everywhere, so no scaling changes
    // the vectors; missing and intra neighbours count as zero in the median, and a missing
    // upper-right neighbour is replaced by the upper-left one.
    Mv predict_mv(int mx, int my, int pos, int c_pos, MvRule rule, const Mv *own, int done) const
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
    Mv predict_mv(int mx, int my) const { return predict_mv(mx, my, 5, 3, kMedian, nullptr, 0); }

    // Luma SAD of the 16x16 macroblock against the reference at a whole-sample vector.
    int sad16(int mx, int my, int vx, int vy, int limit) const
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

    // Luma prediction of macroblock (mx, my) at quarter-sample vector v into dst (stride kWin),
    // by the decoder's padding and interpolation kernels: samples outside the reference repeat
    // its border.
    void mc_luma(int mx, int my, Mv v, uint8_t *dst) const
    {
        alignas(16) uint8_t win[kWin * 24];
        const int x = 16 * mx + (v.x >> 2) - 2, y = 16 * my + (v.y >> 2) - 2;
        pad_ref_block_funcs[PAD_REF_8BIT](win, sample_address(ref.p[0].data(), x, y, ref.w), kWin, ref.w, 21, 21, x, y,
                                          ref.w, ref.h);
        luma_mc_put_funcs[MC_ROW_8BIT][LUMA_MC_16X16][(v.x & 3) + 4 * (v.y & 3)](dst, win + 2 + 2 * kWin, kWin);
    }

    // Chroma prediction of plane p (1, 2) at eighth-sample position into dst (stride kWin).
    void mc_chroma(int p, int mx, int my, Mv v, uint8_t *dst) const
    {
        alignas(16) uint8_t win[kWin * 12];
        const int qx = 64 * mx + v.x, qy = 64 * my + v.y;
        const int x = qx >> 3, y = qy >> 3;
        const int w = ref.w / 2, h = ref.h / 2;
        pad_ref_block_funcs[PAD_REF_8BIT](win, sample_address(ref.p[p].data(), x, y, w), kWin, w, 9, 9, x, y, w, h);
        chroma_mc_put_funcs[MC_ROW_8BIT][CHROMA_MC_W8](dst, win, kWin, 8, qx & 7, qy & 7);
    }

    // Luma SAD of the macroblock against its prediction at v.
    int sad_at(int mx, int my, Mv v) const
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

    // Motion-compensated prediction of the macroblock into cur. A whole-sample vector that
    // stays inside the reference is a plain copy.
    void predict_inter(int mx, int my, Mv mv)
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

    // SAD of the prediction in cur, all three planes.
    int prediction_sad(int mx, int my) const
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

    // The macroblock's samples in cur, to restore after trying another prediction.
    struct MbSamples {
        uint8_t y[256], c[2][64];
    };
    void save_mb(int mx, int my, MbSamples *m) const
    {
        for (int y = 0; y < 16; ++y)
            std::memcpy(m->y + 16 * y, cur.at(0, 16 * mx, 16 * my + y), 16);
        for (int p = 1; p <= 2; ++p)
            for (int y = 0; y < 8; ++y)
                std::memcpy(m->c[p - 1] + 8 * y, cur.at(p, 8 * mx, 8 * my + y), 8);
    }
    void restore_mb(int mx, int my, const MbSamples &m)
    {
        for (int y = 0; y < 16; ++y)
            std::memcpy(cur.at(0, 16 * mx, 16 * my + y), m.y + 16 * y, 16);
        for (int p = 1; p <= 2; ++p)
            for (int y = 0; y < 8; ++y)
                std::memcpy(cur.at(p, 8 * mx, 8 * my + y), m.c[p - 1] + 8 * y, 8);
    }

    // Whether the prediction in cur equals the source: nothing to code.
    bool unchanged(int mx, int my) const { return cur.same_mb(src, mx, my); }

    bool same_source(int mx, int my) const { return last_src.same_mb(src, mx, my); }

    // Residual of the predicted macroblock in cur: cbp, levels, reconstruction in place.
    int inter_residual(int mx, int my, int16_t levels[6][64])
    {
        const int qp = pic_qp, cqp = chroma_qp_table[qp];
        int cbp = 0;
        for (int b = 0; b < 4; ++b) {
            const int bx = 16 * mx + 8 * (b & 1), by = 16 * my + 8 * (b >> 1);
            uint8_t *dst = cur.at(0, bx, by);
            if (k::quantise8x8(src.at(0, bx, by), src.w, dst, cur.w, qp, cfg.inter_rounding, levels[b]))
                cbp |= 1 << b;
        }
        for (int p = 0; p < 2; ++p) {
            uint8_t *dst = cur.at(1 + p, 8 * mx, 8 * my);
            if (k::quantise8x8(src.at(1 + p, 8 * mx, 8 * my), src.w / 2, dst, cur.w / 2, cqp, cfg.inter_rounding, levels[4 + p]))
                cbp |= 16 << p;
        }
        return cbp;
    }

    void apply_residual(int mx, int my, int cbp, int16_t levels[6][64])
    {
        const int qp = pic_qp, cqp = chroma_qp_table[qp];
        for (int b = 0; b < 4; ++b)
            if (cbp & (1 << b))
                k::reconstruct8x8(levels[b], qp, cur.at(0, 16 * mx + 8 * (b & 1), 16 * my + 8 * (b >> 1)), cur.w);
        for (int p = 0; p < 2; ++p)
            if (cbp & (16 << p))
                k::reconstruct8x8(levels[4 + p], cqp, cur.at(1 + p, 8 * mx, 8 * my), cur.w / 2);
    }

    // Whole-sample motion search around the candidates; returns the vector in quarter samples.
    Mv search(int mx, int my, Mv pred)
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

    // Motion of a coded inter macroblock: its shape, and the vector and predicted vector of
    // each partition in coding order (16x8: upper, lower; 8x16: left, right).
    struct Motion {
        PKind kind = PKind::k16x16;
        Mv mv[4], pred[4];

        int parts() const { return kind == PKind::k16x16 ? 1 : kind == PKind::k8x8 ? 4 : 2; }
        int bits() const
        {
            int b = 0;
            for (int i = 0; i < parts(); ++i)
                b += se_bits(mv[i].x - pred[i].x) + se_bits(mv[i].y - pred[i].y);
            return b;
        }
        // Partition of each 8x8 block (raster order).
        int part_of(int block) const
        {
            return kind == PKind::k16x16 ? 0 : kind == PKind::k16x8 ? block >> 1 : kind == PKind::k8x16 ? block & 1 : block;
        }
        // Region of partition i in the macroblock's luma.
        void region(int i, int *x0, int *y0, int *w, int *h) const
        {
            if (kind == PKind::k8x8) {
                *x0 = 8 * (i & 1);
                *y0 = 8 * (i >> 1);
                *w = *h = 8;
                return;
            }
            const bool wide = kind != PKind::k8x16;
            *x0 = wide ? 0 : 8 * i;
            *y0 = wide ? 8 * i : 0;
            *w = wide ? 16 : 8;
            *h = kind == PKind::k16x8 ? 8 : 16;
        }
    };

    // Luma SAD over a region of the macroblock against its prediction at v.
    int sad_region(int mx, int my, Mv v, int x0, int y0, int w, int h) const
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

    // Vectors of a 16x8, 8x16 or 8x8 macroblock, each partition searched from start and its
    // own predicted vector in whole, then half and quarter samples. *cost: SAD plus weighted
    // bits.
    Motion search_split(int mx, int my, PKind kind, Mv start, int *cost) const
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

    // Prediction of a 16x8, 8x16 or 8x8 macroblock into cur: each partition's region of the
    // whole-macroblock prediction at its vector (interpolation is the same for every sample
    // whatever the block size).
    void predict_split(int mx, int my, const Motion &m)
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

    // The decoder's output for the picture just coded, into cur. With the loop filter on, the
    // reference is the deblocked picture, which the decoder's own filter makes exactly.
    bool decode_into_cur(const std::vector<uint8_t> &stream)
    {
        extension_data_record ext{};
        for (size_t offset = 0; offset < stream.size();) {
            const decode_input in{stream.data() + offset, int32_t(stream.size() - offset), 0};
            const int32_t used = ZQ_SVAC_Dec_Decode(decoder, &in, &ext);
            if (used < 0)
                return false;
            if (used == 0)
                break;
            offset += size_t(used);
        }
        output_frame_rec rec{};
        if (ZQ_SVACDEC_ZQ_SVAC_get_output_frame(decoder, &rec) != 0)
            return false;
        // The decoder's pictures hold whole macroblock rows, also where it crops the height.
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < cur.height(p); ++y)
                std::memcpy(cur.at(p, 0, y), rec.plane[p] + size_t(y) * size_t(rec.stride[p]), size_t(cur.stride(p)));
        ZQ_SVACDEC_ZQ_SVAC_release_output_frame(decoder, &rec);
        return true;
    }
};

Encoder::Encoder(const Config &config) : s_(new State)
{
    State &s = *s_;
    s.cfg = config;
    const Config &c = s.cfg;
    s.qp = std::min(std::max(c.qp, 0), 55);
    s.key_qp = s.qp;
    s.aec = c.entropy == Entropy::kArithmetic;
    if (c.width < 16 || c.height < 16 || c.width % 16 || c.width > 4096 || c.height > 4096) {
        s.error = "picture width must be a multiple of 16 (16..4096), height 16..4096";
        return;
    }
    s.mbw = c.width / 16;
    s.mbh = (c.height + 15) / 16;
    int shown = 0;
    const bool cropped = display_crop(c.width, 16 * s.mbh, &shown);
    if (shown != c.height || (c.height % 16 && !cropped)) {
        s.error = "picture height must be a multiple of 16 or one a decoder crops to";
        return;
    }
    if (c.gop < 1) {
        s.error = "gop must be at least 1";
        return;
    }
    if (c.min_qp < 0 || c.max_qp > 55 || c.min_qp > c.max_qp) {
        s.error = "QP limits must lie within 0..55";
        return;
    }
    if (c.cipher != 0 && !s.encryptor.set_key(c.cipher, c.key.data(), c.key.size())) {
        s.error = "cipher 1 takes an 8-byte key, cipher 2 a 16, 24 or 32-byte key";
        return;
    }
    // The decoder library's kernel tables serve motion compensation.
    static std::once_flag tables;
    std::call_once(tables, [] { ZQ_SVAC_Dec_Init(ZQ_SVAC_Dec_GetCPUCaps()); });
    if (c.loop_filter) {
        s.decoder = ZQ_SVAC_Dec_Open();
        if (!s.decoder || (c.cipher && ZQ_SVAC_Set_Key(s.decoder, c.key.data(), uint32_t(c.key.size())) != 0)) {
            s.error = "the decoder that makes the deblocked references did not open";
            return;
        }
    }
    s.shown_height = shown;
    s.src.allocate(16 * s.mbw, 16 * s.mbh);
    s.cur.allocate(16 * s.mbw, 16 * s.mbh);
    s.ref.allocate(16 * s.mbw, 16 * s.mbh);
    s.last_src.allocate(16 * s.mbw, 16 * s.mbh);
    s.info.assign(size_t(s.mbw) * s.mbh, MbInfo());
    s.still.assign(size_t(s.mbw) * s.mbh, 0);
    s.configured = true;
}

Encoder::~Encoder() = default;

bool Encoder::ok() const { return s_->configured; }
const std::string &Encoder::error() const { return s_->error; }
const Yuv &Encoder::reconstruction() const { return s_->recon; }
int Encoder::pictures() const { return s_->count; }

bool Encoder::encode(const Yuv &picture, Coded *out, bool force_key)
{
    State &s = *s_;
    if (!ok())
        return false;
    if (picture.width != s.cfg.width || picture.height != s.cfg.height ||
        picture.data.size() != size_t(picture.width) * picture.height * 3 / 2) {
        s.error = "picture size differs from the configured size";
        return false;
    }
    // Source into whole macroblocks, edges repeated.
    for (int p = 0; p < 3; ++p) {
        const int w = picture.stride(p), h = picture.rows(p);
        for (int y = 0; y < s.src.height(p); ++y) {
            const uint8_t *row = picture.plane(p) + size_t(std::min(y, h - 1)) * w;
            uint8_t *d = s.src.at(p, 0, y);
            std::memcpy(d, row, size_t(w));
            for (int x = w; x < s.src.stride(p); ++x)
                d[x] = row[w - 1];
        }
    }

    const bool key = force_key || !s.have_ref || s.since_key >= s.cfg.gop || s.cfg.gop == 1;
    if (key)
        s.since_key = 0;
    const int frame_num = s.since_key & 255;
    s.pic_qp = key ? s.key_qp : s.qp;
    s.pic_qp = std::min(std::max(s.pic_qp, s.cfg.min_qp), s.cfg.max_qp);
    if (s.cfg.target_bits <= 0)
        s.pic_qp = std::min(std::max(s.cfg.qp, 0), 55);

    const Sps sps = s.sps();
    const Pps pps = s.pps();
    std::vector<NalUnit> units;
    if (key) {
        if (s.cfg.cipher) {
            SecParamSet sec;
            sec.encryption_flag = true;
            sec.encryption_type = s.cfg.cipher;
            units.push_back(sec_param_set_unit(sec));
        }
        units.push_back(sps_unit(sps));
        units.push_back(pps_unit(pps, sps));
    }

    SliceHeader sh;
    sh.pps_id = 0;
    sh.frame_num = uint32_t(frame_num);
    sh.idr_pic_id = uint32_t(s.idr_id & 0xFFFF);
    sh.first_mb_in_slice = 0;
    sh.slice_type = key ? kSliceI : kSliceP;
    sh.single_ref_flag = true;
    sh.fixed_slice_qp = true;
    sh.slice_qp_delta = s.pic_qp - int(pps.pic_init_qp);
    const uint32_t nal_type = key ? kNalIdrBase : kNalSliceBase;

    BitWriter w;
    write_slice_header(w, sh, sps, pps, nal_type);
    if (s.aec)
        w.align_zero();
    MbLayerParams intra_params;
    intra_params.type_offset = key ? 0 : 4;
    PLayerParams p_params;
    p_params.single_ref = true;
    AecPictureState aec_picture(s.aec ? uint32_t(s.mbw) : 0, s.aec ? uint32_t(s.mbh) : 0);
    AecSliceWriter aec(aec_picture, intra_params, key ? AecPictureKind::kI : AecPictureKind::kP, true);

    const int total = s.mbw * s.mbh;
    IntraModeMap modes(uint32_t(s.mbw), uint32_t(s.mbh));
    // An inter macroblock leaves mode 2 for the intra mode prediction of its neighbours.
    IntraMb inter_modes;
    inter_modes.kind = IntraKind::k4x4;
    std::fill(std::begin(inter_modes.luma_modes), std::end(inter_modes.luma_modes), 2);
    const int lam = s.lambda();
    int16_t levels[6][64], intra_levels[6][64];
    Coded coded;
    int run = 0;
    for (int addr = 0; addr < total; ++addr) {
        const int mx = addr % s.mbw, my = addr / s.mbw;
        MbInfo &mi = s.info[size_t(addr)];
        const bool L = mx > 0, T = my > 0;
        const int32_t avail = (L ? 1 : 0) | (T ? 2 : 0);
        auto put_intra = [&](const IntraMb &mb) {
            mi = MbInfo();
            mi.intra = true;
            mi.cbp = int(mb.cbp);
            s.still[size_t(addr)] = 0;
            ++(mb.kind == IntraKind::k4x4 ? coded.intra4x4 : coded.intra8x8);
            if (s.aec)
                return aec.intra(uint32_t(addr), avail, mb, modes);
            if (!key) {
                write_skip_run(w, uint32_t(run));
                run = 0;
            }
            return write_intra_mb(w, mb, intra_params, modes, uint32_t(mx), uint32_t(my), L, T);
        };
        if (key) {
            IntraMb mb;
            s.intra_mb(mx, my, modes, mb, levels);
            if (!put_intra(mb))
                break;
            continue;
        }

        // P macroblock: skipped when the predicted vector leaves nothing to code.
        const Mv pred = s.predict_mv(mx, my);
        s.predict_inter(mx, my, pred);
        const bool still = s.still[size_t(addr)] && s.pic_qp + 1 >= s.still[size_t(addr)] && pred == Mv{} &&
                           s.same_source(mx, my);
        int cbp = still || s.unchanged(mx, my) ? 0 : s.inter_residual(mx, my, levels);
        State::Motion motion;
        motion.mv[0] = motion.pred[0] = pred;
        if (cbp) {
            const Mv mv = s.search(mx, my, pred);
            motion.mv[0] = mv;
            int best = s.cfg.partitions ? s.sad_at(mx, my, mv) + lam * motion.bits() : 0;
            for (PKind kind : {PKind::k16x8, PKind::k8x16, PKind::k8x8}) {
                if (!s.cfg.partitions || (kind == PKind::k8x8 && !s.cfg.partitions8x8))
                    break;
                int cost;
                const State::Motion split = s.search_split(mx, my, kind, mv, &cost);
                // More vectors and a longer type.
                const int extra = (kind == PKind::k8x8 ? 4 : 2) * lam;
                if (cost + extra < best) {
                    best = cost + extra;
                    motion = split;
                }
            }
            if (motion.kind != PKind::k16x16) {
                s.predict_split(mx, my, motion);
                cbp = s.inter_residual(mx, my, levels);
            } else if (mv != pred) {
                s.predict_inter(mx, my, mv);
                cbp = s.inter_residual(mx, my, levels);
            }
        }
        const Mv mv = motion.mv[0];
        const bool skip = motion.kind == PKind::k16x16 && mv == pred && cbp == 0;
        // Intra where its prediction costs less; a coded intra type takes a few more bits, and
        // its modes at least one each.
        const int inter_cost = skip || !s.cfg.intra_in_p ? 0 : s.prediction_sad(mx, my) + lam * (motion.bits() + 1);
        if (inter_cost > 9 * lam) {
            State::MbSamples inter_pred;
            s.save_mb(mx, my, &inter_pred);
            IntraMb mb;
            const int intra_cost = s.intra_mb(mx, my, modes, mb, intra_levels) + 4 * lam;
            if (intra_cost < inter_cost) {
                if (!put_intra(mb))
                    break;
                continue;
            }
            s.restore_mb(mx, my, inter_pred);
        }
        modes.store(uint32_t(mx), uint32_t(my), inter_modes);
        mi = MbInfo();
        for (int b = 0; b < 4; ++b)
            mi.mv[b] = motion.mv[motion.part_of(b)];
        if (!still)
            s.still[size_t(addr)] = skip && mv == Mv{} ? uint8_t(s.pic_qp + 1) : 0;
        if (skip) {
            ++coded.skipped;
            ++run;
            if (s.aec)
                aec.skip(uint32_t(addr), avail);
            continue;
        }
        s.apply_residual(mx, my, cbp, levels);
        mi.cbp = cbp;
        ++coded.inter;
        coded.partitioned += motion.kind != PKind::k16x16;
        coded.partitioned8x8 += motion.kind == PKind::k8x8;
        bool fractional = false;
        PMb mb;
        mb.kind = motion.kind;
        for (int i = 0; i < motion.parts(); ++i) {
            mb.mvd[i][0] = motion.mv[i].x - motion.pred[i].x;
            mb.mvd[i][1] = motion.mv[i].y - motion.pred[i].y;
            fractional |= ((motion.mv[i].x | motion.mv[i].y) & 3) != 0;
        }
        coded.fractional += fractional;
        mb.cbp = uint32_t(cbp);
        for (int b = 0; b < 4; ++b)
            if (cbp & (1 << b))
                mb.luma[b] = vlc_pairs(levels[b], 64);
        for (int p = 0; p < 2; ++p)
            if (cbp & (16 << p))
                mb.chroma[p] = vlc_pairs(levels[4 + p], 64);
        if (s.aec) {
            if (!aec.p(uint32_t(addr), avail, mb))
                break;
            continue;
        }
        write_skip_run(w, uint32_t(run));
        run = 0;
        if (!write_p_mb(w, mb, p_params))
            break;
    }
    if (!s.aec && run > 0)
        write_skip_run(w, uint32_t(run));
    if (s.aec)
        aec.finish(w);
    // A picture that fails is not a reference: what its macroblocks noted goes too.
    auto fail = [&s](const std::string &message) {
        s.error = message;
        std::fill(s.still.begin(), s.still.end(), uint8_t(0));
        return false;
    };
    if (!w.ok())
        return fail("slice: " + w.error());
    NalUnit slice = finish_unit(nal_header(nal_type), w);
    if (s.cfg.cipher && !s.encryptor.encrypt(slice))
        return fail("slice encryption failed: " + slice.error);
    units.push_back(std::move(slice));

    if (!concat_units(units, &coded.stream))
        return fail("a unit could not be written");
    coded.key = key;
    coded.qp = s.pic_qp;
    if (s.decoder && !s.decode_into_cur(coded.stream)) {
        // The decoder's state is unknown: the next picture starts afresh.
        s.have_ref = false;
        return fail("the decoder refused the picture");
    }

    // Rate control: each picture type has its QP and its share of a group's bits, the key
    // picture's share from the ratio of key to P-picture bits seen so far; each QP moves
    // towards its share by half the logarithmic error, corrected by the debt of the stream.
    if (s.cfg.target_bits > 0) {
        const double bits = double(coded.stream.size()) * 8;
        const double target = s.cfg.target_bits;
        s.debt += int64_t(bits - target);
        if (key)
            s.key_bits = bits;
        else
            s.p_bits = s.p_bits > 0 ? 0.8 * s.p_bits + 0.2 * bits : bits;
        const double ratio = s.key_bits > 0 && s.p_bits > 0 ? std::min(std::max(s.key_bits / s.p_bits, 1.0), 40.0) : 8.0;
        const int gop = std::min(s.cfg.gop, 250);
        const double group = target * gop;
        const double share = key ? group * ratio / (ratio + gop - 1) : group / (ratio + gop - 1);
        const double correction = std::min(std::max(1.0 - double(s.debt) / (2 * group), 0.5), 1.5);
        const double error = std::log2(bits / std::max(1.0, share * correction));
        const int step = int(std::lround(std::min(std::max(3.5 * error, -4.0), 4.0)));
        int &qp = key ? s.key_qp : s.qp;
        qp = std::min(std::max(qp + step, s.cfg.min_qp), s.cfg.max_qp);
        if (s.debt > 4 * int64_t(group))
            s.debt = 4 * int64_t(group);
        if (s.debt < -4 * int64_t(group))
            s.debt = -4 * int64_t(group);
    }

    std::swap(s.cur, s.ref);
    std::swap(s.src, s.last_src);
    s.have_ref = true;
    if (key)
        ++s.idr_id;
    ++s.since_key;
    ++s.count;
    // What a decoder shows: the reference just made, cropped.
    if (s.recon.width != s.cfg.width || s.recon.height != s.shown_height)
        s.recon.allocate(s.cfg.width, s.shown_height);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < s.recon.rows(p); ++y)
            std::memcpy(s.recon.plane(p) + size_t(y) * s.recon.stride(p), s.ref.at(p, 0, y), size_t(s.recon.stride(p)));
    *out = std::move(coded);
    return true;
}

} // namespace svacenc
