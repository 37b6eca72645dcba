// Sheets that cannot be written, with the real spreadsheet writer: the exporter and a search
// job on a full disk or in a folder they may not write. A failed save leaves no partial sheet
// behind, and the job says the sheet failed.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>

#include <gtest/gtest.h>
#include <json/json.h>

#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include "IFileOperation.h"
#include "TestHost.h"
#include "modulebypath.h"
#include "downloadctrl.h"
#include "downloadmanager.h"
#include "exceldataformaterevents.h"
#include "exceldataformaterregistry.h"
#include "excelexporter.h"
#include "smallfs.h"

namespace {

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

// The number of rows of a saved workbook; -1 when the file is missing or is no workbook.
int RowsOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    QXmlStreamReader xml(&file);
    int rows = 0;
    bool workbook = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        workbook = workbook || xml.name() == QLatin1String("Workbook");
        rows += xml.name() == QLatin1String("Row") ? 1 : 0;
    }
    return xml.hasError() || !workbook ? -1 : rows;
}

// Every file below the folder, by path relative to it.
QStringList FilesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String("/.filler"))) {
            files << QDir(folder).relativeFilePath(path);
        }
    }
    return files;
}

// A block of `count` data rows of about 100 bytes each.
Json::Value Rows(int count)
{
    Json::Value block(Json::objectValue);
    for (int i = 0; i < count; ++i) {
        Json::Value row(Json::objectValue);
        row["Content"].append("Channel " + std::to_string(i));
        row["Content"].append("2024-05-01 08:00:00");
        row["Content"].append(std::string(60, 'x'));
        block["Data"].append(row);
    }
    return block;
}

// A folder this process may not write into, also as root: a small file system mounted read
// only, or (without the right to mount) a folder without write permission.
class UnwritableFolder {
public:
    bool Make(const QString& folder, QString* why)
    {
        if (m_small.Mount(folder, 1 << 20, why)) {
            if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs",
                        MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, "size=1048576") != 0) {
                *why = QStringLiteral("cannot mount read only");
                return false;
            }
            return true;
        }
        if (::geteuid() == 0) {
            return false;  // root writes through permissions: only a read-only mount holds it
        }
        m_folder = folder;
        return ::chmod(QFile::encodeName(folder).constData(), 0555) == 0;
    }
    ~UnwritableFolder()
    {
        if (!m_folder.isEmpty()) {
            ::chmod(QFile::encodeName(m_folder).constData(), 0755);
        }
    }

private:
    SmallFileSystem m_small;
    QString m_folder;
};

// The spreadsheet writer module loaded by path into the in-memory host.
class SheetFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_vantrel.Error().empty()) << m_vantrel.Error();
        m_vantrel.Load();
        m_writer = m_vantrel.Host().QueryService<IFileOperation>(Foundation::TypeName::IFileOperation);
        ASSERT_TRUE(m_writer);
        Tolvane::RegisterExcelDataFormater("ivs", &Tolvane::MakeExcelDataFormater<Tolvane::CExcelDataFormaterForIVS>);
    }

    void TearDown() override
    {
        m_writer = Foundation::CSharedPtr<IFileOperation>();
        m_vantrel.Unload();
    }

    LoadedModule m_vantrel{VANTREL_LIBRARY_PATH};
    Foundation::CSharedPtr<IFileOperation> m_writer;
    QTemporaryDir m_dir;
};

// The exporter's sheet fails when the disk fills part way and when its folder may not be
// written; either way the exporter says so and leaves no sheet behind.
TEST_F(SheetFailure, ExporterFailsWithoutASheetWhenItCannotSave)
{
    struct Case {
        const char* what;
        bool fullPartWay;
    };
    for (const Case& c : {Case{"the disk fills part way", true}, Case{"the folder may not be written", false}}) {
        SCOPED_TRACE(c.what);
        const QString folder = m_dir.filePath(QStringLiteral("case"));
        SmallFileSystem small;
        UnwritableFolder unwritable;
        QString why;
        if (c.fullPartWay) {
            if (!small.Mount(folder, 256 * 1024, &why) || !small.FillLeaving(24 * 1024)) {
                GTEST_SKIP() << "no small file system: " << why.toStdString();
            }
        } else if (!QDir().mkpath(folder) || !unwritable.Make(folder, &why)) {
            GTEST_SKIP() << "no folder that cannot be written: " << why.toStdString();
        }
        const std::string jobFolder = (folder + QStringLiteral("/job")).toStdString();
        Tolvane::CExcelExporter exporter(m_vantrel.Context(), c.fullPartWay ? jobFolder : folder.toStdString(),
                                         "ivs.xls", "Results");
        ASSERT_TRUE(exporter.Start());
        for (int i = 0; i < 40; ++i) {
            exporter.AddRow(Rows(10));  // about 1 KiB each: the disk is full long before the end
        }
        EXPECT_FALSE(exporter.Finish());
        EXPECT_TRUE(exporter.IsFailed());
        EXPECT_FALSE(exporter.AddRow(Rows(1)));
        EXPECT_EQ(FilesBelow(folder), QStringList()) << "a partial sheet was left";
    }
}

// A search job asked for a sheet only: its files need nothing fetched, so everything hangs
// on the sheet.
Json::Value SheetOnlySearch(int files)
{
    Json::Value description(Json::objectValue);
    description["SaveType"] = Parse(R"(["xls"])");
    for (int i = 0; i < files; ++i) {
        Json::Value record = Parse(R"({"Channel": 1, "EndTime": "2024-05-01 08:00:10", "FilePath": "/mnt/a.rkv"})");
        record["StartTime"] = "2024-05-01 08:00:" + std::to_string(10 + i % 50);
        description["FileList"].append(record);
    }
    description["SearchParam"]["Condition"] =
        Parse(R"({"StartTime": "2024-05-01 00:00:00", "EndTime": "2024-05-01 23:59:59", "Channels": [1],
                  "ChannelNames": ["Gate"]})");
    description["SearchParam"]["ToTalNum"] = files;
    description["ExcelParam"] = Parse(R"({"AiType": "ivs", "SheetName": "Results", "SubPath": "aisearch",
        "Headers": [{"Key": "SnapLocation", "Value": "Channel"}, {"Key": "SnapTime", "Value": "Time"},
                    {"Key": "Type", "Value": "Event"}]})");
    return description;
}

// A job whose sheet could not be written ends as failed (state 5) with the sheet named in
// its progress record, and the page's progress event carries the error; a job whose sheet
// was written ends as before.
TEST_F(SheetFailure, SearchJobEndsAsFailedWhenItsSheetCannotBeWritten)
{
    enum class Disk { Plenty, FullPartWay, Unwritable };
    struct Case {
        const char* what;
        Disk disk;
        int state;
    };
    const Case cases[] = {
        {"the sheet is written", Disk::Plenty, 3},
        {"the disk fills part way", Disk::FullPartWay, 5},
        {"the folder may not be written", Disk::Unwritable, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = m_dir.filePath(QStringLiteral("save"));
        ASSERT_TRUE(QDir(folder).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(folder));
        SmallFileSystem small;
        UnwritableFolder unwritable;
        QString why;
        if (c.disk == Disk::FullPartWay &&
            (!small.Mount(folder, 512 * 1024, &why) || !small.FillLeaving(40 * 1024))) {
            GTEST_SKIP() << "no small file system: " << why.toStdString();
        }
        if (c.disk == Disk::Unwritable && !unwritable.Make(folder, &why)) {
            GTEST_SKIP() << "no folder that cannot be written: " << why.toStdString();
        }
        m_vantrel.Host().ClearSentTexts();
        Json::Value last;
        {
            Tolvane::CDownloadManager manager(m_vantrel.Context(), "");
            const Json::Value description = SheetOnlySearch(600);  // some 120 KiB of rows
            const int token = manager.aiSearchDownload(
                600, Parse(R"({"Type": ["xls"]})"), folder.toStdString(), description["ExcelParam"],
                description["SearchParam"]["Condition"], description["FileList"], Json::Value(Json::arrayValue));
            ASSERT_GE(token, 0);
            for (int tick = 0; tick < 1500 && !manager.getState(token).isNull(); ++tick) {
                manager.OnTick(1);
                QThread::msleep(20);
            }
            ASSERT_TRUE(manager.getState(token).isNull()) << "the job did not end";
        }
        for (const std::string& text : m_vantrel.Host().SentTexts()) {
            Json::Value event = Parse(text);
            if (event["event"] == "notifyDownloadAllProcess") {
                last = event["params"][0];
            }
        }
        EXPECT_EQ(last["process"].asInt(), 100);
        const QString sheet = folder + QStringLiteral("/aisearch_20240501000000_20240501235959/ivs.xls");
        if (c.state == 3) {
            EXPECT_FALSE(last.isMember("errorCode")) << last.toStyledString();
            EXPECT_EQ(RowsOf(sheet), 601);
        } else {
            EXPECT_EQ(last["errorCode"].asInt(), 5) << last.toStyledString();
            EXPECT_FALSE(QFile::exists(sheet)) << "a partial sheet was left";
        }
    }
}

// The job's own record: the failed sheet by path and state 5, once the job has ended.
TEST_F(SheetFailure, JobRecordNamesTheFailedSheet)
{
    const QString folder = m_dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(folder));
    UnwritableFolder unwritable;
    QString why;
    if (!unwritable.Make(folder, &why)) {
        GTEST_SKIP() << "no folder that cannot be written: " << why.toStdString();
    }
    Tolvane::CDownloadCtrl job(m_vantrel.Context(), SheetOnlySearch(2), folder.toStdString());
    ASSERT_TRUE(job.Start());
    Json::Value record;
    for (int i = 0; i < 1500; ++i) {
        record = job.GetProgress();
        if (record["State"].asInt() != Tolvane::CDownloadCtrl::StateRunning) {
            break;
        }
        QThread::msleep(10);
    }
    EXPECT_EQ(record["State"].asInt(), Tolvane::CDownloadCtrl::StateFailed) << record.toStyledString();
    EXPECT_EQ(record["FailedSheets"], Parse("[\"" + job.GetJobFolder() + "/ivs.xls\"]"));
    EXPECT_EQ(job.GetProgress()["State"].asInt(), Tolvane::CDownloadCtrl::StateFailed);
}

}  // namespace
