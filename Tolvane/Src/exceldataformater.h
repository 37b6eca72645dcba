#pragma once
// Spreadsheet data formatters: one class per kind of intelligent event turns a search
// record into the cell texts of one row and registers the record's pictures for download.
// The page sends the columns ("Headers"), value maps ("Rules") and event-type texts
// ("Translate"); the formatter decides which record member fills which column.
//
// A formatter only reads its fields after construction; CollectPictures writes only into
// the record it is given. Nothing here throws, whatever the shape of the JSON.

#include <string>

#include <json/json.h>

namespace Tolvane {

class IExcelDataFormater
{
public:
    // parameters: the page's "ExcelParam" ("Headers", "Rules", "Translate", "SaveType").
    IExcelDataFormater(const Json::Value& parameters, const std::string& saveFolder,
                       const std::string& fileName, const Json::Value& channelNames);
    virtual ~IExcelDataFormater();

    IExcelDataFormater(const IExcelDataFormater&) = delete;
    IExcelDataFormater& operator=(const IExcelDataFormater&) = delete;

    // {"Content": [one text per header, "NA" for an empty one]}; null without headers.
    virtual Json::Value FillContent(const Json::Value& record) const;
    // Adds the record's pictures to its "DownloadInfo".
    virtual void CollectPictures(Json::Value& record) const = 0;
    // The cell text of the column, empty when there is nothing for it.
    virtual std::string FormatCell(const std::string& key, const Json::Value& record) const = 0;

    // Position of the last header whose "Key" is exactly key, or -1.
    int HeaderIndex(const std::string& key) const;

    const std::string& PictureRoot() const { return m_pictureRoot; }

protected:
    // record."DownloadInfo".(pictureKey) = {"FilePath", "SavedFileName", "Needed"}; nothing
    // for an empty source path.
    void AddPicture(const std::string& pictureKey, const std::string& sourcePath,
                    const std::string& subFolder, Json::Value& record, bool force) const;
    // The page's value map for the column ("Age" by ranges), else raw.
    std::string TranslateValue(const std::string& key, const std::string& raw) const;
    // The absolute file URL of the saved path, or empty.
    std::string PictureLink(const std::string& key, const Json::Value& record) const;
    // The page's "Translate" text for an event-type key, else the key itself.
    std::string Translate(const std::string& text) const;
    std::string Channel(const Json::Value& record) const;

    // Each header's "Key" as text, in order.
    const Json::Value& Headers() const { return m_headers; }
    const Json::Value& Rules() const { return m_rules; }

private:
    std::string m_saveFolder;
    std::string m_fileName;
    std::string m_pictureRoot;
    Json::Value m_headers;
    Json::Value m_rules;
    Json::Value m_translate;
    Json::Value m_channelNames;
    int m_saveType = 0;
};

// The factory of a formatter class, for the formatter registry.
template <class Formater>
IExcelDataFormater* MakeExcelDataFormater(const Json::Value& parameters, const std::string& saveFolder,
                                          const std::string& fileName, const Json::Value& channelNames)
{
    return new Formater(parameters, saveFolder, fileName, channelNames);
}

// The record's channel number in decimal ("channel", else "Channel"), replaced by its name
// from channelNames when there is one.
std::string ChannelLabel(const Json::Value& record, const Json::Value& channelNames);
// The absolute "file:///..." URL of a local path, as a spreadsheet program resolves it
// wherever the sheet is opened from.
std::string FileLink(const std::string& path);
// Without any of / : * ? " < > | # and at most 255 characters long.
std::string SanitizeFileName(const std::string& text);
// "<channel>_<start>_<end>_20S.rkv" with times as yyyyMMddhhmmss; equal start and end
// times are widened by 10 s on each side.
std::string VideoFileName(const Json::Value& record, const Json::Value& channelNames);

}  // namespace Tolvane
