// The player manager: filing modes per window, the three host signals, ownership (a mode is
// closed and deleted with its last window) and the lookups.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <foundation/HostCalls.h>

#include <tolvane/IPlayerMgr.h>

#include "fakes.h"
#include "playermgr.h"
#include "playmode.h"

namespace playtest {
namespace {

using Tolvane::IPlayMode;

std::vector<std::string> g_events;

// A mode with a chosen id and name that records its close and deletion.
class TestMode final : public Tolvane::CPlayMode {
public:
    TestMode(HostContext* context, std::string name, const char* id)
        : CPlayMode(context, nullptr, false), m_name(std::move(name)), m_id(id)
    {
    }
    ~TestMode() override
    {
        EndLifetime();
        g_events.push_back("delete " + m_name);
    }
    const char* GetModeID() override { return m_id; }
    bool Close() override
    {
        g_events.push_back("close " + m_name);
        m_open.store(false);
        return true;
    }
    void Open(Tolvane::IDevice* device, int channel, int streamType)
    {
        m_device.store(device);
        m_channel.store(channel);
        m_streamType.store(streamType);
        m_open.store(true);
    }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    const char* m_id;
};

std::string NameOf(IPlayMode* mode)
{
    auto* test = dynamic_cast<TestMode*>(mode);
    return test ? test->Name() : "?";
}

class PlayerMgrTest : public PlayTest {
protected:
    void SetUp() override
    {
        PlayTest::SetUp();
        g_events.clear();
        Host().Context()->AddSignal("ViewNodeChange", &viewNode);
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        manager = Host().QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(manager.get() != nullptr);
        Foundation::ConnectHostSignal(Context(), "attachPlayModeSignal",
                                      Tolvane::PlayModeSignalHandler(this, &PlayerMgrTest::OnAttach));
        Foundation::ConnectHostSignal(Context(), "detachPlayModeSignal",
                                      Tolvane::PlayModeSignalHandler(this, &PlayerMgrTest::OnDetach));
        Foundation::ConnectHostSignal(Context(), "preClosingWndVideoSignal",
                                      Tolvane::PreClosingWndHandler(this, &PlayerMgrTest::OnPreClosing));
        Host().EmitImplComLoaded();
    }
    void TearDown() override
    {
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        PlayTest::TearDown();
    }

    void OnAttach(int winID, IPlayMode* mode) { g_events.push_back("attach " + std::to_string(winID) + " " + NameOf(mode)); }
    void OnDetach(int winID, IPlayMode* mode)
    {
        g_events.push_back("detach " + std::to_string(winID) + " " + NameOf(mode));
        if (onDetach) {
            onDetach(winID, mode);
        }
    }
    void OnPreClosing(int winID) { g_events.push_back("preclose " + std::to_string(winID)); }

    TestMode* Mode(const std::string& name, const char* id = Tolvane::ModeId::RealVideo)
    {
        return new TestMode(Context(), name, id);
    }

    static std::vector<std::string> TakeEvents()
    {
        std::vector<std::string> taken;
        taken.swap(g_events);
        return taken;
    }

    Foundation::CSignal2<int, enum __ViewListEvent> viewNode;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
    std::function<void(int, IPlayMode*)> onDetach;
};

using Events = std::vector<std::string>;

TEST_F(PlayerMgrTest, PublishesItsSignalsAndRegistersUnderTheInterfaceName)
{
    for (const char* name : {"attachPlayModeSignal", "detachPlayModeSignal", "preClosingWndVideoSignal"}) {
        EXPECT_EQ(Host().SignalCount(name), 1) << name;
    }
    EXPECT_FALSE(manager->AttachPlayMode(1, nullptr));
    EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(PlayerMgrTest, SharedModeIsClosedAndDeletedWithItsLastWindow)
{
    TestMode* a = Mode("A");
    ASSERT_TRUE(manager->AttachPlayMode(1, a));
    ASSERT_TRUE(manager->AttachPlayMode(2, a));
    EXPECT_EQ(TakeEvents(), (Events{"attach 1 A", "attach 2 A"}));
    EXPECT_EQ(a->GetWindows(), (std::vector<int>{1, 2}));

    EXPECT_TRUE(manager->DetachPlayMode(1, a, false));
    EXPECT_EQ(TakeEvents(), (Events{"detach 1 A"}));
    EXPECT_EQ(manager->GetPlayMode(2, Tolvane::ModeId::RealVideo), a);
    EXPECT_EQ(manager->GetWindowModes(1), nullptr);

    EXPECT_TRUE(manager->DetachPlayMode(2, a, false));
    EXPECT_EQ(TakeEvents(), (Events{"detach 2 A", "close A", "delete A"}));
    EXPECT_TRUE(manager->GetModeMap().empty());
}

TEST_F(PlayerMgrTest, SameIdReplacesTheHeldModeAndTheSameModeAgainIsANoOp)
{
    TestMode* a = Mode("A");
    TestMode* b = Mode("B");
    ASSERT_TRUE(manager->AttachPlayMode(1, a));
    ASSERT_TRUE(manager->AttachPlayMode(1, a));
    EXPECT_EQ(TakeEvents(), (Events{"attach 1 A"}));
    EXPECT_EQ(a->WindowCount(), 1);

    ASSERT_TRUE(manager->AttachPlayMode(1, b));
    EXPECT_EQ(TakeEvents(), (Events{"detach 1 A", "close A", "delete A", "attach 1 B"}));
    EXPECT_EQ(manager->GetPlayMode(1, Tolvane::ModeId::RealVideo), b);
}

TEST_F(PlayerMgrTest, DetachOfAModeTheWindowDoesNotHold)
{
    TestMode* a = Mode("A");
    TestMode* stranger = Mode("S");
    ASSERT_TRUE(manager->AttachPlayMode(1, a));
    TakeEvents();
    EXPECT_TRUE(manager->DetachPlayMode(1, stranger, false));
    EXPECT_FALSE(manager->DetachPlayMode(9, a, false));
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(a->WindowCount(), 1);
    stranger->Dispose();
}

TEST_F(PlayerMgrTest, CloseWindowAnnouncesThenDetachesEveryMode)
{
    EXPECT_FALSE(manager->CloseWindow(5));
    EXPECT_EQ(TakeEvents(), (Events{"preclose 5"}));

    ASSERT_TRUE(manager->AttachPlayMode(1, Mode("L", Tolvane::ModeId::LocalPlay)));
    ASSERT_TRUE(manager->AttachPlayMode(1, Mode("R", Tolvane::ModeId::RealVideo)));
    TakeEvents();
    EXPECT_TRUE(manager->CloseWindow(1));
    // Mode ids in order: "class Tolvane::CLocalPlayMode" before "class Tolvane::CRealVideoMode".
    EXPECT_EQ(TakeEvents(),
              (Events{"preclose 1", "detach 1 L", "close L", "delete L", "detach 1 R", "close R", "delete R"}));
    EXPECT_EQ(manager->GetWindowModes(1), nullptr);
}

TEST_F(PlayerMgrTest, WindowLeavingTheViewClosesItsVideo)
{
    ASSERT_TRUE(manager->AttachPlayMode(3, Mode("A")));
    TakeEvents();
    viewNode.Emit(3, ViewNodeJoined);
    EXPECT_TRUE(TakeEvents().empty());
    viewNode.Emit(3, ViewNodeLeft);
    EXPECT_EQ(TakeEvents(), (Events{"preclose 3", "detach 3 A", "close A", "delete A"}));

    Host().EmitImplComPreRelease();
    ASSERT_TRUE(manager->AttachPlayMode(4, Mode("B")));
    TakeEvents();
    viewNode.Emit(4, ViewNodeLeft);
    EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(PlayerMgrTest, DetachHandlerMayCallTheManagerAgain)
{
    TestMode* l = Mode("L", Tolvane::ModeId::LocalPlay);
    TestMode* r = Mode("R", Tolvane::ModeId::RealVideo);
    ASSERT_TRUE(manager->AttachPlayMode(1, l));
    ASSERT_TRUE(manager->AttachPlayMode(1, r));
    TakeEvents();
    // While L leaves, its listener takes R out of the window too.
    onDetach = [&](int winID, IPlayMode* mode) {
        if (mode == l) {
            manager->DetachPlayMode(winID, r, false);
        }
    };
    EXPECT_TRUE(manager->DetachPlayMode(1, nullptr, true));
    EXPECT_EQ(TakeEvents(), (Events{"detach 1 L", "detach 1 R", "close R", "delete R", "close L", "delete L"}));
    EXPECT_TRUE(manager->GetModeMap().empty());
}

TEST_F(PlayerMgrTest, Lookups)
{
    FakeDevice other;
    TestMode* live1 = Mode("live1");
    TestMode* live2 = Mode("live2");
    TestMode* local = Mode("local", Tolvane::ModeId::LocalPlay);
    live1->Open(&device, 0, 2);
    live2->Open(&device, 0, 3);
    ASSERT_TRUE(manager->AttachPlayMode(1, live1));
    ASSERT_TRUE(manager->AttachPlayMode(2, live1));
    ASSERT_TRUE(manager->AttachPlayMode(3, live2));
    ASSERT_TRUE(manager->AttachPlayMode(1, local));

    // The local mode is not open, so the first open mode of window 1 is the live one.
    EXPECT_EQ(manager->GetOpenPlayMode(1), live1);
    EXPECT_EQ(manager->GetOpenPlayMode(7), nullptr);
    EXPECT_EQ(manager->GetDeviceModes(&device), (std::vector<IPlayMode*>{live1, live1, live2}));
    EXPECT_EQ(manager->GetChannelModes(&device, 0, Tolvane::ModeId::RealVideo),
              (std::vector<IPlayMode*>{live1, live2}));
    EXPECT_TRUE(manager->GetChannelModes(&other, 0, Tolvane::ModeId::RealVideo).empty());

    struct Case {
        int streamType;
        IPlayMode* expected;
    };
    for (const Case& c : {Case{-1, live1}, Case{2, live1}, Case{3, live2}, Case{4, nullptr}}) {
        EXPECT_EQ(manager->GetPlayMode(&device, 0, c.streamType, Tolvane::ModeId::RealVideo), c.expected)
            << c.streamType;
    }
    EXPECT_EQ(manager->GetPlayMode(1, Tolvane::ModeId::Playback), nullptr);
    EXPECT_EQ(manager->GetPlayMode(8, Tolvane::ModeId::RealVideo), nullptr);
    EXPECT_EQ(manager->GetModeMap().size(), 3u);
}

TEST_F(PlayerMgrTest, ReleaseClosesAndDeletesEveryModeOnceWithoutSignals)
{
    TestMode* a = Mode("A");
    ASSERT_TRUE(manager->AttachPlayMode(1, a));
    ASSERT_TRUE(manager->AttachPlayMode(2, a));
    ASSERT_TRUE(manager->AttachPlayMode(2, Mode("L", Tolvane::ModeId::LocalPlay)));
    TakeEvents();
    manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
    Host().ClearObjects();
    // Window 1 lets go of A; window 2 then holds L and A, in mode-id order.
    EXPECT_EQ(TakeEvents(), (Events{"close L", "delete L", "close A", "delete A"}));
    EXPECT_EQ(Host().SignalCount("attachPlayModeSignal"), 0);
}

}  // namespace
}  // namespace playtest
