#include "processcontrol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

const QString DeletedSuffix = QStringLiteral(" (deleted)");

// Real uid from /proc/<pid>/status; -1 when the process is gone or unreadable.
long long RealUid(const QString& procDir)
{
    QFile status(procDir + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Uid:")) {
            const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
            bool ok = false;
            const long long uid = fields.value(0).toLongLong(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

// A process counts as gone once it has exited, even while its parent has not reaped it.
bool IsGone(pid_t pid)
{
    if (::kill(pid, 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size())
        return true;
    const char state = text.at(close + 2);
    return state == 'Z' || state == 'X' || state == 'x';
}

} // namespace

int StopProgramAt(const QString& executable, int waitMs)
{
    if (executable.isEmpty() || !QFileInfo(executable).isAbsolute())
        return 0;
    // The kernel names a process's executable by its resolved path; a link never shows there.
    const QFileInfo file(QDir::cleanPath(executable));
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (folder.isEmpty() || file.fileName().isEmpty())
        return 0;
    const QString exact = folder + QLatin1Char('/') + file.fileName();
    const long long ownUid = static_cast<long long>(::getuid());
    const pid_t ownPid = ::getpid();

    std::vector<pid_t> signalled;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isNumber = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&isNumber));
        if (!isNumber || pid <= 0 || pid == ownPid)
            continue;
        const QString procDir = QStringLiteral("/proc/") + entry;
        QString target = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
        if (target.isEmpty())
            continue;
        if (target.endsWith(DeletedSuffix))
            target.chop(DeletedSuffix.size());
        if (target != exact)
            continue;
        if (RealUid(procDir) != ownUid)
            continue;
        if (::kill(pid, SIGKILL) == 0)
            signalled.push_back(pid);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (pid_t pid : signalled) {
        while (!IsGone(pid) && std::chrono::steady_clock::now() < deadline)
            QThread::msleep(10);
    }
    return static_cast<int>(signalled.size());
}

bool MakeExecutable(const QString& path)
{
    QFile file(path);
    if (!file.exists() || QFileInfo(path).isSymLink())
        return false;
    QFileDevice::Permissions permissions = file.permissions();
    if (permissions & QFileDevice::ReadOwner)
        permissions |= QFileDevice::ExeOwner;
    if (permissions & QFileDevice::ReadGroup)
        permissions |= QFileDevice::ExeGroup;
    if (permissions & QFileDevice::ReadOther)
        permissions |= QFileDevice::ExeOther;
    return file.setPermissions(permissions);
}

bool StartProgramDetached(const QString& program, const QString& folder)
{
    return QProcess::startDetached(program, QStringList(), folder);
}
