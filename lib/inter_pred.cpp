#include "inter_pred.h"

#include "decoder_ctx.h"
#include "mc.h"
#include "x86/mc_ssse3.h"

const uint8_t mc_shape_table[31] = {
    0,    0,    0,    0x43, 0x83, 0xC0, 0,    0xC0, 0,    0,    0,    // 0..10
    0x43, 0x83, 0x4C, 0x8C, 0x49, 0x89, 0x46, 0x86, 0x63, 0xA3,       // 11..20
    0x66, 0xA6, 0x53, 0x93, 0x59, 0x99, 0x73, 0xB3, 0xC0, 0xC0};      // 21..30

namespace {

struct mc_setup {
    int hbd;                  // 1 for 16-bit samples
    int row;                  // kernel row
    int c422;
    bool chroma;
    int32_t ls, cs;           // strides in bytes
    int32_t plane_w, plane_h; // luma plane in samples
    uint8_t *scratch;
};

// Address of plane sample (x, y), computed without pointer arithmetic outside the plane.
const uint8_t *sample_at(const uint8_t *plane, int64_t x, int64_t y, int32_t stride, int hbd)
{
    return reinterpret_cast<const uint8_t *>(reinterpret_cast<uintptr_t>(plane) +
                                             static_cast<uintptr_t>(x * (int64_t(1) << hbd) + y * stride));
}

// Whether a kernel reading rows y .. y + rows - 1 and bytes x * (1 << hbd) .. + bytes - 1 of each
// stays inside a w x h plane.
bool window_inside(int64_t x, int64_t y, int32_t bytes, int32_t rows, int64_t w, int64_t h, int hbd)
{
    return x >= 0 && y >= 0 && (x << hbd) + bytes <= (w << hbd) && y + rows <= h;
}

// One list's prediction of a 16x16 (n 16) or 8x8 (n 8) block whose luma origin lies at
// quarter-sample position (qx, qy) of the reference. cread is the bytes per row the chroma
// kernel reads.
void predict_block(const mc_setup &s, const frame_buf *ref, int n, uint8_t *const dst[3], int64_t qx, int64_t qy,
                   luma_mc_fn const *luma, chroma_mc_fn chroma, int32_t cread)
{
    const int64_t ix = qx >> 2, iy = qy >> 2;
    const int64_t mx = (qx & 7) ? 3 : 0, my = (qy & 7) ? 3 : 0;
    const bool pad = ix < mx || iy < my || ix + 16 > s.plane_w - mx || iy + 16 > s.plane_h - my;
    const pad_ref_fn pad_fn = pad_ref_block_funcs[s.hbd];
    const uint8_t *src = sample_at(ref->plane[0], ix, iy, s.ls, s.hbd);
    if (pad) {
        // The six-tap kernels read two samples before and three after the block.
        pad_fn(s.scratch, sample_at(ref->plane[0], ix - 2, iy - 2, s.ls, s.hbd), s.ls, s.ls, 21, 21,
               static_cast<int32_t>(ix - 2), static_cast<int32_t>(iy - 2), s.plane_w, s.plane_h);
        src = s.scratch + (2 << s.hbd) + 2 * s.ls;
    }
    luma[(qx & 3) + 4 * (qy & 3)](dst[0], src, s.ls);
    if (!s.chroma)
        return;
    const int64_t cx = qx >> 3, cy = qy >> (3 - s.c422);
    const int32_t fx = static_cast<int32_t>(qx & 7), fy = static_cast<int32_t>((qy * (1 << s.c422)) & 7);
    const int32_t cw = n / 2, ch = (n == 16 ? 16 : 8) >> (1 - s.c422);
    const int32_t cplane_w = s.plane_w / 2, cplane_h = s.plane_h >> (1 - s.c422);
    // The chroma kernels read h + 1 rows of cread bytes; the window is padded on its own since
    // it reaches past the luma one.
    const bool cpad = !window_inside(cx, cy, cread, ch + 1, cplane_w, cplane_h, s.hbd);
    for (int p = 1; p <= 2; ++p) {
        const uint8_t *csrc = sample_at(ref->plane[p], cx, cy, s.cs, s.hbd);
        if (cpad) {
            pad_fn(s.scratch, csrc, s.cs, s.cs, cw + 1, ch + 1, static_cast<int32_t>(cx), static_cast<int32_t>(cy),
                   cplane_w, cplane_h);
            csrc = s.scratch;
        }
        chroma(dst[p], csrc, s.cs, ch, fx, fy);
    }
}

// Bytes per row a chroma kernel of block width w reads from its source: whole vector loads for
// the SSSE3 kernels, w + 1 samples for the portable ones.
int32_t chroma_read_bytes(chroma_mc_fn fn, int32_t w, int hbd)
{
    if (fn == chroma_mc8_put_ssse3 || fn == chroma_mc8_avg_ssse3)
        return 16;
    if (fn == chroma_mc4_put_ssse3 || fn == chroma_mc4_avg_ssse3)
        return 8;
    return (w + 1) << hbd;
}

// A reference can serve the picture in decoding only with its geometry and every plane read.
bool reference_fits(const frame_buf *ref, const frame_buf *cur, const mc_setup &s)
{
    if (!ref || !cur || !ref->plane[0] || ref->format != cur->format || ref->width != cur->width ||
        ref->height != cur->height || ref->stride[0] != s.ls)
        return false;
    return !s.chroma || (ref->plane[1] && ref->plane[2] && ref->stride[1] == s.cs && ref->stride[2] == s.cs);
}

} // namespace

int inter_pred_mb(decoder_ctx *ctx, int32_t kind)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const mb_work &mb = ctx->mb;
    frame_buf *const refs[2] = {layer.ref0, layer.ref1};
    mc_setup s;
    s.hbd = ctx->bit_depth > 8 ? 1 : 0;
    s.row = ctx->bit_depth - 8;
    s.c422 = ctx->chroma_format == 2 ? 1 : 0;
    s.chroma = ctx->chroma_format >= 1;
    s.ls = layer.luma_stride;
    s.cs = layer.chroma_stride;
    s.plane_w = 16 * ctx->mb_width;
    s.plane_h = 16 * ctx->mb_height;
    s.scratch = ctx->pad_block_buf;
    if (!s.scratch)
        return -2;

    // The list-0 reference of an entry: -1 none, -2 refused.
    auto list0_ref = [&](int pos) {
        const int32_t r = mb.mv_cache[pos][MV_REF_IDX];
        if (r < 0)
            return -1;
        return r >= 2 || !reference_fits(refs[r], layer.cur, s) ? -2 : static_cast<int>(r);
    };

    const int kind_index = kind >= 0 && kind < 31 ? kind : 0;
    const bool whole = mc_shape_table[kind_index] == 0;
    const int n = whole ? 16 : 8;
    const int size = whole ? LUMA_MC_16X16 : LUMA_MC_8X8;
    const int cslot = whole ? CHROMA_MC_W8 : CHROMA_MC_W4;
    const int blocks = whole ? 1 : 4;
    for (int b = 0; b < blocks; ++b) {
        const int pos = 5 + (b & 1) + 4 * (b >> 1);
        const int r0 = list0_ref(pos);
        if (r0 == -2)
            return -2;
        const bool has1 = mb.mv_cache[pos + 12][MV_REF_IDX] >= 0;
        if (has1 && !reference_fits(refs[0], layer.cur, s))
            return -2;
        const int bx = 8 * (b & 1), by = 8 * (b >> 1);
        const int cby = by >> (1 - s.c422);
        const int64_t coff = int64_t((bx / 2) << s.hbd) + int64_t(cby) * s.cs;
        uint8_t *const dst[3] = {layer.mb_plane[0] + int64_t(bx << s.hbd) + int64_t(by) * s.ls,
                                 s.chroma ? layer.mb_plane[1] + coff : nullptr,
                                 s.chroma ? layer.mb_plane[2] + coff : nullptr};
        const int64_t qx0 = 64 * int64_t(layer.mb_x) + 4 * bx, qy0 = 64 * int64_t(layer.mb_y) + 4 * by;
        bool averaging = false;
        if (r0 >= 0) {
            const int16_t *e = mb.mv_cache[pos];
            const chroma_mc_fn chroma = chroma_mc_put_funcs[s.row][cslot];
            predict_block(s, refs[r0], n, dst, qx0 + e[MV_X], qy0 + e[MV_Y], luma_mc_put_funcs[s.row][size], chroma,
                          chroma_read_bytes(chroma, n / 2, s.hbd));
            averaging = true;
        }
        if (has1) {
            const int16_t *e = mb.mv_cache[pos + 12];
            const chroma_mc_fn chroma = (averaging ? chroma_mc_avg_funcs : chroma_mc_put_funcs)[s.row][cslot];
            predict_block(s, refs[0], n, dst, qx0 + e[MV_X], qy0 + e[MV_Y],
                          (averaging ? luma_mc_avg_funcs : luma_mc_put_funcs)[s.row][size], chroma,
                          chroma_read_bytes(chroma, n / 2, s.hbd));
        }
    }
    return 0;
}
