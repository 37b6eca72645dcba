// Downloads end to end: the real Brevix, headless, logged in to a copy of the simulated demo
// device whose search results carry pictures, runs an intelligent search download with
// videos, pictures and a sheet, a plain recording download and a remote file download from a
// page of ours. The sheet is read back by a spreadsheet program (converted headless), each row
// against its record, each link against the file it names. A second run stops a search part
// way: whatever the sheet or the folders then hold is complete.
#include "brevixrun.h"
#include "sheetreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <json/json.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const char kStart[] = "2024-05-01 00:00:00";
const char kEnd[] = "2024-05-01 23:59:59";
constexpr int kChannels = 16;
// The device's player program, which the client fetches beside downloaded recordings.
const char kPlayerProgram[] = "/mnt/client/Orbisplay.exe";

// The name the page gives a channel.
QString ChannelName(int channel)
{
    return QStringLiteral("Cam-%1").arg(channel);
}

Json::Value ParseJson(const QByteArray& text)
{
    Json::Value value;
    Json::Reader().parse(text.toStdString(), value);
    return value;
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        ok = QDir().mkpath(QFileInfo(target).absolutePath()) && QFile::copy(source, target) && ok;
    }
    return ok;
}

// The demo device as built, its search results given intelligent-event data with a picture
// each (the device's own pictures, in turn); the device's configuration is returned.
bool MakeDevice(const QString& devices, Json::Value& config)
{
    const QString demo = QStringLiteral(BREVIX_APP_DIR "/devices/demo");
    const QString copy = devices + QStringLiteral("/demo");
    if (!CopyFolder(demo, copy))
        return false;
    config = ParseJson(ReadFile(copy + QStringLiteral("/device.json")));
    std::vector<std::string> pictures;
    for (const std::string& path : config["remoteFiles"].getMemberNames()) {
        const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
        if (suffix == QLatin1String("bmp") || suffix == QLatin1String("jpg") || suffix == QLatin1String("png"))
            pictures.push_back(path);
    }
    Json::Value& sequence = config["answers"]["mediaFileFind.findNextFile"]["sequence"];
    if (pictures.empty() || !sequence.isArray())
        return false;
    size_t next = 0;
    for (Json::Value& page : sequence) {
        for (Json::Value& info : page["params"]["infos"]) {
            Json::Value& ivs = info["Summary"]["IVS"];
            ivs["Rule"] = "LineCrossing";
            ivs["ObjectType"] = "Human";
            ivs["ImageInfo"]["FilePath"] = pictures[next++ % pictures.size()];
        }
    }
    return WriteBytes(copy + QStringLiteral("/device.json"), QByteArray::fromStdString(Styled(config)));
}

// The records the device's search answers, in order.
std::vector<Json::Value> Records(const Json::Value& config)
{
    std::vector<Json::Value> records;
    for (const Json::Value& page : config["answers"]["mediaFileFind.findNextFile"]["sequence"])
        for (const Json::Value& info : page["params"]["infos"])
            records.push_back(info);
    return records;
}

QByteArray DeviceFile(const QString& devices, const Json::Value& config, const std::string& remotePath)
{
    return ReadFile(devices + QStringLiteral("/demo/") + QString::fromStdString(config["remoteFiles"][remotePath].asString()));
}

// The bytes a complete video of the record holds: the main-stream recording of its channel
// that starts when it starts.
QByteArray ExpectedVideo(const QString& devices, const Json::Value& config, const Json::Value& record)
{
    for (const Json::Value& recording : config["recordings"]) {
        if (recording["channel"] == record["Channel"] && recording["stream"].asString() == "Main"
            && recording["startTime"] == record["StartTime"])
            return ReadFile(devices + QStringLiteral("/demo/") + QString::fromStdString(recording["file"].asString()));
    }
    return QByteArray();
}

std::string PageConfig(const QString& mode, const QString& root, int total, const Json::Value& recording,
                       const Json::Value& remoteFiles)
{
    Json::Value page;
    page["mode"] = mode.toStdString();
    page["port"] = 37777;
    page["giveUpMs"] = 150000;
    Json::Value& search = page["search"];
    search["totalNum"] = total;
    search["downloadType"]["Type"].append("rkv");
    search["downloadType"]["Type"].append("jpg");
    search["downloadType"]["Type"].append("xls");
    search["savePath"] = (root + QStringLiteral("/search")).toStdString();
    Json::Value& param = search["param"];
    param["AiType"] = "ivs";
    param["SheetName"] = "Results";
    param["Translate"]["LineCrossing"] = "Line crossing";
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"SnapLocation", "Channel"}, {"SnapTime", "Time"}, {"Type", "Event"},
             {"ObjectPic", "Picture"}, {"VideoName", "Video"}}) {
        Json::Value header;
        header["Key"] = key;
        header["Value"] = value;
        param["Headers"].append(header);
    }
    Json::Value& condition = search["condition"];
    condition["StartTime"] = kStart;
    condition["EndTime"] = kEnd;
    for (int channel = 0; channel < kChannels; ++channel) {
        condition["Channels"].append(channel);
        condition["ChannelNames"].append(ChannelName(channel).toStdString());
    }
    search["filelist"] = Json::Value(Json::arrayValue);
    search["excludeList"] = Json::Value(Json::arrayValue);
    page["recording"] = recording;
    page["plainFolder"] = (root + QStringLiteral("/plain")).toStdString();
    page["remoteFiles"] = remoteFiles;
    page["remoteFolder"] = (root + QStringLiteral("/remote")).toStdString();
    page["playerProgram"] = kPlayerProgram;
    return Json::FastWriter().write(page);
}

// Replies by id and events in order, from the page's posted texts.
struct Conversation {
    std::map<int, Json::Value> replies;
    std::vector<Json::Value> events;
};

Conversation Read(const QByteArray& posted)
{
    Conversation conversation;
    for (const Json::Value& text : ParseJson(posted)) {
        const Json::Value message = ParseJson(QByteArray::fromStdString(text.asString()));
        if (message.isMember("event"))
            conversation.events.push_back(message);
        else if (message.isMember("id"))
            conversation.replies[message["id"].asInt()] = message["result"];
    }
    return conversation;
}

// The whole-job records of the token, in order.
std::vector<Json::Value> JobRecords(const Conversation& conversation, int token)
{
    std::vector<Json::Value> records;
    for (const Json::Value& event : conversation.events) {
        if (event["event"].asString() != "notifyDownloadAllProcess")
            continue;
        for (const Json::Value& record : event["params"])
            if (record["token"].asInt() == token)
                records.push_back(record);
    }
    return records;
}

QString SearchFolder(const QString& root)
{
    return root + QStringLiteral("/search/aisearch_20240501000000_20240501235959");
}

class Downloads : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_work.isValid());
        m_devices = m_work.filePath(QStringLiteral("devices"));
        m_root = m_work.filePath(QStringLiteral("saved"));
        ASSERT_TRUE(MakeDevice(m_devices, m_config));
        m_records = Records(m_config);
        ASSERT_GE(m_records.size(), 2u);
    }

    // One Brevix run of the page in the mode; the conversation it had.
    Conversation Run(const QString& mode, const Json::Value& recording = Json::Value(),
                     const Json::Value& remoteFiles = Json::Value(Json::arrayValue))
    {
        QByteArray page = ReadFile(QStringLiteral(E2E_DOWNLOAD_PAGE));
        // More than the device has: the job ends with what the search delivered.
        const int total = static_cast<int>(m_records.size()) * 2;
        page.replace("__CONFIG__", QByteArray::fromStdString(PageConfig(mode, m_root, total, recording, remoteFiles)));
        BrevixRun run(page);
        EXPECT_TRUE(run.Prepare(QStringLiteral(E2E_FAKE_SORQUIN), {QStringLiteral("Quillnet"), QStringLiteral("Vantrel")}));
        run.SetEnv(QStringLiteral("QUILLNET_DEVICES"), m_devices);
        EXPECT_TRUE(run.Start());
        const QList<QByteArray> results = run.WaitForResults(180000);
        EXPECT_EQ(results.size(), 1) << "the page posted nothing";
        EXPECT_TRUE(run.Stop());
        return results.isEmpty() ? Conversation() : Read(results.first());
    }

    // A linked file, or a file found in a folder, is complete: the device's bytes.
    void ExpectComplete(const QString& path, const QByteArray& expected, const std::string& what)
    {
        ASSERT_FALSE(expected.isEmpty()) << what;
        EXPECT_TRUE(ReadFile(path) == expected) << what << ": " << path.toStdString() << " is not the device's file";
    }

    QTemporaryDir m_work;
    QString m_devices;
    QString m_root;
    Json::Value m_config;
    std::vector<Json::Value> m_records;
};

TEST_F(Downloads, SearchSheetPlainAndRemoteDownloadsLandComplete)
{
    // The smallest recording, without a save name: it takes the device file's name.
    Json::Value recording;
    Json::Value source;
    for (const Json::Value& r : m_config["recordings"]) {
        if (source.isNull() || r["length"].asUInt() < source["length"].asUInt())
            source = r;
    }
    for (const char* key : {"channel", "length", "startTime", "endTime", "filePath"})
        recording[key] = source[key];
    Json::Value remoteFiles(Json::arrayValue);
    for (const std::string& path : m_config["remoteFiles"].getMemberNames())
        remoteFiles.append(path);

    const Conversation conversation = Run(QStringLiteral("full"), recording, remoteFiles);
    ASSERT_EQ(conversation.replies.count(1), 1u);
    ASSERT_EQ(conversation.replies.at(1), Json::Value(0)) << "login";
    ASSERT_EQ(conversation.replies.count(2), 1u);
    const int token = conversation.replies.at(2).asInt();
    ASSERT_GE(token, 0);

    // The search job ran to its end and nothing failed.
    const std::vector<Json::Value> records = JobRecords(conversation, token);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back()["process"].asInt(), 100);
    EXPECT_FALSE(records.back().isMember("errorCode")) << Styled(records.back());

    // The sheet, as a spreadsheet program reads it: the header, then one row per record.
    const QString folder = SearchFolder(m_root);
    Sheet sheet;
    ASSERT_TRUE(ReadSheet(folder + QStringLiteral("/ivs.xls"), m_work.path(), sheet));
    ASSERT_EQ(sheet.cells.size(), m_records.size() + 1);
    EXPECT_EQ(sheet.cells[0], (std::vector<QString>{"Channel", "Time", "Event", "Picture", "Video"}));
    std::set<QString> videos;
    for (size_t i = 0; i < m_records.size(); ++i) {
        const Json::Value& record = m_records[i];
        const std::vector<QString>& row = sheet.cells[i + 1];
        SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + Styled(record));
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[0], ChannelName(record["Channel"].asInt()));
        EXPECT_EQ(row[1].toStdString(), record["StartTime"].asString());
        EXPECT_EQ(row[2], "Line crossing");
        for (int column : {3, 4}) {
            ASSERT_EQ(sheet.links.count({int(i) + 1, column}), 1u) << "no link in column " << column;
            EXPECT_EQ(QUrl(sheet.links.at({int(i) + 1, column})).toLocalFile(), QUrl(row[column]).toLocalFile());
        }
        const QString picture = QUrl(sheet.links.at({int(i) + 1, 3})).toLocalFile();
        const std::string source = record["Summary"]["IVS"]["ImageInfo"]["FilePath"].asString();
        ExpectComplete(picture, DeviceFile(m_devices, m_config, source), "picture");
        EXPECT_TRUE(picture.endsWith(QFileInfo(QString::fromStdString(source)).fileName()));
        // The picture is also saved with the job's own pictures.
        ExpectComplete(folder + QStringLiteral("/pics/snapPic/") + QFileInfo(picture).fileName(),
                       DeviceFile(m_devices, m_config, source), "saved picture");

        const QString video = QUrl(sheet.links.at({int(i) + 1, 4})).toLocalFile();
        EXPECT_TRUE(videos.insert(video).second) << "two rows link " << video.toStdString();
        const QString span = QString::fromStdString(record["StartTime"].asString() + record["EndTime"].asString())
                                 .remove(QRegularExpression(QStringLiteral("[^0-9]")));
        EXPECT_TRUE(QFileInfo(video).fileName().startsWith(ChannelName(record["Channel"].asInt()) + QLatin1Char('_')
                                                           + span.left(14) + QLatin1Char('_') + span.mid(14)))
            << video.toStdString();
        ExpectComplete(video, ExpectedVideo(m_devices, m_config, record), "video");
    }
    EXPECT_EQ(QDir(folder + QStringLiteral("/video")).entryList(QDir::Files).size(), int(m_records.size()));

    // The plain recording download, named after the device file.
    const QString plain = m_root + QStringLiteral("/plain/")
                          + QFileInfo(QString::fromStdString(source["filePath"].asString())).completeBaseName()
                          + QStringLiteral(".rkv");
    ExpectComplete(plain, ReadFile(m_devices + QStringLiteral("/demo/") + QString::fromStdString(source["file"].asString())),
                   "plain download");
    // Beside it only the device's player program, complete.
    const QByteArray player = DeviceFile(m_devices, m_config, kPlayerProgram);
    const QString playerName = QFileInfo(QString::fromLatin1(kPlayerProgram)).fileName();
    QStringList expected{QFileInfo(plain).fileName(), playerName};
    expected.sort();
    QStringList found = QDir(m_root + QStringLiteral("/plain")).entryList(QDir::Files);
    found.sort();
    EXPECT_EQ(found, expected);
    ExpectComplete(m_root + QStringLiteral("/plain/") + playerName, player, "player beside the plain download");
    // The search download brought it along too, in its own folder.
    ExpectComplete(m_root + QStringLiteral("/search/") + playerName, player, "player beside the search download");

    // The remote files, each under its own name.
    for (const Json::Value& path : remoteFiles) {
        ExpectComplete(m_root + QStringLiteral("/remote/") + QFileInfo(QString::fromStdString(path.asString())).fileName(),
                       DeviceFile(m_devices, m_config, path.asString()), path.asString());
    }
}

TEST_F(Downloads, StoppedSearchLeavesNothingIncompleteBehind)
{
    const Conversation conversation = Run(QStringLiteral("stop"));
    ASSERT_EQ(conversation.replies.count(1), 1u);
    ASSERT_EQ(conversation.replies.at(1), Json::Value(0)) << "login";
    ASSERT_EQ(conversation.replies.count(3), 1u) << "the job ended before it could be stopped part way";
    EXPECT_EQ(conversation.replies.at(3), Json::Value(true));

    const QString folder = SearchFolder(m_root);
    // Every picture and video left is a complete copy of a device file.
    std::set<QByteArray> deviceFiles;
    QDirIterator device(m_devices, QDir::Files, QDirIterator::Subdirectories);
    while (device.hasNext())
        deviceFiles.insert(ReadFile(device.next()));
    for (const char* sub : {"/video", "/pics", "/ivs"}) {
        QDirIterator files(folder + QLatin1String(sub), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            EXPECT_EQ(deviceFiles.count(ReadFile(path)), 1u) << path.toStdString() << " is incomplete";
        }
    }
    // Each row links only to what is complete; the rest reads "NA".
    if (!QFile::exists(folder + QStringLiteral("/ivs.xls")))
        return;
    Sheet sheet;
    ASSERT_TRUE(ReadSheet(folder + QStringLiteral("/ivs.xls"), m_work.path(), sheet));
    for (size_t row = 1; row < sheet.cells.size(); ++row) {
        for (int column : {3, 4}) {
            SCOPED_TRACE("row " + std::to_string(row) + " column " + std::to_string(column));
            const QString text = column < int(sheet.cells[row].size()) ? sheet.cells[row][column] : QString();
            if (text == QLatin1String("NA"))
                continue;
            ASSERT_EQ(sheet.links.count({int(row), column}), 1u) << text.toStdString();
            const QString target = QUrl(sheet.links.at({int(row), column})).toLocalFile();
            EXPECT_EQ(deviceFiles.count(ReadFile(target)), 1u) << target.toStdString() << " is missing or incomplete";
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
