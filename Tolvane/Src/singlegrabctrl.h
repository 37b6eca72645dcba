#pragma once
// Snapshots of video windows. "snapshot" writes picture files, one per window or a timed
// series per window through the timer service; "snapshotEx" answers one picture of a
// window inline as a data URL. Pictures come from the player library's capture on the port
// of the window's open play mode, or from the window module in host-draws mode.
//
// File snapshots run as tasks of the global pool; the service waits for them when it goes.
// The series tables are reached from request threads and from the timer's task thread and
// are guarded by m_lock, which is never held while calling out.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/ICustomerInfor.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

class ISorquin;

namespace Tolvane {

class CSingleGrabCtrl {
public:
    CSingleGrabCtrl(HostContext* context, const char* argument);
    ~CSingleGrabCtrl();
    CSingleGrabCtrl(const CSingleGrabCtrl&) = delete;
    CSingleGrabCtrl& operator=(const CSingleGrabCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CSingleGrabCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // JSON methods. "infos" is an array of {"winID", "name", and optionally "ManulSnapNum",
    // "ManulSnapInterval", "ManulSnapPath"}; always true.
    bool snapshot(const Json::Value& infos);
    // "" or "data:image/png;base64,..." (the bytes are JPEG).
    std::string snapshotEx(int winID);

    // One picture file of the window described by the element (completed in place).
    bool SnapshotWindow(int winID, Json::Value& element);
    bool SnapshotTask(Json::Value element);
    // Timer handler of a series: 1 while pictures remain, -1 when it is done or unknown.
    int OnSnapshotTimer(uint64_t id);

    void OnImplLoaded();
    void OnImplPreRelease();

    // Waits until no file snapshot task of this service is queued or running; with close
    // set, no task is started afterwards.
    void WaitForTasks(bool close = false);

private:
    // Runs SnapshotTask of the element on the global pool, counted for WaitForTasks.
    void StartSnapshotTask(const Json::Value& element);
    bool HostDraws() const;

    HostContext* m_context;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    Foundation::CSharedPtr<ICustomerInfor> m_customer;
    Foundation::CSharedPtr<ITimer> m_timer;
    std::map<int, std::string> m_formats;
    std::map<int, Json::Value> m_seriesByWindow;
    std::map<uint64_t, Json::Value> m_seriesByTimer;
    std::mutex m_lock;

    std::mutex m_taskLock;
    std::condition_variable m_tasksDone;
    int m_pendingTasks = 0;
    bool m_closing = false;

    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
