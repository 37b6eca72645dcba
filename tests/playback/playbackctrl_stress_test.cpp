// Window operations of the playback control racing the window's close and a new playback in
// it: every operation either reaches a living mode or answers false. Meant for the
// sanitizer builds, where a mode used after its deletion is reported.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <foundation/TypeNames.h>

#include "fakes.h"
#include "playbackctrl.h"

namespace {

using pbtest::FileInfo;

constexpr int kRounds = 4000;

using PlaybackCtrlStressTest = pbtest::PlaybackCtrlTestBase;

TEST_F(PlaybackCtrlStressTest, WindowOperationsNeverReachAModeThatAnotherThreadCloses)
{
    const Json::Value info = FileInfo("08:00:00", "08:01:00");
    ASSERT_TRUE(ctrl->Playback(0, info, true));

    std::atomic<bool> done{false};
    std::atomic<int> reached{0};
    std::thread operations([&] {
        for (int round = 0; !done.load(); ++round) {
            bool ok = false;
            switch (round % 4) {
            case 0:
                ok = ctrl->Pause(0);
                break;
            case 1:
                ok = ctrl->Resume(0);
                break;
            case 2:
                ok = ctrl->StepForward(0);
                break;
            default:
                ok = ctrl->SetSpeed(0, 2.0f);
                break;
            }
            if (ok) {
                reached.fetch_add(1);
            }
        }
    });
    // At least kRounds, and on until some operation has met a living mode (a loaded
    // machine may schedule the threads apart for a while).
    int rounds = 0;
    int replayed = 0;
    while (rounds < kRounds || (reached.load() == 0 && rounds < 50 * kRounds)) {
        manager->CloseWindow(0);
        if (ctrl->Playback(0, info, true)) {
            ++replayed;
        }
        ++rounds;
    }
    done.store(true);
    operations.join();

    EXPECT_EQ(replayed, rounds);
    EXPECT_GT(reached.load(), 0);
    // Once the window has no mode, each operation answers false.
    manager->CloseWindow(0);
    EXPECT_FALSE(ctrl->Pause(0));
    EXPECT_FALSE(ctrl->Resume(0));
    EXPECT_FALSE(ctrl->SeekByTime(0, 2024, 5, 1, 8, 0, 30));
}

}  // namespace
