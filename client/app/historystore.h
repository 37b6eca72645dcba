#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

// One browsing-history entry.
struct HistoryParam
{
    QUrl url;
    QDateTime time;
};

// The history file: INI array "History" of {"IP", "Time"}, oldest first.
// Adds entry; an address already stored on the same day moves to the end with
// the new time. Always true.
bool AddHistoryEntry(const QString& path, const HistoryParam& entry);
// Newest first; maxCount -1 reads all.
QList<HistoryParam> ReadHistory(const QString& path, int maxCount);
