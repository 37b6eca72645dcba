// The local play control with the real player manager, the recording player and a timer
// run by hand.
#include <gtest/gtest.h>

#include <QMutex>

#include "localfakes.h"
#include "localplayctrl.h"
#include "localplaymode.h"
#include "playermgr.h"

namespace localtest {
namespace {

using Tolvane::CLocalPlayCtrl;
using Tolvane::CLocalPlayMode;
using Tolvane::IPlayMode;

class LocalCtrlTest : public LocalTest {
protected:
    void SetUp() override
    {
        LocalTest::SetUp();
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
        manager.reset();
        ctrl.reset();
        LocalTest::TearDown();
    }

    CLocalPlayMode* LocalModeOf(int winID)
    {
        QMutexLocker lock(manager->GetMutex());
        return dynamic_cast<CLocalPlayMode*>(manager->GetPlayMode(winID, Tolvane::ModeId::LocalPlay));
    }

    // Plays a file in the window and waits until the reader has fed all of it.
    void PlayToEnd(int winID, const std::string& path)
    {
        ASSERT_TRUE(ctrl->PlayFile(winID, path.c_str()));
        CLocalPlayMode* mode = LocalModeOf(winID);
        ASSERT_NE(mode, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return !mode->IsOpen(); }));
    }

    // Shows one frame of the given size and time through the port's decode callback.
    void ShowFrame(int port, int width, int height, int second)
    {
        PLAY_VisibleDecodeCallBack callback = nullptr;
        void* user = nullptr;
        recplay::VisibleDecodeOf(port, &callback, &user);
        ASSERT_NE(callback, nullptr);
        uint8_t plane[4] = {};
        FRAME_DECODE_INFO picture{{plane, plane, plane}, {2, 1, 1}, 2, 2};
        FRAME_INFO_EX frame{};
        frame.frameId = 1;
        frame.width = width;
        frame.height = height;
        frame.year = 2024;
        frame.month = 3;
        frame.day = 5;
        frame.hour = 10;
        frame.minute = 20;
        frame.second = static_cast<uint16_t>(second);
        callback(port, &picture, &frame, user);
    }

    std::vector<std::string> Texts(const std::string& event)
    {
        std::vector<std::string> texts;
        for (const Json::Value& params : Events(event)) {
            texts.push_back(Foundation::JsonFastText(params));
        }
        return texts;
    }

    FakeTimer* timer = nullptr;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
    Foundation::CSharedPtr<CLocalPlayCtrl> ctrl;
};

TEST_F(LocalCtrlTest, PlayFileReplacesEveryModeOfTheWindow)
{
    std::atomic<int> deleted{0};
    auto* live = new TestMode(Context(), Tolvane::ModeId::RealVideo, &deleted);
    auto* playback = new TestMode(Context(), Tolvane::ModeId::Playback, &deleted);
    live->Open(3);
    manager->AttachPlayMode(2, live);
    manager->AttachPlayMode(2, playback);

    const std::string path = WriteFile("a.rkv", 1000);
    EXPECT_TRUE(ctrl->PlayFile(2, path.c_str()));
    EXPECT_EQ(deleted.load(), 2);
    {
        QMutexLocker lock(manager->GetMutex());
        const Tolvane::IPlayerMgr::WindowModes* modes = manager->GetWindowModes(2);
        ASSERT_NE(modes, nullptr);
        ASSERT_EQ(modes->size(), 1u);
        EXPECT_EQ(modes->begin()->first, Tolvane::ModeId::LocalPlay);
    }
    EXPECT_EQ(recplay::CallsOf("PLAY_Play"),
              std::vector<std::string>{"PLAY_Play(7," + recplay::Pointer(HandleOf(2)) + ")"});
    EXPECT_EQ(Texts("StateChanged"),
              std::vector<std::string>{R"({"channel":0,"state":1,"streamtype":-1,"winID":2})" "\n"});
    EXPECT_EQ(timer->intervals, std::vector<int64_t>{1000});
}

// A failed start answers false, after the window's modes have left it, and leaves it with
// no mode, no port, no event and no timer.
TEST_F(LocalCtrlTest, AFileThatCannotBePlayedLeavesTheWindowEmpty)
{
    struct Case {
        const char* what;
        const char* failing;  // a library function that answers 0, or null
        bool exists;
    };
    const Case cases[] = {
        {"the player refuses", "PLAY_OpenStream", true},
        {"missing file", nullptr, false},
    };
    const std::string path = WriteFile("a.rkv", 1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recplay::Reset();
        Host().ClearSentTexts();
        std::atomic<int> deleted{0};
        manager->AttachPlayMode(4, new TestMode(Context(), Tolvane::ModeId::RealVideo, &deleted));
        if (c.failing != nullptr) {
            recplay::SetResult(c.failing, 0);
        }

        EXPECT_FALSE(ctrl->PlayFile(4, c.exists ? path.c_str() : MissingPath().c_str()));
        EXPECT_EQ(deleted.load(), 1) << "the window's modes left it first";
        {
            QMutexLocker lock(manager->GetMutex());
            const Tolvane::IPlayerMgr::WindowModes* modes = manager->GetWindowModes(4);
            EXPECT_TRUE(modes == nullptr || modes->empty());
        }
        EXPECT_EQ(recplay::CountOf("PLAY_ReleasePort"), recplay::CountOf("PLAY_GetFreePort"));
        EXPECT_EQ(recplay::CountOf("PLAY_InputData"), 0);
        EXPECT_TRUE(Events("StateChanged").empty());
        EXPECT_TRUE(Events("ReturnLocalState").empty());
        EXPECT_TRUE(timer->intervals.empty()) << "no timer without a playing file";
    }
}

TEST_F(LocalCtrlTest, TheProgressTimerStartsOnceAndRunsUntilRelease)
{
    const std::string path = WriteFile("a.rkv", 1000);
    EXPECT_TRUE(ctrl->PlayFile(0, path.c_str()));
    EXPECT_TRUE(ctrl->PlayFile(1, path.c_str()));
    EXPECT_TRUE(ctrl->CloseWindowMode(0));
    EXPECT_TRUE(ctrl->CloseWindowMode(1));
    EXPECT_EQ(timer->Fire(), 1) << "the tick stays armed with nothing playing";
    EXPECT_EQ(timer->intervals.size(), 1u);
    EXPECT_TRUE(timer->destroyed.empty());
    Host().EmitImplComPreRelease();
    EXPECT_EQ(timer->destroyed, std::vector<uint64_t>{41});
}

TEST_F(LocalCtrlTest, TheTickReportsWindowsThatShowAFrame)
{
    const std::string first = WriteFile("a.rkv", 1000);
    const std::string second = WriteFile("b.rkv", 3000);
    PlayToEnd(0, first);
    recplay::SetFreePort(8);
    PlayToEnd(1, second);
    ShowFrame(7, 320, 240, 30);

    EXPECT_EQ(timer->Fire(), 1);
    const std::vector<Json::Value> states = Events("ReturnLocalState");
    ASSERT_FALSE(states.empty());
    const Json::Value progress = states.back();
    ASSERT_TRUE(progress.isArray());
    ASSERT_EQ(progress.size(), 1u) << "window 1 has shown no frame yet";
    EXPECT_EQ(Foundation::JsonFastText(progress[0]),
              R"({"height":240,"msecs":1709634030000.0,"playTime":1000,"time":"2024-03-05 10:20:30",)"
              R"("totalTime":1000,"width":320,"winID":0})" "\n");

    ShowFrame(8, 64, 48, 31);
    ASSERT_TRUE(ctrl->Pause(1));
    Host().ClearSentTexts();
    timer->Fire();
    ASSERT_EQ(Events("ReturnLocalState").size(), 1u);
    EXPECT_EQ(Events("ReturnLocalState")[0].size(), 2u) << "a paused window is reported too";
}

TEST_F(LocalCtrlTest, AVanishedWindowIsClosedAtTheNextTick)
{
    const std::string path = WriteFile("a.rkv", 1000);
    PlayToEnd(5, path);
    ShowFrame(7, 320, 240, 30);
    sorquin->RemoveWindow(5);
    Host().ClearSentTexts();

    EXPECT_EQ(timer->Fire(), 1);
    EXPECT_EQ(LocalModeOf(5), nullptr);
    EXPECT_EQ(recplay::CountOf("PLAY_ReleasePort"), 1);
    EXPECT_EQ(Texts("StateChanged"),
              std::vector<std::string>{R"({"channel":0,"state":0,"streamtype":-1,"winID":5})" "\n"});
    // The mode's own notice, then the service's with the played bytes; no progress.
    EXPECT_EQ(Texts("ReturnLocalState"),
              (std::vector<std::string>{R"({"open":0})" "\n",
                                        R"({"open":0,"playTime":1000,"totalTime":1000,"winID":5})" "\n"}));
}

TEST_F(LocalCtrlTest, ControlsReachOnlyALocalMode)
{
    manager->AttachPlayMode(6, new TestMode(Context(), Tolvane::ModeId::RealVideo));
    const std::string path = WriteFile("a.rkv", 1000);
    PlayToEnd(7, path);

    struct Case {
        int winID;
        bool result;
    };
    for (const Case c : {Case{5, false}, Case{6, false}, Case{7, true}}) {
        SCOPED_TRACE(c.winID);
        recplay::Reset();
        EXPECT_EQ(ctrl->Pause(c.winID), c.result);
        EXPECT_EQ(ctrl->Resume(c.winID), c.result);
        EXPECT_EQ(ctrl->Step(c.winID), c.result);
        EXPECT_EQ(ctrl->SetSpeed(c.winID, 2.0f), c.result);
        EXPECT_EQ(recplay::Journal().empty(), !c.result);
    }
    EXPECT_EQ(recplay::CallsOf("PLAY_SetPlaySpeed"), std::vector<std::string>{"PLAY_SetPlaySpeed(7,2)"});
    EXPECT_FALSE(ctrl->CloseWindowMode(6));
    EXPECT_TRUE(ctrl->CloseWindowMode(7));
    EXPECT_FALSE(ctrl->CloseWindowMode(7));
}

TEST_F(LocalCtrlTest, TheGpuFlagReachesNewModes)
{
    const std::string path = WriteFile("a.rkv", 1000);
    EXPECT_TRUE(ctrl->SetGpuFlag(true));
    EXPECT_TRUE(ctrl->PlayFile(0, path.c_str()));
    EXPECT_TRUE(ctrl->SetGpuFlag(false));
    EXPECT_TRUE(ctrl->PlayFile(1, path.c_str()));
    EXPECT_EQ(recplay::CallsOf("PLAY_SetEngine"),
              (std::vector<std::string>{"PLAY_SetEngine(7,3,0)", "PLAY_SetEngine(7,0,3)"}));
}

}  // namespace
}  // namespace localtest
