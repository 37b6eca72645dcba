#include "playermgr.h"

#include <algorithm>
#include <utility>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"
#include "playmode.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;

// Closes and disposes of a mode that showed in no window any more.
void CloseIfUnused(IPlayMode* mode)
{
    if (mode->WindowCount() <= 0) {
        mode->Close();
        DisposePlayMode(mode);
    }
}

}  // namespace

CPlayerMgr::CPlayerMgr(HostContext* context, const char* /*moduleWord*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CPlayerMgr::OnImplComLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CPlayerMgr::OnImplComPreRelease));
    Foundation::AddHostSignal(m_context, "attachPlayModeSignal", &m_attachSignal);
    Foundation::AddHostSignal(m_context, "detachPlayModeSignal", &m_detachSignal);
    Foundation::AddHostSignal(m_context, "preClosingWndVideoSignal", &m_preClosingSignal);
}

CPlayerMgr::~CPlayerMgr()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CPlayerMgr::OnImplComLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CPlayerMgr::OnImplComPreRelease));
    OnImplComPreRelease();
    Foundation::RemoveHostSignal(m_context, "attachPlayModeSignal", &m_attachSignal);
    Foundation::RemoveHostSignal(m_context, "detachPlayModeSignal", &m_detachSignal);
    Foundation::RemoveHostSignal(m_context, "preClosingWndVideoSignal", &m_preClosingSignal);

    QMutexLocker lock(&m_mutex);
    ModeMap map;
    map.swap(m_map);
    for (auto& window : map) {
        for (auto& entry : window.second) {
            entry.second->RemoveWindow(window.first);
            CloseIfUnused(entry.second);
        }
    }
}

void CPlayerMgr::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CPlayerMgr, IPlayerMgr>(context, argument, Foundation::TypeName::IPlayerMgr);
}

void CPlayerMgr::OnImplComLoaded()
{
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    Foundation::ConnectHostSignal(m_context, "ViewNodeChange",
                                  SorquinViewNodeHandler(this, &CPlayerMgr::OnViewNodeChange));
}

void CPlayerMgr::OnImplComPreRelease()
{
    Foundation::DisconnectHostSignal(m_context, "ViewNodeChange",
                                     SorquinViewNodeHandler(this, &CPlayerMgr::OnViewNodeChange));
}

void CPlayerMgr::OnViewNodeChange(int winID, enum __ViewListEvent event)
{
    if (event == ViewNodeLeft) {
        CloseWindow(winID);
    }
}

bool CPlayerMgr::AttachPlayMode(int winID, IPlayMode* mode)
{
    if (mode == nullptr) {
        return false;
    }
    const char* modeId = mode->GetModeID();
    const std::string id = modeId != nullptr ? modeId : "";
    {
        QMutexLocker lock(&m_mutex);
        auto window = m_map.find(winID);
        if (window != m_map.end()) {
            auto held = window->second.find(id);
            if (held != window->second.end()) {
                if (held->second == mode) {
                    return true;  // the window holds this very mode already
                }
                DetachLocked(window->second, winID, held->second, false);
            }
        }
        m_map[winID][id] = mode;
    }
    mode->AddWindow(winID);
    m_attachSignal.Emit(winID, mode);
    return true;
}

void CPlayerMgr::DetachLocked(WindowModes& modes, int winID, IPlayMode* mode, bool all)
{
    std::vector<std::pair<std::string, IPlayMode*>> leaving;
    for (const auto& entry : modes) {
        if (all || entry.second == mode) {
            leaving.emplace_back(entry.first, entry.second);
            if (!all) {
                break;
            }
        }
    }
    // The detach handlers may call the manager again: each mode is looked up afresh and
    // handled only while it is still filed here.
    auto stillFiled = [this, winID](const std::string& id, IPlayMode* leavingMode) {
        auto window = m_map.find(winID);
        if (window == m_map.end()) {
            return false;
        }
        auto filed = window->second.find(id);
        return filed != window->second.end() && filed->second == leavingMode;
    };
    for (const auto& entry : leaving) {
        IPlayMode* leavingMode = entry.second;
        if (!stillFiled(entry.first, leavingMode)) {
            continue;
        }
        leavingMode->RemoveWindow(winID);
        m_detachSignal.Emit(winID, leavingMode);
        if (!stillFiled(entry.first, leavingMode)) {
            continue;  // a handler detached it already
        }
        m_map[winID].erase(entry.first);
        CloseIfUnused(leavingMode);
    }
}

bool CPlayerMgr::DetachPlayMode(int winID, IPlayMode* mode, bool all)
{
    QMutexLocker lock(&m_mutex);
    auto window = m_map.find(winID);
    if (window == m_map.end()) {
        return false;
    }
    DetachLocked(window->second, winID, mode, all);
    window = m_map.find(winID);
    if (window != m_map.end() && window->second.empty()) {
        m_map.erase(window);
    }
    return true;
}

bool CPlayerMgr::CloseWindow(int winID)
{
    m_preClosingSignal.Emit(winID);
    return DetachPlayMode(winID, nullptr, true);
}

IPlayMode* CPlayerMgr::GetOpenPlayMode(int winID)
{
    QMutexLocker lock(&m_mutex);
    auto window = m_map.find(winID);
    if (window == m_map.end()) {
        return nullptr;
    }
    for (const auto& entry : window->second) {
        if (entry.second->IsOpen()) {
            return entry.second;
        }
    }
    return nullptr;
}

const IPlayerMgr::WindowModes* CPlayerMgr::GetWindowModes(int winID)
{
    QMutexLocker lock(&m_mutex);
    auto window = m_map.find(winID);
    return window != m_map.end() ? &window->second : nullptr;
}

IPlayMode* CPlayerMgr::GetPlayMode(int winID, const char* modeId)
{
    QMutexLocker lock(&m_mutex);
    auto window = m_map.find(winID);
    if (window == m_map.end()) {
        TOLVANE_INFO("Tolvane", "Tolvane::CPlayerMgr::GetPlayMode", "can't find wnd:" << winID);
        return nullptr;
    }
    auto found = window->second.find(modeId != nullptr ? modeId : "");
    if (found == window->second.end()) {
        TOLVANE_INFO("Tolvane", "Tolvane::CPlayerMgr::GetPlayMode",
                     "can't find modeID " << (modeId != nullptr ? modeId : "") << "on the wnd");
        return nullptr;
    }
    return found->second;
}

std::vector<IPlayMode*> CPlayerMgr::GetDeviceModes(IDevice* device)
{
    QMutexLocker lock(&m_mutex);
    std::vector<IPlayMode*> modes;
    for (const auto& window : m_map) {
        for (const auto& entry : window.second) {
            if (entry.second->GetDevice() == device) {
                modes.push_back(entry.second);
            }
        }
    }
    return modes;
}

std::vector<IPlayMode*> CPlayerMgr::GetChannelModes(IDevice* device, int channel, const char* modeId)
{
    QMutexLocker lock(&m_mutex);
    std::vector<IPlayMode*> modes;
    const std::string id = modeId != nullptr ? modeId : "";
    for (const auto& window : m_map) {
        auto found = window.second.find(id);
        if (found == window.second.end()) {
            continue;
        }
        IPlayMode* mode = found->second;
        if (mode->GetDevice() == device && mode->GetChannel() == channel
            && std::find(modes.begin(), modes.end(), mode) == modes.end()) {
            modes.push_back(mode);
        }
    }
    return modes;
}

IPlayMode* CPlayerMgr::GetPlayMode(IDevice* device, int channel, int streamType, const char* modeId)
{
    QMutexLocker lock(&m_mutex);
    const std::string id = modeId != nullptr ? modeId : "";
    for (const auto& window : m_map) {
        auto found = window.second.find(id);
        if (found == window.second.end()) {
            continue;
        }
        IPlayMode* mode = found->second;
        if (mode->GetDevice() == device && mode->GetChannel() == channel
            && (streamType == -1 || mode->GetStreamType() == streamType)) {
            return mode;
        }
    }
    TOLVANE_INFO("Tolvane", "Tolvane::CPlayerMgr::GetPlayMode", "can't find ch:" << channel << " type:" << streamType);
    return nullptr;
}

IPlayerMgr::ModeMap CPlayerMgr::GetModeMap()
{
    QMutexLocker lock(&m_mutex);
    return m_map;
}

}  // namespace Tolvane
