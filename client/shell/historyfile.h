#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

// One visited device address.
struct HistoryParam
{
    QUrl url;
    QDateTime time;
};

// Day text "yyyy-MM-dd" -> that day's entries, in the order they were added.
using HistoryDayMap = QMap<QString, QList<HistoryParam>>;

// The history file is an INI file with the array "History" (keys "IP" and
// "Time"), oldest entry first. Every call opens the file afresh.
bool AddHistoryEntry(const QString& path, const HistoryParam& entry);
QList<HistoryParam> ReadHistory(const QString& path, int maxCount);
bool ClearHistoryFile(const QString& path);
bool GroupHistoryByDay(const QList<HistoryParam>& list, HistoryDayMap& map);

// Records in "/config/setting.ini" of the application folder where the
// client's data lies, for the cache cleaner and the update installer.
void SaveCacheCleanerSettings();
void SaveCacheCleanerSettings(const QString& applicationFolder, const QString& applicationName,
                              const QString& localDataFolder);
