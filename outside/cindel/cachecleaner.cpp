#include "cachecleaner.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace CacheCleaner {

namespace {

// Per web profile (under "QtWebEngine/<profile>/"): the web cache and the
// pages' local storage.
const char* const kProfileTargets[] = {"Cache", "Code Cache", "GPUCache", "Local Storage"};

QString Canonical(const QString& path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

bool IsStrictlyInside(const QString& path, const QString& root)
{
    if (root.isEmpty() || root == "/")
        return false;
    return path.startsWith(root + "/");
}

} // namespace

QString ApplicationName(const QString& pName, const QString& startExe)
{
    QString name = pName.trimmed();
    if (name.isEmpty())
        name = QFileInfo(startExe.trimmed()).fileName();
    if (name.endsWith(".exe", Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

Verdict CheckDataFolder(const QString& localData, const QString& applicationName, const Places& places,
                        QString* canonical)
{
    if (localData.trimmed().isEmpty() || applicationName.isEmpty())
        return Verdict::NoSetting;
    if (!QDir::isAbsolutePath(localData))
        return Verdict::NotAbsolute;
    const QString folder = Canonical(localData);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return Verdict::Missing;
    if (folder == "/" || folder == Canonical(places.homeFolder))
        return Verdict::HomeOrRoot;
    if (QFileInfo(folder).fileName() != applicationName)
        return Verdict::WrongName;
    if (!IsStrictlyInside(folder, Canonical(places.userDataLocation))
        && !IsStrictlyInside(folder, Canonical(places.applicationFolder)))
        return Verdict::NotOwnLocation;
    if (canonical)
        *canonical = folder;
    return Verdict::Clean;
}

QStringList TargetFolders(const QString& canonicalDataFolder)
{
    QStringList targets;
    const QDir engine(canonicalDataFolder + "/QtWebEngine");
    for (const QFileInfo& profile : engine.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (profile.isSymLink())
            continue;
        for (const char* name : kProfileTargets)
            targets << profile.absoluteFilePath() + "/" + name;
    }
    return targets;
}

int EmptyTargets(const QString& canonicalDataFolder)
{
    int removed = 0;
    for (const QString& target : TargetFolders(canonicalDataFolder)) {
        const QFileInfo info(target);
        if (!info.exists() || info.isSymLink() || !info.isDir())
            continue;
        if (!IsStrictlyInside(info.canonicalFilePath(), canonicalDataFolder))
            continue;
        QDir dir(target);
        const QFileInfoList entries =
            dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo& entry : entries) {
            bool ok;
            if (entry.isDir() && !entry.isSymLink())
                ok = QDir(entry.absoluteFilePath()).removeRecursively();
            else
                ok = QFile::remove(entry.absoluteFilePath());
            if (ok)
                ++removed;
        }
    }
    return removed;
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Clean:
        return "the client's own data folder";
    case Verdict::NoSetting:
        return "no data folder or application name in the settings";
    case Verdict::NotAbsolute:
        return "the data folder is not an absolute path";
    case Verdict::Missing:
        return "the data folder does not exist";
    case Verdict::HomeOrRoot:
        return "the data folder is a home or root folder";
    case Verdict::WrongName:
        return "the data folder is not named after the application";
    case Verdict::NotOwnLocation:
        return "the data folder is neither under the user's data location nor under the application folder";
    }
    return "";
}

} // namespace CacheCleaner
