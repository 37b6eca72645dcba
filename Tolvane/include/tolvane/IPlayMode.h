#pragma once
// One decoding pipeline as the services see it: a port of the player library fed with one
// stream and shown in one or more video windows. Play modes are owned by the player
// manager once attached; listeners keep no mode pointer beyond the signals that carry it.

#include <cstdint>
#include <string>
#include <vector>

#include <foundation/FastDelegate.h>

class QReadWriteLock;
class QMutex;

namespace Tolvane {

class IDevice;

// Mode ids: a window holds at most one mode of each.
namespace ModeId {
constexpr const char RealVideo[] = "class Tolvane::CRealVideoMode";
constexpr const char Playback[] = "class Tolvane::CPlaybackMode";
constexpr const char LocalPlay[] = "class Tolvane::CLocalPlayMode";
}  // namespace ModeId

// The description of the last accepted decoded frame: the player's first ten 32-bit words
// of the frame information, the frame's time as six 16-bit values and the interval.
struct PlayFrameRecord {
    int32_t type = 0;
    uint32_t frameId = 0;       // compared to drop repeated frames
    int32_t frameCounter = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t encodeType = 0;
    uint32_t sequence = 0;
    int64_t timestampMs = 0;    // words 8-9
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint16_t interval = 0;      // 0 to 999
    uint16_t reserved = 0;
};

// A rectangle {left, top, right, bottom}.
struct PlayRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PlayRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct PlayAudioState {
    int channel = -2;  // -2 none, -1 all
    int volume = 50;
    int flag = 0;
};

class IPlayMode {
public:
    enum playStatus {
        StatusPlaying = 1,
        StatusPaused = 2,
        StatusClosed = 4,
        StatusOtherSpeed = 5,
        StatusReverse = 6,
        StatusStepBackward = 7,
        StatusStepForward = 8,
    };

    // Handlers of the mode's signals.
    using FrameDrawHandler = fastdelegate::FastDelegate<void(long winID, long frameId, void* painter, void* rect)>;
    using StreamDataHandler = fastdelegate::FastDelegate<void(IPlayMode* mode, char* data, long length)>;
    using PictureSizeHandler = fastdelegate::FastDelegate<void(IPlayMode* mode, long width, long height)>;
    using ClosingHandler = fastdelegate::FastDelegate<void(const IPlayMode& mode)>;
    using SixValueHandler =
        fastdelegate::FastDelegate<void(IPlayMode* mode, char* data, long a, long b, long c, void* d)>;
    using FrameDecodedHandler = fastdelegate::FastDelegate<void(IPlayMode* mode, long port)>;
    using StatusHandler = fastdelegate::FastDelegate<void(IPlayMode* mode, playStatus status)>;
    using DrawHandler = fastdelegate::FastDelegate<void(int winID, long port, void* drawContext)>;

    virtual ~IPlayMode() = default;

    virtual const char* GetModeID() = 0;
    virtual bool IsOpen() = 0;
    virtual playStatus GetPlayStatus() = 0;
    virtual bool Close() = 0;
    virtual IDevice* GetDevice() = 0;
    virtual int GetPort() = 0;
    virtual int GetChannel() = 0;
    virtual int GetSlaveChannel() = 0;
    virtual void SetSlaveChannel(int slaveChannel) = 0;
    virtual int GetStreamType() = 0;
    virtual std::string GetStreamTypeName() = 0;
    virtual int GetProtocol() = 0;
    virtual std::string GetEncodeTypeName() = 0;
    virtual int GetFrameRate() = 0;

    virtual bool AttachFrameDraw(const FrameDrawHandler& handler) = 0;
    virtual bool AttachStreamData(const StreamDataHandler& handler) = 0;
    virtual bool AttachPictureSize(const PictureSizeHandler& handler) = 0;
    virtual bool AttachClosing(const ClosingHandler& handler) = 0;
    virtual bool AttachSixValue(const SixValueHandler& handler) = 0;
    virtual bool AttachFrameDecoded(const FrameDecodedHandler& handler) = 0;
    virtual bool AttachStatus(const StatusHandler& handler) = 0;
    virtual bool AttachDraw(const DrawHandler& handler) = 0;
    virtual bool DetachFrameDraw(const FrameDrawHandler& handler) = 0;
    virtual bool DetachStreamData(const StreamDataHandler& handler) = 0;
    virtual bool DetachPictureSize(const PictureSizeHandler& handler) = 0;
    virtual bool DetachSixValue(const SixValueHandler& handler) = 0;
    virtual bool DetachFrameDecoded(const FrameDecodedHandler& handler) = 0;
    virtual bool DetachStatus(const StatusHandler& handler) = 0;
    virtual bool DetachDraw(const DrawHandler& handler) = 0;

    // True when the value changed.
    virtual bool SetTag(int tag) = 0;
    virtual bool GetStreamNumbering() = 0;
    virtual bool ChooseFrame(int value) = 0;
    virtual int GetModeValue() = 0;

    virtual bool AddWindow(int winID) = 0;
    virtual bool RemoveWindow(int winID) = 0;
    virtual bool ContainsWindow(int winID) = 0;
    virtual int WindowCount() = 0;
    virtual std::vector<int> GetWindows() = 0;
    virtual QReadWriteLock* GetWindowLock() = 0;

    virtual bool SetAudio(int channel) = 0;
    virtual bool SetVolume(int volume) = 0;
    virtual PlayAudioState GetAudioState() = 0;
    // False when flag is non-zero or the picture size is not known yet.
    virtual bool GetFrameRecord(PlayFrameRecord* dest, int flag) = 0;

    virtual void AddPendingWindow(int winID) = 0;
    virtual void RemovePendingWindow(int winID) = 0;
    virtual void ClearPendingWindows() = 0;
    virtual std::vector<int> GetPendingWindows() = 0;
    virtual QMutex* GetPendingLock() = 0;

    // Zoom in a space of 8192 units per direction (right and bottom exclusive); answers the
    // applied rectangle in picture pixels, {0, 0, -1, -1} when nothing was applied.
    virtual PlayRect SetWindowZoom(int winID, int left, int top, int right, int bottom) = 0;
};

}  // namespace Tolvane
