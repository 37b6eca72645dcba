// The play-mode base on the player's side: demux, decode, data and picture-size callbacks,
// the frame record, host drawing through RGB32 conversion, the frame-decoded pool task and
// the traffic statistics.
#include "playmode.h"

#include <chrono>
#include <exception>
#include <new>

#include <QThreadPool>

#include <ISorquin.h>

#include "playlibrary.h"
#include "moduletasks.h"
#include "playmodelife.h"

namespace Tolvane {

namespace {

constexpr std::size_t kTrafficSamples = 10;
constexpr int kMaxInterval = 999;

}  // namespace

void CPlayMode::DemuxCallBack(int32_t, const uint8_t*, int32_t, const PLAY_DEMUX_INFO* info, void*, void* user)
{
    if (user != nullptr) {
        static_cast<CPlayMode*>(user)->OnDemux(info);
    }
}

void CPlayMode::VisibleDecodeCallBack(int32_t, const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame,
                                      void* user)
{
    if (user != nullptr) {
        static_cast<CPlayMode*>(user)->OnDecoded(picture, frame);
    }
}

void CPlayMode::DataCallBack(const uint8_t* data, int32_t length, void* user)
{
    if (user != nullptr) {
        auto* mode = static_cast<CPlayMode*>(user);
        mode->m_streamDataSignal.Emit(mode, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), length,
                                      mode->m_streamDataLock);
    }
}

void CPlayMode::EncTypeChangeCallBack(int32_t, void* user, int32_t width, int32_t height)
{
    if (user != nullptr) {
        static_cast<CPlayMode*>(user)->OnPictureSize(width, height);
    }
}

void CPlayMode::OnDemux(const PLAY_DEMUX_INFO* info)
{
    if (info != nullptr && info->type == 1) {
        m_encodeType.store(info->encodeType);
        m_frameRate.store(info->frameRate);
    }
}

void CPlayMode::OnPictureSize(int32_t width, int32_t height)
{
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        m_frameRecord.width = width;
        m_frameRecord.height = height;
    }
    if (!m_hostDraws) {
        std::map<int, int> regions;
        std::map<int, PlayRect> zooms;
        {
            std::lock_guard<std::mutex> lock(m_regionLock);
            regions = m_regions;
            zooms = m_zooms;
        }
        const PLAY_RECT whole{0, width, height, 0};
        for (const auto& entry : regions) {
            PLAY_CALL(m_context, PLAY_SetDisplayRegion, m_port.load(), entry.first, &whole, HandleOf(entry.second), 1);
            auto zoom = zooms.find(entry.second);
            if (zoom != zooms.end()) {
                const PlayRect& r = zoom->second;
                SetWindowZoom(entry.second, r.left, r.top, r.right, r.bottom);
            }
        }
    }
    EmitPictureSize(width, height);
}

const CPlayMode::ConvertedFrame* CPlayMode::ConvertLocked(const FRAME_DECODE_INFO* picture, uint32_t frameId)
{
    if (picture->width <= 0 || picture->height <= 0) {
        return nullptr;
    }
    const size_t size = size_t(picture->width) * size_t(picture->height) * 4;
    ConvertedFrame frame{nullptr, size, 0, 0, frameId};
    // Two buffers go round: the window module copies what it is shown.
    if (m_converted.size() > 1) {
        if (m_converted.front().size == size) {
            frame.buffer = std::move(m_converted.front().buffer);
        }
        m_converted.pop_front();
    }
    if (!frame.buffer) {
        frame.buffer.reset(new (std::nothrow) uint8_t[size]);
        if (!frame.buffer) {
            return nullptr;
        }
    }
    CRGB32Convert::Source source;
    for (int i = 0; i < 3; ++i) {
        source.plane[i] = picture->plane[i];
        source.lineSize[i] = picture->lineSize[i];
    }
    source.width = picture->width;
    source.height = picture->height;
    if (!m_converter.Convert(source, frame.buffer.get(), &frame.width, &frame.height)) {
        return nullptr;
    }
    m_converted.push_back(std::move(frame));
    return &m_converted.back();
}

void CPlayMode::OnDecoded(const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame)
{
    if (picture == nullptr || frame == nullptr || frame->type != 0) {
        return;
    }
    const uint8_t* rgb32 = nullptr;
    long rgb32Size = 0;
    SorquinFrameInfo summary{};
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (frame->frameId == m_frameRecord.frameId) {
            return;
        }
        if (m_hostDraws) {
            const ConvertedFrame* converted = ConvertLocked(picture, frame->frameId);
            if (converted == nullptr) {
                return;
            }
            rgb32 = converted->buffer.get();
            rgb32Size = static_cast<long>(converted->size);
        }

        uint16_t interval = 0;
        if (m_frameRecord.width != 0 && m_frameRecord.height != 0 && frame->second == m_frameRecord.second) {
            const int elapsed = (frame->frameCounter - m_frameStamp) & 0xffff;
            interval = static_cast<uint16_t>(elapsed > kMaxInterval ? kMaxInterval : elapsed);
        } else {
            m_frameStamp = static_cast<uint16_t>(frame->frameCounter);
        }

        PlayFrameRecord& r = m_frameRecord;
        r.type = frame->type;
        r.frameId = frame->frameId;
        r.frameCounter = frame->frameCounter;
        r.width = frame->width;
        r.height = frame->height;
        r.frameRate = frame->frameRate;
        r.encodeType = frame->encodeType;
        r.sequence = frame->sequence;
        r.timestampMs = frame->timestampMs;
        r.year = frame->year;
        r.month = frame->month;
        r.day = frame->day;
        r.hour = frame->hour;
        r.minute = frame->minute;
        r.second = frame->second;
        r.interval = interval;

        summary.width = picture->width;
        summary.height = picture->height;
        summary.format = kSorquinFormatRgb32;
        summary.frameRate = frame->frameRate;
        summary.frameId = frame->frameId;
    }

    // The player draws into the windows itself unless the host draws; a null picture would
    // clear the window, so only converted pictures are handed over.
    if (rgb32 != nullptr && m_sorquin) {
        for (int winID : GetWindows()) {
            m_sorquin->ShowFrame(winID, rgb32, rgb32Size, 1, &summary);
        }
    }
    EmitFrameDecodedLater();
}

void CPlayMode::EmitFrameDecodedLater()
{
    std::shared_ptr<CPlayModeLife> life = m_life;
    const long port = m_port.load();
    ModuleTaskPool().start([life, port] {
        CPlayMode* mode = life->Enter();
        if (mode == nullptr) {
            return;
        }
        try {
            mode->m_frameDecodedSignal.Emit(mode, port, mode->m_frameDecodedLock);
        } catch (...) {
            // A handler's failure ends with the handler.
        }
        delete life->Leave();
    });
}

bool CPlayMode::GetFrameRecord(PlayFrameRecord* dest, int flag)
{
    std::lock_guard<std::mutex> lock(m_frameLock);
    if (flag != 0 || dest == nullptr || m_frameRecord.width == 0 || m_frameRecord.height == 0) {
        return false;
    }
    *dest = m_frameRecord;
    return true;
}

// ---- traffic statistics ----

int64_t CPlayMode::TrafficClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

long CPlayMode::SampleBitrate()
{
    if (!m_open.load()) {
        return 0;
    }
    int64_t total = GetStatiscFlux();
    if (total < 0) {
        total = 0;
    }
    const int64_t now = TrafficClockMs();
    int64_t bytes = 0;
    int64_t span = 0;
    {
        std::lock_guard<std::mutex> lock(m_trafficLock);
        m_traffic.push_back(TrafficSample{total, now});
        while (m_traffic.size() > kTrafficSamples) {
            m_traffic.pop_front();
        }
        // The device counts totals: the traffic of the span is the difference of its ends.
        bytes = m_traffic.back().bytes - m_traffic.front().bytes;
        span = m_traffic.back().timeMs - m_traffic.front().timeMs;
    }
    if (span <= 0 || bytes < 0 || m_lastBlockSize.load() == 0) {
        return 0;
    }
    const int64_t rate = bytes * 1000 / span;
    return static_cast<long>(rate * 8 / 1024);
}

}  // namespace Tolvane
