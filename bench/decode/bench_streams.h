// Streams for the decoding benchmark, made by the stream writer from random but bounded syntax:
// 1920x1088 4:2:0, one slice per picture, VLC mode.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

constexpr uint32_t kMbWidth = 120, kMbHeight = 68;

enum class Content { kIntra, kInterLow, kInterHigh };

struct ContentInfo {
    const char *name;
    const char *description;
};

ContentInfo content_info(Content c);
bool parse_content(const std::string &name, Content *c);

// Intra only: every picture an I picture. Inter: one I picture, then P pictures with a
// smooth motion field (mostly fractional vectors), skipped macroblocks and few coefficients.
std::vector<uint8_t> make_stream(Content c, uint32_t pictures);

} // namespace bench
