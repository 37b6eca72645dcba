// Interleavings made certain by a hook in the player manager: the host lets the services go
// while a first picture is being reported, and a first picture comes right after a window's
// video was closed.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "fakes.h"
#include "playerctrl.h"

namespace livetest {
namespace {

using namespace std::chrono_literals;

// The real player manager behind two hooks. Armed, the first time a thread other than the
// test's asks for the mutex, it is held there, as a preempted thread would be, until the
// host has let the services go or a while has passed. After each CloseWindow, afterClose
// runs.
class HookedPlayerMgr final : public Tolvane::IPlayerMgr {
public:
    explicit HookedPlayerMgr(HostContext* context) : m_real(context, "") {}

    void Arm()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed = true;
    }
    bool WaitHeld()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 30s, [this] { return m_held; });
    }
    void Cleared()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cleared = true;
        m_changed.notify_all();
    }
    bool HeldAcrossClear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heldAcrossClear;
    }

    QMutex* GetMutex() override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_armed && std::this_thread::get_id() != m_testThread) {
            m_armed = false;
            m_held = true;
            m_changed.notify_all();
            // The control's destructor waits for this report; one that does not comes back
            // before this wait runs out.
            m_changed.wait_for(lock, 300ms, [this] { return m_cleared; });
            m_heldAcrossClear = m_cleared;
        }
        return m_real.GetMutex();
    }

    bool AttachPlayMode(int winID, Tolvane::IPlayMode* mode) override { return m_real.AttachPlayMode(winID, mode); }
    bool DetachPlayMode(int winID, Tolvane::IPlayMode* mode, bool all) override
    {
        return m_real.DetachPlayMode(winID, mode, all);
    }
    Tolvane::IPlayMode* GetOpenPlayMode(int winID) override { return m_real.GetOpenPlayMode(winID); }
    const WindowModes* GetWindowModes(int winID) override { return m_real.GetWindowModes(winID); }
    Tolvane::IPlayMode* GetPlayMode(int winID, const char* modeId) override
    {
        return m_real.GetPlayMode(winID, modeId);
    }
    std::vector<Tolvane::IPlayMode*> GetDeviceModes(Tolvane::IDevice* device) override
    {
        return m_real.GetDeviceModes(device);
    }
    std::vector<Tolvane::IPlayMode*> GetChannelModes(Tolvane::IDevice* device, int channel,
                                                     const char* modeId) override
    {
        return m_real.GetChannelModes(device, channel, modeId);
    }
    Tolvane::IPlayMode* GetPlayMode(Tolvane::IDevice* device, int channel, int streamType,
                                    const char* modeId) override
    {
        return m_real.GetPlayMode(device, channel, streamType, modeId);
    }
    bool CloseWindow(int winID) override
    {
        const bool closed = m_real.CloseWindow(winID);
        if (afterClose) {
            afterClose();
        }
        return closed;
    }
    ModeMap GetModeMap() override { return m_real.GetModeMap(); }

    std::function<void()> afterClose;

private:
    Tolvane::CPlayerMgr m_real;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::thread::id m_testThread = std::this_thread::get_id();
    bool m_armed = false;
    bool m_held = false;
    bool m_cleared = false;
    bool m_heldAcrossClear = false;
};

class ManagerHookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeplayer::Reset();
        m_host = std::make_unique<testsupport::TestHost>();
        fakeplayer::FillResolveTable(*m_host);
        Tolvane::SetUpModuleLogger(m_host->Context());
        Foundation::RegisterHostObject(m_host->Context(), Foundation::TypeName::ISorquin,
                                       Foundation::CSharedPtr<ISorquin>(new FakeSorquin()));
        Foundation::RegisterHostObject(m_host->Context(), Foundation::TypeName::IDeviceMgr,
                                       Foundation::CSharedPtr<Tolvane::IDeviceMgr>(new FakeDeviceMgr(&m_device)));
        manager = new HookedPlayerMgr(m_host->Context());
        m_managerRef = Foundation::CSharedPtr<Tolvane::IPlayerMgr>(manager);
        Foundation::RegisterHostObject(m_host->Context(), Foundation::TypeName::IPlayerMgr, m_managerRef);
        Tolvane::CRealtimeStreamCtrl::CreateSvrObject(m_host->Context(), "");
        Tolvane::PlayerCtrl::CreateSvrObject(m_host->Context(), "");
        m_host->EmitImplComLoaded();
    }
    void TearDown() override
    {
        Tolvane::DrainModuleTasks();
        manager->afterClose = nullptr;
        m_host->EmitImplComPreRelease();
        m_host->ClearMethods();
        m_host->ClearObjects();
        m_managerRef = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        Tolvane::SetModuleLogger(nullptr);
        m_host.reset();
    }

    bool Call(const std::string& method, const std::string& params)
    {
        Json::Value reply;
        return Foundation::JsonParse(m_host->CallMethod(method, params), reply)
               && Foundation::JsonMember(reply, "result") == true;
    }
    Tolvane::IPlayMode* LiveModeOf(int winID) { return livetest::LiveModeOf(manager, winID); }

    std::unique_ptr<testsupport::TestHost> m_host;
    HookedPlayerMgr* manager = nullptr;
    FakeDevice m_device;

private:
    // The hook outlives the services, so that it can still be told that they are gone.
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> m_managerRef;
};

TEST_F(ManagerHookTest, FirstPictureReportUnderWayEndsBeforeTheControlGoes)
{
    {
        auto live = m_host->QueryService<Tolvane::CRealtimeStreamCtrl>(Foundation::TypeName::CRealtimeStreamCtrl);
        ASSERT_TRUE(live && live->ConnectRealVideoByID(0, -1, 2, 0, 0, 5, false));
    }
    manager->Arm();
    fakeplayer::FirePicture(fakeplayer::LastPort());
    ASSERT_TRUE(manager->WaitHeld()) << "no first-picture report";

    // The client's release, while the report is held.
    m_host->EmitImplComPreRelease();
    m_host->ClearMethods();
    m_host->ClearObjects();
    manager->Cleared();
    Tolvane::DrainModuleTasks();
    EXPECT_FALSE(manager->HeldAcrossClear()) << "the control was destroyed under its report";
}

// Window 0 shows the main stream and switches to a sub-stream that has no picture yet; the
// window is stopped, and the sub-stream's first picture comes right after its video was
// closed: the window stays stopped.
TEST_F(ManagerHookTest, AStoppedWindowDoesNotPlayASwitchThatWasPending)
{
    struct Case {
        const char* name;
        std::function<void()> stop;
    };
    const Case cases[] = {
        {"stopPlayer", [this] { EXPECT_TRUE(Call("stopPlayer", R"({"winID":0})")); }},
        {"logout",
         [this] { m_host->QueryService<Tolvane::PlayerCtrl>(Foundation::TypeName::PlayerCtrl)->OnDeviceLoginout(1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Call("setRealStreamSource", R"({"winID":0,"channel":0,"streamType":"Main"})"));
        ASSERT_TRUE(Call("startPlayer", R"({"winID":0})"));
        fakeplayer::FirePicture(fakeplayer::LastPort());
        Tolvane::DrainModuleTasks();
        Tolvane::IPlayMode* shown = LiveModeOf(0);
        ASSERT_NE(shown, nullptr);

        // The window plays live video: a new source starts at once, as a pending switch.
        ASSERT_TRUE(Call("setRealStreamSource", R"({"winID":0,"channel":0,"streamType":"Extra1"})"));
        const int32_t pendingPort = fakeplayer::LastPort();
        ASSERT_EQ(LiveModeOf(0), shown) << "the switch waits for its first picture";

        manager->afterClose = [pendingPort] {
            fakeplayer::FirePicture(pendingPort);
            Tolvane::DrainModuleTasks();
        };
        c.stop();
        manager->afterClose = nullptr;
        EXPECT_EQ(LiveModeOf(0), nullptr) << "the stopped window plays the pending switch";
        EXPECT_EQ(m_device.Stops().size(), m_device.ConnectCount()) << "a stream goes on";
    }
}

}  // namespace
}  // namespace livetest
