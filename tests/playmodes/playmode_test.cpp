// The play-mode base: windows and display regions, zoom, audio, names, the frame record
// with its dedupe and interval, host drawing through the scaler, traffic statistics and the
// lifetime of a mode whose frame-decoded tasks are still running.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QThreadPool>

#include "fakes.h"
#include "moduletasks.h"
#include "playmode.h"

namespace playtest {
namespace {

using Tolvane::PlayRect;
using fakeplay::kPort;

std::atomic<int> g_deleted{0};

class BaseMode final : public Tolvane::CPlayMode {
public:
    explicit BaseMode(HostContext* context) : CPlayMode(context, playtest::HandleOf(0), false) { m_port.store(kPort); }
    ~BaseMode() override
    {
        EndLifetime();
        ++g_deleted;
    }
    const char* GetModeID() override { return "test"; }
    bool Close() override { return true; }
    long GetStatiscFlux() override { return flux; }
    int64_t TrafficClockMs() override { return clock; }

    void SetOpen(bool open) { m_open.store(open); }
    void SetStream(int type, bool numbering)
    {
        m_streamType.store(type);
        m_streamNumbering.store(numbering);
    }
    void SetBlock(uint32_t size) { SetLastBlockSize(size); }

    long flux = 0;
    int64_t clock = 0;
};

// A 4 x 2 picture whose luma samples are base, base + 1, ...
struct Picture {
    explicit Picture(uint8_t base, int width = 4)
    {
        luma.resize(size_t(width) * 2);
        for (size_t i = 0; i < luma.size(); ++i) {
            luma[i] = uint8_t(base + i);
        }
        chroma.assign(size_t(width) / 2, 128);
        info.plane[0] = luma.data();
        info.plane[1] = chroma.data();
        info.plane[2] = chroma.data();
        info.lineSize[0] = width;
        info.lineSize[1] = width / 2;
        info.lineSize[2] = width / 2;
        info.width = width;
        info.height = 2;
    }
    std::vector<uint8_t> luma, chroma;
    FRAME_DECODE_INFO info{};
};

FRAME_INFO_EX Frame(uint32_t frameId, uint16_t second, int32_t counter, int width = 4)
{
    FRAME_INFO_EX frame{};
    frame.frameId = frameId;
    frame.frameCounter = counter;
    frame.width = width;
    frame.height = 2;
    frame.frameRate = 25;
    frame.year = 2024;
    frame.month = 5;
    frame.day = 6;
    frame.hour = 7;
    frame.minute = 8;
    frame.second = second;
    return frame;
}

class PlayModeTest : public PlayTest {
protected:
    void TearDown() override
    {
        Tolvane::ModuleTaskPool().waitForDone();
        PlayTest::TearDown();
    }

    std::unique_ptr<BaseMode> MakeMode(bool hostDraws = false)
    {
        Context()->SetCompatibilityFlag(hostDraws ? 1 : 0);
        return std::make_unique<BaseMode>(Context());
    }

    static void Decode(BaseMode& mode, const Picture& picture, const FRAME_INFO_EX& frame)
    {
        Tolvane::CPlayMode::VisibleDecodeCallBack(kPort, &picture.info, &frame, &mode);
    }
};

std::string Region(int region, const char* rect, int winID, int enable)
{
    return "PLAY_SetDisplayRegion(" + std::to_string(kPort) + "," + std::to_string(region) + ",\"" + rect + "\","
           + fakeplay::Pointer(HandleOf(winID)) + "," + std::to_string(enable) + ")";
}

TEST_F(PlayModeTest, WindowsGetTheLowestFreeRegion)
{
    auto mode = MakeMode();
    for (int winID = 0; winID < 65; ++winID) {
        ASSERT_TRUE(mode->AddWindow(winID));
    }
    EXPECT_FALSE(mode->AddWindow(3));
    const auto calls = fakeplay::CallsOf("PLAY_SetDisplayRegion");
    ASSERT_EQ(calls.size(), 65u);
    EXPECT_EQ(calls[0], Region(0, "{0 0 0 0}", 0, 1));
    EXPECT_EQ(calls[63], Region(63, "{0 0 0 0}", 63, 1));
    EXPECT_EQ(calls[64], Region(-1, "{0 0 0 0}", 64, 1));

    fakeplay::ClearJournal();
    EXPECT_TRUE(mode->RemoveWindow(5));
    EXPECT_FALSE(mode->RemoveWindow(5));
    EXPECT_EQ(fakeplay::CallsOf("PLAY_SetDisplayRegion"), (std::vector<std::string>{Region(5, "{0 0 0 0}", 5, 0)}));
    const auto shown = sorquin->TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].winID, 5);
    EXPECT_FALSE(shown[0].picture);

    fakeplay::ClearJournal();
    EXPECT_TRUE(mode->AddWindow(100));
    EXPECT_EQ(fakeplay::CallsOf("PLAY_SetDisplayRegion"), (std::vector<std::string>{Region(5, "{0 0 0 0}", 100, 1)}));
    EXPECT_EQ(mode->WindowCount(), 65);
    EXPECT_TRUE(sorquin->TakeEvents().empty());
}

TEST_F(PlayModeTest, HostDrawingUsesNoDisplayRegions)
{
    auto mode = MakeMode(true);
    EXPECT_EQ(mode->WindowHandle(), nullptr);
    ASSERT_TRUE(mode->AddWindow(1));
    Tolvane::CPlayMode::EncTypeChangeCallBack(kPort, mode.get(), 1920, 1080);
    const PlayRect zoomed = mode->SetWindowZoom(1, 0, 0, 4096, 4096);
    EXPECT_EQ(zoomed, (PlayRect{0, 0, 959, 539}));
    ASSERT_TRUE(mode->RemoveWindow(1));
    EXPECT_EQ(fakeplay::CountOf("PLAY_SetDisplayRegion"), 0);
    EXPECT_EQ(sorquin->TakeEvents(), (std::vector<std::string>{"video on 1", "video off 1"}));
}

TEST_F(PlayModeTest, ZoomScalesFrom8192UnitsToThePicture)
{
    auto mode = MakeMode();
    ASSERT_TRUE(mode->AddWindow(0));
    const PlayRect none{0, 0, -1, -1};
    EXPECT_EQ(mode->SetWindowZoom(0, 0, 0, 4096, 4096), none) << "picture size unknown";
    Tolvane::CPlayMode::EncTypeChangeCallBack(kPort, mode.get(), 1920, 1080);

    struct Case {
        PlayRect given;
        PlayRect applied;
    };
    const Case cases[] = {
        {{4096, 0, 8192, 8192}, {960, 0, 1919, 1079}},
        {{0, 0, 4096, 4096}, {0, 0, 959, 539}},
        {{1024, 2048, 3072, 6144}, {240, 270, 719, 809}},
        {{-1, 0, 100, 100}, none},
        {{0, -1, 100, 100}, none},
        {{500, 0, 400, 100}, none},
        {{0, 500, 100, 400}, none},
    };
    for (const Case& c : cases) {
        fakeplay::ClearJournal();
        const PlayRect& g = c.given;
        EXPECT_EQ(mode->SetWindowZoom(0, g.left, g.top, g.right, g.bottom), c.applied)
            << g.left << "," << g.top << "," << g.right << "," << g.bottom;
        if (!(c.applied == none)) {
            const std::string rect = std::to_string(c.applied.left) + " " + std::to_string(c.applied.top) + " "
                                     + std::to_string(c.applied.right) + " " + std::to_string(c.applied.bottom);
            EXPECT_EQ(fakeplay::CallsOf("PLAY_SetDisplayRegion"),
                      (std::vector<std::string>{Region(0, ("{" + rect + "}").c_str(), 0, 1)}));
        }
    }
    fakeplay::SetResult("PLAY_SetDisplayRegion", 0);
    EXPECT_EQ(mode->SetWindowZoom(0, 0, 0, 4096, 4096), none) << "the player refused";
}

TEST_F(PlayModeTest, NewPictureSizeKeepsTheZoom)
{
    auto mode = MakeMode();
    std::vector<std::string> sizes;
    struct Listener {
        std::vector<std::string>* sizes;
        void OnSize(Tolvane::IPlayMode*, long w, long h) { sizes->push_back(std::to_string(w) + "x" + std::to_string(h)); }
    } listener{&sizes};
    mode->AttachPictureSize(Tolvane::IPlayMode::PictureSizeHandler(&listener, &Listener::OnSize));
    ASSERT_TRUE(mode->AddWindow(0));
    Tolvane::CPlayMode::EncTypeChangeCallBack(kPort, mode.get(), 1920, 1080);
    mode->SetWindowZoom(0, 4096, 4096, 8192, 8192);
    fakeplay::ClearJournal();

    Tolvane::CPlayMode::EncTypeChangeCallBack(kPort, mode.get(), 960, 540);
    EXPECT_EQ(fakeplay::CallsOf("PLAY_SetDisplayRegion"),
              (std::vector<std::string>{Region(0, "{0 960 540 0}", 0, 1), Region(0, "{480 270 959 539}", 0, 1)}));
    EXPECT_EQ(sizes, (std::vector<std::string>{"1920x1080", "960x540"}));
}

TEST_F(PlayModeTest, RelaysFrameDrawOfItsOwnWindows)
{
    // The window module's signal, published before the mode connects to it.
    Foundation::CSignal4<long, long, void*, void*> frameDraw;
    Context()->AddSignal("frameDrawSignal", &frameDraw);
    auto mode = MakeMode();
    std::vector<std::string> relayed;
    struct Listener {
        std::vector<std::string>* relayed;
        void OnDraw(long winID, long frameId, void*, void*)
        {
            relayed->push_back(std::to_string(winID) + ":" + std::to_string(frameId));
        }
    } listener{&relayed};
    mode->AttachFrameDraw(Tolvane::IPlayMode::FrameDrawHandler(&listener, &Listener::OnDraw));
    ASSERT_TRUE(mode->AddWindow(2));
    frameDraw.Emit(2, 11, nullptr, nullptr);
    frameDraw.Emit(3, 12, nullptr, nullptr);
    ASSERT_TRUE(mode->RemoveWindow(2));
    frameDraw.Emit(2, 13, nullptr, nullptr);
    EXPECT_EQ(relayed, (std::vector<std::string>{"2:11"}));
    EXPECT_EQ(frameDraw.SlotCount(), 1u);
    mode.reset();
    EXPECT_EQ(frameDraw.SlotCount(), 0u) << "a deleted mode leaves the signal";
}

TEST_F(PlayModeTest, AudioChannelsAndVolume)
{
    auto mode = MakeMode();
    struct VolumeCase {
        int given;
        int kept;
        int sent;
    };
    for (const VolumeCase& c : {VolumeCase{150, 100, 100}, VolumeCase{-5, 0, -100}, VolumeCase{50, 50, 0},
                                VolumeCase{75, 75, 50}}) {
        fakeplay::ClearJournal();
        EXPECT_TRUE(mode->SetVolume(c.given));
        EXPECT_EQ(fakeplay::Journal(),
                  (std::vector<std::string>{"PLAY_AdjustWaveAudio(7," + std::to_string(c.sent) + ")"}));
        EXPECT_EQ(mode->GetAudioState().volume, c.kept);
    }

    fakeplay::ClearJournal();
    EXPECT_TRUE(mode->SetAudio(-2));
    EXPECT_EQ(fakeplay::Journal(), (std::vector<std::string>{"PLAY_StopSoundShare(7)"}));
    EXPECT_EQ(mode->GetAudioState().channel, -2);

    struct ChannelCase {
        int channel;
        int enabled;  // channels answered with enable 1
    };
    for (const ChannelCase& c : {ChannelCase{-1, 256}, ChannelCase{3, 1}}) {
        fakeplay::ClearJournal();
        EXPECT_TRUE(mode->SetAudio(c.channel));
        const auto journal = fakeplay::Journal();
        ASSERT_EQ(journal.size(), 258u);
        EXPECT_EQ(journal.front(), "PLAY_StopSoundShare(7)");
        EXPECT_EQ(journal.back(), "PLAY_PlaySoundShare(7)");
        int enabled = 0;
        for (const std::string& call : fakeplay::CallsOf("PLAY_ChooseAudio")) {
            enabled += call.back() == ')' && call[call.size() - 2] == '1' ? 1 : 0;
        }
        EXPECT_EQ(enabled, c.enabled);
        EXPECT_EQ(mode->GetAudioState().channel, c.channel);
    }
    EXPECT_EQ(fakeplay::CallsOf("PLAY_ChooseAudio")[3], "PLAY_ChooseAudio(7,3,1)");

    fakeplay::SetResult("PLAY_PlaySoundShare", 0);
    EXPECT_FALSE(mode->SetAudio(1));
}

TEST_F(PlayModeTest, NameTables)
{
    auto mode = MakeMode();
    struct EncodeCase {
        int code;
        const char* name;
    };
    const EncodeCase encodes[] = {{1, "MPEG4"}, {2, "H.264"}, {4, "H.264"}, {8, "H.264"}, {3, "JPEG"},
                                  {6, "JPEG"},  {7, "AVS"},   {9, "MPEG2"}, {10, "VNC"},  {11, "SVAC"},
                                  {12, "H.265"}, {0, ""},     {5, ""},      {13, ""}};
    for (const EncodeCase& c : encodes) {
        PLAY_DEMUX_INFO info{};
        info.type = 1;
        info.encodeType = c.code;
        info.frameRate = 25;
        Tolvane::CPlayMode::DemuxCallBack(kPort, nullptr, 0, &info, nullptr, mode.get());
        EXPECT_EQ(mode->GetEncodeTypeName(), c.name) << c.code;
    }
    EXPECT_EQ(mode->GetFrameRate(), 25);
    PLAY_DEMUX_INFO audio{};
    audio.type = 2;
    audio.encodeType = 11;
    audio.frameRate = 8;
    Tolvane::CPlayMode::DemuxCallBack(kPort, nullptr, 0, &audio, nullptr, mode.get());
    EXPECT_EQ(mode->GetFrameRate(), 25) << "audio packets leave the video values";

    struct StreamCase {
        int type;
        bool numbering;
        const char* name;
    };
    const StreamCase streams[] = {{2, false, "Main"},  {3, false, "Extra1"}, {5, false, "Extra3"},
                                  {1, false, ""},      {6, false, ""},       {-1, false, ""},
                                  {1, true, "Main"},   {2, true, "Extra1"},  {4, true, "Extra3"},
                                  {5, true, ""}};
    for (const StreamCase& c : streams) {
        mode->SetStream(c.type, c.numbering);
        EXPECT_EQ(mode->GetStreamTypeName(), c.name) << c.type << " numbering " << c.numbering;
    }
}

TEST_F(PlayModeTest, FrameRecordDropsRepeatsAndCountsTheInterval)
{
    auto mode = MakeMode();
    std::atomic<int> decoded{0};
    struct Listener {
        std::atomic<int>* decoded;
        void OnDecoded(Tolvane::IPlayMode*, long port)
        {
            if (port == kPort) {
                ++*decoded;
            }
        }
    } listener{&decoded};
    mode->AttachFrameDecoded(Tolvane::IPlayMode::FrameDecodedHandler(&listener, &Listener::OnDecoded));

    Tolvane::PlayFrameRecord record;
    EXPECT_FALSE(mode->GetFrameRecord(&record, 0)) << "picture size unknown";

    const Picture picture(1);
    struct Case {
        uint32_t frameId;
        uint16_t second;
        int32_t counter;
        bool accepted;
        uint16_t interval;
    };
    const Case cases[] = {
        {5, 10, 1000, true, 0},    // first frame: the stamp starts here
        {5, 10, 1040, false, 0},   // same frame again: ignored
        {6, 10, 1040, true, 40},   // same second: time since the stamp
        {7, 10, 3000, true, 999},  // capped
        {8, 11, 3100, true, 0},    // a new second restarts the stamp
        {9, 11, 10, true, 999},    // the 16-bit counter wrapped
    };
    int accepted = 0;
    for (const Case& c : cases) {
        Decode(*mode, picture, Frame(c.frameId, c.second, c.counter));
        accepted += c.accepted ? 1 : 0;
        ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
        EXPECT_EQ(record.frameId, c.accepted ? c.frameId : record.frameId);
        if (c.accepted) {
            EXPECT_EQ(record.interval, c.interval) << "frame " << c.frameId;
            EXPECT_EQ(record.second, c.second);
        }
    }
    EXPECT_EQ(record.width, 4);
    EXPECT_EQ(record.year, 2024);
    EXPECT_FALSE(mode->GetFrameRecord(&record, 1));

    FRAME_INFO_EX audio = Frame(20, 11, 20);
    audio.type = 1;
    Decode(*mode, picture, audio);
    ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
    EXPECT_EQ(record.frameId, 9u) << "only video frames count";

    Tolvane::ModuleTaskPool().waitForDone();
    EXPECT_EQ(decoded.load(), accepted);
    EXPECT_TRUE(sorquin->TakeShown().empty()) << "the player draws into the windows itself";
    EXPECT_EQ(fakeplay::CountOf("SCALE_open"), 0);
}

TEST_F(PlayModeTest, HostDrawingConvertsEachFrameForEveryWindow)
{
    auto mode = MakeMode(true);
    ASSERT_TRUE(mode->AddWindow(1));
    ASSERT_TRUE(mode->AddWindow(2));
    sorquin->TakeShown();

    Decode(*mode, Picture(1), Frame(3, 1, 0));
    Decode(*mode, Picture(20), Frame(4, 1, 40));
    Decode(*mode, Picture(40), Frame(5, 1, 80));
    EXPECT_EQ(fakeplay::CallsOf("SCALE_open"), (std::vector<std::string>{"SCALE_open(4,2,4,4,2,4,32,0,30,0)"}));
    const auto starts = fakeplay::CallsOf("SCALE_start");
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_NE(starts[0].find(",4,2,2,null,4,null)"), std::string::npos) << starts[0];

    auto shown = sorquin->TakeShown();
    ASSERT_EQ(shown.size(), 6u);
    const uint8_t bases[] = {1, 20, 40};
    for (size_t i = 0; i < shown.size(); ++i) {
        const auto& s = shown[i];
        EXPECT_EQ(s.winID, i % 2 == 0 ? 1 : 2);
        EXPECT_EQ(s.size, 32);
        EXPECT_EQ(s.info.width, 4);
        EXPECT_EQ(s.info.height, 2);
        EXPECT_EQ(s.info.format, kSorquinFormatRgb32);
        EXPECT_EQ(s.info.frameRate, 25);
        EXPECT_EQ(s.info.frameId, uint32_t(3 + i / 2));
        ASSERT_EQ(s.pixels.size(), 8u);
        EXPECT_EQ(s.pixels[0], 0xff000000u | bases[i / 2]);
        EXPECT_EQ(s.pixels[7], 0xff000000u | uint8_t(bases[i / 2] + 7));
    }

    // A new size reopens the scaler.
    Decode(*mode, Picture(60, 8), Frame(6, 1, 120, 8));
    EXPECT_EQ(fakeplay::CountOf("SCALE_close"), 1);
    EXPECT_EQ(fakeplay::CallsOf("SCALE_open").back(), "SCALE_open(8,2,8,8,2,8,32,0,30,0)");
    shown = sorquin->TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].size, 64);

    // A failed conversion drops that frame only.
    fakeplay::SetResult("SCALE_start", -1);
    Decode(*mode, Picture(80, 8), Frame(7, 1, 160, 8));
    EXPECT_TRUE(sorquin->TakeShown().empty());
    Tolvane::PlayFrameRecord record;
    ASSERT_TRUE(mode->GetFrameRecord(&record, 0));
    EXPECT_EQ(record.frameId, 6u);
    fakeplay::SetResult("SCALE_start", 0);
    Decode(*mode, Picture(80, 8), Frame(7, 1, 160, 8));
    EXPECT_EQ(sorquin->TakeShown().size(), 2u);
}

TEST_F(PlayModeTest, BitrateComesFromTheDifferenceOfTotals)
{
    auto mode = MakeMode();
    mode->flux = 5000;
    EXPECT_EQ(mode->SampleBitrate(), 0) << "closed";
    mode->SetOpen(true);
    mode->SetBlock(1000);

    // Totals: 0 at 0 ms, then 1,000,000 + 100,000 per second from 1000 ms on.
    mode->flux = 0;
    mode->clock = 0;
    EXPECT_EQ(mode->SampleBitrate(), 0) << "no span yet";
    long bitrate = 0;
    for (int i = 1; i <= 10; ++i) {
        mode->flux = 1000000 + 100000 * i;
        mode->clock = 1000 * i;
        bitrate = mode->SampleBitrate();
    }
    // Ten samples kept (1000 to 10000 ms): 900,000 bytes in 9 s = 100,000 B/s = 781 kbit/s.
    EXPECT_EQ(bitrate, 100000 * 8 / 1024);

    mode->SetBlock(0);
    mode->clock += 1000;
    mode->flux += 100000;
    EXPECT_EQ(mode->SampleBitrate(), 0) << "no block received";
}

// A frame-decoded handler that is still running when the mode is disposed of: the disposing
// thread does not wait, and the mode goes once the handler has returned.
TEST_F(PlayModeTest, DisposedModeOutlivesItsRunningFrameTask)
{
    g_deleted = 0;
    auto owned = MakeMode();
    BaseMode* mode = owned.release();

    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool release = false;
    std::atomic<int> calls{0};
    struct Listener {
        std::mutex* mutex;
        std::condition_variable* changed;
        bool* entered;
        bool* release;
        std::atomic<int>* calls;
        void OnDecoded(Tolvane::IPlayMode* decodedMode, long)
        {
            ++*calls;
            std::unique_lock<std::mutex> lock(*mutex);
            *entered = true;
            changed->notify_all();
            changed->wait(lock, [&] { return *release; });
            // The mode is still whole here.
            EXPECT_EQ(decodedMode->GetPort(), kPort);
        }
    } listener{&mutex, &changed, &entered, &release, &calls};
    mode->AttachFrameDecoded(Tolvane::IPlayMode::FrameDecodedHandler(&listener, &Listener::OnDecoded));

    Decode(*mode, Picture(1), Frame(1, 1, 0));
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return entered; }));
    }
    // More frames queue tasks that must not reach the mode after it is disposed of.
    for (uint32_t id = 2; id < 20; ++id) {
        Decode(*mode, Picture(1), Frame(id, 1, int32_t(id)));
    }
    mode->Dispose();
    EXPECT_EQ(g_deleted.load(), 0);
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    Tolvane::ModuleTaskPool().waitForDone();
    EXPECT_EQ(g_deleted.load(), 1);
    EXPECT_GE(calls.load(), 1);
}

}  // namespace
}  // namespace playtest
