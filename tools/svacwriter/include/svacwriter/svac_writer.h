// SVAC stream writer: everything a test or benchmark needs to build streams.
//
//   using namespace svacwriter;
//   Sps sps;                       // defaults: 4x3 macroblocks, 4:2:0, 8-bit
//   Pps pps;
//   SliceHeader sh;                // I slice at address 0
//   std::vector<uint8_t> stream = make_stream({
//       sps_unit(sps), pps_unit(pps, sps),
//       slice_unit(sh, sps, pps, kNalIdrBase, StartCode::kThreeByte)});
//
// An empty stream means some unit failed; each NalUnit carries its error.
#ifndef SVACWRITER_SVAC_WRITER_H
#define SVACWRITER_SVAC_WRITER_H

#include "svacwriter/bit_writer.h"
#include "svacwriter/ext_writer.h"
#include "svacwriter/nal_writer.h"
#include "svacwriter/param_sets.h"
#include "svacwriter/sec_writer.h"
#include "svacwriter/slice_header.h"

#endif
