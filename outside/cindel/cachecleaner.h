#pragma once

#include <QString>
#include <QStringList>

// Decides whether a data folder named in the client's settings is the
// client's own, and empties its web cache and local storage.
namespace CacheCleaner {

enum class Verdict {
    Clean,          // the folder is the client's own
    NoSetting,      // no folder or no application name in the settings
    NotAbsolute,    // a relative path
    Missing,        // the folder does not exist: nothing to clean
    HomeOrRoot,     // the user's home folder or the file-system root
    WrongName,      // not named after the application
    NotOwnLocation, // not under the user's data location or the application folder
};

struct Places
{
    QString applicationFolder; // the folder of the client and of this program
    QString userDataLocation;  // the user's writable data location
    QString homeFolder;
};

// The application name as the settings give it: "App/pName" without a
// trailing ".exe", else the file name of "App/startEXE" without it.
QString ApplicationName(const QString& pName, const QString& startExe);

// On Clean, canonical receives the folder's canonical path.
Verdict CheckDataFolder(const QString& localData, const QString& applicationName, const Places& places,
                        QString* canonical);

// The folders, relative to the data folder, whose contents are removed.
QStringList TargetFolders(const QString& canonicalDataFolder);

// Empties every target folder inside canonicalDataFolder. Symbolic links
// are removed as links, never followed; a target that resolves outside the
// data folder is left alone. Returns the number of entries removed.
int EmptyTargets(const QString& canonicalDataFolder);

const char* VerdictText(Verdict verdict);

} // namespace CacheCleaner
