// Live streams, playback and downloads of the simulated device.
#include "sim_fixture.h"

#include <random>

using namespace simtest;

namespace {

qn_handle PlayFile(qn_handle login, const qn_record_file &file, Sink &sink, bool reverse = false)
{
    qn_playback_file_in in{};
    in.file = &file;
    in.position_cb = PositionCallback;
    in.position_user = &sink;
    in.data_cb = DataCallback;
    in.data_user = &sink;
    in.reverse = reverse ? 1 : 0;
    in.wait_ms = 10000;
    qn_playback_out out{};
    return CLIENT_PlayBackByRecordFileEx2(login, &in, &out);
}

qn_handle PlayTime(qn_handle login, int channel, const char *start, const char *end, Sink &sink)
{
    qn_playback_time_in in{};
    in.start = Time(start);
    in.end = Time(end);
    in.position_cb = PositionCallback;
    in.position_user = &sink;
    in.data_cb = DataCallback;
    in.data_user = &sink;
    in.wait_ms = 10000;
    qn_playback_out out{};
    return CLIENT_PlayBackByTimeEx2(login, channel, &in, &out);
}

std::vector<packetfmt::Packet> VideoOf(const std::vector<packetfmt::Packet> &packets)
{
    std::vector<packetfmt::Packet> v;
    for (const auto &p : packets)
        if (p.info.kind == packetfmt::kVideo)
            v.push_back(p);
    return v;
}

TEST_F(SimTest, LiveStreamIsRetimedToNowAndStopsSynchronously)
{
    const qn_handle login = Login();
    const int64_t before = packetfmt::LocalNowMs();
    const qn_handle real = CLIENT_RealPlayEx(login, 0, nullptr, 2);
    ASSERT_NE(real, 0);
    Sink sink;
    ASSERT_EQ(CLIENT_SetRealDataCallBack(real, RealCallback, &sink), 1);
    for (int i = 0; i < 200 && sink.Count() < 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(CLIENT_StopRealPlay(real), 1);
    sink.stopped = true;
    const int calls = sink.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sink.calls, calls);
    EXPECT_EQ(sink.lateCalls, 0);
    EXPECT_EQ(CLIENT_StopRealPlay(real), 0);

    auto video = VideoOf(sink.packets);
    ASSERT_GE(video.size(), 5u);
    EXPECT_NE(sink.callbackThread, std::this_thread::get_id());
    for (size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(video[i].info.sequence, i);
        EXPECT_GE(video[i].info.timestampMs, before - 1000);
        EXPECT_LE(video[i].info.timestampMs, packetfmt::LocalNowMs() + 1000);
        if (i) {
            EXPECT_EQ(video[i].info.timestampMs - video[i - 1].info.timestampMs, 40);
        }
    }
    EXPECT_TRUE(video[0].info.key);
    EXPECT_EQ(CLIENT_GetStatiscFlux(login, real), 0);   // the handle is gone

    // Unknown channel, unknown login.
    EXPECT_EQ(CLIENT_RealPlayEx(login, 7, nullptr, 2), 0);
    EXPECT_EQ(CLIENT_GetLastError(), uint32_t(QN_ERR_NO_CHANNEL));
    EXPECT_EQ(CLIENT_RealPlayEx(login + 50, 0, nullptr, 2), 0);
}

TEST_F(SimTest, PlaybackByFileDeliversTheRecordingInOrderAndEnds)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    for (bool reverse : {false, true}) {
        Sink sink;
        const qn_handle h = PlayFile(login, file, sink, reverse);
        ASSERT_NE(h, 0);
        ASSERT_EQ(CLIENT_SetPlayBackSpeed(h, 6), 1);
        ASSERT_TRUE(sink.WaitEnd());
        EXPECT_EQ(sink.endMark, -1);
        EXPECT_EQ(CLIENT_StopPlayBack(h), 1);
        const auto video = VideoOf(sink.packets);
        ASSERT_EQ(video.size(), size_t(kRecFrames)) << "reverse " << reverse;
        EXPECT_TRUE(video.front().info.key);
        std::vector<int64_t> keys;
        for (size_t i = 0; i < video.size(); ++i) {
            EXPECT_GE(video[i].info.timestampMs, Ms(kRecStart));
            EXPECT_LT(video[i].info.timestampMs, Ms(kRecEnd));
            if (video[i].info.key)
                keys.push_back(video[i].info.timestampMs);
            else   // inside a group of pictures the order stays forward
                EXPECT_GT(video[i].info.timestampMs, video[i - 1].info.timestampMs);
        }
        ASSERT_EQ(keys.size(), size_t(kRecFrames / 5));
        for (size_t i = 1; i < keys.size(); ++i)
            EXPECT_EQ(keys[i] < keys[i - 1], reverse) << i;
        if (!reverse) {
            EXPECT_GT(sink.packets.size(), video.size());   // audio comes along
            uint64_t bytes = 0;
            for (const auto &p : sink.packets)
                bytes += p.bytes.size();
            EXPECT_EQ(sink.positions.back().first, bytes);
        }
    }
}

TEST_F(SimTest, PlaybackByTimeClipsAndJoinsRecordings)
{
    const qn_handle login = Login();
    struct Case { int channel; int stream; const char *start, *end; size_t frames; } cases[] = {
        {0, 0, "2024-05-01 10:00:01", "2024-05-01 10:00:02", 50},   // 10:00:01.000-10:00:02.999
        {0, 1, "2024-05-01 10:00:03", "2024-05-01 10:00:11", 25 + 50},   // end of one, all of the next
        {1, 2, "2024-05-01 10:00:00", "2024-05-01 10:00:01", 20},   // extra stream 1
        {1, 4, "2024-05-01 10:00:00", "2024-05-01 10:00:01", 20},   // no such stream: falls back
    };
    for (const Case &c : cases) {
        int stream = c.stream;
        ASSERT_EQ(CLIENT_SetDeviceMode(login, QN_MODE_PLAYBACK_STREAM, &stream), 1);
        Sink sink;
        const qn_handle h = PlayTime(login, c.channel, c.start, c.end, sink);
        ASSERT_NE(h, 0) << c.start;
        CLIENT_SetPlayBackSpeed(h, 6);
        ASSERT_TRUE(sink.WaitEnd());
        CLIENT_StopPlayBack(h);
        const auto video = VideoOf(sink.packets);
        EXPECT_EQ(video.size(), c.frames) << c.start << " " << c.end;
        for (size_t i = 0; i < video.size(); ++i) {
            EXPECT_GE(video[i].info.timestampMs, Ms(c.start));
            EXPECT_LE(video[i].info.timestampMs, Ms(c.end) + 999);
            if (i) {
                EXPECT_GT(video[i].info.timestampMs, video[i - 1].info.timestampMs);
            }
        }
    }
    Sink none;
    EXPECT_EQ(PlayTime(login, 0, "2024-05-02 10:00:00", "2024-05-02 11:00:00", none), 0);
    EXPECT_EQ(CLIENT_GetLastError(), uint32_t(QN_ERR_NO_RECORD));
    EXPECT_EQ(PlayTime(login, 0, "2024-05-01 11:00:00", "2024-05-01 10:00:00", none), 0);
}

TEST_F(SimTest, RefusedBlocksComeAgainAndNothingIsLost)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    Sink sink;
    sink.refuseEvery = 3;
    const qn_handle h = CLIENT_DownloadByRecordFileEx2(login, &file, nullptr, PositionCallback, &sink, DataCallback,
                                                       &sink, nullptr, 0);
    ASSERT_NE(h, 0);
    ASSERT_TRUE(sink.WaitEnd());
    EXPECT_EQ(sink.endMark, -1);
    CLIENT_StopDownload(h);
    const auto all = packetfmt::ParseAll(ReadAll(s_folder->File("rec0.qvp")).data(),
                                         ReadAll(s_folder->File("rec0.qvp")).size());
    ASSERT_EQ(sink.packets.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(sink.packets[i].bytes, all[i].bytes) << i;
    EXPECT_EQ(sink.reader.SkippedBytes(), 0u);
}

TEST_F(SimTest, DownloadsWriteTheRecordingUnchanged)
{
    const qn_handle login = Login();
    const auto original = ReadAll(s_folder->File("rec0.qvp"));
    // By file, the caller writing the blocks; by file with a save file; by time.
    {
        Sink sink;
        const std::string save = s_folder->Root() + "/saved.rkv";
        const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
        const qn_handle h = CLIENT_DownloadByRecordFileEx2(login, &file, save.c_str(), PositionCallback, &sink,
                                                           DataCallback, &sink, nullptr, 0);
        ASSERT_NE(h, 0);
        ASSERT_TRUE(sink.WaitEnd());
        EXPECT_EQ(CLIENT_StopDownload(h), 1);
        EXPECT_EQ(ReadAll(save), original);
        EXPECT_EQ(sink.positions.back(), std::make_pair(uint32_t(original.size()), -1));
    }
    {
        struct TimeSink {
            Sink sink;
            std::string path;
        } ts;
        const qn_time start = Time(kRecStart), end = Time("2024-05-01 10:00:03");
        auto timePos = [](qn_handle, uint32_t total, int32_t done, int32_t, qn_record_file record, void *user) {
            auto *t = static_cast<TimeSink *>(user);
            t->path = record.path;
            PositionCallback(0, total, done, &t->sink);
        };
        const qn_handle h = CLIENT_DownloadByTimeEx(login, 0, 0, &start, &end, nullptr, timePos, &ts, DataCallback,
                                                    &ts.sink, nullptr);
        ASSERT_NE(h, 0);
        ASSERT_TRUE(ts.sink.WaitEnd());
        CLIENT_StopDownload(h);
        EXPECT_EQ(ts.path, "/rec/ch0/1000.rkv");
        EXPECT_EQ(VideoOf(ts.sink.packets).size(), 100u);
    }
    Sink none;
    const qn_record_file missing = Record(5, kRecStart, kRecEnd, "/rec/none.rkv");
    EXPECT_EQ(CLIENT_DownloadByRecordFileEx2(login, &missing, nullptr, PositionCallback, &none, DataCallback, &none,
                                             nullptr, 0), 0);
}

// A device with a transfer rate spreads a download out, so that it reports its
// progress on the way, and still delivers every byte.
TEST_F(SimTest, TransferRateSpreadsADownloadOverTime)
{
    qn_device_info info{};
    int error = -1;
    int cap = 0;
    const qn_handle login = CLIENT_LoginEx2(kAddress, kSlowPort, "admin", "admin123", 0, &cap, &info, &error);
    ASSERT_NE(login, 0) << "login error " << error;
    const auto original = ReadAll(s_folder->File("rec0.qvp"));
    ASSERT_GT(original.size(), 32768u);  // half a second at least
    Sink sink;
    const std::string save = s_folder->Root() + "/slow.rkv";
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    const qn_handle h = CLIENT_DownloadByRecordFileEx2(login, &file, save.c_str(), PositionCallback, &sink,
                                                       DataCallback, &sink, nullptr, 0);
    ASSERT_NE(h, 0);
    ASSERT_TRUE(sink.WaitEnd(60000));
    EXPECT_EQ(CLIENT_StopDownload(h), 1);
    EXPECT_EQ(ReadAll(save), original);
    std::lock_guard<std::mutex> lock(sink.m);
    ASSERT_GE(sink.positions.size(), 2u);
    EXPECT_GT(sink.positions.front().second, 0) << "no progress before the end";
    EXPECT_EQ(sink.positions.back(), std::make_pair(uint32_t(original.size()), -1));
    CLIENT_Logout(login);
}

TEST_F(SimTest, FailureEndsWithMinusTwo)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    Sink sink;
    const qn_handle h = PlayFile(login, file, sink);
    ASSERT_NE(h, 0);
    ASSERT_EQ(QNSIM_FailTransfer(h), 1);
    ASSERT_TRUE(sink.WaitEnd());
    EXPECT_EQ(sink.endMark, -2);
    EXPECT_EQ(CLIENT_StopPlayBack(h), 1);
}

TEST_F(SimTest, PauseHoldsDeliveryAndSeekMoves)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    Sink sink;
    const qn_handle h = PlayFile(login, file, sink);
    ASSERT_NE(h, 0);
    for (int i = 0; i < 200 && sink.Count() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(CLIENT_PausePlayBack(h, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));   // a block in flight may still land
    const size_t held = sink.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(sink.Count(), held);
    ASSERT_EQ(CLIENT_SeekPlayBack(h, 3, -1), 1);
    ASSERT_EQ(CLIENT_SetPlayBackSpeed(h, 6), 1);
    ASSERT_EQ(CLIENT_PausePlayBack(h, 0), 1);
    ASSERT_TRUE(sink.WaitEnd());
    CLIENT_StopPlayBack(h);
    std::lock_guard<std::mutex> lock(sink.m);
    ASSERT_GT(sink.packets.size(), held);
    EXPECT_EQ(sink.packets[held].info.timestampMs, Ms(kRecStart) + 3000);
    EXPECT_EQ(CLIENT_SetPlayBackSpeed(h, 7), 0);
    EXPECT_EQ(CLIENT_PausePlayBack(h, 1), 0);   // stopped handle
}

// Callbacks running after their stop returned, under starts and stops from several threads,
// some of the stops made from inside the callbacks themselves.
TEST_F(SimTest, StopIsSynchronousUnderStress)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    std::atomic<int> late{0};
    std::atomic<int> started{0};
    auto worker = [&](unsigned seed) {
        std::mt19937 rng(seed);
        for (int round = 0; round < 15; ++round) {
            Sink sink;
            const int kind = int(rng() % 3);
            qn_handle h = 0;
            if (kind == 0) {
                h = CLIENT_RealPlayEx(login, int(rng() % 2), nullptr, 2);
                if (h)
                    CLIENT_SetRealDataCallBack(h, RealCallback, &sink);
            } else if (kind == 1) {
                h = PlayFile(login, file, sink, rng() % 2);
                if (h)
                    CLIENT_SetPlayBackSpeed(h, int(rng() % 7));
            } else {
                h = CLIENT_DownloadByRecordFileEx2(login, &file, nullptr, PositionCallback, &sink, DataCallback,
                                                   &sink, nullptr, 0);
            }
            ASSERT_NE(h, 0);
            ++started;
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
            if (kind == 0)
                EXPECT_EQ(CLIENT_StopRealPlay(h), 1);
            else if (kind == 1)
                EXPECT_EQ(CLIENT_StopPlayBack(h), 1);
            else
                EXPECT_EQ(CLIENT_StopDownload(h), 1);
            sink.stopped = true;   // the sink dies at the end of the round
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            late += sink.lateCalls;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 6; ++t)
        threads.emplace_back(worker, 100 + t);
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(late, 0);
    EXPECT_EQ(started, 90);
    EXPECT_EQ(QNSIM_ActiveStreams(), 0);
}

// A callback that stops its own stream at its first call. Run with the start hook below, which
// holds the opening call until then, its first block comes before the opening call returns.
struct SelfStop {
    int (*stop)(qn_handle) = nullptr;
    std::atomic<int> calls{0};
    std::mutex m;
    std::condition_variable cv;
    int stopResult = -1;

    void OnCall(qn_handle h)
    {
        if (++calls != 1)
            return;
        const int result = stop(h);   // calls back into the SDK from its own thread
        std::lock_guard<std::mutex> lock(m);
        stopResult = result;
        cv.notify_all();
    }
    int WaitStopped()
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::seconds(10), [&] { return stopResult >= 0; });
        return stopResult;
    }
};

int StopOnData(qn_handle h, uint32_t, const uint8_t *, uint32_t, void *user)
{
    static_cast<SelfStop *>(user)->OnCall(h);
    return 1;
}

void StopOnTalk(qn_handle h, const char *, uint32_t, int32_t, void *user)
{
    static_cast<SelfStop *>(user)->OnCall(h);
}

void HoldUntilStopped(qn_handle, void *user)
{
    static_cast<SelfStop *>(user)->WaitStopped();
}

// The streams whose worker runs at once, opened with callbacks of one user value.
struct Opening {
    const char *name;
    int (*stop)(qn_handle);
    qn_handle (*open)(qn_handle login, const qn_record_file &file, qn_data_cb data, qn_talk_cb talk, void *user);
};

const Opening kOpenings[] = {
    {"live", CLIENT_StopRealPlay,
     [](qn_handle login, const qn_record_file &, qn_data_cb, qn_talk_cb, void *) {
         return CLIENT_RealPlayEx(login, 0, nullptr, 2);
     }},
    {"playback by file", CLIENT_StopPlayBack,
     [](qn_handle login, const qn_record_file &file, qn_data_cb data, qn_talk_cb, void *user) {
         qn_playback_file_in in{};
         in.file = &file;
         in.data_cb = data;
         in.data_user = user;
         qn_playback_out out{};
         return CLIENT_PlayBackByRecordFileEx2(login, &in, &out);
     }},
    {"playback by time", CLIENT_StopPlayBack,
     [](qn_handle login, const qn_record_file &, qn_data_cb data, qn_talk_cb, void *user) {
         qn_playback_time_in in{};
         in.start = Time(kRecStart);
         in.end = Time(kRecEnd);
         in.data_cb = data;
         in.data_user = user;
         qn_playback_out out{};
         return CLIENT_PlayBackByTimeEx2(login, 0, &in, &out);
     }},
    {"download by file", CLIENT_StopDownload,
     [](qn_handle login, const qn_record_file &file, qn_data_cb data, qn_talk_cb, void *user) {
         return CLIENT_DownloadByRecordFileEx2(login, &file, nullptr, nullptr, nullptr, data, user, nullptr, 0);
     }},
    {"download by time", CLIENT_StopDownload,
     [](qn_handle login, const qn_record_file &, qn_data_cb data, qn_talk_cb, void *user) {
         const qn_time start = Time(kRecStart), end = Time(kRecEnd);
         return CLIENT_DownloadByTimeEx(login, 0, 0, &start, &end, nullptr, nullptr, nullptr, data, user, nullptr);
     }},
    {"talk", CLIENT_StopTalkEx,
     [](qn_handle login, const qn_record_file &, qn_data_cb, qn_talk_cb talk, void *user) {
         return CLIENT_StartTalkEx(login, talk, user);
     }},
};

bool WaitQuiet()
{
    // Workers stopped from their own callback end by themselves, just after it returns.
    for (int i = 0; i < 1000 && QNSIM_ActiveStreams() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return QNSIM_ActiveStreams() == 0;
}

TEST_F(SimTest, CallbackMayStopItsOwnStream)
{
    const qn_handle login = Login();
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    for (const Opening &o : kOpenings) {
        if (std::string(o.name) == "live")
            continue;   // its data callback is set only once the opening call has returned
        SCOPED_TRACE(o.name);
        SelfStop self;
        self.stop = o.stop;
        QNSIM_SetStartHook(HoldUntilStopped, &self);
        const qn_handle h = o.open(login, file, StopOnData, StopOnTalk, &self);
        QNSIM_SetStartHook(nullptr, nullptr);
        ASSERT_NE(h, 0);
        ASSERT_EQ(self.WaitStopped(), 1) << "the stop from the first callback did not find the stream";
        EXPECT_TRUE(WaitQuiet());
        EXPECT_EQ(self.calls, 1);
        EXPECT_EQ(o.stop(h), 0) << "already stopped";
    }
}

// Stands for a logout on another thread at the moment the stream's worker has just started.
void LogoutNow(qn_handle, void *user)
{
    EXPECT_EQ(CLIENT_Logout(*static_cast<qn_handle *>(user)), 1);
}

TEST_F(SimTest, LogoutWhileAStreamOpensStopsIt)
{
    const qn_record_file file = Record(0, kRecStart, kRecEnd, "/rec/ch0/1000.rkv");
    for (const Opening &o : kOpenings) {
        SCOPED_TRACE(o.name);
        qn_handle login = Login();
        QNSIM_SetStartHook(LogoutNow, &login);
        const qn_handle h = o.open(login, file, nullptr, nullptr, nullptr);
        QNSIM_SetStartHook(nullptr, nullptr);
        ASSERT_NE(h, 0);
        EXPECT_EQ(QNSIM_ActiveStreams(), 0) << "the stream outlived its login";
        EXPECT_EQ(o.stop(h), 0);
    }
}

TEST_F(SimTest, LogoutStopsTheLoginsStreams)
{
    const qn_handle login = Login();
    Sink sink;
    const qn_handle real = CLIENT_RealPlayEx(login, 0, nullptr, 2);
    ASSERT_NE(real, 0);
    CLIENT_SetRealDataCallBack(real, RealCallback, &sink);
    ASSERT_EQ(CLIENT_Logout(login), 1);
    sink.stopped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(sink.lateCalls, 0);
    EXPECT_EQ(CLIENT_StopRealPlay(real), 0);
}

struct TalkSeen {
    std::atomic<int> device{0}, local{0};
};

void OnTalk(qn_handle talk, const char *buffer, uint32_t size, int32_t flag, void *user)
{
    auto *seen = static_cast<TalkSeen *>(user);
    ++(flag ? seen->device : seen->local);
    if (flag)
        CLIENT_AudioDec(buffer, size);
    else
        CLIENT_TalkSendData(talk, buffer, size);
}

TEST_F(SimTest, TalkExchangesAudioBlocks)
{
    const qn_handle login = Login();
    TalkSeen seen;
    const qn_handle talk = CLIENT_StartTalkEx(login, OnTalk, &seen);
    ASSERT_NE(talk, 0);
    for (int i = 0; i < 200 && seen.device < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(seen.local, 0);
    ASSERT_EQ(CLIENT_RecordStart(), 1);
    for (int i = 0; i < 200 && seen.local < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CLIENT_RecordStop();
    EXPECT_EQ(CLIENT_StopTalkEx(talk), 1);
    long long sent = 0, decoded = 0;
    QNSIM_TalkCounters(&sent, &decoded);
    EXPECT_GE(seen.local, 2);
    EXPECT_GT(sent, 0);
    EXPECT_GT(decoded, 0);
    EXPECT_EQ(CLIENT_TalkSendData(talk, "x", 1), -1);
}

}  // namespace

// The demo device generated at build time (its folder given by the test's environment).
TEST(DemoDevice, LogsInAndServesLiveAndRecordings)
{
    const char *folder = std::getenv("QUILLNET_DEMO_FOLDER");
    if (!folder)
        GTEST_SKIP() << "QUILLNET_DEMO_FOLDER not set";
    QNSIM_Reset();
    QNSIM_SetDevicesFolder(folder);
    int error = -1;
    qn_device_info info{};
    const qn_handle login = CLIENT_LoginEx2("127.0.0.1", 37777, "admin", "admin123", 0, nullptr, &info, &error);
    ASSERT_NE(login, 0) << error;
    for (int channel = 0; channel < 4; ++channel) {
        Sink sink;
        const qn_handle real = CLIENT_RealPlayEx(login, channel, nullptr, 2);
        ASSERT_NE(real, 0) << channel;
        CLIENT_SetRealDataCallBack(real, RealCallback, &sink);
        for (int i = 0; i < 300 && sink.Count() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        CLIENT_StopRealPlay(real);
        EXPECT_GE(sink.Count(), 2u) << channel;
    }
    Sink sink;
    const qn_handle h = PlayTime(login, 0, "2024-05-01 08:00:00", "2024-05-01 08:00:10", sink);
    ASSERT_NE(h, 0);
    CLIENT_SetPlayBackSpeed(h, 6);
    ASSERT_TRUE(sink.WaitEnd(20000));
    CLIENT_StopPlayBack(h);
    EXPECT_EQ(VideoOf(sink.packets).size(), 11u * 25u);
    CLIENT_Logout(login);
    QNSIM_Reset();
}
