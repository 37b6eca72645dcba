#pragma once
// The download service: turns the page's download and intelligent-search download requests
// into jobs under integer tokens, runs at most four of them at a time, pauses, resumes and
// stops jobs or single files, reports progress once a second, downloads remote files into
// a local folder and answers the free space of a disk.
//
// Locks: the running lock before the waiting lock. The token lock is a leaf that guards the
// job-token map and the two token lists; the finished handler takes only it, because jobs
// call it from calls already made under the other two.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <QThreadPool>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/ITimer.h>

namespace Tolvane {

class CDownloadCtrl;

class CDownloadManager {
public:
    static constexpr int kMaxRunningJobs = 4;
    static constexpr int64_t kTickMs = 1000;

    CDownloadManager(HostContext* context, const char* argument);
    virtual ~CDownloadManager();
    CDownloadManager(const CDownloadManager&) = delete;
    CDownloadManager& operator=(const CDownloadManager&) = delete;

    // Creates the service and registers it as "class Tolvane::CDownloadManager".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // JSON methods.
    int download(int type, const Json::Value& fileInfoList, const std::string& savePath);
    bool stop(int token, const Json::Value& fileIdList);
    bool dpause(int token, const Json::Value& fileIdList);
    bool dresume(int token, const Json::Value& fileIdList);
    int aiSearchDownload(int totalNum, const Json::Value& downloadType, const std::string& savePath,
                         const Json::Value& param, const Json::Value& condition, const Json::Value& filelist,
                         const Json::Value& excludeList);
    bool stopAiSearchDownload(int token);
    Json::Value getState(int token);
    std::string getDiskFreeSpace(const std::string& driverName);
    bool downloadRemoteFile(const Json::Value& downloadInfo);

    int OnTick(uint64_t timerId);
    void OnJobFinished(CDownloadCtrl* job, bool success);
    void OnImplLoaded();
    void OnImplPreRelease();
    void OnDeviceLoginout(long loginId);

    // Appends the page records of one job; answers its state (5 for a missing job).
    static int AppendJobRecords(int token, CDownloadCtrl* job, Json::Value& fileRecords, Json::Value& jobRecords);
    // Fetches the files of a normalised remote download request, one after the other.
    void RemoteDownload(const Json::Value& request);
    // Waits until the remote downloads and scans started so far have ended.
    void WaitForBackgroundTasks();

protected:
    virtual CDownloadCtrl* MakeJob(const Json::Value& description, const std::string& savePath);

private:
    int AddJob(CDownloadCtrl* job, bool videoJob);
    void EnsureTimer();
    void DeleteAllJobs();
    void ScanForRecordings(const std::string& savePath);
    void RunInBackground(std::function<void()> task);

    HostContext* m_context;
    Foundation::CSharedPtr<ITimer> m_timer;
    std::mutex m_waitingLock;
    std::mutex m_runningLock;
    std::map<int, CDownloadCtrl*> m_waiting;
    std::map<int, CDownloadCtrl*> m_running;
    std::atomic<uint64_t> m_timerId{0};
    std::mutex m_timerLock;
    // Connected to the login signal between "ImplComLoaded" and "ImplComPreRelease"; the
    // signal's owner may be gone by the time this service is destroyed.
    std::atomic<bool> m_loginConnected{false};
    int m_maxRunning = kMaxRunningJobs;
    std::mutex m_tokenLock;
    std::vector<int> m_videoTokens;
    std::vector<int> m_scannedTokens;
    std::map<CDownloadCtrl*, int> m_jobTokens;
    ITimer::Handler m_tickHandler;
    QThreadPool m_background;  // remote downloads and scans; waited for on destruction
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
