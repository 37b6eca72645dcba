// The spreadsheet writer module, loaded by path through the in-memory host: what it writes
// must read back as an XML spreadsheet with the right cells after every save.

#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>
#include <json/json.h>

#include <foundation/TypeNames.h>

#include "IFileOperation.h"
#include "TestHost.h"
#include "smallfs.h"

namespace {

const QString kNamespace = QStringLiteral("urn:schemas-microsoft-com:office:spreadsheet");

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
    return value;
}

// What a saved file holds, read back independently of the writer.
struct ReadBack {
    QString error;  // empty when the file parsed as a workbook
    QString sheetName;
    std::vector<std::vector<QString>> rows;  // cell texts, gaps as empty texts
    std::map<std::pair<int, int>, QString> links;  // (row, column) from 1 -> link
    std::map<std::pair<int, int>, QString> formulas;
    std::map<int, double> columnWidths;
    std::vector<double> rowHeights;
};

ReadBack Read(const QString& path)
{
    ReadBack sheet;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        sheet.error = QStringLiteral("cannot open");
        return sheet;
    }
    QXmlStreamReader xml(&file);
    int column = 0;
    bool sawWorkbook = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.namespaceUri() != kNamespace) {
            sheet.error = QStringLiteral("element outside the workbook namespace: ") + xml.name();
            return sheet;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringRef name = xml.name();
        if (name == QLatin1String("Workbook")) {
            sawWorkbook = true;
        } else if (name == QLatin1String("Worksheet")) {
            sheet.sheetName = attributes.value(kNamespace, QStringLiteral("Name")).toString();
        } else if (name == QLatin1String("Column")) {
            sheet.columnWidths[attributes.value(kNamespace, QStringLiteral("Index")).toInt()] =
                attributes.value(kNamespace, QStringLiteral("Width")).toDouble();
        } else if (name == QLatin1String("Row")) {
            sheet.rows.emplace_back();
            sheet.rowHeights.push_back(attributes.value(kNamespace, QStringLiteral("Height")).toDouble());
            column = 0;
        } else if (name == QLatin1String("Cell")) {
            const QStringRef index = attributes.value(kNamespace, QStringLiteral("Index"));
            column = index.isEmpty() ? column + 1 : index.toInt();
            const QStringRef link = attributes.value(kNamespace, QStringLiteral("HRef"));
            if (!link.isEmpty()) {
                sheet.links[{static_cast<int>(sheet.rows.size()), column}] = link.toString();
            }
            const QStringRef formula = attributes.value(kNamespace, QStringLiteral("Formula"));
            if (!formula.isEmpty()) {
                sheet.formulas[{static_cast<int>(sheet.rows.size()), column}] = formula.toString();
            }
        } else if (name == QLatin1String("Data")) {
            std::vector<QString>& row = sheet.rows.back();
            row.resize(std::max<std::size_t>(row.size(), column));
            row[column - 1] = xml.readElementText();
        }
    }
    if (xml.hasError()) {
        sheet.error = xml.errorString();
    } else if (!sawWorkbook) {
        sheet.error = QStringLiteral("no workbook");
    }
    return sheet;
}

using Row = std::vector<QString>;

class VantrelModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_library.setFileName(QStringLiteral(VANTREL_LIBRARY_PATH));
        ASSERT_TRUE(m_library.load()) << m_library.errorString().toStdString();
        auto init = reinterpret_cast<void (*)(HostContext*)>(m_library.resolve("InitModule"));
        auto load = reinterpret_cast<bool (*)(HostContext*, const char*)>(m_library.resolve("LoadImplObjects"));
        m_clear = reinterpret_cast<void (*)(void*)>(m_library.resolve("ClearModule"));
        ASSERT_TRUE(init && load && m_clear);
        init(m_host->Context());
        load(m_host->Context(), "");
        m_writer = m_host->QueryService<IFileOperation>(Foundation::TypeName::IFileOperation);
        ASSERT_TRUE(m_writer);
        ASSERT_TRUE(m_folder.isValid());
    }

    void TearDown() override
    {
        m_writer = Foundation::CSharedPtr<IFileOperation>();
        m_host->ClearObjects();
        if (m_clear != nullptr) {
            m_clear(m_host->Context());
        }
        m_host->StopWorker();
        m_host.reset();
        m_library.unload();
    }

    std::string PathOf(const char* name) const { return m_folder.filePath(QString::fromUtf8(name)).toStdString(); }

    std::unique_ptr<testsupport::TestHost> m_host = std::make_unique<testsupport::TestHost>();
    QLibrary m_library;
    void (*m_clear)(void*) = nullptr;
    Foundation::CSharedPtr<IFileOperation> m_writer;
    QTemporaryDir m_folder;
};

const char kHeaderBlock[] = R"({"CellFormat": {"Width": 15, "Height": 15, "HAlignment": 0, "VAlignment": 0},
                                "Data": [{"Content": ["Snap location", "Snap time", "Face picture"]}]})";

TEST_F(VantrelModule, RegistersOnlyTheWriter)
{
    EXPECT_EQ(m_host->ObjectNames(), std::vector<std::string>{"class IFileOperation"});
    EXPECT_TRUE(m_host->MethodNames().empty());
}

TEST_F(VantrelModule, EverySaveLeavesACompleteWorkbook)
{
    const std::string path = PathOf("Face_Attr.xls");
    ASSERT_TRUE(m_writer->Open(path, "Faces"));
    ReadBack sheet = Read(QString::fromStdString(path));
    EXPECT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.sheetName, "Faces");
    EXPECT_TRUE(sheet.rows.empty());

    EXPECT_TRUE(m_writer->AppendRow(path, Parse(kHeaderBlock)));
    EXPECT_TRUE(m_writer->Save(path));
    sheet = Read(QString::fromStdString(path));
    ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.rows, (std::vector<Row>{{"Snap location", "Snap time", "Face picture"}}));
    EXPECT_EQ(sheet.rowHeights, std::vector<double>{15});
    EXPECT_EQ(sheet.columnWidths.size(), 3u);

    EXPECT_TRUE(m_writer->AppendRow(path, Parse(R"({"Data": [
        {"Content": ["Gate/1", "2020-05-01 08:00:00", "file://result/facePic/Gate1_f1.jpg"]},
        {"Content": ["<b>&amp;\"quoted\"", "Stra\u00dfe \u4eac \ud83d\ude00", "tab\there\u0001\u001f!"]},
        {"Content": [7, 2.5, null]}]})")));
    EXPECT_TRUE(m_writer->Save(path));
    sheet = Read(QString::fromStdString(path));
    ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    ASSERT_EQ(sheet.rows.size(), 4u);
    EXPECT_EQ(sheet.rows[1], (Row{"Gate/1", "2020-05-01 08:00:00", "file://result/facePic/Gate1_f1.jpg"}));
    EXPECT_EQ(sheet.rows[2], (Row{"<b>&amp;\"quoted\"", QString::fromUtf8("Stra\u00dfe \u4eac \U0001F600"),
                                  "tab\there!"}));
    EXPECT_EQ(sheet.rows[3], (Row{"7", "2.5"}));
    EXPECT_EQ(sheet.links, (std::map<std::pair<int, int>, QString>{
                               {{2, 3}, "file://result/facePic/Gate1_f1.jpg"}}));

    // No temporary file is left beside the sheet.
    EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files), QStringList{"Face_Attr.xls"});
    EXPECT_TRUE(m_writer->Close(path));
}

TEST_F(VantrelModule, CellsReplaceAndExtendAfterTheRows)
{
    const std::string path = PathOf("vehicle.xls");
    ASSERT_TRUE(m_writer->Open(path, "Vehicles"));
    ASSERT_TRUE(m_writer->AppendRow(path, Parse(kHeaderBlock)));
    ASSERT_TRUE(m_writer->AppendRow(path, Parse(R"({"Data": [{"Content": ["a", "b", "file://x.rkv"]},
                                                             {"Content": ["c", "d", "file://y.rkv"]}]})")));
    // Bad records are refused; the good ones are still set.
    EXPECT_FALSE(m_writer->WriteCells(path, Parse(R"([
        {"Row": 2, "Col": 3, "Value": "NA"},
        {"Row": 5, "Col": 2, "Value": "late"},
        {"Row": 0, "Col": 1, "Value": "x"},
        {"Row": 2000000, "Col": 1, "Value": "x"},
        {"Row": "3", "Col": 1, "Value": "x"},
        {"Col": 1, "Value": "x"},
        "garbage"])")));
    EXPECT_TRUE(m_writer->Save(path));
    EXPECT_TRUE(m_writer->Close(path));

    const ReadBack sheet = Read(QString::fromStdString(path));
    ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.rows, (std::vector<Row>{{"Snap location", "Snap time", "Face picture"},
                                            {"a", "b", "NA"},
                                            {"c", "d", "file://y.rkv"},
                                            {},
                                            {"", "late"}}));
    EXPECT_EQ(sheet.links.count({2, 3}), 0u);
    EXPECT_EQ(sheet.links.count({3, 3}), 1u);
}

// A link cell carries an encoded target, also as a formula that programs which skip the
// link attribute on import still resolve; its text stays as given.
TEST_F(VantrelModule, LinksAreEncodedAndWrittenAsFormulasToo)
{
    const std::string path = PathOf("links.xls");
    ASSERT_TRUE(m_writer->Open(path, "Links"));
    ASSERT_TRUE(m_writer->AppendRow(
        path, Parse(R"({"Data": [{"Content": ["file:///srv/job (1)/a b.rkv", "file:///srv/say \"hi\".jpg"]}]})")));
    EXPECT_TRUE(m_writer->Close(path));

    const ReadBack sheet = Read(QString::fromStdString(path));
    ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.rows, (std::vector<Row>{{"file:///srv/job (1)/a b.rkv", "file:///srv/say \"hi\".jpg"}}));
    EXPECT_EQ(sheet.links, (std::map<std::pair<int, int>, QString>{
                               {{1, 1}, "file:///srv/job%20(1)/a%20b.rkv"}, {{1, 2}, "file:///srv/say%20%22hi%22.jpg"}}));
    EXPECT_EQ(sheet.formulas,
              (std::map<std::pair<int, int>, QString>{
                  {{1, 1}, "=HYPERLINK(\"file:///srv/job%20(1)/a%20b.rkv\",\"file:///srv/job (1)/a b.rkv\")"},
                  {{1, 2}, "=HYPERLINK(\"file:///srv/say%20%22hi%22.jpg\",\"file:///srv/say \"\"hi\"\".jpg\")"}}));
}

TEST_F(VantrelModule, OneSheetPerPathUntilTheLastClose)
{
    const std::string path = PathOf("shared.xls");
    ASSERT_TRUE(m_writer->Open(path, "First"));
    ASSERT_TRUE(m_writer->Open(QDir(m_folder.path()).filePath("./shared.xls").toStdString(), "Second"));
    EXPECT_TRUE(m_writer->AppendRow(path, Parse(R"({"Data": [{"Content": ["one"]}]})")));
    EXPECT_TRUE(m_writer->Close(path));
    // Still open for the other user; the last close saves what was not saved.
    EXPECT_TRUE(m_writer->AppendRow(path, Parse(R"({"Data": [["two"]]})")));
    EXPECT_TRUE(m_writer->Close(path));
    EXPECT_FALSE(m_writer->AppendRow(path, Parse(R"({"Data": [["three"]]})")));
    EXPECT_FALSE(m_writer->Close(path));

    const ReadBack sheet = Read(QString::fromStdString(path));
    ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.sheetName, "First");
    EXPECT_EQ(sheet.rows, (std::vector<Row>{{"one"}, {"two"}}));

    // Opened again later, the path starts a new sheet.
    ASSERT_TRUE(m_writer->Open(path, "Again"));
    EXPECT_TRUE(m_writer->Close(path));
    EXPECT_TRUE(Read(QString::fromStdString(path)).rows.empty());
}

TEST_F(VantrelModule, RefusesWhatItCannotWrite)
{
    const std::string missing = PathOf("no/such/folder/x.xls");
    EXPECT_FALSE(m_writer->Open(missing, "S"));
    EXPECT_FALSE(m_writer->Open("", "S"));
    EXPECT_FALSE(m_writer->AppendRow(missing, Parse(kHeaderBlock)));
    EXPECT_FALSE(m_writer->WriteCells(missing, Parse("[]")));
    EXPECT_FALSE(m_writer->Save(missing));
    EXPECT_FALSE(m_writer->Close(missing));

    const std::string path = PathOf("empty.xls");
    ASSERT_TRUE(m_writer->Open(path, "S"));
    for (const char* block : {"null", "[]", R"({"Data": "x"})", R"({"Data": []})", R"({"CellFormat": {}})"}) {
        EXPECT_FALSE(m_writer->AppendRow(path, Parse(block))) << block;
    }
    EXPECT_TRUE(m_writer->Close(path));
}

// A block of `count` data rows of about 250 bytes each as written.
Json::Value Rows(int count)
{
    Json::Value block(Json::objectValue);
    for (int i = 0; i < count; ++i) {
        Json::Value row(Json::objectValue);
        row["Content"].append("Channel " + std::to_string(i));
        row["Content"].append(std::string(60, 'x'));
        block["Data"].append(row);
    }
    return block;
}

// The writer buffers its text, so a full disk shows only when the buffer goes out: the save
// must fail then and leave the last complete sheet in place, not an empty or short one.
TEST_F(VantrelModule, AFullDiskFailsTheSaveAndKeepsTheLastCompleteSheet)
{
    SmallFileSystem small;
    const QString folder = m_folder.filePath(QStringLiteral("small"));
    QString why;
    if (!small.Mount(folder, 256 * 1024, &why)) {
        GTEST_SKIP() << "no small file system: " << why.toStdString();
    }
    const std::string path = (folder + QStringLiteral("/ivs.xls")).toStdString();
    ASSERT_TRUE(m_writer->Open(path, "Results"));
    ASSERT_TRUE(m_writer->AppendRow(path, Rows(3)));
    ASSERT_TRUE(m_writer->Save(path));
    ASSERT_EQ(Read(QString::fromStdString(path)).rows.size(), 3u);

    // Less than the write buffer, more than the room left.
    ASSERT_TRUE(small.FillLeaving(4 * 1024));
    ASSERT_TRUE(m_writer->AppendRow(path, Rows(40)));
    EXPECT_FALSE(m_writer->Save(path));
    EXPECT_FALSE(m_writer->Close(path));
    const ReadBack sheet = Read(QString::fromStdString(path));
    EXPECT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
    EXPECT_EQ(sheet.rows.size(), 3u);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral(".filler"), QStringLiteral("ivs.xls")}))
        << "a temporary file was left";
}

TEST_F(VantrelModule, SheetNamesAreCleaned)
{
    const struct {
        const char* given;
        const char* written;
    } cases[] = {
        {"Results", "Results"},
        {"a[b]:c*d?e/f\\g", "abcdefg"},
        {"", "Sheet1"},
        {"[]:*?", "Sheet1"},
        {"0123456789012345678901234567890123456789", "0123456789012345678901234567890"},
    };
    for (const auto& c : cases) {
        const std::string path = PathOf("names.xls");
        ASSERT_TRUE(m_writer->Open(path, c.given));
        EXPECT_EQ(Read(QString::fromStdString(path)).sheetName, c.written) << c.given;
        EXPECT_TRUE(m_writer->Close(path));
    }
}

TEST_F(VantrelModule, SeveralFilesAtOnce)
{
    constexpr int kFiles = 4;
    constexpr int kBlocks = 30;
    std::vector<std::thread> writers;
    for (int f = 0; f < kFiles; ++f) {
        writers.emplace_back([this, f] {
            const std::string path = PathOf(("kind" + std::to_string(f) + ".xls").c_str());
            if (!m_writer->Open(path, "S")) {
                return;
            }
            for (int b = 0; b < kBlocks; ++b) {
                Json::Value block;
                block["Data"][0]["Content"][0] = std::to_string(b);
                m_writer->AppendRow(path, block);
                m_writer->Save(path);
            }
            m_writer->Close(path);
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (int f = 0; f < kFiles; ++f) {
        const ReadBack sheet = Read(m_folder.filePath(QStringLiteral("kind%1.xls").arg(f)));
        ASSERT_TRUE(sheet.error.isEmpty()) << sheet.error.toStdString();
        ASSERT_EQ(sheet.rows.size(), static_cast<std::size_t>(kBlocks));
        EXPECT_EQ(sheet.rows.back(), (Row{QString::number(kBlocks - 1)}));
    }
}

}  // namespace
