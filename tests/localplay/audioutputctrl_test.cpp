// The audio output service through its published methods and the signals it follows,
// with a player manager that hands out test modes over recording player ports.
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include <QMutex>

#include <foundation/Signal.h>

#include "audioutputctrl.h"
#include "localfakes.h"

namespace localtest {
namespace {

using Tolvane::CAudiOutputCtrl;
using Tolvane::IPlayMode;

// Windows and their open modes, as the service asks for them.
class FakePlayerMgr final : public Tolvane::IPlayerMgr {
public:
    bool AttachPlayMode(int winID, IPlayMode* mode) override
    {
        QMutexLocker lock(&m_mutex);
        m_modes[winID] = mode;
        return true;
    }
    bool DetachPlayMode(int winID, IPlayMode*, bool) override
    {
        QMutexLocker lock(&m_mutex);
        return m_modes.erase(winID) != 0;
    }
    IPlayMode* GetOpenPlayMode(int winID) override
    {
        QMutexLocker lock(&m_mutex);
        auto found = m_modes.find(winID);
        return found != m_modes.end() && found->second->IsOpen() ? found->second : nullptr;
    }
    const WindowModes* GetWindowModes(int) override { return nullptr; }
    IPlayMode* GetPlayMode(int, const char*) override { return nullptr; }
    std::vector<IPlayMode*> GetDeviceModes(Tolvane::IDevice*) override { return {}; }
    std::vector<IPlayMode*> GetChannelModes(Tolvane::IDevice*, int, const char*) override { return {}; }
    IPlayMode* GetPlayMode(Tolvane::IDevice*, int, int, const char*) override { return nullptr; }
    bool CloseWindow(int) override { return false; }
    QMutex* GetMutex() override { return &m_mutex; }
    ModeMap GetModeMap() override { return {}; }

private:
    QMutex m_mutex{QMutex::Recursive};
    std::map<int, IPlayMode*> m_modes;
};

class AudioTest : public LocalTest {
protected:
    void SetUp() override
    {
        LocalTest::SetUp();
        Foundation::AddHostSignal(Context(), "attachPlayModeSignal", &attachSignal);
        Foundation::AddHostSignal(Context(), "ViewNodeChange", &viewNodeSignal);
        Foundation::AddHostSignal(Context(), "SwitchWndSignal", &switchSignal);
        Foundation::AddHostSignal(Context(), "deviceLoginoutSignal", &loginoutSignal);
        players = new FakePlayerMgr();
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::IPlayerMgr,
                                       Foundation::CSharedPtr<Tolvane::IPlayerMgr>(players));
        Foundation::RegisterHostObject(Context(), Foundation::TypeName::IDeviceMgr,
                                       Foundation::CSharedPtr<Tolvane::IDeviceMgr>(new FakeDeviceMgr(&device)));
        CAudiOutputCtrl::CreateSvrObject(Context(), "");
        Host().EmitImplComLoaded();
        audio = Host().QueryService<CAudiOutputCtrl>(Foundation::TypeName::CAudiOutputCtrl);
        ASSERT_TRUE(audio);
    }
    void TearDown() override
    {
        audio.reset();
        modes.clear();  // before the host they were made in
        LocalTest::TearDown();
    }

    // A playing mode on the port, shown in the window.
    TestMode* Play(int winID, int port)
    {
        modes.push_back(std::make_unique<TestMode>(Context(), "test"));
        modes.back()->Open(port);
        players->AttachPlayMode(winID, modes.back().get());
        return modes.back().get();
    }

    // The "result" member of a published method's reply.
    Json::Value Call(const std::string& method, const std::string& params)
    {
        Json::Value reply;
        const std::string text = Host().CallMethod(method, params);
        EXPECT_TRUE(Foundation::JsonParse(text, reply)) << text;
        return Foundation::JsonMember(reply, "result");
    }
    bool SetParam(int winID, int audioMode, bool enable)
    {
        return Call("setAudioParam", "{\"winID\":" + std::to_string(winID) + ",\"audioMode\":"
                                         + std::to_string(audioMode) + ",\"enable\":" + (enable ? "true" : "false")
                                         + "}")
            .asBool();
    }
    bool SetVolume(int winID, int volume)
    {
        return Call("setAudioVolume",
                    "{\"winID\":" + std::to_string(winID) + ",\"volume\":" + std::to_string(volume) + "}")
            .asBool();
    }
    CAudiOutputCtrl::AudioSettings Settings(int winID)
    {
        CAudiOutputCtrl::AudioSettings settings;
        settings.audioMode = 99;
        EXPECT_TRUE(audio->GetSettings(winID, &settings)) << winID;
        return settings;
    }

    FakeDevice device;
    FakePlayerMgr* players = nullptr;
    Foundation::CSharedPtr<CAudiOutputCtrl> audio;
    std::vector<std::unique_ptr<TestMode>> modes;
    Foundation::CSignal2<int, IPlayMode*, Foundation::CNolockPolicy> attachSignal;
    Foundation::CSignal2<int, enum __ViewListEvent, Foundation::CNolockPolicy> viewNodeSignal;
    Foundation::CSignal2<int, int, Foundation::CNolockPolicy> switchSignal;
    Foundation::CSignal1<long, Foundation::CNolockPolicy> loginoutSignal;
};

TEST_F(AudioTest, ControlTalkingStartsAndStopsOneTalk)
{
    struct Step {
        int flag;
        bool deviceAnswer;
        bool result;
        int starts;
        int stops;
    };
    const Step steps[] = {
        {1, true, true, 1, 0},   {1, true, false, 1, 0}, {2, true, false, 1, 0}, {0, true, true, 1, 1},
        {0, true, false, 1, 1},  {1, false, false, 2, 1}, {0, true, false, 2, 1}, {-1, true, false, 2, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.flag);
        device.talkResult.store(step.deviceAnswer);
        EXPECT_EQ(Call("ControlTalking", "{\"flag\":" + std::to_string(step.flag) + "}").asBool(), step.result);
        EXPECT_EQ(device.startTalks.load(), step.starts);
        EXPECT_EQ(device.stopTalks.load(), step.stops);
    }
    EXPECT_TRUE(Call("SetDeviceMode", R"({"mode":7,"format":-3})").asBool());
}

// The talk belongs to the session: a logout stops it, and the next session can talk again.
TEST_F(AudioTest, ALogoutEndsTheTalk)
{
    ASSERT_TRUE(Call("ControlTalking", R"({"flag":1})").asBool());
    loginoutSignal.Emit(1);
    EXPECT_EQ(device.stopTalks.load(), 1);
    EXPECT_TRUE(Call("ControlTalking", R"({"flag":1})").asBool()) << "still taken for talking";
    EXPECT_EQ(device.startTalks.load(), 2);

    loginoutSignal.Emit(1);
    loginoutSignal.Emit(1);  // no talk open any more: nothing to stop
    EXPECT_EQ(device.stopTalks.load(), 2);
}

TEST_F(AudioTest, TheSoundMovesToTheLastWindowGivenSound)
{
    Play(1, 11);
    Play(2, 12);
    EXPECT_TRUE(SetParam(1, 3, true));
    EXPECT_EQ(recplay::Journal(), (std::vector<std::string>{"PLAY_StopSoundShare(11)", "PLAY_ChooseAudio(11,3,1)",
                                                            "PLAY_PlaySoundShare(11)"}));

    // Window 2 is given no sound, yet window 1 loses its sound; window 2's mode already
    // plays none, so nothing is asked of it.
    recplay::Reset();
    EXPECT_TRUE(SetParam(2, 5, false));
    EXPECT_EQ(recplay::Journal(), std::vector<std::string>{"PLAY_StopSoundShare(11)"});
    EXPECT_EQ(audio->GetSoundWindow(), 2);
    EXPECT_EQ(Settings(2).audioMode, -2);
    EXPECT_FALSE(Settings(2).enabled);

    // Every track, and a window without a playing mode.
    recplay::Reset();
    EXPECT_TRUE(SetParam(1, -1, true));
    EXPECT_EQ(recplay::CountOf("PLAY_ChooseAudio"), 256);
    EXPECT_FALSE(SetParam(9, 1, true));
    EXPECT_EQ(Settings(9).audioMode, 1) << "remembered without a mode";
    EXPECT_EQ(audio->GetSoundWindow(), 9);
}

TEST_F(AudioTest, ANewModeGetsTheWindowsRememberedSettings)
{
    EXPECT_FALSE(SetParam(3, 1, false));
    recplay::Reset();
    TestMode* mode = Play(3, 13);
    attachSignal.Emit(3, mode);
    // Sound stays off (-2) but the window is now enabled; the volume is the remembered 0.
    EXPECT_EQ(recplay::Journal(),
              (std::vector<std::string>{"PLAY_StopSoundShare(13)", "PLAY_AdjustWaveAudio(13,-100)"}));
    EXPECT_EQ(Settings(3).audioMode, -2);
    EXPECT_TRUE(Settings(3).enabled);
    EXPECT_EQ(Settings(3).volume, 0);

    // A window without settings is left alone.
    recplay::Reset();
    attachSignal.Emit(4, Play(4, 14));
    EXPECT_TRUE(recplay::Journal().empty());
    CAudiOutputCtrl::AudioSettings none;
    EXPECT_FALSE(audio->GetSettings(4, &none));
}

TEST_F(AudioTest, VolumeNeedsAPlayingMode)
{
    EXPECT_FALSE(SetVolume(1, 40));
    EXPECT_EQ(Call("getAudioVolume", R"({"winID":1})").asInt(), 0);
    EXPECT_FALSE(SetParam(1, 2, true));
    EXPECT_FALSE(SetVolume(1, 40));
    EXPECT_EQ(Settings(1).volume, 0) << "nothing remembered without a mode";

    Play(1, 11);
    recplay::Reset();
    EXPECT_TRUE(SetVolume(1, 150));
    EXPECT_EQ(recplay::Journal(), std::vector<std::string>{"PLAY_AdjustWaveAudio(11,100)"});
    EXPECT_EQ(Settings(1).volume, 150) << "kept as given";
    EXPECT_EQ(Call("getAudioVolume", R"({"winID":1})").asInt(), 100);

    recplay::SetResult("PLAY_AdjustWaveAudio", 0);
    EXPECT_FALSE(SetVolume(1, 20));
    EXPECT_EQ(Settings(1).volume, 150);
}

TEST_F(AudioTest, FollowsWindowsLeavingTheViewAndBeingSwitchedTo)
{
    Play(1, 11);
    Play(2, 12);
    EXPECT_TRUE(SetParam(1, 3, true));
    EXPECT_TRUE(SetVolume(1, 40));

    recplay::Reset();
    viewNodeSignal.Emit(1, ViewNodeJoined);
    EXPECT_TRUE(recplay::Journal().empty());
    viewNodeSignal.Emit(1, ViewNodeLeft);
    EXPECT_EQ(recplay::Journal(), std::vector<std::string>{"PLAY_StopSoundShare(11)"});
    EXPECT_EQ(Settings(1).audioMode, -2);
    EXPECT_FALSE(Settings(1).enabled);

    // Switching to a window applies its stored settings: its track and volume.
    EXPECT_TRUE(SetParam(1, 3, true));
    EXPECT_TRUE(SetParam(2, 0, true));
    recplay::Reset();
    switchSignal.Emit(1, 1);
    EXPECT_EQ(recplay::Journal(),
              (std::vector<std::string>{"PLAY_StopSoundShare(12)", "PLAY_StopSoundShare(11)", "PLAY_ChooseAudio(11,3,1)",
                                        "PLAY_PlaySoundShare(11)", "PLAY_AdjustWaveAudio(11,-20)"}));
    EXPECT_EQ(audio->GetSoundWindow(), 1);
}

// The settings are written from request threads and signal threads at once.
TEST_F(AudioTest, ConcurrentRequestsKeepEverySetting)
{
    constexpr int kThreads = 4;
    constexpr int kWindows = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kWindows; ++i) {
                const int winID = t * 1000 + i;
                audio->setAudioParam(winID, i % 7, true);
                audio->OnSwitchWnd(winID, 1);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kWindows; i += 37) {
            EXPECT_EQ(Settings(t * 1000 + i).audioMode, i % 7);
        }
    }
}

}  // namespace
}  // namespace localtest
