#include "fileinstall.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cstdio>

bool ReplaceFile(const QString& source, const QString& destination, bool keep)
{
    const QFileInfo sourceInfo(source);
    const QFileInfo destinationInfo(destination);
    if (keep && destinationInfo.exists())
        return false;
    if (!sourceInfo.isFile())
        return false;
    if (destinationInfo.exists() && sourceInfo.canonicalFilePath() == destinationInfo.canonicalFilePath())
        return true;

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "Could not open %s for writing: %s\n", destination.toLocal8Bit().constData(),
                     out.errorString().toLocal8Bit().constData());
        return false;
    }
    struct stat modeSource;
    const QByteArray modeFrom = QFile::encodeName(destinationInfo.exists() ? destination : source);
    if (::stat(modeFrom.constData(), &modeSource) == 0)
        ::fchmod(out.handle(), modeSource.st_mode & 07777);

    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            break;
        if (out.write(chunk) != chunk.size())
            break;
    }
    if (in.error() != QFileDevice::NoError || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}
