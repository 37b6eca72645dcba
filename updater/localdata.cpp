#include "localdata.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Symbolic links resolved where the path exists, so an alias cannot slip past the checks.
QString Resolved(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? path : canonical);
}

bool IsSameOrAncestor(const QString& folder, const QString& other)
{
    if (other.isEmpty())
        return false;
    return other == folder || other.startsWith(folder + QLatin1Char('/'));
}

} // namespace

QString DeriveClientDataFolder(const QString& ownDataFolder, const QString& ownName, const QString& clientName)
{
    const QRegularExpression ownTail(QRegularExpression::escape(ownName) + QStringLiteral("$"));
    if (ownName.isEmpty() || clientName.isEmpty() || !ownTail.match(ownDataFolder).hasMatch())
        return QString();   // nothing of ours to translate: no folder to remove
    QString folder = ownDataFolder;
    folder.replace(ownTail, clientName);
    return folder;
}

bool IsRemovableDataFolder(const QString& folder, const QString& homeFolder, const QString& programFolder)
{
    if (folder.trimmed().isEmpty() || QDir::isRelativePath(folder))
        return false;
    const QString target = Resolved(folder);
    if (target == QLatin1String("/") || target.isEmpty())
        return false;
    const QString home = homeFolder.isEmpty() ? QString() : Resolved(homeFolder);
    const QString program = programFolder.isEmpty() ? QString() : Resolved(programFolder);
    return !IsSameOrAncestor(target, home) && !IsSameOrAncestor(target, program);
}
