#include "stringsmanager.h"

CStringsManager* CStringsManager::instance()
{
    static CStringsManager table;
    return &table;
}

bool CStringsManager::insertStringToMap(const Json::Value& table)
{
    if (!table.isObject())
        return false;
    QHash<QString, QString> texts;
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->isString())
            texts.insert(QString::fromStdString(it.name()), QString::fromStdString(it->asString()));
    }
    QWriteLocker lock(&m_lock);
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        m_texts.insert(it.key(), it.value());
    return true;
}

QString CStringsManager::getString(const QString& key, const QString& fallback) const
{
    QReadLocker lock(&m_lock);
    return m_texts.value(key, fallback);
}

bool CStringsManager::contains(const QString& key) const
{
    QReadLocker lock(&m_lock);
    return m_texts.contains(key);
}
