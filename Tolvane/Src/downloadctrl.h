#pragma once
// One download job: everything one "download" or "aiSearchDownload" request asks for. The
// job plans where every file goes (each item's "DownloadInfo"), hands the planned items to
// its file worker, and for an intelligent search also owns the search on the device and one
// spreadsheet per event kind. It has no thread and no lock of its own: its owner calls it
// under the owner's locks; the search thread and the strategies' threads call back.
//
// States: 0 waiting, 2 running, 3 ended, 4 paused, 5 ended with a sheet that could not be
// written (its path is in the progress record's "FailedSheets").

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <json/value.h>

#include <foundation/FastDelegate.h>
#include <foundation/HostContext.h>

namespace Tolvane {

class CAiSearcher;
class CDownloadFileCtrl;
class CExcelExporter;
class CExcelRowBuilder;

class CDownloadCtrl {
public:
    enum State { StateWaiting = 0, StateRunning = 2, StateEnded = 3, StatePaused = 4, StateFailed = 5 };
    enum SaveBits { SaveVideo = 1, SavePictures = 2, SaveSheets = 4 };
    // (job, success of the video piece that just ended)
    using FinishedHandler = fastdelegate::FastDelegate<void(CDownloadCtrl* job, bool success)>;

    CDownloadCtrl(HostContext* context, const Json::Value& description, const std::string& saveFolder);
    virtual ~CDownloadCtrl();
    CDownloadCtrl(const CDownloadCtrl&) = delete;
    CDownloadCtrl& operator=(const CDownloadCtrl&) = delete;

    void SetFinishedHandler(const FinishedHandler& handler);
    virtual bool Start();
    virtual Json::Value GetProgress();
    virtual bool Pause(const Json::Value& fileIds);
    virtual bool Resume(const Json::Value& fileIds);
    virtual bool Stop(const Json::Value& fileIds);

    int OnSearchResult(CAiSearcher* search, const Json::Value& records);
    bool OnFileFinished(CDownloadFileCtrl* worker, int fileId, bool success);
    bool SetCellValue(int fileId, const std::string& key, const std::string& value);

    bool IsSearchJob() const { return m_searchJob; }
    const std::string& GetSavePath() const { return m_saveFolder; }
    const std::string& GetJobFolder() const { return m_jobFolder; }
    int GetSaveTypeBits() const { return m_saveBits; }
    // The normalised description; "FileList" carries the plans.
    const Json::Value& Description() const { return m_description; }

    // Writes the item's plan into its "DownloadInfo".
    void PlanFile(Json::Value& item);
    static int SaveTypeBitsOf(const Json::Value& saveTypes);
    // The folder of a search picture entry, by its name; empty for an entry without one.
    static std::string PictureLabel(const std::string& entryName, const std::string& start, const std::string& group);

protected:
    // For jobs whose worker is made elsewhere (tests); the default job always has one.
    CDownloadCtrl();

private:
    struct FileRow {
        std::string key;
        int row = 0;
        std::vector<std::string> links;  // columns that link to the file's downloads
    };

    void BuildRows(const Json::Value& records, Json::Value& out);
    void PlanSearchPictures(Json::Value& item);
    void PlanVideo(Json::Value& item);
    static void DropDuplicateTarget(Json::Value& plan, const char* first, const char* second);
    // A name for a file of this job: free on disk and not handed to another of its files.
    std::string ReserveFileName(const std::string& path);
    void ReleaseFileNames(const Json::Value& items);
    // Once the search has ended, the job's total is what it delivered.
    void SettleSearchTotal();
    // Stopped before they were complete: their rows link to nothing.
    void MarkUnfinishedRows(const Json::Value& succeededIds);
    // Ends the job: the search and the worker stop, and the sheets are completed before the
    // job says it has ended (state 5 when one could not be written). Rows not yet written
    // are written when the job ended by itself (allRows) and dropped when it was stopped.
    void End(bool allRows);
    // Saves and closes every sheet; a sheet without data rows is removed, a failed one noted.
    void FinishSheets(bool allRows);
    // The paths of the sheets that could not be written, so far.
    Json::Value FailedSheets() const;

    HostContext* m_context = nullptr;
    std::unique_ptr<CDownloadFileCtrl> m_worker;
    std::unique_ptr<CAiSearcher> m_search;
    std::map<std::string, std::unique_ptr<CExcelExporter>> m_exporters;
    std::map<std::string, std::unique_ptr<CExcelRowBuilder>> m_builders;
    std::set<CExcelExporter*> m_exportersWithData;
    Json::Value m_failedSheets{Json::arrayValue};  // of the exporters finished already
    Json::Value m_channelNames{Json::objectValue};
    Json::Value m_description;
    std::string m_saveFolder;
    std::string m_jobFolder;
    std::string m_aiTypeKey;
    std::atomic<int> m_state{StateWaiting};
    bool m_byTime = false;
    bool m_searchJob = false;
    int m_saveBits = 0;
    std::set<std::string> m_excludedPaths;
    FinishedHandler m_finishedHandler;
    // Rows are made on the search thread and looked up from the strategies' threads.
    std::mutex m_rowLock;
    std::map<std::string, int> m_rowCounters;
    std::map<int, FileRow> m_fileRows;
    std::mutex m_nameLock;
    std::set<std::string> m_reservedNames;
    std::atomic<int> m_delivered{0};  // records the search handed to the worker
    bool m_totalSettled = false;
};

}  // namespace Tolvane
