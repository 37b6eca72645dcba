#pragma once
// The local play control: plays a file from the local disk in a video window through one
// local file play mode per window, reports "StateChanged" when a window starts or stops
// playing a file and the played bytes of every playing window once a second
// ("ReturnLocalState"), and closes the mode of a window that left the window module.
//
// Modes are reached only under the player manager's recursive mutex, so the manager
// cannot delete one while it is used here. The progress timer, once started, runs until
// the module is released.

#include <atomic>
#include <cstdint>
#include <mutex>

#include <json/value.h>

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

class ISorquin;

namespace Tolvane {

class CLocalPlayMode;

class CLocalPlayCtrl {
public:
    CLocalPlayCtrl(HostContext* context, const char* argument);
    ~CLocalPlayCtrl();
    CLocalPlayCtrl(const CLocalPlayCtrl&) = delete;
    CLocalPlayCtrl& operator=(const CLocalPlayCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CLocalPlayCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // Every mode of the window leaves it, then the file plays there.
    bool PlayFile(int winID, const char* path);
    bool Pause(int winID);
    bool Resume(int winID);
    bool Step(int winID);
    bool SetSpeed(int winID, float speed);
    // Handed to every new mode.
    bool SetGpuFlag(bool flag);
    // Ends the window's local play and reports it; false when it plays no file.
    bool CloseWindowMode(int winID);

    void OnImplLoaded();
    void OnImplPreRelease();
    // The one-second progress tick; answers 1 to stay armed.
    int OnTimer(uint64_t timerId);

private:
    void OnDisconnectAll() {}
    // The window's local mode; call under the manager's mutex.
    CLocalPlayMode* LocalModeOf(int winID);
    void SendStateChanged(int winID, int state);
    Json::Value ProgressEntry(int winID, CLocalPlayMode* mode, bool* ok);
    void StopTimer();

    HostContext* m_context;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;
    std::mutex m_timerLock;
    uint64_t m_timerId = 0;
    Foundation::CSharedPtr<ITimer> m_timer;
    std::atomic<bool> m_gpuFlag{false};
};

}  // namespace Tolvane
