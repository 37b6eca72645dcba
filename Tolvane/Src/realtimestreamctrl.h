#pragma once
// The live-stream control: connects a device channel's live video to a video window through
// a live play mode, lets further windows share a mode that is still starting, switches a
// window from its old live mode to a new one on the new mode's first picture (no black
// gap), gives a window up when its stream did not start in time, and reports every live
// window to the page once a second ("DetailInfoEvent").
//
// Locks, in this order only: the player manager's mutex, this control's lock (pending
// modes), a mode's pending lock, the recording service's lock. The countdown map has a
// leaf lock of its own under which nothing else is called.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <QMutex>

#include <json/value.h>

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

class ISorquin;

namespace Tolvane {

class CRealVideoMode;
class CRecordVideoCtrl;

class CRealtimeStreamCtrl {
public:
    CRealtimeStreamCtrl(HostContext* context, const char* argument);
    ~CRealtimeStreamCtrl();
    CRealtimeStreamCtrl(const CRealtimeStreamCtrl&) = delete;
    CRealtimeStreamCtrl& operator=(const CRealtimeStreamCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CRealtimeStreamCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // streamType -1 joins a starting mode of any stream type; timeout in seconds.
    bool ConnectRealVideoByID(int channel, int slaveChannel, int streamType, int protocol, int winID, int timeout,
                              bool decoderStream);
    bool DisConnectRealVideoByID(int winID);
    // Takes the window out of the modes that are still starting.
    void DropPendingWindow(int winID);
    // Closes every mode that is still starting.
    void DropPendingWindows();
    bool SetHardwareDecoding(bool enable);
    // The key of the live modes started from now on. Inline, so that a module holding the
    // service through the host can set it.
    bool SetSecurityKey(const std::string& key)
    {
        QMutexLocker lock(&m_lock);
        m_securityKey = key;
        return true;
    }

    void OnImplLoaded();
    void OnImplPreRelease();
    // The one-second tick; answers 1 to stay armed.
    int OnTimer(uint64_t timerId);
    // A mode's frame-decoded signal, on a pool thread.
    void OnFrameDecoded(IPlayMode* mode, long port);

private:
    // Under the control's lock.
    void DropPendingWindowLocked(int winID);
    Json::Value ReportEntry(int winID, IPlayMode* mode, const char* streamKey, const std::string& stream,
                            long bitrate);
    void SendReport(const Json::Value& report);
    QMutex* ManagerMutex();
    int RecordStateOf(int winID);
    static bool DecoderStreamOf(IPlayMode* mode);

    HostContext* m_context;
    uint64_t m_timerId = 0;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ITimer> m_timer;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    std::string m_securityKey;

    QMutex m_lock{QMutex::Recursive};
    std::vector<CRealVideoMode*> m_pendingModes;  // owned until attached

    std::mutex m_countdownLock;
    std::map<int, int> m_countdowns;  // window id -> remaining seconds

    Foundation::CSharedPtr<CRecordVideoCtrl> m_recording;
    std::atomic<bool> m_hardwareDecoding{false};
    // Set first by the destructor: a frame-decoded call that starts later returns at once.
    std::atomic<bool> m_closing{false};
};

}  // namespace Tolvane
