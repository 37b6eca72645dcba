// Stops and callback removals are synchronous, also while another thread keeps feeding.
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace playtest;

namespace {

struct Watch {
    std::atomic<bool> stopped{false};
    std::atomic<int> calls{0};
    std::atomic<int> late{0};
    int32_t port = 0;
};

void OnVisible(int32_t, const FRAME_DECODE_INFO *, const FRAME_INFO_EX *, void *user)
{
    auto *w = static_cast<Watch *>(user);
    w->calls++;
    std::this_thread::sleep_for(std::chrono::microseconds(300));  // widen the window
    if (w->stopped)
        w->late++;
}

void OnDemux(int32_t, const uint8_t *, int32_t, const PLAY_DEMUX_INFO *, void *, void *user)
{
    auto *w = static_cast<Watch *>(user);
    if (w->stopped)
        w->late++;
}

void OnDraw(void *user, const uint8_t *, int32_t, int32_t, int32_t)
{
    auto *w = static_cast<Watch *>(user);
    if (w->stopped)
        w->late++;
}

class Stopping : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { PTEST_SetClockRate(1000.0); }
    void TearDown() override { PTEST_SetClockRate(1.0); }
};

// 0: PLAY_Stop, 1: PLAY_ReleasePort, 2: removing the callbacks and the window.
TEST_P(Stopping, NoCallbackRunsAfterTheCallReturnsWhileFeedingGoesOn)
{
    StreamOptions options;
    options.frames = 50;
    options.audio = true;
    const auto bytes = Concat(MakePackets(options));
    for (int round = 0; round < 10; ++round) {
        Watch watch;
        PLAY_VIDEO_SINK sink{&OnDraw, &watch};
        const int32_t port = OpenPort(200000, &sink);
        ASSERT_NE(port, 0);
        PLAY_SetVisibleDecodeCallBack(port, &OnVisible, &watch);
        PLAY_SetDemuxCallBack(port, &OnDemux, &watch);
        std::atomic<bool> feeding{true};
        std::thread feeder([&] {
            for (size_t offset = 0; feeding; offset = (offset + 5000) % bytes.size())
                PLAY_InputData(port, bytes.data() + offset, int32_t(std::min<size_t>(5000, bytes.size() - offset)));
        });
        ASSERT_TRUE(WaitUntil([&] { return watch.calls > 3; }));
        switch (GetParam()) {
        case 0: ASSERT_EQ(PLAY_Stop(port), 1); break;
        case 1: ASSERT_EQ(PLAY_ReleasePort(port), 1); break;
        default:
            PLAY_SetVisibleDecodeCallBack(port, nullptr, nullptr);
            PLAY_SetDemuxCallBack(port, nullptr, nullptr);
            PLAY_Play(port, nullptr);
            break;
        }
        watch.stopped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        feeding = false;
        feeder.join();
        EXPECT_EQ(watch.late.load(), 0) << "round " << round;
        if (GetParam() == 1) {
            const uint8_t byte = 0;
            EXPECT_EQ(PLAY_InputData(port, &byte, 1), 0);
        } else {
            PLAY_ReleasePort(port);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Play, Stopping, ::testing::Values(0, 1, 2));

struct SelfStop {
    int32_t port = 0;
    int what = 0;
    std::atomic<int> calls{0};
};

void OnVisibleStopsItself(int32_t port, const FRAME_DECODE_INFO *, const FRAME_INFO_EX *, void *user)
{
    auto *s = static_cast<SelfStop *>(user);
    if (s->calls++ != 2)
        return;
    if (s->what == 0)
        PLAY_Stop(port);
    else if (s->what == 1)
        PLAY_SetVisibleDecodeCallBack(port, nullptr, nullptr);
    else
        PLAY_ReleasePort(port);
}

TEST(Reentry, ACallbackMayStopOrReleaseItsOwnPort)
{
    PTEST_SetClockRate(1000.0);
    StreamOptions options;
    options.frames = 20;
    const auto bytes = Concat(MakePackets(options));
    for (int what = 0; what < 3; ++what) {
        SCOPED_TRACE(what);
        SelfStop s;
        s.what = what;
        const int32_t port = OpenPort();
        ASSERT_NE(port, 0);
        PLAY_SetVisibleDecodeCallBack(port, &OnVisibleStopsItself, &s);
        ASSERT_TRUE(FeedAll(port, bytes, bytes.size()));
        ASSERT_TRUE(WaitUntil([&] { return s.calls >= 3; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(s.calls.load(), 3);
        if (what != 2) {
            EXPECT_EQ(PLAY_ReleasePort(port), 1);
        }
    }
    PTEST_SetClockRate(1.0);
}

int32_t OnWaterMark(int32_t, const char *buffer, int64_t, int32_t, int32_t, int32_t length, int32_t kind, void *user)
{
    static_cast<std::string *>(user)->assign(buffer, size_t(length)).append(":" + std::to_string(kind));
    return 0;
}

TEST(Reentry, TheWaterMarkCallbackIsKeptPerPortAndRemovable)
{
    std::string seen;
    ASSERT_EQ(PLAY_SetStreamOpenMode(PLAY_FIXED_PORT, 1), 1);
    ASSERT_EQ(PLAY_OpenStream(PLAY_FIXED_PORT, nullptr, 0, 102400), 1);
    ASSERT_EQ(PLAY_SetWaterMarkCallBackEx(PLAY_FIXED_PORT, &OnWaterMark, &seen), 1);
    EXPECT_EQ(PTEST_FireWaterMark(PLAY_FIXED_PORT, "mark", 4, 1, 0, 0), 1);
    EXPECT_EQ(seen, "mark:1");
    ASSERT_EQ(PLAY_SetWaterMarkCallBackEx(PLAY_FIXED_PORT, nullptr, nullptr), 1);
    EXPECT_EQ(PTEST_FireWaterMark(PLAY_FIXED_PORT, "x", 1, 2, 0, 0), 0);
    EXPECT_EQ(seen, "mark:1");
    PLAY_CloseStream(PLAY_FIXED_PORT);
}

}  // namespace
