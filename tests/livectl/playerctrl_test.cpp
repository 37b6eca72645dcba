// The player control service's live windows through its page methods, against the real
// player manager and live-stream control over the fake player: one start per source, stops,
// refusals, restarts of playing windows, the sub-stream rule and a device logout.

#include "fakes.h"
#include "moduletasks.h"
#include "playerctrl.h"
#include "realvideomode.h"

namespace livetest {
namespace {

class PlayerCtrlTest : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        Tolvane::PlayerCtrl::CreateSvrObject(Context(), "");
        control = Host().QueryService<Tolvane::PlayerCtrl>(Foundation::TypeName::PlayerCtrl);
        ASSERT_TRUE(control);
        control->OnImplLoaded();
    }
    void TearDown() override
    {
        control.reset();
        LiveTest::TearDown();
    }

    Json::Value Call(const std::string& method, const std::string& params)
    {
        const std::string reply = Host().CallMethod(method, params);
        Json::Value parsed;
        EXPECT_TRUE(Foundation::JsonParse(reply, parsed)) << reply;
        return Foundation::JsonMember(parsed, "result");
    }
    bool Live(int winID, int channel, const std::string& stream)
    {
        return Call("setRealStreamSource", "{\"winID\":" + std::to_string(winID) + ",\"channel\":"
                                               + std::to_string(channel) + ",\"streamType\":\"" + stream + "\"}")
               == true;
    }
    bool Start(int winID) { return Call("startPlayer", "{\"winID\":" + std::to_string(winID) + "}") == true; }
    bool Stop(int winID) { return Call("stopPlayer", "{\"winID\":" + std::to_string(winID) + "}") == true; }
    int StreamTypeOf(int winID)
    {
        Tolvane::IPlayMode* mode = LiveModeOf(winID);
        return mode != nullptr ? mode->GetStreamType() : -1;
    }

    Foundation::CSharedPtr<Tolvane::PlayerCtrl> control;
};

TEST_F(PlayerCtrlTest, AWindowStartsOncePerSourceAndStopsOnRequest)
{
    EXPECT_EQ(Host().OverloadCount("setRealStreamSource"), 2);
    ASSERT_TRUE(Live(1, 0, "Main"));
    EXPECT_EQ(device.ConnectCount(), 0u);  // nothing until the page starts it
    ASSERT_TRUE(Start(1));
    EXPECT_EQ(device.ConnectCount(), 1u);
    EXPECT_EQ(StreamTypeOf(1), 2);
    EXPECT_TRUE(Start(1));  // started already for this source
    EXPECT_EQ(device.ConnectCount(), 1u);

    fakeplayer::FirePicture(fakeplayer::LastPort(), 352, 288);
    Tolvane::ModuleTaskPool().waitForDone();
    const Json::Value size = Call("getResolution", R"({"winID":1})");
    EXPECT_EQ(size["width"], 352);
    EXPECT_EQ(size["height"], 288);

    ASSERT_TRUE(Stop(1));
    EXPECT_EQ(LiveModeOf(1), nullptr);
    EXPECT_EQ(device.Stops().size(), 1u);
    EXPECT_FALSE(Stop(1));  // nothing shows there any more
    EXPECT_TRUE(Start(1));  // the source stays, but it was started already
    EXPECT_EQ(device.ConnectCount(), 1u);
    const Json::Value none = Call("getResolution", R"({"winID":1})");
    EXPECT_EQ(none["width"], 0);

    // A new source starts again; a name that is not a stream type means the main stream.
    ASSERT_TRUE(Call("setRealStreamSource", R"({"winID":1,"channel":2,"streamType":"Fourth","timeout":5})") == true);
    ASSERT_TRUE(Start(1));
    EXPECT_EQ(device.ConnectCount(), 2u);
    EXPECT_EQ(StreamTypeOf(1), 2);
    EXPECT_EQ(LiveModeOf(1)->GetChannel(), 2);
}

TEST_F(PlayerCtrlTest, RefusedRequestsAnswerFalseAndConnectNothing)
{
    sorquin->RemoveWindow(7);
    struct Case {
        const char* method;
        const char* params;
    };
    const Case cases[] = {
        {"setRealStreamSource", R"({"winID":7,"channel":0,"streamType":"Main"})"},  // no such window
        {"setRealStreamSource", R"({"winID":1,"channel":-1,"streamType":"Main"})"},
        {"setRealStreamSource", R"({"winID":1,"channel":0,"streamType":""})"},
        {"setRealStreamSourceWithSlave", R"({"winID":7,"channel":0,"slaveChannel":1,"streamType":"Main"})"},
        {"startPlayer", R"({"winID":2})"},  // no source set
        {"stopPlayer", R"({"winID":2})"},
        {"setRealStreamTypes", R"({"channel":0,"streamTypes":"Extra1"})"},
        {"setRealStreamTypes", R"({"channel":0,"streamTypes":["Extra1","Fourth"]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.params);
        EXPECT_TRUE(Call(c.method, c.params) == false);
    }
    EXPECT_FALSE(Start(1));  // the refused setters stored nothing
    EXPECT_EQ(device.ConnectCount(), 0u);
    EXPECT_EQ(Call("getResolution", R"({"winID":7})")["width"], 0);
}

TEST_F(PlayerCtrlTest, ASourceSetOnAPlayingWindowRestartsIt)
{
    ASSERT_TRUE(Live(1, 0, "Main"));
    ASSERT_TRUE(Start(1));
    ASSERT_TRUE(Live(1, 0, "Extra1"));  // no startPlayer needed
    EXPECT_EQ(device.ConnectCount(), 2u);
    EXPECT_EQ(StreamTypeOf(1), 3);  // nothing was shown yet, so the new mode took over at once
}

TEST_F(PlayerCtrlTest, MoreThanFourWindowsLowerTheMainStream)
{
    for (int winID = 0; winID < 5; ++winID) {
        control->OnViewNodeChange(winID, ViewNodeJoined);
    }
    ASSERT_TRUE(Call("setRealStreamTypes", R"({"channel":0,"streamTypes":["Extra2","Extra1"]})") == true);
    ASSERT_TRUE(Live(1, 0, "Main"));
    ASSERT_TRUE(Start(1));
    EXPECT_EQ(StreamTypeOf(1), 3);
    auto* mode = dynamic_cast<Tolvane::CRealVideoMode*>(LiveModeOf(1));
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(mode->GetDecoderStream());
    // A playing window is not lowered by a new main-stream source.
    EXPECT_FALSE(Live(1, 0, "Main"));

    // Without configured sub-streams a channel is lowered to the first one.
    ASSERT_TRUE(Live(2, 1, "Main"));
    ASSERT_TRUE(Start(2));
    EXPECT_EQ(StreamTypeOf(2), 3);
}

TEST_F(PlayerCtrlTest, AFifthWindowLowersOnlyTheWindowsPlayingLive)
{
    for (int winID = 0; winID < 4; ++winID) {
        control->OnViewNodeChange(winID, ViewNodeJoined);
    }
    ASSERT_TRUE(Live(0, 0, "Main"));
    ASSERT_TRUE(Start(0));  // plays the main stream
    ASSERT_TRUE(Live(1, 0, "Main"));
    ASSERT_TRUE(Start(1));
    ASSERT_TRUE(Stop(1));  // stopped by the page
    ASSERT_TRUE(Live(2, 0, "Main"));  // set, never started
    EXPECT_EQ(device.ConnectCount(), 2u);

    control->OnViewNodeChange(4, ViewNodeJoined);
    EXPECT_EQ(device.ConnectCount(), 3u);  // window 0 only
    EXPECT_EQ(StreamTypeOf(0), 3);
    auto* lowered = dynamic_cast<Tolvane::CRealVideoMode*>(LiveModeOf(0));
    ASSERT_NE(lowered, nullptr);
    EXPECT_TRUE(lowered->GetDecoderStream());
    EXPECT_EQ(LiveModeOf(1), nullptr);
    EXPECT_EQ(LiveModeOf(2), nullptr);

    // The windows left alone still answer their controls: the stopped one stays stopped,
    // the other starts when the page asks, with its source as set.
    EXPECT_FALSE(Stop(1));
    ASSERT_TRUE(Start(2));
    EXPECT_EQ(StreamTypeOf(2), 2);
    EXPECT_EQ(device.ConnectCount(), 4u);
}

TEST_F(PlayerCtrlTest, ALogoutForgetsEverySource)
{
    ASSERT_TRUE(Live(1, 0, "Main"));
    control->OnDeviceLoginout(1);
    EXPECT_FALSE(Start(1));
    EXPECT_EQ(device.ConnectCount(), 0u);
}

TEST_F(PlayerCtrlTest, ALogoutClosesTheLiveVideoOfEveryWindow)
{
    for (int winID : {1, 2}) {
        ASSERT_TRUE(Live(winID, 0, "Main"));
        ASSERT_TRUE(Start(winID));
        fakeplayer::FirePicture(fakeplayer::LastPort(), 352, 288);
    }
    Tolvane::ModuleTaskPool().waitForDone();
    ASSERT_EQ(Call("getResolution", R"({"winID":1})")["width"], 352);

    control->OnDeviceLoginout(1);
    for (int winID : {1, 2}) {
        SCOPED_TRACE(winID);
        EXPECT_EQ(LiveModeOf(winID), nullptr);
        const Json::Value size = Call("getResolution", "{\"winID\":" + std::to_string(winID) + "}");
        EXPECT_EQ(size["width"], 0);
        EXPECT_EQ(size["height"], 0);
        EXPECT_FALSE(Stop(winID));  // nothing shows there any more
    }
    EXPECT_EQ(device.Stops().size(), 2u);
}

}  // namespace
}  // namespace livetest
