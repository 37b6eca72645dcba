#pragma once
// Intelligent-video overlays over live video windows. The page configures windows with
// "setAIConfig"; each configured window keeps an AIManager record with its overlay, which
// gets the play mode's stream data, draws on each painted frame and receives the device's
// rule tables and event data. Events the overlays collect are polled every 500 ms and sent
// to the page.
//
// Lock order, the same on every path: the player manager's mutex, the rule lock, a play
// mode's window-list lock, the window lock; the two queue locks are taken alone. Device
// requests are made without the window lock, so stream data and painting never wait on the
// device. Page events are sent with no lock held.

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include <QList>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QString>
#include <QThreadPool>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>
#include <foundation/Thread.h>

#include <ISorquin.h>
#include <tolvane/IDevice.h>
#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

#include "aimanager.h"

class OSDManager;

namespace Tolvane {

class CIVSFrameAnalyCtrl {
public:
    // Rules and event subscription of one device channel.
    struct ChannelRules {
        long handle = 0;                // event subscription; 0 = none
        Json::Value aiDisplayRule;      // null = not fetched
        Json::Value videoAnalyseRule;   // null = not fetched
        int slaveChannel = -1;
    };
    struct ConfigItem {
        long handle = 0;
        std::string name;
        std::string text;
    };
    struct EventItem {
        long handle = 0;
        std::string text;
        std::vector<unsigned char> data;  // a copy of the device's data
    };

    CIVSFrameAnalyCtrl(HostContext* context, const char* argument);
    ~CIVSFrameAnalyCtrl();
    CIVSFrameAnalyCtrl(const CIVSFrameAnalyCtrl&) = delete;
    CIVSFrameAnalyCtrl& operator=(const CIVSFrameAnalyCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CIVSFrameAnalyCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // JSON methods.
    bool setAIConfig(int winID, std::string type, Json::Value config);
    Json::Value getAIObjectId(int winID, Json::Value rect);
    Json::Value setOpenSlaveMode(int winID, bool enable);
    bool setCrowdMode(int winID, int mode, bool enable);

    // Host signals.
    void OnImplLoaded();
    void OnImplPreRelease();
    void OnAttachPlayMode(int winID, IPlayMode* mode);
    void OnPreClosingWnd(int winID);
    void OnDeviceDisconnect(long loginID, const char* ip, long port);
    void OnDeviceReconnect(long loginID, const char* ip, long port);
    void OnViewNodeChange(int node, enum __ViewListEvent event);
    void OnFishCalibrate(int winID, bool calibrated);

    // The 500 ms event poll.
    int PollEvents(uint64_t timerID);
    void PollModeEvents(IPlayMode* mode, std::vector<std::pair<std::string, Json::Value>>& events);

    // Per-window state and the frame path.
    void ApplyWindowState(int winID, IPlayMode* mode);
    bool HasChannelWindow(int channel, bool boardOnly);
    bool NeedsStreamData(int winID);
    void OnStreamData(IPlayMode* mode, char* buffer, long length);
    void OnFrameDraw(long winID, long value, void* painter, void* rect);
    void ApplyEventData(long handle, const std::string& text, const unsigned char* data, uint32_t length);

    // Device rules and the event subscription.
    Json::Value GetDeviceConfig(const char* name, int channel);
    void LoadChannelRules(int channel, int winID);
    void AttachRuleConfigs();
    void DetachRuleConfigs();
    long SubscribeAnalyseEvents(int channel, int slaveChannel);
    bool UnsubscribeAnalyseEvents(int channel, int slaveChannel, long handle);
    void OnConfigChange(long handle, const char* name, const char* text);
    void OnEventData(long handle, const char* text, const unsigned char* data, uint32_t length);
    void ApplyConfigChange(long handle, const std::string& text);

    // --- inspection ---
    // The window's overlay; valid while the window keeps it.
    OSDManager* OverlayOf(int winID);
    bool HasWindow(int winID);
    AIFlags FlagsOf(int winID);
    long SubscriptionOf(int channel);
    bool HasChannelRules(int channel);
    // The rule-change watch of "VideoAnalyseRule" (0), "AIDisplayRule" (1), "GlobalAIDisplayRule" (2).
    long RuleWatchOf(int index);
    // Waits until rule loads started so far have ended and both queues are worked off.
    void WaitIdle();

private:
    // Device requests decided under the locks by DecideWindowState, made after them.
    struct DeviceActions {
        bool any = false;
        int winID = -1;
        int channel = -1;
        int slaveChannel = -1;
        long unsubscribeHandle = 0;
        int unsubscribeSlave = -1;
        bool subscribe = false;
        bool loadRules = false;
        bool attachRules = false;
        bool detachRules = false;
    };
    // The map and handler part of ApplyWindowState; the caller holds the manager's mutex.
    DeviceActions DecideWindowState(int winID, IPlayMode* mode);
    void RunDeviceActions(const DeviceActions& actions);
    // True when the manager still files the mode (compares pointers only).
    bool ModeIsFiled(IPlayMode* mode);
    // The questions above for a caller that holds the window lock (a held write lock cannot
    // be taken again for reading).
    bool HasChannelWindowLocked(int channel, bool boardOnly) const;
    bool NeedsStreamDataLocked(int winID) const;
    void ConfigWorker();
    void EventWorker();
    IDevice* CurrentDevice();
    QMutex* ManagerMutex();
    // The overlay updates of one rule table for the live windows of a channel.
    void UpdateChannelOverlays(int channel, const Json::Value& rule, const char* name);
    void DetachModeHandlers(IPlayMode* mode);
    void AttachModeHandlers(IPlayMode* mode);
    bool ConfigureWindow(int winID, const QString& type, const Json::Value& config);

    HostContext* m_context;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;

    long m_ruleHandles[3] = {0, 0, 0};  // "VideoAnalyseRule", "AIDisplayRule", "GlobalAIDisplayRule"
    Json::Value m_globalDisplayRule;
    DeviceTransmitDelegate m_eventCallback;
    DeviceConfigDelegate m_configCallback;

    QReadWriteLock m_windowLock{QReadWriteLock::Recursive};
    std::map<int, AIManager> m_windows;
    std::map<int, bool> m_fishEye;
    QReadWriteLock m_ruleLock{QReadWriteLock::Recursive};
    std::map<int, ChannelRules> m_channelRules;

    QReadWriteLock m_eventQueueLock;
    QList<EventItem> m_eventQueue;
    QSemaphore m_eventSemaphore{0};
    Foundation::CThread m_eventThread;
    QReadWriteLock m_configQueueLock;
    QList<ConfigItem> m_configQueue;
    QSemaphore m_configSemaphore{0};
    Foundation::CThread m_configThread;
    std::atomic<int> m_busyItems{0};

    Foundation::CSharedPtr<ITimer> m_timer;
    uint64_t m_timerID = 0;
    std::atomic<bool> m_deviceSignalsConnected{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_splitCount{0};

    QThreadPool m_rulePool;  // rule loads; waited for before the service goes
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
