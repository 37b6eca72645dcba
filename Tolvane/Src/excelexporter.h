#pragma once
// Writes one spreadsheet file through the outside spreadsheet writer ("class IFileOperation"):
// rows handed in are queued and written one at a time on a pool thread, each saved at once;
// single cells are applied after the last row, when the exporter is stopped, and the file is
// then saved and closed.

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

private:
    void Worker();
    void MarkStopped();

    Foundation::CSharedPtr<IFileOperation> m_writer;
    QFuture<void> m_worker;
    std::mutex m_queueLock;  // the queue, the stopped and started flags; held across each row's write
    std::condition_variable m_rowsAvailable;
    std::deque<Json::Value> m_rows;
    bool m_stopped = false;
    bool m_started = false;
    std::string m_folder;
    std::string m_fileName;
    std::string m_sheetName;
    std::mutex m_cellsLock;
    Json::Value m_cells;
};

}  // namespace Tolvane
