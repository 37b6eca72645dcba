#include "localdata.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Links resolved as far as the path exists, dot segments removed from the rest.
QString Resolved(const QString& path)
{
    QString existing = QDir::cleanPath(path);
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return QDir::cleanPath(path);
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    const QString canonical = QFileInfo(existing.isEmpty() ? QStringLiteral("/") : existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool IsInside(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

} // namespace

QString ClientNameFromProgram(const QString& program)
{
    if (program.endsWith(QLatin1Char('/')))
        return QString();   // a folder
    const QString name = QFileInfo(QDir::cleanPath(program)).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot <= 0 ? name : name.left(dot);
    if (stem.isEmpty() || stem == QLatin1String(".") || stem == QLatin1String(".."))
        return QString();
    return stem;
}

QString DeriveClientDataFolder(const QString& ownDataFolder, const QString& ownName, const QString& clientName)
{
    const QRegularExpression ownTail(QRegularExpression::escape(ownName) + QStringLiteral("$"));
    if (ownName.isEmpty() || clientName.isEmpty() || !ownTail.match(ownDataFolder).hasMatch())
        return QString();   // nothing of ours to translate: no folder to remove
    QString folder = ownDataFolder;
    folder.replace(ownTail, clientName);
    return folder;
}

QString ClientDataFolder(const QString& folder, const QString& clientName, const QString& dataHome,
                         const QString& programFolder, QString* why)
{
    auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return QString();
    };
    if (folder.trimmed().isEmpty() || QDir::isRelativePath(folder))
        return refuse(QStringLiteral("not an absolute path"));
    if (clientName.isEmpty())
        return refuse(QStringLiteral("the client's name is unknown"));
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        return refuse(QStringLiteral("the user's data location is unknown"));
    const QString target = Resolved(folder);
    const QString home = Resolved(dataHome);
    if (!IsInside(target, home))
        return refuse(QStringLiteral("not inside the user's data location %1").arg(home));
    if (QFileInfo(target).fileName() != clientName)
        return refuse(QStringLiteral("not named after the client %1").arg(clientName));
    if (!programFolder.isEmpty()) {
        const QString program = Resolved(programFolder);
        if (target == program || IsInside(target, program) || IsInside(program, target))
            return refuse(QStringLiteral("the program folder or part of it"));
    }
    return target;
}
