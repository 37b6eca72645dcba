// Independent picture model of intra coding: reconstructs a layer's picture from the syntax
// values a stream was written from. Neighbour samples come straight from the picture being
// built (never from line buffers), availability from the slice and region rules, and every
// sample computation goes through the kernel tables.
#pragma once
#include <cstdint>
#include <vector>

#include "svacwriter/mb_writer.h"
#include "svacwriter/param_sets.h"

namespace intra_model {

struct Picture {
    int32_t width[3] = {}, height[3] = {};
    int32_t stride[3] = {};          // bytes
    int32_t planes = 1;
    int32_t bit_depth = 8;
    std::vector<uint8_t> data[3];

    void allocate(int32_t luma_w, int32_t luma_h, uint32_t chroma_format, int32_t depth);
    int32_t get(int p, int32_t x, int32_t y) const;
    void set(int p, int32_t x, int32_t y, int32_t v);
    uint8_t *at(int p, int32_t x, int32_t y);
};

struct CodedMb {
    uint32_t addr = 0;
    svacwriter::IntraMb mb;
};

struct CodedSlice {
    uint32_t first_mb = 0;
    int32_t slice_qp = 0;            // with the bit-depth offset
    bool fixed_qp = true;
    bool loop_filter = false;        // the picture parameter set leaves the filter on
    int32_t alpha_offset = 0;        // offsets in force for the slice
    int32_t beta_offset = 0;
    std::vector<CodedMb> mbs;        // decoding order
};

struct LayerGeometry {
    uint32_t mb_width = 0, mb_height = 0;
    uint32_t chroma_format = 1;
    int32_t bit_depth = 8;
    bool roi_flag = false;
    std::vector<svacwriter::RoiRect> rects;   // in this layer's addresses
};

// Region of a macroblock: the lowest rectangle index that holds it, or -1.
int32_t region_of(const LayerGeometry &g, uint32_t addr);

// Neighbour availability (1 left, 2 top, 4 top-right, 8 top-left) of the macroblock at addr in
// a slice whose number and first address are given, from the slices recorded so far.
class AvailabilityTracker {
public:
    explicit AvailabilityTracker(const LayerGeometry &g);
    int32_t avail(uint32_t addr, int32_t slice_number, uint32_t first_mb) const;
    void decoded(uint32_t addr, int32_t slice_number);

private:
    LayerGeometry g_;
    std::vector<int32_t> slice_of_;
};

// Reconstructs the slices in order, then deblocks the picture where the slices ask for it.
// base: the finished base-layer picture of the same instant for an enhancement layer (null for
// a base layer). filtered, when given, receives the number of samples the deblocking changed.
Picture reconstruct(const LayerGeometry &g, const std::vector<CodedSlice> &slices, const Picture *base,
                    uint64_t *filtered = nullptr);

// One intra macroblock predicted and reconstructed into pic, neighbour samples from pic itself;
// qp is the macroblock's QP after its change.
void reconstruct_intra_mb(const LayerGeometry &g, Picture &pic, const CodedMb &cm, int32_t avail, int32_t qp);

// Chroma QP of a luma QP, both with the bit-depth offset.
int32_t chroma_qp_of(int32_t qp, int32_t depth);

// Mode substitution when a neighbour is missing, as the decoder applies it (-1: none).
int32_t luma_substitute(int32_t mode, bool left_missing, bool top_missing);
int32_t chroma_substitute(int32_t mode, bool left_missing, bool top_missing);

} // namespace intra_model
