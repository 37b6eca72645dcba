#pragma once
// Factories of spreadsheet data formatters by event kind ("Face_Attr", "ivs", ...),
// filled while the module loads. Keys are kept and looked up exactly as given.

#include <map>
#include <mutex>
#include <string>

#include <json/json.h>

namespace Tolvane {

class IExcelDataFormater;

// (spreadsheet parameters, save folder, file name, channel names) -> a new formatter,
// owned by the caller.
using ExcelDataFormaterFactory = IExcelDataFormater* (*)(const Json::Value& parameters,
                                                        const std::string& saveFolder,
                                                        const std::string& fileName,
                                                        const Json::Value& channelNames);

// Sets the key's factory; a later registration of the same key replaces it. Always true.
bool RegisterExcelDataFormater(const std::string& key, ExcelDataFormaterFactory factory);

// A new formatter from the key's factory; null for a key that has none.
IExcelDataFormater* CreateExcelDataFormater(const std::string& key, const Json::Value& parameters,
                                            const std::string& saveFolder, const std::string& fileName,
                                            const Json::Value& channelNames);

}  // namespace Tolvane
