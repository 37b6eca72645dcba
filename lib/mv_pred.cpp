#include "mv_pred.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "aec.h"
#include "decoder_ctx.h"

namespace {

// Products in 32-bit arithmetic with its wrap, free of signed overflow.
int32_t mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
int32_t add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

int32_t scale_index(int32_t ref_idx) { return ref_idx > 0 ? 1 : 0; }

// An entry in two words, built in registers: storing it from a stack copy of 16-bit fields
// would make the wide loads of the copy wait on the narrow stores.
struct packed_entry {
    uint64_t head;   // vector, distance, reference
    uint32_t mvd;
};

packed_entry pack(int32_t x, int32_t y, int32_t dist, int32_t ref, int32_t dx, int32_t dy)
{
    static_assert(MV_X == 0 && MV_Y == 1 && MV_DISTANCE == 2 && MV_REF_IDX == 3 && MV_MVD_X == 4 && MV_MVD_Y == 5,
                  "entry layout");
    auto u = [](int32_t v) { return uint64_t(uint16_t(v)); };
    return {u(x) | u(y) << 16 | u(dist) << 32 | u(ref) << 48, uint32_t(u(dx) | u(dy) << 16)};
}

void put_entry(int16_t *to, const packed_entry &e)
{
    std::memcpy(to, &e.head, sizeof e.head);
    std::memcpy(to + MV_MVD_X, &e.mvd, sizeof e.mvd);
}

// The entries a fill covers besides pos, as offsets; 0 rewrites pos itself, so that every fill
// takes the same three copies and no branch on a fill that varies from block to block.
constexpr int8_t fill_offsets[4][3] = {{1, 4, 5}, {1, 0, 0}, {4, 0, 0}, {0, 0, 0}};
static_assert(MV_FILL_16X16 == 0 && MV_FILL_PAIR_H == 1 && MV_FILL_PAIR_V == 2 && MV_FILL_8X8 == 3, "fill order");

inline void fill_entries(mb_work &mb, int pos, int fill, const packed_entry &entry)
{
    put_entry(mb.mv_cache[pos], entry);
    const int8_t *off = fill_offsets[fill & 3];
    put_entry(mb.mv_cache[pos + off[0]], entry);
    put_entry(mb.mv_cache[pos + off[1]], entry);
    put_entry(mb.mv_cache[pos + off[2]], entry);
}

// scale_mv with dist * scale folded into one factor: the same value in 32-bit arithmetic, and
// the vector itself when the factor is 512.
int32_t scale_by(int32_t v, int32_t factor)
{
    return factor == 512 ? v : add32(mul32(v, factor), 256 - (v < 0 ? 1 : 0)) >> 9;
}

} // namespace

int32_t scale_mv(int32_t v, int32_t dist, int32_t scale)
{
    return add32(mul32(mul32(v, dist), scale), 256 - (v < 0 ? 1 : 0)) >> 9;
}

namespace {

// Vector and reference of an entry (its distance follows from the reference).
uint64_t vector_key(const int16_t *entry)
{
    uint64_t k;
    std::memcpy(&k, entry, sizeof k);
    static_assert(MV_X == 0 && MV_Y == 1 && MV_DISTANCE == 2 && MV_REF_IDX == 3, "entry layout");
    return k & 0xFFFF0000FFFFFFFFull;
}

[[gnu::always_inline]] inline void predict(const decoder_ctx *ctx, int pos, int c_pos, int rule, int ref,
                                           int32_t *px, int32_t *py)
{
    const mb_work &mb = ctx->mb;
    const int16_t *a = mb.mv_cache[pos - 1];
    const int16_t *b = mb.mv_cache[pos - 4];
    const int16_t *c = mb.mv_cache[c_pos];
    // The lower right block's upper-right neighbour is not decoded yet.
    if (c[MV_REF_IDX] == -1 || pos == 10 || pos == 22)
        c = mb.mv_cache[pos - 5];
    const int32_t ra = a[MV_REF_IDX], rb = b[MV_REF_IDX], rc = c[MV_REF_IDX];
    // Three neighbours of one vector and reference (all available or none): the vector itself
    // when preferred, else the median, which is that vector scaled.
    const uint64_t ka = vector_key(a);
    if (ka == vector_key(b) && ka == vector_key(c)) {
        if (rule >= MV_PREFER_A && rule <= MV_PREFER_C && ra == ref) {
            *px = a[MV_X];
            *py = a[MV_Y];
            return;
        }
        const int32_t f = mul32(ctx->ref_distance[scale_index(ref)], ctx->ref_distance_scale[scale_index(ra)]);
        *px = scale_by(a[MV_X], f);
        *py = scale_by(a[MV_Y], f);
        return;
    }
    // Bit 0: A available, bit 1: B, bit 2: C.
    const unsigned have = unsigned(ra >= 0) | unsigned(rb >= 0) << 1 | unsigned(rc >= 0) << 2;
    const int16_t *only = have == 1 ? a : have == 2 ? b : have == 4 ? c : nullptr;
    if (!only) {
        if (rule == MV_PREFER_A && ra == ref)
            only = a;
        else if (rule == MV_PREFER_B && rb == ref)
            only = b;
        else if (rule == MV_PREFER_C && rc == ref)
            only = c;
    }
    if (only) {
        *px = only[MV_X];
        *py = only[MV_Y];
        return;
    }
    const int32_t dist = ctx->ref_distance[scale_index(ref)];
    const int32_t fa = mul32(dist, ctx->ref_distance_scale[scale_index(ra)]);
    const int32_t fb = mul32(dist, ctx->ref_distance_scale[scale_index(rb)]);
    const int32_t fc = mul32(dist, ctx->ref_distance_scale[scale_index(rc)]);
    const int64_t ax = scale_by(a[MV_X], fa), ay = scale_by(a[MV_Y], fa);
    const int64_t bx = scale_by(b[MV_X], fb), by = scale_by(b[MV_Y], fb);
    const int64_t cx = scale_by(c[MV_X], fc), cy = scale_by(c[MV_Y], fc);
    const int64_t vab = std::abs(ax - bx) + std::abs(ay - by);
    const int64_t vbc = std::abs(bx - cx) + std::abs(by - cy);
    const int64_t vca = std::abs(cx - ax) + std::abs(cy - ay);
    // The middle span, and the vector opposite it, picked by index: with varied motion every
    // outcome is as likely as the others, so a branch would miss a third of the time.
    const bool ab_shorter = vab < vbc;
    const int64_t lo = ab_shorter ? vab : vbc, hi = ab_shorter ? vbc : vab;
    const int64_t capped = vca < hi ? vca : hi;
    const int64_t m = capped > lo ? capped : lo;
    // Middle ab: C; middle bc: A; else (middle ca) B. Conditional moves, not a table in
    // memory, so the result does not wait on stores of the candidates.
    const bool mid_ab = m == vab, mid_bc = !mid_ab && m == vbc;
    const int64_t x1 = mid_ab ? cx : bx, y1 = mid_ab ? cy : by;
    *px = static_cast<int32_t>(mid_bc ? ax : x1);
    *py = static_cast<int32_t>(mid_bc ? ay : y1);
}

} // namespace

void predict_motion(const decoder_ctx *ctx, int pos, int c_pos, int rule, int ref, int32_t *px, int32_t *py)
{
    predict(ctx, pos, c_pos, rule, ref, px, py);
}

void store_skip_motion(decoder_ctx *ctx)
{
    mb_work &mb = ctx->mb;
    int32_t px, py;
    predict(ctx, 5, 3, MV_MEDIAN_NO_MVD, 0, &px, &py);
    const packed_entry entry = pack(px, py, ctx->ref_distance[0], 0, 0, 0);
    put_entry(mb.mv_cache[5], entry);
    put_entry(mb.mv_cache[6], entry);
    put_entry(mb.mv_cache[9], entry);
    put_entry(mb.mv_cache[10], entry);
}

namespace {

// store_motion, inline where the rule and fill are constants.
[[gnu::always_inline]] inline void store(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx)
{
    mb_work &mb = ctx->mb;
    int32_t px, py;
    predict(ctx, pos, c_pos, rule, ref_idx, &px, &py);
    int32_t dx = 0, dy = 0;
    if (rule < MV_MEDIAN_NO_MVD) {
        mb.current_mv_pos = pos;
        if (ctx->cur_pps->aec_flag) {
            dx = aec_read_mvd(ctx, 0);
            dy = aec_read_mvd(ctx, 1);
        } else {
            dx = read_se(&ctx->bs);
            dy = read_se(&ctx->bs);
        }
    }
    fill_entries(mb, pos, fill,
                 pack(add32(px, dx), add32(py, dy), ctx->ref_distance[scale_index(ref_idx)], ref_idx, dx, dy));
}

} // namespace

const int mv_block_pos[4] = {5, 6, 9, 10};
const int mv_block_c[4] = {2, 3, 6, 5};

void store_motion(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx)
{
    store(ctx, pos, c_pos, rule, fill, ref_idx);
}

void store_p_motion(decoder_ctx *ctx, int shape, const int32_t *ref_idx)
{
    switch (shape) {
    case MV_P_16X16:
        store(ctx, 5, 3, MV_MEDIAN, MV_FILL_16X16, ref_idx[0]);
        break;
    case MV_P_16X8:
        store(ctx, 5, 3, MV_PREFER_B, MV_FILL_PAIR_H, ref_idx[0]);
        store(ctx, 9, 4, MV_PREFER_A, MV_FILL_PAIR_H, ref_idx[1]);
        break;
    case MV_P_8X16:
        store(ctx, 5, 2, MV_PREFER_A, MV_FILL_PAIR_V, ref_idx[0]);
        store(ctx, 6, 3, MV_PREFER_C, MV_FILL_PAIR_V, ref_idx[1]);
        break;
    default:
        for (int i = 0; i < 4; ++i)
            store(ctx, mv_block_pos[i], mv_block_c[i], MV_MEDIAN, MV_FILL_8X8, ref_idx[i]);
        break;
    }
}

void store_motion_sym(decoder_ctx *ctx, int pos, int c_pos, int rule, int fill, int ref_idx)
{
    mb_work &mb = ctx->mb;
    int32_t px, py;
    predict(ctx, pos, c_pos, rule, ref_idx, &px, &py);
    const int16_t *fwd = mb.mv_cache[pos - 12];
    const int32_t bx = -(add32(mul32(fwd[MV_X], ctx->sym_scale), 256) >> 9);
    const int32_t by = -(add32(mul32(fwd[MV_Y], ctx->sym_scale), 256) >> 9);
    fill_entries(mb, pos, fill, pack(bx, by, ctx->ref_distance[0], 0, bx - px, by - py));
}
