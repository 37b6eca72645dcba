// A recording written here, played through the player library into a window's video sink
// by the local play control, with the page's events from start to the window's end.
#include <dlfcn.h>

#include <atomic>
#include <mutex>

#include <gtest/gtest.h>

#include <QMutex>
#include <QThreadPool>

#include "localfakes.h"
#include "localplayctrl.h"
#include "localplaymode.h"
#include "moduletasks.h"
#include "packetfmt.h"
#include "playermgr.h"

namespace localtest {
namespace {

using Tolvane::CLocalPlayCtrl;
using Tolvane::CLocalPlayMode;

const char* const kPlayFunctions[] = {
    "PLAY_GetFreePort", "PLAY_OpenStream", "PLAY_SetStreamOpenMode", "PLAY_SetEngine", "PLAY_Play",
    "PLAY_EnableLargePicAdjustment", "PLAY_SetPlaySpeed", "PLAY_SetDemuxCallBack",
    "PLAY_SetVisibleDecodeCallBack", "PLAY_SetDataCallBack", "PLAY_SetEncTypeChangeCallBackEx",
    "PLAY_SetDisplayCallBack", "PLAY_RigisterDrawFun", "PLAY_GetPictureSize", "PLAY_SetPlayMethod",
    "PLAY_SetColor", "PLAY_InputData", "PLAY_GetSourceBufferRemain", "PLAY_Pause", "PLAY_OneByOne", "PLAY_Stop",
    "PLAY_CloseStream", "PLAY_ResetSourceBuffer", "PLAY_ReleasePort", "PLAY_SetDisplayRegion",
    "PLAY_StopSoundShare", "PLAY_PlaySoundShare", "PLAY_ChooseAudio", "PLAY_AdjustWaveAudio",
};

// A window's receiver of pictures: counts them and keeps the last size.
struct Sink {
    PLAY_VIDEO_SINK sink{&Sink::Draw, this};
    std::atomic<int> pictures{0};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    static void Draw(void* user, const uint8_t*, int32_t w, int32_t h, int32_t)
    {
        auto* self = static_cast<Sink*>(user);
        self->width.store(w);
        self->height.store(h);
        ++self->pictures;
    }
};

// The window module's windows are sinks here.
class SinkSorquin final : public ISorquin {
public:
    explicit SinkSorquin(Sink* sink) : m_sink(sink) {}
    void SetBackgroundWidget(QWidget*) override {}
    void SetContentWidget(QWidget*) override {}
    void ReleaseWindows() override {}
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int) override { return valid.load(); }
    void* GetWindowHandle(int) override { return &m_sink->sink; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return true; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return {}; }
    QWidget* GetWindowWidget(int) override { return nullptr; }

    std::atomic<bool> valid{true};

private:
    Sink* m_sink;
};

// 30 test pictures of 160 x 120 at 25 frames a second from 2024-03-05 10:20:30.
QByteArray Recording()
{
    packetfmt::CivilTime start;
    start.year = 2024;
    start.month = 3;
    start.day = 5;
    start.hour = 10;
    start.minute = 20;
    start.second = 30;
    const int64_t startMs = packetfmt::CivilToMs(start);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 30; ++i) {
        packetfmt::PacketInfo info;
        info.kind = packetfmt::kVideo;
        info.encoding = packetfmt::kEncTestPic;
        info.key = i % 10 == 0;
        info.width = 160;
        info.height = 120;
        info.frameRate = 25;
        info.sequence = static_cast<uint32_t>(i);
        info.timestampMs = startMs + i * 40;
        packetfmt::TestPicture picture;
        picture.frameNumber = static_cast<uint32_t>(i);
        picture.timestampMs = info.timestampMs;
        picture.width = 160;
        picture.height = 120;
        const std::vector<uint8_t> payload = packetfmt::EncodeTestPicture(picture);
        EXPECT_TRUE(packetfmt::AppendPacket(info, payload.data(), payload.size(), bytes));
    }
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

class LibplayTest : public LocalTest {
protected:
    void SetUp() override
    {
        LocalTest::SetUp();
        m_play = dlopen(PLAY_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_play, nullptr) << dlerror();
        for (const char* name : kPlayFunctions) {
            void* address = dlsym(m_play, name);
            ASSERT_NE(address, nullptr) << name;
            Host().SetFunction("play", name, address);
        }
        m_setClockRate = reinterpret_cast<void (*)(double)>(dlsym(m_play, "PTEST_SetClockRate"));
        ASSERT_NE(m_setClockRate, nullptr);
        m_setClockRate(4.0);

        // This window module replaces the fixture's.
        sinkSorquin = new SinkSorquin(&sink);
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(sinkSorquin));
        timer = new FakeTimer();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::ITimer,
                                       Foundation::CSharedPtr<Tolvane::ITimer>(timer));
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        CLocalPlayCtrl::CreateSvrObject(Context(), "");
        Host().EmitImplComLoaded();
        manager = Host().QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ctrl = Host().QueryService<CLocalPlayCtrl>(Foundation::TypeName::CLocalPlayCtrl);
        ASSERT_TRUE(manager && ctrl);
    }
    void TearDown() override
    {
        if (manager) {
            manager->CloseWindow(0);
        }
        Tolvane::ModuleTaskPool().waitForDone();
        manager.reset();
        ctrl.reset();
        LocalTest::TearDown();
        if (m_setClockRate != nullptr) {
            m_setClockRate(1.0);
        }
        // The library stays loaded: its port threads end with their ports.
    }

    CLocalPlayMode* ModeOf(int winID)
    {
        QMutexLocker lock(manager->GetMutex());
        return dynamic_cast<CLocalPlayMode*>(manager->GetPlayMode(winID, Tolvane::ModeId::LocalPlay));
    }

    Sink sink;
    SinkSorquin* sinkSorquin = nullptr;
    FakeTimer* timer = nullptr;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
    Foundation::CSharedPtr<CLocalPlayCtrl> ctrl;

private:
    void* m_play = nullptr;
    void (*m_setClockRate)(double) = nullptr;
};

TEST_F(LibplayTest, ARecordingPlaysIntoTheWindowAndEndsWithIt)
{
    const QByteArray recording = Recording();
    const int64_t size = recording.size();
    const std::string path = WriteBytes("clip.rkv", recording);

    ASSERT_TRUE(ctrl->PlayFile(0, path.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return sink.pictures.load() >= 5; }, 10000)) << "no picture reached the window";
    EXPECT_EQ(sink.width.load(), 160);
    EXPECT_EQ(sink.height.load(), 120);

    // The reader ends once the player has taken in the whole file.
    CLocalPlayMode* mode = ModeOf(0);
    ASSERT_NE(mode, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !mode->IsOpen(); }, 10000));
    EXPECT_EQ(mode->GetPlayedBytes(), size);

    EXPECT_EQ(timer->Fire(), 1);
    std::vector<Json::Value> states = Events("ReturnLocalState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(Foundation::JsonFastText(states[0]),
              "{\"open\":1,\"playTime\":0,\"totalTime\":" + std::to_string(size) + "}\n");
    ASSERT_TRUE(states[1].isArray());
    ASSERT_EQ(states[1].size(), 1u);
    const Json::Value progress = states[1][0];
    EXPECT_EQ(Foundation::JsonMember(progress, "winID").asInt(), 0);
    EXPECT_EQ(Foundation::JsonMember(progress, "width").asInt(), 160);
    EXPECT_EQ(Foundation::JsonMember(progress, "height").asInt(), 120);
    EXPECT_EQ(Foundation::JsonMember(progress, "time").asString().substr(0, 18), "2024-03-05 10:20:3");
    EXPECT_EQ(Foundation::JsonMember(progress, "playTime").asInt64(), size);
    EXPECT_EQ(Foundation::JsonMember(progress, "totalTime").asInt64(), size);
    const double msecs = Foundation::JsonMember(progress, "msecs").asDouble();
    EXPECT_GE(msecs, 1709634030000.0);
    EXPECT_LE(msecs, 1709634031000.0);

    // The window goes: the next tick ends its play.
    sinkSorquin->valid.store(false);
    Host().ClearSentTexts();
    EXPECT_EQ(timer->Fire(), 1);
    EXPECT_EQ(ModeOf(0), nullptr);
    std::vector<std::string> changes;
    for (const Json::Value& params : Events("StateChanged")) {
        changes.push_back(Foundation::JsonFastText(params));
    }
    EXPECT_EQ(changes, std::vector<std::string>{R"({"channel":0,"state":0,"streamtype":-1,"winID":0})" "\n"});
    states = Events("ReturnLocalState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(Foundation::JsonFastText(states[0]), "{\"open\":0}\n");
    EXPECT_EQ(Foundation::JsonFastText(states[1]), "{\"open\":0,\"playTime\":" + std::to_string(size)
                                                       + ",\"totalTime\":" + std::to_string(size) + ",\"winID\":0}\n");
    const int shown = sink.pictures.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sink.pictures.load(), shown) << "nothing is drawn after the window's play ended";
}

}  // namespace
}  // namespace localtest
