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

// B macroblock types with the values a decoder gives them; 11..28 are the two-partition types
// (odd 16x8, even 8x16), whose directions b_partition_dirs gives.
enum BType : uint32_t { kBDirect = 7, kBFwd16x16 = 8, kBBwd16x16 = 9, kBSym16x16 = 10, kB8x8 = 29 };
enum BDir : int { kDirFwd = 0, kDirBwd = 1, kDirSym = 2, kDirDirect = 3 };
// B_8X8 sub-types as coded.
enum BSub : uint32_t { kSubDirect = 0, kSubFwd = 1, kSubBwd = 2, kSubSym = 3 };

// Directions of the two partitions of types 11..28 (partition 0: upper or left).
void b_partition_dirs(uint32_t type, BDir dirs[2]);
// Direction of each 8x8 block (raster) of a B macroblock.
void b_block_dirs(uint32_t type, const uint32_t sub[4], BDir dirs[4]);
// Number of vector differences the type carries.
int b_mvd_count(uint32_t type, const uint32_t sub[4]);

// Syntax values of one coded B macroblock (types 7..29). mvd in coding order: 16x16 types one;
// two-partition types partition 0 forward, partition 1 forward, partition 0 backward, partition
// 1 backward, each only where the partition has that list (symmetric partitions code only
// their forward vector); B_8X8 the forward vectors of forward and symmetric sub-blocks, then
// the backward vectors of backward sub-blocks, each in raster order.
struct BMb {
    uint32_t type = kBDirect;
    uint32_t sub[4] = {};           // B_8X8 sub-types
    int32_t mvd[8][2] = {};
    uint32_t cbp = 0;
    int32_t qp_delta = 0;
    CoefList luma[4];
    CoefList chroma[4];
};

// Writes the macroblock from its type on; field pictures code a zero reference index per
// vector (params.field). False, with the writer failed, when a value cannot be coded.
bool write_b_mb(BitWriter& w, const BMb& mb, const PLayerParams& params);

// Code numbers of an inter coded block pattern: the 4:2:0 map over 6 bits and the 4-bit map;
// -1 when the pattern is not in the map.
int32_t inter_cbp_code_420(uint32_t cbp);
int32_t inter_cbp_code_4bit(uint32_t cbp);

} // namespace svacwriter

#endif
