// Macroblock layer of the SVAC stream writer, Exp-Golomb (VLC) mode: residual blocks through
// the two-dimensional code tables, and intra macroblocks with their modes, coded block
// pattern and QP change. The writer chooses nothing: it codes the values it is given and fails
// on values that the syntax cannot carry.
#ifndef SVACWRITER_MB_WRITER_H
#define SVACWRITER_MB_WRITER_H

#include <cstdint>
#include <vector>

#include "svacwriter/bit_writer.h"

namespace svacwriter {

// One coefficient: its level (non-zero) and its advance, the run of zeros before it plus one.
struct CoefPair {
    int32_t level = 0;
    uint32_t advance = 1;
};
// A block's pairs in coding order: the highest frequency first.
using CoefList = std::vector<CoefPair>;

enum class VlcTableSet {
    kIntraLuma,   // luma of intra macroblocks, escape order 1
    kInterLuma,   // luma of inter macroblocks, escape order 0
    kChroma,      // chroma of every macroblock, escape order 0
};

// Writes a block's pairs, switching tables as the levels ask and escaping pairs that the
// current table lacks, then the end-of-block code unless the list fills the block's pair limit
// (65 for 8x8 blocks, 17 for 4x4). 4x4 blocks always use escape order 1. False (writer
// failed) for a pair the code cannot carry.
bool write_coef_block(BitWriter& w, VlcTableSet set, const CoefList& pairs, bool block4x4);

// Number of tables of a set; for tests that walk all of them.
int vlc_table_count(VlcTableSet set);
// Code number of (level, advance) in table t of a set, or -1 when the table has no such entry;
// end-of-block code for level 0.
int32_t vlc_code_of(VlcTableSet set, int t, int32_t level, uint32_t advance);

enum class IntraKind { k4x4, k8x8 };

// Syntax values of one intra macroblock.
struct IntraMb {
    IntraKind kind = IntraKind::k8x8;
    bool base_pred_flag = false;    // coded in enhancement-layer slices only
    // Luma modes in block order (16 for I_4X4, four 8x8 blocks in raster order for I_8X8),
    // as the decoder derives them: the predicted mode, or another of 0..4 (coded through a
    // two-bit remainder). With base_pred_flag every mode must be the predicted one.
    int32_t luma_modes[16] = {};
    int32_t chroma_modes[2] = {};   // 0..6; [1] for the lower block of 4:2:2
    uint32_t cbp = 0;               // bits 0..3 luma 8x8, 4 Cb, 5 Cr, 6/7 lower Cb/Cr (4:2:2)
    uint8_t cbp4x4[4] = {};         // I_4X4: per 8x8 block with its cbp bit, its 4x4 blocks
    int32_t qp_delta = 0;           // coded when cbp is not 0 and the slice QP is not fixed
    CoefList luma[16];              // per coded 4x4 block (I_4X4) or 8x8 block (I_8X8)
    CoefList chroma[4];             // Cb, Cr, lower Cb, lower Cr
};

struct MbLayerParams {
    uint32_t chroma_format = 1;     // 0 luma only, 1 4:2:0, 2 4:2:2
    bool enhancement = false;       // slice of the enhancement layer of a two-layer stream
    bool fixed_slice_qp = true;
    uint32_t type_offset = 0;       // added to the intra type: 0 in I slices, 4 in P, 23 in B
};

// The coded luma modes of a picture's macroblocks, for mode prediction.
class IntraModeMap {
public:
    IntraModeMap(uint32_t mb_width, uint32_t mb_height);

    // Predicted mode of block `block` of the macroblock at (x, y): the smaller of the modes
    // above and to the left, or 2 when either is missing. `modes` holds the macroblock's
    // modes of the blocks before `block`; left and top tell whether those neighbours count.
    int32_t predict(uint32_t x, uint32_t y, bool left, bool top, IntraKind kind, const int32_t* modes,
                    int block) const;
    void store(uint32_t x, uint32_t y, const IntraMb& mb);

private:
    int32_t cell(uint32_t x, uint32_t y, int cx, int cy) const;
    uint32_t width_, height_;
    std::vector<int32_t> cells_;    // 16 per macroblock, 4x4 granularity, raster inside
};

// Writes the macroblock (its type first) and stores its modes in the map. False, with the
// writer failed, when a value cannot be coded.
bool write_intra_mb(BitWriter& w, const IntraMb& mb, const MbLayerParams& params, IntraModeMap& modes,
                    uint32_t mb_x, uint32_t mb_y, bool left_available, bool top_available);

// Code numbers of a coded block pattern (intra column): the 4:2:0 map over 6 bits and the
// 4-bit map; -1 when the pattern is not in the map.
int32_t intra_cbp_code_420(uint32_t cbp);
int32_t intra_cbp_code_4bit(uint32_t cbp);

} // namespace svacwriter

#endif
