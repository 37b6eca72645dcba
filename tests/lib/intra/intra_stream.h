// Random intra streams for the decoder tests and the benchmark: syntax values chosen at random
// within what the syntax and the neighbour rules allow, written with the stream writer, and
// the pictures the independent model reconstructs from the same values.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "picture_model.h"
#include "svacwriter/svac_writer.h"

namespace intra_test {

struct StreamConfig {
    uint32_t mb_width = 4, mb_height = 3;
    uint32_t chroma_format = 1;
    int32_t bit_depth = 8;
    bool svc = false;                            // base layer and an enhancement layer
    std::vector<svacwriter::RoiRect> rects;      // regions of interest (base addresses)
    bool fixed_qp = false;
    uint32_t pictures = 2;
    uint32_t max_slices = 2;                     // slices per region (raster splits)
    bool rects_first = false;                    // rectangle slices before the background's
    uint32_t seed = 1;
    uint32_t max_coefs = 8;                      // per block
    bool all_dc = false;                         // low-pass modes only, no residual
    bool loop_filter = false;                    // deblocking on, with random slice offsets
};

struct Built {
    std::vector<uint8_t> bytes;
    // Expected pictures per layer, in decoding order.
    std::vector<intra_model::Picture> expected[2];
    uint64_t macroblocks = 0;
    uint64_t filtered_samples = 0;               // samples the model's deblocking changed
};

Built build_stream(const StreamConfig &cfg);

// Random (level, advance) list of a block with n x n coefficients, coding order.
svacwriter::CoefList random_coefs(std::mt19937 &rng, int n, uint32_t max_coefs);

} // namespace intra_test
