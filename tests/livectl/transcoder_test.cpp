// The "rkv" record transcoder and the transcoder registry, over the fake player's demux slot.

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "fakeplayer.h"
#include "recordtranscoder.h"
#include "recordtranscoderregistry.h"
#include "rkvrecordtranscoder.h"

namespace livetest {
namespace {

using Tolvane::CRkvRecordTranscoder;
using Tolvane::IRecordTranscoder;
using Tolvane::RecordTranscoderRegistry;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TranscoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        fakeplayer::Reset();
        fakeplayer::FillResolveTable(m_host);
        int32_t port = 0;
        // A port of the fake, as a play mode would hold it.
        auto getFreePort = reinterpret_cast<int32_t (*)(int32_t*)>(
            m_host.Context()->ResolveFunction("play", "PLAY_GetFreePort"));
        getFreePort(&port);
        m_port = port;
    }

    std::string Path(const std::string& name) const { return m_folder.filePath(QString::fromStdString(name)).toStdString(); }
    QStringList Files() const { return QDir(m_folder.path()).entryList(QDir::Files, QDir::Name); }

    testsupport::TestHost m_host;
    int32_t m_port = 0;
    QTemporaryDir m_folder;
};

IRecordTranscoder* MakeNothing(HostContext*)
{
    return nullptr;
}

TEST(TranscoderRegistryTest, CreatesByTypeAndReplacesOnSecondRegistration)
{
    EXPECT_EQ(RecordTranscoderRegistry::Create("mp4", nullptr), nullptr);

    ASSERT_TRUE(RecordTranscoderRegistry::Register("rkv", &CRkvRecordTranscoder::Create));
    std::unique_ptr<IRecordTranscoder> made(RecordTranscoderRegistry::Create("rkv", nullptr));
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->GetType(), "rkv");
    EXPECT_FALSE(made->IsRecording());

    ASSERT_TRUE(RecordTranscoderRegistry::Register("rkv", &MakeNothing));
    EXPECT_EQ(RecordTranscoderRegistry::Create("rkv", nullptr), nullptr);
    ASSERT_TRUE(RecordTranscoderRegistry::Register("rkv", &CRkvRecordTranscoder::Create));
}

TEST_F(TranscoderTest, RefusedOpenLeavesNoFile)
{
    struct Case {
        const char* what;
        std::string name;
        int32_t installResult;
        bool resolved;
    };
    const Case cases[] = {
        {"empty name", "", 1, true},
        {"player refuses the callback", Path("a.rkv"), 0, true},
        {"player lacks the function", Path("b.rkv"), 1, false},
        {"folder missing", Path("none/c.rkv"), 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakeplayer::SetDemuxInstallResult(c.installResult);
        if (!c.resolved) {
            m_host.SetFunction("play", "PLAY_SetDemuxCallBack", nullptr);
        }
        CRkvRecordTranscoder transcoder(m_host.Context());
        EXPECT_FALSE(transcoder.Open(c.name.c_str(), m_port));
        EXPECT_FALSE(transcoder.IsRecording());
        EXPECT_TRUE(Files().isEmpty()) << Files().join(",").toStdString();
        EXPECT_FALSE(fakeplayer::HasDemuxCallBack(m_port));
        fakeplayer::FillResolveTable(m_host);
        fakeplayer::SetDemuxInstallResult(1);
    }
}

TEST_F(TranscoderTest, WritesPacketsVerbatimAndNamesTheFileWithTheStopTime)
{
    CRkvRecordTranscoder transcoder(m_host.Context());
    const std::string name = Path("door-3_20240101120000.rkv");
    ASSERT_TRUE(transcoder.Open(name.c_str(), m_port));
    EXPECT_TRUE(transcoder.IsRecording());

    const std::vector<uint8_t> first = {0x00, 0x51, 0x4b, 0xff, 0x0a, 0x0d};
    const std::vector<uint8_t> second(3000, 0x5a);
    ASSERT_TRUE(fakeplayer::FireDemux(m_port, first));
    ASSERT_TRUE(fakeplayer::FireDemux(m_port, second));

    const QString before = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
    EXPECT_TRUE(transcoder.Stop());
    const QString after = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
    EXPECT_FALSE(transcoder.IsRecording());
    EXPECT_FALSE(fakeplayer::HasDemuxCallBack(m_port));
    EXPECT_FALSE(fakeplayer::FireDemux(m_port, first));

    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);
    const QString expectedBefore = "door-3_20240101120000-" + before + ".rkv";
    const QString expectedAfter = "door-3_20240101120000-" + after + ".rkv";
    EXPECT_TRUE(files[0] == expectedBefore || files[0] == expectedAfter) << files[0].toStdString();
    std::string expected(first.begin(), first.end());
    expected.append(second.begin(), second.end());
    EXPECT_EQ(ReadAll(Path(files[0].toStdString())), expected);

    // Stopping again touches nothing.
    EXPECT_TRUE(transcoder.Stop());
    EXPECT_EQ(Files(), files);
}

TEST_F(TranscoderTest, StopTimeGoesBeforeTheLastRkvOnly)
{
    struct Case {
        std::string name;
        std::string prefix;  // of the final name; the stop time and the rest follow
        std::string rest;
    };
    const Case cases[] = {
        {"a.rkv.rkv", "a.rkv-", ".rkv"},
        {"clip.RKV", "clip.RKV", ""},  // the suffix is matched case-sensitively: not renamed
        {"noext", "noext", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_folder.path()).removeRecursively();
        QDir().mkpath(m_folder.path());
        CRkvRecordTranscoder transcoder(m_host.Context());
        ASSERT_TRUE(transcoder.Open(Path(c.name).c_str(), m_port));
        ASSERT_TRUE(transcoder.Stop());
        const QStringList files = Files();
        ASSERT_EQ(files.size(), 1);
        const std::string final = files[0].toStdString();
        if (c.rest.empty()) {
            EXPECT_EQ(final, c.prefix);
        } else {
            ASSERT_EQ(final.size(), c.prefix.size() + 14 + c.rest.size()) << final;
            EXPECT_EQ(final.substr(0, c.prefix.size()), c.prefix);
            EXPECT_EQ(final.substr(final.size() - c.rest.size()), c.rest);
        }
    }
}

TEST_F(TranscoderTest, StopWithoutOpenAndDestructionOfARunningRecording)
{
    {
        CRkvRecordTranscoder never(m_host.Context());
        EXPECT_TRUE(never.Stop());
        EXPECT_TRUE(Files().isEmpty());
    }
    {
        CRkvRecordTranscoder running(m_host.Context());
        ASSERT_TRUE(running.Open(Path("x.rkv").c_str(), m_port));
        ASSERT_TRUE(fakeplayer::FireDemux(m_port, {1, 2, 3}));
    }
    EXPECT_FALSE(fakeplayer::HasDemuxCallBack(m_port));
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith("x-")) << files[0].toStdString();
    EXPECT_EQ(ReadAll(Path(files[0].toStdString())), std::string("\x01\x02\x03", 3));
}

// A player whose callback removal does not wait: a packet still being handed over while the
// recording stops must neither reach a closed file nor crash.
TEST_F(TranscoderTest, PacketsRacingTheStopNeverReachAFreedFile)
{
    fakeplayer::SetSynchronousRemoval(false);
    for (int round = 0; round < 20; ++round) {
        CRkvRecordTranscoder transcoder(m_host.Context());
        ASSERT_TRUE(transcoder.Open(Path("race.rkv").c_str(), m_port));
        std::atomic<bool> stop{false};
        std::thread feeder([&] {
            const std::vector<uint8_t> packet(512, 0x33);
            while (!stop.load()) {
                // Hands the packet straight to the transcoder, as a late library call would.
                CRkvRecordTranscoder::OnDemuxData(m_port, packet.data(), int32_t(packet.size()), nullptr, nullptr,
                                                  &transcoder);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_TRUE(transcoder.Stop());
        stop.store(true);
        feeder.join();
        const QStringList files = Files();
        ASSERT_EQ(files.size(), 1);
        const std::string data = ReadAll(Path(files[0].toStdString()));
        EXPECT_EQ(data.size() % 512, 0u);
        QFile::remove(m_folder.filePath(files[0]));
    }
}

}  // namespace
}  // namespace livetest
