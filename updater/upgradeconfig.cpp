#include "upgradeconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QRegularExpression>
#include <QUrl>

QString JoinPath(const QString& first, const QString& second)
{
    return first + QLatin1Char('/') + second;
}

QString DownloadFolder(const QSettings& upgradeConfig)
{
    const QString folder = ReadString(upgradeConfig, UpgradeKeys::DownloadDir);
    return folder.isEmpty() ? QStringLiteral(".") : folder;
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
