#include "playbackctrl.h"

#include <cmath>
#include <vector>

#include <QDateTime>
#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>

#include "logfacade.h"
#include "moduletasks.h"
#include "playbackmode.h"
#include "playlibrary.h"

// Log lines of this service name the module "Playback" and the source "PlaybackCtrl".
#define PLAYBACKCTRL_LOG(level, function, streamed)                                                   \
    do {                                                                                              \
        std::ostringstream playbackLogText_;                                                          \
        playbackLogText_ << streamed;                                                                 \
        ::Tolvane::LogFacade::level("Playback", playbackLogText_.str(), "PlaybackCtrl", __LINE__,     \
                                    "Tolvane::CPlaybackCtrl::" function);                             \
    } while (0)

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using PreClosingHandler = fastdelegate::FastDelegate<void(int)>;

QString CompactText(const Json::Value& value)
{
    return QString::fromStdString(Foundation::JsonFastText(value)).trimmed();
}

}  // namespace

CPlaybackCtrl::CPlaybackCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    PLAYBACKCTRL_LOG(info, "CPlaybackCtrl", "CPlaybackCtrl");
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CPlaybackCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease", HostHandler(this, &CPlaybackCtrl::OnImplPreRelease));
}

CPlaybackCtrl::~CPlaybackCtrl()
{
    PLAYBACKCTRL_LOG(info, "~CPlaybackCtrl", "~CPlaybackCtrl");
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CPlaybackCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CPlaybackCtrl::OnImplPreRelease));
    OnImplPreRelease();
    // First-frame calls under way end before the modes are let go of (see the live-stream
    // control); later ones return at once.
    m_closing.store(true);
    DrainModuleTasks();
    if (m_playerMgr) {
        // Modes that outlive the service must not call it any more.
        const IPlayMode::FrameDecodedHandler handler(this, &CPlaybackCtrl::OnFirstFrame);
        QMutexLocker managerLock(ManagerMutex());
        for (const auto& window : m_playerMgr->GetModeMap()) {
            auto found = window.second.find(ModeId::Playback);
            if (found != window.second.end()) {
                found->second->DetachFrameDecoded(handler);
            }
        }
    }
    m_playerMgr = Foundation::CSharedPtr<IPlayerMgr>();
    m_timer = Foundation::CSharedPtr<ITimer>();
    m_deviceMgr = Foundation::CSharedPtr<IDeviceMgr>();
    m_sorquin = Foundation::CSharedPtr<ISorquin>();
}

void CPlaybackCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CPlaybackCtrl>(context, argument, Foundation::TypeName::CPlaybackCtrl);
}

void CPlaybackCtrl::OnImplLoaded()
{
    PLAYBACKCTRL_LOG(info, "OnImplLoaded", "OnImplLoaded");
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    if (m_timer && m_timerId == 0) {
        ITimer::Handler tick(this, &CPlaybackCtrl::OnProgressTimer);
        m_timerId = m_timer->SetTimer(tick, kProgressIntervalMs);
    }
    Foundation::ConnectHostSignal(m_context, "preClosingWndVideoSignal",
                                  PreClosingHandler(this, &CPlaybackCtrl::OnPreClosingWnd));
}

void CPlaybackCtrl::OnImplPreRelease()
{
    if (m_timer && m_timerId != 0) {
        m_timer->DestroyTimer(m_timerId);
    }
    m_timerId = 0;
    Foundation::DisconnectHostSignal(m_context, "preClosingWndVideoSignal",
                                     PreClosingHandler(this, &CPlaybackCtrl::OnPreClosingWnd));
}

QMutex* CPlaybackCtrl::ManagerMutex()
{
    return m_playerMgr ? m_playerMgr->GetMutex() : nullptr;
}

CPlaybackMode* CPlaybackCtrl::ModeOf(int winID)
{
    if (!m_playerMgr) {
        return nullptr;
    }
    return dynamic_cast<CPlaybackMode*>(m_playerMgr->GetPlayMode(winID, ModeId::Playback));
}

bool CPlaybackCtrl::SetGpuFlag(bool flag)
{
    m_gpuFlag.store(flag);
    return true;
}

int32_t CPlaybackCtrl::GetPlayGroup()
{
    QReadLocker lock(&m_groupLock);
    return m_playGroup;
}

int CPlaybackCtrl::GetReferenceWindow()
{
    QReadLocker lock(&m_groupLock);
    return m_referenceWindow;
}

// ---- playback ----

bool CPlaybackCtrl::Playback(int winID, const Json::Value& fileInfo, bool byTime)
{
    PLAYBACKCTRL_LOG(info, "Playback", Foundation::JsonFastText(fileInfo));
    IDevice* device = m_deviceMgr ? m_deviceMgr->GetCurrentDevice() : nullptr;
    if (device == nullptr) {
        PLAYBACKCTRL_LOG(warn, "Playback", "Pls login first!");
        return false;
    }
    const Json::Value* speed = Foundation::JsonFind(fileInfo, "speed");
    const bool reverse = speed != nullptr && Foundation::JsonIsNumber(*speed) && speed->asDouble() < 0.0;

    {
        // The window's mode is used under the manager's mutex: a close cannot delete it meanwhile.
        QMutexLocker managerLock(ManagerMutex());
        if (CPlaybackMode* mode = ModeOf(winID)) {
            return mode->Playback(device, fileInfo, byTime, reverse, false);
        }
    }
    if (!m_playerMgr) {
        return false;
    }
    void* handle = m_sorquin ? m_sorquin->GetWindowHandle(winID) : nullptr;
    auto* mode = new CPlaybackMode(m_context, handle, m_gpuFlag.load());
    const IPlayMode::FrameDecodedHandler firstFrame(this, &CPlaybackCtrl::OnFirstFrame);
    {
        std::lock_guard<std::mutex> lock(m_firstFrameLock);
        m_awaitingFirstFrame.insert(mode);
    }
    mode->AttachFrameDecoded(firstFrame);
    if (!mode->Playback(device, fileInfo, byTime, reverse, true)) {
        mode->DetachFrameDecoded(firstFrame);
        {
            std::lock_guard<std::mutex> lock(m_firstFrameLock);
            m_awaitingFirstFrame.erase(mode);
        }
        mode->Dispose();
        return false;
    }
    m_playerMgr->AttachPlayMode(winID, mode);
    return true;
}

bool CPlaybackCtrl::Pause(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return false;
    }
    {
        QReadLocker lock(&m_groupLock);
        if (m_playGroup != 0) {
            return PLAY_CALL(m_context, PLAY_PausePlayGroup, m_playGroup, 1) != 0;
        }
    }
    return mode->Pause(true);
}

bool CPlaybackCtrl::Resume(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return false;
    }
    {
        QReadLocker lock(&m_groupLock);
        if (m_playGroup != 0) {
            PLAY_CALL(m_context, PLAY_PausePlayGroup, m_playGroup, 0);
        }
    }
    return mode->Resume();
}

bool CPlaybackCtrl::StepForward(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return false;
    }
    QReadLocker lock(&m_groupLock);
    if (m_playGroup == 0) {
        return mode->StepForward();
    }
    if (mode->IsReverse()) {
        mode->StepForward();
    }
    if (winID == m_referenceWindow) {
        if (m_groupReverse && PLAY_CALL(m_context, PLAY_SetPlayGroupDirection, m_playGroup, 0) != 0) {
            m_groupReverse = false;
        }
        PLAY_CALL(m_context, PLAY_StepPlayGroup, m_playGroup);
    }
    return true;
}

bool CPlaybackCtrl::StepBackward(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return false;
    }
    QReadLocker lock(&m_groupLock);
    if (m_playGroup == 0) {
        return mode->StepBackward();
    }
    if (!mode->IsReverse()) {
        mode->StepBackward();
    }
    if (winID == m_referenceWindow) {
        if (!m_groupReverse && PLAY_CALL(m_context, PLAY_SetPlayGroupDirection, m_playGroup, 1) != 0) {
            m_groupReverse = true;
        }
        PLAY_CALL(m_context, PLAY_StepPlayGroup, m_playGroup);
    }
    return true;
}

bool CPlaybackCtrl::SetSpeed(int winID, float speed)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr || !mode->SetSpeed(speed, true)) {
        return false;
    }
    QReadLocker lock(&m_groupLock);
    if (m_playGroup != 0) {
        const bool wantReverse = speed < 0.0f;
        if (wantReverse != m_groupReverse
            && PLAY_CALL(m_context, PLAY_SetPlayGroupDirection, m_playGroup, wantReverse ? 1 : 0) != 0) {
            m_groupReverse = wantReverse;
        }
        const float absolute = std::fabs(speed);
        if (m_groupSpeed != absolute && PLAY_CALL(m_context, PLAY_SetPlayGroupSpeed, m_playGroup, absolute) != 0) {
            m_groupSpeed = absolute;
        }
    }
    return true;
}

bool CPlaybackCtrl::SeekByTime(int winID, int year, int month, int day, int hour, int minute, int second)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    return mode != nullptr && mode->SeekByTime(year, month, day, hour, minute, second);
}

// ---- play group ----

bool CPlaybackCtrl::SetPlayRefWin(int winID, bool enable)
{
    if (!enable) {
        QWriteLocker lock(&m_groupLock);
        if (m_playGroup == 0) {
            return true;
        }
        if (PLAY_CALL(m_context, PLAY_ClosePlayGroup, m_playGroup) == 0) {
            return false;
        }
        m_playGroup = 0;
        m_referenceWindow = -1;
        return true;
    }

    QMutexLocker managerLock(ManagerMutex());
    QWriteLocker lock(&m_groupLock);
    if (m_playGroup != 0) {
        m_referenceWindow = winID;
        return true;
    }
    const int32_t group = PLAY_CALL(m_context, PLAY_OpenPlayGroup);
    if (group == 0) {
        return false;
    }
    if (m_playerMgr) {
        for (const auto& window : m_playerMgr->GetModeMap()) {
            auto found = window.second.find(ModeId::Playback);
            if (found == window.second.end() || found->second->GetPlayStatus() == IPlayMode::StatusClosed) {
                continue;
            }
            if (PLAY_CALL(m_context, PLAY_AddToPlayGroup, group, found->second->GetPort()) == 0) {
                PLAY_CALL(m_context, PLAY_ClosePlayGroup, group);
                return false;
            }
        }
    }
    // A new group plays forward at normal speed.
    m_playGroup = group;
    m_referenceWindow = winID;
    m_groupReverse = false;
    m_groupSpeed = 1.0f;
    return true;
}

bool CPlaybackCtrl::CloseWindowMode(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return false;
    }
    {
        QReadLocker lock(&m_groupLock);
        if (m_playGroup != 0) {
            PLAY_CALL(m_context, PLAY_DelFromPlayGroup, m_playGroup, mode->GetPort());
        }
    }
    m_playerMgr->DetachPlayMode(winID, mode, false);
    return true;
}

void CPlaybackCtrl::OnPreClosingWnd(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    CPlaybackMode* mode = ModeOf(winID);
    if (mode == nullptr) {
        return;
    }
    QReadLocker lock(&m_groupLock);
    if (m_playGroup != 0) {
        PLAY_CALL(m_context, PLAY_DelFromPlayGroup, m_playGroup, mode->GetPort());
    }
}

// ---- progress ----

Json::Value CPlaybackCtrl::FrameEntry(int winID, const PlayFrameRecord& record)
{
    const QDateTime time(QDate(record.year, record.month, record.day),
                         QTime(record.hour, record.minute, record.second), Qt::UTC);
    Json::Value entry(Json::objectValue);
    entry["winID"] = winID;
    entry["width"] = record.width;
    entry["height"] = record.height;
    entry["time"] = time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString() : "";
    entry["msecs"] = time.isValid() ? static_cast<double>(time.toMSecsSinceEpoch()) : 0.0;
    return entry;
}

void CPlaybackCtrl::OnFirstFrame(IPlayMode* mode, long)
{
    PlayFrameRecord record;
    if (m_closing.load() || mode == nullptr || !mode->GetFrameRecord(&record, 0)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_firstFrameLock);
        if (m_awaitingFirstFrame.erase(mode) == 0) {
            return;
        }
    }
    mode->DetachFrameDecoded(IPlayMode::FrameDecodedHandler(this, &CPlaybackCtrl::OnFirstFrame));
    if (mode->GetPlayStatus() == IPlayMode::StatusClosed) {
        return;
    }
    Json::Value report(Json::arrayValue);
    for (int winID : mode->GetWindows()) {
        report.append(FrameEntry(winID, record));
    }
    {
        // A window that starts while the group plays joins it paused.
        QReadLocker lock(&m_groupLock);
        if (m_playGroup != 0) {
            if (auto* playback = dynamic_cast<CPlaybackMode*>(mode)) {
                playback->Pause(false);
            }
            PLAY_CALL(m_context, PLAY_AddToPlayGroup, m_playGroup, mode->GetPort());
        }
    }
    if (!report.empty()) {
        Foundation::NotifyWebEvent(m_context, "PlayProcessInfo", report);
        qDebug().noquote() << CompactText(report);
    }
}

int CPlaybackCtrl::OnProgressTimer(uint64_t)
{
    if (!m_playerMgr) {
        return 1;
    }
    Json::Value report(Json::arrayValue);
    {
        QMutexLocker managerLock(ManagerMutex());
        for (const auto& window : m_playerMgr->GetModeMap()) {
            const int winID = window.first;
            if (window.second.find(ModeId::Playback) == window.second.end()) {
                continue;
            }
            CPlaybackMode* mode = ModeOf(winID);
            if (mode == nullptr) {
                continue;  // closed by an earlier window of this walk
            }
            if (m_sorquin && !m_sorquin->IsWindowValid(winID)) {
                CloseWindowMode(winID);
                continue;
            }
            PlayFrameRecord record;
            if (mode->GetPlayStatus() == IPlayMode::StatusClosed || !mode->GetFrameRecord(&record, 0)) {
                continue;
            }
            Json::Value entry = FrameEntry(winID, record);
            if (mode->IsDecodeEnd()) {
                entry["fileInfo"] = mode->GetEndedFileInfo();
                entry["status"] = "end";
                qDebug().noquote() << "****** DecodeEnd" << CompactText(entry);
            }
            report.append(entry);
        }
    }
    if (!report.empty()) {
        Foundation::NotifyWebEvent(m_context, "PlayProcessInfo", report);
        qDebug().noquote() << CompactText(report);
    }
    return 1;
}

}  // namespace Tolvane
