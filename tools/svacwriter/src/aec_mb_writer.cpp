#include "svacwriter/aec_mb_writer.h"

#include <cstdlib>

namespace svacwriter {

namespace {

uint32_t chroma_mask(uint32_t fmt) { return fmt == 1 ? 63u : fmt == 2 ? 255u : 15u; }

} // namespace

AecPictureState::AecPictureState(uint32_t mb_width, uint32_t mb_height)
    : width_(mb_width), mbs_(static_cast<size_t>(mb_width) * mb_height)
{
}

AecSliceWriter::AecSliceWriter(AecPictureState& picture, const MbLayerParams& params, AecPictureKind kind,
                               bool single_ref)
    : pic_(picture), params_(params), kind_(kind), single_ref_(single_ref)
{
}

void AecSliceWriter::next_mb(uint32_t addr, int32_t avail)
{
    if (started_)
        aec_.end_of_slice(false);
    started_ = true;
    addr_ = addr;
    avail_ = avail;
}

const AecPictureState::Mb* AecSliceWriter::left() const
{
    return (avail_ & 1) ? &pic_.at(addr_ - 1) : nullptr;
}

const AecPictureState::Mb* AecSliceWriter::top() const
{
    return (avail_ & 2) ? &pic_.at(addr_ - pic_.width()) : nullptr;
}

// One cbp element: value's luma bits and chroma part, neighbours from the picture.
void AecSliceWriter::cbp(uint32_t value)
{
    AecCbpNeighbours nb;
    nb.chroma_format = params_.chroma_format;
    if (const Mb* l = left()) {
        nb.left = true;
        nb.left_cbp = static_cast<int32_t>(l->cbp);
    }
    if (const Mb* t = top()) {
        nb.top = true;
        nb.top_cbp = static_cast<int32_t>(t->cbp);
    }
    aec_.cbp(value, nb);
}

bool AecSliceWriter::residual(const CoefList& pairs, bool luma, bool small)
{
    if (pairs.empty()) {
        error_ = "arithmetic mode: a coded block without coefficients";
        return false;
    }
    std::vector<AecCoef> coefs;
    for (const CoefPair& p : pairs)
        coefs.push_back({p.level, static_cast<int32_t>(p.advance) - 1});
    aec_.coefs(coefs, luma, false, small);
    return true;
}

void AecSliceWriter::qp(uint32_t cbp_value, int32_t delta)
{
    if (cbp_value != 0 && !params_.fixed_slice_qp)
        aec_.mb_qp_delta(delta);
    else
        aec_.clear_qp_delta();
}

bool AecSliceWriter::intra(uint32_t addr, int32_t avail, const IntraMb& mb, IntraModeMap& modes)
{
    next_mb(addr, avail);
    const bool is8 = mb.kind == IntraKind::k8x8;
    const uint32_t fmt = params_.chroma_format;
    if ((mb.cbp & ~chroma_mask(fmt)) || mb.base_pred_flag) {
        error_ = "arithmetic mode: intra macroblock outside what the writer codes";
        return false;
    }
    Mb& cur = pic_.at(addr);
    cur = Mb{};
    const uint32_t type = is8 ? 1 : 0;
    if (kind_ == AecPictureKind::kI) {
        aec_.mb_type_i(type);
    } else if (kind_ == AecPictureKind::kP) {
        aec_.mb_skip_run(0);
        aec_.mb_type_p(4 + type);
    } else {
        aec_.mb_skip_run(0);
        const Mb *l = left(), *t = top();
        const int inc = (l && l->type_code != 0 && l->type_code != 30) + (t && t->type_code != 0 && t->type_code != 30);
        aec_.mb_type_b(23 + type, inc);
        cur.type_code = static_cast<int32_t>(23 + type);
    }
    const uint32_t x = addr % pic_.width(), y = addr / pic_.width();
    for (int i = 0; i < (is8 ? 4 : 16); ++i) {
        const int32_t pred = modes.predict(x, y, avail & 1, avail & 2, mb.kind, mb.luma_modes, i);
        const int32_t mode = mb.luma_modes[i];
        aec_.pred_mode_flag(mode == pred);
        if (mode != pred) {
            const int32_t rem = mode < pred ? mode : mode - 1;
            if (rem < 0 || rem > 3) {
                error_ = "arithmetic mode: luma mode not reachable from its predicted mode";
                return false;
            }
            aec_.intra_luma_pred_mode(static_cast<uint32_t>(rem));
        }
    }
    if (fmt != 0) {
        const Mb *l = left(), *t = top();
        for (int h = 0; h < (fmt == 2 ? 2 : 1); ++h) {
            if (mb.chroma_modes[h] < 0 || mb.chroma_modes[h] > 3) {
                error_ = "arithmetic mode: chroma mode outside 0..3";
                return false;
            }
            const int a = l && l->chroma_mode[h] != 0;
            int b;
            if (fmt != 2)
                b = t && t->chroma_mode[0] != 0;
            else if (h == 0)
                b = t && t->chroma_mode[1] != 0;   // the lower block of the macroblock above
            else
                b = mb.chroma_modes[0] != 0;
            aec_.intra_chroma_pred_mode(static_cast<uint32_t>(mb.chroma_modes[h]), a + b);
            cur.chroma_mode[h] = mb.chroma_modes[h];
        }
    }
    cbp(fmt == 2 ? (mb.cbp & 15) : mb.cbp);
    if (fmt == 2)
        cbp((mb.cbp >> 4) & 15);
    if (!is8)
        for (int k = 0; k < 4; ++k)
            if (mb.cbp & (1u << k))
                cbp(mb.cbp4x4[k] & 15u);
    qp(mb.cbp, mb.qp_delta);
    for (int i = 0; i < (is8 ? 4 : 16); ++i) {
        const bool coded = is8 ? (mb.cbp >> i) & 1 : ((mb.cbp >> (i >> 2)) & 1) && ((mb.cbp4x4[i >> 2] >> (i & 3)) & 1);
        if (coded && !residual(mb.luma[i], true, !is8))
            return false;
    }
    for (int bit = 4; bit < 8; ++bit)
        if ((mb.cbp >> bit) & 1 && !residual(mb.chroma[bit - 4], false, false))
            return false;
    cur.cbp = mb.cbp;
    cur.ref[0] = cur.ref[1] = cur.ref[2] = cur.ref[3] = -2;
    modes.store(x, y, mb);
    return true;
}

bool AecSliceWriter::skip(uint32_t addr, int32_t avail)
{
    next_mb(addr, avail);
    Mb& cur = pic_.at(addr);
    cur = Mb{};
    aec_.mb_skip_run(1);
    aec_.clear_qp_delta();
    if (kind_ == AecPictureKind::kP) {
        for (int32_t& r : cur.ref)
            r = 0;
    } else {
        cur.type_code = 30;
    }
    return true;
}

void AecSliceWriter::mvd(const int32_t value[2], int list, int block, const Mb& cur, bool b_picture)
{
    // The left neighbour: the block to the left in this macroblock, else the left macroblock's.
    const Mb* l = (block & 1) ? &cur : left();
    const int lb = (block & 1) ? block - 1 : block + 1;
    for (int c = 0; c < 2; ++c) {
        const int m = l ? std::abs(l->mvd[list][lb][c]) : 0;
        int inc = m < 2 ? 0 : m < 16 ? 1 : 2;
        if (b_picture && inc) {
            const int d = cur.dir[block];
            const int dl = l ? l->dir[lb] : -1;
            const bool same = ((d == 0 || d == 2) && (dl == 0 || dl == 2)) || (d == 1 && (dl == 1 || dl == 2));
            if (!same)
                inc = 0;
        }
        aec_.mvd(value[c], c, inc);
    }
}

bool AecSliceWriter::inter_residual(uint32_t pattern, int32_t qp_delta, const CoefList luma[4],
                                    const CoefList chroma[4], Mb& cur)
{
    const uint32_t fmt = params_.chroma_format;
    if (pattern & ~chroma_mask(fmt)) {
        error_ = "arithmetic mode: coded block pattern outside the format";
        return false;
    }
    cbp(fmt == 2 ? (pattern & 15) : pattern);
    if (fmt == 2)
        cbp((pattern >> 4) & 15);
    qp(pattern, qp_delta);
    for (int i = 0; i < 4; ++i)
        if ((pattern >> i) & 1 && !residual(luma[i], true, false))
            return false;
    for (int bit = 4; bit < 8; ++bit)
        if ((pattern >> bit) & 1 && !residual(chroma[bit - 4], false, false))
            return false;
    cur.cbp = pattern;
    return true;
}

bool AecSliceWriter::p(uint32_t addr, int32_t avail, const PMb& mb)
{
    next_mb(addr, avail);
    Mb& cur = pic_.at(addr);
    cur = Mb{};
    aec_.mb_skip_run(0);
    aec_.mb_type_p(static_cast<uint32_t>(mb.kind) - 2);
    // Blocks of each partition, in coding order.
    static const int kBlocks[4][4][2] = {{{0, 3}}, {{0, 1}, {2, 3}}, {{0, 2}, {1, 3}}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}};
    const auto& parts = kBlocks[static_cast<int>(mb.kind) - 2];
    const int count = p_partitions(mb.kind);
    auto covers = [&](int part, int block) {
        const int a = parts[part][0], z = parts[part][1];
        if (mb.kind == PKind::k16x16)
            return true;
        if (mb.kind == PKind::k8x16)
            return (block & 1) == a;
        return block == a || block == z;
    };
    for (int i = 0; i < count; ++i) {
        const int first = parts[i][0];
        if (!single_ref_) {
            // Neighbours A and B of the partition's first block.
            const int32_t a = (first & 1) ? cur.ref[first - 1] : (left() ? left()->ref[first + 1] : -1);
            const int32_t b = (first & 2) ? cur.ref[first - 2] : (top() ? top()->ref[first + 2] : -1);
            aec_.ref_idx(mb.ref_idx[i], (b > 0 ? 2 : 0) + (a > 0 ? 1 : 0), false);
        }
        cur.ref[first] = single_ref_ ? 0 : static_cast<int32_t>(mb.ref_idx[i]);
    }
    for (int i = 0; i < count; ++i) {
        mvd(mb.mvd[i], 0, parts[i][0], cur, false);
        for (int k = 0; k < 4; ++k)
            if (covers(i, k)) {
                cur.mvd[0][k][0] = mb.mvd[i][0];
                cur.mvd[0][k][1] = mb.mvd[i][1];
                cur.ref[k] = single_ref_ ? 0 : static_cast<int32_t>(mb.ref_idx[i]);
            }
    }
    return inter_residual(mb.cbp, mb.qp_delta, mb.luma, mb.chroma, cur);
}

bool AecSliceWriter::b(uint32_t addr, int32_t avail, const BMb& mb)
{
    next_mb(addr, avail);
    Mb& cur = pic_.at(addr);
    cur = Mb{};
    if (mb.type < kBDirect || mb.type > kB8x8) {
        error_ = "arithmetic mode: B type outside 7..29";
        return false;
    }
    aec_.mb_skip_run(0);
    {
        const Mb *l = left(), *t = top();
        const int inc = (l && l->type_code != 0 && l->type_code != 30) + (t && t->type_code != 0 && t->type_code != 30);
        aec_.mb_type_b(mb.type - kBDirect, inc);
    }
    cur.type_code = static_cast<int32_t>(mb.type - kBDirect);
    BDir dirs[4];
    b_block_dirs(mb.type, mb.sub, dirs);
    for (int i = 0; i < 4; ++i)
        cur.dir[i] = dirs[i] == kDirDirect ? -1 : dirs[i];
    for (int i = 0; i < 4; ++i) {
        const int l = (i & 1) ? cur.dir[i - 1] : (left() ? left()->dir[i + 1] : -1);
        if (cur.dir[i] == kDirBwd && l == kDirSym) {
            error_ = "arithmetic mode: a backward block right of a symmetric one";
            return false;
        }
    }
    if (mb.type == kB8x8)
        for (int i = 0; i < 4; ++i)
            aec_.mb_part_type(mb.sub[i] & 3);

    // Coded vectors in coding order: (list, first block, blocks it fills).
    struct Coded {
        int list, block;
        unsigned fill;
    };
    std::vector<Coded> order;
    if (mb.type >= kBFwd16x16 && mb.type <= kBSym16x16) {
        order.push_back({mb.type == kBBwd16x16 ? 1 : 0, 0, 15u});
    } else if (mb.type > kBSym16x16 && mb.type < kB8x8) {
        BDir p[2];
        b_partition_dirs(mb.type, p);
        const bool wide = (mb.type & 1) != 0;
        const int first[2] = {0, wide ? 2 : 1};
        const unsigned fill[2] = {wide ? 3u : 5u, wide ? 12u : 10u};
        for (int part = 0; part < 2; ++part)
            if (p[part] != kDirBwd)
                order.push_back({0, first[part], fill[part]});
        for (int part = 0; part < 2; ++part)
            if (p[part] == kDirBwd)
                order.push_back({1, first[part], fill[part]});
    } else if (mb.type == kB8x8) {
        for (int i = 0; i < 4; ++i)
            if (dirs[i] == kDirFwd || dirs[i] == kDirSym)
                order.push_back({0, i, 1u << i});
        for (int i = 0; i < 4; ++i)
            if (dirs[i] == kDirBwd)
                order.push_back({1, i, 1u << i});
    }
    int n = 0;
    for (const Coded& c : order) {
        mvd(mb.mvd[n], c.list, c.block, cur, true);
        for (int k = 0; k < 4; ++k)
            if (c.fill & (1u << k)) {
                cur.mvd[c.list][k][0] = mb.mvd[n][0];
                cur.mvd[c.list][k][1] = mb.mvd[n][1];
            }
        ++n;
    }
    return inter_residual(mb.cbp, mb.qp_delta, mb.luma, mb.chroma, cur);
}

bool AecSliceWriter::finish(BitWriter& w)
{
    if (!error_.empty()) {
        w.fail(error_);
        return false;
    }
    aec_.end_of_slice(true);
    const std::vector<uint8_t> bytes = aec_.finish();
    if (bytes.empty()) {
        w.fail("arithmetic mode: " + aec_.encoder().error());
        return false;
    }
    w.put_bytes(bytes.data(), bytes.size());
    return w.ok();
}

} // namespace svacwriter
