#include "downloadpaths.h"

#include <QFileInfo>

namespace DownloadPaths {

QString uniqueFileName(const QString& path)
{
    QString suffix = QFileInfo(path).suffix();
    if (!suffix.isEmpty())
        suffix.prepend(QLatin1Char('.'));
    const QString base = path.left(path.size() - suffix.size());

    QString name = path;
    for (int counter = 1; QFileInfo::exists(name); ++counter)
        name = QStringLiteral("%1 (%2)%3").arg(base).arg(counter).arg(suffix);
    return name;
}

}  // namespace DownloadPaths
