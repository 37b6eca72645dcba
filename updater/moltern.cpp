// Moltern: asks the device whether a newer client or newer modules exist, records what is to be
// fetched in the update configuration and answers with its exit code.

#include "downloadmanager.h"
#include "fileinstall.h"
#include "folderpaths.h"
#include "processcontrol.h"
#include "upgradeconfig.h"
#include "versioncompare.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

#include <cstdio>

namespace {

// The client waits for the check before it loads the page: every download of the check must
// arrive whole within its time, however steadily it trickles. UPDATER_CONFIG_DEADLINE_MS and
// UPDATER_INSTALLER_DEADLINE_MS in the environment replace them (for tests).
const int ConfigDeadlineMs = 10000;
const int InstallerDeadlineMs = 30000;

enum UpgradeCheckResult {
    NoArgument = -2,
    DownloadFailed = -1,
    NoUpgrade = 0,
    ModuleUpgrade = 1,
    FullUpgrade = 2,
    ModuleUpgradeRestart = 3,
    ConfigInvalid = 4,
};

struct CheckContext {
    QSettings& upgrade;
    QSettings& versions;
    QSettings& server;
    QString baseUrl;
    QString downloadDir;
    QString modulePath;
    QString installer;
};

// The installer cannot replace itself while it runs, so the checker keeps it current.
void UpdateInstaller(CheckContext& context, const QString& key, const QString& serverVersion)
{
    const QString url = JoinPath(JoinPath(context.baseUrl, context.modulePath), key);
    const QString downloaded = JoinPath(context.downloadDir, key);
    const int deadline = MillisecondsFromEnvironment("UPDATER_INSTALLER_DEADLINE_MS", InstallerDeadlineMs);
    if (!FolderStaysInside(downloaded, context.downloadDir) || !DownloadFileBefore(url, downloaded, deadline)) {
        context.upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, key), url);
        return;
    }
    if (!FolderStaysInside(key, QStringLiteral("."))) {
        context.upgrade.setValue(JoinPath(UpgradeKeys::InstallFailedGroup, key),
                                 QStringLiteral("folder outside the program folder"));
        return;
    }
    QString error;
    if (ReplaceFile(downloaded, key, false, &error)) {
        MakeExecutable(key);
        context.versions.setValue(JoinPath(UpgradeKeys::ModuleVersionGroup, key), serverVersion);
    } else {
        context.upgrade.setValue(JoinPath(UpgradeKeys::InstallFailedGroup, key), error);
    }
}

UpgradeCheckResult CheckModules(CheckContext& context)
{
    const QStringList moduleKeys = GroupKeys(context.server, UpgradeKeys::ModuleVersionGroup);
    QStringList compatible = GroupKeys(context.upgrade, UpgradeKeys::CompatibleModuleGroup);
    QStringList restartList = GroupKeys(context.upgrade, UpgradeKeys::RequireRebootGroup);
    StripSuffixes(compatible);
    StripSuffixes(restartList);

    bool modulePending = false;
    bool restartNoted = false;
    for (const QString& key : moduleKeys) {
        const QString name = StripSuffix(key);
        const QString versionKey = JoinPath(UpgradeKeys::ModuleVersionGroup, key);
        const QString serverVersion = ReadString(context.server, versionKey);
        const QString installedVersion = ReadString(context.versions, versionKey);

        const bool replace = compatible.contains(name) ? !CompareVersion(installedVersion, serverVersion)
                                                       : installedVersion != serverVersion;
        if (!replace)
            continue;
        if (!IsSafeRelativePath(key)) {
            const QString url = JoinPath(JoinPath(context.baseUrl, context.modulePath), key);
            context.upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, key), url);
            continue;
        }
        if (key == context.installer) {
            UpdateInstaller(context, key, serverVersion);
            continue;
        }
        context.upgrade.setValue(JoinPath(UpgradeKeys::UpgradeModuleGroup, key), serverVersion);
        modulePending = true;
        if (!restartNoted && restartList.contains(name)) {
            context.upgrade.setValue(UpgradeKeys::RebootAppRequired, 1);
            restartNoted = true;
        }
    }
    if (!modulePending)
        return NoUpgrade;
    return restartNoted ? ModuleUpgradeRestart : ModuleUpgrade;
}

UpgradeCheckResult Check(QSettings& upgrade, const QString& baseUrl)
{
    const QString downloadDir = DownloadFolder(upgrade);
    const QString savedConfig = ReadString(upgrade, UpgradeKeys::SavedUpgradeConfig);
    const QString serverConfig = ReadString(upgrade, UpgradeKeys::ServerUpgradeConfig);
    const QString versionFile = ReadString(upgrade, UpgradeKeys::AppVersionConfig);
    const QString installer = ReadString(upgrade, UpgradeKeys::Installer);

    if (savedConfig.isEmpty() || serverConfig.isEmpty() || versionFile.isEmpty() || installer.isEmpty()) {
        upgrade.setValue(QStringLiteral("UpgradeError/upgradeConfig"), UpgradeKeys::Invalid);
        return ConfigInvalid;
    }

    upgrade.remove(UpgradeKeys::UpgradeModuleGroup);
    upgrade.remove(UpgradeKeys::UpgradeErrorGroup);
    upgrade.remove(UpgradeKeys::DownloadFailedGroup);
    upgrade.remove(UpgradeKeys::InstallFailedGroup);
    upgrade.setValue(UpgradeKeys::IsFullUpgrade, 0);
    upgrade.setValue(UpgradeKeys::RebootAppRequired, 0);
    upgrade.setValue(UpgradeKeys::ServerUrl, baseUrl);

    QSettings versions(versionFile, QSettings::IniFormat);
    const SettingsWriter versionsWriter(versions);
    const QString installedVersion = ReadString(versions, UpgradeKeys::SetupVersion);
    if (installedVersion.isEmpty()) {
        upgrade.setValue(QStringLiteral("UpgradeError/AppVersionConfig"), UpgradeKeys::Invalid);
        return ConfigInvalid;
    }

    const QString serverConfigUrl = JoinPath(baseUrl, serverConfig);
    const QString savedConfigPath = JoinPath(downloadDir, savedConfig);
    const int deadline = MillisecondsFromEnvironment("UPDATER_CONFIG_DEADLINE_MS", ConfigDeadlineMs);
    if (!FolderStaysInside(savedConfigPath, downloadDir)
        || !DownloadFileBefore(serverConfigUrl, savedConfigPath, deadline)) {
        upgrade.setValue(JoinPath(UpgradeKeys::DownloadFailedGroup, serverConfig), serverConfigUrl);
        return DownloadFailed;
    }

    QSettings server(savedConfigPath, QSettings::IniFormat);
    const QString serverVersion = ReadString(server, UpgradeKeys::SetupVersion);
    const QString modulePath = ReadString(server, UpgradeKeys::ModuleUpgradePath);
    if (serverVersion.isEmpty()) {
        upgrade.setValue(QStringLiteral("UpgradeError/ServerUpgradeConfig"), UpgradeKeys::Invalid);
        return ConfigInvalid;
    }

    if (CompareMajorMinor(installedVersion, serverVersion))
        return NoUpgrade;
    if (CompareMajorMinor(serverVersion, installedVersion)) {
        upgrade.setValue(UpgradeKeys::IsFullUpgrade, 1);
        return FullUpgrade;
    }

    CheckContext context{upgrade, versions, server, baseUrl, downloadDir, modulePath, installer};
    return CheckModules(context);
}

// The installer acts on what the update configuration holds, so an answer counts only once the
// findings behind it are in the file; otherwise the installer would act on an earlier check's.
UpgradeCheckResult CheckAndRecord(const QString& baseUrl)
{
    QSettings upgrade(UpgradeKeys::UpgradeConfigFile, QSettings::IniFormat);
    const UpgradeCheckResult result = Check(upgrade, baseUrl);
    if (!SyncSettings(upgrade) && result != ConfigInvalid) {
        std::fprintf(stderr, "The findings could not be recorded; the check counts as failed\n");
        return DownloadFailed;
    }
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return NoArgument;
    const QString baseUrl = BaseUrlFromArgument(QString::fromUtf8(argv[1]));

    QCoreApplication app(argc, argv);
    EnterProgramFolder();
    return CheckAndRecord(baseUrl);
}
