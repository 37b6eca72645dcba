#include "streams.h"

#include "packetfmt.h"
#include "picture.h"
#include "svacenc/encoder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <sys/stat.h>

namespace demodevice {

namespace {

// The moving test picture (colour bars, a moving square, the time and frame number burnt in)
// as raw I420 bytes, so that an uncompressed channel reads as a test pattern.
std::vector<uint8_t> I420Picture(int w, int h, uint32_t frame, int64_t timestampMs)
{
    packetfmt::TestPicture t;
    t.frameNumber = frame;
    t.timestampMs = timestampMs;
    t.width = uint16_t(w);
    t.height = uint16_t(h);
    const std::vector<uint8_t> payload = packetfmt::EncodeTestPicture(t);
    const play::PicturePtr drawn = play::DrawTestPicture(payload.data(), payload.size());
    return drawn ? drawn->data : std::vector<uint8_t>(size_t(w) * h * 3 / 2, 16);
}

svacenc::Config SvacConfig(const StreamParams &params)
{
    svacenc::Config config;
    config.width = params.width;
    config.height = params.height;
    config.gop = params.gop;
    config.target_bits = params.bitsPerPicture > 0 ? params.bitsPerPicture : params.width * params.height / 40;
    config.qp = 28;
    config.min_qp = 24;
    config.search_range = 8;
    // The partition search costs a fifth of the encoding time for a few macroblocks.
    config.partitions = false;
    if (!params.key.empty()) {
        config.cipher = 2;
        config.key.assign(params.key.begin(), params.key.end());
    }
    return config;
}

int64_t FrameTime(const StreamParams &params, int frame)
{
    return params.startMs + frame * 1000LL / params.fps;
}

// Frames of one chunk: kSvacChunkGops groups of pictures.
int ChunkFrames(const StreamParams &params)
{
    return kSvacChunkGops * std::max(1, params.gop);
}

}  // namespace

bool EncodeSvacChunk(const StreamParams &params, int chunk, std::vector<svacenc::Coded> *coded,
                     std::vector<svacenc::Yuv> *recon)
{
    const int frames = params.seconds * params.fps;
    const int length = ChunkFrames(params);
    const int first = chunk * length, last = std::min(frames, first + length);
    svacenc::Encoder encoder(SvacConfig(params));
    if (!encoder.ok()) {
        std::fprintf(stderr, "DemoDevice: %s\n", encoder.error().c_str());
        return false;
    }
    for (int f = first; f < last; ++f) {
        packetfmt::TestPicture t;
        t.frameNumber = uint32_t(f);
        t.timestampMs = FrameTime(params, f);
        t.width = uint16_t(params.width);
        t.height = uint16_t(params.height);
        const std::vector<uint8_t> payload = packetfmt::EncodeTestPicture(t);
        const play::PicturePtr drawn = play::DrawTestPicture(payload.data(), payload.size());
        svacenc::Yuv picture;
        if (!drawn || !picture.allocate(params.width, params.height) || drawn->data.size() != picture.data.size())
            return false;
        picture.data = drawn->data;
        svacenc::Coded c;
        if (!encoder.encode(picture, &c)) {
            std::fprintf(stderr, "DemoDevice: %s\n", encoder.error().c_str());
            return false;
        }
        if (coded)
            (*coded)[size_t(f)] = std::move(c);
        if (recon)
            recon->push_back(encoder.reconstruction());
    }
    return true;
}

bool EncodeSvacStream(const StreamParams &params, std::vector<svacenc::Coded> *coded)
{
    const int frames = params.seconds * params.fps;
    const int length = ChunkFrames(params);
    const int chunks = (frames + length - 1) / length;
    coded->assign(size_t(frames), svacenc::Coded());
    std::atomic<int> next{0};
    std::atomic<bool> ok{true};
    auto work = [&] {
        for (int c = next++; c < chunks && ok; c = next++)
            if (!EncodeSvacChunk(params, c, coded, nullptr))
                ok = false;
    };
    const auto start = std::chrono::steady_clock::now();
    const int threads = int(std::min<unsigned>(4, std::max(1u, std::thread::hardware_concurrency())));
    std::vector<std::thread> pool;
    for (int i = 1; i < std::min(threads, chunks); ++i)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("SVAC %dx%d: %d pictures in %.2f s (%.0f pictures/s on %d threads)\n", params.width, params.height,
                frames, seconds, seconds > 0 ? frames / seconds : 0.0, std::min(threads, chunks));
    return ok;
}

std::vector<uint8_t> MakeStream(const StreamParams &params)
{
    std::vector<uint8_t> out;
    const int frames = params.seconds * params.fps;
    const int64_t endMs = params.startMs + int64_t(params.seconds) * 1000;
    int64_t nextAudio = params.startMs;
    uint32_t audioSeq = 0;
    std::vector<svacenc::Coded> coded;
    if (params.encoding == packetfmt::kEncSvac && !EncodeSvacStream(params, &coded))
        return {};
    for (int f = 0; f < frames; ++f) {
        const int64_t ts = FrameTime(params, f);
        while (params.audio && nextAudio <= ts && nextAudio < endMs) {
            int16_t samples[320];
            for (int i = 0; i < 320; ++i)
                samples[i] = int16_t(2000.0 * std::sin(2.0 * M_PI * 440.0 * (audioSeq * 320 + i) / 8000.0));
            packetfmt::PacketInfo a;
            a.kind = packetfmt::kAudio;
            a.encoding = packetfmt::kEncPcm16;
            a.key = true;
            a.channels = 1;
            a.sampleRate = 8000;
            a.sequence = audioSeq++;
            a.timestampMs = nextAudio;
            packetfmt::AppendPacket(a, samples, sizeof samples, out);
            nextAudio += 40;
        }
        packetfmt::PacketInfo v;
        v.kind = packetfmt::kVideo;
        v.encoding = params.encoding;
        v.key = f % params.gop == 0;
        v.width = uint16_t(params.width);
        v.height = uint16_t(params.height);
        v.frameRate = uint8_t(params.fps);
        v.sequence = uint32_t(f);
        v.timestampMs = ts;
        if (params.encoding == packetfmt::kEncSvac) {
            v.key = coded[size_t(f)].key;
            packetfmt::AppendPacket(v, coded[size_t(f)].stream.data(), coded[size_t(f)].stream.size(), out);
        } else if (params.encoding == packetfmt::kEncI420) {
            const std::vector<uint8_t> pic = I420Picture(params.width, params.height, uint32_t(f), ts);
            packetfmt::AppendPacket(v, pic.data(), pic.size(), out);
        } else {
            packetfmt::TestPicture t;
            t.frameNumber = uint32_t(f);
            t.timestampMs = ts;
            t.width = uint16_t(params.width);
            t.height = uint16_t(params.height);
            const std::vector<uint8_t> payload = packetfmt::EncodeTestPicture(t);
            packetfmt::AppendPacket(v, payload.data(), payload.size(), out);
        }
    }
    return out;
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    const std::string temp = path + ".part";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool WriteText(const std::string &path, const std::string &text)
{
    return WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool MakeDirs(const std::string &path)
{
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::vector<uint8_t> MakeBmp(int width, int height, int seed)
{
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t dataSize = uint32_t(rowBytes * height);
    std::vector<uint8_t> b(54 + dataSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &b[54 + size_t(y) * rowBytes + size_t(x) * 3];
            p[0] = uint8_t(x * 4 + seed * 40);
            p[1] = uint8_t(y * 5);
            p[2] = uint8_t((x + y) * 3 + seed * 90);
        }
    }
    return b;
}

}  // namespace demodevice
