#include "localplayctrl.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <ISorquin.h>

#include "localplaymode.h"
#include "logfacade.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;

constexpr int64_t kTickMs = 1000;

}  // namespace

CLocalPlayCtrl::CLocalPlayCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CLocalPlayCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease", HostHandler(this, &CLocalPlayCtrl::OnImplPreRelease));
}

CLocalPlayCtrl::~CLocalPlayCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CLocalPlayCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CLocalPlayCtrl::OnImplPreRelease));
    // Without a release notice the timer must still not call a freed service.
    OnImplPreRelease();
}

void CLocalPlayCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CLocalPlayCtrl>(context, argument, Foundation::TypeName::CLocalPlayCtrl);
}

void CLocalPlayCtrl::OnImplLoaded()
{
    Foundation::ConnectHostSignal(m_context, "DisConnectAllSignal",
                                  HostHandler(this, &CLocalPlayCtrl::OnDisconnectAll));
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);
    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
}

void CLocalPlayCtrl::OnImplPreRelease()
{
    StopTimer();
    Foundation::DisconnectHostSignal(m_context, "DisConnectAllSignal",
                                     HostHandler(this, &CLocalPlayCtrl::OnDisconnectAll));
}

void CLocalPlayCtrl::StopTimer()
{
    std::lock_guard<std::mutex> lock(m_timerLock);
    if (m_timer && m_timerId != 0) {
        m_timer->DestroyTimer(m_timerId);
    }
    m_timerId = 0;
}

bool CLocalPlayCtrl::SetGpuFlag(bool flag)
{
    m_gpuFlag.store(flag);
    return true;
}

CLocalPlayMode* CLocalPlayCtrl::LocalModeOf(int winID)
{
    return m_playerMgr ? dynamic_cast<CLocalPlayMode*>(m_playerMgr->GetPlayMode(winID, ModeId::LocalPlay)) : nullptr;
}

bool CLocalPlayCtrl::PlayFile(int winID, const char* path)
{
    if (!m_playerMgr) {
        return false;
    }
    m_playerMgr->DetachPlayMode(winID, nullptr, true);
    void* handle = m_sorquin ? m_sorquin->GetWindowHandle(winID) : nullptr;
    auto* mode = new CLocalPlayMode(m_context, handle, m_gpuFlag.load());
    if (!mode->PlayLocalFile(path)) {
        mode->Dispose();
        return false;
    }
    m_playerMgr->AttachPlayMode(winID, mode);
    SendStateChanged(winID, 1);

    std::lock_guard<std::mutex> lock(m_timerLock);
    if (m_timer && m_timerId == 0) {
        ITimer::Handler tick(this, &CLocalPlayCtrl::OnTimer);
        m_timerId = m_timer->SetTimer(tick, kTickMs);
    }
    return true;
}

bool CLocalPlayCtrl::Pause(int winID)
{
    QMutexLocker lock(m_playerMgr ? m_playerMgr->GetMutex() : nullptr);
    CLocalPlayMode* mode = LocalModeOf(winID);
    return mode != nullptr && mode->Pause();
}

bool CLocalPlayCtrl::Resume(int winID)
{
    QMutexLocker lock(m_playerMgr ? m_playerMgr->GetMutex() : nullptr);
    CLocalPlayMode* mode = LocalModeOf(winID);
    return mode != nullptr && mode->Resume();
}

bool CLocalPlayCtrl::Step(int winID)
{
    QMutexLocker lock(m_playerMgr ? m_playerMgr->GetMutex() : nullptr);
    CLocalPlayMode* mode = LocalModeOf(winID);
    return mode != nullptr && mode->Step();
}

bool CLocalPlayCtrl::SetSpeed(int winID, float speed)
{
    QMutexLocker lock(m_playerMgr ? m_playerMgr->GetMutex() : nullptr);
    CLocalPlayMode* mode = LocalModeOf(winID);
    return mode != nullptr && mode->SetSpeed(speed);
}

bool CLocalPlayCtrl::CloseWindowMode(int winID)
{
    Json::Value state(Json::objectValue);
    {
        QMutexLocker lock(m_playerMgr ? m_playerMgr->GetMutex() : nullptr);
        CLocalPlayMode* mode = LocalModeOf(winID);
        if (mode == nullptr) {
            return false;
        }
        const int64_t played = mode->GetPlayedBytes();
        const int64_t total = mode->GetFileSize();
        m_playerMgr->DetachPlayMode(winID, mode, false);
        state["open"] = 0;
        state["playTime"] = Json::Int64(played);
        state["totalTime"] = Json::Int64(total);
        state["winID"] = winID;
    }
    SendStateChanged(winID, 0);
    Foundation::NotifyWebEvent(m_context, "ReturnLocalState", state);
    return true;
}

void CLocalPlayCtrl::SendStateChanged(int winID, int state)
{
    Json::Value params(Json::objectValue);
    params["channel"] = 0;
    params["state"] = state;
    params["winID"] = winID;
    params["streamtype"] = -1;
    Foundation::NotifyWebEvent(m_context, "StateChanged", params);
}

Json::Value CLocalPlayCtrl::ProgressEntry(int winID, CLocalPlayMode* mode, bool* ok)
{
    Json::Value entry(Json::objectValue);
    PlayFrameRecord record;
    *ok = mode->GetPlayStatus() != IPlayMode::StatusClosed && mode->GetFrameRecord(&record, 0);
    if (!*ok) {
        return entry;
    }
    // The frame's fields read as a UTC date and time.
    const QDateTime moment(QDate(record.year, record.month, record.day),
                           QTime(record.hour, record.minute, record.second), Qt::UTC);
    entry["winID"] = winID;
    entry["width"] = record.width;
    entry["height"] = record.height;
    entry["time"] = moment.isValid() ? moment.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString()
                                     : std::string();
    entry["msecs"] = moment.isValid() ? static_cast<double>(moment.toMSecsSinceEpoch()) : 0.0;
    entry["playTime"] = Json::Int64(mode->GetPlayedBytes());
    entry["totalTime"] = Json::Int64(mode->GetFileSize());
    return entry;
}

int CLocalPlayCtrl::OnTimer(uint64_t /*timerId*/)
{
    if (!m_playerMgr) {
        return 1;
    }
    Json::Value progress(Json::arrayValue);
    {
        QMutexLocker lock(m_playerMgr->GetMutex());
        const IPlayerMgr::ModeMap map = m_playerMgr->GetModeMap();
        for (const auto& window : map) {
            const int winID = window.first;
            // Looked up again: closing an earlier window may have changed the map.
            CLocalPlayMode* mode = LocalModeOf(winID);
            if (mode == nullptr) {
                continue;
            }
            if (m_sorquin && !m_sorquin->IsWindowValid(winID)) {
                CloseWindowMode(winID);
                continue;
            }
            bool ok = false;
            Json::Value entry = ProgressEntry(winID, mode, &ok);
            if (ok) {
                progress.append(entry);
            }
        }
    }
    if (!progress.empty()) {
        Foundation::NotifyWebEvent(m_context, "ReturnLocalState", progress);
    }
    return 1;
}

}  // namespace Tolvane
