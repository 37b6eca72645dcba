#include "svacwriter/mb_inter_writer.h"

namespace svacwriter {

namespace {

// Inter column of the coded block pattern maps, by code number.
const uint8_t kInterCbp420[64] = {0,  15, 63, 31, 16, 32, 47, 13, 14, 11, 12, 5,  10, 7,  48, 3,
                                  2,  8,  4,  1,  61, 55, 59, 62, 29, 27, 23, 19, 30, 28, 9,  6,
                                  60, 21, 44, 26, 51, 35, 18, 20, 24, 53, 17, 37, 39, 45, 58, 43,
                                  42, 46, 36, 33, 34, 40, 52, 49, 50, 56, 25, 22, 54, 57, 41, 38};
const uint8_t kInterCbp4bit[16] = {0, 1, 2, 4, 8, 3, 5, 10, 12, 15, 7, 11, 13, 14, 6, 9};

int32_t find_code(const uint8_t* map, int size, uint32_t cbp)
{
    for (int c = 0; c < size; ++c)
        if (map[c] == cbp)
            return c;
    return -1;
}

} // namespace

int32_t inter_cbp_code_420(uint32_t cbp) { return find_code(kInterCbp420, 64, cbp); }
int32_t inter_cbp_code_4bit(uint32_t cbp) { return find_code(kInterCbp4bit, 16, cbp); }

int p_partitions(PKind kind)
{
    switch (kind) {
    case PKind::k16x16: return 1;
    case PKind::k8x8: return 4;
    default: return 2;
    }
}

void write_skip_run(BitWriter& w, uint32_t run) { w.put_ue(run); }

namespace {

// The coded block pattern, its QP change and the residual blocks of an inter macroblock.
bool write_inter_residual(BitWriter& w, uint32_t cbp, int32_t qp_delta, const CoefList* luma, const CoefList* chroma,
                          const PLayerParams& params)
{
    const uint32_t fmt = params.chroma_format;
    const int32_t code = fmt == 1 ? inter_cbp_code_420(cbp & 63) : inter_cbp_code_4bit(cbp & 15);
    const int32_t upper = fmt == 2 ? inter_cbp_code_4bit((cbp >> 4) & 15) : 0;
    const uint32_t allowed = fmt == 1 ? 63u : fmt == 2 ? 255u : 15u;
    if (code < 0 || upper < 0 || (cbp & ~allowed)) {
        w.fail("inter macroblock: coded block pattern outside the map");
        return false;
    }
    w.put_ue(static_cast<uint32_t>(code));
    if (fmt == 2)
        w.put_ue(static_cast<uint32_t>(upper));
    if (cbp != 0 && !params.fixed_slice_qp)
        w.put_se(qp_delta);
    for (int i = 0; i < 4; ++i)
        if ((cbp >> i) & 1 && !write_coef_block(w, VlcTableSet::kInterLuma, luma[i], false))
            return false;
    for (int bit = 4; bit < 8; ++bit)
        if ((cbp >> bit) & 1 && !write_coef_block(w, VlcTableSet::kChroma, chroma[bit - 4], false))
            return false;
    return w.ok();
}

// Partition directions of types 11..28 in pairs of 16x8 and 8x16.
const BDir kPairDirs[9][2] = {{kDirFwd, kDirFwd}, {kDirBwd, kDirBwd}, {kDirFwd, kDirBwd},
                              {kDirBwd, kDirFwd}, {kDirFwd, kDirSym}, {kDirBwd, kDirSym},
                              {kDirSym, kDirFwd}, {kDirSym, kDirBwd}, {kDirSym, kDirSym}};

} // namespace

void b_partition_dirs(uint32_t type, BDir dirs[2])
{
    const uint32_t pair = type >= 11 && type <= 28 ? (type - 11) / 2 : 0;
    dirs[0] = kPairDirs[pair][0];
    dirs[1] = kPairDirs[pair][1];
}

void b_block_dirs(uint32_t type, const uint32_t sub[4], BDir dirs[4])
{
    if (type == kBDirect || type == 30) {
        for (int i = 0; i < 4; ++i)
            dirs[i] = kDirDirect;
    } else if (type <= kBSym16x16) {
        for (int i = 0; i < 4; ++i)
            dirs[i] = static_cast<BDir>(type - kBFwd16x16);
    } else if (type < kB8x8) {
        BDir p[2];
        b_partition_dirs(type, p);
        const bool wide = (type & 1) != 0;
        for (int i = 0; i < 4; ++i)
            dirs[i] = p[wide ? i >> 1 : i & 1];
    } else {
        static const BDir kSub[4] = {kDirDirect, kDirFwd, kDirBwd, kDirSym};
        for (int i = 0; i < 4; ++i)
            dirs[i] = kSub[sub[i] & 3];
    }
}

int b_mvd_count(uint32_t type, const uint32_t sub[4])
{
    if (type == kBDirect)
        return 0;
    if (type <= kBSym16x16)
        return 1;
    if (type < kB8x8)
        return 2;
    int n = 0;
    for (int i = 0; i < 4; ++i)
        n += sub[i] != kSubDirect ? 1 : 0;
    return n;
}

bool write_b_mb(BitWriter& w, const BMb& mb, const PLayerParams& params)
{
    if (mb.type < kBDirect || mb.type > kB8x8) {
        w.fail("B macroblock: type outside 7..29");
        return false;
    }
    w.put_ue(mb.type - kBDirect);
    const int count = b_mvd_count(mb.type, mb.sub);
    int refs = 0;   // reference indices coded before the first vector
    if (mb.type == kB8x8) {
        for (int i = 0; i < 4; ++i) {
            if (mb.sub[i] > 3) {
                w.fail("B macroblock: sub-type above 3");
                return false;
            }
            w.put_bits(mb.sub[i], 2);
        }
        refs = count;
    } else if (mb.type > kBDirect) {
        refs = count;
    }
    if (params.field && !params.single_ref)
        for (int i = 0; i < refs; ++i)
            w.put_bit(false);
    for (int i = 0; i < count; ++i) {
        w.put_se(mb.mvd[i][0]);
        w.put_se(mb.mvd[i][1]);
    }
    return write_inter_residual(w, mb.cbp, mb.qp_delta, mb.luma, mb.chroma, params);
}

bool write_p_mb(BitWriter& w, const PMb& mb, const PLayerParams& params)
{
    const uint32_t fmt = params.chroma_format;
    const int32_t code = fmt == 1 ? inter_cbp_code_420(mb.cbp & 63) : inter_cbp_code_4bit(mb.cbp & 15);
    const int32_t upper = fmt == 2 ? inter_cbp_code_4bit((mb.cbp >> 4) & 15) : 0;
    const uint32_t allowed = fmt == 1 ? 63u : fmt == 2 ? 255u : 15u;
    if (code < 0 || upper < 0 || (mb.cbp & ~allowed)) {
        w.fail("inter macroblock: coded block pattern outside the map");
        return false;
    }
    w.put_ue(static_cast<uint32_t>(mb.kind) - 2);
    const int parts = p_partitions(mb.kind);
    if (!params.single_ref)
        for (int i = 0; i < parts; ++i) {
            const int bits = params.field ? 2 : 1;
            if (mb.ref_idx[i] >> bits) {
                w.fail("inter macroblock: reference index too large for its field");
                return false;
            }
            w.put_bits(mb.ref_idx[i], bits);
        }
    for (int i = 0; i < parts; ++i) {
        w.put_se(mb.mvd[i][0]);
        w.put_se(mb.mvd[i][1]);
    }
    w.put_ue(static_cast<uint32_t>(code));
    if (fmt == 2)
        w.put_ue(static_cast<uint32_t>(upper));
    if (mb.cbp != 0 && !params.fixed_slice_qp)
        w.put_se(mb.qp_delta);
    for (int i = 0; i < 4; ++i)
        if ((mb.cbp >> i) & 1 && !write_coef_block(w, VlcTableSet::kInterLuma, mb.luma[i], false))
            return false;
    for (int bit = 4; bit < 8; ++bit)
        if ((mb.cbp >> bit) & 1 && !write_coef_block(w, VlcTableSet::kChroma, mb.chroma[bit - 4], false))
            return false;
    return w.ok();
}

} // namespace svacwriter
