// Independent model of P pictures: reconstructs a picture from the syntax values it was
// written from. Vectors are predicted from the model's own per-block motion field, reference
// windows are cut out with clamped coordinates, and every sample computation goes through the
// kernel tables. Intra macroblocks use the intra picture model.
#pragma once
#include <cstdint>
#include <vector>

#include "picture_model.h"
#include "svacwriter/mb_inter_writer.h"

namespace inter_model {

using intra_model::LayerGeometry;
using intra_model::Picture;

// Motion of one 8x8 block: quarter-sample vector and reference index (-1 none, -2 intra).
struct Motion {
    int32_t x = 0, y = 0, ref = -1;
};

enum class MbKind { kIntra, kSkip, kCoded };

struct PCodedMb {
    uint32_t addr = 0;
    MbKind kind = MbKind::kSkip;
    svacwriter::IntraMb intra;
    svacwriter::PMb p;
};

struct PSlice {
    uint32_t first_mb = 0;
    int32_t slice_qp = 0;            // with the bit-depth offset
    bool fixed_qp = true;
    bool loop_filter = false;
    int32_t alpha_offset = 0, beta_offset = 0;
    bool single_ref = false;
    std::vector<PCodedMb> mbs;       // every macroblock of the slice, skipped ones included
};

struct References {
    const Picture *pic[2] = {};      // newest first
    int32_t distance[2] = {};        // picture distances (POC difference mod 512)
};

// Vector component scaled from a neighbour's reference to the current one.
int32_t scale_component(int32_t v, int32_t distance, int32_t neighbour_distance);

// One list's prediction of an n x n luma block at luma sample (lx, ly) of cur, with its chroma,
// from the quarter-sample position (qx, qy) of ref; reference samples outside are clamped.
void predict_block(const Picture &ref, Picture &cur, const LayerGeometry &g, int n, int32_t lx, int32_t ly,
                   int64_t qx, int64_t qy);

// Reconstructs and (where the slices ask) deblocks a P picture. motion, when given, receives
// the four block vectors of every macroblock (raster inside the macroblock).
Picture reconstruct_p(const LayerGeometry &g, const std::vector<PSlice> &slices, const References &refs,
                      std::vector<Motion> *motion = nullptr, uint64_t *filtered = nullptr);

} // namespace inter_model
