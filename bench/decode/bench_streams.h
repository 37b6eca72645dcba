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

enum class Content { kIntraLow, kIntraHigh, kInterLow, kInterHigh };

struct ContentInfo {
    const char *name;
    const char *description;
};

ContentInfo content_info(Content c);
bool parse_content(const std::string &name, Content *c);

// Encoder-made: intra only (every picture a key picture) or one key picture then P pictures,
// each at a fixed QP for its rate.
std::vector<uint8_t> encode_stream(Content c, const std::vector<svacenc::Yuv> &pictures);
// Up to count pictures of a raw I420 1920x1088 file, cut to 1920x1080; empty when it holds none.
std::vector<svacenc::Yuv> read_pictures(const std::string &path, uint32_t count);
// A textured picture that pans and carries a moving box, with some noise.
std::vector<svacenc::Yuv> moving_pictures(uint32_t count);

// Writer-made. Intra only (both rates alike): every picture an I picture. Inter: one I
// picture, then P pictures with a smooth motion field (mostly fractional vectors), skipped
// macroblocks and few coefficients.
std::vector<uint8_t> make_stream(Content c, uint32_t pictures);

} // namespace bench
