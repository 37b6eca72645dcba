// The network playback mode against the recording player and device.
#include <cmath>

#include <gtest/gtest.h>

#include "fakes.h"
#include "playbackmode.h"

namespace {

using fakeplayer::CallsOf;
using fakeplayer::CountOf;
using pbtest::FileInfo;
using pbtest::HandleOf;
using Tolvane::CPlaybackMode;
using Tolvane::IPlayMode;

class PlaybackModeTest : public pbtest::PlaybackTest {
protected:
    // A mode playing the file info in window 0, filed with the manager; journals cleared.
    CPlaybackMode* Start(const Json::Value& info, bool reverse = false)
    {
        auto* mode = new CPlaybackMode(Context(), HandleOf(0), false);
        if (!mode->Playback(&device, info, true, reverse, true)) {
            mode->Dispose();
            return nullptr;
        }
        manager->AttachPlayMode(0, mode);
        fakeplayer::ClearJournal();
        device.calls.clear();
        return mode;
    }

    // Records the statuses the mode emits.
    struct StatusLog {
        std::vector<int> statuses;
        void On(IPlayMode*, IPlayMode::playStatus status) { statuses.push_back(status); }
    };
};

TEST_F(PlaybackModeTest, FirstPlaybackOpensThePortInOrderAndStartsTheDeviceStream)
{
    auto* mode = new CPlaybackMode(Context(), HandleOf(0), false);
    StatusLog log;
    mode->AttachStatus(IPlayMode::StatusHandler(&log, &StatusLog::On));
    ASSERT_TRUE(mode->Playback(&device, FileInfo("08:00:00", "08:01:00"), true, false, true));

    const std::vector<std::string> expected = {
        "PLAY_GetFreePort()",
        "PLAY_EnableLargePicAdjustment(7,1)",
        "PLAY_OpenStream(7,null,0,15360000)",
        "PLAY_SetStreamOpenMode(7,1)",
        "PLAY_SetEngine(7,0,3)",
        "PLAY_Play(7,ptr)",
        "PLAY_SetPlaySpeed(7,1)",
        "PLAY_SetDemuxCallBack(7,ptr,ptr)",
        "PLAY_SetVisibleDecodeCallBack(7,ptr,ptr)",
        "PLAY_SetDataCallBack(7,ptr,ptr)",
        "PLAY_SetEncTypeChangeCallBackEx(7,ptr,ptr)",
        "PLAY_SetColor(7,0,64,64,64,64)",
        "PLAY_SetPlayDirection(7,0)",
        "PLAY_SetPlaySpeed(7,1)",
    };
    EXPECT_EQ(fakeplayer::Journal(), expected);
    ASSERT_EQ(device.requests.size(), 1u);
    EXPECT_TRUE(device.requests[0].byTime);
    EXPECT_FALSE(device.requests[0].reverse);
    EXPECT_EQ(mode->GetPlaybackHandle(), 100);
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPlaying);
    EXPECT_TRUE(mode->IsOpen());
    EXPECT_EQ(mode->GetChannel(), 0);
    EXPECT_EQ(mode->GetStartTimeText(), "2024-05-01 08:00:00");
    EXPECT_EQ(log.statuses, std::vector<int>{IPlayMode::StatusPlaying});
    EXPECT_STREQ(mode->GetModeID(), "class Tolvane::CPlaybackMode");
    // The manager closes the mode after this frame is gone: the log must not hear of it.
    mode->DetachStatus(IPlayMode::StatusHandler(&log, &StatusLog::On));
    manager->AttachPlayMode(0, mode);
}

TEST_F(PlaybackModeTest, AFailedOpenStepReleasesThePortAndAsksNoDevice)
{
    const char* const steps[] = {"PLAY_OpenStream", "PLAY_SetStreamOpenMode", "PLAY_SetEngine", "PLAY_Play",
                                 "PLAY_SetPlaySpeed", "PLAY_SetDemuxCallBack", "PLAY_SetVisibleDecodeCallBack"};
    for (const char* step : steps) {
        fakeplayer::Reset();
        fakeplayer::SetResult(step, 0);
        pbtest::DebugCapture capture;
        CPlaybackMode mode(Context(), HandleOf(0), false);
        EXPECT_FALSE(mode.Playback(&device, FileInfo("08:00:00", "08:01:00"), true, false, true)) << step;
        EXPECT_EQ(CallsOf("PLAY_ReleasePort"), std::vector<std::string>{"PLAY_ReleasePort(7)"}) << step;
        EXPECT_EQ(mode.GetPort(), 0) << step;
        EXPECT_TRUE(capture.Contains("Play_Play failed!")) << step;
        EXPECT_TRUE(capture.Contains("OpenVideoDecode error!")) << step;
    }
    EXPECT_TRUE(device.requests.empty());

    fakeplayer::Reset();
    fakeplayer::SetFreePort(0);
    pbtest::DebugCapture capture;
    CPlaybackMode mode(Context(), HandleOf(0), false);
    EXPECT_FALSE(mode.Playback(&device, FileInfo("08:00:00", "08:01:00"), true, false, true));
    EXPECT_TRUE(capture.Contains("PLAY_GetFreePort failed!"));
    EXPECT_EQ(CountOf("PLAY_OpenStream"), 0);
}

TEST_F(PlaybackModeTest, ARefusedDeviceStreamClosesTheMode)
{
    device.refusePlayback = true;
    pbtest::DebugCapture capture;
    auto* mode = new CPlaybackMode(Context(), HandleOf(0), false);
    EXPECT_FALSE(mode->Playback(&device, FileInfo("08:00:00", "08:01:00"), true, false, true));
    EXPECT_TRUE(capture.Contains("OpenVideoNetStream error!"));
    const std::vector<std::string> tail = {"PLAY_Stop(7)", "PLAY_CloseStream(7)", "PLAY_ResetSourceBuffer(7)",
                                           "PLAY_ReleasePort(7)"};
    const std::vector<std::string> journal = fakeplayer::Journal();
    ASSERT_GE(journal.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(journal.end() - 4, journal.end()), tail);
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusClosed);
    EXPECT_EQ(mode->GetPort(), 0);
    mode->Dispose();
}

// What the device is asked for, by direction and the file info's times.
TEST_F(PlaybackModeTest, TheDeviceWindowFollowsSeekTimeAndIsWidenedWhenEmpty)
{
    struct Case {
        const char* start;
        const char* end;
        const char* seek;
        bool reverse;
        const char* askedStart;
        const char* askedEnd;
        const char* startText;
    };
    const Case cases[] = {
        {"08:00:00", "08:01:00", "", false, "08:00:00", "08:01:00", "08:00:00"},
        {"08:00:00", "08:01:00", "", true, "08:00:00", "08:01:00", "08:01:00"},
        {"08:00:00", "08:01:00", "08:00:30", false, "08:00:30", "08:01:00", "08:00:30"},
        {"08:00:00", "08:01:00", "08:00:30", true, "08:00:00", "08:00:30", "08:00:30"},
        {"08:00:10", "08:00:10", "", false, "08:00:09", "08:00:10", "08:00:09"},
        {"08:00:10", "08:00:10", "", true, "08:00:10", "08:00:11", "08:00:11"},
        {"08:00:00", "08:01:00", "08:01:00", false, "08:00:59", "08:01:00", "08:00:59"},
    };
    for (const Case& c : cases) {
        device.requests.clear();
        Json::Value info = FileInfo(c.start, c.end);
        if (*c.seek != '\0') {
            info["seekTime"] = std::string("2024-05-01 ") + c.seek;
        }
        CPlaybackMode* mode = Start(info, c.reverse);
        ASSERT_NE(mode, nullptr);
        ASSERT_EQ(device.requests.size(), 1u);
        EXPECT_EQ(device.Last("startTime"), std::string("2024-05-01 ") + c.askedStart) << c.start << c.seek;
        EXPECT_EQ(device.Last("endTime"), std::string("2024-05-01 ") + c.askedEnd) << c.start << c.seek;
        EXPECT_EQ(device.requests[0].reverse, c.reverse);
        EXPECT_EQ(mode->GetStartTimeText(), std::string("2024-05-01 ") + c.startText);
        EXPECT_EQ(mode->GetPlayStatus(), c.reverse ? IPlayMode::StatusReverse : IPlayMode::StatusPlaying);
        // The played file is the caller's, unadjusted.
        ASSERT_EQ(mode->GetPlayedFiles().size(), 1u);
        EXPECT_EQ(mode->GetPlayedFiles()[0], info);
        manager->CloseWindow(0);
    }
}

TEST_F(PlaybackModeTest, SeeksRestartTheStreamInsideAPlayedFileOnly)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    // A second file in the same window, re-targeted without reset.
    ASSERT_TRUE(mode->Playback(&device, FileInfo("08:10:00", "08:11:00"), true, false, false));
    EXPECT_EQ(CountOf("PLAY_ResetBuffer"), 0);
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});
    ASSERT_EQ(mode->GetPlayedFiles().size(), 2u);
    fakeplayer::ClearJournal();
    device.calls.clear();

    // The time the current stream started at: nothing happens.
    EXPECT_FALSE(mode->SeekByTime(2024, 5, 1, 8, 10, 0));
    // Outside every played file: nothing changes.
    EXPECT_FALSE(mode->SeekByTime(2024, 5, 1, 8, 5, 0));
    EXPECT_FALSE(mode->SeekTo("", false));
    EXPECT_TRUE(fakeplayer::Journal().empty());
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(mode->GetPlayedFiles().size(), 2u);
    EXPECT_EQ(device.requests.size(), 2u);

    // Into the first file: its stream restarts at the time, with the buffers reset.
    ASSERT_TRUE(mode->SeekByTime(2024, 5, 1, 8, 0, 30));
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(101)"});
    ASSERT_EQ(device.requests.size(), 3u);
    EXPECT_EQ(device.Last("startTime"), "2024-05-01 08:00:30");
    EXPECT_EQ(device.Last("endTime"), "2024-05-01 08:01:00");
    const std::vector<std::string> expected = {"PLAY_ResetBuffer(7,4)", "PLAY_ResetBuffer(7,3)",
                                               "PLAY_ResetSourceBuffer(7)", "PLAY_SetPlayDirection(7,0)",
                                               "PLAY_SetPlaySpeed(7,1)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
    const std::vector<Json::Value> played = mode->GetPlayedFiles();
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0]["seekTime"].asString(), "2024-05-01 08:00:30");
    EXPECT_EQ(played[0]["startTime"].asString(), "2024-05-01 08:00:00");
    EXPECT_EQ(mode->GetPlaybackHandle(), 102);
}

TEST_F(PlaybackModeTest, AfterAResetTheOldStreamsFrameNoLongerCounts)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    pbtest::ShowFrame(mode, 1, "08:00:05");
    Tolvane::PlayFrameRecord record;
    ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
    ASSERT_TRUE(mode->SeekByTime(2024, 5, 1, 8, 0, 40));
    EXPECT_FALSE(mode->GetFrameRecord(&record, 0));
    pbtest::ShowFrame(mode, 2, "08:00:40");
    ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
    EXPECT_EQ(record.second, 40);
}

// Speeds: device level = log2 of the speed truncated; the player takes the plain speed.
TEST_F(PlaybackModeTest, SpeedsUpToFourApplyAtOnceWithTheDeviceLevel)
{
    struct Case {
        float speed;
        const char* deviceCall;
        const char* playCall;
        int status;
    };
    const Case cases[] = {
        {2.0f, "SetPlayBackSpeed(100,1)", "PLAY_SetPlaySpeed(7,2)", IPlayMode::StatusOtherSpeed},
        {8.0f, "SetPlayBackSpeed(100,3)", "PLAY_SetPlaySpeed(7,8)", IPlayMode::StatusOtherSpeed},
        {0.5f, "SetPlayBackSpeed(100,-1)", "PLAY_SetPlaySpeed(7,0.5)", IPlayMode::StatusOtherSpeed},
        {0.3f, "SetPlayBackSpeed(100,-1)", "PLAY_SetPlaySpeed(7,0.3)", IPlayMode::StatusOtherSpeed},
        {0.25f, "SetPlayBackSpeed(100,-2)", "PLAY_SetPlaySpeed(7,0.25)", IPlayMode::StatusOtherSpeed},
    };
    for (const Case& c : cases) {
        device.nextHandle = 100;
        CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
        ASSERT_NE(mode, nullptr);
        EXPECT_TRUE(mode->SetSpeed(c.speed, false)) << c.speed;
        EXPECT_EQ(device.calls, std::vector<std::string>{c.deviceCall}) << c.speed;
        EXPECT_EQ(CallsOf("PLAY_SetPlaySpeed"), std::vector<std::string>{c.playCall}) << c.speed;
        EXPECT_EQ(mode->GetPlayStatus(), c.status) << c.speed;
        EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), c.speed);
        // The same speed again changes nothing.
        fakeplayer::ClearJournal();
        EXPECT_TRUE(mode->SetSpeed(c.speed, false));
        EXPECT_TRUE(fakeplayer::Journal().empty());
        manager->CloseWindow(0);
    }
}

TEST_F(PlaybackModeTest, LeavingAFastSpeedReseeksAndAppliesAtTheNextShownFrame)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    ASSERT_TRUE(mode->SetSpeed(8.0f, false));
    pbtest::ShowFrame(mode, 1, "08:00:20");
    device.calls.clear();
    fakeplayer::ClearJournal();

    ASSERT_TRUE(mode->SetSpeed(2.0f, false));
    // The stream restarted at the shown frame's time, at normal speed for now.
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});
    EXPECT_EQ(device.Last("startTime"), "2024-05-01 08:00:20");
    EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), 1.0f);
    EXPECT_EQ(CallsOf("PLAY_SetPlaySpeed"), std::vector<std::string>{"PLAY_SetPlaySpeed(7,1)"});

    device.calls.clear();
    pbtest::ShowFrame(mode, 2, "08:00:20");
    EXPECT_EQ(device.calls, std::vector<std::string>{"SetPlayBackSpeed(101,1)"});
    EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), 2.0f);
    // Applied once only.
    device.calls.clear();
    pbtest::ShowFrame(mode, 3, "08:00:21");
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(PlaybackModeTest, ANegativeSpeedTurnsTheStreamFirst)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    pbtest::ShowFrame(mode, 1, "08:00:15");
    ASSERT_TRUE(mode->SetSpeed(-1.0f, false));
    ASSERT_EQ(device.requests.size(), 2u);
    EXPECT_TRUE(device.requests[1].reverse);
    EXPECT_EQ(device.Last("endTime"), "2024-05-01 08:00:15");
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});
    EXPECT_TRUE(mode->IsReverse());
    EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), -1.0f);
    EXPECT_EQ(CallsOf("PLAY_SetPlayDirection"), std::vector<std::string>{"PLAY_SetPlayDirection(7,1)"});

    // -2 in reverse: device level 1, player speed 2.
    device.calls.clear();
    ASSERT_TRUE(mode->SetSpeed(-2.0f, false));
    EXPECT_EQ(device.calls, std::vector<std::string>{"SetPlayBackSpeed(101,1)"});
    EXPECT_EQ(device.requests.size(), 2u);
}

TEST_F(PlaybackModeTest, SpeedZeroOrARefusedSpeedIsRefused)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    EXPECT_FALSE(mode->SetSpeed(0.0f, false));
    EXPECT_FALSE(mode->SetSpeed(-0.0f, true));
    EXPECT_FALSE(mode->SetSpeed(std::nanf(""), false));
    EXPECT_TRUE(device.calls.empty());
    EXPECT_TRUE(fakeplayer::Journal().empty());

    device.refuseSpeed = true;
    EXPECT_FALSE(mode->SetSpeed(2.0f, false));
    EXPECT_EQ(CountOf("PLAY_SetPlaySpeed"), 0);
    EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), 1.0f);
}

TEST_F(PlaybackModeTest, PauseResumeAndStepMoveThroughTheStatuses)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    struct Step {
        const char* action;
        std::vector<std::string> calls;
        int status;
    };
    const Step steps[] = {
        {"pause", {"PLAY_Pause(7,1)"}, IPlayMode::StatusPaused},
        {"pause", {}, IPlayMode::StatusPaused},
        {"resume", {"PLAY_Pause(7,0)"}, IPlayMode::StatusPlaying},
        {"forward", {"PLAY_OneByOne(7)"}, IPlayMode::StatusStepForward},
        {"resume", {"PLAY_Play(7,ptr)", "PLAY_SetPlaySpeed(7,1)"}, IPlayMode::StatusPlaying},
        {"speed2", {"PLAY_SetPlaySpeed(7,2)"}, IPlayMode::StatusOtherSpeed},
        {"pause", {"PLAY_Pause(7,1)"}, IPlayMode::StatusPaused},
        {"resume", {"PLAY_Pause(7,0)"}, IPlayMode::StatusOtherSpeed},
    };
    for (const Step& step : steps) {
        fakeplayer::ClearJournal();
        const std::string action = step.action;
        bool result = false;
        if (action == "pause") {
            result = mode->Pause(false);
        } else if (action == "resume") {
            result = mode->Resume();
        } else if (action == "forward") {
            result = mode->StepForward();
        } else {
            result = mode->SetSpeed(2.0f, false);
        }
        EXPECT_TRUE(result) << action;
        EXPECT_EQ(fakeplayer::Journal(), step.calls) << action;
        EXPECT_EQ(mode->GetPlayStatus(), step.status) << action;
    }

    // A refused resume keeps the status.
    ASSERT_TRUE(mode->Pause(false));
    fakeplayer::SetResult("PLAY_Pause", 0);
    EXPECT_FALSE(mode->Resume());
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPaused);
}

TEST_F(PlaybackModeTest, SteppingAgainstTheDirectionTurnsAndPausesOnTheFirstFrame)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    pbtest::ShowFrame(mode, 1, "08:00:30");
    fakeplayer::ClearJournal();

    ASSERT_TRUE(mode->StepBackward());
    EXPECT_EQ(CountOf("PLAY_OneByOne"), 0) << "no frame is stepped while turning";
    ASSERT_EQ(device.requests.size(), 2u);
    EXPECT_TRUE(device.requests[1].reverse);
    EXPECT_EQ(device.Last("endTime"), "2024-05-01 08:00:30");
    EXPECT_EQ(CountOf("PLAY_Pause"), 1) << "the resume before the turn";

    pbtest::ShowFrame(mode, 2, "08:00:30");
    EXPECT_EQ(CallsOf("PLAY_Pause").back(), "PLAY_Pause(7,1)");
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPaused);

    fakeplayer::ClearJournal();
    ASSERT_TRUE(mode->StepBackward());
    EXPECT_EQ(fakeplayer::Journal(), std::vector<std::string>{"PLAY_OneByOne(7)"});
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusStepBackward);
}

TEST_F(PlaybackModeTest, SteppingFromAFastSpeedFallsBackToNormalSpeedFirst)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    ASSERT_TRUE(mode->SetSpeed(16.0f, false));
    device.calls.clear();
    fakeplayer::ClearJournal();
    ASSERT_TRUE(mode->StepForward());
    EXPECT_EQ(device.calls, std::vector<std::string>{"SetPlayBackSpeed(100,0)"});
    const std::vector<std::string> expected = {"PLAY_SetPlaySpeed(7,1)", "PLAY_OneByOne(7)"};
    EXPECT_EQ(fakeplayer::Journal(), expected);
    EXPECT_FLOAT_EQ(mode->GetCurrentSpeed(), 1.0f);
}

TEST_F(PlaybackModeTest, AResumeCancelsAPauseStillWaitingForItsFrame)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    ASSERT_TRUE(mode->Pause(true));
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPlaying);
    ASSERT_TRUE(mode->Resume());
    fakeplayer::ClearJournal();
    pbtest::ShowFrame(mode, 1, "08:00:01");
    EXPECT_EQ(CountOf("PLAY_Pause"), 0);
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPlaying);

    ASSERT_TRUE(mode->Pause(true));
    pbtest::ShowFrame(mode, 2, "08:00:02");
    EXPECT_EQ(CallsOf("PLAY_Pause"), std::vector<std::string>{"PLAY_Pause(7,1)"});
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPaused);
}

TEST_F(PlaybackModeTest, ABlockThePlayerRefusesThreeTimesIsReportedNotTaken)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    ASSERT_NE(device.data, nullptr);
    const unsigned char block[64] = {};
    struct Case {
        std::vector<int> answers;
        bool taken;
        int tries;
    };
    const Case cases[] = {{{1}, true, 1}, {{0, 0, 1}, true, 3}, {{0, 0, 0, 1}, false, 3}};
    for (const Case& c : cases) {
        fakeplayer::ClearJournal();
        fakeplayer::SetSequence("PLAY_InputData", c.answers);
        EXPECT_EQ((*device.data)(block, sizeof block, 0, 0), c.taken);
        EXPECT_EQ(CallsOf("PLAY_InputData"), std::vector<std::string>(c.tries, "PLAY_InputData(7,64)"));
    }
}

TEST_F(PlaybackModeTest, OnlyTheEndMarkEndsTheStream)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    manager->AttachPlayMode(3, mode);
    ASSERT_NE(device.pos, nullptr);

    for (int32_t done : {0, 5000, -2}) {
        (*device.pos)(90000, done);
    }
    EXPECT_TRUE(pbtest::Events(Host(), "PlayProcessInfo").empty());
    EXPECT_EQ(CountOf("PLAY_Flush"), 0);
    EXPECT_FALSE(mode->IsDecodeEnd());

    pbtest::DebugCapture capture;
    (*device.pos)(90000, -1);
    const std::vector<Json::Value> events = pbtest::Events(Host(), "PlayProcessInfo");
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].size(), 2u);
    for (Json::ArrayIndex i = 0; i < 2; ++i) {
        EXPECT_EQ(events[0][i]["winID"].asInt(), i == 0 ? 0 : 3);
        EXPECT_EQ(events[0][i]["status"].asString(), "streamEnd");
        EXPECT_EQ(events[0][i]["fileInfo"], FileInfo("08:00:00", "08:01:00"));
    }
    EXPECT_TRUE(capture.Contains("****** StreamEnd"));
    EXPECT_EQ(CallsOf("PLAY_Flush"), std::vector<std::string>{"PLAY_Flush(7)"});
    EXPECT_EQ(mode->GetEndedFileInfo(), FileInfo("08:00:00", "08:01:00"));

    // Decoding has ended once the player holds nothing any more.
    fakeplayer::SetSequence("PLAY_GetBufferValue", {0, 1, 0});
    EXPECT_FALSE(mode->IsDecodeEnd());
    fakeplayer::SetResult("PLAY_GetBufferValue", 0);
    EXPECT_TRUE(mode->IsDecodeEnd());
}

TEST_F(PlaybackModeTest, CloseStopsTheStreamThenReleasesThePort)
{
    CPlaybackMode* mode = Start(FileInfo("08:00:00", "08:01:00"));
    ASSERT_NE(mode, nullptr);
    StatusLog log;
    mode->AttachStatus(IPlayMode::StatusHandler(&log, &StatusLog::On));
    ASSERT_TRUE(manager->CloseWindow(0));
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});
    std::vector<std::string> journal;
    for (const std::string& entry : fakeplayer::Journal()) {
        if (entry.rfind("PLAY_SetDisplayRegion", 0) != 0) {
            journal.push_back(entry);
        }
    }
    const std::vector<std::string> expected = {
        "PLAY_RigisterDrawFun(7,null,null)",   "PLAY_SetVisibleDecodeCallBack(7,null,null)",
        "PLAY_SetDemuxCallBack(7,null,null)",  "PLAY_SetDisplayCallBack(7,null,null)",
        "PLAY_SetDataCallBack(7,null,null)",   "PLAY_SetEncTypeChangeCallBackEx(7,null,null)",
        "PLAY_Stop(7)",                        "PLAY_CloseStream(7)",
        "PLAY_ResetSourceBuffer(7)",           "PLAY_ReleasePort(7)",
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(log.statuses, std::vector<int>{IPlayMode::StatusClosed});
}

TEST_F(PlaybackModeTest, AModeDeletedWithoutCloseStillStopsItsStream)
{
    auto* mode = new CPlaybackMode(Context(), HandleOf(0), false);
    ASSERT_TRUE(mode->Playback(&device, FileInfo("08:00:00", "08:01:00"), true, false, true));
    fakeplayer::ClearJournal();
    delete mode;
    EXPECT_EQ(device.calls, std::vector<std::string>{"StopPlayBack(100)"});
    EXPECT_EQ(CallsOf("PLAY_ReleasePort"), std::vector<std::string>{"PLAY_ReleasePort(7)"});
}

}  // namespace
