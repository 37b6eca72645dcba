#pragma once
// The base of every play mode: one player port shown in a list of video windows, with
// display regions and zoom, audio share and volume, the player's decode, data, demux and
// picture-size callbacks, the last frame's record, RGB32 conversion when the host draws,
// traffic statistics and the mode's signals. A subclass opens the stream, sets the port
// and registers the callbacks below with the mode as user value.
//
// Threads: the player's callbacks run on the port's thread, the data sink on the device
// library's, the frame-decoded signal on a pool thread, the rest on the callers' threads.
// The window list has its read-write lock; frame record, picture size and converted frames
// share the frame lock; regions and zoom rectangles the region lock. No lock is held while
// a signal's handlers run. The frame-decoded pool task reaches the mode only through its
// lifetime guard, which the mode's end invalidates and waits for.

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QMutex>
#include <QReadWriteLock>

#include <foundation/HostContext.h>
#include <foundation/Mutex.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>

#include <tolvane/IPlayMode.h>

#include <play/playsdk.h>

#include "rgb32convert.h"

class ISorquin;

namespace Tolvane {

class CPlayModeLife;

class CPlayMode : public IPlayMode {
public:
    // Number of display regions of a port.
    static constexpr int kRegionCount = 64;

    CPlayMode(HostContext* context, void* windowHandle, bool hardwareDecoding);
    ~CPlayMode() override;
    CPlayMode(const CPlayMode&) = delete;
    CPlayMode& operator=(const CPlayMode&) = delete;

    // IPlayMode
    bool IsOpen() override { return m_open.load(); }
    playStatus GetPlayStatus() override { return m_status.load(); }
    IDevice* GetDevice() override { return m_device.load(); }
    int GetPort() override { return m_port.load(); }
    int GetChannel() override { return m_channel.load(); }
    int GetSlaveChannel() override { return m_slaveChannel.load(); }
    void SetSlaveChannel(int slaveChannel) override { m_slaveChannel.store(slaveChannel); }
    int GetStreamType() override { return m_streamType.load(); }
    std::string GetStreamTypeName() override;
    int GetProtocol() override { return m_protocol.load(); }
    std::string GetEncodeTypeName() override;
    int GetFrameRate() override { return m_frameRate.load(); }

    bool AttachFrameDraw(const FrameDrawHandler& handler) override;
    bool AttachStreamData(const StreamDataHandler& handler) override;
    bool AttachPictureSize(const PictureSizeHandler& handler) override;
    bool AttachClosing(const ClosingHandler& handler) override;
    bool AttachSixValue(const SixValueHandler& handler) override;
    bool AttachFrameDecoded(const FrameDecodedHandler& handler) override;
    bool AttachStatus(const StatusHandler& handler) override;
    bool AttachDraw(const DrawHandler& handler) override;
    bool DetachFrameDraw(const FrameDrawHandler& handler) override;
    bool DetachStreamData(const StreamDataHandler& handler) override;
    bool DetachPictureSize(const PictureSizeHandler& handler) override;
    bool DetachSixValue(const SixValueHandler& handler) override;
    bool DetachFrameDecoded(const FrameDecodedHandler& handler) override;
    bool DetachStatus(const StatusHandler& handler) override;
    bool DetachDraw(const DrawHandler& handler) override;

    bool SetTag(int tag) override;
    bool GetStreamNumbering() override { return m_streamNumbering.load(); }
    bool ChooseFrame(int value) override;
    int GetModeValue() override { return 0; }

    bool AddWindow(int winID) override;
    bool RemoveWindow(int winID) override;
    bool ContainsWindow(int winID) override;
    int WindowCount() override;
    std::vector<int> GetWindows() override;
    QReadWriteLock* GetWindowLock() override { return &m_windowLock; }

    bool SetAudio(int channel) override;
    bool SetVolume(int volume) override;
    PlayAudioState GetAudioState() override;
    bool GetFrameRecord(PlayFrameRecord* dest, int flag) override;

    void AddPendingWindow(int winID) override;
    void RemovePendingWindow(int winID) override;
    void ClearPendingWindows() override;
    std::vector<int> GetPendingWindows() override;
    QMutex* GetPendingLock() override { return &m_pendingLock; }

    PlayRect SetWindowZoom(int winID, int left, int top, int right, int bottom) override;

    // Deletes the mode now, or, while a pool task is inside it, when that task leaves; the
    // caller waits only for a paint that another thread relays to the mode (the window
    // module's signal returns from the disconnect once none runs). Close it first.
    void Dispose();

    // Back to the defaults; the window list, the signals and what the constructor was given
    // stay.
    virtual void Reset();
    // Total bytes received on the stream; 0 here.
    virtual long GetStatiscFlux() { return 0; }

    // Takes a traffic sample (only while open) and answers the bitrate in kbit/s over the
    // kept samples; 0 without a last block or a time span.
    long SampleBitrate();

    bool HostDraws() const { return m_hostDraws; }
    void* WindowHandle() const { return m_windowHandle; }

    // The player's callbacks; the user value is the mode.
    static void DemuxCallBack(int32_t port, const uint8_t* packet, int32_t length, const PLAY_DEMUX_INFO* info,
                              void* reserved, void* user);
    static void VisibleDecodeCallBack(int32_t port, const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame,
                                      void* user);
    static void DataCallBack(const uint8_t* data, int32_t length, void* user);
    static void EncTypeChangeCallBack(int32_t port, void* user, int32_t width, int32_t height);

protected:
    // The most derived destructor calls this first: no pool task reaches the mode any more
    // and the frame-draw relay is disconnected. Safe to call more than once.
    void EndLifetime();

    // Applies the play method to the open port; the library's answer.
    bool ApplyPlayMethod();

    void EmitStatus(playStatus status);
    void EmitPictureSize(long width, long height);
    void EmitClosing();
    // Tells the window module each window shows no video (host-draws or not).
    void SetWindowsVideoState(bool showsVideo);
    // Clears the removed windows the player drew into through the handle given to it; call
    // once the port has stopped drawing.
    void ClearRemovedPlayerWindows();

    void SetLastBlockSize(uint32_t size) { m_lastBlockSize.store(size); }
    // The clock of the traffic samples, in milliseconds.
    virtual int64_t TrafficClockMs();

    HostContext* m_context;
    std::atomic<IDevice*> m_device{nullptr};
    std::atomic<int32_t> m_port{0};
    std::atomic<bool> m_open{false};
    std::atomic<playStatus> m_status{StatusClosed};
    int m_color[5] = {0, 64, 64, 64, 64};
    std::atomic<int> m_protocol{-1};
    std::atomic<int> m_channel{-1};
    std::atomic<int> m_slaveChannel{-1};
    std::atomic<int> m_streamType{-1};
    std::atomic<bool> m_streamNumbering{false};
    int m_playMethod[5] = {3, 0, 0, 0, 0};
    int m_engine[2] = {0, 3};
    Foundation::CSharedPtr<ISorquin> m_sorquin;

private:
    struct TrafficSample {
        int64_t bytes;
        int64_t timeMs;
    };
    struct ConvertedFrame {
        std::unique_ptr<uint8_t[]> buffer;
        size_t size;
        int32_t width;
        int32_t height;
        uint32_t frameId;
    };

    void OnFrameDraw(long winID, long frameId, void* painter, void* rect);
    void OnDemux(const PLAY_DEMUX_INFO* info);
    void OnDecoded(const FRAME_DECODE_INFO* picture, const FRAME_INFO_EX* frame);
    void OnPictureSize(int32_t width, int32_t height);
    // Converts the picture into a reused or new buffer kept in the converted-frame list;
    // null when it cannot. Under the frame lock.
    const ConvertedFrame* ConvertLocked(const FRAME_DECODE_INFO* picture, uint32_t frameId);
    void EmitFrameDecodedLater();
    // The window's native handle from the window module; null without one.
    void* HandleOf(int winID);
    int RegionOf(int winID);
    PLAY_RECT WholePictureRect();

    bool m_hostDraws;
    void* m_windowHandle;
    bool m_hardwareDecoding;

    std::mutex m_trafficLock;
    std::deque<TrafficSample> m_traffic;
    std::atomic<uint32_t> m_lastBlockSize{0};

    // Signals, each with its own lock.
    Foundation::CMutex m_drawLock, m_statusLock, m_sixValueLock, m_frameDecodedLock, m_closingLock,
        m_pictureSizeLock, m_streamDataLock, m_frameDrawLock;
    Foundation::CSignal3<int, long, void*, Foundation::CMutex> m_drawSignal;
    Foundation::CSignal2<IPlayMode*, playStatus, Foundation::CMutex> m_statusSignal;
    Foundation::CSignal6<IPlayMode*, char*, long, long, long, void*, Foundation::CMutex> m_sixValueSignal;
    Foundation::CSignal2<IPlayMode*, long, Foundation::CMutex> m_frameDecodedSignal;
    Foundation::CSignal1<const IPlayMode&, Foundation::CMutex> m_closingSignal;
    Foundation::CSignal3<IPlayMode*, long, long, Foundation::CMutex> m_pictureSizeSignal;
    Foundation::CSignal3<IPlayMode*, char*, long, Foundation::CMutex> m_streamDataSignal;
    Foundation::CSignal4<long, long, void*, void*, Foundation::CMutex> m_frameDrawSignal;

    std::atomic<int> m_encodeType{0};
    std::atomic<int> m_frameRate{0};
    std::atomic<int> m_tag{0};
    std::atomic<int> m_chosenFrame{0};

    QReadWriteLock m_windowLock;
    std::vector<int> m_windows;

    std::mutex m_audioLock;
    PlayAudioState m_audio;

    std::mutex m_frameLock;
    PlayFrameRecord m_frameRecord;
    uint16_t m_frameStamp = 0;
    std::deque<ConvertedFrame> m_converted;
    CRGB32Convert m_converter;

    QMutex m_pendingLock;
    std::vector<int> m_pendingWindows;

    std::mutex m_regionLock;
    std::map<int, int> m_regions;     // region -> window id
    std::map<int, PlayRect> m_zooms;  // window id -> rectangle in 8192 units
    std::vector<int> m_removedPlayerWindows;

    std::shared_ptr<CPlayModeLife> m_life;
};

// Disposes of a mode that is no longer filed anywhere (see CPlayMode::Dispose); a mode of
// another kind is deleted.
void DisposePlayMode(IPlayMode* mode);

}  // namespace Tolvane
