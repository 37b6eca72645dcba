// The spreadsheet exporter against a writer that records its calls: the order of the calls,
// rows dropped at the stop, and the exporter refusing rows once it cannot write.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <IFileOperation.h>

#include "TestHost.h"
#include "excelexporter.h"
#include "searchfixture.h"

namespace {

using searchtest::Compact;
using searchtest::Parse;
using searchtest::WaitFor;

// Records every call as one text; Open can be held until released.
class RecordingWriter : public IFileOperation {
public:
    bool Open(const std::string& path, const std::string& sheetName) override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_calls.push_back("Open " + path + " " + sheetName);
        m_changed.wait(lock, [this] { return !m_holdOpen; });
        return m_openResult;
    }
    bool AppendRow(const std::string& path, const Json::Value& rows) override
    {
        return Record("AppendRow " + path + " " + Compact(rows));
    }
    bool WriteCells(const std::string& path, const Json::Value& cells) override
    {
        return Record("WriteCells " + path + " " + Compact(cells));
    }
    bool Save(const std::string& path) override { return Record("Save " + path); }
    bool Close(const std::string& path) override { return Record("Close " + path); }

    void SetOpenResult(bool result) { m_openResult = result; }
    void HoldOpen()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_holdOpen = true;
    }
    void ReleaseOpen()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_holdOpen = false;
        m_changed.notify_all();
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_calls;
    }

private:
    bool Record(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_calls.push_back(call);
        return true;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    bool m_openResult = true;
    bool m_holdOpen = false;
};

class ExcelExporter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_writer = new RecordingWriter;
        Foundation::CSharedPtr<IFileOperation> writer(m_writer);
        ASSERT_TRUE(Foundation::RegisterHostObject(m_host.Context(), Foundation::TypeName::IFileOperation, writer));
    }
    void TearDown() override { m_host.ClearObjects(); }

    std::string Folder() const { return m_folder.filePath(QStringLiteral("job")).toStdString(); }
    std::string Path() const { return Folder() + "/ivs.xls"; }

    testsupport::TestHost m_host;
    QTemporaryDir m_folder;
    RecordingWriter* m_writer = nullptr;  // owned by the host
};

const char kHeader[] = R"({"CellFormat": {"Width": 15, "Height": 15, "HAlignment": 0, "VAlignment": 0},
                           "Data": [{"Content": ["Channel", "Time", "Video"]}]})";
const char kRows[] = R"({"Data": [{"Content": ["Gate", "08:00", "file://video/a.rkv"]}]})";

TEST_F(ExcelExporter, RowsAreSavedOneByOneAndCellsComeAfterTheStop)
{
    auto exporter = std::make_unique<Tolvane::CExcelExporter>(m_host.Context(), Folder(), "ivs.xls", "Results");
    EXPECT_EQ(exporter->GetFilePath(), Path());
    ASSERT_TRUE(exporter->Start());
    EXPECT_FALSE(exporter->Start());
    EXPECT_TRUE(exporter->AddRow(Parse(kHeader)));
    EXPECT_TRUE(exporter->AddRow(Parse(kRows)));
    EXPECT_TRUE(exporter->AddCell(Parse(R"({"Row": 2, "Col": 3, "Value": "NA"})")));
    EXPECT_TRUE(exporter->AddCell(Parse(R"({"Row": 5, "Col": 1, "Value": "x"})")));
    ASSERT_TRUE(WaitFor([&] { return m_writer->Calls().size() == 5; }));
    // The folder is made before the file is opened.
    EXPECT_TRUE(QDir(QString::fromStdString(Folder())).exists());
    EXPECT_TRUE(exporter->Stop());
    exporter.reset();

    const std::string path = Path();
    EXPECT_EQ(m_writer->Calls(), (std::vector<std::string>{
                                     "Open " + path + " Results",
                                     "AppendRow " + path + " " + Compact(Parse(kHeader)),
                                     "Save " + path,
                                     "AppendRow " + path + " " + Compact(Parse(kRows)),
                                     "Save " + path,
                                     "WriteCells " + path +
                                         R"( [{"Col":3,"Row":2,"Value":"NA"},{"Col":1,"Row":5,"Value":"x"}])",
                                     "Save " + path,
                                     "Close " + path,
                                 }));
}

TEST_F(ExcelExporter, StopDropsQueuedRowsButStillClosesTheFile)
{
    m_writer->HoldOpen();
    auto exporter = std::make_unique<Tolvane::CExcelExporter>(m_host.Context(), Folder(), "ivs.xls", "S");
    ASSERT_TRUE(exporter->Start());
    ASSERT_TRUE(WaitFor([&] { return m_writer->Calls().size() == 1; }));
    EXPECT_TRUE(exporter->AddRow(Parse(kHeader)));
    EXPECT_TRUE(exporter->AddRow(Parse(kRows)));
    exporter->AddCell(Parse(R"({"Row": 2, "Col": 1, "Value": "kept"})"));
    EXPECT_TRUE(exporter->Stop());
    EXPECT_FALSE(exporter->AddRow(Parse(kRows)));
    m_writer->ReleaseOpen();
    exporter.reset();

    const std::string path = Path();
    EXPECT_EQ(m_writer->Calls(), (std::vector<std::string>{
                                     "Open " + path + " S",
                                     "WriteCells " + path + R"( [{"Col":1,"Row":2,"Value":"kept"}])",
                                     "Save " + path,
                                     "Close " + path,
                                 }));
}

TEST_F(ExcelExporter, StoppedBeforeStartNeverWrites)
{
    {
        Tolvane::CExcelExporter exporter(m_host.Context(), Folder(), "ivs.xls", "S");
        EXPECT_TRUE(exporter.Stop());
        EXPECT_FALSE(exporter.Start());
        EXPECT_FALSE(exporter.AddRow(Parse(kHeader)));
    }
    EXPECT_TRUE(m_writer->Calls().empty());
}

TEST_F(ExcelExporter, RowsAreRefusedOnceTheFileCannotBeWritten)
{
    // A plain file where the folder should be.
    const std::string blocked = m_folder.filePath(QStringLiteral("plain")).toStdString();
    {
        QFile file(QString::fromStdString(blocked));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    struct Case {
        const char* what;
        bool writer;
        bool openResult;
        std::string folder;
        size_t calls;
    };
    const Case cases[] = {
        {"no writer registered", false, true, Folder(), 0},
        {"the writer refuses to open", true, false, Folder(), 1},
        {"the folder cannot be made", true, true, blocked + "/sub", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TestHost host;
        auto* writer = new RecordingWriter;
        writer->SetOpenResult(c.openResult);
        Foundation::CSharedPtr<IFileOperation> shared(writer);
        if (c.writer) {
            ASSERT_TRUE(Foundation::RegisterHostObject(host.Context(), Foundation::TypeName::IFileOperation, shared));
        }
        {
            Tolvane::CExcelExporter exporter(host.Context(), c.folder, "ivs.xls", "S");
            EXPECT_TRUE(exporter.Start());
            EXPECT_TRUE(WaitFor([&] { return !exporter.AddRow(Parse(kRows)); }));
        }
        EXPECT_EQ(writer->Calls().size(), c.calls);
        host.ClearObjects();
    }
}

// Cells may come from other threads while rows are written and the exporter stops.
TEST_F(ExcelExporter, CellsFromSeveralThreadsAreAllWritten)
{
    auto exporter = std::make_unique<Tolvane::CExcelExporter>(m_host.Context(), Folder(), "ivs.xls", "S");
    ASSERT_TRUE(exporter->Start());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                Json::Value cell;
                cell["Row"] = i + 2;
                cell["Col"] = t + 1;
                cell["Value"] = "v";
                exporter->AddCell(cell);
                exporter->AddRow(Parse(kRows));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    exporter.reset();
    const std::vector<std::string> calls = m_writer->Calls();
    ASSERT_GE(calls.size(), 4u);
    const std::string written = calls[calls.size() - 3];
    ASSERT_EQ(written.rfind("WriteCells ", 0), 0u);
    EXPECT_EQ(Parse(written.substr(written.find('['))).size(), 400u);
}

}  // namespace
