// Inter macroblocks of P pictures for the SVAC stream writer, Exp-Golomb (VLC) mode: the skip
// run, the macroblock type, reference indices, vector differences, the inter coded block
// pattern with its QP change and the residual blocks. Like the intra writer it chooses
// nothing: it codes the values it is given.
#ifndef SVACWRITER_MB_INTER_WRITER_H
#define SVACWRITER_MB_INTER_WRITER_H

#include <cstdint>

#include "svacwriter/bit_writer.h"
#include "svacwriter/mb_writer.h"

namespace svacwriter {

// Partition shapes with the type values a decoder gives them.
enum class PKind : uint32_t { k16x16 = 2, k16x8 = 3, k8x16 = 4, k8x8 = 5 };

int p_partitions(PKind kind);

// Syntax values of one coded P macroblock; partitions in coding order (16x8: upper, lower;
// 8x16: left, right; 8x8: raster).
struct PMb {
    PKind kind = PKind::k16x16;
    uint32_t ref_idx[4] = {};       // coded unless the slice has single_ref_flag
    int32_t mvd[4][2] = {};         // vector differences (x, y), quarter samples
    uint32_t cbp = 0;               // bits 0..3 luma 8x8, 4 Cb, 5 Cr, 6/7 lower Cb/Cr (4:2:2)
    int32_t qp_delta = 0;           // coded when cbp is not 0 and the slice QP is not fixed
    CoefList luma[4];
    CoefList chroma[4];             // Cb, Cr, lower Cb, lower Cr
};

struct PLayerParams {
    uint32_t chroma_format = 1;
    bool fixed_slice_qp = true;
    bool single_ref = false;
    bool field = false;             // reference indices of field pictures take two bits
};

// The number of skipped macroblocks before the next coded one (or before the slice's end).
void write_skip_run(BitWriter& w, uint32_t run);

// Writes the macroblock from its type on. False, with the writer failed, when a value cannot
// be coded.
bool write_p_mb(BitWriter& w, const PMb& mb, const PLayerParams& params);

// Code numbers of an inter coded block pattern: the 4:2:0 map over 6 bits and the 4-bit map;
// -1 when the pattern is not in the map.
int32_t inter_cbp_code_420(uint32_t cbp);
int32_t inter_cbp_code_4bit(uint32_t cbp);

} // namespace svacwriter

#endif
