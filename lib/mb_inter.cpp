#include "mb_inter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aec.h"
#include "decoder_ctx.h"
#include "inter_pred.h"
#include "lf_record_fill.h"
#include "mb_context.h"
#include "mv_pred.h"
#include "vlc_residual.h"

namespace {

enum { P_16X16 = 2, P_16X8, P_8X16, P_8X8, P_SKIP, B_DIRECT, B_FWD, B_BWD, B_SYM, B_8X8 = 29, B_SKIP = 30 };
enum { DIR_FWD, DIR_BWD, DIR_SYM, DIR_DIRECT = -1 };

const int16_t kUnsetEntry[MV_FIELDS] = {0, 0, 1, -3, 0, 0};
const int16_t kListUnused[MV_FIELDS] = {0, 0, 1, -1, 0, 0};

bool aec_mode(const decoder_ctx *ctx) { return ctx->cur_pps->aec_flag != 0; }

bool data_exhausted(decoder_ctx *ctx)
{
    return aec_mode(ctx) ? aec_data_exhausted(ctx) != 0 : bit_reader_exhausted(&ctx->bs);
}

// Reference index coded for the partition at cache position pos; -1 for an index the layer
// cannot hold (above 1), which the caller refuses before any vector uses it.
int32_t read_ref_idx(decoder_ctx *ctx, int pos, bool two_bits)
{
    int32_t r;
    if (aec_mode(ctx))
        r = aec_read_ref_idx(ctx, pos);
    else
        r = static_cast<int32_t>(read_bits(&ctx->bs, two_bits ? 2 : 1));
    return r >= 0 && r <= 1 ? r : -1;
}

void set_dir(mb_work &mb, int block, int dir)
{
    mb.b_pred_dir[block >> 1][1 + (block & 1)] = static_cast<int8_t>(dir);
}

void set_block_pos(mb_work &mb, int block) { mb.b_pred_pos = 1 + (block & 1) + 3 * (block >> 1); }

// clear_intra_mode_context, inline in the common tail of inter macroblocks.
[[gnu::always_inline]] inline void clear_intra_modes(decoder_ctx *ctx)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int32_t v = ctx->pic_type == 1 ? -1 : 2;
    mb.mode8[3] = mb.mode8[6] = v;
    for (int r = 1; r <= 4; ++r)
        mb.mode4[5 * r] = v;
    int32_t *row = reinterpret_cast<int32_t *>(layer.buf[LB_INTRA_MODE_ROW]) + 6 * layer.mb_x;
    for (int i = 0; i < 6; ++i)
        row[i] = v;
    reinterpret_cast<int32_t *>(layer.buf[LB_ROW_A])[layer.mb_x] = 0;
    reinterpret_cast<int32_t *>(layer.buf[LB_ROW_B])[layer.mb_x] = 0;
    mb.left_chroma_mode[0] = mb.left_chroma_mode[1] = 0;
}

void save_inter_context(decoder_ctx *ctx, int32_t kind)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    const int32_t x = layer.mb_x;
    store_intra_edges(ctx);
    lf_worker_flush(ctx);
    mb.left_qp = ctx->mb_qp;
    layer.buf[LB_QP_ROW][x] = static_cast<uint8_t>(ctx->mb_qp);
    mb.left_cbp = mb.cbp;
    layer.buf[LB_CBP_ROW][x] = static_cast<uint8_t>(mb.cbp);
    mb.left_kind = kind;
    reinterpret_cast<int32_t *>(layer.buf[LB_KIND_ROW])[x] = kind;
    if (ctx->cur_layer == 1 && ctx->enh_buf) {
        mb.left_base_pred = 0;
        reinterpret_cast<int32_t *>(ctx->enh_buf)[x] = 0;
    }
}

// Prediction, cbp, loop-filter record and residual: the common tail of P and B macroblocks.
int finish_inter_mb(decoder_ctx *ctx, int32_t kind, bool skipped)
{
    if (data_exhausted(ctx))
        return -11;
    if (inter_pred_mb(ctx, kind) < 0)
        return -2;
    clear_intra_modes(ctx);
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    if (ctx->pic_type != 3) {
        // Blocks 0..3 for the direct mode of later B pictures.
        uint8_t *col = layer.buf[LB_COLOCATED_MOTION] + 48 * static_cast<int64_t>(layer.cur_mb_addr);
        std::memcpy(col, ctx->mb.mv_cache[5], 24);
        std::memcpy(col + 24, ctx->mb.mv_cache[9], 24);
    }
    if (skipped) {
        if (aec_mode(ctx))
            aec_clear_last_qp_delta(ctx);
    } else {
        const int r = read_inter_cbp(ctx);
        if (r != 0)
            return r;
    }
    write_lf_record(ctx, kind);
    if (!skipped && read_b_residual(ctx) != 0)
        return -8;
    save_inter_context(ctx, kind);
    if (ctx->pic_type != 3)
        layer.buf[LB_COLOCATED_KIND][layer.cur_mb_addr] = static_cast<uint8_t>(kind);
    return 0;
}

// Direct vectors of the blocks marked in `direct` (bit i: block i).
void direct_blocks(decoder_ctx *ctx, unsigned direct)
{
    layer_ctx &layer = ctx->layer[ctx->cur_layer];
    mb_work &mb = ctx->mb;
    if (!direct)
        return;
    for (int i = 0; i < 4; ++i)
        if (direct & (1u << i))
            set_dir(mb, i, DIR_DIRECT);
    if (layer.buf[LB_COLOCATED_KIND][layer.cur_mb_addr] != 0) {
        const auto *col = reinterpret_cast<const int16_t(*)[MV_FIELDS]>(layer.buf[LB_COLOCATED_MOTION] +
                                                                        48 * static_cast<int64_t>(layer.cur_mb_addr));
        for (int i = 0; i < 4; ++i)
            if (direct & (1u << i))
                b_direct_mv(ctx, mv_block_pos[i], col[i]);
        return;
    }
    // Spatial prediction of the whole macroblock, made once; entries of the blocks that are
    // not direct keep what they hold.
    int16_t saved[8][MV_FIELDS];
    for (int i = 0; i < 4; ++i) {
        std::memcpy(saved[i], mb.mv_cache[mv_block_pos[i]], sizeof saved[i]);
        std::memcpy(saved[4 + i], mb.mv_cache[12 + mv_block_pos[i]], sizeof saved[i]);
    }
    set_block_pos(mb, 0);
    store_motion(ctx, 5, 3, MV_MEDIAN_DERIVED, MV_FILL_16X16, 1);
    store_motion(ctx, 17, 15, MV_MEDIAN_DERIVED, MV_FILL_16X16, 0);
    for (int i = 0; i < 4; ++i)
        if (!(direct & (1u << i))) {
            std::memcpy(mb.mv_cache[mv_block_pos[i]], saved[i], sizeof saved[i]);
            std::memcpy(mb.mv_cache[12 + mv_block_pos[i]], saved[4 + i], sizeof saved[i]);
        }
}

} // namespace

void clear_intra_mode_context(decoder_ctx *ctx) { clear_intra_modes(ctx); }

void start_p_slice(decoder_ctx *ctx)
{
    // A B picture before may have left its vectors in the list-1 entries that prediction
    // reads; within P slices only intra macroblocks write them, with a negative reference too.
    mb_work &mb = ctx->mb;
    for (int pos : mv_block_pos)
        std::memcpy(mb.mv_cache[12 + pos], kListUnused, sizeof kListUnused);
}

void b_direct_mv(decoder_ctx *ctx, int pos, const int16_t *col)
{
    mb_work &mb = ctx->mb;
    const int32_t df = ctx->ref_distance[1], db = ctx->ref_distance[0];
    const int32_t s = ctx->direct_scale[col[MV_REF_IDX] > 0 ? 1 : 0];
    // 32-bit products with their wrap.
    auto part = [s](int32_t mag, int32_t d) {
        const uint32_t p = static_cast<uint32_t>(mag) * static_cast<uint32_t>(d) * static_cast<uint32_t>(s) +
                           static_cast<uint32_t>(s) - 1u;
        return static_cast<int32_t>(p) >> 14;
    };
    int16_t *f = mb.mv_cache[pos], *b = mb.mv_cache[pos + 12];
    for (int c : {MV_X, MV_Y}) {
        const int32_t v = col[c];
        const int32_t sign = v < 0 ? -1 : v > 0 ? 1 : 0;
        const int32_t mag = std::abs(v);
        f[c] = static_cast<int16_t>(sign * part(mag, df));
        b[c] = static_cast<int16_t>(-sign * part(mag, db));
    }
    f[MV_DISTANCE] = static_cast<int16_t>(df);
    f[MV_REF_IDX] = 1;
    b[MV_DISTANCE] = static_cast<int16_t>(db);
    b[MV_REF_IDX] = 0;
}

int decode_p_mb(decoder_ctx *ctx, int32_t t)
{
    if (t < P_16X16 || t > P_SKIP)
        return -2;
    mb_work &mb = ctx->mb;
    mb_inter_context_load(ctx);
    if (t == P_SKIP) {
        if (aec_mode(ctx))
            aec_record_mb_type_code(ctx, P_SKIP);
        store_skip_motion(ctx);
        return finish_inter_mb(ctx, t, true);
    }

    int32_t ref[4] = {};
    // With one reference nothing is read; the vector stores write every reference entry.
    if (!ctx->single_ref_flag) {
        static const int kParts[4][4] = {{5}, {5, 9}, {5, 6}, {5, 6, 9, 10}};
        const int count = t == P_16X16 ? 1 : t == P_8X8 ? 4 : 2;
        const int *parts = kParts[t - P_16X16];
        const bool two_bits = ctx->pic_structure != -1;
        for (int i = 0; i < count; ++i) {
            ref[i] = read_ref_idx(ctx, parts[i], two_bits);
            if (ref[i] < 0)
                return -2;
            mb.mv_cache[parts[i]][MV_REF_IDX] = static_cast<int16_t>(ref[i]);
        }
    }
    static_assert(P_16X8 - P_16X16 == MV_P_16X8 && P_8X16 - P_16X16 == MV_P_8X16 && P_8X8 - P_16X16 == MV_P_8X8,
                  "shape order");
    store_p_motion(ctx, t - P_16X16, ref);
    return finish_inter_mb(ctx, t, false);
}

int decode_b_mb(decoder_ctx *ctx, int32_t t)
{
    if (t < B_DIRECT) {
        std::printf("Invalid mb_type %d in B frame\n", t);
        return -2;
    }
    if (t > B_SKIP) {
        std::printf("%s failed at %s:%d.\n", "mb_type < B_8X8", "decoder", __LINE__);
        return -3;
    }
    mb_work &mb = ctx->mb;
    mb_inter_context_load(ctx);
    for (int list = 0; list < 2; ++list)
        for (int pos : mv_block_pos)
            std::memcpy(mb.mv_cache[12 * list + pos], kUnsetEntry, sizeof kUnsetEntry);
    // Field B slices code reference indices; they select nothing (forward 1, backward 0).
    const bool coded_refs = !ctx->single_ref_flag && ctx->pic_structure != -1;
    auto skip_ref = [&](int pos) {
        if (coded_refs)
            read_ref_idx(ctx, pos, false);
    };

    if (t == B_DIRECT || t == B_SKIP) {
        if (t == B_SKIP && aec_mode(ctx))
            aec_record_mb_type_code(ctx, B_SKIP);
        direct_blocks(ctx, 15u);
    } else if (t <= B_SYM) {
        const int dir = t - B_FWD;
        for (int i = 0; i < 4; ++i)
            set_dir(mb, i, dir);
        set_block_pos(mb, 0);
        skip_ref(t == B_BWD ? 17 : 5);
        if (t == B_BWD) {
            store_motion(ctx, 17, 15, MV_MEDIAN, MV_FILL_16X16, 0);
        } else {
            store_motion(ctx, 5, 3, MV_MEDIAN, MV_FILL_16X16, 1);
            if (t == B_SYM)
                store_motion_sym(ctx, 17, 15, MV_MEDIAN, MV_FILL_16X16, 0);
        }
    } else if (t < B_8X8) {
        const uint8_t shape = mc_shape_table[t];
        const bool wide = (shape & 0xC0) == 0x40;    // 16x8
        const int pos[2] = {5, wide ? 9 : 6};
        const int cpos[2] = {wide ? 3 : 2, wide ? 4 : 3};
        const int rule[2] = {wide ? MV_PREFER_B : MV_PREFER_A, wide ? MV_PREFER_A : MV_PREFER_C};
        const int fill = wide ? MV_FILL_PAIR_H : MV_FILL_PAIR_V;
        auto fwd = [shape](int p) { return (shape >> p) & 1; };
        auto bwd = [shape](int p) { return (shape >> (2 + p)) & 1; };
        auto sym = [shape](int p) { return (shape >> (4 + p)) & 1; };
        for (int p = 0; p < 2; ++p) {
            const int dir = sym(p) ? DIR_SYM : bwd(p) ? DIR_BWD : DIR_FWD;
            set_dir(mb, p == 0 ? 0 : wide ? 2 : 1, dir);
            set_dir(mb, p == 0 ? (wide ? 1 : 2) : 3, dir);
        }
        for (int p = 0; p < 2; ++p)
            if (fwd(p))
                skip_ref(pos[p]);
        for (int p = 0; p < 2; ++p)
            if (bwd(p))
                skip_ref(pos[p] + 12);
        auto block_of = [](int position) { return position == 5 ? 0 : position == 6 ? 1 : 2; };
        auto forward = [&](int p) {
            set_block_pos(mb, block_of(pos[p]));
            store_motion(ctx, pos[p], cpos[p], rule[p], fill, 1);
        };
        auto symmetric = [&](int p) {
            set_block_pos(mb, block_of(pos[p]));
            store_motion_sym(ctx, pos[p] + 12, cpos[p] + 12, rule[p], fill, 0);
        };
        auto backward = [&](int p) {
            set_block_pos(mb, block_of(pos[p]));
            store_motion(ctx, pos[p] + 12, cpos[p] + 12, rule[p], fill, 0);
        };
        if (fwd(0))
            forward(0);
        if (sym(0))
            symmetric(0);
        if (fwd(1))
            forward(1);
        if (bwd(0))
            backward(0);
        if (sym(1))
            symmetric(1);
        if (bwd(1))
            backward(1);
    } else {
        int32_t sub[4];
        for (int i = 0; i < 4; ++i)
            sub[i] = aec_mode(ctx) ? (aec_read_mb_part_type(ctx) & 3) : static_cast<int32_t>(read_bits(&ctx->bs, 2));
        for (int i = 0; i < 4; ++i)
            if (sub[i] == 1 || sub[i] == 3)
                skip_ref(mv_block_pos[i]);
        for (int i = 0; i < 4; ++i)
            if (sub[i] == 2)
                skip_ref(mv_block_pos[i] + 12);
        static const int kDir[4] = {DIR_DIRECT, DIR_FWD, DIR_BWD, DIR_SYM};
        unsigned direct = 0;
        for (int i = 0; i < 4; ++i) {
            if (sub[i] == 0) {
                // The first direct block makes the prediction of all direct blocks.
                if (!direct) {
                    unsigned all = 0;
                    for (int k = i; k < 4; ++k)
                        all |= sub[k] == 0 ? 1u << k : 0u;
                    direct_blocks(ctx, all);
                    direct = all;
                }
                continue;
            }
            set_dir(mb, i, kDir[sub[i]]);
            if (sub[i] == 1 || sub[i] == 3) {
                set_block_pos(mb, i);
                store_motion(ctx, mv_block_pos[i], mv_block_c[i], MV_MEDIAN, MV_FILL_8X8, 1);
            }
        }
        for (int i = 0; i < 4; ++i) {
            set_block_pos(mb, i);
            if (sub[i] == 2)
                store_motion(ctx, 12 + mv_block_pos[i], 12 + mv_block_c[i], MV_MEDIAN, MV_FILL_8X8, 0);
            else if (sub[i] == 3)
                store_motion_sym(ctx, 12 + mv_block_pos[i], 12 + mv_block_c[i], MV_MEDIAN, MV_FILL_8X8, 0);
        }
    }
    return finish_inter_mb(ctx, t, t == B_SKIP);
}
