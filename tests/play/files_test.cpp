// Snapshots as BMP and JPEG files, and data recordings that play back identically.
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <jpeglib.h>

using namespace playtest;

namespace {

struct Rgb {
    int r, g, b;
};

// 48x16 picture in three vertical bands: white, red, grey (hand-computed RGB below).
std::vector<uint8_t> BandsPacket()
{
    const int w = 48, h = 16;
    std::vector<uint8_t> pic(size_t(w) * h * 3 / 2);
    const uint8_t ys[3] = {235, 81, 126}, us[3] = {128, 90, 128}, vs[3] = {128, 240, 128};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pic[size_t(y) * w + x] = ys[x / 16];
    uint8_t *u = pic.data() + w * h, *v = u + (w / 2) * (h / 2);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            u[y * (w / 2) + x] = us[x / 8];
            v[y * (w / 2) + x] = vs[x / 8];
        }
    packetfmt::PacketInfo info;
    info.encoding = packetfmt::kEncI420;
    info.key = true;
    info.width = w;
    info.height = h;
    info.frameRate = 25;
    info.timestampMs = kStartMs;
    std::vector<uint8_t> bytes;
    packetfmt::AppendPacket(info, pic.data(), pic.size(), bytes);
    return bytes;
}

const Rgb kBands[3] = {{255, 255, 255}, {255, 0, 0}, {128, 128, 128}};

// Within the scaler's tolerance (3 levels per channel) of the hand-computed colour.
::testing::AssertionResult Near(int r, int g, int b, const Rgb &want)
{
    if (std::abs(r - want.r) <= 3 && std::abs(g - want.g) <= 3 && std::abs(b - want.b) <= 3)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << r << " " << g << " " << b << ", want " << want.r << " "
                                         << want.g << " " << want.b;
}

uint32_t Get32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override { PTEST_SetClockRate(200.0); }
    void TearDown() override
    {
        for (int32_t port : m_ports)
            PLAY_ReleasePort(port);
        for (const auto &path : m_paths)
            std::remove(path.c_str());
        PTEST_SetClockRate(1.0);
    }
    std::string Path(const std::string &name)
    {
        m_paths.push_back(TempPath(name));
        return m_paths.back();
    }
    int32_t ShowBands()
    {
        Recorder &recorder = m_recorder;
        const int32_t port = OpenPort();
        m_ports.push_back(port);
        recorder.Attach(port);
        EXPECT_TRUE(FeedAll(port, BandsPacket(), 100000));
        EXPECT_TRUE(recorder.WaitShown(1));
        return port;
    }
    Recorder m_recorder;
    std::vector<int32_t> m_ports;
    std::vector<std::string> m_paths;
};

TEST_F(Files, BmpSnapshotHoldsTheShownPicture)
{
    const int32_t port = ShowBands();
    const std::string path = Path("snap.bmp");
    ASSERT_EQ(PLAY_CatchPicEx(port, path.c_str(), PLAY_PIC_BMP), 1);
    const std::vector<uint8_t> bmp = ReadFile(path);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Get32(bmp, 2), bmp.size());
    const uint32_t offset = Get32(bmp, 10);
    EXPECT_EQ(Get32(bmp, 18), 48u);
    EXPECT_EQ(Get32(bmp, 22), 16u);
    EXPECT_EQ(bmp[28], 24);
    const size_t rowBytes = 48 * 3;
    ASSERT_EQ(bmp.size(), offset + rowBytes * 16);
    for (int row = 0; row < 16; ++row) {
        for (int x = 0; x < 48; ++x) {
            const uint8_t *px = bmp.data() + offset + size_t(row) * rowBytes + size_t(x) * 3;
            const Rgb &want = kBands[x / 16];
            ASSERT_TRUE(Near(px[2], px[1], px[0], want)) << "row " << row << " column " << x;
        }
    }
}

struct SinkLog {
    std::mutex mutex;
    std::vector<std::vector<int>> pictures;  // width, height, stride, then R G B of each column of row 8
};

void OnSinkDraw(void *user, const uint8_t *rgb32, int32_t width, int32_t height, int32_t stride)
{
    auto *log = static_cast<SinkLog *>(user);
    std::vector<int> entry{width, height, stride};
    for (int x = 0; x < width; ++x) {
        const uint8_t *px = rgb32 + size_t(8) * size_t(stride) + size_t(x) * 4;
        entry.insert(entry.end(), {px[2], px[1], px[0]});
    }
    std::lock_guard<std::mutex> lk(log->mutex);
    log->pictures.push_back(entry);
}

TEST_F(Files, WindowSinksReceiveTheShownPictureAndTheirRegion)
{
    SinkLog main, second;
    PLAY_VIDEO_SINK mainSink{&OnSinkDraw, &main}, secondSink{&OnSinkDraw, &second};
    const int32_t port = OpenPort(15360000, &mainSink);
    m_ports.push_back(port);
    const std::vector<uint8_t> packet = BandsPacket();
    ASSERT_TRUE(FeedAll(port, packet, packet.size()));
    ASSERT_TRUE(WaitUntil([&] { std::lock_guard<std::mutex> lk(main.mutex); return !main.pictures.empty(); }));
    {
        std::lock_guard<std::mutex> lk(main.mutex);
        const auto &p = main.pictures.front();
        ASSERT_EQ((std::vector<int>{p[0], p[1], p[2]}), (std::vector<int>{48, 16, 48 * 4}));
        for (int x = 0; x < 48; ++x) {
            const Rgb &want = kBands[x / 16];
            ASSERT_TRUE(Near(p[3 + 3 * x], p[4 + 3 * x], p[5 + 3 * x], want)) << x;
        }
    }

    // Region 0 on the main window zooms into the red band; region 1 shows it all elsewhere.
    const PLAY_RECT red{16, 0, 31, 15}, inverted{0, 48, 16, 0};
    ASSERT_EQ(PLAY_SetDisplayRegion(port, 0, &red, &mainSink, 1), 1);
    ASSERT_EQ(PLAY_SetDisplayRegion(port, 1, &inverted, &secondSink, 1), 1);
    {
        std::lock_guard<std::mutex> lk(main.mutex);
        main.pictures.clear();
    }
    std::vector<uint8_t> next = packet;
    ASSERT_TRUE(packetfmt::RetimePacket(next.data(), next.size(), kStartMs + 40, 1));
    ASSERT_TRUE(FeedAll(port, next, next.size()));
    ASSERT_TRUE(WaitUntil([&] { std::lock_guard<std::mutex> lk(second.mutex); return !second.pictures.empty(); }));
    std::lock_guard<std::mutex> lk(main.mutex);
    ASSERT_EQ(main.pictures.size(), 1u);
    const auto &zoomed = main.pictures.front();
    EXPECT_EQ((std::vector<int>{zoomed[0], zoomed[1]}), (std::vector<int>{16, 16}));
    EXPECT_TRUE(Near(zoomed[3], zoomed[4], zoomed[5], kBands[1]));
    std::lock_guard<std::mutex> lk2(second.mutex);
    EXPECT_EQ(second.pictures.front()[0], 48);
}

TEST_F(Files, JpegSnapshotDecodesToThePicture)
{
    const int32_t port = ShowBands();
    const std::string path = Path("snap.jpg");
    ASSERT_EQ(PLAY_CatchPicEx(port, path.c_str(), PLAY_PIC_JPEG), 1) << PLAY_GetLastErrorEx();

    FILE *f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    jpeg_decompress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    ASSERT_EQ(info.output_width, 48u);
    ASSERT_EQ(info.output_height, 16u);
    std::vector<uint8_t> pixels(48 * 16 * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + size_t(info.output_scanline) * 48 * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    // Lossy: the middle of each band is close to its colour.
    for (int band = 0; band < 3; ++band) {
        const uint8_t *px = pixels.data() + size_t(8 * 48 + band * 16 + 8) * 3;
        EXPECT_NEAR(px[0], kBands[band].r, 12) << band;
        EXPECT_NEAR(px[1], kBands[band].g, 12) << band;
        EXPECT_NEAR(px[2], kBands[band].b, 12) << band;
    }
}

TEST_F(Files, SnapshotsFailWithoutAPictureOrAWritableFolder)
{
    const int32_t empty = OpenPort();
    m_ports.push_back(empty);
    const std::string path = Path("none.bmp");
    EXPECT_EQ(PLAY_CatchPicEx(empty, path.c_str(), PLAY_PIC_BMP), 0);
    EXPECT_EQ(PLAY_GetLastErrorEx(), PLAY_ERR_NOPICTURE);
    EXPECT_TRUE(ReadFile(path).empty());

    const int32_t port = ShowBands();
    EXPECT_EQ(PLAY_CatchPicEx(port, "/nonexistent-folder/x.jpg", PLAY_PIC_JPEG), 0);
    EXPECT_EQ(PLAY_GetLastErrorEx(), PLAY_ERR_FILE);
    EXPECT_EQ(PLAY_CatchPicEx(port, nullptr, PLAY_PIC_BMP), 0);
}

TEST_F(Files, TestPictureSnapshotHasThePictureSize)
{
    StreamOptions options;
    options.frames = 1;
    options.encoding = packetfmt::kEncTestPic;
    options.width = 96;
    options.height = 64;
    const int32_t port = OpenPort();  // no viewer: the picture is made when asked for
    m_ports.push_back(port);
    ASSERT_TRUE(FeedAll(port, Concat(MakePackets(options)), 1000));
    ASSERT_TRUE(WaitDrained(port));
    const std::string path = Path("test.bmp");
    ASSERT_EQ(PLAY_CatchPicEx(port, path.c_str(), PLAY_PIC_BMP), 1);
    const auto bmp = ReadFile(path);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(Get32(bmp, 18), 96u);
    EXPECT_EQ(Get32(bmp, 22), 64u);
}

TEST_F(Files, DataRecordingKeepsThePacketsAndPlaysBackIdentically)
{
    StreamOptions options;
    options.frames = 30;
    options.audio = true;
    const auto packets = MakePackets(options);
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < packets.size(); ++i) {
        stream.insert(stream.end(), packets[i].bytes.begin(), packets[i].bytes.end());
        if (i == 10)
            stream.insert(stream.end(), {0x00, 0x51, 0x56, 0x50});  // garbage is not recorded
    }

    const std::string path = Path("rec.rkv");
    Recorder original;
    const int32_t port = OpenPort();
    m_ports.push_back(port);
    original.Attach(port);
    ASSERT_EQ(PLAY_StartDataRecord(port, path.c_str(), 5), 1);
    ASSERT_TRUE(FeedAll(port, stream, 1234));
    PLAY_Flush(port);
    ASSERT_TRUE(WaitDrained(port));
    ASSERT_EQ(PLAY_StopDataRecord(port), 1);
    const std::vector<uint8_t> recorded = ReadFile(path);
    EXPECT_EQ(recorded, Concat(packets));

    Recorder replay;
    const int32_t again = OpenPort();
    m_ports.push_back(again);
    replay.Attach(again);
    ASSERT_TRUE(FeedAll(again, recorded, 153600));
    PLAY_Flush(again);
    ASSERT_TRUE(replay.WaitShown(30));
    ASSERT_TRUE(original.WaitShown(30));
    const auto a = original.ShownFrames(), b = replay.ShownFrames();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].timestampMs, b[i].timestampMs);
        EXPECT_EQ(a[i].sequence, b[i].sequence);
        EXPECT_EQ(a[i].y, b[i].y);
    }
    EXPECT_EQ(replay.Demuxed(), original.Demuxed());
}

TEST_F(Files, ARecordingFolderThatDoesNotExistFails)
{
    const int32_t port = OpenPort();
    m_ports.push_back(port);
    EXPECT_EQ(PLAY_StartDataRecord(port, "/nonexistent-folder/r.rkv", 5), 0);
    EXPECT_EQ(PLAY_StartDataRecord(port, "", 5), 0);
    EXPECT_EQ(PLAY_StopDataRecord(port), 1);  // nothing to stop
}

}  // namespace
