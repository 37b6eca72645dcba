#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// Files and keys shared by the updaters and the client. Relative paths resolve against the
// program folder, which each updater makes its current directory at start.
namespace UpgradeKeys {
inline const QString UpgradeConfigFile = QStringLiteral("./config/upgrade.ini");
inline const QString ClientSettingsFile = QStringLiteral("./config/setting.ini");
inline const QString DefaultDownloadDir = QStringLiteral("download");

inline const QString DownloadDir = QStringLiteral("App/DownloadDir");
inline const QString SavedUpgradeConfig = QStringLiteral("App/SavedUpgradeConfig");
inline const QString ServerUpgradeConfig = QStringLiteral("App/ServerUpgradeConfig");
inline const QString AppVersionConfig = QStringLiteral("App/AppVersionConfig");
inline const QString Installer = QStringLiteral("App/Salvent");
inline const QString SavedSetup = QStringLiteral("App/SavedSetup");
inline const QString StartExe = QStringLiteral("App/startEXE");
inline const QString ServerUrl = QStringLiteral("App/ServerURL");
inline const QString IsFullUpgrade = QStringLiteral("App/isFullUpgrade");
inline const QString RebootAppRequired = QStringLiteral("App/rebootAppRequired");
inline const QString SetupVersion = QStringLiteral("App/SetupVersion");
inline const QString ModuleUpgradePath = QStringLiteral("App/ModuleUpgradePath");
inline const QString SetupPath = QStringLiteral("App/SetupPath");
inline const QString LocalData = QStringLiteral("App/localData");
inline const QString ProgramName = QStringLiteral("App/pName");

inline const QString UpgradeModuleGroup = QStringLiteral("UpgradeModule");
inline const QString UpgradeErrorGroup = QStringLiteral("UpgradeError");
inline const QString DownloadFailedGroup = QStringLiteral("DownloadFailed");
inline const QString InstallFailedGroup = QStringLiteral("InstallFailed");
inline const QString CompatibleModuleGroup = QStringLiteral("CompatibleModule");
inline const QString RequireRebootGroup = QStringLiteral("RequireRebootAppModule");
inline const QString ModuleVersionGroup = QStringLiteral("ModuleVersion");
inline const QString DependSuffix = QStringLiteral("_DependModule");
inline const QString Invalid = QStringLiteral("Invalid");
} // namespace UpgradeKeys

// Writes the store out. The settings store may commit a short file when the disk is full; when
// the file does not read back with every value, the previous file is put back and the call
// returns false. A link at the file's name is replaced by a copy of what it leads to, never
// written through.
bool SyncSettings(QSettings& settings);

// Syncs its store that way when it goes; declare it after the store.
class SettingsWriter
{
public:
    explicit SettingsWriter(QSettings& settings) : m_settings(settings) {}
    ~SettingsWriter() { SyncSettings(m_settings); }
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

private:
    QSettings& m_settings;
};

// Joins two path or URL pieces with exactly one "/" and normalises nothing.
QString JoinPath(const QString& first, const QString& second);

// App/DownloadDir of the update configuration. Downloads never land on the installed files:
// an empty value, or one that leads to the program folder (the current directory), means the
// default folder below it.
QString DownloadFolder(const QSettings& upgradeConfig);

// Every key below a group, sub-paths included ("plugins/a.so").
QStringList GroupKeys(QSettings& settings, const QString& group);

// Absent values read as an empty string.
QString ReadString(const QSettings& settings, const QString& key);

// Each entry becomes the part before its last "."; entries without "." stay whole.
void StripSuffixes(QStringList& names);
QString StripSuffix(const QString& name);

// A path from the server may be used below the program folder only when it is relative and
// climbs nowhere: not empty, not absolute, no ".." component.
bool IsSafeRelativePath(const QString& path);

// "http://%1:%2/" from the device address given on the command line: the address's host
// (bracketed when it is an IPv6 literal) and its port, 80 when it gives none.
QString BaseUrlFromArgument(const QString& argument);

// Makes the program's own folder the current directory and returns it.
QString EnterProgramFolder();
