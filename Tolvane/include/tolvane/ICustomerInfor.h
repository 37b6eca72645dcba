#pragma once
// The user's recording, snapshot and download settings, registered with the host as
// "class Tolvane::ICustomerInfor". Values read back from the settings file after a restart
// are texts; the typed lookups accept both forms.

#include <string>

#include <json/value.h>

namespace Tolvane {

class ICustomerInfor {
public:
    // 0
    virtual ~ICustomerInfor() = default;
    // 1: sets and stores every member of `config`; false when it is not an object or the
    // settings file could not be written.
    virtual bool setConfig(const Json::Value& config) = 0;
    // 2: {"key": key, "value": the setting, null when absent}.
    virtual Json::Value getConfig(const std::string& key) = 0;
    // 3: back to the defaults, dropping every other key.
    virtual bool resetConfig() = 0;
    // 4: a number or boolean, or a text that reads as a decimal integer; else the default.
    virtual int GetInt(const std::string& key, int defaultValue) = 0;
    // 5: a boolean, or the text "true" or "false"; else the default.
    virtual bool GetBool(const std::string& key, bool defaultValue) = 0;
    // 6: a text; else the default.
    virtual std::string GetString(const std::string& key, const std::string& defaultValue) = 0;
};

}  // namespace Tolvane
