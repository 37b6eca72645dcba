// Salvent: fetches what the checker recorded, stops the client, puts the new files in place and
// starts the client again, or starts the downloaded full setup instead.

#include "downloadmanager.h"
#include "fileinstall.h"
#include "folderpaths.h"
#include "localdata.h"
#include "processcontrol.h"
#include "upgradeconfig.h"
#include "versioncompare.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

const int StopWaitMs = 5000;
const int SettleMs = 1000;

// One file of a module: where it lies on the server, in the download folder and when installed.
struct ModuleFile {
    QString name;         // key that names it in the failure record
    QString url;
    QString downloaded;
    QString installed;
    QString folder;       // folder of a dependent file below the program folder
    bool dependent;       // listed in the module's "_DependModule" group
};

// The files of module `key`: its own key, or the entries of its "_DependModule" group.
QList<ModuleFile> FilesOfModule(QSettings& server, const QString& key, const QString& serverUrl,
                                const QString& downloadDir, const QString& modulePath)
{
    QList<ModuleFile> files;
    const QString moduleRoot = JoinPath(serverUrl, modulePath);
    const QString dependGroup = key + UpgradeKeys::DependSuffix;
    const QStringList dependents = GroupKeys(server, dependGroup);
    if (dependents.isEmpty()) {
        files.append({key, JoinPath(moduleRoot, key), JoinPath(downloadDir, key), key, QString(), false});
        return files;
    }
    for (const QString& file : dependents) {
        const QString folder = ReadString(server, JoinPath(dependGroup, file));
        files.append({file, JoinPath(JoinPath(moduleRoot, folder), file),
                      JoinPath(JoinPath(downloadDir, folder), file), JoinPath(folder, file), folder, true});
    }
    return files;
}

// Names from the server never lead outside the program folder (an empty folder would too).
bool IsSafeModuleFile(const QString& key, const ModuleFile& file)
{
    return IsSafeRelativePath(key) && IsSafeRelativePath(file.name) && IsSafeRelativePath(file.installed)
        && (!file.dependent || IsSafeRelativePath(file.folder));
}

void ClearLocalData(const QString& programFolder)
{
    QSettings upgrade(UpgradeKeys::UpgradeConfigFile, QSettings::IniFormat);
    QSettings client(UpgradeKeys::ClientSettingsFile, QSettings::IniFormat);
    QString clientName = ClientNameFromProgram(ReadString(upgrade, UpgradeKeys::StartExe));
    if (clientName.isEmpty())
        clientName = ClientNameFromProgram(ReadString(client, UpgradeKeys::ProgramName));
    QString folder = ReadString(client, UpgradeKeys::LocalData);
    if (folder.isEmpty()) {
        if (clientName.isEmpty())
            return;
        folder = DeriveClientDataFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                                        QCoreApplication::applicationName(), clientName);
    }
    QString why;
    const QString target = ClientDataFolder(folder, clientName,
                                            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                                            programFolder, &why);
    if (target.isEmpty()) {
        std::fprintf(stderr, "Refusing to remove local data folder '%s': %s\n", folder.toLocal8Bit().constData(),
                     why.toLocal8Bit().constData());
        return;
    }
    QDir(target).removeRecursively();
}

// Whether App/startEXE may be stopped and started as the client: empty (no client to handle)
// or a file inside the program folder that is not one of the updaters.
bool IsClientProgram(const QString& programFolder, const QString& exe)
{
    if (exe.isEmpty())
        return true;
    if (!IsSafeRelativePath(exe) || ClientNameFromProgram(exe).isEmpty())
        return false;
    const QFileInfo program(QDir(programFolder).absoluteFilePath(exe));
    if (program.isDir())
        return false;
    const QString resolved = program.canonicalFilePath();
    const QDir folder(programFolder);
    for (const QString& updater : {QCoreApplication::applicationFilePath(),
                                   folder.absoluteFilePath(QStringLiteral("Salvent")),
                                   folder.absoluteFilePath(QStringLiteral("Moltern"))}) {
        const QFileInfo info(updater);
        if (QDir::cleanPath(program.absoluteFilePath()) == QDir::cleanPath(info.absoluteFilePath())
            || (!resolved.isEmpty() && resolved == info.canonicalFilePath()))
            return false;
    }
    return true;
}

// Stops the client started from the program folder; never anything else.
void StopClient(const QString& programFolder, const QString& exe)
{
    if (exe.isEmpty() || !IsSafeRelativePath(exe))
        return;
    StopProgramAt(QDir(programFolder).absoluteFilePath(exe), StopWaitMs);
}

void StartClient(const QString& programFolder, const QString& exe)
{
    if (exe.isEmpty() || !IsSafeRelativePath(exe))
        return;
    const QString program = QDir(programFolder).absoluteFilePath(exe);
    MakeExecutable(program);
    if (!StartProgramDetached(program, programFolder))
        std::fprintf(stderr, "Could not start %s\n", program.toLocal8Bit().constData());
}

void InstallModules(bool stopAndRestart, const QString& programFolder, const QSet<QString>& downloaded)
{
    QSettings upgrade(UpgradeKeys::UpgradeConfigFile, QSettings::IniFormat);
    const QString downloadDir = DownloadFolder(upgrade);
    const QString exe = ReadString(upgrade, UpgradeKeys::StartExe);
    QSettings versions(ReadString(upgrade, UpgradeKeys::AppVersionConfig), QSettings::IniFormat);
    QSettings server(JoinPath(downloadDir, ReadString(upgrade, UpgradeKeys::SavedUpgradeConfig)),
                     QSettings::IniFormat);

    if (stopAndRestart) {
        StopClient(programFolder, exe);
        QThread::msleep(SettleMs);
        ClearLocalData(programFolder);
    }

    const QString serverSetup = ReadString(server, UpgradeKeys::SetupVersion);
    if (!CompareVersion(ReadString(versions, UpgradeKeys::SetupVersion), serverSetup))
        versions.setValue(UpgradeKeys::SetupVersion, serverSetup);

    const QString modulePath = ReadString(server, UpgradeKeys::ModuleUpgradePath);
    for (const QString& key : GroupKeys(upgrade, UpgradeKeys::UpgradeModuleGroup)) {
        const QList<ModuleFile> files = FilesOfModule(server, key, QString(), downloadDir, modulePath);
        // A module is installed whole or not at all: a module whose files did not all arrive
        // keeps its files and its version, and the next check offers it again.
        bool complete = true;
        for (const ModuleFile& file : files)
            complete = complete && downloaded.contains(file.downloaded) && IsSafeModuleFile(key, file);
        if (!complete) {
            std::fprintf(stderr, "Module %s not installed: not all of its files arrived\n",
                         key.toLocal8Bit().constData());
            continue;
        }
        FileSetInstall install;
        QStringList madeFolders;
        QString error;
        for (const ModuleFile& file : files) {
            if (!FolderStaysInside(file.installed, programFolder)) {
                error = file.installed + QStringLiteral(": folder outside the program folder");
                break;
            }
            if (file.dependent && !QDir().exists(file.folder)) {
                const QString folder = QDir::current().absoluteFilePath(file.folder);
                if (QDir().mkdir(folder))
                    madeFolders.append(folder);
            }
            if (!install.Add(file.downloaded, file.installed)) {
                error = install.Error();
                break;
            }
        }
        if (!error.isEmpty() || !install.Commit()) {
            if (error.isEmpty())
                error = install.Error();
            std::fprintf(stderr, "Module %s not installed: %s\n", key.toLocal8Bit().constData(),
                         error.toLocal8Bit().constData());
            upgrade.setValue(JoinPath(UpgradeKeys::InstallFailedGroup, key), error);
            for (const QString& folder : madeFolders)
                QDir().rmdir(folder);
            continue;
        }
        // The version of what was installed: the server's files are described by its
        // configuration, whatever an earlier check may have left in UpgradeModule.
        const QString version = ReadString(server, JoinPath(UpgradeKeys::ModuleVersionGroup, key));
        if (!version.isEmpty())
            versions.setValue(JoinPath(UpgradeKeys::ModuleVersionGroup, key), version);
    }

    // The restarted client checks at once: what was installed must be on disk by then, and
    // nothing of ours may write these files once it runs.
    SyncSettings(versions);
    SyncSettings(upgrade);
    if (stopAndRestart)
        StartClient(programFolder, exe);
}

void InstallFullSetup(const QString& programFolder)
{
    QSettings upgrade(UpgradeKeys::UpgradeConfigFile, QSettings::IniFormat);
    const QString setup = QDir(programFolder).absoluteFilePath(
        JoinPath(DownloadFolder(upgrade), ReadString(upgrade, UpgradeKeys::SavedSetup)));
    const QString exe = ReadString(upgrade, UpgradeKeys::StartExe);

    StopClient(programFolder, exe);
    QThread::msleep(SettleMs);
    ClearLocalData(programFolder);

    MakeExecutable(setup);
    if (!StartProgramDetached(setup, programFolder)) {
        // Without a setup running the user would be left with no client at all.
        std::fprintf(stderr, "Could not start %s\n", setup.toLocal8Bit().constData());
        StartClient(programFolder, exe);
    }
}

void DownloadModules(QSettings& upgrade, QSettings& server, const QString& serverUrl,
                     const QString& downloadDir, QSet<QString>* downloaded)
{
    const QString modulePath = ReadString(server, UpgradeKeys::ModuleUpgradePath);
    for (const QString& key : GroupKeys(upgrade, UpgradeKeys::UpgradeModuleGroup)) {
        for (const ModuleFile& file : FilesOfModule(server, key, serverUrl, downloadDir, modulePath)) {
            if (!IsSafeModuleFile(key, file)) {
                upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, file.name), file.url);
                continue;
            }
            // Checked before any folder is made: one that leads outside gets nothing, not even a folder.
            if (!FolderStaysInside(file.downloaded, downloadDir)) {
                upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, file.name), file.url);
                continue;
            }
            if (file.dependent) {
                const QString folder = QDir::current().absoluteFilePath(JoinPath(downloadDir, file.folder));
                if (!QDir().exists(folder))
                    QDir().mkdir(folder);
            }
            if (DownloadFile(file.url, file.downloaded))
                downloaded->insert(file.downloaded);
            else
                upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, file.name), file.url);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // The parent holding our pipes is the client we are about to stop.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    const QString programFolder = EnterProgramFolder();

    // Every change is written out before a client or setup is started: from then on their own
    // checker writes these files.
    QSettings upgrade(UpgradeKeys::UpgradeConfigFile, QSettings::IniFormat);
    const QString exe = ReadString(upgrade, UpgradeKeys::StartExe);
    if (!IsClientProgram(programFolder, exe)) {
        // Starting an updater as the client would chain updates without end.
        std::fprintf(stderr, "Refusing '%s' as the client: not a program of the client in %s\n",
                     exe.toLocal8Bit().constData(), programFolder.toLocal8Bit().constData());
        upgrade.setValue(QStringLiteral("UpgradeError/startEXE"), UpgradeKeys::Invalid);
        SyncSettings(upgrade);
        return 0;
    }
    const QString downloadDir = DownloadFolder(upgrade);
    const QString savedSetup = ReadString(upgrade, UpgradeKeys::SavedSetup);
    const QString serverUrl = ReadString(upgrade, UpgradeKeys::ServerUrl);
    QSettings server(JoinPath(downloadDir, ReadString(upgrade, UpgradeKeys::SavedUpgradeConfig)),
                     QSettings::IniFormat);
    const QString setupPath = ReadString(server, UpgradeKeys::SetupPath);

    if (upgrade.value(UpgradeKeys::IsFullUpgrade).toInt() == 1) {
        const QString url = JoinPath(serverUrl, setupPath);
        const QString target = JoinPath(downloadDir, savedSetup);
        if (FolderStaysInside(target, downloadDir) && DownloadFile(url, target)) {
            SyncSettings(upgrade);
            InstallFullSetup(programFolder);
        } else {
            upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, setupPath), url);
            SyncSettings(upgrade);
        }
        return 0;
    }

    QSet<QString> downloaded;
    DownloadModules(upgrade, server, serverUrl, downloadDir, &downloaded);
    SyncSettings(upgrade);   // the install step reads the same file through its own store
    InstallModules(true, programFolder, downloaded);
    return 0;
}
