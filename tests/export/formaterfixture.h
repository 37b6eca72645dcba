#pragma once
// Builds spreadsheet formatters over a page's parameters and runs them on records given as
// JSON texts.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "exceldataformater.h"

namespace exporttest {

inline Json::Value Parse(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
        ADD_FAILURE() << "fixture JSON does not parse: " << errors << "\n" << text;
    }
    return value;
}

// "ExcelParam" with these header keys (each header's "Value" is the key in upper case).
inline Json::Value Parameters(const std::vector<std::string>& keys, const std::string& rules = "{}",
                              const std::string& translate = "{}", int saveType = 4)
{
    Json::Value parameters(Json::objectValue);
    parameters["Headers"] = Json::Value(Json::arrayValue);
    for (const std::string& key : keys) {
        Json::Value header(Json::objectValue);
        header["Key"] = key;
        header["Value"] = key;
        parameters["Headers"].append(header);
    }
    parameters["Rules"] = Parse(rules);
    parameters["Translate"] = Parse(translate);
    parameters["SaveType"] = saveType;
    return parameters;
}

const char kSaveFolder[] = "/srv/export";
const char kFileName[] = "result.xls";

template <class Formater>
std::unique_ptr<Tolvane::IExcelDataFormater> Make(const Json::Value& parameters,
                                                 const std::string& channelNames = "{}")
{
    return std::unique_ptr<Tolvane::IExcelDataFormater>(
        Tolvane::MakeExcelDataFormater<Formater>(parameters, kSaveFolder, kFileName, Parse(channelNames)));
}

// The row's cell texts.
inline std::vector<std::string> Cells(const Json::Value& row)
{
    std::vector<std::string> cells;
    const Json::Value& content = row["Content"];
    for (Json::ArrayIndex i = 0; i < content.size(); ++i) {
        cells.push_back(content[i].asString());
    }
    return cells;
}

// One column of one record and the cell text it must show.
struct CellCase {
    const char* key;
    const char* record;
    const char* expected;
};

inline std::ostream& operator<<(std::ostream& out, const CellCase& c)
{
    return out << c.key << " of " << c.record;
}

// The cell of a single-column row: "NA" stands for an empty text.
template <class Formater>
std::string CellOf(const CellCase& c, const std::string& rules = "{}", const std::string& translate = "{}",
                   const std::string& channelNames = "{}")
{
    auto formater = Make<Formater>(Parameters({c.key}, rules, translate), channelNames);
    Json::Value record = Parse(c.record);
    formater->CollectPictures(record);
    const std::vector<std::string> cells = Cells(formater->FillContent(record));
    return cells.size() == 1 ? cells[0] : "<" + std::to_string(cells.size()) + " cells>";
}

// The cells of the record's row after its pictures are registered.
template <class Formater>
std::vector<std::string> RowOf(const std::vector<std::string>& keys, const char* record,
                               const std::string& rules = "{}", const std::string& translate = "{}",
                               const std::string& channelNames = "{}")
{
    auto formater = Make<Formater>(Parameters(keys, rules, translate), channelNames);
    Json::Value parsed = Parse(record);
    formater->CollectPictures(parsed);
    return Cells(formater->FillContent(parsed));
}

// The "DownloadInfo" keys a record gets.
template <class Formater>
std::vector<std::string> PictureKeys(const char* record)
{
    auto formater = Make<Formater>(Parameters({}));
    Json::Value parsed = Parse(record);
    formater->CollectPictures(parsed);
    return parsed["DownloadInfo"].isObject() ? parsed["DownloadInfo"].getMemberNames() : std::vector<std::string>();
}

}  // namespace exporttest
