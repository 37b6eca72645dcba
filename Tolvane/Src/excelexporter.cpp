#include "excelexporter.h"

#include <QDebug>
#include <QThreadPool>
#include <QtConcurrent>

#include <IFileOperation.h>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "filehelpers.h"

namespace Tolvane {

CExcelExporter::CExcelExporter(HostContext* context, const std::string& folder, const std::string& fileName,
                               const std::string& sheetName)
    : m_folder(folder)
    , m_fileName(fileName)
    , m_sheetName(sheetName)
{
    m_writer = Foundation::QueryHostService<IFileOperation>(context, Foundation::TypeName::IFileOperation);
}

CExcelExporter::~CExcelExporter()
{
    Stop();
    Finish();
    m_writer = Foundation::CSharedPtr<IFileOperation>();
}

bool CExcelExporter::Finish()
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_closing = true;
    }
    m_rowsAvailable.notify_all();
    m_worker.waitForFinished();
    {
        std::unique_lock<std::mutex> lock(m_queueLock);
        m_rowsAvailable.wait(lock, [this] { return !m_started || m_workerDone; });
    }
    return !m_failed.load();
}

bool CExcelExporter::Start()
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (m_stopped || m_started) {
        return false;
    }
    m_started = true;
    m_worker = QtConcurrent::run([this] {
        Worker();
        std::lock_guard<std::mutex> done(m_queueLock);
        m_workerDone = true;
        m_rowsAvailable.notify_all();
    });
    return true;
}

bool CExcelExporter::AddRow(const Json::Value& row)
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        if (m_stopped || m_closing) {
            return false;
        }
        m_rows.push_back(row);
    }
    m_rowsAvailable.notify_one();
    return true;
}

bool CExcelExporter::AddCell(const Json::Value& cell)
{
    std::lock_guard<std::mutex> lock(m_cellsLock);
    if (!m_cells.isArray()) {
        m_cells = Json::Value(Json::arrayValue);
    }
    m_cells.append(cell);
    return true;
}

bool CExcelExporter::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_stopped = true;
        m_rows.clear();
    }
    m_rowsAvailable.notify_all();
    return true;
}

std::string CExcelExporter::GetFilePath() const
{
    return m_folder + "/" + m_fileName;
}

void CExcelExporter::MarkStopped()
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_stopped = true;
    m_rows.clear();
}

void CExcelExporter::Fail(const std::string& path, bool opened)
{
    qDebug() << "CExcelExporter::Worker: ERROR: the sheet cannot be written:" << QString::fromStdString(path);
    m_failed.store(true);
    MarkStopped();
    if (opened) {
        m_writer->Close(path);
        // A sheet that lacks rows the job reported is worth nothing.
        RemoveFileIfExists(path.c_str());
    }
}

void CExcelExporter::Worker()
{
    const std::string path = GetFilePath();
    if (!MakePath(m_folder.c_str()) || !m_writer || !m_writer->Open(path, m_sheetName)) {
        Fail(path, false);
        return;
    }
    for (;;) {
        std::unique_lock<std::mutex> lock(m_queueLock);
        if (m_rows.empty() && !m_stopped && !m_closing) {
            // Waiting for rows may last as long as the job: the pool gets the thread back meanwhile.
            QThreadPool::globalInstance()->releaseThread();
            m_rowsAvailable.wait(lock, [this] { return m_stopped || m_closing || !m_rows.empty(); });
            QThreadPool::globalInstance()->reserveThread();
        }
        if (m_stopped || m_rows.empty()) {
            break;  // stopped (queued rows are dropped), or closing with every row written
        }
        const Json::Value row = std::move(m_rows.front());
        m_rows.pop_front();
        m_writer->AppendRow(path, row);
        if (!m_writer->Save(path)) {
            lock.unlock();
            Fail(path, true);
            return;
        }
    }

    Json::Value cells;
    {
        std::lock_guard<std::mutex> lock(m_cellsLock);
        cells.swap(m_cells);
        m_cells = Json::Value(Json::arrayValue);
    }
    if (!cells.isArray()) {
        cells = Json::Value(Json::arrayValue);
    }
    qDebug().noquote() << "CExcelExporter::Worker: cells:"
                       << QString::fromStdString(Foundation::JsonFastText(cells)).trimmed();
    m_writer->WriteCells(path, cells);
    if (!m_writer->Save(path)) {
        Fail(path, true);
        return;
    }
    if (!m_writer->Close(path)) {
        Fail(path, false);
        RemoveFileIfExists(path.c_str());  // closed all the same; what it left is incomplete
        return;
    }
    MarkStopped();
}

}  // namespace Tolvane
