#pragma once
// The spreadsheet writer: sheets held in memory by path, each saved whole to its file.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <QString>

#include <foundation/HostContext.h>

#include "IFileOperation.h"
#include "spreadsheetsheet.h"

namespace Vantrel {

class CFileOperation : public IFileOperation {
public:
    CFileOperation(HostContext* context, const char* argument);
    ~CFileOperation() override;

    bool Open(const std::string& path, const std::string& sheetName) override;
    bool AppendRow(const std::string& path, const Json::Value& rows) override;
    bool WriteCells(const std::string& path, const Json::Value& cells) override;
    bool Save(const std::string& path) override;
    bool Close(const std::string& path) override;

private:
    struct OpenSheet {
        explicit OpenSheet(const QString& file, const QString& name) : path(file), sheet(name) {}
        std::mutex lock;  // guards everything below
        QString path;
        SpreadsheetSheet sheet;
        bool dirty = false;
    };
    struct Entry {
        std::shared_ptr<OpenSheet> open;
        int users = 0;
    };

    static QString KeyOf(const std::string& path);
    // Writes a temporary file beside the target and renames it over the target.
    static bool WriteFile(OpenSheet& open);
    std::shared_ptr<OpenSheet> Find(const std::string& path);

    std::mutex m_lock;  // guards m_sheets; taken before a sheet's own lock
    std::map<QString, Entry> m_sheets;
};

}  // namespace Vantrel
