#pragma once
// The page's text table: key -> display text, one table for the whole process. The page hands
// it over as a JSON object of strings; later texts replace earlier ones under the same key.
// All operations are safe from any thread.

#include <QHash>
#include <QReadWriteLock>
#include <QString>

#include <json/value.h>

class CStringsManager {
public:
    static CStringsManager* instance();

    CStringsManager(const CStringsManager&) = delete;
    CStringsManager& operator=(const CStringsManager&) = delete;

    // Takes every string member of `table`; other members are skipped. False when `table`
    // is not an object (nothing is stored then).
    bool insertStringToMap(const Json::Value& table);
    // The text under `key`, or `fallback` when the table has none.
    QString getString(const QString& key, const QString& fallback = QString()) const;
    bool contains(const QString& key) const;

private:
    CStringsManager() = default;

    mutable QReadWriteLock m_lock;
    QHash<QString, QString> m_texts;
};
