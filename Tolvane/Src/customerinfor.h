#pragma once
// The customer settings service: the recording, snapshot and download settings of group
// "CustomerInfo" in "./config/setting.ini" (relative to the working directory), mirrored in
// a JSON object, published to the page and read by the recording and snapshot services.
// One lock guards the object and the file; it is never held while calling out.

#include <mutex>
#include <string>
#include <vector>

#include <QString>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>

#include <tolvane/ICustomerInfor.h>

namespace Tolvane {

class CCustomerInfor final : public ICustomerInfor {
public:
    CCustomerInfor(HostContext* context, const char* argument);
    ~CCustomerInfor() override;
    CCustomerInfor(const CCustomerInfor&) = delete;
    CCustomerInfor& operator=(const CCustomerInfor&) = delete;

    // Creates the service and registers it as "class Tolvane::ICustomerInfor".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // The settings file, relative to the working directory.
    static QString SettingsFilePath();
    // The defaults, with the program's folder as Qt reports it.
    static Json::Value DefaultSettings();

    bool setConfig(const Json::Value& config) override;
    Json::Value getConfig(const std::string& key) override;
    bool resetConfig() override;
    int GetInt(const std::string& key, int defaultValue) override;
    bool GetBool(const std::string& key, bool defaultValue) override;
    std::string GetString(const std::string& key, const std::string& defaultValue) override;

private:
    // With the lock held.
    bool SetConfigLocked(const Json::Value& config);
    Json::Value SettingLocked(const std::string& key) const;

    HostContext* m_context;
    std::mutex m_lock;
    Json::Value m_settings{Json::objectValue};
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
