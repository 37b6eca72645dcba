#pragma once

#include <QString>

#include <json/value.h>

#include <functional>
#include <string>
#include <vector>

// The start-up arguments: "ip" plus one member per switch (-key value or a
// bare -key as true). An empty address takes defaultAddress().
Json::Value ParseCommandLine(const std::vector<std::string>& argv,
                             const std::function<QString()>& defaultAddress);

// The newest history entry; on the first run (no history file) an address
// left on the clipboard after "<appName>-APP://", which is then cleared.
QString GetDefaultAddress(const QString& historyPath, const QString& appName);
