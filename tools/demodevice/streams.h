// Stream files of the demo device, in the project's packet format.
#ifndef TOOLS_DEMODEVICE_STREAMS_H
#define TOOLS_DEMODEVICE_STREAMS_H

#include <cstdint>
#include <string>
#include <vector>

#include "svacenc/encoder.h"

namespace demodevice {

struct StreamParams {
    uint8_t encoding = 0;      // packetfmt::kEncSvac, kEncTestPic or kEncI420
    int width = 704;
    int height = 576;
    int fps = 25;
    int64_t startMs = 0;       // plain local time of the first frame
    int seconds = 10;
    int gop = 1;               // a key frame every gop frames
    bool audio = false;        // 8 kHz PCM, one packet per 40 ms
    // SVAC: the moving test picture encoded; slices encrypted with AES when key has 16 bytes.
    int bitsPerPicture = 0;    // 0: a rate for the picture size
    std::string key{};
};

std::vector<uint8_t> MakeStream(const StreamParams &params);
// SVAC streams are encoded in chunks of kSvacChunkGops groups of pictures, each chunk by an
// encoder of its own (in parallel), so any chunk can be made again alone.
constexpr int kSvacChunkGops = 2;
// Encodes the moving test picture of every frame of a chunk: coded, when given, sized for the
// whole stream, receives the chunk's pictures at their frame numbers; recon, when given, the
// decoder's pictures in order.
bool EncodeSvacChunk(const StreamParams &params, int chunk, std::vector<svacenc::Coded> *coded,
                     std::vector<svacenc::Yuv> *recon);
bool EncodeSvacStream(const StreamParams &params, std::vector<svacenc::Coded> *coded);
bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);
bool WriteText(const std::string &path, const std::string &text);
bool MakeDirs(const std::string &path);
// A small uncompressed BMP picture with a colour pattern.
std::vector<uint8_t> MakeBmp(int width, int height, int seed);

}  // namespace demodevice

#endif
