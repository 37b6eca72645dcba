#include "realtimestreamctrl.h"
#include <QMutexLocker>

#include <algorithm>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>

#include "logfacade.h"
#include "moduletasks.h"
#include "realvideomode.h"
#include "recordvideoctrl.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;

constexpr const char kLogModule[] = "Tolvane";
constexpr const char kStreamKey[] = "Stream";
constexpr const char kDecoderStreamKey[] = "DecoderStream";

}  // namespace

CRealtimeStreamCtrl::CRealtimeStreamCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CRealtimeStreamCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CRealtimeStreamCtrl::OnImplPreRelease));
}

CRealtimeStreamCtrl::~CRealtimeStreamCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded",
                                     HostHandler(this, &CRealtimeStreamCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CRealtimeStreamCtrl::OnImplPreRelease));
    OnImplPreRelease();

    // A frame-decoded call under way takes the manager's mutex: it is waited for with no
    // lock held. One that starts after the flag returns at once, so the detaches below,
    // which wait for the calls they cut off, never wait for a lock held here.
    m_closing.store(true);
    DrainModuleTasks();

    const IPlayMode::FrameDecodedHandler handler(this, &CRealtimeStreamCtrl::OnFrameDecoded);
    QMutexLocker managerLock(ManagerMutex());
    QMutexLocker lock(&m_lock);
    if (m_playerMgr) {
        // Modes that outlive the control must not call it any more.
        for (const auto& window : m_playerMgr->GetModeMap()) {
            for (const auto& entry : window.second) {
                entry.second->DetachFrameDecoded(handler);
            }
        }
    }
    for (CRealVideoMode* mode : m_pendingModes) {
        mode->DetachFrameDecoded(handler);
        mode->Close();
        mode->Dispose();
    }
    m_pendingModes.clear();
}

void CRealtimeStreamCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CRealtimeStreamCtrl>(context, argument, Foundation::TypeName::CRealtimeStreamCtrl);
}

void CRealtimeStreamCtrl::OnImplLoaded()
{
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    m_recording = Foundation::QueryHostService<CRecordVideoCtrl>(m_context, Foundation::TypeName::CRecordVideoCtrl);
    if (m_timer && m_timerId == 0) {
        ITimer::Handler tick(this, &CRealtimeStreamCtrl::OnTimer);
        m_timerId = m_timer->SetTimer(tick, 1000);
    }
}

void CRealtimeStreamCtrl::OnImplPreRelease()
{
    if (m_timer && m_timerId != 0) {
        m_timer->DestroyTimer(m_timerId);
        m_timerId = 0;
    }
}

QMutex* CRealtimeStreamCtrl::ManagerMutex()
{
    return m_playerMgr ? m_playerMgr->GetMutex() : nullptr;
}

bool CRealtimeStreamCtrl::SetHardwareDecoding(bool enable)
{
    m_hardwareDecoding.store(enable);
    return true;
}

bool CRealtimeStreamCtrl::DecoderStreamOf(IPlayMode* mode)
{
    auto* live = dynamic_cast<CRealVideoMode*>(mode);
    return live != nullptr && live->GetDecoderStream();
}

int CRealtimeStreamCtrl::RecordStateOf(int winID)
{
    return m_recording ? m_recording->GetRecordState(winID) : 0;
}

bool CRealtimeStreamCtrl::ConnectRealVideoByID(int channel, int slaveChannel, int streamType, int protocol, int winID,
                                               int timeout, bool decoderStream)
{
    TOLVANE_INFO(kLogModule, "Tolvane::CRealtimeStreamCtrl::ConnectRealVideoByID",
                 "View:" << winID << "ch:" << channel << " stream:" << streamType << " Protocol:" << protocol);
    IDevice* device = m_deviceMgr ? m_deviceMgr->GetCurrentDevice() : nullptr;
    if (device == nullptr || !m_playerMgr) {
        TOLVANE_WARN(kLogModule, "Tolvane::CRealtimeStreamCtrl::ConnectRealVideoByID", "No Device!");
        return false;
    }

    QMutexLocker managerLock(ManagerMutex());
    QMutexLocker lock(&m_lock);
    DropPendingWindowLocked(winID);
    {
        std::lock_guard<std::mutex> countdownLock(m_countdownLock);
        m_countdowns[winID] = timeout;
    }

    for (CRealVideoMode* pending : m_pendingModes) {
        if (pending->GetChannel() == channel && (streamType == -1 || pending->GetStreamType() == streamType)) {
            pending->AddPendingWindow(winID);
            if (decoderStream) {
                pending->SetDecoderStream(true);
            }
            return true;
        }
    }

    IPlayMode* old = m_playerMgr->GetPlayMode(winID, ModeId::RealVideo);
    bool seamless = false;
    if (old != nullptr) {
        PlayFrameRecord record;
        if (!decoderStream && old->GetFrameRecord(&record, 0)) {
            seamless = true;  // the old mode keeps showing until the new one has a picture
        } else {
            m_playerMgr->DetachPlayMode(winID, old, false);
        }
    }

    void* handle = m_sorquin ? m_sorquin->GetWindowHandle(winID) : nullptr;
    auto* mode = new CRealVideoMode(m_context, decoderStream, handle, m_hardwareDecoding.load());
    if (!m_securityKey.empty()) {
        mode->SetSecurityKey(m_securityKey.c_str());
    }
    mode->AttachFrameDecoded(IPlayMode::FrameDecodedHandler(this, &CRealtimeStreamCtrl::OnFrameDecoded));

    const bool connected = mode->ConnectRealVideo(device, channel, slaveChannel, streamType, protocol);
    if (!connected) {
        mode->Dispose();
        return false;
    }
    if (seamless) {
        mode->AddPendingWindow(winID);
        m_pendingModes.push_back(mode);
    } else {
        m_playerMgr->AttachPlayMode(winID, mode);
    }
    return true;
}

void CRealtimeStreamCtrl::DropPendingWindow(int winID)
{
    QMutexLocker lock(&m_lock);
    DropPendingWindowLocked(winID);
}

void CRealtimeStreamCtrl::DropPendingWindows()
{
    QMutexLocker lock(&m_lock);
    std::vector<CRealVideoMode*> modes;
    modes.swap(m_pendingModes);
    for (CRealVideoMode* mode : modes) {
        mode->Close();
        mode->Dispose();
    }
}

void CRealtimeStreamCtrl::DropPendingWindowLocked(int winID)
{
    for (auto it = m_pendingModes.begin(); it != m_pendingModes.end(); ++it) {
        CRealVideoMode* mode = *it;
        const std::vector<int> windows = mode->GetPendingWindows();
        if (std::find(windows.begin(), windows.end(), winID) == windows.end()) {
            continue;
        }
        if (windows.size() > 1) {
            mode->RemovePendingWindow(winID);
        } else {
            m_pendingModes.erase(it);
            mode->Close();
            mode->Dispose();
        }
        return;
    }
}

bool CRealtimeStreamCtrl::DisConnectRealVideoByID(int winID)
{
    TOLVANE_INFO(kLogModule, "Tolvane::CRealtimeStreamCtrl::DisConnectRealVideoByID", "wiewID:" << winID);
    if (!m_playerMgr) {
        return false;
    }
    QMutexLocker managerLock(m_playerMgr->GetMutex());
    IPlayMode* mode = m_playerMgr->GetPlayMode(winID, ModeId::RealVideo);
    if (mode == nullptr) {
        return false;
    }
    m_playerMgr->DetachPlayMode(winID, mode, false);
    return true;
}

void CRealtimeStreamCtrl::OnFrameDecoded(IPlayMode* mode, long /*port*/)
{
    PlayFrameRecord record;
    if (m_closing.load() || mode == nullptr || !mode->GetFrameRecord(&record, 0)) {
        return;
    }
    mode->DetachFrameDecoded(IPlayMode::FrameDecodedHandler(this, &CRealtimeStreamCtrl::OnFrameDecoded));

    Json::Value report(Json::arrayValue);
    {
        QMutexLocker managerLock(ManagerMutex());
        QMutexLocker lock(&m_lock);
        auto pending = std::find(m_pendingModes.begin(), m_pendingModes.end(), mode);
        if (pending != m_pendingModes.end()) {
            CRealVideoMode* live = *pending;
            m_pendingModes.erase(pending);
            // New windows join a pending mode only under the control's lock, held here.
            const std::vector<int> windows = live->GetPendingWindows();
            live->ClearPendingWindows();
            for (int winID : windows) {
                if (m_playerMgr) {
                    m_playerMgr->DetachPlayMode(winID, nullptr, true);
                    m_playerMgr->AttachPlayMode(winID, live);
                }
                report.append(ReportEntry(winID, live, kStreamKey, live->GetStreamTypeName(), 0));
            }
        } else {
            const char* key = DecoderStreamOf(mode) ? kDecoderStreamKey : kStreamKey;
            for (int winID : mode->GetWindows()) {
                report.append(ReportEntry(winID, mode, key, mode->GetStreamTypeName(), 0));
            }
        }
    }
    if (!report.empty()) {
        SendReport(report);
    }
}

int CRealtimeStreamCtrl::OnTimer(uint64_t /*timerId*/)
{
    // Countdowns of windows waiting for a starting mode.
    std::set<int> waiting;
    {
        QMutexLocker lock(&m_lock);
        std::vector<int> expired;
        for (CRealVideoMode* mode : m_pendingModes) {
            for (int winID : mode->GetPendingWindows()) {
                std::lock_guard<std::mutex> countdownLock(m_countdownLock);
                int& left = m_countdowns[winID];
                if (left < 1) {
                    expired.push_back(winID);
                } else {
                    --left;
                    waiting.insert(winID);
                }
            }
        }
        for (int winID : expired) {
            DropPendingWindowLocked(winID);
        }
    }

    Json::Value report(Json::arrayValue);
    if (m_playerMgr) {
        QMutexLocker managerLock(m_playerMgr->GetMutex());
        std::vector<int> expired;
        const IPlayerMgr::ModeMap map = m_playerMgr->GetModeMap();
        for (const auto& window : map) {
            const int winID = window.first;
            // Earlier windows of this walk may have changed the map: look the mode up again.
            const IPlayerMgr::WindowModes* modes = m_playerMgr->GetWindowModes(winID);
            if (modes == nullptr) {
                continue;
            }
            auto found = modes->find(ModeId::RealVideo);
            if (found == modes->end()) {
                continue;
            }
            IPlayMode* mode = found->second;
            if (m_sorquin && !m_sorquin->IsWindowValid(winID)) {
                DisConnectRealVideoByID(winID);
                continue;
            }
            if (!mode->IsOpen()) {
                continue;
            }
            auto* base = dynamic_cast<CPlayMode*>(mode);
            const long bitrate = base != nullptr ? base->SampleBitrate() : 0;
            PlayFrameRecord record;
            const bool picture = mode->GetFrameRecord(&record, 0);
            const bool isWaiting = waiting.count(winID) != 0;
            bool justExpired = false;
            if (!isWaiting && !picture) {
                std::lock_guard<std::mutex> countdownLock(m_countdownLock);
                int& left = m_countdowns[winID];
                if (left < 1) {
                    justExpired = true;
                    expired.push_back(winID);
                } else {
                    --left;
                }
            }
            const char* key = DecoderStreamOf(mode) ? kDecoderStreamKey : kStreamKey;
            const std::string stream = (!isWaiting && picture) ? mode->GetStreamTypeName()
                                       : justExpired           ? std::string("Error")
                                                               : std::string("Switching");
            report.append(ReportEntry(winID, mode, key, stream, bitrate));
            if (picture && m_sorquin) {
                m_sorquin->SetVideoState(winID, true);
            }
        }
        for (int winID : expired) {
            m_playerMgr->DetachPlayMode(winID, nullptr, true);
        }
    }
    if (!report.empty()) {
        SendReport(report);
    }
    return 1;
}

Json::Value CRealtimeStreamCtrl::ReportEntry(int winID, IPlayMode* mode, const char* streamKey,
                                             const std::string& stream, long bitrate)
{
    PlayFrameRecord record;
    mode->GetFrameRecord(&record, 0);
    Json::Value entry(Json::objectValue);
    entry["WinID"] = winID;
    entry["Width"] = record.width;
    entry["Height"] = record.height;
    entry["Bitrate"] = Json::Int64(bitrate);
    entry["FramesPerSecond"] = mode->GetFrameRate();
    entry["Compression"] = mode->GetEncodeTypeName();
    entry["RecordState"] = RecordStateOf(winID);
    entry[streamKey] = stream;
    return entry;
}

void CRealtimeStreamCtrl::SendReport(const Json::Value& report)
{
    Foundation::NotifyWebEvent(m_context, "DetailInfoEvent", report);
    TOLVANE_INFO(kLogModule, "Tolvane::CRealtimeStreamCtrl::SendReport", Foundation::JsonFastText(report));
}

}  // namespace Tolvane
