// Per-window state of the intelligent-video service and the frame path: stream data,
// drawing and device event data reaching the windows' overlays.

#include <QReadLocker>
#include <QMutexLocker>
#include <QWriteLocker>

#include <foundation/JsonRead.h>

#include <osdmanager.h>

#include "Memory/packet.h"
#include "Stream/mediaframe.h"
#include "ivsframeanalyctrl.h"
#include "ivslocks.h"
#include "jsonhelper.h"

namespace Tolvane {

bool CIVSFrameAnalyCtrl::HasChannelWindow(int channel, bool boardOnly)
{
    QReadLocker lock(&m_windowLock);
    return HasChannelWindowLocked(channel, boardOnly);
}

bool CIVSFrameAnalyCtrl::HasChannelWindowLocked(int channel, bool boardOnly) const
{
    if (channel == -1) {
        return false;
    }
    for (const auto& record : m_windows) {
        if (record.second.channel != channel) {
            continue;
        }
        if (!boardOnly) {
            return record.second.Flags().Any();
        }
        if (record.second.Flags().board) {
            return true;
        }
    }
    return false;
}

bool CIVSFrameAnalyCtrl::NeedsStreamData(int winID)
{
    QReadLocker lock(&m_windowLock);
    return NeedsStreamDataLocked(winID);
}

bool CIVSFrameAnalyCtrl::NeedsStreamDataLocked(int winID) const
{
    auto record = m_windows.find(winID);
    return record != m_windows.end() && record->second.Overlay() != nullptr && record->second.Flags().AnyButBoard();
}

void CIVSFrameAnalyCtrl::ApplyWindowState(int winID, IPlayMode* mode)
{
    DeviceActions actions;
    {
        QMutexLocker manager(ManagerMutex());
        actions = DecideWindowState(winID, mode);
    }
    RunDeviceActions(actions);
}

CIVSFrameAnalyCtrl::DeviceActions CIVSFrameAnalyCtrl::DecideWindowState(int winID, IPlayMode* mode)
{
    DeviceActions actions;
    QWriteLocker rules(&m_ruleLock);
    ModeReadLocker modeLock(mode);
    bool connect = false;
    bool disconnect = false;
    {
        QWriteLocker lock(&m_windowLock);
        auto record = m_windows.find(winID);
        if (record == m_windows.end()) {
            return actions;
        }
        actions.any = true;
        actions.winID = winID;
        const int ch = record->second.channel;
        actions.channel = ch;
        actions.slaveChannel = record->second.slaveChannel;
        if (ch != -1) {
            ChannelRules& channelRules = m_channelRules[ch];
            if (HasChannelWindowLocked(ch, true)) {
                actions.subscribe = channelRules.handle == 0;
            } else if (channelRules.handle != 0) {
                actions.unsubscribeHandle = channelRules.handle;
                actions.unsubscribeSlave = channelRules.slaveChannel;
                channelRules.handle = 0;
            }
        }
        if (HasChannelWindowLocked(ch, false)) {
            connect = mode != nullptr;
            if (OSDManager* overlay = record->second.Overlay()) {
                for (const auto& entry : record->second.Entries()) {
                    QVariantMap config;
                    CJsonHelper::JsonObjectToQVariantMap(entry.second.config, config);
                    overlay->setAiConfig(entry.first, config);
                    overlay->setSplitCount(m_splitCount.load());
                }
            }
            actions.loadRules = true;
            actions.attachRules = true;
        } else {
            m_windows.erase(record);  // its overlay goes with it
            if (!HasChannelWindowLocked(ch, false)) {
                m_channelRules.erase(ch);
            }
            if (m_windows.empty()) {
                actions.detachRules = true;
                m_globalDisplayRule = Json::Value();
            }
            if (mode != nullptr) {
                disconnect = true;
                for (int w : mode->GetWindows()) {
                    if (m_windows.count(w) != 0) {
                        disconnect = false;
                    }
                }
            }
        }
    }
    // A detach waits for the handlers' running calls, which take the mode's window lock.
    modeLock.Unlock();
    if (connect) {
        DetachModeHandlers(mode);
        AttachModeHandlers(mode);
    } else if (disconnect) {
        DetachModeHandlers(mode);
    }
    return actions;
}

void CIVSFrameAnalyCtrl::RunDeviceActions(const DeviceActions& actions)
{
    if (!actions.any) {
        return;
    }
    QWriteLocker rules(&m_ruleLock);
    if (actions.unsubscribeHandle != 0) {
        UnsubscribeAnalyseEvents(actions.channel, actions.unsubscribeSlave, actions.unsubscribeHandle);
    }
    // Re-checked: another window may have changed the channel since the decision.
    if (actions.subscribe && HasChannelWindow(actions.channel, true)) {
        ChannelRules& channelRules = m_channelRules[actions.channel];
        if (channelRules.handle == 0) {
            const long handle = SubscribeAnalyseEvents(actions.channel, actions.slaveChannel);
            if (handle != 0) {
                channelRules.handle = handle;
                channelRules.slaveChannel = actions.slaveChannel;
            }
        }
    }
    if (actions.loadRules) {
        const int channel = actions.channel;
        const int winID = actions.winID;
        m_rulePool.start([this, channel, winID] { LoadChannelRules(channel, winID); });
    }
    bool empty = false;
    {
        QReadLocker lock(&m_windowLock);
        empty = m_windows.empty();
    }
    if (actions.attachRules && !empty) {
        AttachRuleConfigs();
    }
    if (actions.detachRules && empty) {
        DetachRuleConfigs();
    }
}

void CIVSFrameAnalyCtrl::DetachModeHandlers(IPlayMode* mode)
{
    mode->DetachStreamData(IPlayMode::StreamDataHandler(this, &CIVSFrameAnalyCtrl::OnStreamData));
    mode->DetachFrameDraw(IPlayMode::FrameDrawHandler(this, &CIVSFrameAnalyCtrl::OnFrameDraw));
}

void CIVSFrameAnalyCtrl::AttachModeHandlers(IPlayMode* mode)
{
    mode->AttachStreamData(IPlayMode::StreamDataHandler(this, &CIVSFrameAnalyCtrl::OnStreamData));
    mode->AttachFrameDraw(IPlayMode::FrameDrawHandler(this, &CIVSFrameAnalyCtrl::OnFrameDraw));
}

void CIVSFrameAnalyCtrl::OnStreamData(IPlayMode* mode, char* buffer, long length)
{
    if (mode == nullptr || buffer == nullptr || length <= 0) {
        return;
    }
    ModeReadLocker modeLock(mode);
    const std::vector<int> windows = mode->GetWindows();
    // One packet over the caller's bytes: nothing copied, nothing freed.
    Tarvo::Memory::CPacket packet(buffer, static_cast<uint32_t>(length));
    for (int w : windows) {
        QReadLocker lock(&m_windowLock);
        auto record = m_windows.find(w);
        if (record != m_windows.end() && record->second.Overlay() != nullptr && NeedsStreamDataLocked(w)) {
            record->second.Overlay()->putPacket(packet);
        }
    }
}

void CIVSFrameAnalyCtrl::OnFrameDraw(long winID, long /*value*/, void* painter, void* rect)
{
    if (painter == nullptr || rect == nullptr) {
        return;
    }
    QReadLocker lock(&m_windowLock);
    auto record = m_windows.find(static_cast<int>(winID));
    if (record != m_windows.end() && record->second.Overlay() != nullptr) {
        record->second.Overlay()->draw(*static_cast<QPainter*>(painter), *static_cast<QRect*>(rect), 1, nullptr);
    }
}

void CIVSFrameAnalyCtrl::ApplyEventData(long handle, const std::string& text, const unsigned char* data,
                                        uint32_t length)
{
    Json::Value parsed;
    if (handle == 0 || !Foundation::JsonParse(text, parsed)) {
        return;
    }
    Json::Value info;
    if (const Json::Value* params = Foundation::JsonFind(parsed, "params")) {
        if (const Json::Value* member = Foundation::JsonFind(*params, "info")) {
            info = *member;
        }
    }
    QMutexLocker manager(ManagerMutex());
    QReadLocker rules(&m_ruleLock);
    int channel = -1;
    for (const auto& entry : m_channelRules) {
        if (entry.second.handle == handle) {
            channel = entry.first;
            break;
        }
    }
    IDevice* device = CurrentDevice();
    if (channel == -1 || device == nullptr || !m_playerMgr) {
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
            if (record == m_windows.end() || !record->second.Flags().board || record->second.Overlay() == nullptr) {
                continue;
            }
            Tarvo::Memory::CPacket packet(const_cast<unsigned char*>(data), data != nullptr ? length : 0);
            Tarvo::Stream::CMediaFrame frame(packet, 0, data != nullptr ? length : 0);
            record->second.Overlay()->ivsCallBack(info, frame);
        }
    }
}

}  // namespace Tolvane
