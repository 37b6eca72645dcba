// Internals of the test-side encoder, shared by its parts: intra mode decision (intra.cpp),
// inter mode decision by cost (inter_mode.cpp), motion search and inter prediction
// (motion.cpp), inter residuals and their errors (residual.cpp; the transforms and quantisers
// are in kernels.cpp), rate control (rate_control.cpp), and the picture loop with its stream
// writing (encoder.cpp).
#ifndef SVACENC_ENCODER_STATE_H
#define SVACENC_ENCODER_STATE_H

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
namespace detail {

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
inline const uint8_t *sample_address(const uint8_t *plane, int x, int y, int stride)
{
    return reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(plane) +
                                             static_cast<uintptr_t>(intptr_t(y) * stride + x));
}

inline int ue_bits(uint32_t v)
{
    int n = 0;
    for (uint32_t x = v + 1; x > 1; x >>= 1)
        ++n;
    return 2 * n + 1;
}

inline int se_bits(int v) { return ue_bits(v > 0 ? 2u * uint32_t(v) - 1 : 2u * uint32_t(-v)); }

inline bool display_crop(int width, int padded_height, int *height)
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
inline CoefList vlc_pairs(const int16_t *levels, int count)
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

} // namespace detail

using namespace detail;

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
    int sad_lambda = 1;     // lambda() under rd_modes
    bool aec = false;

    Sps sps() const;
    Pps pps() const;

    // Rate control: the QP of the next picture; accounting of a coded one of bytes.
    int picture_qp(bool key) const;
    void account(bool key, size_t bytes);

    bool left(int mx) const { return mx > 0; }
    bool top(int my) const { return my > 0; }

    // ---- intra -------------------------------------------------------------------------

    // Luma block blk of a macroblock, n x n (8: raster order; 4: four in each 8x8 block).
    static void block_origin(int n, int blk, int *bx, int *by);

    // Neighbours of n x n luma block blk of macroblock (mx, my), read from the picture being
    // built, with the substitutions of missing samples a decoder makes.
    void gather_luma(int mx, int my, int n, int blk, int *t, int *l) const;

    void gather_chroma(int plane, int mx, int my, int *t, int *l) const;

    static int sad4(const uint8_t *a, int as, const uint8_t *b, int bs);

    static int sad8(const uint8_t *a, int as, const uint8_t *b, int bs);

    // Weight of a mode's or vector's bits against SAD: the quantiser step doubles every 7 QP.
    // Under rd_modes the square root of rd_lambda, which follows the step itself.
    int lambda() const { return cfg.rd_modes ? sad_lambda : std::max(1, (1 << (pic_qp / 7)) * 2); }
    // Weight of a bit against squared error at the picture's QP (rd_modes).
    double rd_lambda() const;

    // Kernel of luma mode `mode` for a block on the macroblock's left or top edge (no_left,
    // no_top: that neighbour is missing); -1 where the mode cannot be used.
    static int luma_kernel(int mode, bool no_left, bool no_top);

    // Chooses, predicts and codes the luma of an intra macroblock of kind mb.kind into cur:
    // modes, cbp (and cbp4x4), coefficient lists. Returns the cost of the chosen predictions
    // (SAD and weighted mode bits).
    int intra_luma(int mx, int my, const IntraModeMap &modes, IntraMb &mb);

    // Chooses, predicts and codes one intra macroblock into cur: I_8X8, or I_4X4 where its
    // predictions cost less. Fills the syntax values; returns the cost of the chosen
    // predictions.
    int intra_mb(int mx, int my, const IntraModeMap &modes, IntraMb &mb, int16_t levels[6][64]);

    // ---- inter -------------------------------------------------------------------------

    // Vector of the 8x8 block (bx, by) of macroblock (mx, my) in block units, bx and by -1..2
    // reaching into the neighbours: ref -1 missing (not decoded yet), -2 intra, 0 inter. own
    // holds the blocks of macroblock (mx, my) chosen so far (bit b of done: block b).
    struct Neighbour {
        int ref = -1;
        Mv mv;
    };
    Neighbour block_mv(int mx, int my, int bx, int by, const Mv *own, int done) const;

    // The vector a decoder predicts for the partition whose first 8x8 block is pos in the
    // decoder's neighbour grid (4 per row; row 0 above the macroblock, column 0 left of it),
    // with c_pos its upper-right neighbour. Reference 0 everywhere, so no scaling changes
    // the vectors; missing and intra neighbours count as zero in the median, and a missing
    // upper-right neighbour is replaced by the upper-left one.
    Mv predict_mv(int mx, int my, int pos, int c_pos, MvRule rule, const Mv *own, int done) const;
    Mv predict_mv(int mx, int my) const { return predict_mv(mx, my, 5, 3, kMedian, nullptr, 0); }

    // Luma SAD of the 16x16 macroblock against the reference at a whole-sample vector.
    int sad16(int mx, int my, int vx, int vy, int limit) const;

    // Luma prediction of macroblock (mx, my) at quarter-sample vector v into dst (stride kWin),
    // by the decoder's padding and interpolation kernels: samples outside the reference repeat
    // its border.
    void mc_luma(int mx, int my, Mv v, uint8_t *dst) const;

    // Chroma prediction of plane p (1, 2) at eighth-sample position into dst (stride kWin).
    void mc_chroma(int p, int mx, int my, Mv v, uint8_t *dst) const;

    // Luma SAD of the macroblock against its prediction at v.
    int sad_at(int mx, int my, Mv v) const;

    // Motion-compensated prediction of the macroblock into cur. A whole-sample vector that
    // stays inside the reference is a plain copy.
    void predict_inter(int mx, int my, Mv mv);

    // SAD of the prediction in cur, all three planes.
    int prediction_sad(int mx, int my) const;

    // The macroblock's samples in cur, to restore after trying another prediction.
    struct MbSamples {
        uint8_t y[256], c[2][64];
    };
    void save_mb(int mx, int my, MbSamples *m) const;
    void restore_mb(int mx, int my, const MbSamples &m);

    // Whether the prediction in cur equals the source: nothing to code.
    bool unchanged(int mx, int my) const { return cur.same_mb(src, mx, my); }

    bool same_source(int mx, int my) const { return last_src.same_mb(src, mx, my); }

    // Residual of the predicted macroblock in cur: cbp, levels, reconstruction in place.
    int inter_residual(int mx, int my, int16_t levels[6][64]);

    void apply_residual(int mx, int my, int cbp, int16_t levels[6][64]);

    // Whole-sample motion search around the candidates; returns the vector in quarter samples.
    Mv search(int mx, int my, Mv pred);

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
    int sad_region(int mx, int my, Mv v, int x0, int y0, int w, int h) const;

    // Vectors of a 16x8, 8x16 or 8x8 macroblock, each partition searched from start and its
    // own predicted vector in whole, then half and quarter samples. *cost: SAD plus weighted
    // bits.
    Motion search_split(int mx, int my, PKind kind, Mv start, int *cost) const;

    // The partitioning after *kind (P_16X16 first) among those that are on; false after the
    // last.
    bool next_shape(PKind *kind) const;

    // search_split, with the longer type's weighted bits added to *cost.
    Motion search_shape(int mx, int my, PKind kind, Mv mv, int *cost) const;

    // Shape of an inter macroblock by prediction SAD plus weighted vector and type bits:
    // P_16X16 at mv (whole-macroblock search from pred), or the best of the partitionings
    // that are on.
    Motion choose_shape(int mx, int my, Mv mv, Mv pred) const;

    // Prediction of a 16x8, 8x16 or 8x8 macroblock into cur: each partition's region of the
    // whole-macroblock prediction at its vector (interpolation is the same for every sample
    // whatever the block size).
    void predict_split(int mx, int my, const Motion &m);

    // ---- inter mode decision by cost (inter_mode.cpp; errors in residual.cpp) ----------

    // Syntax values of a coded P macroblock.
    static PMb p_syntax(const Motion &m, int cbp, const int16_t levels[6][64]);

    // Bits of a coded P macroblock in VLC mode, the skip run before it included (also the
    // estimate for arithmetic coding).
    static int mb_bits(const Motion &m, int cbp, const int16_t levels[6][64]);

    // Error of 8x8 block r (stride r_stride) of a plane against source block s: squared
    // error, plus for luma the weighted loss or gain of texture energy (cfg.psy).
    double block_error(int plane, const uint8_t *s, const uint8_t *r, int r_stride) const;

    // Error of the prediction in cur, all three planes.
    double prediction_error(int mx, int my) const;

    // Residual of the prediction in cur, each block kept only where the error it saves
    // outweighs lambda x its bits; cur is left as it was. *error: of the reconstruction, all
    // three planes. Returns the cbp.
    int rd_residual(int mx, int my, double lambda, int16_t levels[6][64], double *error) const;

    // Chooses skip (the predicted vector pred, nothing coded), P_16X16 or a partitioning by
    // cost; leaves the chosen prediction in cur. *cbp and levels: its residual. Returns its
    // cost.
    double decide_inter(int mx, int my, Mv pred, Motion *motion, int *cbp, int16_t levels[6][64]);

    // Cost of intra macroblock mb, coded into cur: its error plus lambda x its bits (the
    // coefficients' exactly, the modes' estimated).
    double intra_rd_cost(int mx, int my, const IntraMb &mb) const;

    // The decoder's output for the picture just coded, into cur. With the loop filter on, the
    // reference is the deblocked picture, which the decoder's own filter makes exactly.
    bool decode_into_cur(const std::vector<uint8_t> &stream);
};

} // namespace svacenc

#endif
