// The window module's paint relayed to play modes that other threads dispose of: a mode is
// never reached through "frameDrawSignal" once its disposal has returned.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <tolvane/IPlayerMgr.h>

#include <lockedsignal.h>

#include "fakes.h"
#include "playermgr.h"
#include "realvideomode.h"

namespace playtest {
namespace {

using FrameDrawSignal = Sorquin::LockedSignal<long, long, void*, void*>;

// A live mode that marks its deletion.
class MarkedMode final : public Tolvane::CRealVideoMode {
public:
    MarkedMode(HostContext* context, std::atomic<bool>* deleted)
        : CRealVideoMode(context, false, nullptr, false), m_deleted(deleted)
    {
    }
    ~MarkedMode() override
    {
        EndLifetime();
        m_deleted->store(true);
    }

private:
    std::atomic<bool>* m_deleted;
};

class FrameDrawLifetimeTest : public PlayTest {
protected:
    void SetUp() override
    {
        PlayTest::SetUp();
        Foundation::AddHostSignal(Context(), "frameDrawSignal", &frameDraw);
        Tolvane::CPlayerMgr::CreateSvrObject(Context(), "");
        Host().EmitImplComLoaded();
        manager = Host().QueryService<Tolvane::IPlayerMgr>(Foundation::TypeName::IPlayerMgr);
        ASSERT_TRUE(manager.get() != nullptr);
    }
    void TearDown() override
    {
        manager = Foundation::CSharedPtr<Tolvane::IPlayerMgr>();
        PlayTest::TearDown();  // the host, and with it the signal's listing, goes
    }

    FrameDrawSignal frameDraw;
    Foundation::CSharedPtr<Tolvane::IPlayerMgr> manager;
};

// The paint stays inside the relay of a mode while the player manager disposes of it on
// another thread; the relay's listener looks whether its mode was deleted under it.
TEST_F(FrameDrawLifetimeTest, DisposalWaitsForAPaintRelayedToTheMode)
{
    std::atomic<bool> deleted{false};
    auto* mode = new MarkedMode(Context(), &deleted);
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false;
    bool deletedUnderPaint = false;
    struct Listener {
        std::function<void()> onDraw;
        void OnDraw(long, long, void*, void*) { onDraw(); }
    } listener{[&] {
        std::unique_lock<std::mutex> lock(mutex);
        inside = true;
        changed.notify_all();
        // A disposal that does not wait deletes the mode at once; one that waits lets this
        // wait run out.
        changed.wait_for(lock, std::chrono::milliseconds(300), [&] { return deleted.load(); });
        deletedUnderPaint = deleted.load();
    }};
    mode->AttachFrameDraw(Tolvane::IPlayMode::FrameDrawHandler(&listener, &Listener::OnDraw));
    ASSERT_TRUE(manager->AttachPlayMode(0, mode));

    std::thread paint([&] { frameDraw.Emit(0, 1, nullptr, nullptr); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return inside; });
    }
    std::thread dispose([&] {
        manager->DetachPlayMode(0, nullptr, true);
        std::lock_guard<std::mutex> lock(mutex);
        changed.notify_all();
    });
    paint.join();
    dispose.join();
    EXPECT_FALSE(deletedUnderPaint) << "the mode was deleted while its paint relay ran";
    EXPECT_TRUE(deleted.load());
    EXPECT_EQ(frameDraw.HandlerCount(), 0u);
}

// As a window's paint does, one thread raises the signal without pause while this thread
// creates live modes, files them in a window and detaches them again.
TEST_F(FrameDrawLifetimeTest, PaintsWhileLiveModesComeAndGo)
{
    std::atomic<bool> stop{false};
    std::atomic<long> paints{0};
    std::thread paint([&] {
        while (!stop.load()) {
            frameDraw.Emit(long(paints.load() % 2), paints.load(), nullptr, nullptr);
            ++paints;
        }
    });
    for (int round = 0; round < 2000; ++round) {
        const int winID = round % 2;
        auto* mode = new Tolvane::CRealVideoMode(Context(), false, HandleOf(winID), false);
        ASSERT_TRUE(manager->AttachPlayMode(winID, mode));
        if (round % 3 == 0) {
            std::this_thread::yield();
        }
        manager->DetachPlayMode(winID, nullptr, true);
    }
    stop.store(true);
    paint.join();
    EXPECT_GT(paints.load(), 0);
    EXPECT_EQ(frameDraw.HandlerCount(), 0u);
}

}  // namespace
}  // namespace playtest
