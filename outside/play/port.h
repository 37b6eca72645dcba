// One player port: source buffer, demultiplexer, decoder, pacing and display, on a thread of
// its own that also makes every callback of the port.
#ifndef OUTSIDE_PLAY_PORT_H
#define OUTSIDE_PLAY_PORT_H

#include "clock.h"
#include "packetfmt.h"
#include "picture.h"
#include "playsdk.h"
#include "svac.h"

#include <bitset>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace play {

// Per-thread error code of the last failed call.
void SetLastError(int32_t code);
int32_t LastError();

struct Callbacks {
    PLAY_DemuxCallBack demux = nullptr;
    void *demuxUser = nullptr;
    PLAY_VisibleDecodeCallBack visible = nullptr;
    void *visibleUser = nullptr;
    PLAY_DataCallBack data = nullptr;
    void *dataUser = nullptr;
    PLAY_EncTypeChangeCallBack encType = nullptr;
    void *encTypeUser = nullptr;
    PLAY_DisplayCallBack display = nullptr;
    void *displayUser = nullptr;
    PLAY_DrawFun draw = nullptr;
    void *drawUser = nullptr;
    PLAY_DecCallBack dec = nullptr;
    PLAY_WaterMarkCallBack watermark = nullptr;
    void *watermarkUser = nullptr;
};

// A video packet on its way to the screen: decoded already (SVAC) or when shown.
struct Frame {
    packetfmt::PacketInfo info;
    std::vector<uint8_t> payload;
    PicturePtr picture;
};

struct Region {
    PLAY_VIDEO_SINK *sink = nullptr;
    PLAY_RECT rect{};
};

class Port : public std::enable_shared_from_this<Port> {
public:
    explicit Port(int number) : m_number(number) {}
    ~Port();
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    // Stream
    int32_t SetStreamOpenMode(int32_t mode);
    int32_t OpenStream(int32_t bufferSize);
    int32_t CloseStream();
    int32_t SetSecurityKey(const char *key, int32_t length);
    int32_t InputData(const void *data, int32_t size);
    int32_t SourceRemain();
    int32_t BufferValue(int32_t kind);
    int32_t ResetBuffer(int32_t kind);
    int32_t ResetSource();
    int32_t Flush();
    // Closes everything; every later call answers 0.
    void Release();
    // A call that only needs a live port.
    int32_t Accept();

    // Play control
    int32_t Play(PLAY_VIDEO_SINK *sink, TimePoint now);
    int32_t Stop();
    int32_t Pause(bool pause, TimePoint now);
    int32_t Step();
    int32_t SetSpeed(float speed, TimePoint now);
    int32_t SetDirection(bool reverse, TimePoint now);

    // Sets one callback slot; returns once no call of the previous one is running.
    template <typename F>
    int32_t SetCallback(F Callbacks::*slot, void *Callbacks::*userSlot, F fn, void *user);

    int32_t SetDisplayRegion(int32_t region, const PLAY_RECT *rect, PLAY_VIDEO_SINK *sink, bool enable);
    int32_t PictureSize(int32_t *width, int32_t *height);

    // Audio
    int32_t SoundShare(bool on);
    int32_t ChooseAudio(int32_t channel, bool enable);
    int32_t AdjustVolume(int32_t volume);

    // Files
    int32_t CatchPicture(const std::string &path, int32_t type);
    int32_t StartRecord(const std::string &path);
    int32_t StopRecord();

    // Test controls
    void Wake();
    bool WaitIdle(int32_t timeoutMs);
    void Stats(PTEST_PORT_STATS &stats);
    int32_t FireWaterMark(const char *buffer, int32_t length, int32_t kind, int32_t flag, int64_t timeValue);

private:
    int32_t Fail(int32_t code);
    void WakeLocked();
    void WaitCallouts(std::unique_lock<std::mutex> &lk, uint64_t started);
    void StopWorker(std::unique_lock<std::mutex> &lk);
    void ClearFrames();
    void Reanchor(TimePoint now);
    void FlushGop();
    void Enqueue(Frame &&frame);

    // Worker (port_worker.cpp)
    void Run(uint64_t generation);
    bool DemuxStep(std::unique_lock<std::mutex> &lk, uint64_t generation);
    bool ShowStep(std::unique_lock<std::mutex> &lk, TimePoint &due, bool &hasDue);
    bool DueTime(const Frame &frame, TimePoint now, TimePoint &when);
    void Show(const packetfmt::PacketInfo &info, PicturePtr picture, uint32_t frameId, const Callbacks &cb,
              PLAY_VIDEO_SINK *sink, const std::map<int32_t, Region> &regions);
    void WriteRecord(const std::vector<uint8_t> &bytes);
    void AccountSkipped();

    const int m_number;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // the worker's wake-ups
    std::condition_variable m_done;  // callouts finished, worker settled, joins finished

    bool m_released = false;
    bool m_open = false;
    int32_t m_openMode = PLAY_STREAM_FILE;
    size_t m_capacity = 0;
    std::string m_key;
    bool m_keyDirty = false;

    // Source and demultiplexer
    std::deque<std::vector<uint8_t>> m_source;
    size_t m_sourceBytes = 0;
    packetfmt::Reader m_reader;
    uint64_t m_readerSkipped = 0;
    bool m_flushPending = false;
    uint64_t m_resetGeneration = 0;
    bool m_needKey = true;
    int m_inflightVideo = 0;
    int m_inflightAudio = 0;
    int m_showing = 0;
    std::deque<Frame> m_queue;
    std::vector<Frame> m_gop;  // reverse play: one group of pictures, shown last to first
    std::unique_ptr<SvacDecoder> m_svac;
    bool m_svacTried = false;

    // Play state
    bool m_playing = false;
    PLAY_VIDEO_SINK *m_sink = nullptr;
    std::map<int32_t, Region> m_regions;
    float m_speed = 1.0f;
    bool m_reverse = false;
    bool m_paused = false;
    int m_stepBudget = 0;
    bool m_showWhilePaused = false;  // paused and reset: the next picture is shown
    bool m_decoderStale = false;     // reset: the worker opens the decoder again
    bool m_resetBeforeInput = false; // buffers reset, no data fed since
    bool m_anchored = false;
    TimePoint m_anchorWall{};
    int64_t m_anchorTs = 0;
    bool m_hasLast = false;
    int64_t m_lastTs = 0;
    TimePoint m_lastDue{};
    uint32_t m_nextFrameId = 1;

    // Worker thread and callouts
    std::thread m_worker;
    uint64_t m_workerGeneration = 0;
    bool m_joining = false;
    uint64_t m_calloutsStarted = 0;
    uint64_t m_calloutsFinished = 0;
    uint64_t m_epoch = 0;
    uint64_t m_settledEpoch = 0;
    Callbacks m_cb;

    // Shown pictures
    Frame m_lastFrame;
    bool m_hasLastFrame = false;
    int32_t m_pictureWidth = 0;
    int32_t m_pictureHeight = 0;
    int32_t m_headerWidth = 0;
    int32_t m_headerHeight = 0;
    int32_t m_reportedWidth = 0;   // worker only: last size given to the encode-type callback
    int32_t m_reportedHeight = 0;
    std::vector<uint8_t> m_rgb;    // worker only

    // Audio
    bool m_soundShare = false;
    std::bitset<256> m_chosenAudio;
    int32_t m_volume = 0;

    // Data recording
    std::mutex m_recordMutex;
    FILE *m_record = nullptr;
    std::string m_recordPath;
    std::string m_recordTemp;

    PTEST_PORT_STATS m_stats{};
};

// Marks the calling thread as making a callout of port, for re-entrant callback setters.
class CalloutScope {
public:
    explicit CalloutScope(const Port *port);
    ~CalloutScope();
    static bool Inside(const Port *port);

private:
    const Port *m_previous;
};

template <typename F>
int32_t Port::SetCallback(F Callbacks::*slot, void *Callbacks::*userSlot, F fn, void *user)
{
    std::unique_lock<std::mutex> lk(m_mutex);
    if (m_released)
        return Fail(PLAY_ERR_PORT);
    m_cb.*slot = fn;
    if (userSlot)
        m_cb.*userSlot = user;
    WakeLocked();
    WaitCallouts(lk, m_calloutsStarted);
    return 1;
}

}  // namespace play

#endif
