#include "smallfs.h"

#include <QDir>
#include <QFile>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

SmallFileSystem::~SmallFileSystem()
{
    if (!m_folder.isEmpty())
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool SmallFileSystem::Mount(const QString& folder, qint64 bytes, QString* why)
{
    if (!QDir().mkpath(folder)) {
        *why = QStringLiteral("cannot make %1").arg(folder);
        return false;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        *why = QStringLiteral("mounting a small tmpfs needs root (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_folder = folder;
    return true;
}

qint64 SmallFileSystem::FreeBytes() const
{
    struct statvfs info;
    if (m_folder.isEmpty() || ::statvfs(QFile::encodeName(m_folder).constData(), &info) != 0)
        return -1;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

bool SmallFileSystem::FillLeaving(qint64 freeBytes)
{
    const qint64 fill = FreeBytes() - freeBytes;
    if (fill <= 0)
        return FreeBytes() >= 0;
    QFile filler(m_folder + QStringLiteral("/.filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray block(static_cast<int>(std::min<qint64>(fill, 1 << 16)), 'f');
    for (qint64 written = 0; written < fill;) {
        const qint64 piece = std::min<qint64>(fill - written, block.size());
        if (filler.write(block.constData(), piece) != piece)
            return false;
        written += piece;
    }
    return filler.flush();
}
