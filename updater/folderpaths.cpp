#include "folderpaths.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

QString ResolvedPath(const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString existing = absolute;
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return absolute;
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    const QString canonical = QFileInfo(existing.isEmpty() ? QStringLiteral("/") : existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

bool IsInsideFolder(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

bool FolderStaysInside(const QString& file, const QString& root)
{
    const QString folder = ResolvedPath(QFileInfo(QDir::cleanPath(file)).path());
    const QString resolvedRoot = ResolvedPath(root);
    if (folder == resolvedRoot || IsInsideFolder(folder, resolvedRoot))
        return true;
    std::fprintf(stderr, "Refusing to write %s: its folder leads to %s, outside %s\n", file.toLocal8Bit().constData(),
                 folder.toLocal8Bit().constData(), resolvedRoot.toLocal8Bit().constData());
    std::fflush(stderr);
    return false;
}
