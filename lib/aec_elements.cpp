// Arithmetic-mode macroblock-layer syntax elements: binarisations and context choices.
#include <cstdio>
#include <cstdlib>

#include "aec.h"
#include "decoder_ctx.h"

namespace {

enum aec_context_base {
    CTX_SKIP = 0,
    CTX_MB_TYPE = 2,
    CTX_MB_TYPE_B = 7,
    CTX_BASE_PRED = 17,
    CTX_PART_TYPE = 19,
    CTX_PRED_MODE_FLAG = 22,
    CTX_LUMA_MODE = 23,
    CTX_CHROMA_MODE = 26,
    CTX_REF_IDX = 30,
    CTX_MVD_X = 36,
    CTX_MVD_Y = 42,
    CTX_CBP_LUMA = 48,
    CTX_CBP_CHROMA = 52,
    CTX_CBP_CHROMA2 = 56,
    CTX_QP_DELTA = 60,
};

// The longest P mb_type string: five 0 bins then a 1.
constexpr int P_TYPE_CODES = 6;
const int32_t p_type_table[P_TYPE_CODES] = {7, 2, 3, 4, 5, 6};

inline int bin(decoder_ctx *ctx, int k) { return aec_decode_bin(&ctx->aec, &ctx->aec.contexts[k]); }
inline bool exhausted(const decoder_ctx *ctx) { return ctx->aec.exhausted != 0; }
inline layer_ctx &cur_layer(decoder_ctx *ctx) { return ctx->layer[ctx->cur_layer]; }
inline int32_t *column_words(layer_ctx &layer, layer_buffer which)
{
    return reinterpret_cast<int32_t *>(layer.buf[which]);
}

// Number of 0 bins before the first 1: bin(first), then bin(next) for the rest; stops at the
// exhausted mark.
int32_t unary_run(decoder_ctx *ctx, int first, int next)
{
    if (bin(ctx, first))
        return 0;
    int32_t run = 1;
    while (!bin(ctx, next) && !exhausted(ctx))
        ++run;
    return run;
}

// 0 bins of the I and P mb_type string, at most limit; -1 past the limit or at exhaustion.
int32_t mb_type_zeros(decoder_ctx *ctx, int limit)
{
    if (bin(ctx, CTX_MB_TYPE))
        return 0;
    for (int n = 1; n <= limit; ++n) {
        if (bin(ctx, CTX_MB_TYPE + (n < 4 ? n : 4)))
            return n;
        if (exhausted(ctx))
            return -1;
    }
    return -1;
}

} // namespace

int aec_init(decoder_ctx *ctx, const uint8_t *data, int32_t length)
{
    if (!data && length > 0)
        return -2;
    aec_engine_start(&ctx->aec, data, length);
    return 0;
}

int aec_data_exhausted(decoder_ctx *ctx) { return ctx->aec.exhausted; }

void aec_record_mb_type_code(decoder_ctx *ctx, int32_t code)
{
    layer_ctx &layer = cur_layer(ctx);
    layer.mb_type_code = code;
    if (layer.buf[LB_ROW_C])
        column_words(layer, LB_ROW_C)[layer.mb_x] = code;
}

int32_t aec_read_mb_skip_run(decoder_ctx *ctx) { return unary_run(ctx, CTX_SKIP, CTX_SKIP + 1); }

int32_t aec_read_mb_type_i(decoder_ctx *ctx)
{
    if (bin(ctx, CTX_MB_TYPE)) {
        aec_record_mb_type_code(ctx, 0);
        std::printf("invalid mb_type\n");
        return -1;
    }
    int32_t n = 0;
    do {
        ++n;
    } while (!bin(ctx, CTX_MB_TYPE + (n < 4 ? n : 4)) && !exhausted(ctx));
    aec_record_mb_type_code(ctx, n);
    if (n - 1 >= 2)
        std::printf("invalid mb_type\n");
    return n - 1;
}

int32_t aec_read_mb_type_p(decoder_ctx *ctx)
{
    const int32_t n = mb_type_zeros(ctx, P_TYPE_CODES - 1);
    if (n < 0)
        return -1;
    aec_record_mb_type_code(ctx, n);
    return p_type_table[n] - 2;
}

int32_t aec_read_mb_type_b(decoder_ctx *ctx)
{
    layer_ctx &layer = cur_layer(ctx);
    const int32_t top_code = layer.buf[LB_ROW_C] ? column_words(layer, LB_ROW_C)[layer.mb_x] : 0;
    const int a = (layer.mb_avail & MB_LEFT) && layer.mb_type_code != 0 && layer.mb_type_code != 30;
    const int b = (layer.mb_avail & MB_TOP) && top_code != 0 && top_code != 30;
    int32_t value = 0;
    if (bin(ctx, CTX_MB_TYPE_B + a + b)) {
        value = 1;
        if (!bin(ctx, CTX_MB_TYPE_B + 3)) {
            do {
                ++value;
            } while (!bin(ctx, 11 + (value - 2 < 5 ? value - 2 : 5)) && !exhausted(ctx));
        }
    }
    aec_record_mb_type_code(ctx, value);
    return value;
}

int32_t aec_read_end_of_slice(decoder_ctx *ctx) { return aec_decode_terminate(&ctx->aec); }

int32_t aec_read_base_pred_flag(decoder_ctx *ctx) { return unary_run(ctx, CTX_BASE_PRED, CTX_BASE_PRED + 1); }

int32_t aec_read_mb_part_type(decoder_ctx *ctx)
{
    const int b0 = bin(ctx, CTX_PART_TYPE);
    const int b1 = bin(ctx, CTX_PART_TYPE + 1 + b0);
    return 2 * b0 + b1;
}

int32_t aec_read_pred_mode_flag(decoder_ctx *ctx) { return bin(ctx, CTX_PRED_MODE_FLAG); }

int32_t aec_read_intra_luma_pred_mode(decoder_ctx *ctx)
{
    static const int32_t modes[4] = {1, 2, 3, 0};
    int k = 0;
    while (k < 3 && !bin(ctx, CTX_LUMA_MODE + k))
        ++k;
    return modes[k];
}

int32_t aec_read_intra_chroma_pred_mode(decoder_ctx *ctx, int half)
{
    layer_ctx &layer = cur_layer(ctx);
    const mb_work &mb = ctx->mb;
    const int h = half ? 1 : 0;
    const bool enh = ctx->cur_layer == 1 && ctx->enh_buf;
    const int32_t x = layer.mb_x;
    int a = (layer.mb_avail & MB_LEFT) && mb.left_chroma_mode[h] != 0;
    if (enh && mb.left_base_pred == 1)
        a = 0;
    int b;
    if (ctx->chroma_format != 2)
        b = (layer.mb_avail & MB_TOP) && column_words(layer, LB_ROW_A)[x] != 0;
    else if (h == 0)
        b = (layer.mb_avail & MB_TOP) && column_words(layer, LB_ROW_B)[x] != 0;
    else
        b = mb.chroma_mode[0] != 0;
    if (enh && reinterpret_cast<const int32_t *>(ctx->enh_buf)[x] == 1)
        b = 0;
    if (!bin(ctx, CTX_CHROMA_MODE + a + b))
        return 0;
    if (!bin(ctx, CTX_CHROMA_MODE + 3))
        return 1;
    return bin(ctx, CTX_CHROMA_MODE + 3) ? 3 : 2;
}

int32_t aec_read_ref_idx(decoder_ctx *ctx, int position)
{
    const mb_work &mb = ctx->mb;
    if (position < 4 || position >= MV_CACHE_ENTRIES)
        return 0;
    const int inc = (mb.mv_cache[position - 4][MV_REF_IDX] > 0 ? 2 : 0) +
                    (mb.mv_cache[position - 1][MV_REF_IDX] > 0 ? 1 : 0);
    if (bin(ctx, CTX_REF_IDX + inc))
        return 0;
    if (ctx->pic_type == 3)
        return 1;
    if (bin(ctx, CTX_REF_IDX + 4))
        return 1;
    int32_t value = 1;
    do {
        ++value;
    } while (!bin(ctx, CTX_REF_IDX + 5) && !exhausted(ctx));
    return value;
}

int32_t aec_read_mvd(decoder_ctx *ctx, int component)
{
    const mb_work &mb = ctx->mb;
    const int base = component ? CTX_MVD_Y : CTX_MVD_X;
    const int pos = mb.current_mv_pos;
    int inc = 0;
    if (pos >= 1 && pos < MV_CACHE_ENTRIES) {
        const int m = std::abs(static_cast<int>(mb.mv_cache[pos - 1][component ? MV_MVD_Y : MV_MVD_X]));
        inc = m < 2 ? 0 : m < 16 ? 1 : 2;
    }
    if (ctx->pic_type == 3 && inc) {
        const int8_t *dirs = &mb.b_pred_dir[0][0];
        const int p = mb.b_pred_pos;
        const int d = p >= 1 && p < 6 ? dirs[p] : -1;
        const int dl = p >= 1 && p < 6 ? dirs[p - 1] : -1;
        const bool same = ((d == 0 || d == 2) && (dl == 0 || dl == 2)) || (d == 1 && (dl == 1 || dl == 2));
        if (!same)
            inc = 0;
    }
    if (!bin(ctx, base + inc))
        return 0;
    int32_t magnitude;
    if (!bin(ctx, base + 3)) {
        magnitude = 1;
        for (int n = 0; n < 7; ++n) {
            if (bin(ctx, base + (n == 0 ? 4 : 5)))
                break;
            ++magnitude;
        }
    } else {
        // Order-3 Exp-Golomb in bypass bins; the prefix stops where the value would overflow.
        int k = 3;
        int32_t offset = 0;
        while (k < 29 && aec_decode_bypass(&ctx->aec)) {
            offset += 1 << k;
            ++k;
        }
        int32_t suffix = 0;
        for (int i = 0; i < k; ++i)
            suffix = (suffix << 1) | aec_decode_bypass(&ctx->aec);
        magnitude = 9 + offset + suffix;
    }
    return aec_decode_bypass(&ctx->aec) ? -magnitude : magnitude;
}

int32_t aec_read_cbp(decoder_ctx *ctx)
{
    layer_ctx &layer = cur_layer(ctx);
    const mb_work &mb = ctx->mb;
    const bool left = layer.mb_avail & MB_LEFT;
    const bool top = layer.mb_avail & MB_TOP;
    const int32_t left_cbp = mb.left_cbp;
    const int32_t top_cbp = layer.buf[LB_CBP_ROW][layer.mb_x];
    int32_t cbp = 0;
    for (int k = 0; k < 4; ++k) {
        const int x = k & 1, y = k >> 1;
        const int a = x ? !((cbp >> (k - 1)) & 1) : left && !((left_cbp >> (k + 1)) & 1);
        const int b = y ? !((cbp >> (k - 2)) & 1) : top && !((top_cbp >> (k + 2)) & 1);
        cbp |= bin(ctx, CTX_CBP_LUMA + a + 2 * b) << k;
    }
    int a = 0, b = 0;
    if (ctx->chroma_format == 1) {
        a = left && left_cbp > 15;
        b = top && top_cbp > 15;
    }
    if (bin(ctx, CTX_CBP_CHROMA + a + 2 * b)) {
        a = left && (left_cbp & ~15) == 32;
        b = top && (top_cbp & ~15) == 32;
        if (bin(ctx, CTX_CBP_CHROMA + a + 2 * b))
            cbp += 48;
        else
            cbp += bin(ctx, CTX_CBP_CHROMA2 + a + 2 * b) ? 32 : 16;
    }
    if (cbp == 0)
        ctx->aec.last_qp_delta = 0;
    return cbp;
}

int32_t aec_read_mb_qp_delta(decoder_ctx *ctx)
{
    int32_t k = 0;
    if (bin(ctx, CTX_QP_DELTA + (ctx->aec.last_qp_delta != 0 ? 1 : 0))) {
        k = 1;
        if (bin(ctx, CTX_QP_DELTA + 2)) {
            k = 2;
            while (bin(ctx, CTX_QP_DELTA + 3))
                ++k;
        }
    }
    const int32_t delta = k & 1 ? (k + 1) / 2 : -(k / 2);
    ctx->aec.last_qp_delta = delta;
    return delta;
}

void aec_clear_last_qp_delta(decoder_ctx *ctx) { ctx->aec.last_qp_delta = 0; }
