#pragma once
// Turns the search records of one event kind into spreadsheet rows through the kind's
// formatter, and builds the header row from the page's column headers.

#include <memory>
#include <mutex>
#include <string>

#include <json/json.h>

namespace Tolvane {

class IExcelDataFormater;

class CExcelRowBuilder
{
public:
    // parameters: the kind's spreadsheet parameters ("AiType", "Headers", "SaveType", ...).
    CExcelRowBuilder(const Json::Value& parameters, const std::string& folder, const std::string& fileName,
                     const Json::Value& channelNames);
    ~CExcelRowBuilder();

    CExcelRowBuilder(const CExcelRowBuilder&) = delete;
    CExcelRowBuilder& operator=(const CExcelRowBuilder&) = delete;

    // The formatter, made from the first record that finds one; null while none matches.
    IExcelDataFormater* GetFormater(const Json::Value& record);
    // {"Content": [...]} of the record, null without a formatter.
    Json::Value BuildRow(const Json::Value& record);
    // Registers the record's pictures in its "DownloadInfo"; nothing without a formatter.
    void CollectPictures(Json::Value& record);
    // {"Content": [each header's "Value", "NA" when empty]}.
    Json::Value BuildHeaderRow() const;
    // Position of the column among the headers; -1 without a formatter.
    int ColumnOf(const std::string& key) const;
    // The first header whose "Key" is "VideoName", or -1.
    int VideoColumn() const { return m_videoColumn; }

private:
    Json::Value m_parameters;
    std::string m_folder;
    std::string m_fileName;
    Json::Value m_headers;
    Json::Value m_channelNames;
    mutable std::mutex m_formaterLock;  // the formatter is made on one thread, used on others
    std::unique_ptr<IExcelDataFormater> m_formater;
    int m_videoColumn = -1;
};

}  // namespace Tolvane
