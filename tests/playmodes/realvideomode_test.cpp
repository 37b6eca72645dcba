// The live play mode: the exact player calls of opening and releasing a port, the failures
// on the way, reconnecting, feeding blocks and the traffic total.
#include <string>
#include <vector>

#include "fakes.h"
#include "realvideomode.h"

namespace playtest {
namespace {

using Tolvane::CPlayMode;
using Tolvane::CRealVideoMode;
using Tolvane::IPlayMode;
using Strings = std::vector<std::string>;

std::string Ptr(const void* p)
{
    return fakeplay::Pointer(p);
}
template <class F>
std::string Fn(F f)
{
    return fakeplay::Pointer(reinterpret_cast<const void*>(f));
}

// Records the mode's recorded in order.
struct SignalLog {
    Strings events;
    void OnStatus(IPlayMode*, IPlayMode::playStatus status) { events.push_back("status " + std::to_string(status)); }
    void OnSize(IPlayMode*, long w, long h) { events.push_back("size " + std::to_string(w) + "x" + std::to_string(h)); }
    void OnClosing(const IPlayMode&) { events.push_back("closing"); }
};

class RealVideoModeTest : public PlayTest {
protected:
    std::unique_ptr<CRealVideoMode> MakeMode(bool hardware = false, bool hostDraws = false)
    {
        Context()->SetCompatibilityFlag(hostDraws ? 1 : 0);
        auto mode = std::make_unique<CRealVideoMode>(Context(), false, HandleOf(0), hardware);
        mode->AttachStatus(IPlayMode::StatusHandler(&recorded, &SignalLog::OnStatus));
        mode->AttachPictureSize(IPlayMode::PictureSizeHandler(&recorded, &SignalLog::OnSize));
        mode->AttachClosing(IPlayMode::ClosingHandler(&recorded, &SignalLog::OnClosing));
        return mode;
    }

    static Strings OpenCalls(CRealVideoMode* mode, const std::string& engine, const std::string& window)
    {
        const std::string user = Ptr(mode);
        return {
            "PLAY_GetFreePort()",
            "PLAY_SetStreamOpenMode(7,0)",
            "PLAY_OpenStream(7,null,1,15360000)",
            "PLAY_SetEngine(7," + engine + ")",
            "PLAY_Play(7," + window + ")",
            "PLAY_SetPlaySpeed(7,1)",
            "PLAY_SetDemuxCallBack(7," + Fn(&CPlayMode::DemuxCallBack) + "," + user + ")",
            "PLAY_SetVisibleDecodeCallBack(7," + Fn(&CPlayMode::VisibleDecodeCallBack) + "," + user + ")",
            "PLAY_GetPictureSize(7)",
            "PLAY_SetPlayMethod(7,0,0,0,0)",
            "PLAY_SetDataCallBack(7," + Fn(&CPlayMode::DataCallBack) + "," + user + ")",
            "PLAY_SetEncTypeChangeCallBackEx(7," + Fn(&CPlayMode::EncTypeChangeCallBack) + "," + user + ")",
            "PLAY_SetColor(7,0,64,64,64,64)",
        };
    }

    static Strings ReleaseCalls()
    {
        return {
            "PLAY_RigisterDrawFun(7,null,null)",
            "PLAY_SetVisibleDecodeCallBack(7,null,null)",
            "PLAY_SetDemuxCallBack(7,null,null)",
            "PLAY_SetDisplayCallBack(7,null,null)",
            "PLAY_SetDataCallBack(7,null,null)",
            "PLAY_SetEncTypeChangeCallBackEx(7,null,null)",
            "PLAY_Stop(7)",
            "PLAY_CloseStream(7)",
            "PLAY_ResetSourceBuffer(7)",
            "PLAY_ReleasePort(7)",
        };
    }

    SignalLog recorded;
};

TEST_F(RealVideoModeTest, OpensTheLiveStreamAndReleasesItInOrder)
{
    auto mode = MakeMode();
    ASSERT_TRUE(mode->ConnectRealVideo(&device, 1, 5, 2, 0));
    EXPECT_EQ(fakeplay::Journal(), OpenCalls(mode.get(), "0,3", Ptr(HandleOf(0))));
    EXPECT_EQ(device.calls, (Strings{"ConnectRealvideo(1,2,0)"}));
    EXPECT_TRUE(mode->IsOpen());
    EXPECT_EQ(mode->GetPort(), fakeplay::kPort);
    EXPECT_EQ(mode->GetDevice(), &device);
    EXPECT_EQ(mode->GetChannel(), 1);
    EXPECT_EQ(mode->GetSlaveChannel(), 5);
    EXPECT_EQ(mode->GetStreamTypeName(), "Main");
    EXPECT_EQ(mode->GetModeID(), std::string("class Tolvane::CRealVideoMode"));
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusClosed) << "the live mode only recorded its status";
    EXPECT_EQ(recorded.events, (Strings{"status 1"}));

    ASSERT_TRUE(mode->AddWindow(3));
    sorquin->TakeEvents();
    fakeplay::ClearJournal();
    device.calls.clear();
    recorded.events.clear();

    EXPECT_TRUE(mode->Close());
    EXPECT_EQ(recorded.events, (Strings{"size 0x0", "closing", "status 4"}));
    EXPECT_EQ(device.calls, (Strings{"StopRealvideo(41)"}));
    EXPECT_EQ(fakeplay::Journal(), ReleaseCalls());
    EXPECT_EQ(sorquin->TakeEvents(), (Strings{"video off 3"}));
    EXPECT_FALSE(mode->IsOpen());
    EXPECT_EQ(mode->GetPort(), 0);
    EXPECT_EQ(mode->GetDevice(), nullptr);
    EXPECT_EQ(mode->GetChannel(), -1);
    EXPECT_EQ(mode->GetWindows(), (std::vector<int>{3})) << "the window list is kept";
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusClosed);
}

TEST_F(RealVideoModeTest, OpenVariants)
{
    struct Case {
        bool hardware;
        bool hostDraws;
        const char* key;
        std::string engine;
        std::string window;
    };
    const Case cases[] = {
        {true, false, "", "3,0", Ptr(HandleOf(0))},
        {false, true, "", "0,3", "null"},
        {false, false, "secret", "0,3", Ptr(HandleOf(0))},
    };
    for (const Case& c : cases) {
        fakeplay::ClearJournal();
        auto mode = MakeMode(c.hardware, c.hostDraws);
        mode->SetSecurityKey(c.key);
        ASSERT_TRUE(mode->ConnectRealVideo(&device, 0, -1, 3, 0));
        Strings expected = OpenCalls(mode.get(), c.engine, c.window);
        if (*c.key != '\0') {
            expected.insert(expected.begin() + 1, "PLAY_SetSecurityKey(7,\"secret\",6)");
        }
        EXPECT_EQ(fakeplay::Journal(), expected);
        mode->Close();
    }
}

TEST_F(RealVideoModeTest, FailedOpenReleasesThePortAndNeverAsksTheDevice)
{
    const char* const mustSucceed[] = {"PLAY_SetStreamOpenMode", "PLAY_OpenStream", "PLAY_SetEngine",
                                       "PLAY_Play", "PLAY_SetPlaySpeed", "PLAY_SetDemuxCallBack"};
    for (const char* failing : mustSucceed) {
        fakeplay::Reset();
        fakeplay::SetResult(failing, 0);
        DebugCapture log;
        auto mode = MakeMode();
        EXPECT_FALSE(mode->ConnectRealVideo(&device, 1, -1, 2, 0)) << failing;
        const Strings journal = fakeplay::Journal();
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.back(), "PLAY_ReleasePort(7)") << failing;
        EXPECT_EQ(journal[journal.size() - 2].rfind(failing, 0), 0u) << failing;
        EXPECT_TRUE(log.Contains("Play_Play error!")) << failing;
        EXPECT_TRUE(log.Contains("OpenRealVideoDecode error!")) << failing;
        EXPECT_TRUE(device.calls.empty()) << failing;
        EXPECT_EQ(mode->GetPort(), 0);
        EXPECT_FALSE(mode->IsOpen());
    }

    // Callbacks whose answers are not tested.
    fakeplay::Reset();
    fakeplay::SetResult("PLAY_SetVisibleDecodeCallBack", 0);
    fakeplay::SetResult("PLAY_SetColor", 0);
    EXPECT_TRUE(MakeMode()->ConnectRealVideo(&device, 1, -1, 2, 0));

    // No port handed out.
    fakeplay::Reset();
    fakeplay::SetFreePort(0);
    DebugCapture log;
    device.calls.clear();
    EXPECT_FALSE(MakeMode()->ConnectRealVideo(&device, 1, -1, 2, 0));
    EXPECT_EQ(fakeplay::Journal(), (Strings{"PLAY_GetFreePort()"}));
    EXPECT_TRUE(log.Contains("PLAY_GetFreePort error!"));
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(RealVideoModeTest, RefusedDeviceStreamReleasesThePort)
{
    device.realHandle = 0;
    DebugCapture log;
    auto mode = MakeMode();
    EXPECT_FALSE(mode->ConnectRealVideo(&device, 1, -1, 2, 0));
    Strings expected = OpenCalls(mode.get(), "0,3", Ptr(HandleOf(0)));
    for (const std::string& call : ReleaseCalls()) {
        expected.push_back(call);
    }
    EXPECT_EQ(fakeplay::Journal(), expected);
    EXPECT_TRUE(log.Contains("OpenRealVideoNetStream error!"));
    EXPECT_FALSE(mode->IsOpen());
    EXPECT_TRUE(recorded.events.empty());

    DebugCapture noDevice;
    EXPECT_FALSE(mode->ConnectRealVideo(nullptr, 1, -1, 2, 0));
    EXPECT_TRUE(noDevice.Contains("Login device befor ConnectRealvideo!"));
}

TEST_F(RealVideoModeTest, ReconnectsOnlyForAnotherStream)
{
    FakeDevice other;
    auto mode = MakeMode();
    ASSERT_TRUE(mode->ConnectRealVideo(&device, 1, -1, 2, 0));
    fakeplay::ClearJournal();
    device.calls.clear();

    // Same device, channel, stream type and protocol; the slave channel is not compared.
    EXPECT_TRUE(mode->ConnectRealVideo(&device, 1, 9, 2, 0));
    EXPECT_TRUE(fakeplay::Journal().empty());
    EXPECT_TRUE(device.calls.empty());

    struct Case {
        FakeDevice* device;
        int channel;
        int streamType;
        int protocol;
    };
    for (const Case& c : {Case{&device, 2, 2, 0}, Case{&device, 2, 3, 0}, Case{&device, 2, 3, 1}, Case{&other, 2, 3, 1}}) {
        fakeplay::ClearJournal();
        device.calls.clear();
        ASSERT_TRUE(mode->ConnectRealVideo(c.device, c.channel, -1, c.streamType, c.protocol));
        const Strings journal = fakeplay::Journal();
        ASSERT_GT(journal.size(), 10u);
        EXPECT_EQ(Strings(journal.begin(), journal.begin() + 10), ReleaseCalls());
        EXPECT_EQ(device.calls.front(), "StopRealvideo(41)");
        EXPECT_EQ(mode->GetDevice(), c.device);
    }
}

TEST_F(RealVideoModeTest, BlocksAreFedWithThreeTries)
{
    auto mode = MakeMode();
    ASSERT_TRUE(mode->ConnectRealVideo(&device, 1, -1, 2, 0));
    ASSERT_NE(device.sink, nullptr);
    const unsigned char block[100] = {};
    fakeplay::ClearJournal();
    EXPECT_TRUE((*device.sink)(block, 100, 0, 0));
    EXPECT_EQ(fakeplay::Journal(), (Strings{"PLAY_InputData(7,100)"}));

    fakeplay::ClearJournal();
    fakeplay::SetResult("PLAY_InputData", 0);
    DebugCapture log;
    EXPECT_FALSE((*device.sink)(block, 60, 0, 0));
    EXPECT_EQ(fakeplay::Journal(), (Strings(3, "PLAY_InputData(7,60)")));
    EXPECT_TRUE(log.Contains("InputData failed(7)!"));

    device.flux = 12345;
    EXPECT_EQ(mode->GetStatiscFlux(), 12345);
    mode->Close();
    EXPECT_EQ(mode->GetStatiscFlux(), 0);
}

TEST_F(RealVideoModeTest, DeletedWithoutCloseStopsTheStreamAndThePort)
{
    auto mode = MakeMode();
    ASSERT_TRUE(mode->ConnectRealVideo(&device, 1, -1, 2, 0));
    fakeplay::ClearJournal();
    device.calls.clear();
    mode.reset();
    EXPECT_EQ(device.calls, (Strings{"StopRealvideo(41)"}));
    EXPECT_EQ(fakeplay::Journal(), ReleaseCalls());
}

}  // namespace
}  // namespace playtest
