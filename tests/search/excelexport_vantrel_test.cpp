// An export run through the real spreadsheet writer module: header and data rows built by a
// formatter reach the file one block at a time, and the cells set during the run replace
// their texts when the exporter stops.

#include <memory>
#include <string>
#include <vector>

#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "TestHost.h"
#include "exceldataformaterevents.h"
#include "exceldataformaterregistry.h"
#include "excelexporter.h"
#include "excelrowbuilder.h"
#include "searchfixture.h"

namespace {

using searchtest::Parse;
using Rows = std::vector<std::vector<QString>>;

const QString kNamespace = QStringLiteral("urn:schemas-microsoft-com:office:spreadsheet");

// The cell texts of the saved sheet, read independently of the writer; gaps read empty.
Rows ReadSheet(const QString& path, QString* sheetName = nullptr)
{
    Rows rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return rows;
    }
    QXmlStreamReader xml(&file);
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.namespaceUri() != kNamespace) {
            continue;
        }
        const QStringRef name = xml.name();
        if (name == QLatin1String("Worksheet") && sheetName != nullptr) {
            *sheetName = xml.attributes().value(kNamespace, QStringLiteral("Name")).toString();
        } else if (name == QLatin1String("Row")) {
            rows.emplace_back();
            column = 0;
        } else if (name == QLatin1String("Cell")) {
            const QStringRef index = xml.attributes().value(kNamespace, QStringLiteral("Index"));
            column = index.isEmpty() ? column + 1 : index.toInt();
        } else if (name == QLatin1String("Data") && !rows.empty() && column > 0) {
            std::vector<QString>& row = rows.back();
            row.resize(std::max<size_t>(row.size(), static_cast<size_t>(column)));
            row[static_cast<size_t>(column) - 1] = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return rows;
}

class VantrelExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_library.setFileName(QStringLiteral(VANTREL_LIBRARY_PATH));
        ASSERT_TRUE(m_library.load()) << m_library.errorString().toStdString();
        auto init = reinterpret_cast<void (*)(HostContext*)>(m_library.resolve("InitModule"));
        auto load = reinterpret_cast<bool (*)(HostContext*, const char*)>(m_library.resolve("LoadImplObjects"));
        m_clear = reinterpret_cast<void (*)(void*)>(m_library.resolve("ClearModule"));
        ASSERT_TRUE(init && load && m_clear);
        init(m_host->Context());
        load(m_host->Context(), "");
        Tolvane::RegisterExcelDataFormater("Deposit",
                                           &Tolvane::MakeExcelDataFormater<Tolvane::CExcelDataFormaterForDeposit>);
    }

    void TearDown() override
    {
        m_host->ClearObjects();
        if (m_clear != nullptr) {
            m_clear(m_host->Context());
        }
        m_host->StopWorker();
        m_host.reset();
        m_library.unload();
    }

    std::unique_ptr<testsupport::TestHost> m_host = std::make_unique<testsupport::TestHost>();
    QLibrary m_library;
    void (*m_clear)(void*) = nullptr;
    QTemporaryDir m_folder;
};

TEST_F(VantrelExport, RowsAndLaterCellsReachTheSheet)
{
    const std::string jobFolder = m_folder.filePath(QStringLiteral("Deposit_20240501080000_20240501090000")).toStdString();
    const Json::Value parameters = Parse(R"({
        "AiType": "Deposit", "SaveType": 4, "Rules": {},
        "Translate": {"ObjectLeftBehind": "Left object"},
        "Headers": [{"Key": "SnapLocation", "Value": "Location"}, {"Key": "SnapTime", "Value": "Time"},
                    {"Key": "Type", "Value": "Type"}, {"Key": "RegionName", "Value": ""},
                    {"Key": "VideoName", "Value": "Video"}]})");
    Tolvane::CExcelRowBuilder builder(parameters, jobFolder, "Deposit.xls", Parse(R"({"0": "Gate", "1": "Yard"})"));
    auto exporter = std::make_unique<Tolvane::CExcelExporter>(m_host->Context(), jobFolder, "Deposit.xls", "Deposits");
    const QString path = QString::fromStdString(exporter->GetFilePath());

    ASSERT_TRUE(exporter->Start());
    Json::Value header = Parse(R"({"CellFormat": {"Width": 15, "Height": 15, "HAlignment": 0, "VAlignment": 0}})");
    header["Data"].append(builder.BuildHeaderRow());
    ASSERT_TRUE(exporter->AddRow(header));

    Json::Value block(Json::objectValue);
    for (int channel : {0, 1}) {
        Json::Value record = Parse(R"({"StartTime": "2024-05-01 08:00:0)" + std::to_string(channel) + R"(",
            "SummaryNew": [{"Key": "ObjectLeftBehind", "Value": {"RegionName": "Hall <A&B>"}}]})");
        record["Channel"] = channel;
        record["DownloadInfo"]["Video"]["SavedFileName"] = jobFolder + "/video/" + std::to_string(channel) + ".rkv";
        block["Data"].append(builder.BuildRow(record));
    }
    ASSERT_TRUE(exporter->AddRow(block));
    // Each block is saved as soon as it is written.
    ASSERT_TRUE(searchtest::WaitFor([&] { return ReadSheet(path).size() == 3; }));

    // The video of the second row failed.
    const int column = builder.ColumnOf("VideoName");
    ASSERT_EQ(column, 4);
    Json::Value cell;
    cell["Row"] = 1 + 2;
    cell["Col"] = column + 1;
    cell["Value"] = "NA";
    exporter->AddCell(cell);
    exporter.reset();

    QString sheetName;
    const Rows rows = ReadSheet(path, &sheetName);
    EXPECT_EQ(sheetName, "Deposits");
    EXPECT_EQ(rows, (Rows{{"Location", "Time", "Type", "NA", "Video"},
                          {"Gate", "2024-05-01 08:00:00", "Left object", "Hall <A&B>",
                           QUrl::fromLocalFile(QString::fromStdString(jobFolder + "/video/0.rkv")).toString()},
                          {"Yard", "2024-05-01 08:00:01", "Left object", "Hall <A&B>", "NA"}}));
}

}  // namespace
