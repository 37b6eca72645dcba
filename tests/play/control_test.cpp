// Pacing by timestamps on a manual clock: speed, pause, single steps, reverse and play groups.
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <deque>

using namespace playtest;

namespace {

class Pacing : public ::testing::Test {
protected:
    void SetUp() override { PTEST_SetManualClock(1); }
    void TearDown() override
    {
        for (int32_t port : m_ports)
            PLAY_ReleasePort(port);
        PTEST_SetManualClock(0);
    }

    // A playing port with every frame of a 25 fps stream fed, its first frame on screen.
    int32_t Start(Recorder &recorder, const std::vector<packetfmt::Packet> &packets)
    {
        const int32_t port = OpenPort();
        EXPECT_NE(port, 0);
        m_ports.push_back(port);
        recorder.Attach(port);
        EXPECT_TRUE(FeedAll(port, Concat(packets), 65536));
        PLAY_Flush(port);
        Settle(port);
        return port;
    }

    static void Settle(int32_t port) { ASSERT_EQ(PTEST_WaitIdle(port, 5000), 1); }

    static void Advance(int64_t ms, std::initializer_list<int32_t> ports)
    {
        PTEST_AdvanceClock(ms);
        for (int32_t port : ports)
            Settle(port);
    }

    std::vector<packetfmt::Packet> Stream(int frames, int gop = 1)
    {
        StreamOptions options;
        options.frames = frames;
        options.gop = gop;
        return MakePackets(options);
    }

    // Start() with the stream fed in blocks of about one frame, most of which wait in the
    // source buffer.
    int32_t StartInSmallBlocks(Recorder &recorder, const std::vector<packetfmt::Packet> &packets)
    {
        const int32_t port = OpenPort();
        EXPECT_NE(port, 0);
        m_ports.push_back(port);
        recorder.Attach(port);
        EXPECT_TRUE(FeedAll(port, Concat(packets), 800));
        Settle(port);
        return port;
    }

    // Recorders outlive the ports that call them.
    Recorder &NewRecorder() { return m_recorders.emplace_back(); }

    std::deque<Recorder> m_recorders;
    std::vector<int32_t> m_ports;
};

TEST_F(Pacing, FramesFollowTheirTimestampsAtTheChosenSpeed)
{
    struct Case {
        float speed;
        int64_t advanceMs;
        size_t shownAfter;  // the first frame comes at once, then one per 40 ms / speed
    };
    const Case cases[] = {{1.0f, 400, 11}, {2.0f, 400, 21}, {0.5f, 400, 6}, {4.0f, 100, 11}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.speed);
        Recorder &recorder = NewRecorder();
        const int32_t port = Start(recorder, Stream(40));
        ASSERT_EQ(recorder.ShownCount(), 1u);
        ASSERT_EQ(PLAY_SetPlaySpeed(port, c.speed), 1);
        Advance(c.advanceMs, {port});
        EXPECT_EQ(recorder.ShownCount(), c.shownAfter);
        Advance(39, {port});
        EXPECT_EQ(recorder.ShownCount(), c.shownAfter + (c.speed > 1.0f ? size_t(c.speed) - 1 : 0));
        PLAY_ReleasePort(port);
        m_ports.pop_back();
    }
}

TEST_F(Pacing, PauseHoldsStepsShowOneFrameEachAndPlayResumes)
{
    Recorder &recorder = NewRecorder();
    const int32_t port = Start(recorder, Stream(40));
    Advance(80, {port});
    ASSERT_EQ(recorder.ShownCount(), 3u);

    ASSERT_EQ(PLAY_Pause(port, 1), 1);
    Advance(1000, {port});
    EXPECT_EQ(recorder.ShownCount(), 3u);

    for (size_t step = 1; step <= 3; ++step) {
        ASSERT_EQ(PLAY_OneByOne(port), 1);
        Settle(port);
        EXPECT_EQ(recorder.ShownCount(), 3u + step);
    }
    Advance(1000, {port});
    EXPECT_EQ(recorder.ShownCount(), 6u);  // stepping holds between steps

    ASSERT_EQ(PLAY_Play(port, nullptr), 1);  // leaves single-step mode
    Advance(200, {port});
    EXPECT_EQ(recorder.ShownCount(), 11u);

    ASSERT_EQ(PLAY_Pause(port, 1), 1);
    Advance(500, {port});
    ASSERT_EQ(PLAY_Pause(port, 0), 1);
    Advance(40, {port});
    EXPECT_EQ(recorder.ShownCount(), 12u);

    const auto shown = recorder.ShownFrames();
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i].sequence, i);
}

// A seek while paused: the buffers are reset and the stream of the new place is fed; the
// port shows that place's first picture at once and then holds it until play resumes.
TEST_F(Pacing, ASeekWhilePausedShowsTheNewPlaceAtOnceThenHolds)
{
    Recorder &recorder = NewRecorder();
    const int32_t port = StartInSmallBlocks(recorder, Stream(40));
    Advance(80, {port});
    ASSERT_EQ(PLAY_Pause(port, 1), 1);
    Settle(port);
    const size_t before = recorder.ShownCount();

    StreamOptions later;
    later.frames = 20;
    later.startMs = kStartMs + 30000;  // 30 s on
    // The old stream's bytes still in the source buffer are demultiplexed between the two
    // resets, as a caller's resets may leave them time to be.
    ASSERT_EQ(PLAY_ResetBuffer(port, PLAY_BUF_DEMUX), 1);
    Settle(port);
    ASSERT_EQ(PLAY_ResetBuffer(port, PLAY_BUF_PICTURES), 1);
    ASSERT_EQ(PLAY_ResetSourceBuffer(port), 1);
    ASSERT_TRUE(FeedAll(port, Concat(MakePackets(later)), 65536));
    Settle(port);
    const size_t shown = recorder.ShownCount();
    ASSERT_GT(shown, before);
    EXPECT_EQ(recorder.ShownFrames().back().timestampMs, later.startMs);
    Advance(1000, {port});
    EXPECT_EQ(recorder.ShownCount(), shown) << "the picture holds while paused";

    ASSERT_EQ(PLAY_Pause(port, 0), 1);
    Advance(400, {port});
    EXPECT_GT(recorder.ShownCount(), shown);
    EXPECT_EQ(recorder.ShownFrames().back().timestampMs, later.startMs + 400);
}

TEST_F(Pacing, ReverseShowsEachGroupOfPicturesLastToFirst)
{
    // Groups of four sent from the last to the first, each in decoding order, as a device
    // sends a recording backwards.
    const auto forward = Stream(24, 4);
    std::vector<packetfmt::Packet> backward;
    for (int g = 5; g >= 0; --g)
        backward.insert(backward.end(), forward.begin() + g * 4, forward.begin() + g * 4 + 4);

    const int32_t port = OpenPort();
    ASSERT_NE(port, 0);
    m_ports.push_back(port);
    Recorder &recorder = NewRecorder();
    recorder.Attach(port);
    ASSERT_EQ(PLAY_SetPlayDirection(port, 1), 1);
    ASSERT_TRUE(FeedAll(port, Concat(backward), 65536));
    PLAY_Flush(port);
    Settle(port);
    ASSERT_EQ(recorder.ShownCount(), 1u);
    Advance(120, {port});
    EXPECT_EQ(recorder.ShownCount(), 4u);
    Advance(1000, {port});

    const auto shown = recorder.ShownFrames();
    ASSERT_EQ(shown.size(), 24u);
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i].sequence, 23 - i);
    EXPECT_TRUE(WaitDrained(port));
}

TEST_F(Pacing, AGroupPausesStepsAndChangesSpeedTogether)
{
    Recorder &a = NewRecorder(), &b = NewRecorder();
    const int32_t pa = Start(a, Stream(60));
    const int32_t pb = Start(b, Stream(60));
    const int32_t group = PLAY_OpenPlayGroup();
    ASSERT_NE(group, 0);
    ASSERT_EQ(PLAY_AddToPlayGroup(group, pa), 1);
    ASSERT_EQ(PLAY_AddToPlayGroup(group, pb), 1);

    ASSERT_EQ(PLAY_PausePlayGroup(group, 1), 1);
    Advance(1000, {pa, pb});
    EXPECT_EQ(a.ShownCount(), 1u);
    EXPECT_EQ(b.ShownCount(), 1u);

    ASSERT_EQ(PLAY_StepPlayGroup(group), 1);
    ASSERT_EQ(PLAY_StepPlayGroup(group), 1);
    Advance(0, {pa, pb});
    EXPECT_EQ(a.ShownCount(), 3u);
    EXPECT_EQ(b.ShownCount(), 3u);

    ASSERT_EQ(PLAY_PausePlayGroup(group, 0), 1);
    ASSERT_EQ(PLAY_SetPlayGroupSpeed(group, 2.0f), 1);
    Advance(200, {pa, pb});
    EXPECT_EQ(a.ShownCount(), 13u);
    EXPECT_EQ(b.ShownCount(), 13u);

    // A member taken out no longer follows the group.
    ASSERT_EQ(PLAY_DelFromPlayGroup(group, pb), 1);
    ASSERT_EQ(PLAY_PausePlayGroup(group, 1), 1);
    Advance(200, {pa, pb});
    EXPECT_EQ(a.ShownCount(), 13u);
    EXPECT_EQ(b.ShownCount(), 23u);

    EXPECT_EQ(PLAY_DelFromPlayGroup(group, pb), 0);
    EXPECT_EQ(PLAY_AddToPlayGroup(group, 0), 0);
    EXPECT_EQ(PLAY_ClosePlayGroup(group), 1);
    EXPECT_EQ(PLAY_ClosePlayGroup(group), 0);
    EXPECT_EQ(PLAY_PausePlayGroup(group, 0), 0);
}

TEST_F(Pacing, APortWithoutViewersRunsUnpaced)
{
    // No window and no visible-decode callback: nothing to pace for (downloads, checks).
    const int32_t port = OpenPort();
    ASSERT_NE(port, 0);
    m_ports.push_back(port);
    ASSERT_TRUE(FeedAll(port, Concat(Stream(50)), 65536));
    PLAY_Flush(port);
    EXPECT_TRUE(WaitDrained(port));
    PTEST_PORT_STATS stats{};
    PTEST_GetPortStats(port, &stats);
    EXPECT_EQ(stats.shownFrames, 50);
}

}  // namespace
