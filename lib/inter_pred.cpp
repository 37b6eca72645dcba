#include "inter_pred.h"

#include "decoder_ctx.h"
#include "mc.h"

const uint8_t mc_shape_table[31] = {
    0,    0,    0,    0x43, 0x83, 0xC0, 0,    0xC0, 0,    0,    0,    // 0..10
    0x43, 0x83, 0x4C, 0x8C, 0x49, 0x89, 0x46, 0x86, 0x63, 0xA3,       // 11..20
    0x66, 0xA6, 0x53, 0x93, 0x59, 0x99, 0x73, 0xB3, 0xC0, 0xC0};      // 21..30

namespace {

// Macroblock kinds of coded P partitions.
enum { P_16X8 = 3, P_8X16, P_8X8 };

// What every prediction of one macroblock shares.
struct mc_setup {
    int hbd;                    // 1 for 16-bit samples
    int c422;
    bool chroma;
    int32_t ls, cs;             // strides in bytes
    int32_t plane_w, plane_h;   // luma plane in samples
    int32_t cplane_w, cplane_h; // chroma planes in samples
    uint8_t *scratch;
    pad_ref_fn pad;
};

// Address of plane sample (x, y), computed without pointer arithmetic outside the plane.
const uint8_t *sample_at(const uint8_t *plane, int64_t x, int64_t y, int32_t stride, int hbd)
{
    return reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(plane) +
                                             static_cast<uintptr_t>(x * (int64_t(1) << hbd) + y * stride));
}

// One list's kernels for a block size: the luma row of 16 positions and the both-plane chroma
// kernel.
struct mc_kernels {
    luma_mc_fn const *luma;
    chroma_mc_cbcr_fn chroma;
};

mc_kernels kernels_of(luma_mc_fn const (*luma)[N_LUMA_MC_SIZES][N_LUMA_MC_POSITIONS],
                      chroma_mc_cbcr_fn const (*chroma)[N_CHROMA_CBCR_WIDTHS], int row, bool whole)
{
    return {luma[row][whole ? LUMA_MC_16X16 : LUMA_MC_8X8], chroma[row][whole ? CHROMA_CBCR_W8 : CHROMA_CBCR_W4]};
}

// One list's prediction of a 16x16 (n 16) or 8x8 (n 8) block whose luma origin lies at
// quarter-sample position (qx, qy) of the reference. The reference window, n + 5 samples
// square, is copied with its borders repeated only when it reaches outside the picture.
inline void predict_block(const mc_setup &s, const frame_buf *ref, int n, uint8_t *const dst[3], int64_t qx,
                          int64_t qy, const mc_kernels &k)
{
    const int64_t ix = qx >> 2, iy = qy >> 2;
    // The six-tap kernels read two samples before and three after the block along a
    // fractional axis.
    const int64_t mx = (qx & 3) ? 3 : 0, my = (qy & 3) ? 3 : 0;
    const uint8_t *src = sample_at(ref->plane[0], ix, iy, s.ls, s.hbd);
    if (ix < mx || iy < my || ix + n > s.plane_w - mx || iy + n > s.plane_h - my) {
        s.pad(s.scratch, sample_at(ref->plane[0], ix - 2, iy - 2, s.ls, s.hbd), s.ls, s.ls, n + 5, n + 5,
              static_cast<int32_t>(ix - 2), static_cast<int32_t>(iy - 2), s.plane_w, s.plane_h);
        src = s.scratch + (2 << s.hbd) + 2 * s.ls;
    }
    k.luma[(qx & 3) + 4 * (qy & 3)](dst[0], src, s.ls);
    if (!s.chroma)
        return;
    const int64_t cx = qx >> 3, cy = qy >> (3 - s.c422);
    const int32_t fx = static_cast<int32_t>(qx & 7), fy = static_cast<int32_t>((qy * (1 << s.c422)) & 7);
    const int32_t ch = n >> (1 - s.c422);
    const int64_t off = cx * (int64_t(1) << s.hbd) + cy * s.cs;
    // The chroma kernels read w + 1 samples of h + 1 rows, w samples of h rows at a whole-sample
    // position; the window is padded on its own since it reaches past the luma one.
    const int32_t cw = n / 2, extra = (fx | fy) != 0 ? 1 : 0;
    if (cx >= 0 && cy >= 0 && cx + cw + extra <= s.cplane_w && cy + ch + extra <= s.cplane_h) {
        k.chroma(dst[1], dst[2], ref->plane[1] + off, ref->plane[2] + off, s.cs, ch, fx, fy);
        return;
    }
    // Cb padded at the start of the scratch area, Cr 24 chroma rows (fewer luma rows) below.
    uint8_t *const padded[2] = {s.scratch, s.scratch + 24 * s.cs};
    for (int p = 0; p < 2; ++p)
        s.pad(padded[p], sample_at(ref->plane[1 + p], cx, cy, s.cs, s.hbd), s.cs, s.cs, cw + 1, ch + 1,
              static_cast<int32_t>(cx), static_cast<int32_t>(cy), s.cplane_w, s.cplane_h);
    k.chroma(dst[1], dst[2], padded[0], padded[1], s.cs, ch, fx, fy);
}

// A reference can serve the picture in decoding only with its geometry and every plane read.
[[gnu::always_inline]] inline bool reference_fits(const frame_buf *ref, const frame_buf *cur, int32_t ls, int32_t cs, bool chroma)
{
    if (!ref || !cur || !ref->plane[0] || ref->format != cur->format || ref->width != cur->width ||
        ref->height != cur->height || ref->stride[0] != ls)
        return false;
    return !chroma || (ref->plane[1] && ref->plane[2] && ref->stride[1] == cs && ref->stride[2] == cs);
}

// Where the list-0 prediction of a W x H partition (16x16, 16x8, 8x16 or 8x8) of an 8-bit
// 4:2:0 picture reads its reference: luma at the output's top-left sample, chroma per plane.
struct part_source {
    const uint8_t *luma, *cb, *cr;
    int luma_pos;        // quarter-sample position 4 * dy + dx
    int32_t fx, fy;      // chroma fractions
};

// Locates the partition at quarter-sample position (qx, qy) of a reference that fits when its
// windows (luma six-tap and bilinear chroma) lie inside the w x h picture; false for a window
// that reaches outside.
template <int W, int H>
[[gnu::always_inline]] inline bool locate_inside(part_source &p, const frame_buf *ref, int64_t qx, int64_t qy,
                                                 int32_t w, int32_t h, int32_t ls, int32_t cs)
{
    const int64_t ix = qx >> 2, iy = qy >> 2;
    // Luma reads columns ix - 2 .. ix + W + 2 and rows iy - 2 .. iy + H + 2; chroma columns
    // ix / 2 .. ix / 2 + W / 2 of rows iy / 2 .. iy / 2 + H / 2. The plane sizes are even.
    if (ix < 3 || iy < 3 || ix + W + 3 > w || iy + H + 3 > h)
        return false;
    const int64_t off = (qx >> 3) + (qy >> 3) * cs;
    p.luma = ref->plane[0] + ix + iy * ls;
    p.cb = ref->plane[1] + off;
    p.cr = ref->plane[2] + off;
    p.luma_pos = static_cast<int>((qx & 3) + 4 * (qy & 3));
    p.fx = static_cast<int32_t>(qx & 7);
    p.fy = static_cast<int32_t>(qy & 7);
    return true;
}

// The prediction of a located partition: a 16x16 luma block or 8x8 ones, one chroma call for
// both planes.
template <int W, int H>
[[gnu::always_inline]] inline void predict_located(const part_source &p, uint8_t *y, uint8_t *cb, uint8_t *cr,
                                                   int32_t ls, int32_t cs)
{
    constexpr bool whole = W == 16 && H == 16;
    const luma_mc_fn luma = luma_mc_put_funcs[MC_ROW_8BIT][whole ? LUMA_MC_16X16 : LUMA_MC_8X8][p.luma_pos];
    luma(y, p.luma, ls);
    if (W == 16 && H == 8)
        luma(y + 8, p.luma + 8, ls);
    if (W == 8 && H == 16)
        luma(y + 8 * ls, p.luma + 8 * ls, ls);
    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][W == 16 ? CHROMA_CBCR_W8 : CHROMA_CBCR_W4](cb, cr, p.cb, p.cr, cs, H / 2,
                                                                                   p.fx, p.fy);
}

// One list-0 prediction of an N x N block (16 or 8) of an 8-bit 4:2:0 picture, at quarter-
// sample position (qx, qy) of a reference that fits, when its reference windows lie inside the
// w x h picture. False, with nothing written, for any other case.
template <int N>
bool predict_inside(const frame_buf *ref, uint8_t *const dst[3], int64_t qx, int64_t qy, int32_t w, int32_t h,
                    int32_t ls, int32_t cs)
{
    part_source p;
    if (!locate_inside<N, N>(p, ref, qx, qy, w, h, ls, cs))
        return false;
    predict_located<N, N>(p, dst[0], dst[1], dst[2], ls, cs);
    return true;
}

// The common P macroblock: each W x H partition of an 8-bit 4:2:0 macroblock with one list-0
// vector whose reference windows lie inside the picture. Every partition is located before
// the first kernel runs. False, with nothing written, for any other case.
template <int W, int H>
bool predict_parts_inside(const decoder_ctx *ctx, const layer_ctx &layer)
{
    constexpr int count = 256 / (W * H);
    const mb_work &mb = ctx->mb;
    const int32_t ls = layer.luma_stride, cs = layer.chroma_stride;
    const int32_t w = 16 * ctx->mb_width, h = 16 * ctx->mb_height;
    const frame_buf *const refs[2] = {layer.ref0, layer.ref1};
    part_source parts[count];
#pragma GCC unroll 4
    for (int i = 0; i < count; ++i) {
        // Cache positions 5, 6, 9, 10 for blocks across, then down.
        const int bx = W == 16 ? 0 : 8 * (i & 1), by = H == 16 ? 0 : 8 * (W == 16 ? i : i >> 1);
        const int pos = 5 + bx / 8 + 4 * (by / 8);
        const int16_t *e = mb.mv_cache[pos];
        const int32_t r = e[MV_REF_IDX];
        if (r < 0 || r >= 2 || mb.mv_cache[pos + 12][MV_REF_IDX] >= 0 || !((layer.refs_fit >> r) & 1))
            return false;
        const int64_t qx = 64 * int64_t(layer.mb_x) + 4 * bx + e[MV_X];
        const int64_t qy = 64 * int64_t(layer.mb_y) + 4 * by + e[MV_Y];
        if (!locate_inside<W, H>(parts[i], refs[r], qx, qy, w, h, ls, cs))
            return false;
    }
#pragma GCC unroll 4
    for (int i = 0; i < count; ++i) {
        const int bx = W == 16 ? 0 : 8 * (i & 1), by = H == 16 ? 0 : 8 * (W == 16 ? i : i >> 1);
        const int64_t coff = bx / 2 + int64_t(by / 2) * cs;
        predict_located<W, H>(parts[i], layer.mb_plane[0] + bx + int64_t(by) * ls, layer.mb_plane[1] + coff,
                              layer.mb_plane[2] + coff, ls, cs);
    }
    return true;
}

// Any macroblock: the list-0 and list-1 predictions of each 16x16 or 8x8 block. COMMON: an
// 8-bit 4:2:0 picture, whose sample layout the compiler then folds into the block offsets;
// list-0 blocks of those take the short way when they lie inside.
template <bool COMMON>
[[gnu::noinline]] int predict_blocks(decoder_ctx *ctx, bool whole)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const mb_work &mb = ctx->mb;
    mc_setup s;
    s.scratch = ctx->pad_block_buf;
    s.hbd = COMMON ? 0 : ctx->bit_depth > 8 ? 1 : 0;
    s.c422 = COMMON ? 0 : ctx->chroma_format == 2 ? 1 : 0;
    s.chroma = COMMON || ctx->chroma_format >= 1;
    s.ls = layer.luma_stride;
    s.cs = layer.chroma_stride;
    s.plane_w = 16 * ctx->mb_width;
    s.plane_h = 16 * ctx->mb_height;
    s.cplane_w = s.plane_w / 2;
    s.cplane_h = s.plane_h >> (1 - s.c422);
    s.pad = pad_ref_block_funcs[s.hbd];

    // Whether each reference may be read: -1 not asked yet.
    frame_buf *const refs[2] = {layer.ref0, layer.ref1};
    int fits[2] = {-1, -1};
    auto usable = [&](int r) {
        if (fits[r] < 0)
            fits[r] = reference_fits(refs[r], layer.cur, s.ls, s.cs, s.chroma) ? 1 : 0;
        return fits[r] != 0;
    };

    const int row = COMMON ? MC_ROW_8BIT : ctx->bit_depth - 8;
    const mc_kernels put = kernels_of(luma_mc_put_funcs, chroma_mc_cbcr_put_funcs, row, whole);
    const int n = whole ? 16 : 8;
    const int blocks = whole ? 1 : 4;
    const int64_t qx_mb = 64 * int64_t(layer.mb_x), qy_mb = 64 * int64_t(layer.mb_y);
    for (int b = 0; b < blocks; ++b) {
        const int pos = 5 + (b & 1) + 4 * (b >> 1);
        const int16_t *e0 = mb.mv_cache[pos], *e1 = mb.mv_cache[pos + 12];
        const int32_t r0 = e0[MV_REF_IDX];
        if (r0 >= 0 && (r0 >= 2 || !usable(r0)))
            return -2;
        const bool has1 = e1[MV_REF_IDX] >= 0;
        if (has1 && !usable(0))
            return -2;
        const int bx = 8 * (b & 1), by = 8 * (b >> 1);
        const int64_t coff = int64_t((bx / 2) << s.hbd) + int64_t(by >> (1 - s.c422)) * s.cs;
        uint8_t *const dst[3] = {layer.mb_plane[0] + int64_t(bx << s.hbd) + int64_t(by) * s.ls,
                                 s.chroma ? layer.mb_plane[1] + coff : nullptr,
                                 s.chroma ? layer.mb_plane[2] + coff : nullptr};
        const int64_t qx0 = qx_mb + 4 * bx, qy0 = qy_mb + 4 * by;
        if (r0 >= 0) {
            const int64_t qx = qx0 + e0[MV_X], qy = qy0 + e0[MV_Y];
            const bool inside =
                COMMON && !has1 &&
                (whole ? predict_inside<16>(refs[r0], dst, qx, qy, s.plane_w, s.plane_h, s.ls, s.cs)
                       : predict_inside<8>(refs[r0], dst, qx, qy, s.plane_w, s.plane_h, s.ls, s.cs));
            if (!inside)
                predict_block(s, refs[r0], n, dst, qx, qy, put);
        }
        if (has1) {
            const mc_kernels second =
                r0 >= 0 ? kernels_of(luma_mc_avg_funcs, chroma_mc_cbcr_avg_funcs, row, whole) : put;
            predict_block(s, refs[0], n, dst, qx0 + e1[MV_X], qy0 + e1[MV_Y], second);
        }
    }
    return 0;
}

} // namespace

void inter_pred_start_slice(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const bool chroma = ctx->chroma_format >= 1;
    layer.refs_fit = 0;
    for (int r = 0; r < 2; ++r)
        if (reference_fits(r == 0 ? layer.ref0 : layer.ref1, layer.cur, layer.luma_stride, layer.chroma_stride, chroma))
            layer.refs_fit |= static_cast<uint8_t>(1 << r);
}

int inter_pred_mb(decoder_ctx *ctx, int32_t kind)
{
    if (!ctx->pad_block_buf)
        return -2;
    const bool whole = mc_shape_table[kind >= 0 && kind < 31 ? kind : 0] == 0;
    if (ctx->bit_depth != 8 || ctx->chroma_format != 1)
        return predict_blocks<false>(ctx, whole);
    const layer_ctx &layer = ctx->layer[ctx->cur_layer];
    bool done;
    switch (kind) {
    case P_16X8:
        done = predict_parts_inside<16, 8>(ctx, layer);
        break;
    case P_8X16:
        done = predict_parts_inside<8, 16>(ctx, layer);
        break;
    case P_8X8:
        done = predict_parts_inside<8, 8>(ctx, layer);
        break;
    default:
        done = whole && predict_parts_inside<16, 16>(ctx, layer);
        break;
    }
    return done ? 0 : predict_blocks<true>(ctx, whole);
}
