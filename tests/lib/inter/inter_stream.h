// Random streams of one I picture followed by P pictures, written with the stream writer from
// syntax values chosen at random, and the pictures the models reconstruct from those values.
#pragma once
#include <cstdint>
#include <vector>

#include "inter_model.h"

namespace inter_test {

struct StreamConfig {
    uint32_t mb_width = 4, mb_height = 3;
    uint32_t chroma_format = 1;
    int32_t bit_depth = 8;
    uint32_t p_pictures = 3;
    uint32_t max_slices = 2;
    bool loop_filter = false;
    bool fixed_qp = false;
    uint32_t seed = 1;
    int32_t intra_percent = 10;      // share of intra macroblocks in P pictures
    int32_t skip_percent = 30;
    int32_t far_percent = 10;        // share of vector differences that reach far outside
    uint32_t max_coefs = 6;
};

struct Built {
    std::vector<uint8_t> bytes;
    std::vector<inter_model::Picture> expected;   // decoding (= output) order
    uint64_t filtered_samples = 0;
    uint64_t inter_mbs = 0;
};

Built build_stream(const StreamConfig &cfg);

} // namespace inter_test
