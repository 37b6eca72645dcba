#include "chosenpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

namespace {

QString Normalised(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The real folder of a path's parent, links resolved; empty when it does not exist.
QString RealParent(const QString& path)
{
    return QFileInfo(QFileInfo(Normalised(path)).absolutePath()).canonicalFilePath();
}

}  // namespace

ChosenPaths& ChosenPaths::Instance()
{
    static ChosenPaths paths;
    return paths;
}

void ChosenPaths::AllowFile(const QString& path)
{
    if (path.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    m_files.insert(Normalised(path));
}

void ChosenPaths::AllowFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    m_folders.insert(real);
}

bool ChosenPaths::IsWritable(const QString& path) const
{
    if (path.isEmpty())
        return false;
    const QString normalised = Normalised(path);
    if (QFileInfo(normalised).isDir())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_files.contains(normalised))
        return true;
    if (m_folders.isEmpty())
        return false;
    // The file itself may be a link out of the folder, even a dangling one:
    // judge where it leads.
    QString judged = normalised;
    for (int depth = 0; depth < 16 && QFileInfo(judged).isSymLink(); ++depth)
        judged = QDir::cleanPath(QFileInfo(judged).symLinkTarget());
    if (QFileInfo(judged).isSymLink())
        return false;
    const QString parent = RealParent(judged);
    if (parent.isEmpty())
        return false;
    for (const QString& folder : m_folders) {
        if (parent == folder || parent.startsWith(folder + QLatin1Char('/')))
            return true;
    }
    return false;
}

void ChosenPaths::Clear()
{
    QMutexLocker lock(&m_mutex);
    m_files.clear();
    m_folders.clear();
}
