// Streams of I, P and B pictures written macroblock by macroblock from syntax values, with the
// pictures the intra and inter models reconstruct for the I and P pictures, and the expected
// B picture from known block vectors.
#pragma once
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "inter_model.h"
#include "svacwriter/mb_inter_writer.h"
#include "svacwriter/svac_writer.h"

namespace b_test {

using intra_model::Picture;

struct Geometry {
    uint32_t mb_width = 4, mb_height = 3;
    uint32_t chroma_format = 1;
    int32_t bit_depth = 8;
    bool loop_filter = false;
    bool svc = false;               // an enhancement layer of twice the size
};

// A B macroblock as written: nullopt is a skipped macroblock.
using BMbs = std::vector<std::optional<svacwriter::BMb>>;

// Pictures go to the base layer (0) or the enhancement layer (1), each with its own references.
class StreamBuilder {
public:
    StreamBuilder(const Geometry &geometry, uint32_t seed);

    // A textured I picture (IDR when it is the layer's first), returned as the model
    // reconstructs it.
    const Picture &intra(uint32_t frame_num, int layer = 0);
    // A P picture of one macroblock per address (skipped, coded with reference 0 only, or
    // intra: textured like the I pictures, whatever the entry holds).
    const Picture &p(uint32_t frame_num, const std::vector<inter_model::PCodedMb> &mbs, int layer = 0);
    // A B picture, one entry per address.
    void b(uint32_t frame_num, const BMbs &mbs, int layer = 0);

    std::vector<uint8_t> bytes() const;
    const inter_model::LayerGeometry &layer(int l = 0) const { return layers_[l].g; }
    // References as a B picture sees them: [0] backward (newest I/P), [1] forward.
    const Picture &ref(int i, int l = 0) const
    {
        return layers_[l].refs[layers_[l].refs.size() - 1 - static_cast<size_t>(i)];
    }
    uint32_t mb_count(int l = 0) const { return layers_[l].g.mb_width * layers_[l].g.mb_height; }
    std::mt19937 &rng() { return rng_; }

private:
    struct Layer {
        inter_model::LayerGeometry g;
        std::vector<Picture> refs;
        std::vector<int32_t> ref_pocs;
    };
    void reference(Layer &layer, Picture pic, uint32_t frame_num);
    uint32_t nal_type(int layer) const;
    svacwriter::IntraMb textured_intra(const Layer &layer, const svacwriter::IntraModeMap &map, uint32_t x,
                                       uint32_t y, int32_t avail);

    Layer layers_[2];
    svacwriter::Sps sps_;
    svacwriter::Pps pps_;
    std::vector<svacwriter::NalUnit> units_;
    std::mt19937 rng_;
};

// Motion of one 8x8 block of a B macroblock: which lists predict it and their vectors.
struct BBlock {
    bool fwd = false, bwd = false;
    int32_t fx = 0, fy = 0, bx = 0, by = 0;
};

// The B picture predicted from the forward and backward references with the given block
// motion (4 per macroblock, raster inside it); both lists give the rounded average.
Picture predict_b(const inter_model::LayerGeometry &g, const Picture &fwd, const Picture &bwd,
                  const std::vector<BBlock> &blocks);

// Block motion of a macroblock whose vectors are all zero, from its type's directions.
void zero_motion(uint32_t type, const uint32_t sub[4], BBlock out[4]);

} // namespace b_test
