#include "playbackmode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <QDebug>
#include <QString>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>

#include "logfacade.h"
#include "playlibrary.h"
#include "timetext.h"

// Log lines of this mode name the module "Playback" and the source "PlaybackMode".
#define PLAYBACK_LOG(level, function, streamed)                                                       \
    do {                                                                                              \
        std::ostringstream playbackLogText_;                                                          \
        playbackLogText_ << streamed;                                                                 \
        ::Tolvane::LogFacade::level("Playback", playbackLogText_.str(), "PlaybackMode", __LINE__,     \
                                    "Tolvane::CPlaybackMode::" function);                             \
    } while (0)

namespace Tolvane {

namespace {

constexpr int32_t kStreamBufferSize = 15360000;
constexpr int kInputTries = 3;
constexpr float kFastSpeed = 4.0f;
constexpr const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

std::string TextOf(const Json::Value& info, const char* key)
{
    return Foundation::JsonStringOrEmpty(Foundation::JsonMember(info, key));
}

std::string FormatTime(int year, int month, int day, int hour, int minute, int second)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return text;
}

}  // namespace

CPlaybackMode::CPlaybackMode(HostContext* context, void* windowHandle, bool gpuFlag)
    : CPlayMode(context, windowHandle, gpuFlag),
      m_dataHandler(this, &CPlaybackMode::ReceiveNetStreamData),
      m_posHandler(this, &CPlaybackMode::ReceiveNetStreamPos)
{
    PLAYBACK_LOG(info, "CPlaybackMode", "CPlaybackMode");
}

CPlaybackMode::~CPlaybackMode()
{
    EndLifetime();
    PLAYBACK_LOG(info, "~CPlaybackMode", "~CPlaybackMode");
    // A mode deleted while its stream still runs must not leave the device or the player
    // calling into it.
    IDevice* device = m_device.load();
    const long handle = m_playbackHandle.exchange(0);
    if (device != nullptr && handle != 0) {
        device->StopPlayBack(handle);
    }
    if (m_port.load() != 0) {
        ReleasePort();
    }
}

const char* CPlaybackMode::GetModeID()
{
    PLAYBACK_LOG(info, "GetModeID", ModeId::Playback);
    return ModeId::Playback;
}

bool CPlaybackMode::GetFrameRecord(PlayFrameRecord* dest, int flag)
{
    PlayFrameRecord record;
    if (!CPlayMode::GetFrameRecord(&record, flag)) {
        return false;
    }
    if (m_hideFrame.load()) {
        if (record.frameId == m_staleFrameId.load()) {
            return false;
        }
        m_hideFrame.store(false);
    }
    if (dest != nullptr) {
        *dest = record;
    }
    return true;
}

// ---- port ----

bool CPlaybackMode::OpenVideoDecode()
{
    int32_t port = 0;
    PLAY_CALL(m_context, PLAY_GetFreePort, &port);
    if (port == 0) {
        PLAYBACK_LOG(warn, "OpenVideoDecode", "PLAY_GetFreePort failed!");
        return false;
    }
    PLAY_CALL(m_context, PLAY_EnableLargePicAdjustment, port, 1);
    void* self = static_cast<void*>(this);
    const bool opened =
        PLAY_CALL(m_context, PLAY_OpenStream, port, nullptr, 0, kStreamBufferSize) != 0
        && PLAY_CALL(m_context, PLAY_SetStreamOpenMode, port, PLAY_STREAM_FILE) != 0
        && PLAY_CALL(m_context, PLAY_SetEngine, port, m_engine[0], m_engine[1]) != 0
        && PLAY_CALL(m_context, PLAY_Play, port, WindowHandle()) != 0
        && PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, 1.0f) != 0
        && PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, &CPlayMode::DemuxCallBack, self) != 0
        && PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, &CPlayMode::VisibleDecodeCallBack, self) != 0;
    if (!opened) {
        PLAY_CALL(m_context, PLAY_ReleasePort, port);
        m_port.store(0);
        PLAYBACK_LOG(warn, "OpenVideoDecode", "Play_Play failed!");
        return false;
    }
    PLAYBACK_LOG(info, "OpenVideoDecode", "PLAY_Play OK");
    m_port.store(port);
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, &CPlayMode::DataCallBack, self);
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, &CPlayMode::EncTypeChangeCallBack, self);
    PLAY_CALL(m_context, PLAY_SetColor, port, m_color[0], m_color[1], m_color[2], m_color[3], m_color[4]);
    return true;
}

void CPlaybackMode::ReleasePort()
{
    const int32_t port = m_port.load();
    PLAY_CALL(m_context, PLAY_RigisterDrawFun, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDisplayCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_Stop, port);
    PLAY_CALL(m_context, PLAY_CloseStream, port);
    PLAY_CALL(m_context, PLAY_ResetSourceBuffer, port);
    PLAY_CALL(m_context, PLAY_ReleasePort, port);
    m_port.store(0);
}

// ---- stream ----

bool CPlaybackMode::Playback(IDevice* device, const Json::Value& fileInfo, bool byTime, bool reverse, bool reset)
{
    PLAYBACK_LOG(info, "Playback", "Playback reverse:" << reverse << " reset:" << reset);
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_startTimeText.clear();
    }
    if (m_port.load() == 0 && !OpenVideoDecode()) {
        PLAYBACK_LOG(warn, "Playback", "OpenVideoDecode error!");
        return false;
    }
    const int32_t port = m_port.load();
    m_reverse.store(reverse);
    m_streamEnd.store(false);
    m_currentSpeed.store(reverse ? -1.0f : 1.0f);

    const bool started = IsOpen();
    if (started) {
        IDevice* held = m_device.load();
        const long handle = m_playbackHandle.exchange(0);
        if (held != nullptr && handle != 0) {
            held->StopPlayBack(handle);
        }
        if (reset) {
            PLAY_CALL(m_context, PLAY_ResetBuffer, port, PLAY_BUF_DEMUX);
            PLAY_CALL(m_context, PLAY_ResetBuffer, port, PLAY_BUF_PICTURES);
            PLAY_CALL(m_context, PLAY_ResetSourceBuffer, port);
            PlayFrameRecord stale;
            if (CPlayMode::GetFrameRecord(&stale, 0)) {
                m_staleFrameId.store(stale.frameId);
                m_hideFrame.store(true);
            }
        }
    }
    PLAY_CALL(m_context, PLAY_SetPlayDirection, port, reverse ? 1 : 0);
    PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, 1.0f);

    const PlayAudioState audio = GetAudioState();
    if (audio.channel != -2) {
        SetAudio(audio.channel);
        SetVolume(audio.volume);
    }

    Json::Value adjusted = fileInfo.isObject() ? fileInfo : Json::Value(Json::objectValue);
    const std::string seekTime = TextOf(adjusted, "seekTime");
    if (!seekTime.empty()) {
        adjusted[reverse ? "endTime" : "startTime"] = seekTime;
    }
    const std::string start = TextOf(adjusted, "startTime");
    if (start == TextOf(adjusted, "endTime")) {
        if (reverse) {
            adjusted["endTime"] = AddSecondsToTimeText(start, kTimeFormat, 1);
        } else {
            adjusted["startTime"] = AddSecondsToTimeText(start, kTimeFormat, -1);
        }
    }

    const long handle = device != nullptr ? device->Playback(adjusted, &m_posHandler, &m_dataHandler, byTime, reverse)
                                          : 0;
    if (handle == 0) {
        Close();
        PLAYBACK_LOG(warn, "Playback", "OpenVideoNetStream error!");
        return false;
    }

    m_playbackHandle.store(handle);
    m_device.store(device);
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_currentFileInfo = fileInfo;
        if (reverse) {
            m_playedFiles.insert(m_playedFiles.begin(), fileInfo);
        } else {
            m_playedFiles.push_back(fileInfo);
        }
        m_startTimeText = TextOf(adjusted, reverse ? "endTime" : "startTime");
    }
    m_byTime.store(byTime);
    m_channel.store(Foundation::JsonToInt(Foundation::JsonMember(adjusted, "channel")));
    if (!started) {
        m_status.store(reverse ? StatusReverse : StatusPlaying);
    }
    m_open.store(true);
    EmitStatus(m_status.load());
    return true;
}

bool CPlaybackMode::ReceiveNetStreamData(const unsigned char* data, uint32_t size, uint32_t, uint32_t)
{
    const int32_t port = m_port.load();
    PLAYBACK_LOG(trace, "ReceiveNetStreamData", "port:" << port << " size:" << size);
    for (int attempt = 0; attempt < kInputTries; ++attempt) {
        if (PLAY_CALL(m_context, PLAY_InputData, port, data, static_cast<int32_t>(size)) != 0) {
            return true;
        }
    }
    return false;
}

void CPlaybackMode::ReceiveNetStreamPos(uint32_t total, int32_t done)
{
    PLAYBACK_LOG(trace, "ReceiveNetStreamPos", "percent:" << total << " cur:" << done);
    if (done != -1) {
        return;
    }
    m_streamEnd.store(true);
    Json::Value fileInfo;
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_endedFileInfo = m_currentFileInfo;
        fileInfo = m_currentFileInfo;
    }
    Json::Value report(Json::arrayValue);
    for (int winID : GetWindows()) {
        Json::Value entry(Json::objectValue);
        entry["winID"] = winID;
        entry["fileInfo"] = fileInfo;
        entry["status"] = "streamEnd";
        qDebug().noquote() << "****** StreamEnd" << QString::fromStdString(Foundation::JsonFastText(entry)).trimmed();
        report.append(entry);
    }
    if (!report.empty()) {
        Foundation::NotifyWebEvent(m_context, "PlayProcessInfo", report);
    }
    PLAY_CALL(m_context, PLAY_Flush, m_port.load());
}

bool CPlaybackMode::IsDecodeEnd()
{
    if (!m_streamEnd.load()) {
        return false;
    }
    const int32_t port = m_port.load();
    int64_t held = 0;
    if (port != 0) {
        for (int kind : {PLAY_BUF_VIDEO_PACKETS, PLAY_BUF_AUDIO_PACKETS, PLAY_BUF_PICTURES}) {
            held += PLAY_CALL(m_context, PLAY_GetBufferValue, port, kind);
        }
    }
    return held == 0;
}

Json::Value CPlaybackMode::GetEndedFileInfo()
{
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_endedFileInfo;
}

std::vector<Json::Value> CPlaybackMode::GetPlayedFiles()
{
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_playedFiles;
}

std::string CPlaybackMode::GetStartTimeText()
{
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_startTimeText;
}

// ---- control ----

bool CPlaybackMode::Pause(bool deferred)
{
    if (m_status.load() == StatusPaused) {
        return true;
    }
    const int32_t port = m_port.load();
    if (port == 0) {
        return false;
    }
    if (deferred) {
        ArmPause();
        return true;
    }
    if (PLAY_CALL(m_context, PLAY_Pause, port, 1) == 0) {
        return false;
    }
    m_status.store(StatusPaused);
    return true;
}

bool CPlaybackMode::Resume()
{
    const int32_t port = m_port.load();
    if (port == 0) {
        return false;
    }
    // A pause still waiting for its frame would undo this resume.
    DisarmPause();
    const float speed = std::fabs(m_currentSpeed.load());
    const playStatus status = m_status.load();
    bool resumed = false;
    if (status == StatusStepBackward || status == StatusStepForward) {
        resumed = PLAY_CALL(m_context, PLAY_Play, port, WindowHandle()) != 0;
        if (resumed) {
            PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, speed);
        }
    } else {
        resumed = PLAY_CALL(m_context, PLAY_Pause, port, 0) != 0;
    }
    if (resumed) {
        if (speed != 1.0f) {
            m_status.store(StatusOtherSpeed);
        } else {
            m_status.store(m_reverse.load() ? StatusReverse : StatusPlaying);
        }
    }
    return resumed;
}

bool CPlaybackMode::StepForward()
{
    return Step(true);
}

bool CPlaybackMode::StepBackward()
{
    return Step(false);
}

bool CPlaybackMode::Step(bool forward)
{
    if (m_port.load() == 0) {
        return false;
    }
    if (m_reverse.load() == forward) {
        // Turning round only: the new stream pauses on its first shown frame.
        if (!SetPlayBackDirection(!forward)) {
            return false;
        }
        if (m_status.load() != StatusPaused && m_port.load() != 0) {
            ArmPause();
        }
        return true;
    }
    IDevice* device = m_device.load();
    const long handle = m_playbackHandle.load();
    const int32_t port = m_port.load();
    if (std::fabs(m_currentSpeed.load()) > kFastSpeed && device != nullptr && handle != 0) {
        if (device->SetPlayBackSpeed(handle, 0) && PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, 1.0f) != 0) {
            m_currentSpeed.store(forward ? 1.0f : -1.0f);
        }
    }
    if (PLAY_CALL(m_context, PLAY_OneByOne, port) == 0) {
        return false;
    }
    m_status.store(forward ? StatusStepForward : StatusStepBackward);
    return true;
}

std::string CPlaybackMode::CurrentTimeText()
{
    PlayFrameRecord record;
    if (GetFrameRecord(&record, 0)) {
        return FormatTime(record.year, record.month, record.day, record.hour, record.minute, record.second);
    }
    return GetStartTimeText();
}

bool CPlaybackMode::SetSpeed(float speed, bool deferred)
{
    if (!std::isfinite(speed) || speed == 0.0f) {
        PLAYBACK_LOG(warn, "SetSpeed", "invalid speed:" << speed);
        return false;
    }
    const bool wantReverse = speed < 0.0f;
    if (wantReverse != m_reverse.load() && !SetPlayBackDirection(wantReverse)) {
        return false;
    }
    if (deferred) {
        m_pendingSpeed.store(speed);
        ArmSpeed();
        return true;
    }
    if (speed == m_currentSpeed.load()) {
        return true;
    }
    const float absolute = std::fabs(speed);
    const int level = static_cast<int>(std::trunc(std::log2(absolute)));
    if (absolute <= kFastSpeed && std::fabs(m_currentSpeed.load()) > kFastSpeed) {
        // Back from a fast speed the device stream restarts at the shown time first.
        if (!SeekTo(CurrentTimeText(), m_reverse.load())) {
            return false;
        }
        m_pendingSpeed.store(speed);
        ArmSpeed();
        return true;
    }
    IDevice* device = m_device.load();
    const long handle = m_playbackHandle.load();
    if (device == nullptr || handle == 0 || !device->SetPlayBackSpeed(handle, level)) {
        return false;
    }
    const int32_t port = m_port.load();
    if (port == 0 || PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, absolute) == 0) {
        return false;
    }
    m_currentSpeed.store(speed);
    if (absolute != 1.0f) {
        m_status.store(StatusOtherSpeed);
    } else {
        m_status.store(m_reverse.load() ? StatusReverse : StatusPlaying);
    }
    return true;
}

bool CPlaybackMode::SetPlayBackDirection(bool reverse)
{
    PLAYBACK_LOG(info, "SetPlayBackDirection", "reverse:" << reverse);
    return TurnDirection(reverse);
}

bool CPlaybackMode::TurnDirection(bool reverse)
{
    if (!IsOpen() || m_device.load() == nullptr || m_playbackHandle.load() == 0) {
        return false;
    }
    const std::string text = CurrentTimeText();
    Resume();
    return SeekTo(text, reverse);
}

bool CPlaybackMode::SeekByTime(int year, int month, int day, int hour, int minute, int second)
{
    const std::string text = FormatTime(year, month, day, hour, minute, second);
    if (text == GetStartTimeText()) {
        return false;
    }
    return SeekTo(text, m_reverse.load());
}

bool CPlaybackMode::SeekTo(const std::string& timeText, bool reverse)
{
    if (timeText.empty()) {
        return false;
    }
    Json::Value target;
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        const auto covers = [&timeText](const Json::Value& info) {
            return TextOf(info, "startTime") <= timeText && timeText <= TextOf(info, "endTime");
        };
        bool found = false;
        if (reverse) {
            for (auto it = m_playedFiles.begin(); it != m_playedFiles.end() && !found; ++it) {
                if (covers(*it)) {
                    target = *it;
                    found = true;
                }
            }
        } else {
            for (auto it = m_playedFiles.rbegin(); it != m_playedFiles.rend() && !found; ++it) {
                if (covers(*it)) {
                    target = *it;
                    found = true;
                }
            }
        }
        if (!found) {
            return false;
        }
        m_playedFiles.clear();
    }
    target["seekTime"] = timeText;
    return Playback(m_device.load(), target, m_byTime.load(), reverse, true);
}

// ---- deferred pause and speed ----

void CPlaybackMode::ArmPause()
{
    std::lock_guard<std::mutex> lock(m_oneShotLock);
    if (!m_pauseArmed) {
        m_pauseArmed = true;
        AttachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnPauseFrame));
    }
}

void CPlaybackMode::DisarmPause()
{
    std::lock_guard<std::mutex> lock(m_oneShotLock);
    if (m_pauseArmed) {
        m_pauseArmed = false;
        DetachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnPauseFrame));
    }
}

void CPlaybackMode::ArmSpeed()
{
    std::lock_guard<std::mutex> lock(m_oneShotLock);
    if (!m_speedArmed) {
        m_speedArmed = true;
        AttachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnSpeedFrame));
    }
}

// The frame-shown signal is emitted from a pool task that holds the mode alive, so the
// deferred work runs right there rather than in a task of its own that could outlive it.
void CPlaybackMode::OnPauseFrame(IPlayMode*, long)
{
    {
        std::lock_guard<std::mutex> lock(m_oneShotLock);
        if (!m_pauseArmed) {
            return;
        }
        m_pauseArmed = false;
        DetachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnPauseFrame));
    }
    Pause(false);
}

void CPlaybackMode::OnSpeedFrame(IPlayMode*, long)
{
    {
        std::lock_guard<std::mutex> lock(m_oneShotLock);
        if (!m_speedArmed) {
            return;
        }
        m_speedArmed = false;
        DetachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnSpeedFrame));
    }
    SetSpeed(m_pendingSpeed.load(), false);
}

// ---- close ----

bool CPlaybackMode::Close()
{
    PLAYBACK_LOG(info, "Close", "Close");
    {
        std::lock_guard<std::mutex> lock(m_oneShotLock);
        m_pauseArmed = false;
        m_speedArmed = false;
        DetachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnPauseFrame));
        DetachFrameDecoded(FrameDecodedHandler(this, &CPlaybackMode::OnSpeedFrame));
    }
    EmitPictureSize(0, 0);
    EmitClosing();
    IDevice* device = m_device.load();
    const long handle = m_playbackHandle.exchange(0);
    if (device != nullptr && handle != 0) {
        device->StopPlayBack(handle);
    }
    if (m_port.load() != 0) {
        ReleasePort();
    }
    ClearRemovedPlayerWindows();
    Reset();
    EmitStatus(StatusClosed);
    SetWindowsVideoState(false);
    return true;
}

void CPlaybackMode::Reset()
{
    CPlayMode::Reset();
    m_open.store(false);
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_currentFileInfo = Json::Value();
        m_playedFiles.clear();
    }
    m_byTime.store(false);
    m_port.store(0);
    m_playbackHandle.store(0);
    m_currentSpeed.store(1.0f);
    m_status.store(StatusClosed);
    m_reverse.store(false);
    m_channel.store(-1);
    m_device.store(nullptr);
    m_hideFrame.store(false);
}

}  // namespace Tolvane
