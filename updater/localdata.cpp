#include "localdata.h"
#include "folderpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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
    const QString target = ResolvedPath(folder);
    const QString home = ResolvedPath(dataHome);
    if (!IsInsideFolder(target, home))
        return refuse(QStringLiteral("not inside the user's data location %1").arg(home));
    if (QFileInfo(target).fileName() != clientName)
        return refuse(QStringLiteral("not named after the client %1").arg(clientName));
    if (!programFolder.isEmpty()) {
        const QString program = ResolvedPath(programFolder);
        if (target == program || IsInsideFolder(target, program) || IsInsideFolder(program, target))
            return refuse(QStringLiteral("the program folder or part of it"));
    }
    // Removing through a link would remove whatever it leads to.
    if (QFileInfo(QDir::cleanPath(folder)).isSymLink())
        return refuse(QStringLiteral("a link, not a folder"));
    return target;
}
