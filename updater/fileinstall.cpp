#include "fileinstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool IsDiskFullErrno(int code)
{
    return code == ENOSPC || code == EDQUOT;
}

// The folder's file system has no block left for this user.
bool IsFolderFull(const QString& path)
{
    struct statvfs info;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::statvfs(folder.constData(), &info) == 0 && info.f_bavail == 0;
}

// Flushes and syncs an open file; the disk may refuse only now.
bool FlushAndSync(QFileDevice& file, const QString& path, QString* error)
{
    errno = 0;
    if (!file.flush()) {
        *error = WriteFailureText(file, path);
        return false;
    }
    errno = 0;
    if (::fsync(file.handle()) != 0) {
        const int code = errno;
        *error = IsDiskFullErrno(code) ? QString::fromLocal8Bit(std::strerror(ENOSPC))
                                       : QString::fromLocal8Bit(std::strerror(code));
        return false;
    }
    return true;
}

bool StartsLikeAProgram(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head.startsWith("\x7f" "ELF") || head.startsWith("#!");
}

// Execute bits that go with the read bits.
mode_t WithExecuteBits(mode_t mode)
{
    if (mode & S_IRUSR)
        mode |= S_IXUSR;
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    return mode;
}

} // namespace

QString WriteFailureText(const QFileDevice& file, const QString& path)
{
    const int code = errno;
    if (IsDiskFullErrno(code) || IsFolderFull(path))
        return QString::fromLocal8Bit(std::strerror(ENOSPC));
    const QString text = file.errorString();
    if (text.isEmpty() || text == QLatin1String("Unknown error"))
        return code != 0 ? QString::fromLocal8Bit(std::strerror(code)) : QStringLiteral("write failed");
    return text;
}

bool WriteAll(QFileDevice& file, const QByteArray& data, const QString& path, QString* error)
{
    errno = 0;
    if (file.write(data) == data.size())
        return true;
    *error = WriteFailureText(file, path);
    return false;
}

namespace {

// Replacements of `target` left by a process that ended before it committed or discarded
// them (killed in the middle of a download). A live writer holds a lock on its file, so only
// regular files nobody holds are removed; links and anything else are left alone.
void RemoveAbandonedReplacements(const QFileInfo& target)
{
    const QString prefix = QStringLiteral(".") + target.fileName() + QLatin1Char('.');
    const QDir folder(target.absolutePath());
    const QStringList names = folder.entryList({prefix + QStringLiteral("??????")},
                                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat entry;
        if (::fstat(fd, &entry) == 0 && S_ISREG(entry.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace

std::unique_ptr<QTemporaryFile> OpenReplacement(const QString& target, QString* error)
{
    const QFileInfo info(target);
    RemoveAbandonedReplacements(info);
    auto file = std::make_unique<QTemporaryFile>(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                                 + QStringLiteral(".XXXXXX"));
    if (!file->open()) {
        *error = file->errorString();
        return nullptr;
    }
    ::flock(file->handle(), LOCK_EX);   // held until the file is closed: marks it as in use
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file->handle(), 0666 & ~mask);
    return file;
}

bool CommitReplacement(QTemporaryFile& file, const QString& target, QString* error)
{
    if (!FlushAndSync(file, target, error))
        return false;
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    file.setAutoRemove(false);   // it is the target now
    return true;
}

struct FileSetInstall::Staged {
    QString destination;
    QString backup;        // the file it replaces, kept under a second name while the set is committed
    std::unique_ptr<QTemporaryFile> file;
    bool existed = false;
    bool movedAway = false;   // the backup is the old file itself, no longer at the destination
    bool replaced = false;
};

FileSetInstall::FileSetInstall() = default;

FileSetInstall::~FileSetInstall() = default;   // the temporary files remove themselves

bool FileSetInstall::Fail(const QString& path, const QString& reason)
{
    if (m_error.isEmpty())
        m_error = path + QStringLiteral(": ") + reason;
    return false;
}

bool FileSetInstall::Add(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Fail(source, in.errorString());
    const QFileInfo target(destination);
    auto staged = std::make_unique<Staged>();
    staged->destination = target.absoluteFilePath();
    staged->existed = target.exists();
    QString error;
    staged->file = OpenReplacement(destination, &error);
    if (!staged->file)
        return Fail(destination, error);
    QTemporaryFile& out = *staged->file;

    struct stat modeSource;
    const QByteArray modeFrom = QFile::encodeName(staged->existed ? destination : source);
    mode_t mode = ::stat(modeFrom.constData(), &modeSource) == 0 ? (modeSource.st_mode & 07777) : 0644;
    if (!staged->existed && StartsLikeAProgram(source))
        mode = WithExecuteBits(mode);
    ::fchmod(out.handle(), mode);

    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return Fail(source, in.errorString());
        if (!WriteAll(out, chunk, destination, &error))
            return Fail(destination, error);
    }
    if (!FlushAndSync(out, destination, &error))
        return Fail(destination, error);
    m_files.push_back(std::move(staged));
    return true;
}

bool FileSetInstall::Commit()
{
    if (!m_error.isEmpty())
        return false;
    for (size_t i = 0; i < m_files.size(); ++i) {
        Staged& staged = *m_files[i];
        const QByteArray destination = QFile::encodeName(staged.destination);
        if (staged.existed) {
            // The old file stays reachable under a second name until the whole set is in place.
            staged.backup = staged.file->fileName() + QStringLiteral(".old");
            const QByteArray backup = QFile::encodeName(staged.backup);
            if (::link(destination.constData(), backup.constData()) != 0) {
                int code = errno;
                // Without hard links a plain file is moved aside instead (never a folder).
                struct stat old;
                if (::lstat(destination.constData(), &old) == 0 && S_ISREG(old.st_mode)
                    && ::rename(destination.constData(), backup.constData()) == 0) {
                    staged.movedAway = true;
                } else {
                    code = errno != 0 ? errno : code;
                    staged.backup.clear();
                    Fail(staged.destination, QString::fromLocal8Bit(std::strerror(code)));
                    RollBack(i);
                    return false;
                }
            }
        }
        if (::rename(QFile::encodeName(staged.file->fileName()).constData(), destination.constData()) != 0) {
            const int code = errno;
            Fail(staged.destination, QString::fromLocal8Bit(std::strerror(code)));
            RollBack(i + 1);
            return false;
        }
        staged.file->setAutoRemove(false);   // it is the destination now
        staged.replaced = true;
    }
    for (const auto& staged : m_files) {
        if (!staged->backup.isEmpty())
            ::unlink(QFile::encodeName(staged->backup).constData());
    }
    m_files.clear();
    return true;
}

void FileSetInstall::RollBack(size_t count)
{
    for (size_t i = 0; i < count && i < m_files.size(); ++i) {
        Staged& staged = *m_files[i];
        const QByteArray destination = QFile::encodeName(staged.destination);
        const QByteArray backup = QFile::encodeName(staged.backup);
        if (staged.replaced || staged.movedAway) {
            if (!staged.backup.isEmpty())
                ::rename(backup.constData(), destination.constData());
            else if (!staged.existed)
                ::unlink(destination.constData());
        } else if (!staged.backup.isEmpty()) {
            ::unlink(backup.constData());
        }
    }
    m_files.clear();
}

bool ReplaceFile(const QString& source, const QString& destination, bool keep, QString* error)
{
    const QFileInfo sourceInfo(source);
    const QFileInfo destinationInfo(destination);
    if (keep && destinationInfo.exists())
        return false;
    if (!sourceInfo.isFile())
        return false;
    if (destinationInfo.exists() && sourceInfo.canonicalFilePath() == destinationInfo.canonicalFilePath())
        return true;

    FileSetInstall install;
    if (install.Add(source, destination) && install.Commit())
        return true;
    std::fprintf(stderr, "Could not install %s: %s\n", destination.toLocal8Bit().constData(),
                 install.Error().toLocal8Bit().constData());
    std::fflush(stderr);
    if (error)
        *error = install.Error();
    return false;
}
