#include "playmode.h"

#include <algorithm>

#include <ISorquin.h>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "playlibrary.h"
#include "playmodelife.h"

namespace Tolvane {

namespace {

constexpr int kZoomUnits = 8192;
constexpr int kAudioChannels = 256;

const PlayRect kNoZoom{0, 0, -1, -1};

}  // namespace

CPlayMode::CPlayMode(HostContext* context, void* windowHandle, bool hardwareDecoding)
    : m_context(context),
      m_hostDraws(context != nullptr && context->CompatibilityFlag() != 0),
      m_windowHandle(m_hostDraws ? nullptr : windowHandle),
      m_hardwareDecoding(hardwareDecoding),
      m_converter(context),
      m_life(std::make_shared<CPlayModeLife>(this))
{
    m_engine[0] = hardwareDecoding ? 3 : 0;
    m_engine[1] = hardwareDecoding ? 0 : 3;
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    Foundation::ConnectHostSignal(m_context, "frameDrawSignal",
                                  FrameDrawHandler(this, &CPlayMode::OnFrameDraw));
}

CPlayMode::~CPlayMode()
{
    EndLifetime();
    std::lock_guard<std::mutex> lock(m_frameLock);
    m_converted.clear();
}

void CPlayMode::EndLifetime()
{
    Foundation::DisconnectHostSignal(m_context, "frameDrawSignal", FrameDrawHandler(this, &CPlayMode::OnFrameDraw));
    m_life->End();
}

void CPlayMode::Dispose()
{
    Foundation::DisconnectHostSignal(m_context, "frameDrawSignal", FrameDrawHandler(this, &CPlayMode::OnFrameDraw));
    delete m_life->Retire(this);
}

void DisposePlayMode(IPlayMode* mode)
{
    if (auto* base = dynamic_cast<CPlayMode*>(mode)) {
        base->Dispose();
    } else {
        delete mode;
    }
}

void CPlayMode::Reset()
{
    m_device.store(nullptr);
    m_port.store(0);
    m_open.store(false);
    m_status.store(StatusClosed);
    const int colour[5] = {0, 64, 64, 64, 64};
    std::copy(colour, colour + 5, m_color);
    m_protocol.store(-1);
    m_channel.store(-1);
    m_slaveChannel.store(-1);
    m_streamType.store(-1);
    {
        std::lock_guard<std::mutex> lock(m_trafficLock);
        m_traffic.clear();
    }
    m_lastBlockSize.store(0);
    m_encodeType.store(0);
    m_frameRate.store(0);
    m_tag.store(0);
    const int method[5] = {3, 0, 0, 0, 0};
    std::copy(method, method + 5, m_playMethod);
    m_streamNumbering.store(false);
    m_chosenFrame.store(0);
    {
        std::lock_guard<std::mutex> lock(m_audioLock);
        m_audio = PlayAudioState();
    }
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        m_converted.clear();
        m_frameRecord = PlayFrameRecord();
        m_frameStamp = 0;
    }
    ClearPendingWindows();
    std::lock_guard<std::mutex> lock(m_regionLock);
    m_regions.clear();
    m_zooms.clear();
}

// ---- names ----

std::string CPlayMode::GetStreamTypeName()
{
    static const char* const kNames[] = {"Main", "Extra1", "Extra2", "Extra3"};
    const int index = m_streamType.load() - (m_streamNumbering.load() ? 1 : 2);
    return index >= 0 && index < 4 ? kNames[index] : "";
}

std::string CPlayMode::GetEncodeTypeName()
{
    switch (m_encodeType.load()) {
    case 1:
        return "MPEG4";
    case 2:
    case 4:
    case 8:
        return "H.264";
    case 3:
    case 6:
        return "JPEG";
    case 7:
        return "AVS";
    case 9:
        return "MPEG2";
    case 10:
        return "VNC";
    case 11:
        return "SVAC";
    case 12:
        return "H.265";
    default:
        return "";
    }
}

// ---- signals ----

bool CPlayMode::AttachFrameDraw(const FrameDrawHandler& handler)
{
    return m_frameDrawSignal.Connect(handler, m_frameDrawLock);
}
bool CPlayMode::AttachStreamData(const StreamDataHandler& handler)
{
    return m_streamDataSignal.Connect(handler, m_streamDataLock);
}
bool CPlayMode::AttachPictureSize(const PictureSizeHandler& handler)
{
    return m_pictureSizeSignal.Connect(handler, m_pictureSizeLock);
}
bool CPlayMode::AttachClosing(const ClosingHandler& handler)
{
    return m_closingSignal.Connect(handler, m_closingLock);
}
bool CPlayMode::AttachSixValue(const SixValueHandler& handler)
{
    return m_sixValueSignal.Connect(handler, m_sixValueLock);
}
bool CPlayMode::AttachFrameDecoded(const FrameDecodedHandler& handler)
{
    return m_frameDecodedSignal.Connect(handler, m_frameDecodedLock);
}
bool CPlayMode::AttachStatus(const StatusHandler& handler)
{
    return m_statusSignal.Connect(handler, m_statusLock);
}
bool CPlayMode::AttachDraw(const DrawHandler& handler)
{
    return m_drawSignal.Connect(handler, m_drawLock);
}
bool CPlayMode::DetachFrameDraw(const FrameDrawHandler& handler)
{
    return m_frameDrawSignal.Disconnect(handler, m_frameDrawLock);
}
bool CPlayMode::DetachStreamData(const StreamDataHandler& handler)
{
    return m_streamDataSignal.Disconnect(handler, m_streamDataLock);
}
bool CPlayMode::DetachPictureSize(const PictureSizeHandler& handler)
{
    return m_pictureSizeSignal.Disconnect(handler, m_pictureSizeLock);
}
bool CPlayMode::DetachSixValue(const SixValueHandler& handler)
{
    return m_sixValueSignal.Disconnect(handler, m_sixValueLock);
}
bool CPlayMode::DetachFrameDecoded(const FrameDecodedHandler& handler)
{
    return m_frameDecodedSignal.Disconnect(handler, m_frameDecodedLock);
}
bool CPlayMode::DetachStatus(const StatusHandler& handler)
{
    return m_statusSignal.Disconnect(handler, m_statusLock);
}
bool CPlayMode::DetachDraw(const DrawHandler& handler)
{
    return m_drawSignal.Disconnect(handler, m_drawLock);
}

void CPlayMode::EmitStatus(playStatus status)
{
    m_statusSignal.Emit(this, status, m_statusLock);
}

void CPlayMode::EmitPictureSize(long width, long height)
{
    m_pictureSizeSignal.Emit(this, width, height, m_pictureSizeLock);
}

void CPlayMode::EmitClosing()
{
    m_closingSignal.Emit(*this, m_closingLock);
}

void CPlayMode::OnFrameDraw(long winID, long frameId, void* painter, void* rect)
{
    // Connected by the constructor: a paint may come while a subclass is still being
    // built, so nothing virtual is called here.
    if (CPlayMode::ContainsWindow(static_cast<int>(winID))) {
        m_frameDrawSignal.Emit(winID, frameId, painter, rect, m_frameDrawLock);
    }
}

// ---- small settings ----

bool CPlayMode::SetTag(int tag)
{
    return m_tag.exchange(tag) != tag;
}

bool CPlayMode::ChooseFrame(int value)
{
    m_chosenFrame.store(value);
    return PLAY_CALL(m_context, PLAY_ChooseFrame, m_port.load(), value) != 0;
}

bool CPlayMode::ApplyPlayMethod()
{
    const int32_t port = m_port.load();
    int32_t width = 0;
    int32_t height = 0;
    PLAY_CALL(m_context, PLAY_GetPictureSize, port, &width, &height);
    int values[4] = {m_playMethod[1], m_playMethod[2], m_playMethod[3], m_playMethod[4]};
    if (width > 3839 && height > 2159 && values[0] == 0 && values[2] == 120) {
        values[0] = 120;
        values[1] = 120;
        values[2] = 240;
    }
    return PLAY_CALL(m_context, PLAY_SetPlayMethod, port, values[0], values[1], values[2], values[3]) != 0;
}

// ---- windows ----

void* CPlayMode::HandleOf(int winID)
{
    return m_sorquin ? m_sorquin->GetWindowHandle(winID) : nullptr;
}

int CPlayMode::RegionOf(int winID)
{
    std::lock_guard<std::mutex> lock(m_regionLock);
    for (const auto& entry : m_regions) {
        if (entry.second == winID) {
            return entry.first;
        }
    }
    return -1;
}

PLAY_RECT CPlayMode::WholePictureRect()
{
    // {0, width, height, 0} as the player takes it for the whole picture.
    std::lock_guard<std::mutex> lock(m_frameLock);
    return PLAY_RECT{0, m_frameRecord.width, m_frameRecord.height, 0};
}

// The window lists and maps change under their locks; the window module and the player are
// called after the locks are released (the player waits for a running callback, which may
// take the window lock).
bool CPlayMode::AddWindow(int winID)
{
    {
        QWriteLocker lock(&m_windowLock);
        if (std::find(m_windows.begin(), m_windows.end(), winID) != m_windows.end()) {
            return false;
        }
        m_windows.push_back(winID);
    }
    if (m_hostDraws) {
        if (m_sorquin) {
            m_sorquin->SetVideoState(winID, true);
        }
    } else {
        void* handle = HandleOf(winID);
        int region = -1;
        {
            std::lock_guard<std::mutex> regionLock(m_regionLock);
            for (int candidate = 0; candidate < kRegionCount; ++candidate) {
                if (m_regions.find(candidate) == m_regions.end()) {
                    region = candidate;
                    m_regions[region] = winID;
                    break;
                }
            }
        }
        const PLAY_RECT rect = WholePictureRect();
        PLAY_CALL(m_context, PLAY_SetDisplayRegion, m_port.load(), region, &rect, handle, 1);
    }
    Foundation::ConnectHostSignal(m_context, "frameDrawSignal", FrameDrawHandler(this, &CPlayMode::OnFrameDraw));
    return true;
}

bool CPlayMode::RemoveWindow(int winID)
{
    {
        QWriteLocker lock(&m_windowLock);
        auto found = std::find(m_windows.begin(), m_windows.end(), winID);
        if (found == m_windows.end()) {
            return false;
        }
        m_windows.erase(found);
    }
    if (m_sorquin) {
        m_sorquin->ShowFrame(winID, nullptr, 0, 1, nullptr);
    }
    if (m_hostDraws) {
        if (m_sorquin) {
            m_sorquin->SetVideoState(winID, false);
        }
    } else {
        void* handle = HandleOf(winID);
        int region = -1;
        {
            std::lock_guard<std::mutex> regionLock(m_regionLock);
            for (auto it = m_regions.begin(); it != m_regions.end(); ++it) {
                if (it->second == winID) {
                    region = it->first;
                    m_regions.erase(it);
                    break;
                }
            }
        }
        const PLAY_RECT rect = WholePictureRect();
        PLAY_CALL(m_context, PLAY_SetDisplayRegion, m_port.load(), region, &rect, handle, 0);
    }
    std::lock_guard<std::mutex> regionLock(m_regionLock);
    m_zooms.erase(winID);
    // The player keeps drawing into the handle it was given until the port closes.
    if (!m_hostDraws && m_windowHandle != nullptr && HandleOf(winID) == m_windowHandle) {
        m_removedPlayerWindows.push_back(winID);
    }
    return true;
}

void CPlayMode::ClearRemovedPlayerWindows()
{
    std::vector<int> windows;
    {
        std::lock_guard<std::mutex> lock(m_regionLock);
        windows.swap(m_removedPlayerWindows);
    }
    for (int winID : windows) {
        if (m_sorquin && !ContainsWindow(winID)) {
            m_sorquin->ShowFrame(winID, nullptr, 0, 1, nullptr);
        }
    }
}

bool CPlayMode::ContainsWindow(int winID)
{
    QReadLocker lock(&m_windowLock);
    return std::find(m_windows.begin(), m_windows.end(), winID) != m_windows.end();
}

int CPlayMode::WindowCount()
{
    QReadLocker lock(&m_windowLock);
    return static_cast<int>(m_windows.size());
}

std::vector<int> CPlayMode::GetWindows()
{
    QReadLocker lock(&m_windowLock);
    return m_windows;
}

void CPlayMode::SetWindowsVideoState(bool showsVideo)
{
    if (!m_sorquin) {
        return;
    }
    for (int winID : GetWindows()) {
        m_sorquin->SetVideoState(winID, showsVideo);
    }
}

PlayRect CPlayMode::SetWindowZoom(int winID, int left, int top, int right, int bottom)
{
    {
        std::lock_guard<std::mutex> lock(m_regionLock);
        m_zooms[winID] = PlayRect{left, top, right, bottom};
    }
    const PLAY_RECT size = WholePictureRect();
    const int width = size.top;
    const int height = size.right;
    if (width == 0 || height == 0 || left < 0) {
        return kNoZoom;
    }
    PlayRect scaled{left, top, right, bottom};
    if (top >= 0 && right > left && bottom > top) {
        const float fx = static_cast<float>(width) / kZoomUnits;
        const float fy = static_cast<float>(height) / kZoomUnits;
        scaled.left = static_cast<int>(static_cast<float>(left) * fx);
        scaled.right = static_cast<int>(static_cast<float>(right - left) * fx) + scaled.left - 1;
        scaled.top = static_cast<int>(static_cast<float>(top) * fy);
        scaled.bottom = static_cast<int>(static_cast<float>(bottom - top) * fy) + scaled.top - 1;
    }
    if (top < 0 || scaled.right < scaled.left || scaled.bottom < scaled.top) {
        return kNoZoom;
    }
    if (!m_hostDraws) {
        const PLAY_RECT rect{scaled.left, scaled.top, scaled.right, scaled.bottom};
        if (PLAY_CALL(m_context, PLAY_SetDisplayRegion, m_port.load(), RegionOf(winID), &rect, HandleOf(winID), 1)
            == 0) {
            return kNoZoom;
        }
    }
    return scaled;
}

// ---- pending windows ----

void CPlayMode::AddPendingWindow(int winID)
{
    QMutexLocker lock(&m_pendingLock);
    if (std::find(m_pendingWindows.begin(), m_pendingWindows.end(), winID) == m_pendingWindows.end()) {
        m_pendingWindows.push_back(winID);
    }
}

void CPlayMode::RemovePendingWindow(int winID)
{
    QMutexLocker lock(&m_pendingLock);
    m_pendingWindows.erase(std::remove(m_pendingWindows.begin(), m_pendingWindows.end(), winID),
                           m_pendingWindows.end());
}

void CPlayMode::ClearPendingWindows()
{
    QMutexLocker lock(&m_pendingLock);
    m_pendingWindows.clear();
}

std::vector<int> CPlayMode::GetPendingWindows()
{
    QMutexLocker lock(&m_pendingLock);
    return m_pendingWindows;
}

// ---- audio ----

bool CPlayMode::SetAudio(int channel)
{
    const int32_t port = m_port.load();
    const bool stopped = PLAY_CALL(m_context, PLAY_StopSoundShare, port) != 0;
    {
        std::lock_guard<std::mutex> lock(m_audioLock);
        m_audio.channel = channel;
    }
    if (channel == -2) {
        return stopped;
    }
    for (int i = 0; i < kAudioChannels; ++i) {
        const bool enable = channel == -1 || channel == i;
        PLAY_CALL(m_context, PLAY_ChooseAudio, port, i, enable ? 1 : 0);
    }
    return PLAY_CALL(m_context, PLAY_PlaySoundShare, port) != 0;
}

bool CPlayMode::SetVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    {
        std::lock_guard<std::mutex> lock(m_audioLock);
        m_audio.volume = volume;
    }
    return PLAY_CALL(m_context, PLAY_AdjustWaveAudio, m_port.load(), 2 * volume - 100) != 0;
}

PlayAudioState CPlayMode::GetAudioState()
{
    std::lock_guard<std::mutex> lock(m_audioLock);
    return m_audio;
}

}  // namespace Tolvane
