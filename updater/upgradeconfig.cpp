#include "upgradeconfig.h"
#include "fileinstall.h"
#include "folderpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QRegularExpression>
#include <QUrl>

#include <unistd.h>

#include <cstdio>

namespace {

// The settings store writes through a link at its file's name; a file of its own, holding what
// the link led to, takes the link's place first.
bool ReplaceLinkByCopy(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return true;
    if (!info.exists())
        return ::unlink(QFile::encodeName(path).constData()) == 0;   // leads nowhere: nothing to keep
    FileSetInstall copy;
    if (copy.Add(path, path) && copy.Commit())
        return true;
    std::fprintf(stderr, "Could not replace the link %s: %s\n", path.toLocal8Bit().constData(),
                 copy.Error().toLocal8Bit().constData());
    return false;
}

} // namespace

bool SyncSettings(QSettings& settings)
{
    const QString path = QFileInfo(settings.fileName()).absoluteFilePath();
    if (!ReplaceLinkByCopy(path))
        return false;
    const QByteArray file = QFile::encodeName(path);
    const QByteArray previous = QFile::encodeName(path + QStringLiteral(".previous"));
    const QByteArray check = QFile::encodeName(path + QStringLiteral(".check"));
    ::unlink(previous.constData());
    // A second name for the old file costs no space, so it survives a full disk.
    const bool kept = ::link(file.constData(), previous.constData()) == 0;
    settings.sync();

    // Read back under another name: the store shares what it parsed among stores of one path.
    bool whole = settings.status() == QSettings::NoError;
    ::unlink(check.constData());
    if (whole && ::link(file.constData(), check.constData()) == 0) {
        QSettings written(QFile::decodeName(check), QSettings::IniFormat);
        const QStringList keys = settings.allKeys();
        whole = written.allKeys().size() == keys.size();
        for (const QString& key : keys)
            whole = whole && written.value(key).toString() == settings.value(key).toString();
        ::unlink(check.constData());
    }
    if (!whole) {
        if (kept)
            ::rename(previous.constData(), file.constData());
        std::fprintf(stderr, "Could not write %s (disk full?); %s\n", file.constData(),
                     kept ? "the previous file is kept" : "it may be incomplete");
        return false;
    }
    if (kept)
        ::unlink(previous.constData());
    return true;
}

QString JoinPath(const QString& first, const QString& second)
{
    return first + QLatin1Char('/') + second;
}

QString DownloadFolder(const QSettings& upgradeConfig)
{
    const QString folder = ReadString(upgradeConfig, UpgradeKeys::DownloadDir);
    if (folder.isEmpty() || ResolvedPath(folder) == ResolvedPath(QDir::currentPath()))
        return UpgradeKeys::DefaultDownloadDir;
    return folder;
}

QStringList GroupKeys(QSettings& settings, const QString& group)
{
    settings.beginGroup(group);
    const QStringList keys = settings.allKeys();
    settings.endGroup();
    return keys;
}

QString ReadString(const QSettings& settings, const QString& key)
{
    return settings.value(key).toString();
}

QString StripSuffix(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

void StripSuffixes(QStringList& names)
{
    for (QString& name : names)
        name = StripSuffix(name);
}

bool IsSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\'))
        || QDir::isAbsolutePath(path))
        return false;
    const QStringList parts = path.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    return !parts.contains(QStringLiteral(".."));
}

QString BaseUrlFromArgument(const QString& argument)
{
    const QUrl url(argument, QUrl::TolerantMode);
    QString host = url.host(QUrl::FullyDecoded);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/").arg(host).arg(url.port(80));
}

QString EnterProgramFolder()
{
    const QString folder = QCoreApplication::applicationDirPath();
    QDir::setCurrent(folder);
    return folder;
}
