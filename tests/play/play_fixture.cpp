#include "play_fixture.h"

#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace playtest {

std::vector<packetfmt::Packet> MakePackets(const StreamOptions &o)
{
    std::vector<packetfmt::Packet> packets;
    for (int i = 0; i < o.frames; ++i) {
        const int64_t ts = o.startMs + int64_t(i) * 1000 / o.fps;
        std::vector<uint8_t> bytes;
        if (o.audio) {
            packetfmt::PacketInfo a;
            a.kind = packetfmt::kAudio;
            a.encoding = packetfmt::kEncPcm16;
            a.key = true;
            a.channels = 1;
            a.sampleRate = 8000;
            a.sequence = uint32_t(i);
            a.timestampMs = ts;
            const std::vector<uint8_t> pcm(320, uint8_t(i));
            packetfmt::AppendPacket(a, pcm.data(), pcm.size(), bytes);
            packets.push_back(packetfmt::ParseAll(bytes.data(), bytes.size()).at(0));
            bytes.clear();
        }
        packetfmt::PacketInfo v;
        v.kind = packetfmt::kVideo;
        v.encoding = o.encoding;
        v.key = i % o.gop == 0;
        v.width = uint16_t(o.width);
        v.height = uint16_t(o.height);
        v.frameRate = uint8_t(o.fps);
        v.sequence = uint32_t(i);
        v.timestampMs = ts;
        std::vector<uint8_t> payload;
        if (o.encoding == packetfmt::kEncI420) {
            const size_t luma = size_t(o.width) * o.height;
            payload.assign(luma, uint8_t(20 + i));
            payload.resize(luma + luma / 4, 100);
            payload.resize(luma + luma / 2, 150);
        } else if (o.encoding == packetfmt::kEncTestPic) {
            packetfmt::TestPicture t;
            t.frameNumber = uint32_t(i);
            t.timestampMs = ts;
            t.width = uint16_t(o.width);
            t.height = uint16_t(o.height);
            payload = packetfmt::EncodeTestPicture(t);
        } else {
            payload.assign(64, uint8_t(i));
        }
        packetfmt::AppendPacket(v, payload.data(), payload.size(), bytes);
        packets.push_back(packetfmt::ParseAll(bytes.data(), bytes.size()).at(0));
    }
    return packets;
}

std::vector<uint8_t> Concat(const std::vector<packetfmt::Packet> &packets)
{
    std::vector<uint8_t> out;
    for (const auto &p : packets)
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    return out;
}

void Recorder::Attach(int32_t port)
{
    PLAY_SetVisibleDecodeCallBack(port, &Recorder::OnVisible, this);
    PLAY_SetDemuxCallBack(port, &Recorder::OnDemux, this);
    PLAY_SetEncTypeChangeCallBackEx(port, &Recorder::OnSize, this);
}

void Recorder::OnVisible(int32_t, const FRAME_DECODE_INFO *picture, const FRAME_INFO_EX *f, void *user)
{
    auto *self = static_cast<Recorder *>(user);
    Shown s{f->frameId, f->timestampMs, f->sequence, f->width, f->height,
            f->year, f->month, f->day, f->hour, f->minute, f->second,
            picture->plane[0][0], picture->plane[1][0], picture->plane[2][0]};
    std::lock_guard<std::mutex> lk(self->m_mutex);
    self->m_shown.push_back(s);
    self->m_changed.notify_all();
}

void Recorder::OnDemux(int32_t, const uint8_t *packet, int32_t length, const PLAY_DEMUX_INFO *, void *, void *user)
{
    auto *self = static_cast<Recorder *>(user);
    std::lock_guard<std::mutex> lk(self->m_mutex);
    self->m_demuxed.emplace_back(packet, packet + length);
}

void Recorder::OnSize(int32_t, void *user, int32_t width, int32_t height)
{
    auto *self = static_cast<Recorder *>(user);
    std::lock_guard<std::mutex> lk(self->m_mutex);
    self->m_sizes.emplace_back(width, height);
}

std::vector<Shown> Recorder::ShownFrames()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_shown;
}

std::vector<std::vector<uint8_t>> Recorder::Demuxed()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_demuxed;
}

std::vector<std::pair<int, int>> Recorder::SizeChanges()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_sizes;
}

size_t Recorder::ShownCount()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_shown.size();
}

bool Recorder::WaitShown(size_t n, int timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    return m_changed.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return m_shown.size() >= n; });
}

int32_t OpenPort(int32_t bufferSize, PLAY_VIDEO_SINK *sink)
{
    int32_t port = 0;
    if (!PLAY_GetFreePort(&port) || !PLAY_SetStreamOpenMode(port, PLAY_STREAM_FILE) ||
        !PLAY_OpenStream(port, nullptr, 0, bufferSize) || !PLAY_Play(port, sink))
        return 0;
    return port;
}

bool WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool FeedAll(int32_t port, const std::vector<uint8_t> &bytes, size_t slice, int timeoutMs)
{
    size_t offset = 0;
    while (offset < bytes.size()) {
        const size_t n = std::min(slice, bytes.size() - offset);
        if (!WaitUntil([&] { return PLAY_InputData(port, bytes.data() + offset, int32_t(n)) != 0; }, timeoutMs))
            return false;
        offset += n;
    }
    return true;
}

bool WaitDrained(int32_t port, int timeoutMs)
{
    return WaitUntil([&] {
        return PLAY_GetSourceBufferRemain(port) == 0 && PLAY_GetBufferValue(port, PLAY_BUF_VIDEO_PACKETS) == 0 &&
            PLAY_GetBufferValue(port, PLAY_BUF_AUDIO_PACKETS) == 0 && PLAY_GetBufferValue(port, PLAY_BUF_PICTURES) == 0;
    }, timeoutMs);
}

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const std::string &name)
{
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/playtest_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace playtest
