#pragma once
// The file worker of one download job: numbers the job's planned file items, fetches them
// one piece at a time on a thread of its own (one download strategy per needed entry of an
// item's "DownloadInfo", in the byte order of the entry names) and keeps the per-file
// bookkeeping from which the job's progress record is made.
//
// Locks: the main lock guards the files and pieces and is held while strategies are
// started, paused and stopped. The tally lock guards what strategies report (the current
// piece's identity, the outstanding pieces of each file and the id lists); it is a leaf,
// taken under the main lock or alone from a strategy's report, never the other way round.

#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <QSemaphore>

#include <json/value.h>

#include <foundation/FastDelegate.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

#include <tolvane/IDeviceMgr.h>

namespace Tolvane {

class IDownload;

class CDownloadFileCtrl {
public:
    // (worker, file id, success of the video piece)
    using FileFinishedCallback = fastdelegate::FastDelegate<bool(CDownloadFileCtrl* worker, int fileId, bool success)>;

    enum FileState { StateResumed = 2, StatePaused = 4 };
    static constexpr int kPendingLimit = 50;

    CDownloadFileCtrl(HostContext* context, const Json::Value& items, int totalCount);
    virtual ~CDownloadFileCtrl();
    CDownloadFileCtrl(const CDownloadFileCtrl&) = delete;
    CDownloadFileCtrl& operator=(const CDownloadFileCtrl&) = delete;

    bool SetFileFinishedCallback(const FileFinishedCallback& callback);
    bool Start();
    // False (the batch is not taken) while kPendingLimit or more files wait.
    bool AddFiles(const Json::Value& items);
    // Ids are whole numbers; an empty array or null means all files. Elements that name no
    // file of the job are ignored, as is a list that is not an array.
    bool Pause(const Json::Value& ids);
    bool Resume(const Json::Value& ids);
    bool Stop(const Json::Value& ids);
    Json::Value GetProgress();
    // The total of the job may be set once the number of files is known for certain.
    void SetTotalCount(int totalCount);
    int WaitingCount();
    // Stops all and waits for the thread; the progress record then holds the final lists.
    void Shutdown();

    void OnDownloadFinished(IDownload* download, int state);

    // True for a list that stands for all files: null or an empty array.
    static bool IsEmptyList(const Json::Value& ids);

protected:
    // Makes the strategy of one plan entry; the worker owns the result.
    virtual IDownload* MakePiece(bool video, IDevice* device, const Json::Value& item, const std::string& folder,
                                 const std::string& fileName, bool byTime);

private:
    struct Piece {
        IDownload* download = nullptr;
        bool video = false;
    };
    struct Tally {
        int outstanding = 0;
        bool succeeded = false;
    };

    void WorkLoop();
    void StartFile(int id, const Json::Value& item);
    void RunPiece(const Piece& piece, bool resume);
    void SetCurrent(const Piece& piece);
    // Under the tally lock: a piece of the file ended; settles the file with its last piece.
    void PieceEnded(int id, bool succeeded);
    void StopAll();

    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;  // keeps m_device alive until the pieces are gone
    IDevice* m_device = nullptr;
    HostContext m_context;
    std::recursive_mutex m_lock;
    int m_lastId = -1;
    std::thread m_thread;
    std::map<int, Json::Value> m_pausedWaiting;
    std::map<int, Json::Value> m_waiting;
    QSemaphore m_workSignal{0};
    QSemaphore m_pieceDone{0};
    Piece m_current;
    std::list<Piece> m_remaining;
    // A file may hold several: a paused piece stays paused while the file's next one runs.
    std::multimap<int, Piece> m_pausedPieces;
    std::multimap<int, Piece> m_resumedPieces;
    bool m_stop = false;
    FileFinishedCallback m_callback;

    std::mutex m_tallyLock;
    int m_currentId = -1;
    IDownload* m_reporting = nullptr;  // the piece whose end the thread waits for
    bool m_reportingVideo = false;
    std::map<int, Tally> m_tallies;
    int m_totalCount;
    Json::Value m_succeeded{Json::arrayValue};
    Json::Value m_failed{Json::arrayValue};
    Json::Value m_deleted{Json::arrayValue};
};

}  // namespace Tolvane
