#include "port.h"

#include "snapshot.h"

#include <algorithm>

namespace play {

namespace {

thread_local int32_t t_lastError = PLAY_NOERROR;
thread_local const Port *t_calloutPort = nullptr;

constexpr size_t kMaxBufferSize = 256u * 1024u * 1024u;

}  // namespace

void SetLastError(int32_t code) { t_lastError = code; }
int32_t LastError() { return t_lastError; }

CalloutScope::CalloutScope(const Port *port) : m_previous(t_calloutPort) { t_calloutPort = port; }
CalloutScope::~CalloutScope() { t_calloutPort = m_previous; }
bool CalloutScope::Inside(const Port *port) { return t_calloutPort == port; }

Port::~Port()
{
    std::unique_lock<std::mutex> lk(m_mutex);
    StopWorker(lk);
    lk.unlock();
    StopRecord();
}

int32_t Port::Fail(int32_t code)
{
    SetLastError(code);
    return 0;
}

void Port::WakeLocked()
{
    ++m_epoch;
    m_wake.notify_all();
}

void Port::Wake()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    WakeLocked();
}

void Port::WaitCallouts(std::unique_lock<std::mutex> &lk, uint64_t started)
{
    if (CalloutScope::Inside(this))
        return;  // a callback of this port changing its own port
    m_done.wait(lk, [&] { return m_calloutsFinished >= started; });
}

// Ends the worker. From another thread this joins it, so no callback runs afterwards; from
// the worker's own callback the thread ends as soon as that callback returns.
void Port::StopWorker(std::unique_lock<std::mutex> &lk)
{
    m_done.wait(lk, [&] { return !m_joining || CalloutScope::Inside(this); });
    ++m_workerGeneration;
    m_playing = false;
    m_wake.notify_all();
    if (!m_worker.joinable())
        return;
    if (m_worker.get_id() == std::this_thread::get_id()) {
        m_worker.detach();
        return;
    }
    std::thread worker = std::move(m_worker);
    m_joining = true;
    lk.unlock();
    worker.join();
    lk.lock();
    m_joining = false;
    m_done.notify_all();
}

int32_t Port::Accept()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_released ? Fail(PLAY_ERR_PORT) : 1;
}

int32_t Port::SetStreamOpenMode(int32_t mode)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (mode != PLAY_STREAM_REALTIME && mode != PLAY_STREAM_FILE)
        return Fail(PLAY_ERR_PARAM);
    m_openMode = mode;
    return 1;
}

int32_t Port::OpenStream(int32_t bufferSize)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (m_open)
        return Fail(PLAY_ERR_ORDER);
    if (bufferSize <= 0 || size_t(bufferSize) > kMaxBufferSize)
        return Fail(PLAY_ERR_PARAM);
    m_capacity = size_t(bufferSize);
    m_open = true;
    m_needKey = true;
    return 1;
}

int32_t Port::CloseStream()
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    StopWorker(lk);
    m_open = false;
    m_source.clear();
    m_sourceBytes = 0;
    m_reader.Reset();
    ClearFrames();
    m_flushPending = false;
    m_svac.reset();
    m_svacTried = false;
    m_paused = false;
    m_stepBudget = 0;
    m_showWhilePaused = false;
    m_sink = nullptr;
    m_regions.clear();
    lk.unlock();
    StopRecord();
    return 1;
}

void Port::Release()
{
    CloseStream();
    std::lock_guard<std::mutex> lk(m_mutex);
    m_released = true;
    m_cb = Callbacks();
    m_done.notify_all();
}

int32_t Port::SetSecurityKey(const char *key, int32_t length)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!key || length <= 0)
        return Fail(PLAY_ERR_PARAM);
    m_key.assign(key, size_t(length));
    m_keyDirty = true;
    return 1;
}

int32_t Port::InputData(const void *data, int32_t size)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!m_open)
        return Fail(PLAY_ERR_ORDER);
    if (!data || size <= 0)
        return Fail(PLAY_ERR_PARAM);
    if (m_sourceBytes + size_t(size) > m_capacity)
        return Fail(PLAY_ERR_FULL);
    const uint8_t *p = static_cast<const uint8_t *>(data);
    m_source.emplace_back(p, p + size);
    m_sourceBytes += size_t(size);
    m_resetBeforeInput = false;
    m_stats.fedBytes += size;
    m_flushPending = false;
    WakeLocked();
    return 1;
}

int32_t Port::SourceRemain()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    return int32_t(m_sourceBytes + m_reader.Buffered());
}

int32_t Port::BufferValue(int32_t kind)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    int32_t undecoded = m_inflightVideo, pictures = m_showing;
    auto count = [&](const Frame &f) { ++(f.picture ? pictures : undecoded); };
    std::for_each(m_queue.begin(), m_queue.end(), count);
    std::for_each(m_gop.begin(), m_gop.end(), count);
    switch (kind) {
    case PLAY_BUF_VIDEO_PACKETS: return undecoded;
    case PLAY_BUF_AUDIO_PACKETS: return m_inflightAudio;
    case PLAY_BUF_PICTURES: return pictures;
    default: return Fail(PLAY_ERR_PARAM);
    }
}

void Port::ClearFrames()
{
    m_queue.clear();
    m_gop.clear();
    ++m_resetGeneration;  // packets in the worker's hands are dropped too
    m_anchored = false;
    m_hasLast = false;
}

int32_t Port::ResetBuffer(int32_t kind)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    auto drop = [&](bool decoded) {
        auto gone = [&](const Frame &f) { return bool(f.picture) == decoded; };
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), gone), m_queue.end());
        m_gop.erase(std::remove_if(m_gop.begin(), m_gop.end(), gone), m_gop.end());
    };
    switch (kind) {
    case PLAY_BUF_VIDEO_PACKETS: drop(false); break;
    case PLAY_BUF_AUDIO_PACKETS: break;
    case PLAY_BUF_PICTURES: drop(true); break;
    case PLAY_BUF_DEMUX:
        // The stream goes on elsewhere (a seek): the decoder starts afresh, and a paused port
        // shows the first picture of the new place.
        m_stats.skippedBytes += int64_t(m_reader.Buffered());
        m_reader.Reset();
        ClearFrames();
        m_needKey = true;
        m_decoderStale = true;
        m_showWhilePaused = m_paused;
        m_resetBeforeInput = true;
        break;
    default: return Fail(PLAY_ERR_PARAM);
    }
    WakeLocked();
    return 1;
}

int32_t Port::ResetSource()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    m_stats.skippedBytes += int64_t(m_sourceBytes);
    m_source.clear();
    m_sourceBytes = 0;
    if (m_resetBeforeInput) {
        // The second half of a reset: what was made of the old source since its first half
        // (a paused port may even have shown it) goes, and the new place's picture is shown.
        m_reader.Reset();
        ClearFrames();
        m_needKey = true;
        m_showWhilePaused = m_paused;
    }
    WakeLocked();
    return 1;
}

int32_t Port::Flush()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!m_open)
        return Fail(PLAY_ERR_ORDER);
    m_flushPending = true;
    WakeLocked();
    return 1;
}

void Port::Reanchor(TimePoint now)
{
    m_anchored = m_hasLast;
    m_anchorWall = now;
    m_anchorTs = m_lastTs;
    m_lastDue = now;
}

int32_t Port::Play(PLAY_VIDEO_SINK *sink, TimePoint now)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!m_open)
        return Fail(PLAY_ERR_ORDER);
    const bool sinkChanged = sink != m_sink;
    m_sink = sink;
    m_paused = false;
    m_stepBudget = 0;
    m_showWhilePaused = false;
    Reanchor(now);
    if (m_playing) {
        WakeLocked();
        if (sinkChanged)
            WaitCallouts(lk, m_calloutsStarted);
        return 1;
    }
    m_done.wait(lk, [&] { return !m_joining; });
    m_playing = true;
    const uint64_t generation = ++m_workerGeneration;
    if (m_worker.joinable())
        m_worker.detach();  // an old worker stopped from its own callback; it is ending
    m_worker = std::thread([self = shared_from_this(), generation] { self->Run(generation); });
    return 1;
}

int32_t Port::Stop()
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    StopWorker(lk);
    ClearFrames();
    m_paused = false;
    m_stepBudget = 0;
    m_showWhilePaused = false;
    return 1;
}

int32_t Port::Pause(bool pause, TimePoint now)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!m_open)
        return Fail(PLAY_ERR_ORDER);
    if (pause) {
        m_paused = true;
        m_stepBudget = 0;
    } else if (m_paused) {
        m_paused = false;
        m_stepBudget = 0;
        m_showWhilePaused = false;
        Reanchor(now);
    }
    WakeLocked();
    return 1;
}

int32_t Port::Step()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!m_open)
        return Fail(PLAY_ERR_ORDER);
    m_paused = true;
    ++m_stepBudget;
    WakeLocked();
    return 1;
}

int32_t Port::SetSpeed(float speed, TimePoint now)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!(speed > 0.0f) || speed > 1024.0f)
        return Fail(PLAY_ERR_PARAM);
    m_speed = speed;
    Reanchor(now);
    WakeLocked();
    return 1;
}

int32_t Port::SetDirection(bool reverse, TimePoint now)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (reverse != m_reverse) {
        m_reverse = reverse;
        if (!reverse)
            FlushGop();
        Reanchor(now);
        WakeLocked();
    }
    return 1;
}

int32_t Port::SetDisplayRegion(int32_t region, const PLAY_RECT *rect, PLAY_VIDEO_SINK *sink, bool enable)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (region < 0 || region > 63 || (enable && !rect))
        return Fail(PLAY_ERR_PARAM);
    if (enable)
        m_regions[region] = Region{sink, *rect};
    else
        m_regions.erase(region);
    WakeLocked();
    WaitCallouts(lk, m_calloutsStarted);
    return 1;
}

int32_t Port::PictureSize(int32_t *width, int32_t *height)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (!width || !height)
        return Fail(PLAY_ERR_PARAM);
    *width = m_pictureWidth ? m_pictureWidth : m_headerWidth;
    *height = m_pictureWidth ? m_pictureHeight : m_headerHeight;
    return *width > 0 && *height > 0 ? 1 : Fail(PLAY_ERR_NOPICTURE);
}

int32_t Port::SoundShare(bool on)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    m_soundShare = on;
    return 1;
}

int32_t Port::ChooseAudio(int32_t channel, bool enable)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (channel < 0 || channel > 255)
        return Fail(PLAY_ERR_PARAM);
    m_chosenAudio.set(size_t(channel), enable);
    return 1;
}

int32_t Port::AdjustVolume(int32_t volume)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    if (volume < -100 || volume > 100)
        return Fail(PLAY_ERR_PARAM);
    m_volume = volume;
    return 1;
}

int32_t Port::CatchPicture(const std::string &path, int32_t type)
{
    Frame frame;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_released)
            return Fail(PLAY_ERR_PORT);
        if (path.empty())
            return Fail(PLAY_ERR_PARAM);
        if (!m_hasLastFrame)
            return Fail(PLAY_ERR_NOPICTURE);
        frame = m_lastFrame;
    }
    PicturePtr picture = frame.picture;
    if (!picture && frame.info.encoding == packetfmt::kEncI420)
        picture = DecodeI420(frame.payload.data(), frame.payload.size(), frame.info.width, frame.info.height);
    else if (!picture)
        picture = DrawTestPicture(frame.payload.data(), frame.payload.size());
    if (!picture)
        return Fail(PLAY_ERR_NOPICTURE);
    const bool ok = type == PLAY_PIC_BMP ? WriteBmp(path, *picture) : WriteJpeg(path, *picture);
    return ok ? 1 : Fail(PLAY_ERR_FILE);
}

int32_t Port::StartRecord(const std::string &path)
{
    if (Accept() == 0)
        return 0;
    if (path.empty())
        return Fail(PLAY_ERR_PARAM);
    StopRecord();
    std::lock_guard<std::mutex> lk(m_recordMutex);
    const std::string temp = path + ".part";
    m_record = std::fopen(temp.c_str(), "wb");
    if (!m_record)
        return Fail(PLAY_ERR_FILE);
    m_recordPath = path;
    m_recordTemp = temp;
    return 1;
}

// The recording gets its name once it is complete.
int32_t Port::StopRecord()
{
    std::lock_guard<std::mutex> lk(m_recordMutex);
    if (!m_record)
        return 1;
    const bool ok = std::fclose(m_record) == 0;
    m_record = nullptr;
    if (!ok || std::rename(m_recordTemp.c_str(), m_recordPath.c_str()) != 0) {
        std::remove(m_recordTemp.c_str());
        return Fail(PLAY_ERR_FILE);
    }
    return 1;
}

void Port::WriteRecord(const std::vector<uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lk(m_recordMutex);
    if (m_record)
        std::fwrite(bytes.data(), 1, bytes.size(), m_record);
}

bool Port::WaitIdle(int32_t timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    return m_done.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
        return !m_playing || m_settledEpoch == m_epoch;
    });
}

void Port::Stats(PTEST_PORT_STATS &stats)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    stats = m_stats;
    stats.soundShare = m_soundShare ? 1 : 0;
    stats.volume = m_volume;
    stats.chosenAudio = int32_t(m_chosenAudio.count());
}

int32_t Port::FireWaterMark(const char *buffer, int32_t length, int32_t kind, int32_t flag, int64_t timeValue)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    const PLAY_WaterMarkCallBack cb = m_cb.watermark;
    void *user = m_cb.watermarkUser;
    if (!cb)
        return Fail(PLAY_ERR_ORDER);
    ++m_calloutsStarted;
    lk.unlock();
    {
        CalloutScope scope(this);
        cb(m_number, buffer, timeValue, flag, 0, length, kind, user);
    }
    lk.lock();
    ++m_calloutsFinished;
    m_done.notify_all();
    return 1;
}

}  // namespace play
