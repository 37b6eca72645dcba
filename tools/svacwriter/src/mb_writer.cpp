#include "svacwriter/mb_writer.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "vlc_code_tables.h"

namespace svacwriter {

namespace {

// One code table in encoder form.
struct EncTable {
    int order = 0;
    int64_t threshold = 0;
    uint32_t max_advance = 0;
    std::vector<int> ref_levels;
    int eob_code = 0;
    std::map<std::pair<int32_t, uint32_t>, int32_t> codes;   // (level, advance) -> code number
};

std::vector<EncTable> build_set(int set)
{
    int count = 0;
    const detail::RowText* rows = detail::rows_of(set, &count);
    std::vector<EncTable> tables(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const detail::RowText& r = rows[i];
        EncTable& t = tables[static_cast<size_t>(i)];
        t.order = r.order;
        t.threshold = r.threshold < 0 ? INT64_MAX : r.threshold;
        t.max_advance = static_cast<uint32_t>(r.max_advance);
        t.eob_code = r.eob_code;
        std::istringstream refs(r.ref_levels);
        for (int v; refs >> v;)
            t.ref_levels.push_back(v);
        std::istringstream entries(r.entries);
        int32_t code = 0;
        for (std::string item; entries >> item;) {
            const size_t colon = item.find(':');
            const int32_t level = std::stoi(item.substr(0, colon));
            const uint32_t advance = static_cast<uint32_t>(std::stoul(item.substr(colon + 1)));
            for (int sign : {1, -1}) {
                if (code == t.eob_code)
                    ++code;
                t.codes[{sign * level, advance}] = code++;
            }
        }
    }
    return tables;
}

const std::vector<EncTable>& tables_of(VlcTableSet set)
{
    static const std::vector<EncTable> intra = build_set(0);
    static const std::vector<EncTable> inter = build_set(1);
    static const std::vector<EncTable> chroma = build_set(2);
    switch (set) {
    case VlcTableSet::kIntraLuma: return intra;
    case VlcTableSet::kInterLuma: return inter;
    default: return chroma;
    }
}

int escape_order(VlcTableSet set, bool block4x4)
{
    if (block4x4)
        return 1;
    return set == VlcTableSet::kIntraLuma ? 1 : 0;
}

// Cell (cx, cy) of the 4x4 grid that block i of a macroblock covers first.
void block_cell(IntraKind kind, int i, int* cx, int* cy)
{
    if (kind == IntraKind::k8x8) {
        *cx = 2 * (i & 1);
        *cy = 2 * (i >> 1);
        return;
    }
    const int q = i >> 2, j = i & 3;
    *cx = 2 * (q & 1) + (j & 1);
    *cy = 2 * (q >> 1) + (j >> 1);
}

int block_of_cell(IntraKind kind, int cx, int cy)
{
    if (kind == IntraKind::k8x8)
        return (cy >> 1) * 2 + (cx >> 1);
    return ((cy >> 1) * 2 + (cx >> 1)) * 4 + (cy & 1) * 2 + (cx & 1);
}

int32_t find_code(const uint8_t* map, int size, uint32_t cbp)
{
    for (int c = 0; c < size; ++c)
        if (map[c] == cbp)
            return c;
    return -1;
}

} // namespace

int vlc_table_count(VlcTableSet set) { return static_cast<int>(tables_of(set).size()); }

int32_t vlc_code_of(VlcTableSet set, int t, int32_t level, uint32_t advance)
{
    const auto& tables = tables_of(set);
    if (t < 0 || t >= static_cast<int>(tables.size()))
        return -1;
    const EncTable& table = tables[static_cast<size_t>(t)];
    if (level == 0)
        return table.eob_code;
    const auto it = table.codes.find({level, advance});
    return it == table.codes.end() ? -1 : it->second;
}

bool write_coef_block(BitWriter& w, VlcTableSet set, const CoefList& pairs, bool block4x4)
{
    const auto& tables = tables_of(set);
    const size_t max_pairs = block4x4 ? 17 : 65;
    const uint32_t max_advance = block4x4 ? 16 : 64;
    if (pairs.size() > max_pairs) {
        w.fail("coefficient block: too many pairs");
        return false;
    }
    size_t t = 0;
    for (const CoefPair& p : pairs) {
        const EncTable& table = tables[t];
        const int64_t magnitude = std::llabs(static_cast<int64_t>(p.level));
        if (p.level == 0 || p.advance < 1) {
            w.fail("coefficient block: zero level or advance");
            return false;
        }
        const auto it = table.codes.find({p.level, p.advance});
        if (it != table.codes.end()) {
            w.put_ue_k(static_cast<uint32_t>(it->second), table.order);
        } else {
            if (p.advance > max_advance) {
                w.fail("coefficient block: escape advance beyond the block");
                return false;
            }
            const int64_t base = p.advance > table.max_advance ? 1 : table.ref_levels[p.advance - 1];
            if (magnitude < base) {
                w.fail("coefficient block: level below the escape base");
                return false;
            }
            const uint32_t code = 59 + 2 * (p.advance - 1) + (p.level > 0 ? 1 : 0);
            w.put_ue_k(code, table.order);
            w.put_ue_k(static_cast<uint32_t>(magnitude - base), escape_order(set, block4x4));
        }
        while (t + 1 < tables.size() && tables[t].threshold < magnitude)
            ++t;
    }
    if (pairs.size() < max_pairs)
        w.put_ue_k(static_cast<uint32_t>(tables[t].eob_code), tables[t].order);
    return w.ok();
}

int32_t intra_cbp_code_420(uint32_t cbp) { return find_code(detail::kIntraCbp420, 64, cbp); }
int32_t intra_cbp_code_4bit(uint32_t cbp) { return find_code(detail::kIntraCbp4bit, 16, cbp); }

IntraModeMap::IntraModeMap(uint32_t mb_width, uint32_t mb_height)
    : width_(mb_width), height_(mb_height), cells_(16 * static_cast<size_t>(mb_width) * mb_height, -1)
{
}

int32_t IntraModeMap::cell(uint32_t x, uint32_t y, int cx, int cy) const
{
    return cells_[16 * (static_cast<size_t>(y) * width_ + x) + static_cast<size_t>(4 * cy + cx)];
}

int32_t IntraModeMap::predict(uint32_t x, uint32_t y, bool left, bool top, IntraKind kind, const int32_t* modes,
                              int block) const
{
    int cx, cy;
    block_cell(kind, block, &cx, &cy);
    const int step = kind == IntraKind::k8x8 ? 2 : 1;
    int32_t up, lf;
    if (cy > 0)
        up = modes[block_of_cell(kind, cx, cy - step)];
    else if (top && y > 0)
        up = cell(x, y - 1, cx, 4 - step);    // 8x8: the upper-left 4x4 of the 8x8 block above
    else
        up = -1;
    if (cx > 0)
        lf = modes[block_of_cell(kind, cx - step, cy)];
    else if (left && x > 0)
        lf = cell(x - 1, y, 4 - step, cy);
    else
        lf = -1;
    return up < 0 || lf < 0 ? 2 : std::min(up, lf);
}

void IntraModeMap::store(uint32_t x, uint32_t y, const IntraMb& mb)
{
    int32_t* c = &cells_[16 * (static_cast<size_t>(y) * width_ + x)];
    for (int cy = 0; cy < 4; ++cy)
        for (int cx = 0; cx < 4; ++cx)
            c[4 * cy + cx] = mb.luma_modes[block_of_cell(mb.kind, cx, cy)];
}

bool write_intra_mb(BitWriter& w, const IntraMb& mb, const MbLayerParams& params, IntraModeMap& modes,
                    uint32_t mb_x, uint32_t mb_y, bool left_available, bool top_available)
{
    const bool is8 = mb.kind == IntraKind::k8x8;
    const uint32_t fmt = params.chroma_format;
    // The first coded block pattern code: 6 bits through the 4:2:0 map, else the luma bits.
    const int32_t code = fmt == 1 ? intra_cbp_code_420(mb.cbp & 63) : intra_cbp_code_4bit(mb.cbp & 15);
    const int32_t upper = fmt == 2 ? intra_cbp_code_4bit((mb.cbp >> 4) & 15) : 0;
    const uint32_t allowed = fmt == 1 ? 63u : fmt == 2 ? 255u : 15u;
    if (code < 0 || upper < 0 || (mb.cbp & ~allowed)) {
        w.fail("intra macroblock: coded block pattern outside the map");
        return false;
    }
    w.put_ue((is8 ? 1 + static_cast<uint32_t>(code) : 0) + params.type_offset);
    if (params.enhancement)
        w.put_bit(mb.base_pred_flag);

    const int blocks = is8 ? 4 : 16;
    for (int i = 0; i < blocks; ++i) {
        const int32_t pred = modes.predict(mb_x, mb_y, left_available, top_available, mb.kind, mb.luma_modes, i);
        const int32_t mode = mb.luma_modes[i];
        if (mb.base_pred_flag) {
            if (mode != pred) {
                w.fail("intra macroblock: a base-layer predicted block takes the predicted mode");
                return false;
            }
            continue;
        }
        if (mode == pred) {
            w.put_bit(true);
            continue;
        }
        const int32_t rem = mode < pred ? mode : mode - 1;
        if (rem < 0 || rem > 3) {
            w.fail("intra macroblock: luma mode not reachable from its predicted mode");
            return false;
        }
        w.put_bit(false);
        w.put_bits(static_cast<uint32_t>(rem), 2);
    }
    if (!mb.base_pred_flag && fmt != 0) {
        w.put_ue(static_cast<uint32_t>(mb.chroma_modes[0]));
        if (fmt == 2)
            w.put_ue(static_cast<uint32_t>(mb.chroma_modes[1]));
    }
    if (!is8)
        w.put_ue(static_cast<uint32_t>(code));
    if (fmt == 2)
        w.put_ue(static_cast<uint32_t>(upper));
    if (!is8) {
        for (int k = 0; k < 4; ++k) {
            if (!(mb.cbp & (1u << k)))
                continue;
            const int32_t c = intra_cbp_code_4bit(mb.cbp4x4[k]);
            if (c < 0) {
                w.fail("intra macroblock: 4x4 pattern outside the map");
                return false;
            }
            w.put_ue(static_cast<uint32_t>(c));
        }
    }
    if (mb.cbp != 0 && !params.fixed_slice_qp)
        w.put_se(mb.qp_delta);

    for (int i = 0; i < blocks; ++i) {
        const bool coded = is8 ? (mb.cbp >> i) & 1 : ((mb.cbp >> (i >> 2)) & 1) && ((mb.cbp4x4[i >> 2] >> (i & 3)) & 1);
        if (coded && !write_coef_block(w, VlcTableSet::kIntraLuma, mb.luma[i], !is8))
            return false;
    }
    for (int bit = 4; bit < 8; ++bit)
        if ((mb.cbp >> bit) & 1 && !write_coef_block(w, VlcTableSet::kChroma, mb.chroma[bit - 4], false))
            return false;
    modes.store(mb_x, mb_y, mb);
    return w.ok();
}

} // namespace svacwriter
