// The demo device's own page in the real Brevix, headless, with the real
// modules and the generated demo device: one road of the page per test. The
// page is served as the device serves it, with a driver script that works its
// controls and posts what the page showed; the files the road made are checked
// here, and the program must end cleanly afterwards.
#include "brevixrun.h"
#include "demoframes.h"
#include "sheetreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <json/json.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Road
{
    const char* name;
    int timeoutMs;
};

const Road kRoads[] = {
    {"login", 60000},  {"cameras", 60000}, {"live", 120000},     {"playback", 120000}, {"record", 120000},
    {"audio", 60000},  {"download", 150000}, {"intelligent", 120000}, {"settings", 60000},
    {"client", 60000},
};

QString AppBin(const char* name)
{
    return QStringLiteral(BREVIX_APP_DIR "/") + QString::fromLatin1(name);
}

QStringList FilesIn(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

// The demo device as the build generates it, with downloads slowed down so
// that a running one can be paused.
bool MakeDevice(const QString& devices)
{
    QProcess generator;
    generator.start(AppBin("DemoDevice"), {devices});
    if (!generator.waitForFinished(60000) || generator.exitCode() != 0)
        return false;
    const QString path = devices + QStringLiteral("/demo/device.json");
    Json::Value device;
    if (!Json::Reader().parse(ReadFile(path).toStdString(), device))
        return false;
    device["transferBytesPerSecond"] = 160 * 1024;
    QFile file(path);
    const std::string text = Json::StyledWriter().write(device);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// What the export road's sheet must show for a record the device's search gave, in the
// page's columns: camera, time, event, object (with the page's texts for events and objects).
std::vector<QString> ExpectedRow(const Json::Value& device, const Json::Value& record)
{
    const std::map<std::string, QString> texts = {
        {"LineCrossing", "Line crossing"}, {"Human", "Person"}, {"Vehicle", "Vehicle"}};
    const Json::Value& ivs = record["Summary"]["IVS"];
    const auto text = [&](const Json::Value& value) {
        const auto found = texts.find(value.asString());
        return found != texts.end() ? found->second : QString::fromStdString(value.asString());
    };
    return {QString::fromStdString(device["channels"][record["Channel"].asUInt()]["name"].asString()),
            QString::fromStdString(record["StartTime"].asString()), text(ivs["Rule"]), text(ivs["ObjectType"])};
}

QByteArray Quoted(const QString& text)
{
    return QByteArray::fromStdString(Json::FastWriter().write(Json::Value(text.toStdString()))).trimmed();
}

class DemoPage : public ::testing::TestWithParam<Road>
{
};

TEST_P(DemoPage, Road)
{
    const Road& road = GetParam();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString devices = work.filePath(QStringLiteral("devices"));
    const QString device = devices + QStringLiteral("/demo");
    const QString save = work.filePath(QStringLiteral("save"));
    ASSERT_TRUE(QDir().mkpath(save));
    ASSERT_TRUE(MakeDevice(devices));

    QByteArray page = ReadFile(device + QStringLiteral("/www/index.html"));
    ASSERT_TRUE(page.contains("</body>"));
    BrevixRun run{QByteArray()};
    const QByteArray config = "<script>window.E2E = {road: " + Quoted(QString::fromLatin1(road.name))
        + ", folders: {app: " + Quoted(run.AppFolder()) + ", save: " + Quoted(save) + ", device: "
        + Quoted(device) + "}};</script>\n<script src=\"/demoroads.js\"></script>\n";
    page.replace("</body>", config + "</body>");
    run.Server().AddFile("/", page, "text/html; charset=utf-8");
    run.Server().AddFile("/demoroads.js", ReadFile(QStringLiteral(E2E_DEMO_ROADS)), "text/javascript");
    for (const char* name : {"recordings.json", "channels.json", "files.json"})
        run.Server().AddFile("/" + QByteArray(name), ReadFile(device + QStringLiteral("/www/") + name),
                             "application/json");

    ASSERT_TRUE(run.Prepare(AppBin("libSorquin.so"), {QStringLiteral("Quillnet"), QStringLiteral("play"),
                                                      QStringLiteral("swscale"), QStringLiteral("Vantrel"),
                                                      QStringLiteral("Pravenna")}));
    ASSERT_TRUE(QFile::link(QStringLiteral(E2E_PROBE_MODULE), run.AppFolder() + QStringLiteral("/libHadrune.so")));
    run.SetEnv(QStringLiteral("QUILLNET_DEVICES"), devices);
    run.SetEnv(QStringLiteral("E2E_SCREENSHOT_DIR"), QStringLiteral(E2E_SCREENSHOT_DIR));
    // The page's script errors in the test's output.
    run.SetEnv(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false;js.debug=true"));

    ASSERT_TRUE(run.Start());
    const QList<QByteArray> results = run.WaitForResults(road.timeoutMs);
    ASSERT_EQ(results.size(), 1) << "the page posted nothing";
    EXPECT_TRUE(run.Stop()) << "Brevix did not end cleanly";

    Json::Value outcome;
    ASSERT_TRUE(Json::Reader().parse(results.first().toStdString(), outcome)) << results.first().toStdString();
    std::string events;
    for (const Json::Value& event : outcome["events"])
        events += event.asString() + " ";
    const std::string shown = Styled(outcome["messages"]) + "events: " + events + "\npage log:\n" + outcome["log"].asString();
    ASSERT_GT(outcome["steps"].size(), 1u) << shown;
    for (const Json::Value& step : outcome["steps"])
        EXPECT_TRUE(step["ok"].asBool()) << step["what"].asString() << ": " << step["detail"].asString() << "\n"
                                         << shown;

    const std::string name = road.name;
    const QString app = run.AppFolder();
    if (name == "record") {
        const QStringList videos = FilesIn(app + QStringLiteral("/video"), QStringLiteral("road-0_*.rkv"));
        ASSERT_EQ(videos.size(), 1) << videos.join(' ').toStdString();
        EXPECT_GT(QFileInfo(app + QStringLiteral("/video/") + videos.first()).size(), 1000);
        const QStringList pictures = FilesIn(app + QStringLiteral("/pictures"), QStringLiteral("road-0_*.jpg"));
        ASSERT_EQ(pictures.size(), 1) << pictures.join(' ').toStdString();
        const QImage picture(app + QStringLiteral("/pictures/") + pictures.first());
        EXPECT_EQ(picture.size(), QSize(704, 576));
    } else if (name == "download") {
        const QByteArray recording = ReadFile(device + QStringLiteral("/records/ch3-Main-5.qvp"));
        ASSERT_FALSE(recording.isEmpty());
        EXPECT_TRUE(ReadFile(save + QStringLiteral("/ch3_20240501080000.rkv")) == recording) << "by file";
        EXPECT_TRUE(ReadFile(save + QStringLiteral("/ch3_20240501080000_time.rkv")) == recording) << "by time";
        const QByteArray big = ReadFile(device + QStringLiteral("/files/big.bin"));
        ASSERT_FALSE(big.isEmpty());
        EXPECT_TRUE(ReadFile(save + QStringLiteral("/big.bin")) == big) << "remote file";
    } else if (name == "intelligent") {
        const QStringList jobs = QDir(save).entryList({QStringLiteral("aisearch_*")}, QDir::Dirs);
        ASSERT_EQ(jobs.size(), 1) << "no search folder";
        const QString xls = save + QLatin1Char('/') + jobs.first() + QStringLiteral("/ivs.xls");
        ASSERT_TRUE(QFile::exists(xls)) << "no spreadsheet";
        // The sheet as a spreadsheet program shows it: the page's header, then one row per
        // record of the device's search, every cell from that record.
        Sheet sheet;
        ASSERT_TRUE(ReadSheet(xls, work.path(), sheet)) << "LibreOffice could not read " << xls.toStdString();
        Json::Value deviceJson;
        ASSERT_TRUE(Json::Reader().parse(ReadFile(device + QStringLiteral("/device.json")).toStdString(), deviceJson));
        std::vector<Json::Value> records;
        for (const Json::Value& page : deviceJson["answers"]["mediaFileFind.findNextFile"]["sequence"])
            for (const Json::Value& info : page["params"]["infos"])
                records.push_back(info);
        ASSERT_EQ(records.size(), 5u);
        ASSERT_EQ(sheet.cells.size(), records.size() + 1);
        EXPECT_EQ(sheet.cells[0], (std::vector<QString>{"Camera", "Time", "Event", "Object"}));
        for (size_t i = 0; i < records.size(); ++i)
            EXPECT_EQ(sheet.cells[i + 1], ExpectedRow(deviceJson, records[i])) << "row " << i + 1 << ": " << Styled(records[i]);
    } else if (name == "playback") {
        // Paused and moved to 08:00:40 of the first recording of camera 1: the window shows
        // the picture of that time (the recording's frame 40 s in) before play resumes.
        Json::Value deviceJson;
        ASSERT_TRUE(Json::Reader().parse(ReadFile(device + QStringLiteral("/device.json")).toStdString(), deviceJson));
        const Json::Value& first = deviceJson["recordings"][0];
        ASSERT_EQ(first["startTime"].asString(), "2024-05-01 08:00:00");
        demodevice::StreamParams recording;
        ASSERT_TRUE(ParamsOf(device + QLatin1Char('/') + QString::fromStdString(first["file"].asString()), &recording));
        const std::string expected = FrameHash(recording, 40 * recording.fps);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(outcome["pictures"]["paused-seek"].asString(), expected)
            << "the window's picture while paused is not the frame of 08:00:40";
    } else if (name == "client") {
        EXPECT_EQ(ReadFile(save + QStringLiteral("/note.txt")).toStdString(), "Note from the demo device\nsecond line\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, DemoPage, ::testing::ValuesIn(kRoads),
                         [](const ::testing::TestParamInfo<Road>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
