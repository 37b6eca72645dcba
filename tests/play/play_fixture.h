// Streams and callback recorders for the player tests.
#ifndef TESTS_PLAY_PLAY_FIXTURE_H
#define TESTS_PLAY_PLAY_FIXTURE_H

#include "packetfmt.h"
#include "playsdk.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace playtest {

constexpr int64_t kStartMs = 1700000000000;  // 2023-11-14 22:13:20.000

struct StreamOptions {
    int frames = 10;
    int fps = 25;
    int gop = 1;                 // a key frame every gop frames
    uint8_t encoding = packetfmt::kEncI420;
    int width = 32;
    int height = 16;
    bool audio = false;          // one audio packet before each video packet
    int64_t startMs = kStartMs;
};

// Video packets with timestamps startMs + i * 1000 / fps and sequence i. An I420 frame i is
// flat: Y = 20 + i, U = 100, V = 150.
std::vector<packetfmt::Packet> MakePackets(const StreamOptions &options);
std::vector<uint8_t> Concat(const std::vector<packetfmt::Packet> &packets);

struct Shown {
    uint32_t frameId;
    int64_t timestampMs;
    uint32_t sequence;
    int width, height;
    int year, month, day, hour, minute, second;
    uint8_t y, u, v;             // first sample of each plane
};

// Records the visible-decode, demux and encode-type callbacks of one port.
class Recorder {
public:
    void Attach(int32_t port);
    std::vector<Shown> ShownFrames();
    std::vector<std::vector<uint8_t>> Demuxed();
    std::vector<std::pair<int, int>> SizeChanges();
    size_t ShownCount();
    // Waits until at least n frames were shown.
    bool WaitShown(size_t n, int timeoutMs = 5000);

    static void OnVisible(int32_t port, const FRAME_DECODE_INFO *picture, const FRAME_INFO_EX *frame, void *user);
    static void OnDemux(int32_t port, const uint8_t *packet, int32_t length, const PLAY_DEMUX_INFO *info,
                        void *reserved, void *user);
    static void OnSize(int32_t port, void *user, int32_t width, int32_t height);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Shown> m_shown;
    std::vector<std::vector<uint8_t>> m_demuxed;
    std::vector<std::pair<int, int>> m_sizes;
};

// A port opened in file-stream mode and playing into sink (or no window).
int32_t OpenPort(int32_t bufferSize = 15360000, PLAY_VIDEO_SINK *sink = nullptr);

// Feeds everything, retrying refused blocks. False after timeoutMs of refusals.
bool FeedAll(int32_t port, const std::vector<uint8_t> &bytes, size_t slice, int timeoutMs = 10000);

// Waits until the port holds nothing: source, packets and pictures all 0.
bool WaitDrained(int32_t port, int timeoutMs = 10000);

bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 5000);

std::vector<uint8_t> ReadFile(const std::string &path);
std::string TempPath(const std::string &name);

}  // namespace playtest

#endif
