// The demo device's own page in the real Brevix, headless, with the real
// modules and the generated demo device: one road of the page per test. The
// page is served as the device serves it, with a driver script that works its
// controls and posts what the page showed; the files the road made are checked
// here, and the program must end cleanly afterwards.
#include "brevixrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <json/json.h>

#include <string>

namespace {

struct Road
{
    const char* name;
    int timeoutMs;
};

const Road kRoads[] = {
    {"login", 60000},  {"live", 120000},     {"playback", 120000}, {"record", 120000},
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
    for (const char* name : {"recordings.json", "files.json"})
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
        const QString sheet = save + QLatin1Char('/') + jobs.first() + QStringLiteral("/ivs.xls");
        ASSERT_TRUE(QFile::exists(sheet)) << "no spreadsheet";
        QXmlStreamReader xml(ReadFile(sheet));
        bool workbook = false;
        while (!xml.atEnd())
            workbook = (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("Workbook"))
                || workbook;
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_TRUE(workbook);
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
