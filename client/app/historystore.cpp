#include "historystore.h"

#include <QSettings>

namespace {

const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

HistoryParam ReadEntry(QSettings& settings)
{
    HistoryParam entry;
    entry.url = QUrl(settings.value(QStringLiteral("IP")).toString(), QUrl::TolerantMode);
    entry.time = QDateTime::fromString(settings.value(QStringLiteral("Time")).toString(),
                                       QString::fromLatin1(kTimeFormat));
    return entry;
}

void WriteEntry(QSettings& settings, const HistoryParam& entry)
{
    settings.setValue(QStringLiteral("IP"), entry.url.toString());
    settings.setValue(QStringLiteral("Time"), entry.time.toString(QString::fromLatin1(kTimeFormat)));
}

}  // namespace

bool AddHistoryEntry(const QString& path, const HistoryParam& entry)
{
    int found = -1;
    int count = 0;
    {
        QSettings settings(path, QSettings::IniFormat);
        count = settings.beginReadArray(QStringLiteral("History"));
        for (int i = count - 1; i >= 0; --i) {
            settings.setArrayIndex(i);
            const HistoryParam stored = ReadEntry(settings);
            if (stored.time.date() < entry.time.date())
                break;
            if (stored.url.toString() == entry.url.toString()) {
                found = i;
                break;
            }
        }
        settings.endArray();
    }

    QSettings settings(path, QSettings::IniFormat);
    if (found < 0) {
        settings.beginWriteArray(QStringLiteral("History"), count + 1);
        settings.setArrayIndex(count);
        WriteEntry(settings, entry);
        settings.endArray();
        return true;
    }

    // Entries after the found one move down one place; the new one goes last.
    const QList<HistoryParam> newer = ReadHistory(path, count - found - 1);
    settings.beginWriteArray(QStringLiteral("History"));
    int index = count - 2;
    for (const HistoryParam& moved : newer) {
        settings.setArrayIndex(index--);
        WriteEntry(settings, moved);
    }
    settings.setArrayIndex(count - 1);
    WriteEntry(settings, entry);
    settings.endArray();
    return true;
}

QList<HistoryParam> ReadHistory(const QString& path, int maxCount)
{
    QList<HistoryParam> list;
    QSettings settings(path, QSettings::IniFormat);
    const int count = settings.beginReadArray(QStringLiteral("History"));
    for (int i = count - 1; i >= 0; --i) {
        if (maxCount != -1 && list.size() >= maxCount)
            break;
        settings.setArrayIndex(i);
        list.append(ReadEntry(settings));
    }
    settings.endArray();
    return list;
}
