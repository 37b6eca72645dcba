// Recording starts and stops from several threads against the once-a-second tick, window
// switches and detaches and the player's callbacks, for a few seconds: nothing deadlocks
// and every lock is taken in the one order.

#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "fakes.h"
#include "moduletasks.h"

namespace livetest {
namespace {

constexpr int kWindows = 4;
constexpr auto kRunTime = std::chrono::seconds(3);

class StressTest : public LiveTest {
protected:
    std::string Infos(int winID, int length)
    {
        return R"({"infos":[{"winID":)" + std::to_string(winID) + R"(,"name":"s","ManulRecordLength":)"
               + std::to_string(length) + R"(,"ManulRecordPath":")" + Folder() + R"("}]})";
    }
};

TEST_F(StressTest, RecordingTickAndDetachesRunTogetherWithoutDeadlock)
{
    for (int winID = 0; winID < kWindows; ++winID) {
        ShowLive(winID);
    }
    const auto end = std::chrono::steady_clock::now() + kRunTime;
    auto running = [&] { return std::chrono::steady_clock::now() < end; };
    std::vector<std::future<void>> workers;

    for (int t = 0; t < 3; ++t) {
        workers.push_back(std::async(std::launch::async, [&, t] {
            std::mt19937 rng{unsigned(t)};
            while (running()) {
                const int winID = int(rng() % kWindows);
                Host().CallMethod("startRecord", Infos(winID, int(rng() % 2)));  // length 0 ends at the next tick
                if (rng() % 2 == 0) {
                    Host().CallMethod("stopRecord", R"({"infos":[{"winID":)" + std::to_string(winID) + "}]}");
                }
            }
        }));
    }
    workers.push_back(std::async(std::launch::async, [&] {
        while (running()) {
            live->OnTimer(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }));
    workers.push_back(std::async(std::launch::async, [&] {
        std::mt19937 rng{7u};
        while (running()) {
            const int winID = int(rng() % kWindows);
            switch (rng() % 3) {
            case 0:
                live->DisConnectRealVideoByID(winID);
                break;
            case 1:
                manager->CloseWindow(winID);
                break;
            default:
                break;
            }
            // Back with another stream type: a switch when the window still shows a picture.
            live->ConnectRealVideoByID(0, -1, 2 + int(rng() % 2), 0, winID, 1, false);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }));
    workers.push_back(std::async(std::launch::async, [&] {
        const std::vector<uint8_t> packet(256, 0x42);
        while (running()) {
            for (int32_t port : fakeplayer::OpenedPorts()) {
                fakeplayer::FirePicture(port);
                fakeplayer::FireDemux(port, packet);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }));

    for (std::future<void>& worker : workers) {
        if (worker.wait_for(kRunTime + std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "a worker did not finish: deadlock";
            std::abort();
        }
    }
    Tolvane::ModuleTaskPool().waitForDone();

    // Everything stops cleanly afterwards.
    Host().CallMethod("stopRecord", R"({"infos":[{"winID":0},{"winID":1},{"winID":2},{"winID":3}]})");
    for (int winID = 0; winID < kWindows; ++winID) {
        EXPECT_NE(recording->GetRecordState(winID), Tolvane::CRecordVideoCtrl::StateRecording);
    }
}

}  // namespace
}  // namespace livetest
