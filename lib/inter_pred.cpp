#include "inter_pred.h"

#include "decoder_ctx.h"
#include "mc.h"

const uint8_t mc_shape_table[31] = {
    0,    0,    0,    0x43, 0x83, 0xC0, 0,    0xC0, 0,    0,    0,    // 0..10
    0x43, 0x83, 0x4C, 0x8C, 0x49, 0x89, 0x46, 0x86, 0x63, 0xA3,       // 11..20
    0x66, 0xA6, 0x53, 0x93, 0x59, 0x99, 0x73, 0xB3, 0xC0, 0xC0};      // 21..30

namespace {

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

// Asks for the cache lines of `rows` rows of a reference window that starts at p and is at
// most 9 samples wide.
template <int rows, int last>
[[gnu::always_inline]] inline void prefetch_rows(const uint8_t *p, int32_t stride)
{
#pragma GCC unroll 21
    for (int r = 0; r < rows; ++r, p += stride) {
        __builtin_prefetch(p);
        __builtin_prefetch(p + last);
    }
}

// A reference can serve the picture in decoding only with its geometry and every plane read.
[[gnu::always_inline]] inline bool reference_fits(const frame_buf *ref, const frame_buf *cur, int32_t ls, int32_t cs, bool chroma)
{
    if (!ref || !cur || !ref->plane[0] || ref->format != cur->format || ref->width != cur->width ||
        ref->height != cur->height || ref->stride[0] != ls)
        return false;
    return !chroma || (ref->plane[1] && ref->plane[2] && ref->stride[1] == cs && ref->stride[2] == cs);
}

// One list-0 prediction of an N x N block (16 or 8) of an 8-bit 4:2:0 picture, at quarter-
// sample position (qx, qy) of a reference that fits, when its reference windows (luma six-tap
// and bilinear chroma) lie inside the w x h picture: two kernel calls. False, with nothing
// written, for any other case.
template <int N>
bool predict_inside(const frame_buf *ref, uint8_t *const dst[3], int64_t qx, int64_t qy, int32_t w, int32_t h,
                    int32_t ls, int32_t cs)
{
    const int64_t ix = qx >> 2, iy = qy >> 2;
    // Luma reads columns ix - 2 .. ix + N + 2 and rows iy - 2 .. iy + N + 2; chroma columns
    // ix / 2 .. ix / 2 + N / 2 of rows iy / 2 .. iy / 2 + N / 2. The plane sizes are even.
    if (ix < 3 || iy < 3 || ix + N + 3 > w || iy + N + 3 > h)
        return false;
    constexpr int luma_size = N == 16 ? LUMA_MC_16X16 : LUMA_MC_8X8;
    constexpr int chroma_width = N == 16 ? CHROMA_CBCR_W8 : CHROMA_CBCR_W4;
    const int64_t off = (qx >> 3) + (qy >> 3) * cs;
    // The chroma rows are asked for before the luma kernel runs, so that their misses overlap
    // its work.
    const uint8_t *luma = ref->plane[0] + ix + iy * ls;
    prefetch_rows<N + 5, N + 4>(luma - 2 - 2 * ls, ls);
    prefetch_rows<N / 2 + 1, N / 2>(ref->plane[1] + off, cs);
    prefetch_rows<N / 2 + 1, N / 2>(ref->plane[2] + off, cs);
    luma_mc_put_funcs[MC_ROW_8BIT][luma_size][(qx & 3) + 4 * (qy & 3)](dst[0], luma, ls);
    const int32_t fx = static_cast<int32_t>(qx & 7), fy = static_cast<int32_t>(qy & 7);
    chroma_mc_cbcr_put_funcs[MC_ROW_8BIT][chroma_width](dst[1], dst[2], ref->plane[1] + off, ref->plane[2] + off, cs,
                                                        N / 2, fx, fy);
    return true;
}

// The common macroblock: one list-0 vector for all of an 8-bit 4:2:0 macroblock whose
// reference windows lie inside the picture.
bool predict_whole_inside(const decoder_ctx *ctx, const layer_ctx &layer, const int16_t *e)
{
    const int32_t r = e[MV_REF_IDX];
    if (r < 0 || r >= 2)
        return false;
    const frame_buf *ref = r == 0 ? layer.ref0 : layer.ref1;
    const int32_t ls = layer.luma_stride, cs = layer.chroma_stride;
    if (!reference_fits(ref, layer.cur, ls, cs, true))
        return false;
    const int64_t qx = 64 * int64_t(layer.mb_x) + e[MV_X], qy = 64 * int64_t(layer.mb_y) + e[MV_Y];
    return predict_inside<16>(ref, layer.mb_plane, qx, qy, 16 * ctx->mb_width, 16 * ctx->mb_height, ls, cs);
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

int inter_pred_mb(decoder_ctx *ctx, int32_t kind)
{
    if (!ctx->pad_block_buf)
        return -2;
    const bool whole = mc_shape_table[kind >= 0 && kind < 31 ? kind : 0] == 0;
    if (ctx->bit_depth != 8 || ctx->chroma_format != 1)
        return predict_blocks<false>(ctx, whole);
    if (whole && ctx->mb.mv_cache[17][MV_REF_IDX] < 0 &&
        predict_whole_inside(ctx, ctx->layer[ctx->cur_layer], ctx->mb.mv_cache[5]))
        return 0;
    return predict_blocks<true>(ctx, whole);
}
