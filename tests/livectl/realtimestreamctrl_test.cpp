// The live-stream control against the real player manager and live play modes over the fake
// player: shared starting modes, the switch without a black gap, time-outs and the page
// report.

#include "fakes.h"
#include "moduletasks.h"

namespace livetest {
namespace {

std::set<std::string> MemberNames(const Json::Value& entry)
{
    const std::vector<std::string> names = Foundation::JsonMemberNames(entry);
    return std::set<std::string>(names.begin(), names.end());
}

const std::set<std::string> kStreamEntry = {"WinID",           "Width",       "Height",      "Bitrate",
                                            "FramesPerSecond", "Compression", "RecordState", "Stream"};

TEST_F(LiveTest, AFirstPictureReportsTheWindowsStream)
{
    ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 2, 0, 1, 5, false));
    ASSERT_EQ(device.ConnectCount(), 1u);
    Tolvane::IPlayMode* mode = LiveModeOf(1);
    ASSERT_NE(mode, nullptr);

    fakeplayer::FirePicture(fakeplayer::LastPort(), 352, 288);
    const Json::Value report = WaitReport(1);
    ASSERT_EQ(report.size(), 1u);
    const Json::Value& entry = report[0];
    EXPECT_EQ(MemberNames(entry), kStreamEntry);
    EXPECT_EQ(entry["WinID"], 1);
    EXPECT_EQ(entry["Width"], 352);
    EXPECT_EQ(entry["Height"], 288);
    EXPECT_EQ(entry["Bitrate"], 0);
    EXPECT_EQ(entry["RecordState"], 0);
    EXPECT_EQ(entry["Stream"], "Main");

    // Only the first picture of a mode is reported.
    fakeplayer::FirePicture(fakeplayer::LastPort(), 352, 288);
    Tolvane::ModuleTaskPool().waitForDone();
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(LiveTest, WindowsAskingForAStartingModeJoinItAndSwitchOnItsFirstPicture)
{
    struct Case {
        const char* what;
        int joinType;  // stream type the second window asks for
    };
    const Case cases[] = {{"same type", 3}, {"any type", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t oldPort = ShowLive(1);
        WaitReport(1);
        Tolvane::IPlayMode* old = LiveModeOf(1);
        Host().ClearSentTexts();
        const size_t connects = device.ConnectCount();
        const size_t stops = device.Stops().size();

        // Window 1 switches to the extra stream: the old mode keeps showing meanwhile.
        ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 3, 0, 1, 5, false));
        const int32_t newPort = fakeplayer::LastPort();
        ASSERT_NE(newPort, oldPort);
        EXPECT_EQ(LiveModeOf(1), old);
        // Window 2 joins the starting mode: no second device stream.
        ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, c.joinType, 0, 2, 5, false));
        EXPECT_EQ(device.ConnectCount(), connects + 1);
        EXPECT_EQ(fakeplayer::LastPort(), newPort);
        EXPECT_EQ(LiveModeOf(2), nullptr);

        // While it starts, the tick reports window 1 as switching.
        live->OnTimer(0);
        Json::Value tick = WaitReport(1);
        ASSERT_EQ(tick.size(), 1u);
        EXPECT_EQ(tick[0]["Stream"], "Switching");

        fakeplayer::FirePicture(newPort);
        const Json::Value report = WaitReport(2);
        ASSERT_EQ(report.size(), 2u);
        EXPECT_EQ(report[0]["WinID"], 1);
        EXPECT_EQ(report[1]["WinID"], 2);
        for (const Json::Value& entry : report) {
            EXPECT_EQ(entry["Stream"], "Extra1");
        }
        Tolvane::IPlayMode* now = LiveModeOf(1);
        ASSERT_NE(now, nullptr);
        EXPECT_NE(now, old);
        EXPECT_EQ(LiveModeOf(2), now);
        EXPECT_EQ(now->WindowCount(), 2);
        // The old mode was closed with its last window: its stream stopped.
        EXPECT_EQ(device.Stops().size(), stops + 1);

        manager->DetachPlayMode(1, nullptr, true);
        manager->DetachPlayMode(2, nullptr, true);
        Tolvane::ModuleTaskPool().waitForDone();
        Host().ClearSentTexts();
    }
}

TEST_F(LiveTest, ADecoderStreamReplacesTheOldModeAtOnce)
{
    ShowLive(1);
    WaitReport(1);
    ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 3, 0, 1, 5, true));
    Tolvane::IPlayMode* now = LiveModeOf(1);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->GetPort(), fakeplayer::LastPort());
    EXPECT_EQ(device.Stops().size(), 1u);  // the old mode's stream, before any new picture
    fakeplayer::FirePicture(fakeplayer::LastPort());
    const Json::Value report = WaitReport(2);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["DecoderStream"], "Extra1");
    EXPECT_FALSE(report[0].isMember("Stream"));
}

TEST_F(LiveTest, AWindowWithoutAPictureIsGivenUpAfterItsTimeOut)
{
    ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 2, 0, 1, 1, false));
    live->OnTimer(0);
    Json::Value report = WaitReport(1);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["Stream"], "Switching");
    EXPECT_NE(LiveModeOf(1), nullptr);

    live->OnTimer(0);
    report = WaitReport(2);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["Stream"], "Error");
    EXPECT_EQ(MemberNames(report[0]), kStreamEntry);
    EXPECT_EQ(LiveModeOf(1), nullptr);
    EXPECT_EQ(device.Stops().size(), 1u);

    live->OnTimer(0);
    EXPECT_EQ(Reports().size(), 2u);  // nothing left to report
}

TEST_F(LiveTest, AStartingModeTimedOutLeavesTheOldModeShowing)
{
    ShowLive(1);
    WaitReport(1);
    Tolvane::IPlayMode* old = LiveModeOf(1);
    ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 3, 0, 1, 0, false));
    live->OnTimer(0);
    const Json::Value report = WaitReport(2);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["Stream"], "Main");
    EXPECT_EQ(LiveModeOf(1), old);
    EXPECT_EQ(device.Stops().size(), 1u);  // the starting mode's stream
}

TEST_F(LiveTest, TheTickReportsEveryShowingWindowWithItsRecordingState)
{
    ShowLive(1);
    ShowLive(2, 3);
    WaitReport(2);
    const std::string infos =
        R"({"infos":[{"winID":2,"name":"cam","ManulRecordLength":5,"ManulRecordPath":")" + Folder() + R"("}]})";
    ASSERT_NE(Host().CallMethod("startRecord", infos).find("true"), std::string::npos);
    Host().ClearSentTexts();
    live->OnTimer(0);
    const Json::Value report = WaitReport(1);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0]["WinID"], 1);
    EXPECT_EQ(report[0]["Stream"], "Main");
    EXPECT_EQ(report[0]["RecordState"], 0);
    EXPECT_EQ(report[1]["WinID"], 2);
    EXPECT_EQ(report[1]["Stream"], "Extra1");
    EXPECT_EQ(report[1]["Width"], 320);
    EXPECT_EQ(report[1]["Height"], 240);
    EXPECT_EQ(report[1]["RecordState"], 1);
    for (const Json::Value& entry : report) {
        EXPECT_EQ(MemberNames(entry), kStreamEntry);
    }
}

TEST_F(LiveTest, AWindowThatIsNoLongerValidIsDisconnected)
{
    ShowLive(4);
    WaitReport(1);
    sorquin->RemoveWindow(4);
    live->OnTimer(0);
    EXPECT_EQ(LiveModeOf(4), nullptr);
    EXPECT_EQ(device.Stops().size(), 1u);
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(LiveTest, NothingConnectsWithoutALoggedInDevice)
{
    devices->SetLoggedIn(false);
    EXPECT_FALSE(live->ConnectRealVideoByID(0, -1, 2, 0, 1, 5, false));
    EXPECT_EQ(device.ConnectCount(), 0u);
    EXPECT_EQ(LiveModeOf(1), nullptr);
    EXPECT_FALSE(live->DisConnectRealVideoByID(1));
}

}  // namespace
}  // namespace livetest
