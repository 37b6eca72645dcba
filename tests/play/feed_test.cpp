// Ports, feeding in slices, demultiplexing, frame records and buffer accounting.
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace playtest;

namespace {

class Feed : public ::testing::Test {
protected:
    void SetUp() override { PTEST_SetClockRate(200.0); }
    void TearDown() override
    {
        if (m_port)
            PLAY_ReleasePort(m_port);
        PTEST_SetClockRate(1.0);
    }
    Recorder m_recorder;  // destroyed after the port is released
    int32_t m_port = 0;
};

TEST_F(Feed, RandomSlicesShowEveryFrameOnceInOrderWithItsRecord)
{
    struct Case {
        const char *name;
        uint8_t encoding;
        int width, height;
    };
    const Case cases[] = {
        {"uncompressed", packetfmt::kEncI420, 32, 16},
        {"test picture", packetfmt::kEncTestPic, 96, 64},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StreamOptions options;
        options.frames = 40;
        options.encoding = c.encoding;
        options.width = c.width;
        options.height = c.height;
        options.audio = true;
        const auto packets = MakePackets(options);
        // Garbage between some packets, as a resynchronising reader meets it.
        std::mt19937 rng(7);
        std::vector<uint8_t> stream;
        for (size_t i = 0; i < packets.size(); ++i) {
            if (i % 7 == 3) {
                const uint8_t junk[] = {'Q', 'V', 'P', 'K', 1, 2, 3, 'Q', 'V', 0};
                stream.insert(stream.end(), junk, junk + sizeof junk);
            }
            stream.insert(stream.end(), packets[i].bytes.begin(), packets[i].bytes.end());
        }

        Recorder recorder;
        m_port = OpenPort();
        ASSERT_NE(m_port, 0);
        recorder.Attach(m_port);
        size_t offset = 0;
        while (offset < stream.size()) {
            const size_t n = std::min<size_t>(std::uniform_int_distribution<size_t>(1, 3000)(rng), stream.size() - offset);
            ASSERT_TRUE(WaitUntil([&] { return PLAY_InputData(m_port, stream.data() + offset, int32_t(n)) == 1; }));
            offset += n;
        }
        ASSERT_EQ(PLAY_Flush(m_port), 1);
        ASSERT_TRUE(WaitDrained(m_port));
        ASSERT_TRUE(recorder.WaitShown(40));

        const auto shown = recorder.ShownFrames();
        ASSERT_EQ(shown.size(), 40u);
        std::set<uint32_t> ids;
        for (size_t i = 0; i < shown.size(); ++i) {
            const Shown &s = shown[i];
            const packetfmt::CivilTime t = packetfmt::MsToCivil(kStartMs + int64_t(i) * 40);
            EXPECT_EQ(s.sequence, i);
            EXPECT_EQ(s.timestampMs, kStartMs + int64_t(i) * 40);
            EXPECT_EQ(s.width, c.width);
            EXPECT_EQ(s.height, c.height);
            EXPECT_EQ((std::vector<int>{s.year, s.month, s.day, s.hour, s.minute, s.second}),
                      (std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}));
            EXPECT_NE(s.frameId, 0u);
            ids.insert(s.frameId);
            if (c.encoding == packetfmt::kEncI420) {
                EXPECT_EQ(s.y, 20 + i);
                EXPECT_EQ(s.u, 100);
                EXPECT_EQ(s.v, 150);
            }
        }
        EXPECT_EQ(ids.size(), shown.size());
        EXPECT_EQ(recorder.SizeChanges(), (std::vector<std::pair<int, int>>{{c.width, c.height}}));

        // The demux callback saw every packet, audio included, byte for byte and in order.
        const auto demuxed = recorder.Demuxed();
        ASSERT_EQ(demuxed.size(), packets.size());
        for (size_t i = 0; i < packets.size(); ++i)
            EXPECT_EQ(demuxed[i], packets[i].bytes) << i;

        PTEST_PORT_STATS stats{};
        ASSERT_EQ(PTEST_GetPortStats(m_port, &stats), 1);
        EXPECT_EQ(stats.fedBytes, int64_t(stream.size()));
        EXPECT_EQ(stats.packetBytes + stats.skippedBytes, stats.fedBytes);
        EXPECT_EQ(stats.audioPackets, 40);
        PLAY_ReleasePort(m_port);
        m_port = 0;
    }
}

TEST_F(Feed, AnIncompleteTailIsHeldUntilFlushAndThenDropped)
{
    StreamOptions options;
    options.frames = 5;
    const auto packets = MakePackets(options);
    std::vector<uint8_t> stream = Concat(packets);
    const auto &last = packets.back().bytes;
    stream.insert(stream.end(), last.begin(), last.begin() + 60);  // header and a bit

    Recorder &recorder = m_recorder;
    m_port = OpenPort();
    recorder.Attach(m_port);
    ASSERT_TRUE(FeedAll(m_port, stream, 1000));
    ASSERT_TRUE(recorder.WaitShown(5));
    ASSERT_TRUE(PTEST_WaitIdle(m_port, 5000));
    EXPECT_EQ(PLAY_GetSourceBufferRemain(m_port), 60);

    ASSERT_EQ(PLAY_Flush(m_port), 1);
    ASSERT_TRUE(WaitDrained(m_port));
    ASSERT_TRUE(PTEST_WaitIdle(m_port, 5000));
    EXPECT_EQ(recorder.ShownCount(), 5u);
    PTEST_PORT_STATS stats{};
    PTEST_GetPortStats(m_port, &stats);
    EXPECT_EQ(stats.skippedBytes, 60);

    // The port goes on after a flush: new data is played as before.
    options.startMs += 1000;
    ASSERT_TRUE(FeedAll(m_port, Concat(MakePackets(options)), 500));
    EXPECT_TRUE(recorder.WaitShown(10));
}

TEST_F(Feed, AFullSourceBufferRefusesAtOnceAndAcceptsAgainOnceDrained)
{
    StreamOptions options;
    options.frames = 60;
    const auto packets = MakePackets(options);
    Recorder &recorder = m_recorder;
    m_port = OpenPort(4000);
    recorder.Attach(m_port);
    ASSERT_EQ(PLAY_Pause(m_port, 1), 1);

    size_t accepted = 0;
    while (accepted < packets.size() &&
           PLAY_InputData(m_port, packets[accepted].bytes.data(), int32_t(packets[accepted].bytes.size())) == 1)
        ++accepted;
    ASSERT_LT(accepted, packets.size());
    EXPECT_EQ(PLAY_GetLastErrorEx(), PLAY_ERR_FULL);
    EXPECT_LE(PLAY_GetSourceBufferRemain(m_port), 4000 + int32_t(packets[0].bytes.size()));
    // A block larger than the whole buffer can never be taken.
    const std::vector<uint8_t> huge(4001, 0);
    EXPECT_EQ(PLAY_InputData(m_port, huge.data(), int32_t(huge.size())), 0);

    ASSERT_EQ(PLAY_Pause(m_port, 0), 1);
    for (size_t i = accepted; i < packets.size(); ++i)
        ASSERT_TRUE(FeedAll(m_port, packets[i].bytes, packets[i].bytes.size()));
    ASSERT_TRUE(recorder.WaitShown(60));
    EXPECT_TRUE(WaitDrained(m_port));
}

TEST_F(Feed, VideoBeforeTheFirstKeyFrameIsNotShown)
{
    StreamOptions options;
    options.frames = 12;
    options.gop = 4;
    auto packets = MakePackets(options);
    packets.erase(packets.begin(), packets.begin() + 2);  // a recording that starts mid-group
    Recorder &recorder = m_recorder;
    m_port = OpenPort();
    recorder.Attach(m_port);
    ASSERT_TRUE(FeedAll(m_port, Concat(packets), 4096));
    PLAY_Flush(m_port);
    ASSERT_TRUE(WaitDrained(m_port));
    ASSERT_TRUE(recorder.WaitShown(8));
    const auto shown = recorder.ShownFrames();
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_EQ(shown.front().sequence, 4u);
    EXPECT_EQ(recorder.Demuxed().size(), 10u);  // the demultiplexer still hands out all
}

TEST_F(Feed, UndecodablePayloadsShowNothingAndStillDrain)
{
    // SVAC payloads the decoder cannot make pictures of, and an encoding nobody knows.
    for (uint8_t encoding : {uint8_t(packetfmt::kEncSvac), uint8_t(0x7E)}) {
        StreamOptions options;
        options.frames = 6;
        options.encoding = encoding;
        Recorder recorder;
        m_port = OpenPort();
        recorder.Attach(m_port);
        ASSERT_TRUE(FeedAll(m_port, Concat(MakePackets(options)), 100));
        PLAY_Flush(m_port);
        EXPECT_TRUE(WaitDrained(m_port));
        EXPECT_TRUE(PTEST_WaitIdle(m_port, 5000));
        EXPECT_EQ(recorder.ShownCount(), 0u);
        EXPECT_EQ(recorder.Demuxed().size(), 6u);
        PLAY_ReleasePort(m_port);
        m_port = 0;
    }
}

TEST(Ports, NeverZeroNorTheFixedPortAndReleasedPortsAnswerZero)
{
    std::vector<int32_t> ports;
    int32_t port = -1;
    while (PLAY_GetFreePort(&port)) {
        ASSERT_NE(port, 0);
        ASSERT_NE(port, PLAY_FIXED_PORT);
        ports.push_back(port);
        ASSERT_LE(ports.size(), size_t(PLAY_MAX_PORTS));
    }
    EXPECT_EQ(ports.size(), size_t(PLAY_MAX_PORTS - 2));
    EXPECT_EQ(std::set<int32_t>(ports.begin(), ports.end()).size(), ports.size());
    for (int32_t p : ports)
        ASSERT_EQ(PLAY_ReleasePort(p), 1);

    const int32_t released = ports.front();
    const uint8_t byte = 0;
    EXPECT_EQ(PLAY_OpenStream(released, nullptr, 0, 1000), 0);
    EXPECT_EQ(PLAY_InputData(released, &byte, 1), 0);
    EXPECT_EQ(PLAY_Play(released, nullptr), 0);
    EXPECT_EQ(PLAY_Pause(released, 1), 0);
    EXPECT_EQ(PLAY_SetDemuxCallBack(released, nullptr, nullptr), 0);
    EXPECT_EQ(PLAY_ReleasePort(released), 0);
    EXPECT_EQ(PLAY_GetLastErrorEx(), PLAY_ERR_PORT);
    for (int32_t bad : {0, -1, PLAY_MAX_PORTS})
        EXPECT_EQ(PLAY_SetStreamOpenMode(bad, 1), 0) << bad;

    // The fixed port opens without being handed out, and opens again after a close.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(PLAY_SetStreamOpenMode(PLAY_FIXED_PORT, 1), 1);
        EXPECT_EQ(PLAY_OpenStream(PLAY_FIXED_PORT, nullptr, 0, 102400), 1);
        EXPECT_EQ(PLAY_OpenStream(PLAY_FIXED_PORT, nullptr, 0, 102400), 0);  // already open
        EXPECT_EQ(PLAY_Play(PLAY_FIXED_PORT, nullptr), 1);
        EXPECT_EQ(PLAY_Stop(PLAY_FIXED_PORT), 1);
        EXPECT_EQ(PLAY_CloseStream(PLAY_FIXED_PORT), 1);
    }
}

TEST(Ports, CallsOutOfOrderOrWithBadArgumentsFail)
{
    int32_t port = 0;
    ASSERT_EQ(PLAY_GetFreePort(&port), 1);
    const uint8_t byte = 0;
    EXPECT_EQ(PLAY_InputData(port, &byte, 1), 0);   // no stream yet
    EXPECT_EQ(PLAY_Play(port, nullptr), 0);
    EXPECT_EQ(PLAY_OpenStream(port, nullptr, 0, 0), 0);
    EXPECT_EQ(PLAY_SetStreamOpenMode(port, 5), 0);
    ASSERT_EQ(PLAY_OpenStream(port, nullptr, 1, 1000), 1);
    EXPECT_EQ(PLAY_InputData(port, nullptr, 1), 0);
    EXPECT_EQ(PLAY_InputData(port, &byte, 0), 0);
    EXPECT_EQ(PLAY_SetPlaySpeed(port, 0.0f), 0);
    EXPECT_EQ(PLAY_SetPlaySpeed(port, -2.0f), 0);
    EXPECT_EQ(PLAY_GetBufferValue(port, 9), 0);
    EXPECT_EQ(PLAY_SetDisplayRegion(port, -1, nullptr, nullptr, 1), 0);
    EXPECT_EQ(PLAY_ChooseAudio(port, 256, 1), 0);
    EXPECT_EQ(PLAY_AdjustWaveAudio(port, 101), 0);
    int32_t w = -1, h = -1;
    EXPECT_EQ(PLAY_GetPictureSize(port, &w, &h), 0);  // nothing seen yet
    EXPECT_EQ(PLAY_EnableLargePicAdjustment(port, 1), 1);
    EXPECT_EQ(PLAY_GetFreePort(nullptr), 0);
    PLAY_ReleasePort(port);
}

TEST(Audio, ChoiceAndVolumeAreCountedWithoutADevice)
{
    PTEST_SetClockRate(200.0);
    StreamOptions options;
    options.frames = 10;
    options.audio = true;
    const auto bytes = Concat(MakePackets(options));
    const int32_t port = OpenPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(PLAY_StopSoundShare(port), 1);
    for (int ch = 0; ch < 256; ++ch)
        ASSERT_EQ(PLAY_ChooseAudio(port, ch, ch == 0), 1);
    EXPECT_EQ(PLAY_PlaySoundShare(port), 1);
    EXPECT_EQ(PLAY_AdjustWaveAudio(port, 2 * 30 - 100), 1);
    ASSERT_TRUE(FeedAll(port, bytes, 777));
    PLAY_Flush(port);
    ASSERT_TRUE(WaitDrained(port));
    PTEST_PORT_STATS stats{};
    ASSERT_EQ(PTEST_GetPortStats(port, &stats), 1);
    EXPECT_EQ(stats.soundShare, 1);
    EXPECT_EQ(stats.chosenAudio, 1);
    EXPECT_EQ(stats.volume, -40);
    EXPECT_EQ(stats.audioPackets, 10);
    EXPECT_EQ(stats.audioPlayed, 10);
    PLAY_ReleasePort(port);
    PTEST_SetClockRate(1.0);
}

}  // namespace
