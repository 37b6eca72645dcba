#include "programfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

ProgramFolder::ProgramFolder()
{
    QDir(Root()).mkpath(QStringLiteral("app/config"));
    QDir(Root()).mkpath(QStringLiteral("home/.local/share"));
    QFile::copy(QStringLiteral(MOLTERN_PATH), Path(QStringLiteral("Moltern")));
    QFile::copy(QStringLiteral(SALVENT_PATH), Path(QStringLiteral("Salvent")));
}

ProgramFolder::~ProgramFolder()
{
    KillLeftovers();
}

QString ProgramFolder::App() const
{
    return Root() + QStringLiteral("/app");
}

QString ProgramFolder::Home() const
{
    return Root() + QStringLiteral("/home");
}

QString ProgramFolder::DataHome() const
{
    return Home() + QStringLiteral("/.local/share");
}

void ProgramFolder::WriteFile(const QString& relative, const QByteArray& content) const
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

QByteArray ProgramFolder::ReadFile(const QString& relative) const
{
    QFile file(Path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool ProgramFolder::Exists(const QString& relative) const
{
    return QFileInfo::exists(Path(relative));
}

QString ProgramFolder::IniValue(const QString& relative, const QString& key) const
{
    QSettings settings(Path(relative), QSettings::IniFormat);
    return settings.contains(key) ? settings.value(key).toString() : QStringLiteral("<absent>");
}

QString ProgramFolder::UniqueName(const QString& stem) const
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2_%3").arg(stem).arg(::getpid()).arg(++counter);
}

QString ProgramFolder::InstallHelper(const QString& source, const QString& relative) const
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::copy(source, path);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

bool ProgramFolder::RunAsOrdinaryUser(QString* why)
{
    if (::geteuid() != 0)
        return true;
    const QString setpriv = QStringLiteral("/usr/bin/setpriv");
    const passwd* nobody = ::getpwnam("nobody");
    if (!QFileInfo(setpriv).isExecutable() || nobody == nullptr) {
        *why = QStringLiteral("no setpriv or no user nobody");
        return false;
    }
    const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    for (const QString& folder : {Root(), App(), Path(QStringLiteral("config"))})
        QFile::setPermissions(folder, open);
    m_runAs = QStringList{setpriv, QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                          QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups"),
                          QStringLiteral("--")};
    return true;
}

ProgramFolder::Run ProgramFolder::RunProgram(const QString& name, const QStringList& arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* proxy : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        environment.remove(QString::fromLatin1(proxy));
    environment.insert(QStringLiteral("HOME"), Home());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), DataHome());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Home() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), Home() + QStringLiteral("/.cache"));
    if (m_dataTimeoutMs > 0)
        environment.insert(QStringLiteral("UPDATER_DATA_TIMEOUT_MS"), QString::number(m_dataTimeoutMs));
    else
        environment.remove(QStringLiteral("UPDATER_DATA_TIMEOUT_MS"));
    for (const char* deadline :
         {"UPDATER_CONFIG_DEADLINE_MS", "UPDATER_INSTALLER_DEADLINE_MS", "UPDATER_DOWNLOAD_DEADLINE_MS"})
        environment.remove(QString::fromLatin1(deadline));
    for (const QString& name : m_environment.keys())
        environment.insert(name, m_environment.value(name));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(Root());   // the programs must find their folder themselves
    if (m_runAs.isEmpty())
        process.start(Path(name), arguments);
    else
        process.start(m_runAs.first(), m_runAs.mid(1) + QStringList{Path(name)} + arguments);
    Run run;
    run.finished = process.waitForFinished(60000);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.errorOutput = process.readAllStandardError();
    return run;
}

QList<pid_t> ProgramFolder::MarkerPids(const QString& folder, const QString& helperName) const
{
    QList<pid_t> pids;
    const QDir markers(folder + QStringLiteral("/markers"));
    for (const QString& entry : markers.entryList({helperName + QStringLiteral(".*")}, QDir::Files)) {
        if (entry.endsWith(QStringLiteral(".tmp")))
            continue;
        pids.append(static_cast<pid_t>(entry.mid(helperName.size() + 1).toInt()));
    }
    return pids;
}

QStringList ProgramFolder::MarkerLines(const QString& folder, const QString& helperName, pid_t pid) const
{
    QFile file(QStringLiteral("%1/markers/%2.%3").arg(folder, helperName).arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool ProgramFolder::WaitForMarker(const QString& folder, const QString& helperName, pid_t otherThan,
                                  int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (pid_t pid : MarkerPids(folder, helperName))
            if (pid != otherThan)
                return true;
        QThread::msleep(20);
    }
    return false;
}

bool ProgramFolder::IsRunning(pid_t pid)
{
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close > 0 && close + 2 < text.size() && text.at(close + 2) != 'Z';
}

// Helpers started by the programs under test (detached, so not our children) are ended by the
// pid in their marker, and only when that pid still runs an executable inside this folder.
void ProgramFolder::KillLeftovers() const
{
    const QString root = QFileInfo(Root()).canonicalFilePath();
    QDirIterator it(Root(), {QStringLiteral("markers")}, QDir::Dirs, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QDir markers(it.next());
        for (const QString& entry : markers.entryList(QDir::Files)) {
            const pid_t pid = static_cast<pid_t>(entry.section(QLatin1Char('.'), -1).toInt());
            if (pid <= 0)
                continue;
            const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
            if (!exe.isEmpty() && exe.startsWith(root + QLatin1Char('/')))
                ::kill(pid, SIGKILL);
        }
    }
}
