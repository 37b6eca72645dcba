// The playback control against the recording player and device, with the real player
// manager.
#include <gtest/gtest.h>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "fakes.h"
#include "playbackctrl.h"
#include "playbackmode.h"

namespace {

using fakeplayer::CallsOf;
using fakeplayer::CountOf;
using pbtest::FileInfo;
using Tolvane::CPlaybackMode;
using Tolvane::IPlayMode;

class PlaybackCtrlTest : public pbtest::PlaybackCtrlTestBase {
protected:
    CPlaybackMode* ModeOf(int winID)
    {
        return dynamic_cast<CPlaybackMode*>(manager->GetPlayMode(winID, Tolvane::ModeId::Playback));
    }

    // Windows 0 and 1 playing, each with a shown frame; journals cleared.
    void PlayTwoWindows()
    {
        ASSERT_TRUE(ctrl->Playback(0, FileInfo("08:00:00", "08:01:00"), true));
        fakeplayer::SetFreePort(8);
        ASSERT_TRUE(ctrl->Playback(1, FileInfo("08:00:00", "08:01:00"), true));
        pbtest::ShowFrame(ModeOf(0), 1, "08:00:01");
        pbtest::ShowFrame(ModeOf(1), 1, "08:00:01");
        fakeplayer::ClearJournal();
        device.calls.clear();
        Host().ClearSentTexts();
    }

};

TEST_F(PlaybackCtrlTest, LoadingStartsTheProgressTimerAndReleaseStopsIt)
{
    EXPECT_EQ(timer->calls, std::vector<std::string>{"SetTimer(1000)"});
    Host().EmitImplComPreRelease();
    EXPECT_EQ(timer->calls, (std::vector<std::string>{"SetTimer(1000)", "DestroyTimer(5)"}));
}

TEST_F(PlaybackCtrlTest, PlaybackNeedsALoggedInDevice)
{
    deviceMgr->loggedIn = false;
    pbtest::DebugCapture capture;
    EXPECT_FALSE(ctrl->Playback(0, FileInfo("08:00:00", "08:01:00"), true));
    EXPECT_TRUE(capture.Contains("Pls login first!"));
    EXPECT_EQ(ModeOf(0), nullptr);
    EXPECT_TRUE(fakeplayer::Journal().empty());
}

TEST_F(PlaybackCtrlTest, PlaybackFilesOneModePerWindowAndRetargetsIt)
{
    ASSERT_TRUE(ctrl->Playback(0, FileInfo("08:00:00", "08:01:00"), true));
    CPlaybackMode* mode = ModeOf(0);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(CallsOf("PLAY_Play"), std::vector<std::string>{"PLAY_Play(7,ptr)"});
    EXPECT_EQ(manager->GetOpenPlayMode(0), mode);

    // A second file in the same window: the same mode, no new port, no buffer reset; a
    // numeric negative "speed" plays it in reverse.
    fakeplayer::ClearJournal();
    Json::Value info = FileInfo("08:10:00", "08:11:00");
    info["speed"] = -1;
    ASSERT_TRUE(ctrl->Playback(0, info, false));
    EXPECT_EQ(ModeOf(0), mode);
    EXPECT_EQ(CountOf("PLAY_GetFreePort"), 0);
    EXPECT_EQ(CountOf("PLAY_ResetBuffer"), 0);
    ASSERT_EQ(device.requests.size(), 2u);
    EXPECT_TRUE(device.requests[1].reverse);
    EXPECT_FALSE(device.requests[1].byTime);
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});

    // A "speed" text does not count as a number.
    info["speed"] = "-1";
    ASSERT_TRUE(ctrl->Playback(0, info, true));
    EXPECT_FALSE(device.requests.back().reverse);
}

TEST_F(PlaybackCtrlTest, AFailedFirstPlaybackLeavesTheWindowEmpty)
{
    device.refusePlayback = true;
    EXPECT_FALSE(ctrl->Playback(0, FileInfo("08:00:00", "08:01:00"), true));
    EXPECT_EQ(ModeOf(0), nullptr);
    EXPECT_EQ(CallsOf("PLAY_ReleasePort"), std::vector<std::string>{"PLAY_ReleasePort(7)"});
}

TEST_F(PlaybackCtrlTest, WindowOperationsWithoutAModeFail)
{
    EXPECT_FALSE(ctrl->Pause(4));
    EXPECT_FALSE(ctrl->Resume(4));
    EXPECT_FALSE(ctrl->StepForward(4));
    EXPECT_FALSE(ctrl->StepBackward(4));
    EXPECT_FALSE(ctrl->SetSpeed(4, 2.0f));
    EXPECT_FALSE(ctrl->SeekByTime(4, 2024, 5, 1, 8, 0, 0));
    EXPECT_FALSE(ctrl->CloseWindowMode(4));
    EXPECT_TRUE(ctrl->SetGpuFlag(true));
    EXPECT_TRUE(fakeplayer::Journal().empty());
}

TEST_F(PlaybackCtrlTest, WithoutAGroupTheWindowsModeIsDriven)
{
    PlayTwoWindows();
    // The pause waits for the next shown frame.
    ASSERT_TRUE(ctrl->Pause(0));
    EXPECT_EQ(CountOf("PLAY_Pause"), 0);
    pbtest::ShowFrame(ModeOf(0), 2, "08:00:02");
    EXPECT_EQ(CallsOf("PLAY_Pause"), std::vector<std::string>{"PLAY_Pause(7,1)"});
    ASSERT_TRUE(ctrl->Resume(0));
    EXPECT_EQ(ModeOf(0)->GetPlayStatus(), IPlayMode::StatusPlaying);

    // The speed too: the device level and the player speed follow the next frame.
    ASSERT_TRUE(ctrl->SetSpeed(1, 4.0f));
    EXPECT_TRUE(device.calls.empty());
    pbtest::ShowFrame(ModeOf(1), 2, "08:00:02");
    EXPECT_EQ(device.calls, std::vector<std::string>{"SetPlayBackSpeed(101,2)"});
    EXPECT_EQ(CallsOf("PLAY_SetPlaySpeed"), std::vector<std::string>{"PLAY_SetPlaySpeed(8,4)"});
    EXPECT_FALSE(ctrl->SetSpeed(1, 0.0f));

    ASSERT_TRUE(ctrl->StepForward(0));
    EXPECT_EQ(CallsOf("PLAY_OneByOne"), std::vector<std::string>{"PLAY_OneByOne(7)"});
    EXPECT_EQ(CountOf("PLAY_StepPlayGroup"), 0);

    ASSERT_TRUE(ctrl->SeekByTime(0, 2024, 5, 1, 8, 0, 40));
    EXPECT_EQ(device.Last("startTime"), "2024-05-01 08:00:40");
}

TEST_F(PlaybackCtrlTest, TheGroupTakesInThePlayingWindowsOnce)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    const std::vector<std::string> expected = {"PLAY_OpenPlayGroup()", "PLAY_AddToPlayGroup(33,7)",
                                               "PLAY_AddToPlayGroup(33,8)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
    EXPECT_EQ(ctrl->GetPlayGroup(), fakeplayer::kGroup);
    EXPECT_EQ(ctrl->GetReferenceWindow(), 0);

    // Another reference window: no second group.
    fakeplayer::ClearJournal();
    ASSERT_TRUE(ctrl->SetPlayRefWin(1, true));
    EXPECT_TRUE(fakeplayer::Journal().empty());
    EXPECT_EQ(ctrl->GetReferenceWindow(), 1);

    // Closing the group; a refused close keeps it.
    fakeplayer::SetSequence("PLAY_ClosePlayGroup", {0});
    EXPECT_FALSE(ctrl->SetPlayRefWin(1, false));
    EXPECT_EQ(ctrl->GetPlayGroup(), fakeplayer::kGroup);
    ASSERT_TRUE(ctrl->SetPlayRefWin(1, false));
    EXPECT_EQ(ctrl->GetPlayGroup(), 0);
    EXPECT_EQ(ctrl->GetReferenceWindow(), -1);
    fakeplayer::ClearJournal();
    EXPECT_TRUE(ctrl->SetPlayRefWin(1, false));
    EXPECT_TRUE(fakeplayer::Journal().empty());
}

TEST_F(PlaybackCtrlTest, AGroupThatCannotTakeAWindowIsClosedAgain)
{
    PlayTwoWindows();
    fakeplayer::SetSequence("PLAY_AddToPlayGroup", {1, 0});
    EXPECT_FALSE(ctrl->SetPlayRefWin(0, true));
    const std::vector<std::string> expected = {"PLAY_OpenPlayGroup()", "PLAY_AddToPlayGroup(33,7)",
                                               "PLAY_AddToPlayGroup(33,8)", "PLAY_ClosePlayGroup(33)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
    EXPECT_EQ(ctrl->GetPlayGroup(), 0);

    fakeplayer::Reset();
    fakeplayer::SetResult("PLAY_OpenPlayGroup", 0);
    EXPECT_FALSE(ctrl->SetPlayRefWin(0, true));
    EXPECT_EQ(CountOf("PLAY_AddToPlayGroup"), 0);
}

TEST_F(PlaybackCtrlTest, WithAGroupPauseAndResumeGoThroughTheGroup)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::ClearJournal();

    fakeplayer::SetSequence("PLAY_PausePlayGroup", {0});
    EXPECT_FALSE(ctrl->Pause(1)) << "the group's answer";
    EXPECT_TRUE(ctrl->Pause(1));
    EXPECT_EQ(CountOf("PLAY_Pause"), 0);
    pbtest::ShowFrame(ModeOf(1), 2, "08:00:02");
    EXPECT_EQ(CountOf("PLAY_Pause"), 0) << "the mode was left alone";

    fakeplayer::ClearJournal();
    ASSERT_TRUE(ctrl->Resume(1));
    const std::vector<std::string> expected = {"PLAY_PausePlayGroup(33,0)", "PLAY_Pause(8,0)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
}

TEST_F(PlaybackCtrlTest, WithAGroupOnlyTheReferenceWindowStepsTheGroup)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::ClearJournal();

    // A window that is not the reference: nothing while it plays forward.
    EXPECT_TRUE(ctrl->StepForward(1));
    EXPECT_TRUE(fakeplayer::Journal().empty());
    EXPECT_TRUE(device.requests.size() == 2u);

    // Backward: it turns round itself, the group does not step.
    EXPECT_TRUE(ctrl->StepBackward(1));
    EXPECT_TRUE(ModeOf(1)->IsReverse());
    EXPECT_EQ(CountOf("PLAY_StepPlayGroup"), 0);
    EXPECT_EQ(CountOf("PLAY_SetPlayGroupDirection"), 0);

    // The reference window turns the group and steps it; forward again turns it back.
    fakeplayer::ClearJournal();
    EXPECT_TRUE(ctrl->StepBackward(0));
    EXPECT_EQ(CallsOf("PLAY_SetPlayGroupDirection"), std::vector<std::string>{"PLAY_SetPlayGroupDirection(33,1)"});
    EXPECT_EQ(CallsOf("PLAY_StepPlayGroup"), std::vector<std::string>{"PLAY_StepPlayGroup(33)"});
    EXPECT_EQ(CountOf("PLAY_OneByOne"), 0);
    fakeplayer::ClearJournal();
    EXPECT_TRUE(ctrl->StepBackward(0));
    EXPECT_EQ(fakeplayer::Journal(), std::vector<std::string>{"PLAY_StepPlayGroup(33)"});
    fakeplayer::ClearJournal();
    EXPECT_TRUE(ctrl->StepForward(0));
    EXPECT_EQ(CallsOf("PLAY_SetPlayGroupDirection"), std::vector<std::string>{"PLAY_SetPlayGroupDirection(33,0)"});
    EXPECT_EQ(CallsOf("PLAY_StepPlayGroup"), std::vector<std::string>{"PLAY_StepPlayGroup(33)"});
}

TEST_F(PlaybackCtrlTest, WithAGroupTheSpeedSetsGroupDirectionAndPlainSpeed)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::ClearJournal();
    ASSERT_TRUE(ctrl->SetSpeed(0, -2.0f));
    EXPECT_EQ(CallsOf("PLAY_SetPlayGroupDirection"), std::vector<std::string>{"PLAY_SetPlayGroupDirection(33,1)"});
    EXPECT_EQ(CallsOf("PLAY_SetPlayGroupSpeed"), std::vector<std::string>{"PLAY_SetPlayGroupSpeed(33,2)"});
    EXPECT_TRUE(ModeOf(0)->IsReverse());

    // Unchanged values are not set again; a mode that refuses leaves the group alone.
    fakeplayer::ClearJournal();
    ASSERT_TRUE(ctrl->SetSpeed(1, 2.0f));
    EXPECT_EQ(CallsOf("PLAY_SetPlayGroupDirection"), std::vector<std::string>{"PLAY_SetPlayGroupDirection(33,0)"});
    EXPECT_EQ(CountOf("PLAY_SetPlayGroupSpeed"), 0);
    fakeplayer::ClearJournal();
    EXPECT_FALSE(ctrl->SetSpeed(1, 0.0f));
    EXPECT_TRUE(fakeplayer::Journal().empty());
}

TEST_F(PlaybackCtrlTest, TheFirstFrameIsReportedOnceAndJoinsAnOpenGroupPaused)
{
    ASSERT_TRUE(ctrl->Playback(0, FileInfo("08:00:00", "08:01:00"), true));
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::SetFreePort(8);
    ASSERT_TRUE(ctrl->Playback(2, FileInfo("08:00:00", "08:01:00"), true));
    fakeplayer::ClearJournal();
    Host().ClearSentTexts();

    pbtest::ShowFrame(ModeOf(2), 1, "08:00:07", 704, 576);
    const std::vector<Json::Value> events = pbtest::Events(Host(), "PlayProcessInfo");
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].size(), 1u);
    const Json::Value& entry = events[0][0];
    EXPECT_EQ(entry["winID"].asInt(), 2);
    EXPECT_EQ(entry["width"].asInt(), 704);
    EXPECT_EQ(entry["height"].asInt(), 576);
    EXPECT_EQ(entry["time"].asString(), "2024-05-01 08:00:07");
    EXPECT_TRUE(entry["msecs"].isDouble());
    EXPECT_DOUBLE_EQ(entry["msecs"].asDouble(), 1714550407000.0);
    const std::vector<std::string> expected = {"PLAY_Pause(8,1)", "PLAY_AddToPlayGroup(33,8)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
    EXPECT_EQ(ModeOf(2)->GetPlayStatus(), IPlayMode::StatusPaused);

    Host().ClearSentTexts();
    pbtest::ShowFrame(ModeOf(2), 2, "08:00:08", 704, 576);
    EXPECT_TRUE(pbtest::Events(Host(), "PlayProcessInfo").empty());
}

TEST_F(PlaybackCtrlTest, TheProgressTickReportsFramesEndsAndClosesGoneWindows)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::SetFreePort(9);
    ASSERT_TRUE(ctrl->Playback(2, FileInfo("09:30:00", "09:31:00"), true));  // no frame yet
    fakeplayer::ClearJournal();

    // Window 2's stream has ended (the device's last stream) and the player holds nothing.
    ASSERT_NE(device.pos, nullptr);
    (*device.pos)(1000, -1);
    Host().ClearSentTexts();
    ASSERT_NE(ModeOf(2), nullptr);
    fakeplayer::SetResult("PLAY_GetBufferValue", 0);
    sorquin->RemoveWindow(0);

    pbtest::DebugCapture capture;
    EXPECT_EQ(ctrl->OnProgressTimer(5), 1);
    EXPECT_EQ(ModeOf(0), nullptr) << "the gone window's mode is detached";
    EXPECT_EQ(CallsOf("PLAY_DelFromPlayGroup"), std::vector<std::string>{"PLAY_DelFromPlayGroup(33,7)"});
    const std::vector<Json::Value> events = pbtest::Events(Host(), "PlayProcessInfo");
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].size(), 1u) << "window 2 has no frame yet";
    EXPECT_EQ(events[0][0]["winID"].asInt(), 1);
    EXPECT_EQ(events[0][0]["time"].asString(), "2024-05-01 08:00:01");
    EXPECT_FALSE(events[0][0].isMember("status"));

    // Once window 2 shows a frame its ended stream is reported with its file.
    pbtest::ShowFrame(ModeOf(2), 1, "09:30:59");
    Host().ClearSentTexts();
    EXPECT_EQ(ctrl->OnProgressTimer(5), 1);
    const std::vector<Json::Value> later = pbtest::Events(Host(), "PlayProcessInfo");
    ASSERT_EQ(later.size(), 1u);
    ASSERT_EQ(later[0].size(), 2u);
    const Json::Value& ended = later[0][1];
    EXPECT_EQ(ended["winID"].asInt(), 2);
    EXPECT_EQ(ended["status"].asString(), "end");
    EXPECT_EQ(ended["fileInfo"], FileInfo("09:30:00", "09:31:00"));
    EXPECT_TRUE(capture.Contains("****** DecodeEnd"));
}

TEST_F(PlaybackCtrlTest, AClosingWindowLeavesTheGroupFirst)
{
    PlayTwoWindows();
    ASSERT_TRUE(ctrl->SetPlayRefWin(0, true));
    fakeplayer::ClearJournal();
    ASSERT_TRUE(manager->CloseWindow(1));
    const std::vector<std::string> journal = fakeplayer::Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front(), "PLAY_DelFromPlayGroup(33,8)");
    EXPECT_EQ(ModeOf(1), nullptr);

    // After release the service no longer listens.
    Host().EmitImplComPreRelease();
    fakeplayer::ClearJournal();
    ASSERT_TRUE(manager->CloseWindow(0));
    EXPECT_EQ(CountOf("PLAY_DelFromPlayGroup"), 0);
}

}  // namespace
