// The real Brevix, headless, on the generated demo device: a page starts live video in three
// windows, a recording on the device, a local file, a window recording, a download and talk,
// and the client is closed while all of them run. It must end normally with code 0.
#include "brevixrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <json/json.h>

#include <string>

namespace {

int PicturesIn(const QByteArray& journal, int window)
{
    const QByteArray prefix = "frame " + QByteArray::number(window) + ' ';
    int count = 0;
    for (const QByteArray& line : journal.split('\n'))
        count += line.startsWith(prefix);
    return count;
}

// Bytes of the ".rkv" files in the folder.
qint64 RkvBytes(const QString& folder)
{
    qint64 bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({QStringLiteral("*.rkv")}, QDir::Files))
        bytes += file.size();
    return bytes;
}

// The demo device's first recording of the channel, with its file in the device folder.
bool DemoRecording(int channel, Json::Value* recording, QString* file)
{
    const QString folder = QStringLiteral(DEMO_DEVICES_DIR "/demo/");
    Json::Value device;
    if (!Json::Reader().parse(ReadFile(folder + QStringLiteral("device.json")).toStdString(), device))
        return false;
    for (const Json::Value& r : device["recordings"]) {
        if (r["channel"].asInt() == channel && r["stream"].asString() == "Main") {
            for (const char* key : {"channel", "length", "startTime", "endTime", "filePath"})
                (*recording)[key] = r[key];
            *file = folder + QString::fromStdString(r["file"].asString());
            return true;
        }
    }
    return false;
}

Json::Value Reply(int id, const Json::Value& result)
{
    Json::Value reply(Json::objectValue);
    reply["id"] = id;
    reply["result"] = result;
    return reply;
}

TEST(ExitEndToEnd, ClosingTheClientWhileVideoRecordingDownloadAndTalkRunEndsCleanly)
{
    Json::Value download, local;
    QString downloadFile, localFile;
    ASSERT_TRUE(DemoRecording(0, &download, &downloadFile));
    ASSERT_TRUE(DemoRecording(1, &local, &localFile));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QByteArray page = ReadFile(QStringLiteral(E2E_EXIT_PAGE));
    page.replace("@FOLDER@", folder.path().toUtf8())
        .replace("@FILE@", localFile.toUtf8())
        .replace("@RECORDING@", QByteArray::fromStdString(Json::FastWriter().write(download)).trimmed());

    BrevixRun run(page);
    ASSERT_TRUE(run.PrepareDemoPlay(QStringLiteral(E2E_CAPTURE_SORQUIN), QStringLiteral(DEMO_DEVICES_DIR)));
    const QString journal = run.Journal();
    ASSERT_TRUE(run.Start());
    const QList<QByteArray> results = run.WaitForResults(60000);
    ASSERT_EQ(results.size(), 1) << "the page posted nothing";
    PageAnswers answers;
    ASSERT_TRUE(SplitAnswers(results.first(), answers)) << results.first().toStdString();
    // Logged in; each window started; recording, the first download job and talk started.
    for (const Json::Value& reply : {Reply(1, 0), Reply(3, true), Reply(5, true), Reply(7, true), Reply(9, true),
                                     Reply(11, true), Reply(12, true), Reply(13, 0), Reply(14, true)})
        EXPECT_EQ(answers.replies[reply["id"].asInt()], Styled(reply)) << results.first().toStdString();

    // Every window shows pictures, and the window recording and the download have data,
    // before the client goes.
    const QString downloads = folder.filePath(QStringLiteral("download"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QByteArray pictures = ReadFile(journal);
            for (int window : {0, 1, 2, 3, 5}) {
                if (PicturesIn(pictures, window) < 10)
                    return false;
            }
            return RkvBytes(folder.path()) > 0 && RkvBytes(downloads) > 0;
        },
        90000))
        << ReadFile(journal).count('\n') << " pictures, " << RkvBytes(folder.path()) << " bytes recorded, "
        << RkvBytes(downloads) << " bytes downloaded";
    EXPECT_TRUE(run.Stop()) << "Brevix did not end cleanly";
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
