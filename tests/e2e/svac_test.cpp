// The real Brevix, headless, on the generated demo device: a page plays SVAC live video, a
// recording by time with a seek and the encrypted channel, and every picture that reaches a
// window must be, exactly, the encoder's reconstruction of a picture of that stream.
#include "brevixrun.h"
#include "demoframes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "packetfmt.h"
#include "scale_core.h"
#include "streams.h"

namespace {

const char kDemoKey[] = "Demo-Key-0123456";

struct Picture {
    int window = 0, width = 0, height = 0;
    std::string hash;
};

std::vector<Picture> ReadPictures(const QString& path)
{
    std::vector<Picture> pictures;
    for (const QByteArray& line : ReadFile(path).split('\n')) {
        Picture p;
        char hash[32] = {};
        if (std::sscanf(line.constData(), "frame %d %d %d %31s", &p.window, &p.width, &p.height, hash) == 4) {
            p.hash = hash;
            pictures.push_back(p);
        }
    }
    return pictures;
}

size_t CountIn(const std::vector<Picture>& pictures, int window)
{
    size_t n = 0;
    for (const Picture& p : pictures)
        n += p.window == window;
    return n;
}

// Hash of each reconstructed picture of the chosen chunks -> its frame number.
std::map<std::string, int> Reconstructions(const demodevice::StreamParams& params, const std::vector<int>& chunks)
{
    std::map<std::string, int> frames;
    for (int chunk : chunks) {
        std::vector<svacenc::Yuv> recon;
        EXPECT_TRUE(demodevice::EncodeSvacChunk(params, chunk, nullptr, &recon)) << "chunk " << chunk;
        const int first = chunk * demodevice::kSvacChunkGops * params.gop;
        for (size_t i = 0; i < recon.size(); ++i)
            frames[RgbHash(recon[i])] = first + int(i);
    }
    return frames;
}

QString DemoFile(const char* what, int index)
{
    const QString folder = QStringLiteral(DEMO_DEVICES_DIR "/demo/");
    Json::Value device;
    Json::Reader().parse(ReadFile(folder + QStringLiteral("device.json")).toStdString(), device);
    const Json::Value& node = std::string(what) == "live" ? device["channels"][index]["streams"]["Main"]
                                                          : device["recordings"][index]["file"];
    return folder + QString::fromStdString(node.asString());
}

// Frame numbers of the window's pictures; a picture that is no reconstruction fails.
std::vector<int> Identify(const std::vector<Picture>& pictures, int window, const std::map<std::string, int>& recon)
{
    std::vector<int> numbers;
    for (const Picture& p : pictures) {
        if (p.window != window)
            continue;
        const auto it = recon.find(p.hash);
        EXPECT_NE(it, recon.end()) << "window " << window << ": a " << p.width << "x" << p.height
                                   << " picture that the encoder did not make";
        if (it != recon.end())
            numbers.push_back(it->second);
    }
    return numbers;
}

struct Played {
    std::vector<Picture> pictures;
    PageAnswers answers;
};

// One Brevix run of the page, which stops its windows before it posts; then `enough` must
// hold for the journaled pictures.
Played Play(const QByteArray& page, const char* key, const std::function<bool(const std::vector<Picture>&)>& enough)
{
    Played played;
    BrevixRun run(page);
    EXPECT_TRUE(run.PrepareDemoPlay(QStringLiteral(E2E_CAPTURE_SORQUIN), QStringLiteral(DEMO_DEVICES_DIR)));
    const QString journal = run.Journal();
    if (key)
        run.SetEnv(QStringLiteral("BREVIX_E2E_STREAM_KEY"), QString::fromLatin1(key));
    EXPECT_TRUE(run.Start());
    const QList<QByteArray> results = run.WaitForResults(60000);
    EXPECT_EQ(results.size(), 1) << "the page posted nothing";
    if (!results.isEmpty()) {
        EXPECT_TRUE(SplitAnswers(results.first(), played.answers));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return enough(ReadPictures(journal)); }, 90000))
        << "too few pictures: " << ReadFile(journal).count('\n') << " journal lines";
    EXPECT_TRUE(run.Stop());
    played.pictures = ReadPictures(journal);
    if (key) {
        EXPECT_TRUE(ReadFile(journal).contains("key set"));
    }
    return played;
}

TEST(SvacEndToEnd, LiveRecordingWithSeekAndTheEncryptedChannelShowTheEncodersPictures)
{
    demodevice::StreamParams live, secret, recording;
    ASSERT_TRUE(ParamsOf(DemoFile("live", 0), &live));
    ASSERT_TRUE(ParamsOf(DemoFile("live", 4), &secret));
    ASSERT_TRUE(ParamsOf(DemoFile("recording", 0), &recording));
    secret.key = kDemoKey;   // the cipher does not change the pictures; set for the same encoder
    const int chunk = demodevice::kSvacChunkGops * recording.gop;
    const int seekFrame = 30 * recording.fps;   // 08:00:30

    const Played played = Play(ReadFile(QStringLiteral(E2E_SVAC_PAGE)), kDemoKey, [&](const std::vector<Picture>& pictures) {
        return CountIn(pictures, 0) >= 20 && CountIn(pictures, 2) >= 20 && CountIn(pictures, 1) >= 20;
    });
    for (int id = 1; id <= 11; ++id)
        EXPECT_TRUE(played.answers.replies.count(id)) << "request " << id << " has no reply";

    std::vector<int> all;
    for (int c = 0; c * demodevice::kSvacChunkGops * live.gop < live.seconds * live.fps; ++c)
        all.push_back(c);
    const std::vector<int> liveFrames = Identify(played.pictures, 0, Reconstructions(live, all));
    all.clear();
    for (int c = 0; c * demodevice::kSvacChunkGops * secret.gop < secret.seconds * secret.fps; ++c)
        all.push_back(c);
    const std::vector<int> secretFrames = Identify(played.pictures, 2, Reconstructions(secret, all));
    // The recording from its start until the seek took effect, and the seconds after 08:00:30.
    const int seekChunk = seekFrame / chunk;
    const std::vector<int> recordingFrames = Identify(
        played.pictures, 1, Reconstructions(recording, {0, 1, seekChunk - 1, seekChunk, seekChunk + 1, seekChunk + 2, seekChunk + 3,
                                    seekChunk + 4}));

    EXPECT_GE(std::set<int>(liveFrames.begin(), liveFrames.end()).size(), 10u) << "live video moves";
    EXPECT_GE(std::set<int>(secretFrames.begin(), secretFrames.end()).size(), 10u) << "the key opens channel 5";
    ASSERT_FALSE(recordingFrames.empty());
    // After the seek, pictures from the key picture at or before 08:00:30 on, in order.
    const auto afterSeek = std::find_if(recordingFrames.begin(), recordingFrames.end(),
                                        [&](int f) { return f >= seekFrame - recording.gop; });
    ASSERT_NE(afterSeek, recordingFrames.end()) << "the seek showed nothing of 08:00:30";
    EXPECT_LE(*afterSeek, seekFrame);
    EXPECT_TRUE(std::is_sorted(afterSeek, recordingFrames.end()));
}

TEST(SvacEndToEnd, WithoutTheKeyTheEncryptedChannelShowsNothing)
{
    const Played played =
        Play(ReadFile(QStringLiteral(E2E_SVAC_PAGE)), nullptr,
             [](const std::vector<Picture>& pictures) { return CountIn(pictures, 0) >= 20; });
    EXPECT_GE(CountIn(played.pictures, 0), 20u);
    EXPECT_EQ(CountIn(played.pictures, 2), 0u) << "an encrypted picture was shown without the key";
}

TEST(SvacEndToEnd, ARecordingOfALiveWindowPlaysBackThroughLocalPlayToTheSamePictures)
{
    demodevice::StreamParams live;
    ASSERT_TRUE(ParamsOf(DemoFile("live", 0), &live));
    std::vector<int> chunks;
    for (int c = 0; c * demodevice::kSvacChunkGops * live.gop < live.seconds * live.fps; ++c)
        chunks.push_back(c);
    const std::map<std::string, int> recon = Reconstructions(live, chunks);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray page = ReadFile(QStringLiteral(E2E_SVAC_RECORD_PAGE));
    QByteArray recordPage = page;
    recordPage.replace("@FOLDER@", folder.path().toUtf8()).replace("@FILE@", "");
    const Played recording =
        Play(recordPage, nullptr, [](const std::vector<Picture>& pictures) { return CountIn(pictures, 0) >= 20; });
    for (int id = 1; id <= 6; ++id)
        EXPECT_TRUE(recording.answers.replies.count(id)) << "request " << id << " has no reply";
    const QStringList files = QDir(folder.path()).entryList({QStringLiteral("*.rkv")}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << "the window's recording";
    const QString file = folder.filePath(files.first());

    QByteArray playPage = page;
    playPage.replace("@FOLDER@", "").replace("@FILE@", file.toUtf8());
    const Played played =
        Play(playPage, nullptr, [](const std::vector<Picture>& pictures) { return CountIn(pictures, 3) >= 25; });
    const std::vector<int> frames = Identify(played.pictures, 3, recon);
    EXPECT_GE(std::set<int>(frames.begin(), frames.end()).size(), 20u) << "the recording plays";
    // What the live window showed while it recorded is what the recording shows.
    const std::vector<int> shownLive = Identify(recording.pictures, 0, recon);
    for (int f : frames)
        EXPECT_NE(std::find(shownLive.begin(), shownLive.end(), f), shownLive.end()) << "frame " << f;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
