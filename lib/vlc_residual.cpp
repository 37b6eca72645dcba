#include "vlc_residual.h"

#include <cstdio>
#include <cstring>

#include "aec.h"
#include "coef.h"
#include "decoder_ctx.h"
#include "idct.h"
#include "vlc_tables.h"

namespace {

// k-th order Exp-Golomb code number of at most 31 - k prefix bits: the value, or -1. Codes
// outside read_code's window.
__attribute__((noinline)) int32_t read_code_slow(bit_reader *br, int k)
{
    const int32_t u = read_ue(br);
    if (u < 0)
        return -1;
    if (static_cast<uint32_t>(u) >= (1u << (31 - k))) {
        std::printf("get_ue_code: value too larger\n");
        return -1;
    }
    if (k > 0)
        return static_cast<int32_t>((static_cast<uint32_t>(u) << k) + read_bits(br, k));
    return u;
}

// As read_code_slow; a short prefix and its suffix come from one window when both lie in its
// 25 sure bits.
__attribute__((noinline)) int32_t read_code_long(bit_reader *br, int k)
{
    const int32_t position = br->position;
    if (position <= br->length) {
        const uint32_t w = bit_window(br, position);
        const int len = ue_len_table[w >> 23];
        if (w >= (1u << 27) && len + k <= 25) {
            const uint32_t u = ue_value_table[w >> 23];
            br->position = position + len;
            if (k == 0)
                return static_cast<int32_t>(u);
            if (br->position > br->length) {
                br->data = br->end;
                return static_cast<int32_t>(u << k);
            }
            br->position += k;
            return static_cast<int32_t>((u << k) + ((w << len) >> (32 - k)));
        }
    }
    return read_code_slow(br, k);
}

// The reader's state held in locals across one residual block (stores of the block's words
// cannot alias it), written back by sync().
struct block_reader {
    bit_reader *br;
    const uint8_t *base;
    int32_t length, position;
    int32_t load_limit;   // largest position whose 8-byte window lies in the readable bytes;
                          // -1 once exhausted, so the window paths never see that state
    int32_t direct_limit;   // largest position at which a direct entry's code both comes from
                            // the window and ends within the payload
    bool exhausted;

    explicit block_reader(bit_reader *b)
        : br(b), base(b->base), length(b->length), position(b->position),
          load_limit(b->avail >= 8 && b->data != b->end ? 8 * (b->avail - 7) - 1 : -1),
          direct_limit(load_limit < length - VLC2D_DIRECT_BITS ? load_limit : length - VLC2D_DIRECT_BITS),
          exhausted(b->data == b->end)
    {
    }

    void sync() const
    {
        br->position = position;
        if (exhausted)
            br->data = br->end;
    }

    // The 64 bits at a position <= load_limit.
    uint64_t window_at(int32_t at) const
    {
        uint64_t w;
        std::memcpy(&w, base + (at >> 3), 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        w = __builtin_bswap64(w);
#endif
        return w << (at & 7);
    }

    uint64_t window() const { return window_at(position); }

    // As read_code_slow. A code of order k <= VLC2D_MAX_ORDER with z <= 15 leading zeros that
    // ends within the payload comes from one 64-bit window (at least 57 sure bits): its
    // 2z + 1 + k bits read as a number are the code number plus 2^k. The others go to
    // read_code_long.
    template <bool order_checked = false>
    __attribute__((always_inline)) int32_t read_code(int k)
    {
        if (position <= load_limit && (order_checked || static_cast<unsigned>(k) <= VLC2D_MAX_ORDER)) {
            const uint64_t w = window();
            const int len = 2 * __builtin_clzll(w | 1) + 1 + k;
            if (w >= (uint64_t{1} << 48) && position + len <= length) {
                position += len;
                return static_cast<int32_t>((w >> (64 - len)) - (uint64_t{1} << k));
            }
        }
        sync();
        const int32_t code = read_code_long(br, k);
        position = br->position;
        exhausted = br->data == br->end;
        if (exhausted)
            load_limit = direct_limit = -1;
        return code;
    }

    // A residual code of order k and, when it is an escape (VLC2D_CODES or above), the escape's
    // level code of order e behind it, both from w, the window at the position: false, having
    // read nothing, unless each has z <= 15 leading zeros and both end within the window's 57
    // sure bits and the payload.
    bool read_code_pair(uint64_t w, int k, int e, int32_t &code, int32_t &escape)
    {
        if (static_cast<unsigned>(e) > VLC2D_MAX_ORDER)
            return false;
        // Leading zeros counted up to 16, so that every shift stays defined.
        auto zeros = [](uint64_t x) { return __builtin_clzll(x | (uint64_t{1} << 47)); };
        const int len = 2 * zeros(w) + 1 + k;
        const uint32_t c = static_cast<uint32_t>(w >> (64 - len)) - (1u << k);
        const uint64_t v = w << len;
        const int escape_len = 2 * zeros(v) + 1 + e;
        const bool is_escape = c >= VLC2D_CODES;
        const int total = is_escape ? len + escape_len : len;
        if ((w < (uint64_t{1} << 48)) | (is_escape & (v < (uint64_t{1} << 48))) | (total > 57) |
            (position + total > length))
            return false;
        code = static_cast<int32_t>(c);
        escape = static_cast<int32_t>((v >> (64 - escape_len)) - (uint64_t{1} << e));
        position += total;
        return true;
    }
};

// Two words: the positions as the expansion walks them, the last word first. A step of 64
// lands on the same position, which then holds the first word's coefficient alone.
void idct8x8_two(decoder_ctx *ctx, uint8_t *dst, int32_t stride, int32_t scan)
{
    mb_work &mb = ctx->mb;
    const int pos1 = static_cast<int>((mb.pairs[1] & 0xFFFF) - 1) & 63;
    const int i1 = coef_index_8x8(mb.pairs[1], -1, scan), i0 = coef_index_8x8(mb.pairs[0], pos1, scan);
    if (i0 == i1)
        idct8x8_single_funcs[ctx->bit_depth - 8](dst, mb.coef, i0, stride);
    else
        idct8x8_pair_funcs[ctx->bit_depth - 8](dst, mb.coef, i0, i1, stride);
}

// The expansion and the transform of a block's count words; none leave the prediction as it is.
__attribute__((always_inline)) inline void block_add(decoder_ctx *ctx, int32_t qp, int32_t count, uint8_t *dst,
                                                     int32_t stride, bool small)
{
    if (count == 0)
        return;
    mb_work &mb = ctx->mb;
    const int32_t scan = ctx->pic_structure != -1 ? 1 : 0;
    const int size = small ? COEF_4X4 : COEF_8X8;
    coef_funcs[size](mb.pairs, mb.coef, qp, count, scan);
    if (coef_dc_only(mb.pairs, count, scan, small))
        idct_dc_add(dst, mb.coef[0], stride, small, ctx->bit_depth);
    else if (count == 1 && !small)
        idct8x8_single_funcs[ctx->bit_depth - 8](dst, mb.coef, coef_index_8x8(mb.pairs[0], -1, scan), stride);
    else if (count == 2 && !small)
        idct8x8_two(ctx, dst, stride, scan);
    else
        idct_funcs[small ? IDCT_4X4 : IDCT_8X8][ctx->bit_depth - 8](dst, mb.coef, stride);
}

// One form per block size, so that the limits of each are constants.
template <bool small>
int read_block(decoder_ctx *ctx, const vlc2d_table *t, int escape_order, int32_t qp, uint8_t *dst, int32_t stride)
{
    block_reader r(&ctx->bs);
    mb_work &mb = ctx->mb;
    const int max_pairs = small ? 17 : 65;
    const int max_advance = small ? 16 : 64;
    uint32_t *pairs = mb.pairs;
    int n = 0;
    while (n < max_pairs) {
        // Short codes other than escapes straight from the table's direct entries while their
        // window lies in the payload; the loop holds its state in locals. The next entry is
        // found from this code's window shifted past the code (at least 48 sure bits left)
        // while the window at the next position loads, so the loads do not chain.
        uint64_t here = 0;
        bool loaded = false;   // here holds the window at r.position
        {
            const int32_t limit = r.direct_limit;
            int32_t position = r.position;
            bool end = false;
            if (position <= limit) {
                here = r.window_at(position);
                uint64_t w = here;
                for (;;) {
                    const vlc2d_direct d = t->direct[w >> (64 - VLC2D_DIRECT_BITS)];
                    if (d.length == 0) {
                        loaded = true;
                        break;
                    }
                    position += d.length;
                    if (d.level == 0) {
                        end = true;
                        break;
                    }
                    pairs[n++] = static_cast<uint32_t>(d.advance) | (static_cast<uint32_t>(d.level) << 16);
                    t += d.step;
                    if (n == max_pairs || position > limit)
                        break;
                    w = here << d.length;
                    here = r.window_at(position);
                }
            }
            r.position = position;
            if (end || n == max_pairs)
                break;
        }
        // The same entries near the end of the payload (before it the loop above found a
        // longer code or an escape); the rest as a code number.
        if (r.position > r.direct_limit && r.position <= r.load_limit) {
            here = r.window();
            loaded = true;
            const vlc2d_direct &d = t->direct[here >> (64 - VLC2D_DIRECT_BITS)];
            if (d.length != 0 && r.position + d.length <= r.length) {
                r.position += d.length;
                if (d.level == 0)
                    break;
                pairs[n++] = static_cast<uint32_t>(d.advance) | (static_cast<uint32_t>(d.level) << 16);
                t += d.step;
                continue;
            }
        }
        int32_t code, esc = 0;
        if (!(loaded && r.read_code_pair(here, t->order, escape_order, code, esc))) {
            code = r.read_code<true>(t->order);
            if (code < 0) {
                r.sync();
                return -8;
            }
            if (code >= VLC2D_CODES && ((code - VLC2D_CODES) >> 1) < max_advance) {
                esc = r.read_code(escape_order);
                if (esc < 0) {
                    r.sync();
                    return -8;
                }
            }
        }
        if (code >= VLC2D_CODES + 2 * max_advance) {
            r.sync();
            std::printf("run %d is too large\n", ((code - VLC2D_CODES) >> 1) + 1);
            return -8;
        }
        // Table entries and escapes alike from the entry table; an escape's level and table
        // move are worked out for every entry and masked in, since which of them comes is data.
        const vlc2d_entry e = t->entries[code];
        if (e.advance == 0)
            break;
        const int64_t magnitude = static_cast<int64_t>(esc) + t->ref_level[e.advance];
        const int32_t escaped = static_cast<int32_t>(e.level * magnitude);
        const int32_t level = e.level ^ ((e.level ^ escaped) & e.escape);
        const int32_t advance = e.advance;
        t += e.step + (t->escape_step[magnitude < VLC2D_ESCAPE_STEPS - 1 ? magnitude : VLC2D_ESCAPE_STEPS - 1] &
                       e.escape);
        pairs[n++] = static_cast<uint32_t>(advance) | (static_cast<uint32_t>(level) << 16);
        if (r.exhausted) {
            r.sync();
            return -11;
        }
    }
    r.sync();
    block_add(ctx, qp, n, dst, stride, small);
    return 0;
}

} // namespace

void residual_block_add(decoder_ctx *ctx, int32_t qp, int32_t count, uint8_t *dst, int32_t stride, bool small)
{
    block_add(ctx, qp, count, dst, stride, small);
}

int vlc_read_coefs(decoder_ctx *ctx, const vlc2d_table *tables, int escape_order, int32_t qp, uint8_t *dst,
                   int32_t stride)
{
    return read_block<false>(ctx, tables, escape_order, qp, dst, stride);
}

int vlc_read_coefs2(decoder_ctx *ctx, const vlc2d_table *tables, int, int32_t qp, uint8_t *dst, int32_t stride)
{
    return read_block<true>(ctx, tables, 1, qp, dst, stride);
}

int32_t chroma_qp(const decoder_ctx *ctx, int32_t qp)
{
    const int32_t offset = 7 * (ctx->bit_depth - 8);
    int32_t q = qp - offset;
    q = q < 0 ? 0 : q > 55 ? 55 : q;
    return chroma_qp_table[q] + offset;
}

int32_t mb_qp_wrap(int64_t qp, int32_t bit_depth)
{
    const int64_t offset = 7 * (bit_depth - 8);
    int64_t q = qp - offset;
    if (q > 55 || q < 0)
        q = ((q % 56) + 56) % 56;
    return static_cast<int32_t>(offset + q);
}

int vlc_read_chroma_coefs(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const int32_t qp = chroma_qp(ctx, ctx->mb_qp);
    const int32_t cs = layer.chroma_stride;
    // Only the set bits are visited: which are set is data.
    for (uint32_t bits = ctx->mb.cbp & 0xF0; bits != 0; bits &= bits - 1) {
        const int bit = __builtin_ctz(bits);
        uint8_t *dst = layer.mb_plane[1 + (bit & 1)] + (bit >= 6 ? 8 * cs : 0);
        if (vlc_read_coefs(ctx, vlc2d_chroma_tables, 0, qp, dst, cs) != 0)
            return -8;
    }
    return 0;
}

int read_inter_cbp(decoder_ctx *ctx)
{
    mb_work &mb = ctx->mb;
    bit_reader *br = &ctx->bs;
    const int fmt = ctx->chroma_format;
    auto refuse = [](int32_t code) {
        std::printf("illegal inter cbp %d\n", code);
        return -8;
    };
    if (ctx->cur_pps->aec_flag) {
        const int32_t cbp = aec_read_cbp(ctx);
        if (cbp < 0 || cbp > 63)
            return refuse(cbp);
        mb.cbp = cbp;
        if (fmt == 2)
            mb.cbp += (aec_read_cbp(ctx) & 15) * 16;
        if (mb.cbp != 0 && !ctx->fixed_slice_qp)
            ctx->mb_qp = mb_qp_wrap(static_cast<int64_t>(ctx->mb_qp) + aec_read_mb_qp_delta(ctx), ctx->bit_depth);
        else
            aec_clear_last_qp_delta(ctx);
        return 0;
    }
    const int32_t code = read_ue(br);
    if (code < 0 || code > 63)
        return refuse(code);
    // The 4-bit map has 16 codes; a larger code has no pattern there.
    if (fmt != 1 && code > 15)
        return refuse(code);
    mb.cbp = fmt == 1 ? cbp_map_420[code][1] : cbp_map_4bit[code][1];
    if (fmt == 2) {
        const int32_t upper = read_ue(br);
        if (upper < 0 || upper > 15)
            return refuse(upper);
        mb.cbp += cbp_map_4bit[upper][1] << 4;
    }
    if (mb.cbp != 0 && !ctx->fixed_slice_qp)
        ctx->mb_qp = static_cast<int32_t>((static_cast<uint32_t>(ctx->mb_qp) + static_cast<uint32_t>(read_se(br))) & 63);
    return 0;
}

int read_b_residual(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    const mb_work &mb = ctx->mb;
    const int32_t ls = layer.luma_stride;
    if (ctx->cur_pps->aec_flag) {
        for (int i = 0; i < 4; ++i)
            if (mb.cbp & (1 << i))
                aec_read_coefs(ctx, ctx->mb_qp, layer.mb_plane[0] + layer.blk_offset[i], ls, 1);
        const int32_t qp = chroma_qp(ctx, ctx->mb_qp);
        const int32_t cs = layer.chroma_stride;
        for (int bit = 4; bit < 8 && ctx->chroma_format != 0; ++bit)
            if (mb.cbp & (1 << bit))
                aec_read_coefs(ctx, qp, layer.mb_plane[1 + (bit & 1)] + (bit >= 6 ? 8 * cs : 0), cs, 0);
        return 0;
    }
    for (uint32_t bits = mb.cbp & 15; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        if (vlc_read_coefs(ctx, vlc2d_inter_tables, 0, ctx->mb_qp, layer.mb_plane[0] + layer.blk_offset[i], ls) != 0)
            return -8;
    }
    return vlc_read_chroma_coefs(ctx) ? -8 : 0;
}
