#include "historyfile.h"

#include "shellpaths.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char* const kArray = "History";
const char* const kUrlKey = "IP";
const char* const kTimeKey = "Time";
const char* const kTimeFormat = "yyyy-MM-dd hh:mm:ss";
const char* const kDayFormat = "yyyy-MM-dd";

HistoryParam ReadEntry(const QSettings& settings)
{
    HistoryParam entry;
    entry.url = QUrl(settings.value(kUrlKey).toString(), QUrl::TolerantMode);
    entry.time = QDateTime::fromString(settings.value(kTimeKey).toString(), kTimeFormat);
    return entry;
}

void WriteEntry(QSettings& settings, const HistoryParam& entry)
{
    settings.setValue(kUrlKey, entry.url.toString());
    settings.setValue(kTimeKey, entry.time.toString(kTimeFormat));
}

// Opens the array for reading; its size as stored, cut to the highest entry
// present, so a damaged "size" neither reads nor writes far past the entries.
int BeginReadHistory(QSettings& settings)
{
    const int stored = settings.beginReadArray(kArray);
    int highest = 0;
    for (const QString& group : settings.childGroups()) {
        bool ok = false;
        const int number = group.toInt(&ok);
        if (ok && number > highest && number <= stored)
            highest = number;
    }
    return highest;
}

} // namespace

bool AddHistoryEntry(const QString& path, const HistoryParam& entry)
{
    int found = -1;
    int n = 0;
    {
        QSettings settings(path, QSettings::IniFormat);
        n = BeginReadHistory(settings);
        const QString newUrl = entry.url.toString();
        for (int i = n - 1; i >= 0; --i) {
            settings.setArrayIndex(i);
            const HistoryParam stored = ReadEntry(settings);
            // An unparsable time has an invalid date, which counts as earlier.
            if (!stored.time.date().isValid() || stored.time.date() < entry.time.date())
                break;
            if (stored.url.toString() == newUrl) {
                found = i;
                break;
            }
        }
        settings.endArray();
    }

    const QList<HistoryParam> newer = found >= 0 ? ReadHistory(path, n - found - 1) : QList<HistoryParam>();

    QSettings settings(path, QSettings::IniFormat);
    settings.beginWriteArray(kArray);
    if (found < 0) {
        settings.setArrayIndex(n);
        WriteEntry(settings, entry);
    } else {
        // newer is newest first: the oldest of them moves to index found.
        int index = n - 2;
        for (const HistoryParam& moved : newer) {
            settings.setArrayIndex(index--);
            WriteEntry(settings, moved);
        }
        settings.setArrayIndex(n - 1);
        WriteEntry(settings, entry);
    }
    settings.endArray();
    settings.sync();
    return true;
}

QList<HistoryParam> ReadHistory(const QString& path, int maxCount)
{
    QList<HistoryParam> list;
    QSettings settings(path, QSettings::IniFormat);
    const int size = BeginReadHistory(settings);
    for (int i = size - 1; i >= 0; --i) {
        if (maxCount != -1 && list.size() >= maxCount)
            break;
        settings.setArrayIndex(i);
        list.append(ReadEntry(settings));
    }
    settings.endArray();
    return list;
}

bool ClearHistoryFile(const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.remove(kArray);
    settings.sync();
    return true;
}

bool GroupHistoryByDay(const QList<HistoryParam>& list, HistoryDayMap& map)
{
    for (const HistoryParam& entry : list)
        map[entry.time.date().toString(kDayFormat)].append(entry);
    return !list.isEmpty();
}

void SaveCacheCleanerSettings()
{
    SaveCacheCleanerSettings(ShellPaths::ApplicationFolder(), QCoreApplication::applicationName(),
                             QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

void SaveCacheCleanerSettings(const QString& applicationFolder, const QString& applicationName,
                              const QString& localDataFolder)
{
    QSettings settings(applicationFolder + "/config/setting.ini", QSettings::IniFormat);
    settings.setValue("App/localData", localDataFolder);
    settings.setValue("App/startEXE", applicationFolder + "/" + applicationName);
    settings.setValue("App/pName", applicationName);
    settings.sync();
}
