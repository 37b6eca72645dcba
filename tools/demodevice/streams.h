// Stream files of the demo device, in the project's packet format.
#ifndef TOOLS_DEMODEVICE_STREAMS_H
#define TOOLS_DEMODEVICE_STREAMS_H

#include <cstdint>
#include <string>
#include <vector>

namespace demodevice {

struct StreamParams {
    uint8_t encoding = 0;      // packetfmt::kEncTestPic or kEncI420
    int width = 704;
    int height = 576;
    int fps = 25;
    int64_t startMs = 0;       // plain local time of the first frame
    int seconds = 10;
    int gop = 1;               // a key frame every gop frames
    bool audio = false;        // 8 kHz PCM, one packet per 40 ms
};

std::vector<uint8_t> MakeStream(const StreamParams &params);
bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);
bool WriteText(const std::string &path, const std::string &text);
bool MakeDirs(const std::string &path);
// A small uncompressed BMP picture with a colour pattern.
std::vector<uint8_t> MakeBmp(int width, int height, int seed);

}  // namespace demodevice

#endif
