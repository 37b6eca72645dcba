#include "customerinfor.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "filehelpers.h"
#include "jsonhelper.h"
#include "logfacade.h"

namespace Tolvane {

namespace {

const char kGroup[] = "CustomerInfo";

}  // namespace

CCustomerInfor::CCustomerInfor(HostContext* context, const char* /*argument*/) : m_context(context)
{
    static const char* const kSetNames[] = {"config"};
    static const char* const kGetNames[] = {"key"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CCustomerInfor::setConfig, kSetNames, true));
    Foundation::RegisterHostMethod(m_context, "setConfig", m_methods.back());
    m_methods.push_back(Foundation::MakeComMethod(this, &CCustomerInfor::getConfig, kGetNames, true));
    Foundation::RegisterHostMethod(m_context, "getConfig", m_methods.back());
    m_methods.push_back(Foundation::MakeComMethod(this, &CCustomerInfor::resetConfig, true));
    Foundation::RegisterHostMethod(m_context, "resetConfig", m_methods.back());

    bool empty = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        QSettings settings(SettingsFilePath(), QSettings::IniFormat);
        settings.beginGroup(kGroup);
        const QStringList keys = settings.childKeys();
        for (const QString& key : keys) {
            Json::Value value;
            CJsonHelper::ConvertQVarianToJson(settings.value(key), value);
            m_settings[key.toStdString()] = value;
        }
        settings.endGroup();
        empty = keys.isEmpty();
    }
    if (empty) {
        resetConfig();
    }
}

CCustomerInfor::~CCustomerInfor()
{
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CCustomerInfor::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CCustomerInfor, ICustomerInfor>(context, argument,
                                                                Foundation::TypeName::ICustomerInfor);
}

QString CCustomerInfor::SettingsFilePath()
{
    return QStringLiteral("./config/setting.ini");
}

Json::Value CCustomerInfor::DefaultSettings()
{
    const std::string folder = GetAppDirPath().toStdString();
    Json::Value defaults(Json::objectValue);
    defaults["ManulRecordPath"] = folder + "/video";
    defaults["ManulRecordLength"] = 5;
    defaults["ManulSnapPath"] = folder + "/pictures";
    defaults["ManulSnapNum"] = 1;
    defaults["ManulSnapInterval"] = 1;
    defaults["DownloadPath"] = folder + "/download";
    return defaults;
}

bool CCustomerInfor::setConfig(const Json::Value& config)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return SetConfigLocked(config);
}

bool CCustomerInfor::SetConfigLocked(const Json::Value& config)
{
    if (!config.isObject()) {
        return false;
    }
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(kGroup);
    for (const std::string& name : Foundation::JsonMemberNames(config)) {
        const Json::Value value = Foundation::JsonMember(config, name);
        m_settings[name] = value;
        QVariant stored;
        CJsonHelper::ConvertJsonToQVariant(value, stored);
        settings.setValue(QString::fromStdString(name), stored);
    }
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

Json::Value CCustomerInfor::getConfig(const std::string& key)
{
    Json::Value answer(Json::objectValue);
    answer["key"] = key;
    std::lock_guard<std::mutex> guard(m_lock);
    answer["value"] = SettingLocked(key);
    return answer;
}

bool CCustomerInfor::resetConfig()
{
    const Json::Value defaults = DefaultSettings();
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings = defaults;
    {
        QSettings settings(SettingsFilePath(), QSettings::IniFormat);
        settings.beginGroup(kGroup);
        settings.remove(QString());
        settings.endGroup();
    }
    return SetConfigLocked(defaults);
}

Json::Value CCustomerInfor::SettingLocked(const std::string& key) const
{
    return Foundation::JsonMember(m_settings, key);
}

int CCustomerInfor::GetInt(const std::string& key, int defaultValue)
{
    Json::Value value;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        value = SettingLocked(key);
    }
    if (Foundation::JsonIsNumber(value)) {
        return Foundation::JsonToInt(value, defaultValue);
    }
    if (value.isBool()) {
        return value.asBool() ? 1 : 0;
    }
    if (value.isString()) {
        bool ok = false;
        const int number = QString::fromStdString(value.asString()).toInt(&ok, 10);
        return ok ? number : defaultValue;
    }
    return defaultValue;
}

bool CCustomerInfor::GetBool(const std::string& key, bool defaultValue)
{
    Json::Value value;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        value = SettingLocked(key);
    }
    if (value.isBool()) {
        return value.asBool();
    }
    // After a restart a stored boolean comes back from the file as its text.
    if (value.isString()) {
        const std::string text = value.asString();
        if (text == "true") {
            return true;
        }
        if (text == "false") {
            return false;
        }
    }
    return defaultValue;
}

std::string CCustomerInfor::GetString(const std::string& key, const std::string& defaultValue)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const Json::Value value = SettingLocked(key);
    return value.isString() ? value.asString() : defaultValue;
}

}  // namespace Tolvane
