// Slice header of the SVAC stream writer. A slice unit is the header followed
// by slice data, then the trailing bits:
//
//   BitWriter w;
//   write_slice_header(w, sh, sps, pps, kNalIdrBase);
//   ... append macroblock data to w (align first in arithmetic mode) ...
//   NalUnit unit = finish_unit(nal_header(kNalIdrBase), w);
//
// slice_unit() does the same for a slice without data.
#ifndef SVACWRITER_SLICE_HEADER_H
#define SVACWRITER_SLICE_HEADER_H

#include <cstdint>

#include "svacwriter/bit_writer.h"
#include "svacwriter/nal_writer.h"
#include "svacwriter/param_sets.h"

namespace svacwriter {

enum SliceType : uint32_t {
    kSliceP = 0,
    kSliceB = 1,
    kSliceI = 2,
};

// Slice header syntax values. Presence depends on the NAL type, the sequence
// and the picture parameter set, passed to write_slice_header.
struct SliceHeader {
    uint32_t pps_id = 0;            // ue(v)
    uint32_t frame_num = 0;         // u(8)
    uint32_t idr_pic_id = 0;        // ue(v), IDR units (types 2 and 4) only
    // Written only when the sequence is not frame_only_flag. It still decides
    // whether a B slice carries single_ref_flag when it is not written: set
    // it to the value a reader keeps from an earlier slice.
    bool field_pic_flag = false;
    bool bottom_field_flag = false; // written when field_pic_flag is written as 1
    uint32_t first_mb_in_slice = 0; // ue(v)
    uint32_t slice_type = kSliceI;  // ue(v); coded 3..5 mean 0..2
    // P slices, and B slices with field_pic_flag.
    bool single_ref_flag = false;
    // Both present unless the picture parameter set has fixed_pic_qp.
    bool fixed_slice_qp = true;
    int32_t slice_qp_delta = 0;     // se(v)
    // Present unless the picture parameter set has loop_filter_disable_flag.
    bool filter_param_flag = false;
    int32_t alpha_offset = 0;       // se(v), with filter_param_flag
    int32_t beta_offset = 0;        // se(v), with filter_param_flag
};

bool is_idr_type(uint32_t nal_type);

// Writes the header fields in bitstream order. False when the writer failed.
bool write_slice_header(BitWriter& w, const SliceHeader& sh, const Sps& sps, const Pps& pps,
                        uint32_t nal_type);

// Complete slice unit without slice data.
NalUnit slice_unit(const SliceHeader& sh, const Sps& sps, const Pps& pps, uint32_t nal_type,
                   StartCode start_code = StartCode::kFourByte);

} // namespace svacwriter

#endif
