#include "vantrel.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace Vantrel {

CFileOperation::CFileOperation(HostContext*, const char*) {}

// Sheets still open are saved, so nothing appended is lost.
CFileOperation::~CFileOperation()
{
    for (auto& [key, entry] : m_sheets) {
        std::lock_guard<std::mutex> guard(entry.open->lock);
        if (entry.open->dirty) {
            WriteFile(*entry.open);
        }
    }
}

QString CFileOperation::KeyOf(const std::string& path)
{
    if (path.empty()) {
        return QString();
    }
    return QDir::cleanPath(QFileInfo(QString::fromStdString(path)).absoluteFilePath());
}

bool CFileOperation::WriteFile(OpenSheet& open)
{
    QSaveFile file(open.path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    // The temporary file is checked whole (written, flushed, on disk) before it replaces the
    // sheet: a full disk shows only when the buffer goes out, and commit would not see it.
    const QByteArray text = open.sheet.ToXml();
    if (file.write(text) != text.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    open.dirty = false;
    return true;
}

std::shared_ptr<CFileOperation::OpenSheet> CFileOperation::Find(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_sheets.find(KeyOf(path));
    return found == m_sheets.end() ? nullptr : found->second.open;
}

bool CFileOperation::Open(const std::string& path, const std::string& sheetName)
{
    const QString key = KeyOf(path);
    if (key.isEmpty()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_sheets.find(key);
    if (found != m_sheets.end()) {
        ++found->second.users;
        return true;
    }
    auto open = std::make_shared<OpenSheet>(key, QString::fromStdString(sheetName));
    if (!WriteFile(*open)) {
        return false;
    }
    m_sheets[key] = Entry{open, 1};
    return true;
}

bool CFileOperation::AppendRow(const std::string& path, const Json::Value& rows)
{
    std::shared_ptr<OpenSheet> open = Find(path);
    if (open == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(open->lock);
    const int added = open->sheet.AppendBlock(rows);
    open->dirty = open->dirty || added > 0;
    return added > 0;
}

bool CFileOperation::WriteCells(const std::string& path, const Json::Value& cells)
{
    std::shared_ptr<OpenSheet> open = Find(path);
    if (open == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(open->lock);
    open->dirty = true;
    return open->sheet.SetCells(cells);
}

bool CFileOperation::Save(const std::string& path)
{
    std::shared_ptr<OpenSheet> open = Find(path);
    if (open == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(open->lock);
    return WriteFile(*open);
}

bool CFileOperation::Close(const std::string& path)
{
    std::shared_ptr<OpenSheet> open;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto found = m_sheets.find(KeyOf(path));
        if (found == m_sheets.end()) {
            return false;
        }
        if (--found->second.users > 0) {
            return true;
        }
        open = found->second.open;
        m_sheets.erase(found);
    }
    std::lock_guard<std::mutex> guard(open->lock);
    return !open->dirty || WriteFile(*open);
}

}  // namespace Vantrel
