// Streams for the decoding benchmark, 1920x1088 4:2:0, one slice per picture, VLC mode: made by
// the test-side encoder from moving pictures (raw I420 from a file, or a built-in moving
// picture), or by the stream writer from random but bounded syntax.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "svacenc/encoder.h"

namespace bench {

constexpr uint32_t kMbWidth = 120, kMbHeight = 68;
constexpr int kWidth = 16 * kMbWidth, kHeight = 16 * kMbHeight;
constexpr int kShownHeight = 1080;   // what the encoder takes; a decoder crops 1088 to it

// Hard: I+P with every tool (P_8X8 too), modes chosen by rate-distortion cost with the source's
// texture kept, so that few macroblocks are skipped and many split, as another encoder does at
// the same size.
enum class Content { kIntraLow, kIntraHigh, kInterLow, kInterHigh, kHardLow, kHardHigh };

struct ContentInfo {
    const char *name;
    const char *description;
};

ContentInfo content_info(Content c);
bool parse_content(const std::string &name, Content *c);

// What a stream is made of, in macroblocks of all its pictures. fractional < 0: not known.
struct Mix {
    uint64_t macroblocks = 0, skipped = 0, intra4x4 = 0, intra8x8 = 0, inter = 0, partitioned = 0;
    int64_t fractional = 0;   // inter macroblocks with a half- or quarter-sample vector
};
// One machine-readable line: "mix skip P part P frac P i4 P i8 P" (shares in percent; frac of
// the inter macroblocks, n/a when not known).
void print_mix(const Mix &m);

// Encoder-made: intra only (every picture a key picture) or one key picture then P pictures,
// each at a fixed QP for its rate.
std::vector<uint8_t> encode_stream(Content c, const std::vector<svacenc::Yuv> &pictures, Mix *mix);
// Up to count pictures of a raw I420 1920x1088 file, cut to 1920x1080; empty when it holds none.
std::vector<svacenc::Yuv> read_pictures(const std::string &path, uint32_t count);
// A textured picture that pans and carries a moving box, with some noise.
std::vector<svacenc::Yuv> moving_pictures(uint32_t count);

// Writer-made. Intra only (one stream for both rates): every picture an I picture. Inter: one I
// picture, then P pictures with a smooth motion field (mostly fractional vectors), skipped
// macroblocks and few coefficients. The mix leaves fractional unknown (the writer codes
// vector differences).
std::vector<uint8_t> make_stream(Content c, uint32_t pictures, Mix *mix);

} // namespace bench
