#include "excelrowbuilder.h"

#include <QString>

#include <foundation/JsonRead.h>

#include "exceldataformater.h"
#include "exceldataformaterregistry.h"

namespace Tolvane {

namespace {

// The formatter key of the kind; "Face" (in any case) splits by the record's "SummaryNew".
std::string FormaterKey(const Json::Value& parameters, const Json::Value& record)
{
    const std::string key = Foundation::JsonStringOrEmpty(Foundation::JsonMember(parameters, "AiType"));
    if (QString::fromStdString(key).compare(QStringLiteral("Face"), Qt::CaseInsensitive) != 0) {
        return key;
    }
    Json::Value summary = Foundation::JsonMember(record, "SummaryNew");
    if (summary.isArray()) {
        summary = summary.empty() ? Json::Value() : Json::Value(summary[0u]);
    }
    return summary.isNull() ? "Face_Image" : "Face_Attr";
}

}  // namespace

CExcelRowBuilder::CExcelRowBuilder(const Json::Value& parameters, const std::string& folder,
                                   const std::string& fileName, const Json::Value& channelNames)
    : m_parameters(parameters)
    , m_folder(folder)
    , m_fileName(fileName)
    , m_headers(Foundation::JsonMember(parameters, "Headers"))
    , m_channelNames(channelNames)
{
    if (m_headers.isArray()) {
        for (Json::ArrayIndex i = 0; i < m_headers.size(); ++i) {
            if (Foundation::JsonStringOrEmpty(Foundation::JsonMember(m_headers[i], "Key")) == "VideoName") {
                m_videoColumn = static_cast<int>(i);
                break;
            }
        }
    }
}

CExcelRowBuilder::~CExcelRowBuilder() = default;

IExcelDataFormater* CExcelRowBuilder::GetFormater(const Json::Value& record)
{
    std::lock_guard<std::mutex> lock(m_formaterLock);
    if (!m_formater) {
        m_formater.reset(CreateExcelDataFormater(FormaterKey(m_parameters, record), m_parameters, m_folder,
                                                 m_fileName, m_channelNames));
    }
    return m_formater.get();
}

Json::Value CExcelRowBuilder::BuildRow(const Json::Value& record)
{
    IExcelDataFormater* formater = GetFormater(record);
    return formater ? formater->FillContent(record) : Json::Value();
}

void CExcelRowBuilder::CollectPictures(Json::Value& record)
{
    if (IExcelDataFormater* formater = GetFormater(record)) {
        formater->CollectPictures(record);
    }
}

Json::Value CExcelRowBuilder::BuildHeaderRow() const
{
    Json::Value content(Json::arrayValue);
    if (m_headers.isArray()) {
        for (const Json::Value& header : m_headers) {
            const std::string text = Foundation::JsonStringOrEmpty(Foundation::JsonMember(header, "Value"));
            content.append(text.empty() ? "NA" : text);
        }
    }
    Json::Value row(Json::objectValue);
    row["Content"] = content;
    return row;
}

int CExcelRowBuilder::ColumnOf(const std::string& key) const
{
    std::lock_guard<std::mutex> lock(m_formaterLock);
    return m_formater ? m_formater->HeaderIndex(key) : -1;
}

}  // namespace Tolvane
