// Test-side SVAC encoder: 8-bit 4:2:0 pictures in, one decodable stream and the decoder's
// reconstruction of each picture out.
//
//   svacenc::Config config;
//   config.width = 704;
//   config.height = 576;
//   config.target_bits = 40000;       // per picture; 0 keeps config.qp
//   svacenc::Encoder encoder(config);
//   svacenc::Coded coded;
//   encoder.encode(picture, &coded);  // coded.stream: the picture's units
//   encoder.reconstruction();         // what a decoder outputs for it
//
// Key pictures are IDR pictures that carry the parameter sets (and the security parameter set
// of an encrypted stream), so a decoder can start at any of them. Other pictures are P
// pictures that refer to the picture before. Intra macroblocks are I_8X8 or I_4X4; P pictures
// add P_16X16, P_16X8 and P_8X16 (and P_8X8 when asked) with quarter-sample vectors, and
// skipped macroblocks, chosen by thresholds on the prediction SAD or, when asked, by
// rate-distortion cost. The loop filter is on, so references are the deblocked pictures a
// decoder outputs (the encoder runs the decoder library on each coded picture to get them).
#ifndef SVACENC_ENCODER_H
#define SVACENC_ENCODER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace svacenc {

// 8-bit 4:2:0 picture: Y, Cb, Cr planes tightly packed.
struct Yuv {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> data;

    // False for a size that is not even or outside 2..8192.
    bool allocate(int w, int h);
    int stride(int plane) const { return plane == 0 ? width : width / 2; }
    int rows(int plane) const { return plane == 0 ? height : height / 2; }
    uint8_t *plane(int p) { return data.data() + offset(p); }
    const uint8_t *plane(int p) const { return data.data() + offset(p); }

private:
    size_t offset(int p) const;
};

enum class Entropy { kVlc, kArithmetic };

struct Config {
    // Width a multiple of 16; height a multiple of 16, or 1080, 720, 540 or 360 with the width
    // that a decoder crops back to that height (1920, 1280, 960, 640).
    int width = 0;
    int height = 0;
    int gop = 25;                 // a key picture every gop pictures; 1: key pictures only
    int qp = 30;                  // 0..55; the starting QP under rate control
    int target_bits = 0;          // average bits per picture; 0: every picture at qp
    int min_qp = 8;
    int max_qp = 51;
    int search_range = 16;        // whole samples around each candidate
    Entropy entropy = Entropy::kVlc;
    // Coding tools; the defaults are what a real encoder does, off is cheaper.
    bool loop_filter = true;      // deblocking with the default parameters
    bool subsample = true;        // half- then quarter-sample refinement of each vector
    bool intra4x4 = true;         // I_4X4 where it beats I_8X8
    bool intra_in_p = true;       // intra macroblocks in P pictures where they beat inter
    bool partitions = true;       // P_16X8 and P_8X16 where two vectors beat one
    bool partitions8x8 = false;   // with partitions: also P_8X8 where four vectors beat those
    // Inter macroblocks by rate-distortion cost: skipped, P_16X16 and each partitioning that
    // is on are each predicted, quantised and reconstructed, and the least squared error plus
    // lambda x bits wins, lambda following the quantiser step (vectors are searched with its
    // square root); each residual block is coded only where it pays. Off: skipped where the
    // predicted vector leaves no level, split where the prediction SAD says so.
    bool rd_modes = false;
    // With rd_modes: weight of each luma block's texture energy (its transform's AC
    // magnitudes) in the error, so that a reconstruction that flattens the source's grain or
    // noise costs more than its squared error says; 0: squared error alone.
    float psy = 0;
    // With rd_modes: the weight of a bit against error, relative to the customary one at the
    // QP; below 1 spends bits on detail (more vectors, fewer skipped macroblocks).
    float lambda_scale = 1;
    // With rd_modes: a partitioning is costed in full where its prediction SAD plus weighted
    // vector bits is below (1 + split_margin) x P_16X16's; 0: only those that beat P_16X16 by
    // that measure, 1: nearly all (more partitioned macroblocks, slower).
    float split_margin = 0;
    // Rounding offset of inter residual levels (0..0.5): higher codes more small levels, so
    // fewer macroblocks are skipped at a QP.
    float inter_rounding = 1.0f / 6;
    // Encrypted slices: cipher 1 DES (8-byte key) or 2 AES (16, 24 or 32 bytes); 0 none.
    uint32_t cipher = 0;
    std::vector<uint8_t> key;
};

struct Coded {
    std::vector<uint8_t> stream;  // the picture's units, start codes included
    bool key = false;
    int qp = 0;
    int skipped = 0;              // skipped macroblocks
    int intra8x8 = 0;             // I_8X8 macroblocks (key and P pictures)
    int intra4x4 = 0;             // I_4X4 macroblocks
    int inter = 0;                // coded inter macroblocks
    int partitioned = 0;          // of these, P_16X8, P_8X16 and P_8X8 ones
    int partitioned16x8 = 0;      // of these, P_16X8 ones
    int partitioned8x8 = 0;       // of these, P_8X8 ones
    int fractional = 0;           // inter ones with a half or quarter-sample vector
};

class Encoder {
public:
    explicit Encoder(const Config &config);
    ~Encoder();
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;

    // False when the configuration was refused; error() says why.
    bool ok() const;
    const std::string &error() const;

    // Encodes the next picture (a key picture at each gop boundary, or when asked). False,
    // with error() set, for a picture of another size or a failed unit.
    bool encode(const Yuv &picture, Coded *out, bool force_key = false);
    // The decoder's output for the last encoded picture, at the size a decoder hands out.
    const Yuv &reconstruction() const;
    int pictures() const;

    struct State;

private:
    std::unique_ptr<State> s_;
};

} // namespace svacenc

#endif
