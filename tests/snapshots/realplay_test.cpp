// Snapshots and the watermark check on the player library itself, fed with packet streams
// that the tests write.

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>
#include <foundation/TypeNames.h>

#include <packetfmt.h>

#include "TestHost.h"
#include "fakes.h"
#include "logfacade.h"
#include "moduletasks.h"
#include "watermark.h"

namespace snaptest {
namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 16;

const char* const kPlayFunctions[] = {
    "PLAY_CatchPicEx", "PLAY_SetStreamOpenMode", "PLAY_OpenStream", "PLAY_SetDisplayCallBack",
    "PLAY_SetDecCallBack", "PLAY_Play", "PLAY_SetWaterMarkCallBackEx", "PLAY_InputData",
    "PLAY_Stop", "PLAY_CloseStream",
};

// A stream of flat I420 pictures, 25 per second.
std::vector<uint8_t> MakeStream(int frames)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
        packetfmt::PacketInfo info;
        info.kind = packetfmt::kVideo;
        info.encoding = packetfmt::kEncI420;
        info.key = true;
        info.width = kWidth;
        info.height = kHeight;
        info.frameRate = 25;
        info.sequence = uint32_t(i);
        info.timestampMs = 1700000000000 + int64_t(i) * 40;
        std::vector<uint8_t> picture(kWidth * kHeight * 3 / 2, 128);
        std::fill(picture.begin(), picture.begin() + kWidth * kHeight, uint8_t(60 + i));
        EXPECT_TRUE(packetfmt::AppendPacket(info, picture.data(), picture.size(), bytes));
    }
    return bytes;
}

template <class Fn>
Fn Symbol(void* library, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(library, name));
}

// The player library's real functions; PLAY_InputData is wrapped so that the library
// reports a watermark text and a fault on the feeding thread once a check is fed.
struct Library {
    void* handle = nullptr;
    decltype(&PLAY_InputData) input = nullptr;
    decltype(&PTEST_FireWaterMark) fire = nullptr;
    bool fired = false;
};
Library g_play;

extern "C" int32_t InputReportingWaterMark(int32_t port, const void* data, int32_t size)
{
    if (port == PLAY_FIXED_PORT && !g_play.fired) {
        g_play.fired = true;
        g_play.fire(port, "REALMARK", 8, 1, 0, 0);
        g_play.fire(port, "", 0, 4, 0, 1700000000);
    }
    return g_play.input(port, data, size);
}

class RealPlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        if (g_play.handle == nullptr) {
            g_play.handle = dlopen(PLAY_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        }
        ASSERT_NE(g_play.handle, nullptr) << dlerror();
        g_play.input = Symbol<decltype(&PLAY_InputData)>(g_play.handle, "PLAY_InputData");
        g_play.fire = Symbol<decltype(&PTEST_FireWaterMark)>(g_play.handle, "PTEST_FireWaterMark");
        g_play.fired = false;
        m_host = std::make_unique<testsupport::TestHost>();
        Tolvane::SetUpModuleLogger(m_host->Context());
        for (const char* name : kPlayFunctions) {
            m_host->SetFunction("play", name, dlsym(g_play.handle, name));
        }
    }

    void TearDown() override
    {
        Tolvane::ModuleTaskPool().waitForDone();
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    template <class Fn>
    Fn Play(const char* name)
    {
        return Symbol<Fn>(g_play.handle, name);
    }

    // A port of its own showing the stream's first pictures.
    int32_t ShowStream()
    {
        int32_t port = 0;
        EXPECT_NE(Play<decltype(&PLAY_GetFreePort)>("PLAY_GetFreePort")(&port), 0);
        EXPECT_NE(Play<decltype(&PLAY_SetStreamOpenMode)>("PLAY_SetStreamOpenMode")(port, PLAY_STREAM_FILE), 0);
        EXPECT_NE(Play<decltype(&PLAY_OpenStream)>("PLAY_OpenStream")(port, nullptr, 0, 1 << 20), 0);
        EXPECT_NE(Play<decltype(&PLAY_Play)>("PLAY_Play")(port, nullptr), 0);
        const std::vector<uint8_t> stream = MakeStream(5);
        EXPECT_NE(g_play.input(port, stream.data(), int32_t(stream.size())), 0);
        auto stats = Play<decltype(&PTEST_GetPortStats)>("PTEST_GetPortStats");
        PTEST_PORT_STATS shown{};
        for (int i = 0; i < 2500 && shown.shownFrames == 0; ++i) {
            stats(port, &shown);
            QThread::msleep(2);
        }
        EXPECT_GT(shown.shownFrames, 0);
        return port;
    }
    void ClosePort(int32_t port)
    {
        Play<decltype(&PLAY_Stop)>("PLAY_Stop")(port);
        Play<decltype(&PLAY_CloseStream)>("PLAY_CloseStream")(port);
        Play<decltype(&PLAY_ReleasePort)>("PLAY_ReleasePort")(port);
    }

    testsupport::TestHost& Host() { return *m_host; }
    QString Folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<testsupport::TestHost> m_host;
};

TEST_F(RealPlayTest, SnapshotsOfAPlayingPortArePictures)
{
    const int32_t port = ShowStream();
    FakeMode mode(port, kWidth, kHeight);
    auto* players = new FakePlayerMgr();
    players->Show(2, &mode);
    Foundation::RegisterHostObject(Host().Context(), Foundation::TypeName::IPlayerMgr,
                                   Foundation::CSharedPtr<Tolvane::IPlayerMgr>(players));
    Foundation::RegisterHostObject(Host().Context(), Foundation::TypeName::ISorquin,
                                   Foundation::CSharedPtr<ISorquin>(new RecordingSorquin()));
    Tolvane::CSingleGrabCtrl::CreateSvrObject(Host().Context(), "");
    Host().EmitImplComLoaded();
    auto grab = Host().QueryService<Tolvane::CSingleGrabCtrl>(Foundation::TypeName::CSingleGrabCtrl);
    ASSERT_TRUE(grab);

    Json::Value element(Json::objectValue);
    element["name"] = "real";
    element["snapshotPath"] = Folder().toStdString();
    for (int format : {0, 2}) {
        Json::Value copy = element;
        copy["format"] = format;
        ASSERT_TRUE(grab->SnapshotWindow(2, copy));
        const QString fileName = QString::fromStdString(Foundation::JsonStringOrEmpty(copy["fileName"]));
        QImage picture;
        ASSERT_TRUE(picture.load(fileName, format == 2 ? "BMP" : "JPG")) << fileName.toStdString();
        EXPECT_EQ(picture.size(), QSize(kWidth, kHeight));
    }

    const std::string inline_ = grab->snapshotEx(2);
    const std::string prefix = "data:image/png;base64,";
    ASSERT_EQ(inline_.compare(0, prefix.size(), prefix), 0);
    const QImage picture =
        QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(inline_.substr(prefix.size()))));
    EXPECT_EQ(picture.size(), QSize(kWidth, kHeight));

    grab.reset();
    Host().ClearMethods();
    Host().ClearObjects();
    ClosePort(port);
}

TEST_F(RealPlayTest, WatermarkCheckReadsAPacketFileToItsEnd)
{
    Host().SetFunction("play", "PLAY_InputData", reinterpret_cast<void*>(&InputReportingWaterMark));
    Tolvane::CWatermark::CreateSvrObject(Host().Context(), "");
    auto check = Host().QueryService<Tolvane::CWatermark>(Foundation::TypeName::CWatermark);
    ASSERT_TRUE(check);

    const QString path = Folder() + "/recording.rkv";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const std::vector<uint8_t> stream = MakeStream(30);
        file.write(reinterpret_cast<const char*>(stream.data()), qint64(stream.size()));
    }
    // Twice: the fixed port opens again after a check.
    for (int round = 0; round < 2; ++round) {
        Host().ClearSentTexts();
        g_play.fired = false;
        const std::string reply =
            Host().CallMethod("StartVerifyWatermark", "{\"fullPath\":\"" + path.toStdString() + "\"}");
        Json::Value answer;
        ASSERT_TRUE(Foundation::JsonParse(reply, answer));
        Json::Value started(Json::objectValue);
        started["result"] = 1;
        started["params"] = Json::Value();
        EXPECT_EQ(answer["result"], started) << reply;
        check->WaitForCheck();

        std::vector<Json::Value> positions;
        std::vector<Json::Value> infos;
        for (const std::string& text : Host().SentTexts()) {
            Json::Value event;
            ASSERT_TRUE(Foundation::JsonParse(text, event));
            (event["event"] == "WaterMarkPos" ? positions : infos).push_back(event["params"]);
        }
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.front()["pos"], Json::Value(0));
        EXPECT_EQ(positions.back()["pos"], Json::Value(100));
        EXPECT_EQ(positions.back()["status"], Json::Value(1));
        ASSERT_EQ(infos.size(), 2u) << "round " << round;
        EXPECT_EQ(infos[0]["waterMark"], Json::Value("REALMARK"));
        EXPECT_EQ(infos[0]["waterMarkNo"], Json::Value(1));
        EXPECT_EQ(infos[1]["errType"], Json::Value(4));
        EXPECT_EQ(infos[1]["errNo"], Json::Value(1));
        EXPECT_FALSE(infos[1]["time"].asString().empty());
    }
    check.reset();
}

}  // namespace
}  // namespace snaptest
