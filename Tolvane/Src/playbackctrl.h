#pragma once
// The playback control: plays device recordings in video windows, one network playback
// mode per window, for the player control. It can tie the playing windows into one play
// group that the reference window steps, reports every window's progress to the page once
// a second ("PlayProcessInfo") and closes the playback of windows that have gone.
//
// Lock order: the player manager's mutex, then the group lock (recursive read-write, write
// only while the group opens or closes). Nothing else is locked under the group lock. Every
// operation on a window uses its mode under the manager's mutex, so no close deletes it meanwhile.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include <QReadWriteLock>

#include <json/value.h>

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IDeviceMgr.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

class ISorquin;

namespace Tolvane {

class CPlaybackMode;

class CPlaybackCtrl {
public:
    static constexpr int64_t kProgressIntervalMs = 1000;

    CPlaybackCtrl(HostContext* context, const char* argument);
    ~CPlaybackCtrl();
    CPlaybackCtrl(const CPlaybackCtrl&) = delete;
    CPlaybackCtrl& operator=(const CPlaybackCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CPlaybackCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // Starts the window's playback of the file info, or re-targets the window's mode.
    // A numeric "speed" below 0 in the file info plays in reverse.
    bool Playback(int winID, const Json::Value& fileInfo, bool byTime);
    bool Pause(int winID);
    bool Resume(int winID);
    bool StepForward(int winID);
    bool StepBackward(int winID);
    bool SetSpeed(int winID, float speed);
    bool SeekByTime(int winID, int year, int month, int day, int hour, int minute, int second);
    // Enable: opens the play group over every playing window (or only moves the reference
    // window when one is open). Disable: closes it.
    bool SetPlayRefWin(int winID, bool enable);
    bool SetGpuFlag(bool flag);

    // Detaches the window's playback mode, leaving the play group first.
    bool CloseWindowMode(int winID);

    void OnImplLoaded();
    void OnImplPreRelease();
    // The one-second progress tick; answers 1 to stay armed.
    int OnProgressTimer(uint64_t timerId);
    void OnPreClosingWnd(int winID);
    // One-shot on a new mode's frame-shown signal.
    void OnFirstFrame(IPlayMode* mode, long port);

    // Group state, for the player control and tests.
    int32_t GetPlayGroup();
    int GetReferenceWindow();

private:
    CPlaybackMode* ModeOf(int winID);
    // {"winID", "width", "height", "time", "msecs"} of the frame record.
    static Json::Value FrameEntry(int winID, const PlayFrameRecord& record);
    QMutex* ManagerMutex();

    HostContext* m_context;
    uint64_t m_timerId = 0;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    Foundation::CSharedPtr<ITimer> m_timer;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;
    Foundation::CSharedPtr<ISorquin> m_sorquin;

    QReadWriteLock m_groupLock{QReadWriteLock::Recursive};
    int32_t m_playGroup = 0;
    int m_referenceWindow = -1;
    bool m_groupReverse = false;
    float m_groupSpeed = 1.0f;

    std::atomic<bool> m_gpuFlag{false};
    // Set first by the destructor: a first-frame call that starts later returns at once.
    std::atomic<bool> m_closing{false};

    // Modes whose first frame has not been reported yet.
    std::mutex m_firstFrameLock;
    std::set<IPlayMode*> m_awaitingFirstFrame;
};

}  // namespace Tolvane
