// A search download against the simulated demo device with the real spreadsheet writer: the
// device holds fewer recordings than the page asks for, two of them share channel and span.

#include <map>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>

#include "downloadfixture.h"
#include "downloadmanager.h"
#include "exceldataformaterevents.h"
#include "exceldataformaterregistry.h"
#include "quillnetdev.h"

namespace {

using devtest::QuillnetStandIn;
using dltest::Parse;
using dltest::ReadFile;

const QString kNamespace = QStringLiteral("urn:schemas-microsoft-com:office:spreadsheet");

// Cell texts per row of a saved sheet.
std::vector<std::vector<QString>> ReadSheet(const QString& path)
{
    std::vector<std::vector<QString>> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return rows;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.namespaceUri() != kNamespace) {
            continue;
        }
        if (xml.name() == QLatin1String("Row")) {
            rows.emplace_back();
        } else if (xml.name() == QLatin1String("Data") && !rows.empty()) {
            rows.back().push_back(xml.readElementText());
        }
    }
    return rows;
}

class DemoSearchJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(QuillnetStandIn::Load(&error)) << error;
        ASSERT_TRUE(Foundation::JsonParse(ReadFile(m_demo + "/device.json"), m_config));
        ASSERT_TRUE(m_dir.isValid());
        m_vantrel.setFileName(QStringLiteral(VANTREL_LIBRARY_PATH));
        ASSERT_TRUE(m_vantrel.load()) << m_vantrel.errorString().toStdString();
        auto init = reinterpret_cast<void (*)(HostContext*)>(m_vantrel.resolve("InitModule"));
        auto load = reinterpret_cast<bool (*)(HostContext*, const char*)>(m_vantrel.resolve("LoadImplObjects"));
        m_clear = reinterpret_cast<void (*)(void*)>(m_vantrel.resolve("ClearModule"));
        ASSERT_TRUE(init && load && m_clear);
        QuillnetStandIn::FillResolveTable(*m_host);
        init(m_host->Context());
        load(m_host->Context(), "");
        Tolvane::RegisterExcelDataFormater("ivs", &Tolvane::MakeExcelDataFormater<Tolvane::CExcelDataFormaterForIVS>);
        QuillnetStandIn::StartSimulated(DEMO_DEVICES_FOLDER);
        m_device = std::make_unique<Tolvane::CQuillnetDev>(m_host->Context(), "");
        ASSERT_EQ(m_device->LoginDevice("127.0.0.1", 37777, 0, "admin", "admin123", 0, 0), 0);
        dltest::RegisterDevice(m_host->Context(), m_device.get());
    }

    void TearDown() override
    {
        if (m_device) {
            m_device->LogoutDevice();
        }
        m_host->ClearObjects();
        m_device.reset();
        if (m_clear != nullptr) {
            m_clear(m_host->Context());
        }
        m_host->StopWorker();
        QuillnetStandIn::StartScripted();
        m_host.reset();
        m_vantrel.unload();
    }

    const std::string m_demo = std::string(DEMO_DEVICES_FOLDER) + "/demo";
    Json::Value m_config;
    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::TestHost> m_host = std::make_unique<testsupport::TestHost>();
    std::unique_ptr<Tolvane::CQuillnetDev> m_device;
    QLibrary m_vantrel;
    void (*m_clear)(void*) = nullptr;
};

int StartSearch(Tolvane::CDownloadManager& manager, int total, const std::string& folder)
{
    const Json::Value excel = Parse(R"({"AiType": "ivs", "SheetName": "Results",
        "Headers": [{"Key": "SnapLocation", "Value": "Channel"}, {"Key": "SnapTime", "Value": "Time"},
                    {"Key": "VideoName", "Value": "Video"}]})");
    const Json::Value condition =
        Parse(R"({"StartTime": "2024-05-01 00:00:00", "EndTime": "2024-05-01 23:59:59", "Channels": []})");
    return manager.aiSearchDownload(total, Parse(R"({"Type": ["rkv", "xls"]})"), folder, excel, condition,
                                    Json::Value(Json::arrayValue), Json::Value(Json::arrayValue));
}

TEST_F(DemoSearchJob, EndsWithWhatTheDeviceHasAndEachRowLinksItsOwnVideo)
{
    const int recordings = static_cast<int>(m_config["recordings"].size());
    ASSERT_GT(recordings, 0);
    Tolvane::CDownloadManager manager(m_host->Context(), "");
    const int token = StartSearch(manager, recordings * 2, m_dir.path().toStdString());
    ASSERT_GE(token, 0);
    bool gone = false;
    Json::Value last;
    for (int tick = 0; tick < 1500 && !gone; ++tick) {
        manager.OnTick(1);
        const Json::Value state = manager.getState(token);
        gone = state.isNull();
        last = gone ? last : state;
        QThread::msleep(20);
    }
    ASSERT_TRUE(gone) << "the job never ended: " << last.toStyledString();
    manager.WaitForBackgroundTasks();

    const QString jobFolder = m_dir.filePath(QStringLiteral("aisearch_20240501000000_20240501235959"));
    const auto rows = ReadSheet(jobFolder + QStringLiteral("/ivs.xls"));
    ASSERT_EQ(static_cast<int>(rows.size()), recordings + 1) << "header and one row per recording";
    std::set<QString> links;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u);
        const QString video = QUrl(rows[i][2]).toLocalFile();
        EXPECT_TRUE(QFile::exists(video)) << rows[i][2].toStdString();
        EXPECT_TRUE(links.insert(video).second) << "two rows link " << video.toStdString();
    }
    // Every video written is linked by its row.
    QDirIterator written(jobFolder + QStringLiteral("/video"), QDir::Files);
    int files = 0;
    for (; written.hasNext(); ++files) {
        EXPECT_EQ(links.count(written.next()), 1u) << written.filePath().toStdString();
    }
    EXPECT_EQ(files, recordings);
}

}  // namespace

namespace {

// Stopped part way: a row links only a video that is there and whole; the others read "NA",
// and no cut-off video is left in the folder.
TEST_F(DemoSearchJob, StoppedPartWayLeavesOnlyWholeVideosLinked)
{
    std::set<std::string> whole;
    for (const Json::Value& recording : m_config["recordings"]) {
        whole.insert(ReadFile(m_demo + "/" + recording["file"].asString()));
    }
    Tolvane::CDownloadManager manager(m_host->Context(), "");
    const int token = StartSearch(manager, static_cast<int>(m_config["recordings"].size()),
                                  m_dir.path().toStdString());
    ASSERT_GE(token, 0);
    const QString videos = m_dir.filePath(QStringLiteral("aisearch_20240501000000_20240501235959/video"));
    bool stopped = false;
    for (int tick = 0; tick < 1500 && !stopped; ++tick) {
        manager.OnTick(1);
        const Json::Value state = manager.getState(token);
        ASSERT_FALSE(state.isNull()) << "ended before it could be stopped";
        // Stopped while a video is on its way.
        if (QDir(videos).entryList(QDir::Files).size() > 0 && state[0]["process"].asInt() < 100) {
            stopped = manager.stopAiSearchDownload(token);
        }
        QThread::msleep(20);
    }
    ASSERT_TRUE(stopped);
    for (int tick = 0; tick < 100 && !manager.getState(token).isNull(); ++tick) {
        manager.OnTick(1);
    }
    ASSERT_TRUE(manager.getState(token).isNull());
    manager.WaitForBackgroundTasks();

    for (const QString& name : QDir(videos).entryList(QDir::Files)) {
        EXPECT_EQ(whole.count(ReadFile((videos + "/" + name).toStdString())), 1u) << name.toStdString() << " is cut off";
    }
    const auto rows = ReadSheet(QFileInfo(videos).absolutePath() + QStringLiteral("/ivs.xls"));
    ASSERT_GT(rows.size(), 1u);
    int linked = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u);
        if (rows[i][2] == QLatin1String("NA")) {
            continue;
        }
        ++linked;
        const std::string video = QUrl(rows[i][2]).toLocalFile().toStdString();
        EXPECT_EQ(whole.count(ReadFile(video)), 1u) << "row " << i << " links " << video;
    }
    EXPECT_LT(linked, static_cast<int>(rows.size()) - 1);
}

}  // namespace
