#include "appfolder.h"

#include "shellpaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex g_mutex;
QString g_folder;

}  // namespace

namespace AppFolder {

void Set(const QString& folder)
{
    QMutexLocker lock(&g_mutex);
    g_folder = folder;
    // The shell's widgets read their files from the same folder.
    ShellPaths::SetApplicationFolder(folder);
}

QString Path()
{
    QMutexLocker lock(&g_mutex);
    if (g_folder.isEmpty() && QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationDirPath();
    return g_folder;
}

QString SettingsFile(const QString& name)
{
    return Path() + QStringLiteral("/config/") + name + QStringLiteral(".ini");
}

QString ApplicationName()
{
    if (QCoreApplication::instance() != nullptr)
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QStringLiteral("Brevix");
}

}  // namespace AppFolder
