#include "exceldataformater.h"

#include <cctype>
#include <limits>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include "exceldatafields.h"

namespace Tolvane {

using namespace ExcelField;

namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string ToUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The leading decimal integer of a text (after blanks, with an optional sign); 0 if none.
int64_t LeadingInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t n = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (n > (std::numeric_limits<int64_t>::max() - digit) / 10) {
            n = std::numeric_limits<int64_t>::max();
            break;
        }
        n = n * 10 + digit;
    }
    return negative ? -n : n;
}

// The part of a device path after its last '/' or '\'.
std::string FileNamePart(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

IExcelDataFormater::IExcelDataFormater(const Json::Value& parameters, const std::string& saveFolder,
                                       const std::string& fileName, const Json::Value& channelNames)
    : m_saveFolder(saveFolder)
    , m_fileName(fileName)
    , m_headers(Member(parameters, "Headers"))
    , m_rules(Member(parameters, "Rules"))
    , m_translate(Member(parameters, "Translate"))
    , m_channelNames(channelNames)
    , m_saveType(static_cast<int>(IntValue(Member(parameters, "SaveType"))))
{
    const QFileInfo sheet(FromUtf8(saveFolder + "/" + fileName));
    m_pictureRoot = ToUtf8(QDir::cleanPath(sheet.absolutePath()) + QLatin1Char('/')
                           + QFileInfo(FromUtf8(fileName)).completeBaseName());
}

IExcelDataFormater::~IExcelDataFormater() = default;

Json::Value IExcelDataFormater::FillContent(const Json::Value& record) const
{
    Json::Value row;
    if (!m_headers.isArray()) {
        return row;
    }
    for (Json::ArrayIndex i = 0; i < m_headers.size(); ++i) {
        std::string text = FormatCell(Text(Member(m_headers[i], "Key")), record);
        if (text.empty()) {
            text = "NA";
        }
        row["Content"].append(Json::Value(text));
    }
    return row;
}

int IExcelDataFormater::HeaderIndex(const std::string& key) const
{
    int found = -1;
    if (!m_headers.isArray()) {
        return found;
    }
    for (Json::ArrayIndex i = 0; i < m_headers.size(); ++i) {
        const Json::Value& headerKey = Member(m_headers[i], "Key");
        if (headerKey.isString() && headerKey.asString() == key) {
            found = static_cast<int>(i);
        }
    }
    return found;
}

void IExcelDataFormater::AddPicture(const std::string& pictureKey, const std::string& sourcePath,
                                    const std::string& subFolder, Json::Value& record, bool force) const
{
    if (sourcePath.empty() || !(record.isObject() || record.isNull())) {
        return;
    }
    const std::string label = SanitizeFileName(ChannelLabel(record, m_channelNames));
    Json::Value& downloads = record["DownloadInfo"];
    if (!downloads.isObject()) {
        downloads = Json::Value(Json::objectValue);
    }
    Json::Value entry(Json::objectValue);
    entry["FilePath"] = sourcePath;
    entry["SavedFileName"] = m_pictureRoot + "/" + subFolder + "/" + label + "_" + FileNamePart(sourcePath);
    entry["Needed"] = (m_saveType & 4) != 0 && (force || HeaderIndex(pictureKey) != -1);
    downloads[pictureKey] = entry;
}

std::string IExcelDataFormater::TranslateValue(const std::string& key, const std::string& raw) const
{
    const Json::Value& map = Member(m_rules, key);
    if (KeyIs(key, "Age") && !raw.empty()) {
        const int64_t age = LeadingInteger(raw);
        if (!map.isObject()) {
            return raw;
        }
        for (const std::string& name : map.getMemberNames()) {
            const Json::Value& range = Member(map, name);
            if (range.isArray() && range.size() == 2 && IntValue(range[0]) <= age && age <= IntValue(range[1])) {
                return name;
            }
        }
        return raw;
    }
    if (Has(map, raw)) {
        return Text(Member(map, raw));
    }
    return raw;
}

std::string IExcelDataFormater::PictureLink(const std::string& key, const Json::Value& record) const
{
    const Json::Value& downloads = Member(record, "DownloadInfo");
    const Json::Value& entry = KeyIs(key, "VideoName") ? Member(downloads, "Video") : Member(downloads, key);
    if (entry.isNull()) {
        return std::string();
    }
    const std::string saved = Text(Member(entry, "SavedFileName"));
    if (saved.empty()) {
        return std::string();
    }
    return FileLink(saved);
}

std::string IExcelDataFormater::Translate(const std::string& text) const
{
    return Has(m_translate, text) ? Text(Member(m_translate, text)) : text;
}

std::string IExcelDataFormater::Channel(const Json::Value& record) const
{
    return ChannelLabel(record, m_channelNames);
}

std::string ChannelLabel(const Json::Value& record, const Json::Value& channelNames)
{
    std::string text;
    if (Has(record, "channel")) {
        text = IntText(Member(record, "channel"));
    } else if (Has(record, "Channel")) {
        text = IntText(Member(record, "Channel"));
    }
    return Has(channelNames, text) ? Text(Member(channelNames, text)) : text;
}

std::string FileLink(const std::string& path)
{
    const QString absolute = QFileInfo(FromUtf8(path)).absoluteFilePath();
    return ToUtf8(QUrl::fromLocalFile(absolute).toString());
}

std::string SanitizeFileName(const std::string& text)
{
    static const QRegularExpression kForbidden(QStringLiteral("[/:*?\"<>|#]"));
    QString name = FromUtf8(text);
    name.remove(kForbidden);
    if (name.size() > 255) {
        // Never split a surrogate pair.
        name.truncate(name.at(254).isHighSurrogate() ? 254 : 255);
    }
    return ToUtf8(name);
}

std::string VideoFileName(const Json::Value& record, const Json::Value& channelNames)
{
    const std::string label = SanitizeFileName(ChannelLabel(record, channelNames));
    std::string startText;
    std::string endText;
    if (!Text(Member(record, "StartTime")).empty()) {
        startText = Text(Member(record, "StartTime"));
        endText = Text(Member(record, "EndTime"));
    } else {
        startText = endText = Text(Member(record, "Time"));
    }
    QDateTime start = ReadDeviceTime(startText);
    QDateTime end = ReadDeviceTime(endText);
    if (start.isValid() && end.isValid() && start == end) {
        start = start.addSecs(-10);
        end = end.addSecs(10);
    }
    return label + "_" + CompactTime(start) + "_" + CompactTime(end) + "_20S.rkv";
}

}  // namespace Tolvane
