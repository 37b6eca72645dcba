#include "demoframes.h"

#include "brevixrun.h"
#include "packetfmt.h"
#include "scale_core.h"

#include <cstdio>
#include <vector>

std::string RgbHash(const svacenc::Yuv& yuv)
{
    scalecore::YuvPicture src;
    for (int p = 0; p < 3; ++p) {
        src.plane[p] = yuv.plane(p);
        src.stride[p] = yuv.stride(p);
    }
    src.width = yuv.width;
    src.height = yuv.height;
    std::vector<uint8_t> rgb(size_t(yuv.width) * yuv.height * 4);
    if (!scalecore::ToRgb32(src, rgb.data(), yuv.width, yuv.height, size_t(yuv.width) * 4))
        return {};
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t b : rgb)
        hash = (hash ^ b) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The demo device's stream file as generation parameters, read back from its packets.
bool ParamsOf(const QString& file, demodevice::StreamParams* params)
{
    const QByteArray bytes = ReadFile(file);
    int frames = 0, keys = 0, secondKey = -1;
    for (const packetfmt::Packet& p : packetfmt::ParseAll(bytes.constData(), size_t(bytes.size()))) {
        if (p.info.kind != packetfmt::kVideo)
            continue;
        if (frames == 0) {
            params->encoding = p.info.encoding;
            params->width = p.info.width;
            params->height = p.info.height;
            params->fps = p.info.frameRate;
            params->startMs = p.info.timestampMs;
        }
        if (p.info.key && keys++ == 1)
            secondKey = frames;
        ++frames;
    }
    if (frames == 0 || params->fps == 0 || params->encoding != packetfmt::kEncSvac)
        return false;
    params->seconds = frames / params->fps;
    params->gop = secondKey > 0 ? secondKey : frames;
    return true;
}

std::string FrameHash(const demodevice::StreamParams& params, int frame)
{
    const int chunkFrames = demodevice::kSvacChunkGops * params.gop;
    if (frame < 0 || chunkFrames <= 0)
        return {};
    std::vector<svacenc::Yuv> recon;
    if (!demodevice::EncodeSvacChunk(params, frame / chunkFrames, nullptr, &recon))
        return {};
    const size_t index = size_t(frame % chunkFrames);
    return index < recon.size() ? RgbHash(recon[index]) : std::string();
}
