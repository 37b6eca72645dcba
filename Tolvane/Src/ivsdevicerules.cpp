// Device side of the intelligent-video service: rule tables, rule-change notifications,
// the per-channel event subscription and the two workers that apply what the device sends.

#include <QReadLocker>
#include <QMutexLocker>
#include <QThread>
#include <QWriteLocker>

#include <foundation/JsonRead.h>

#include <osdmanager.h>

#include "ivsframeanalyctrl.h"
#include "ivslocks.h"

namespace Tolvane {

namespace {

constexpr const char* kRuleNames[3] = {"VideoAnalyseRule", "AIDisplayRule", "GlobalAIDisplayRule"};
constexpr int kRequestTimeoutMs = 3000;

Json::Value AnalyseFilter(int channel, int slaveChannel)
{
    Json::Value filter(Json::objectValue);
    filter["Channels"].append(channel);
    if (slaveChannel >= 0) {
        filter["Channels"].append(slaveChannel);
    }
    filter["NeedData"] = true;
    filter["Flags"].append("Event");
    filter["Flags"].append("Manual");
    filter["Paths"].append("LocalPath");
    filter["Internal"] = 1;
    filter["Events"].append("All");
    filter["Events"].append("*");
    return filter;
}

Json::Value FileProcRequest(const char* method, int channel, int slaveChannel)
{
    Json::Value request(Json::objectValue);
    request["method"] = method;
    request["params"]["filter"] = AnalyseFilter(channel, slaveChannel);
    request["params"]["proc"] = channel + 1;
    return request;
}

// The "table" member of a notification or answer's "params"; null when absent.
const Json::Value* FindTable(const Json::Value& message)
{
    const Json::Value* params = Foundation::JsonFind(message, "params");
    if (params == nullptr || !params->isObject()) {
        return nullptr;
    }
    return Foundation::JsonFind(*params, "table");
}

// The channel's element of a table indexed by channel number; null when there is none.
Json::Value ChannelElement(const Json::Value& table, int channel)
{
    if (table.isArray() && channel >= 0 && static_cast<Json::ArrayIndex>(channel) < table.size()) {
        return table[static_cast<Json::ArrayIndex>(channel)];
    }
    return Json::Value();
}

}  // namespace

Json::Value CIVSFrameAnalyCtrl::GetDeviceConfig(const char* name, int channel)
{
    IDevice* device = CurrentDevice();
    if (device == nullptr) {
        return Json::Value();
    }
    Json::Value request(Json::objectValue);
    request["method"] = "configManager.getConfig";
    request["params"]["name"] = name;
    request["params"]["onlyLocal"] = true;
    if (channel != -1) {
        request["params"]["channel"] = channel;
    }
    Json::Value answer;
    if (!device->TransmitInfoForWeb(request, &answer, kRequestTimeoutMs)) {
        return Json::Value();
    }
    const Json::Value* table = FindTable(answer);
    return table != nullptr ? *table : Json::Value();
}

void CIVSFrameAnalyCtrl::LoadChannelRules(int channel, int winID)
{
    if (channel == -1) {
        return;
    }
    QWriteLocker rules(&m_ruleLock);
    {
        // A window that left meanwhile needs no rules; its channel is not filed again.
        QReadLocker lock(&m_windowLock);
        if (m_windows.count(winID) == 0) {
            return;
        }
    }
    ChannelRules& channelRules = m_channelRules[channel];
    if (channelRules.videoAnalyseRule.isNull()) {
        channelRules.videoAnalyseRule = GetDeviceConfig(kRuleNames[0], channel);
    }
    if (channelRules.aiDisplayRule.isNull()) {
        channelRules.aiDisplayRule = GetDeviceConfig(kRuleNames[1], channel);
    }
    if (m_globalDisplayRule.isNull()) {
        m_globalDisplayRule = GetDeviceConfig(kRuleNames[2], -1);
    }
    QWriteLocker lock(&m_windowLock);
    auto record = m_windows.find(winID);
    if (record == m_windows.end() || record->second.Overlay() == nullptr) {
        return;
    }
    OSDManager* overlay = record->second.Overlay();
    overlay->updateConfig(channelRules.videoAnalyseRule, kRuleNames[0]);
    overlay->updateConfig(channelRules.aiDisplayRule, kRuleNames[1]);
    overlay->updateConfig(m_globalDisplayRule, kRuleNames[2]);
    overlay->setChannel(channel);
    Json::Value init(Json::objectValue);
    init["captureEnable"] = true;
    init["CrowdDetectionEnable"] = true;
    overlay->updateConfig(init, "InitConfig");
}

void CIVSFrameAnalyCtrl::AttachRuleConfigs()
{
    QWriteLocker rules(&m_ruleLock);
    IDevice* device = CurrentDevice();
    if (device == nullptr) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (m_ruleHandles[i] == 0) {
            m_ruleHandles[i] = device->AttachConfigChange(kRuleNames[i], &m_configCallback, kRequestTimeoutMs);
        }
    }
}

void CIVSFrameAnalyCtrl::DetachRuleConfigs()
{
    QWriteLocker rules(&m_ruleLock);
    IDevice* device = CurrentDevice();
    for (long& handle : m_ruleHandles) {
        if (device != nullptr && handle != 0) {
            device->DetachConfigChange(handle);
        }
        handle = 0;
    }
}

long CIVSFrameAnalyCtrl::SubscribeAnalyseEvents(int channel, int slaveChannel)
{
    IDevice* device = CurrentDevice();
    if (device == nullptr || channel == -1) {
        return 0;
    }
    Json::Value answer;
    return device->AttachTransmitInfo(FileProcRequest("snapManager.attachFileProc", channel, slaveChannel), &answer,
                                      &m_eventCallback, kRequestTimeoutMs);
}

bool CIVSFrameAnalyCtrl::UnsubscribeAnalyseEvents(int channel, int slaveChannel, long handle)
{
    IDevice* device = CurrentDevice();
    if (device == nullptr || channel == -1) {
        return false;
    }
    Json::Value answer;
    device->DetachTransmitInfo(handle, FileProcRequest("snapManager.detachFileProc", channel, slaveChannel), &answer,
                               0);
    return true;
}

void CIVSFrameAnalyCtrl::OnConfigChange(long handle, const char* name, const char* text)
{
    ConfigItem item;
    item.handle = handle;
    item.name = name != nullptr ? name : "";
    item.text = text != nullptr ? text : "";
    {
        QWriteLocker lock(&m_configQueueLock);
        m_configQueue.append(std::move(item));
        ++m_busyItems;
    }
    m_configSemaphore.release();
}

void CIVSFrameAnalyCtrl::OnEventData(long handle, const char* text, const unsigned char* data, uint32_t length)
{
    EventItem item;
    item.handle = handle;
    item.text = text != nullptr ? text : "";
    if (data != nullptr && length > 0) {
        item.data.assign(data, data + length);
    }
    {
        QWriteLocker lock(&m_eventQueueLock);
        m_eventQueue.append(std::move(item));
        ++m_busyItems;
    }
    m_eventSemaphore.release();
}

void CIVSFrameAnalyCtrl::ConfigWorker()
{
    while (!m_stop.load()) {
        m_configSemaphore.acquire();
        if (m_stop.load()) {
            break;
        }
        ConfigItem item;
        {
            QWriteLocker lock(&m_configQueueLock);
            if (m_configQueue.isEmpty()) {
                continue;
            }
            item = m_configQueue.takeFirst();
        }
        ApplyConfigChange(item.handle, item.text);
        --m_busyItems;
    }
}

void CIVSFrameAnalyCtrl::EventWorker()
{
    while (!m_stop.load()) {
        m_eventSemaphore.acquire();
        if (m_stop.load()) {
            break;
        }
        EventItem item;
        {
            QWriteLocker lock(&m_eventQueueLock);
            if (m_eventQueue.isEmpty()) {
                continue;
            }
            item = m_eventQueue.takeFirst();
        }
        ApplyEventData(item.handle, item.text, item.data.empty() ? nullptr : item.data.data(),
                       static_cast<uint32_t>(item.data.size()));
        --m_busyItems;
    }
}

void CIVSFrameAnalyCtrl::ApplyConfigChange(long handle, const std::string& text)
{
    Json::Value parsed;
    if (handle == 0 || !Foundation::JsonParse(text, parsed)) {
        return;
    }
    const Json::Value* found = FindTable(parsed);
    if (found == nullptr) {
        return;
    }
    const Json::Value table = *found;
    QMutexLocker manager(ManagerMutex());
    // Written here, so held for writing.
    QWriteLocker rules(&m_ruleLock);
    if (handle == m_ruleHandles[0] || handle == m_ruleHandles[1]) {
        const bool video = handle == m_ruleHandles[0];
        for (auto& entry : m_channelRules) {
            Json::Value& rule = video ? entry.second.videoAnalyseRule : entry.second.aiDisplayRule;
            rule = ChannelElement(table, entry.first);
            UpdateChannelOverlays(entry.first, rule, video ? kRuleNames[0] : kRuleNames[1]);
        }
    } else if (handle == m_ruleHandles[2]) {
        m_globalDisplayRule = table;
        QReadLocker lock(&m_windowLock);
        for (auto& record : m_windows) {
            if (OSDManager* overlay = record.second.Overlay()) {
                overlay->updateConfig(m_globalDisplayRule, kRuleNames[2]);
            }
        }
    }
}

void CIVSFrameAnalyCtrl::UpdateChannelOverlays(int channel, const Json::Value& rule, const char* name)
{
    IDevice* device = CurrentDevice();
    if (device == nullptr || !m_playerMgr) {
        return;
    }
    for (IPlayMode* mode : m_playerMgr->GetChannelModes(device, channel, ModeId::RealVideo)) {
        if (mode == nullptr) {
            continue;
        }
        ModeReadLocker modeLock(mode);
        for (int w : mode->GetWindows()) {
            QReadLocker lock(&m_windowLock);
            auto record = m_windows.find(w);
            if (record != m_windows.end() && record->second.Overlay() != nullptr) {
                record->second.Overlay()->updateConfig(rule, name);
            }
        }
    }
}

long CIVSFrameAnalyCtrl::SubscriptionOf(int channel)
{
    QReadLocker rules(&m_ruleLock);
    auto entry = m_channelRules.find(channel);
    return entry != m_channelRules.end() ? entry->second.handle : 0;
}

bool CIVSFrameAnalyCtrl::HasChannelRules(int channel)
{
    QReadLocker rules(&m_ruleLock);
    return m_channelRules.count(channel) != 0;
}

long CIVSFrameAnalyCtrl::RuleWatchOf(int index)
{
    QReadLocker rules(&m_ruleLock);
    return index >= 0 && index < 3 ? m_ruleHandles[index] : 0;
}

void CIVSFrameAnalyCtrl::WaitIdle()
{
    for (int round = 0; round < 1000; ++round) {
        m_rulePool.waitForDone();
        if (m_busyItems.load() == 0 && m_rulePool.activeThreadCount() == 0) {
            return;
        }
        QThread::msleep(5);
    }
}

}  // namespace Tolvane
