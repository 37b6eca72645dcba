#pragma once
// Manual recording: what a video window shows is written to a file through a record
// transcoder on the port of the window's open play mode. The page starts and stops windows
// with "startRecord" and "stopRecord"; a recording also ends when its mode leaves the
// window, when its length limit is reached (checked when its state is asked and once a
// second for every recording window, whatever plays in it) and when the service goes.
//
// Locks: the player manager's mutex is always taken before this service's lock (the
// manager raises "detachPlayModeSignal" under its mutex, and the live-stream control asks
// the recording state under it). The stream itself goes from the player straight to the
// transcoder and never takes this lock.

#include <functional>
#include <map>
#include <vector>

#include <QDateTime>
#include <QMutex>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/ICustomerInfor.h>
#include <tolvane/IPlayerMgr.h>
#include <tolvane/ITimer.h>

namespace Tolvane {

class IRecordTranscoder;

class CRecordVideoCtrl {
public:
    // Recording states of a window.
    enum RecordState { StateNone = 0, StateRecording = 1, StateFailed = 2 };

    CRecordVideoCtrl(HostContext* context, const char* argument);
    ~CRecordVideoCtrl();
    CRecordVideoCtrl(const CRecordVideoCtrl&) = delete;
    CRecordVideoCtrl& operator=(const CRecordVideoCtrl&) = delete;

    // Creates the service and registers it as "class Tolvane::CRecordVideoCtrl".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // JSON methods; "infos" is an array of {"winID", "name", "type", "ManulRecordLength",
    // "ManulRecordPath"}. Any other value answers false.
    bool startRecord(const Json::Value& infos);
    bool stopRecord(const Json::Value& infos);

    bool StartWindowRecord(int winID, const char* type, const char* filePath);
    bool StopWindowRecord(int winID);
    // 0 none, 1 recording, 2 the last start failed; stops a recording past its length limit.
    int GetRecordState(int winID);
    // Stops every recording past its length limit; answers 1 to stay armed.
    int OnLengthTimer(uint64_t timerId);

    void OnImplLoaded();
    void OnImplPreRelease();
    void OnDetachPlayMode(int winID, IPlayMode* mode);

    // The local clock of start times and length checks.
    void SetClock(std::function<QDateTime()> clock);

private:
    QDateTime Now() const;
    // Locks the player manager's mutex when there is a manager.
    QMutex* ManagerMutex() const;
    void RequestKeyFrame(IPlayMode* mode);
    // True when the window's recording has reached its length limit; under the lock.
    bool PastLengthLocked(int winID) const;

    HostContext* m_context;
    Foundation::CSharedPtr<IPlayerMgr> m_playerMgr;
    std::map<int, IRecordTranscoder*> m_transcoders;  // owned; null: the last start failed
    std::map<int, QDateTime> m_startTimes;
    std::map<int, int> m_lengths;                     // minutes
    Foundation::CSharedPtr<ICustomerInfor> m_customer;
    Foundation::CSharedPtr<ITimer> m_timer;
    uint64_t m_timerId = 0;
    mutable QMutex m_lock{QMutex::Recursive};
    std::function<QDateTime()> m_clock;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
