#include "shellpaths.h"

#include <QCoreApplication>

namespace {

QString& Override()
{
    static QString folder;
    return folder;
}

} // namespace

namespace ShellPaths {

QString ApplicationFolder()
{
    return Override().isEmpty() ? QCoreApplication::applicationDirPath() : Override();
}

void SetApplicationFolder(const QString& folder)
{
    Override() = folder;
}

QString HistoryFile()
{
    return ApplicationFolder() + "/config/history.ini";
}

} // namespace ShellPaths
