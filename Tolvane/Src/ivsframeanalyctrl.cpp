#include "ivsframeanalyctrl.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QReadLocker>
#include <QWriteLocker>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <osdmanager.h>

#include "ivslocks.h"
#include "jsonhelper.h"
#include "logfacade.h"

namespace Tolvane {

namespace {

using HostHandler = fastdelegate::FastDelegate<void()>;
using ConnectionHandler = fastdelegate::FastDelegate<void(long, const char*, long)>;
using FishCalibrateHandler = fastdelegate::FastDelegate<void(int, bool)>;

constexpr const char kCityType[] = "AITtpeCity";

// True when `config` has member `name` that is an object with a bool "Enable"; its value.
bool ReadEnable(const Json::Value& config, const char* name, bool* enable)
{
    const Json::Value* part = Foundation::JsonFind(config, name);
    const Json::Value* flag = part != nullptr ? Foundation::JsonFind(*part, "Enable") : nullptr;
    if (flag == nullptr || !flag->isBool()) {
        return false;
    }
    *enable = flag->asBool();
    return true;
}

Json::Value CityConfig()
{
    Json::Value on(Json::objectValue);
    on["Enable"] = true;
    Json::Value config(Json::objectValue);
    config["TraceRule"] = on;
    config["BoardRule"] = on;
    config["Mask"] = on;
    config["CrowMask"] = on;
    return config;
}

Json::Value ToJson(const QVariant& value)
{
    Json::Value out;
    CJsonHelper::ConvertQVarianToJson(value, out);
    return out;
}

}  // namespace

CIVSFrameAnalyCtrl::CIVSFrameAnalyCtrl(HostContext* context, const char* /*argument*/)
    : m_context(context),
      m_eventCallback(this, &CIVSFrameAnalyCtrl::OnEventData),
      m_configCallback(this, &CIVSFrameAnalyCtrl::OnConfigChange)
{
    Foundation::ConnectHostSignal(m_context, "ImplComLoaded", HostHandler(this, &CIVSFrameAnalyCtrl::OnImplLoaded));
    Foundation::ConnectHostSignal(m_context, "ImplComPreRelease",
                                  HostHandler(this, &CIVSFrameAnalyCtrl::OnImplPreRelease));

    static const char* const kConfigNames[] = {"winID", "type", "config"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CIVSFrameAnalyCtrl::setAIConfig, kConfigNames, true));
    Foundation::RegisterHostMethod(m_context, "setAIConfig", m_methods.back());
    static const char* const kObjectNames[] = {"winID", "rect"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CIVSFrameAnalyCtrl::getAIObjectId, kObjectNames, true));
    Foundation::RegisterHostMethod(m_context, "getAIObjectId", m_methods.back());
    static const char* const kSlaveNames[] = {"winID", "enable"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CIVSFrameAnalyCtrl::setOpenSlaveMode, kSlaveNames, true));
    Foundation::RegisterHostMethod(m_context, "setOpenSlaveMode", m_methods.back());
    static const char* const kCrowdNames[] = {"winID", "mode", "enable"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CIVSFrameAnalyCtrl::setCrowdMode, kCrowdNames, true));
    Foundation::RegisterHostMethod(m_context, "setCrowdMode", m_methods.back());

    m_eventThread.Start(fastdelegate::FastDelegate0<>(this, &CIVSFrameAnalyCtrl::EventWorker));
    m_configThread.Start(fastdelegate::FastDelegate0<>(this, &CIVSFrameAnalyCtrl::ConfigWorker));
}

CIVSFrameAnalyCtrl::~CIVSFrameAnalyCtrl()
{
    Foundation::DisconnectHostSignal(m_context, "ImplComLoaded",
                                     HostHandler(this, &CIVSFrameAnalyCtrl::OnImplLoaded));
    Foundation::DisconnectHostSignal(m_context, "ImplComPreRelease",
                                     HostHandler(this, &CIVSFrameAnalyCtrl::OnImplPreRelease));
    OnImplPreRelease();
    m_rulePool.waitForDone();

    {
        // No mode keeps a handler of a service that is gone.
        QMutexLocker manager(ManagerMutex());
        if (m_playerMgr) {
            for (const auto& window : m_playerMgr->GetModeMap()) {
                for (const auto& mode : window.second) {
                    if (mode.second != nullptr) {
                        DetachModeHandlers(mode.second);
                    }
                }
            }
        }
        QWriteLocker lock(&m_windowLock);
        m_windows.clear();
        m_fishEye.clear();
    }
    DetachRuleConfigs();
    {
        QWriteLocker lock(&m_ruleLock);
        for (const auto& entry : m_channelRules) {
            UnsubscribeAnalyseEvents(entry.first, entry.second.slaveChannel, entry.second.handle);
        }
        m_channelRules.clear();
    }
    m_stop.store(true);
    m_configSemaphore.release();
    m_configThread.Wait();
    m_eventSemaphore.release();
    m_eventThread.Wait();
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CIVSFrameAnalyCtrl::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CIVSFrameAnalyCtrl>(context, argument, Foundation::TypeName::CIVSFrameAnalyCtrl);
}

// ---- host signals ----

void CIVSFrameAnalyCtrl::OnImplLoaded()
{
    m_playerMgr = Foundation::QueryHostService<IPlayerMgr>(m_context, Foundation::TypeName::IPlayerMgr);
    m_deviceMgr = Foundation::QueryHostService<IDeviceMgr>(m_context, Foundation::TypeName::IDeviceMgr);
    m_sorquin = Foundation::QueryHostService<ISorquin>(m_context, Foundation::TypeName::ISorquin);

    Foundation::ConnectHostSignal(m_context, "attachPlayModeSignal",
                                  PlayModeSignalHandler(this, &CIVSFrameAnalyCtrl::OnAttachPlayMode));
    Foundation::ConnectHostSignal(m_context, "preClosingWndVideoSignal",
                                  PreClosingWndHandler(this, &CIVSFrameAnalyCtrl::OnPreClosingWnd));
    if (!m_deviceSignalsConnected.exchange(true)) {
        Foundation::ConnectHostSignal(m_context, "DeviceDisconnect",
                                      ConnectionHandler(this, &CIVSFrameAnalyCtrl::OnDeviceDisconnect));
        Foundation::ConnectHostSignal(m_context, "DeviceHaveReConnect",
                                      ConnectionHandler(this, &CIVSFrameAnalyCtrl::OnDeviceReconnect));
    }
    Foundation::ConnectHostSignal(m_context, "ViewNodeChange",
                                  SorquinViewNodeHandler(this, &CIVSFrameAnalyCtrl::OnViewNodeChange));
    Foundation::ConnectHostSignal(m_context, "FISH_Calibrate",
                                  FishCalibrateHandler(this, &CIVSFrameAnalyCtrl::OnFishCalibrate));

    m_timer = Foundation::QueryHostService<ITimer>(m_context, Foundation::TypeName::ITimer);
    if (m_timer && m_timerID == 0) {
        ITimer::Handler poll(this, &CIVSFrameAnalyCtrl::PollEvents);
        m_timerID = m_timer->SetTimer(poll, 500);
    }
}

void CIVSFrameAnalyCtrl::OnImplPreRelease()
{
    Foundation::DisconnectHostSignal(m_context, "attachPlayModeSignal",
                                     PlayModeSignalHandler(this, &CIVSFrameAnalyCtrl::OnAttachPlayMode));
    Foundation::DisconnectHostSignal(m_context, "preClosingWndVideoSignal",
                                     PreClosingWndHandler(this, &CIVSFrameAnalyCtrl::OnPreClosingWnd));
    // The device's own signals are let go of here, once: the device may be gone by the
    // time this service is destroyed.
    if (m_deviceSignalsConnected.exchange(false)) {
        Foundation::DisconnectHostSignal(m_context, "DeviceDisconnect",
                                         ConnectionHandler(this, &CIVSFrameAnalyCtrl::OnDeviceDisconnect));
        Foundation::DisconnectHostSignal(m_context, "DeviceHaveReConnect",
                                         ConnectionHandler(this, &CIVSFrameAnalyCtrl::OnDeviceReconnect));
    }
    Foundation::DisconnectHostSignal(m_context, "ViewNodeChange",
                                     SorquinViewNodeHandler(this, &CIVSFrameAnalyCtrl::OnViewNodeChange));
    Foundation::DisconnectHostSignal(m_context, "FISH_Calibrate",
                                     FishCalibrateHandler(this, &CIVSFrameAnalyCtrl::OnFishCalibrate));
    if (m_timer) {
        m_timer->DestroyTimer(m_timerID);
    }
    m_timerID = 0;
    m_timer = Foundation::CSharedPtr<ITimer>();
}

void CIVSFrameAnalyCtrl::OnAttachPlayMode(int winID, IPlayMode* mode)
{
    QMutexLocker manager(ManagerMutex());
    if (mode != nullptr && !ModeIsFiled(mode)) {
        return;  // already gone again
    }
    {
        QWriteLocker lock(&m_windowLock);
        auto record = m_windows.find(winID);
        if (record == m_windows.end()) {
            return;
        }
        record->second.channel = mode ? mode->GetChannel() : -1;
        record->second.slaveChannel = mode ? mode->GetSlaveChannel() : -1;
    }
    const DeviceActions actions = DecideWindowState(winID, mode);
    manager.unlock();
    RunDeviceActions(actions);
}

void CIVSFrameAnalyCtrl::OnPreClosingWnd(int winID)
{
    QMutexLocker manager(ManagerMutex());
    IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
    {
        QWriteLocker lock(&m_windowLock);
        auto record = m_windows.find(winID);
        if (record == m_windows.end()) {
            return;
        }
        record->second.ClearEntries();
        record->second.updateEnable(QString());
    }
    const DeviceActions actions = DecideWindowState(winID, mode);
    manager.unlock();
    RunDeviceActions(actions);
}

void CIVSFrameAnalyCtrl::OnDeviceDisconnect(long /*loginID*/, const char* /*ip*/, long /*port*/)
{
    {
        QWriteLocker lock(&m_ruleLock);
        for (const auto& entry : m_channelRules) {
            UnsubscribeAnalyseEvents(entry.first, entry.second.slaveChannel, entry.second.handle);
        }
    }
    DetachRuleConfigs();
}

void CIVSFrameAnalyCtrl::OnDeviceReconnect(long /*loginID*/, const char* /*ip*/, long /*port*/)
{
    QWriteLocker lock(&m_ruleLock);
    for (auto& entry : m_channelRules) {
        if (entry.second.handle != 0) {
            UnsubscribeAnalyseEvents(entry.first, entry.second.slaveChannel, entry.second.handle);
            entry.second.handle = SubscribeAnalyseEvents(entry.first, entry.second.slaveChannel);
        }
    }
    bool configured = false;
    {
        QReadLocker windows(&m_windowLock);
        configured = !m_windows.empty();
    }
    if (configured) {
        AttachRuleConfigs();
    }
}

void CIVSFrameAnalyCtrl::OnViewNodeChange(int /*node*/, enum __ViewListEvent event)
{
    QWriteLocker lock(&m_windowLock);
    if (event == ViewNodeLeft) {
        --m_splitCount;
    } else if (event == ViewNodeJoined) {
        ++m_splitCount;
    }
    for (auto& record : m_windows) {
        if (OSDManager* overlay = record.second.Overlay()) {
            overlay->setSplitCount(m_splitCount.load());
        }
    }
}

void CIVSFrameAnalyCtrl::OnFishCalibrate(int winID, bool calibrated)
{
    QWriteLocker lock(&m_windowLock);
    m_fishEye[winID] = calibrated;
    auto record = m_windows.find(winID);
    if (record != m_windows.end() && record->second.Overlay() != nullptr) {
        record->second.Overlay()->setFishEyeStatus(calibrated);
    }
}

// ---- JSON methods ----

bool CIVSFrameAnalyCtrl::setAIConfig(int winID, std::string type, Json::Value config)
{
    if (type != kCityType) {
        ConfigureWindow(winID, QString::fromLatin1(kCityType), CityConfig());
    }
    return ConfigureWindow(winID, QString::fromStdString(type), config);
}

bool CIVSFrameAnalyCtrl::ConfigureWindow(int winID, const QString& type, const Json::Value& config)
{
    AIConfigEntry entry;
    if (!ReadEnable(config, "TraceRule", &entry.switches[0]) || !ReadEnable(config, "BoardRule", &entry.switches[1])) {
        return false;
    }
    entry.config = config;

    DeviceActions actions;
    {
        QMutexLocker manager(ManagerMutex());
        IPlayMode* mode = m_playerMgr ? m_playerMgr->GetOpenPlayMode(winID) : nullptr;
        {
            QWriteLocker lock(&m_windowLock);
            AIManager& record = m_windows[winID];
            record.SetEntry(type, entry);
            record.channel = mode ? mode->GetChannel() : -1;
            record.slaveChannel = mode ? mode->GetSlaveChannel() : -1;
        }
        if (mode != nullptr) {
            actions = DecideWindowState(winID, mode);
        }
    }
    RunDeviceActions(actions);

    bool drawsOverlays = false;
    {
        QReadLocker lock(&m_windowLock);
        auto record = m_windows.find(winID);
        drawsOverlays = record != m_windows.end() && (record->second.Flags().trace || record->second.Flags().rules);
    }
    if (m_sorquin) {
        m_sorquin->SetOverlayState(winID, drawsOverlays);
    }
    return true;
}

Json::Value CIVSFrameAnalyCtrl::getAIObjectId(int winID, Json::Value rect)
{
    if (!rect.isArray() || rect.size() != 2) {
        return Json::Value();
    }
    // The JSON type itself: 20.0 is a real, not an integer.
    const Json::Value& x = rect[0];
    const Json::Value& y = rect[1];
    const auto integral = [](const Json::Value& v) {
        return (v.type() == Json::intValue && v.isInt()) || (v.type() == Json::uintValue && v.isInt());
    };
    if (!integral(x) || !integral(y)) {
        return Json::Value();
    }
    QVariant answer;
    {
        QReadLocker lock(&m_windowLock);
        auto record = m_windows.find(winID);
        if (record == m_windows.end() || record->second.Overlay() == nullptr) {
            return Json::Value();
        }
        QVariant point(QVariantList{QVariant(x.asInt()), QVariant(y.asInt())});
        answer = record->second.Overlay()->getAIObjectId(point);
    }
    return ToJson(answer);
}

Json::Value CIVSFrameAnalyCtrl::setOpenSlaveMode(int winID, bool enable)
{
    QReadLocker lock(&m_windowLock);
    auto record = m_windows.find(winID);
    if (record == m_windows.end() || record->second.Overlay() == nullptr) {
        return Json::Value();
    }
    return Json::Value(record->second.Overlay()->setOpenSlaveMode(enable));
}

bool CIVSFrameAnalyCtrl::setCrowdMode(int winID, int mode, bool enable)
{
    QWriteLocker lock(&m_windowLock);
    auto record = m_windows.find(winID);
    if (record == m_windows.end()) {
        return false;
    }
    if (OSDManager* overlay = record->second.Overlay()) {
        overlay->setCrowdMode(mode, enable);
    }
    return true;
}

// ---- event poll ----

int CIVSFrameAnalyCtrl::PollEvents(uint64_t /*timerID*/)
{
    std::vector<std::pair<std::string, Json::Value>> events;
    {
        QMutexLocker manager(ManagerMutex());
        IDevice* device = CurrentDevice();
        if (device != nullptr && m_playerMgr) {
            for (IPlayMode* mode : m_playerMgr->GetDeviceModes(device)) {
                if (mode != nullptr) {
                    PollModeEvents(mode, events);
                }
            }
        }
    }
    for (const auto& event : events) {
        Foundation::NotifyWebEvent(m_context, event.first.c_str(), event.second);
    }
    return 1;
}

void CIVSFrameAnalyCtrl::PollModeEvents(IPlayMode* mode, std::vector<std::pair<std::string, Json::Value>>& events)
{
    ModeReadLocker modeLock(mode);
    for (int w : mode->GetWindows()) {
        QVariant event, mask, crowd;
        QMap<QString, QVariant> rules;
        bool hasEvent = false, hasRule = false, hasMask = false, hasCrowd = false;
        AIFlags flags;
        {
            QReadLocker lock(&m_windowLock);
            auto record = m_windows.find(w);
            if (record == m_windows.end() || record->second.Overlay() == nullptr) {
                continue;
            }
            auto fish = m_fishEye.find(w);
            if (fish != m_fishEye.end() && fish->second) {
                continue;
            }
            OSDManager* overlay = record->second.Overlay();
            hasEvent = overlay->getEvent(event);
            hasRule = overlay->getRule(rules);
            hasMask = overlay->getMaskEvent(mask);
            hasCrowd = overlay->getCrowMaskEvent(crowd);
            flags = record->second.Flags();
        }
        const auto push = [&](const char* name, const QVariant& value) {
            const Json::Value json = ToJson(value);
            if (json.size() == 0) {
                return;
            }
            Json::Value params(Json::objectValue);
            params["events"] = json;
            params["WinID"] = w;
            if (std::string(name) == "notifyMaskEvent") {
                qDebug().noquote() << QString::fromStdString(Foundation::JsonFastText(params)).trimmed();
            }
            events.emplace_back(name, params);
        };
        if (hasCrowd && flags.crowdMask) {
            push("notifyCrowMaskEvent", crowd);
        }
        if (hasMask && flags.mask) {
            push("notifyMaskEvent", mask);
        }
        if (hasEvent && flags.board) {
            push("FaceEvent", event);
        }
        if (hasRule && flags.rules) {
            Json::Value params(Json::objectValue);
            for (auto it = rules.constBegin(); it != rules.constEnd(); ++it) {
                const Json::Value value = ToJson(it.value());
                if (!value.isNull()) {
                    params["events"][it.key().toUtf8().toStdString()] = value;
                }
            }
            if (params.isMember("events")) {
                params["WinID"] = w;
                events.emplace_back("notifyAnalyseRule", params);
            }
        }
    }
}

// ---- helpers ----

IDevice* CIVSFrameAnalyCtrl::CurrentDevice()
{
    return m_deviceMgr ? m_deviceMgr->GetCurrentDevice() : nullptr;
}

QMutex* CIVSFrameAnalyCtrl::ManagerMutex()
{
    return m_playerMgr ? m_playerMgr->GetMutex() : nullptr;
}

bool CIVSFrameAnalyCtrl::ModeIsFiled(IPlayMode* mode)
{
    if (!m_playerMgr) {
        return false;
    }
    for (const auto& window : m_playerMgr->GetModeMap()) {
        for (const auto& filed : window.second) {
            if (filed.second == mode) {
                return true;
            }
        }
    }
    return false;
}

OSDManager* CIVSFrameAnalyCtrl::OverlayOf(int winID)
{
    QReadLocker lock(&m_windowLock);
    auto record = m_windows.find(winID);
    return record != m_windows.end() ? record->second.Overlay() : nullptr;
}

bool CIVSFrameAnalyCtrl::HasWindow(int winID)
{
    QReadLocker lock(&m_windowLock);
    return m_windows.count(winID) != 0;
}

AIFlags CIVSFrameAnalyCtrl::FlagsOf(int winID)
{
    QReadLocker lock(&m_windowLock);
    auto record = m_windows.find(winID);
    return record != m_windows.end() ? record->second.Flags() : AIFlags();
}

}  // namespace Tolvane
