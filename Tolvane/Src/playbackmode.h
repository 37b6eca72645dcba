#pragma once
// The network playback mode: a player port in file-stream mode fed with a recording that
// the device streams, shown in the mode's windows. It keeps the files played since the last
// seek so that a seek, a speed change past 4x or a turn of direction can restart the device
// stream at the right file and time.
//
// Threads: the device calls the data and position sinks on its library's threads until
// StopPlayBack returns; the deferred pause and speed run in the frame-shown task, which the
// base keeps inside the mode's lifetime; the rest runs on the callers' threads. Flags and
// numbers are atomics; the file texts have a leaf lock under which nothing else is called.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include <tolvane/IDevice.h>

#include "playmode.h"

namespace Tolvane {

class CPlaybackMode : public CPlayMode {
public:
    CPlaybackMode(HostContext* context, void* windowHandle, bool gpuFlag);
    ~CPlaybackMode() override;

    const char* GetModeID() override;
    bool Close() override;
    long GetPlaybackHandle() { return m_playbackHandle.load(); }
    void Reset() override;
    // After a re-targeting reset the last frame of the old stream no longer counts.
    bool GetFrameRecord(PlayFrameRecord* dest, int flag) override;

    bool OpenVideoDecode();
    bool Playback(IDevice* device, const Json::Value& fileInfo, bool byTime, bool reverse, bool reset);
    bool Pause(bool deferred);
    bool Resume();
    bool StepForward();
    bool StepBackward();
    // A speed of 0 (or not a number) is refused.
    bool SetSpeed(float speed, bool deferred);
    bool SetPlayBackDirection(bool reverse);
    bool SeekByTime(int year, int month, int day, int hour, int minute, int second);
    bool SeekTo(const std::string& timeText, bool reverse);
    bool IsDecodeEnd();
    Json::Value GetEndedFileInfo();

    // The device's sinks.
    bool ReceiveNetStreamData(const unsigned char* data, uint32_t size, uint32_t reserved, uint32_t dataType);
    void ReceiveNetStreamPos(uint32_t total, int32_t done);

    float GetCurrentSpeed() const { return m_currentSpeed.load(); }
    bool IsReverse() const { return m_reverse.load(); }
    std::vector<Json::Value> GetPlayedFiles();
    std::string GetStartTimeText();

private:
    void ReleasePort();
    // The shown frame's time, else the start time text of the stream.
    std::string CurrentTimeText();
    bool TurnDirection(bool reverse);
    bool Step(bool forward);
    // One-shot handlers on the frame-shown signal.
    void ArmPause();
    void ArmSpeed();
    void DisarmPause();
    void OnPauseFrame(IPlayMode* mode, long port);
    void OnSpeedFrame(IPlayMode* mode, long port);

    std::mutex m_textLock;
    Json::Value m_currentFileInfo;
    std::vector<Json::Value> m_playedFiles;
    std::string m_startTimeText;
    Json::Value m_endedFileInfo;

    std::atomic<bool> m_byTime{false};
    std::atomic<float> m_currentSpeed{1.0f};
    std::atomic<float> m_pendingSpeed{1.0f};
    std::atomic<bool> m_reverse{false};
    std::atomic<long> m_playbackHandle{0};
    std::atomic<bool> m_streamEnd{false};

    DeviceDataDelegate m_dataHandler;
    DevicePosDelegate m_posHandler;

    std::mutex m_oneShotLock;
    bool m_pauseArmed = false;
    bool m_speedArmed = false;

    // Frame id of the record that a reset made stale; valid while m_hideFrame is set.
    std::atomic<bool> m_hideFrame{false};
    std::atomic<uint32_t> m_staleFrameId{0};
};

}  // namespace Tolvane
