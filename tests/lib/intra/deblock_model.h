// Deblocking of a finished intra picture: one raster pass over the macroblocks, each edge
// decided from the macroblocks on its two sides and filtered through the edge kernel table.
#pragma once
#include <cstdint>
#include <vector>

#include "picture_model.h"

namespace intra_model {

struct MbFilter {
    bool decoded = false;
    bool filter = false;          // the slice leaves the loop filter on
    bool four = false;            // I_4X4: its 4x4 block edges are filtered too
    int32_t qp = 0;               // with the bit-depth offset
    int32_t avail = 0;            // 1 left, 2 top
    int32_t alpha_offset = 0, beta_offset = 0;
};

// mbs: one entry per macroblock address. Returns the number of samples changed.
uint64_t deblock_picture(const LayerGeometry &g, const std::vector<MbFilter> &mbs, Picture &pic);

} // namespace intra_model
