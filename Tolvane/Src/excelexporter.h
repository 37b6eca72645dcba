#pragma once
// Writes one spreadsheet file through the outside spreadsheet writer ("class IFileOperation"):
// rows handed in are queued and written one at a time on a pool thread, each saved at once;
// single cells are applied after the last row, when the exporter is stopped, and the file is
// then saved and closed. A sheet that cannot be opened or saved fails: nothing more is
// written and no partial file is left behind.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include <QFuture>

#include <json/json.h>

#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

class IFileOperation;

namespace Tolvane {

class CExcelExporter
{
public:
    CExcelExporter(HostContext* context, const std::string& folder, const std::string& fileName,
                   const std::string& sheetName);
    // Stops, waits for the worker to end; rows not yet written are dropped.
    ~CExcelExporter();

    CExcelExporter(const CExcelExporter&) = delete;
    CExcelExporter& operator=(const CExcelExporter&) = delete;

    // Starts the writing worker; false once stopped or already started.
    bool Start();
    // Queues a copy of the row; false once stopped.
    bool AddRow(const Json::Value& row);
    // Adds a cell record {"Row", "Col", "Value"} (both counted from 1, the header is row 1).
    bool AddCell(const Json::Value& cell);
    // Drops the queued rows and lets the worker write the cells, save and close the file.
    bool Stop();
    // folder + "/" + file name.
    std::string GetFilePath() const;
    // Takes no more rows, writes those queued (none after Stop), then the cells, and waits
    // until the file is saved and closed; false when the sheet failed.
    bool Finish();
    // The sheet could not be written (no writer, no folder, or an open or save failed).
    bool IsFailed() const { return m_failed.load(); }

private:
    void Worker();
    void MarkStopped();
    // Ends a sheet that could not be written: no more rows, and no partial file.
    void Fail(const std::string& path, bool opened);

    Foundation::CSharedPtr<IFileOperation> m_writer;
    QFuture<void> m_worker;
    std::mutex m_queueLock;  // the queue and the flags; held across each row's write
    std::condition_variable m_rowsAvailable;
    std::deque<Json::Value> m_rows;
    bool m_stopped = false;
    bool m_started = false;
    bool m_closing = false;
    // Set by the worker under m_queueLock as its last step, so that waiting for it orders its
    // last use of the writer before whatever follows the wait.
    bool m_workerDone = false;
    std::atomic<bool> m_failed{false};
    std::string m_folder;
    std::string m_fileName;
    std::string m_sheetName;
    std::mutex m_cellsLock;
    Json::Value m_cells;
};

}  // namespace Tolvane
