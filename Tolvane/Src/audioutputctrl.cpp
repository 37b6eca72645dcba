#include "audioutputctrl.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using LoginoutHandler = fastdelegate::FastDelegate<void(long)>;

}  // namespace

CAudiOutputCtrl::CAudiOutputCtrl(HostContext* context, const char* /*argument*/) : m_context(context)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CAudiOutputCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CAudiOutputCtrl::OnImplPreRelease));

    static const char* const kDeviceModeNames[] = {"mode", "format"};
    static const char* const kTalkNames[] = {"flag"};
    static const char* const kParamNames[] = {"winID", "audioMode", "enable"};
    static const char* const kVolumeNames[] = {"winID", "volume"};
    static const char* const kWinNames[] = {"winID"};
    Publish("SetDeviceMode", Foundation::MakeComMethod(this, &CAudiOutputCtrl::SetDeviceMode, kDeviceModeNames, true));
    Publish("ControlTalking", Foundation::MakeComMethod(this, &CAudiOutputCtrl::ControlTalking, kTalkNames, true));
    Publish("setAudioParam", Foundation::MakeComMethod(this, &CAudiOutputCtrl::setAudioParam, kParamNames, true));
    Publish("setAudioVolume", Foundation::MakeComMethod(this, &CAudiOutputCtrl::setAudioVolume, kVolumeNames, true));
    Publish("getAudioVolume", Foundation::MakeComMethod(this, &CAudiOutputCtrl::getAudioVolume, kWinNames, true));
}

CAudiOutputCtrl::~CAudiOutputCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CAudiOutputCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CAudiOutputCtrl::OnImplPreRelease));
    // Signals whose publishers outlive the service must not call it any more.
    OnImplPreRelease();
    Foundation::DisconnectHostSignal(m_context, "attachPlayModeSignal",
                                     PlayModeSignalHandler(this, &CAudiOutputCtrl::OnAttachPlayMode));
    Foundation::DisconnectHostSignal(m_context, "SwitchWndSignal",
                                     SorquinSwitchWndHandler(this, &CAudiOutputCtrl::OnSwitchWnd));
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CAudiOutputCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CAudiOutputCtrl>(context, argument, Foundation::TypeName::CAudiOutputCtrl);
}

void CAudiOutputCtrl::Publish(const char* name, Foundation::IComInterface* method)
{
    m_methods.push_back(method);
    Foundation::RegisterHostMethod(m_context, name, method);
}

void CAudiOutputCtrl::OnImplLoaded()
{
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    Foundation::ConnectHostSignal(m_context, "ViewNodeChange",
                                  SorquinViewNodeHandler(this, &CAudiOutputCtrl::OnViewNodeChange));
    Foundation::ConnectHostSignal(m_context, "attachPlayModeSignal",
                                  PlayModeSignalHandler(this, &CAudiOutputCtrl::OnAttachPlayMode));
    Foundation::ConnectHostSignal(m_context, "SwitchWndSignal",
                                  SorquinSwitchWndHandler(this, &CAudiOutputCtrl::OnSwitchWnd));
    Foundation::ConnectHostSignal(m_context, "deviceLoginoutSignal",
                                  LoginoutHandler(this, &CAudiOutputCtrl::OnDeviceLoginout));
}

void CAudiOutputCtrl::OnImplPreRelease()
{
    Foundation::DisconnectHostSignal(m_context, "ViewNodeChange",
                                     SorquinViewNodeHandler(this, &CAudiOutputCtrl::OnViewNodeChange));
    Foundation::DisconnectHostSignal(m_context, "deviceLoginoutSignal",
                                     LoginoutHandler(this, &CAudiOutputCtrl::OnDeviceLoginout));
}

void CAudiOutputCtrl::OnDeviceLoginout(long /*loginId*/)
{
    // The talk belongs to the session that ends: its capture stops with it.
    IDevice* device = m_deviceMgr ? m_deviceMgr->GetDevice() : nullptr;
    std::lock_guard<std::mutex> lock(m_talkLock);
    if (m_talking && device != nullptr) {
        device->StopTalk();
    }
    m_talking = false;
}

QMutex* CAudiOutputCtrl::ManagerMutex()
{
    return m_playerMgr ? m_playerMgr->GetMutex() : nullptr;
}

bool CAudiOutputCtrl::SetDeviceMode(int /*mode*/, int /*format*/)
{
    return true;
}

bool CAudiOutputCtrl::ControlTalking(int flag)
{
    IDevice* device = m_deviceMgr ? m_deviceMgr->GetDevice() : nullptr;
    std::lock_guard<std::mutex> lock(m_talkLock);
    if (device == nullptr) {
        return false;
    }
    if (flag == 1 && !m_talking) {
        m_talking = true;
        m_talking = device->StartTalk(0);
        return m_talking;
    }
    if (flag == 0 && m_talking) {
        m_talking = false;
        return device->StopTalk();
    }
    return false;
}

bool CAudiOutputCtrl::setAudioParam(int winID, int audioMode, bool enable)
{
    qDebug().nospace() << "winID:" << winID << "audioMode:" << audioMode << "enable:" << enable;
    QMutexLocker managerLock(ManagerMutex());
    std::lock_guard<std::recursive_mutex> lock(m_settingsLock);
    if (m_soundWindow != -1 && m_playerMgr) {
        if (IPlayMode* previous = m_playerMgr->GetOpenPlayMode(m_soundWindow)) {
            previous->SetAudio(-2);
        }
    }
    m_soundWindow = winID;
    AudioSettings& settings = m_settings[winID];
    settings.audioMode = enable ? audioMode : -2;
    settings.enabled = enable;

    IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
    if (mode == nullptr) {
        return false;
    }
    return mode->GetAudioState().channel == settings.audioMode || mode->SetAudio(settings.audioMode);
}

bool CAudiOutputCtrl::setAudioVolume(int winID, int volume)
{
    QMutexLocker managerLock(ManagerMutex());
    std::lock_guard<std::recursive_mutex> lock(m_settingsLock);
    IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
    if (mode == nullptr || !mode->SetVolume(volume)) {
        return false;
    }
    auto found = m_settings.find(winID);
    if (found != m_settings.end()) {
        found->second.volume = volume;
    }
    return true;
}

int CAudiOutputCtrl::getAudioVolume(int winID)
{
    QMutexLocker managerLock(ManagerMutex());
    IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
    return mode != nullptr ? mode->GetAudioState().volume : 0;
}

void CAudiOutputCtrl::Reapply(int winID, const bool* enable)
{
    QMutexLocker managerLock(ManagerMutex());
    std::lock_guard<std::recursive_mutex> lock(m_settingsLock);
    auto found = m_settings.find(winID);
    if (found == m_settings.end()) {
        return;
    }
    const AudioSettings stored = found->second;
    setAudioParam(winID, stored.audioMode, enable != nullptr ? *enable : stored.enabled);
    setAudioVolume(winID, stored.volume);
}

void CAudiOutputCtrl::OnViewNodeChange(int winID, enum __ViewListEvent event)
{
    if (event == ViewNodeLeft) {
        setAudioParam(winID, -1, false);
    }
}

void CAudiOutputCtrl::OnAttachPlayMode(int winID, IPlayMode* /*mode*/)
{
    const bool enable = true;
    Reapply(winID, &enable);
}

void CAudiOutputCtrl::OnSwitchWnd(int winID, int /*value*/)
{
    Reapply(winID, nullptr);
}

bool CAudiOutputCtrl::GetSettings(int winID, AudioSettings* settings)
{
    std::lock_guard<std::recursive_mutex> lock(m_settingsLock);
    auto found = m_settings.find(winID);
    if (found == m_settings.end() || settings == nullptr) {
        return false;
    }
    *settings = found->second;
    return true;
}

int CAudiOutputCtrl::GetSoundWindow()
{
    std::lock_guard<std::recursive_mutex> lock(m_settingsLock);
    return m_soundWindow;
}

}  // namespace Tolvane
