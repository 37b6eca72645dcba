// SVAC streams through the player: every picture a window sink receives is the encoder's
// reconstruction, in order; a data recording plays back to the same pictures; an encrypted
// stream shows nothing without its key and the right pictures once the right key is given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "play_fixture.h"
#include "scale_core.h"
#include "svacenc/encoder.h"

using namespace playtest;

namespace {

uint64_t Fnv(const uint8_t *data, size_t size, uint64_t hash = 1469598103934665603ull)
{
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

struct Encoded {
    std::vector<packetfmt::Packet> packets;
    std::vector<uint64_t> pictures;   // RGB32 hash of each reconstruction
    std::vector<uint8_t> lastRgb;     // RGB32 of the last reconstruction
};

// A textured square moving over a gradient, encoded; the pictures as the scaler shows them.
Encoded Encode(svacenc::Config config, int frames)
{
    Encoded out;
    svacenc::Encoder encoder(config);
    EXPECT_TRUE(encoder.ok()) << encoder.error();
    for (int f = 0; f < frames; ++f) {
        svacenc::Yuv picture;
        picture.allocate(config.width, config.height);
        for (int y = 0; y < config.height; ++y)
            for (int x = 0; x < config.width; ++x) {
                const bool square = x >= 8 + 2 * f && x < 28 + 2 * f && y >= 10 && y < 30;
                picture.plane(0)[y * config.width + x] = uint8_t(square ? 200 - ((x ^ y) & 7) * 8 : 30 + x + y);
            }
        for (int c = 1; c <= 2; ++c)
            for (size_t i = 0; i < size_t(config.width / 2) * (config.height / 2); ++i)
                picture.plane(c)[i] = uint8_t(100 + 40 * c + int(i % 7));
        svacenc::Coded coded;
        EXPECT_TRUE(encoder.encode(picture, &coded)) << encoder.error();
        packetfmt::PacketInfo info;
        info.encoding = packetfmt::kEncSvac;
        info.key = coded.key;
        info.width = uint16_t(config.width);
        info.height = uint16_t(config.height);
        info.frameRate = 25;
        info.sequence = uint32_t(f);
        info.timestampMs = kStartMs + f * 40;
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(packetfmt::AppendPacket(info, coded.stream.data(), coded.stream.size(), bytes));
        out.packets.push_back(packetfmt::ParseAll(bytes.data(), bytes.size()).at(0));

        const svacenc::Yuv &r = encoder.reconstruction();
        scalecore::YuvPicture src;
        for (int p = 0; p < 3; ++p) {
            src.plane[p] = r.plane(p);
            src.stride[p] = r.stride(p);
        }
        src.width = r.width;
        src.height = r.height;
        std::vector<uint8_t> rgb(size_t(r.width) * r.height * 4);
        EXPECT_TRUE(scalecore::ToRgb32(src, rgb.data(), r.width, r.height, size_t(r.width) * 4));
        out.pictures.push_back(Fnv(rgb.data(), rgb.size()));
        out.lastRgb = rgb;
    }
    return out;
}

struct HashSink {
    PLAY_VIDEO_SINK sink{&HashSink::Draw, this};
    std::mutex mutex;
    std::vector<uint64_t> pictures;

    static void Draw(void *user, const uint8_t *rgb32, int32_t width, int32_t height, int32_t stride)
    {
        auto *self = static_cast<HashSink *>(user);
        uint64_t hash = 1469598103934665603ull;
        for (int y = 0; y < height; ++y)
            hash = Fnv(rgb32 + size_t(y) * stride, size_t(width) * 4, hash);
        std::lock_guard<std::mutex> lk(self->mutex);
        self->pictures.push_back(hash);
    }
    std::vector<uint64_t> Pictures()
    {
        std::lock_guard<std::mutex> lk(mutex);
        return pictures;
    }
    bool WaitFor(size_t n) { return WaitUntil([&] { return Pictures().size() >= n; }, 20000); }
};

class Svac : public ::testing::Test {
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
    int32_t Open(HashSink &sink)
    {
        const int32_t port = OpenPort(15360000, &sink.sink);
        EXPECT_NE(port, 0);
        m_ports.push_back(port);
        return port;
    }
    static svacenc::Config Config(svacenc::Entropy entropy = svacenc::Entropy::kVlc)
    {
        svacenc::Config config;
        config.width = 64;
        config.height = 48;
        config.gop = 5;
        config.qp = 26;
        config.entropy = entropy;
        return config;
    }

    std::vector<int32_t> m_ports;
    std::vector<std::string> m_paths;
};

TEST_F(Svac, WindowsReceiveTheEncodersPicturesInOrder)
{
    for (svacenc::Entropy entropy : {svacenc::Entropy::kVlc, svacenc::Entropy::kArithmetic}) {
        const Encoded stream = Encode(Config(entropy), 12);
        HashSink sink;
        const int32_t port = Open(sink);
        ASSERT_TRUE(FeedAll(port, Concat(stream.packets), 777));
        PLAY_Flush(port);
        ASSERT_TRUE(sink.WaitFor(stream.pictures.size()));
        ASSERT_TRUE(WaitDrained(port));
        const std::vector<uint64_t> shown = sink.Pictures();
        // The last picture may be handed out once more when the stream ends.
        ASSERT_GE(shown.size(), stream.pictures.size());
        EXPECT_EQ(std::vector<uint64_t>(shown.begin(), shown.begin() + long(stream.pictures.size())),
                  stream.pictures);
    }
}

TEST_F(Svac, ADataRecordingPlaysBackToTheSamePictures)
{
    const Encoded stream = Encode(Config(), 10);
    const std::string path = TempPath("svac-rec.rkv");
    m_paths.push_back(path);
    HashSink live;
    const int32_t port = Open(live);
    ASSERT_EQ(PLAY_StartDataRecord(port, path.c_str(), 5), 1);
    ASSERT_TRUE(FeedAll(port, Concat(stream.packets), 1000));
    PLAY_Flush(port);
    ASSERT_TRUE(live.WaitFor(stream.pictures.size()));
    ASSERT_TRUE(WaitDrained(port));
    ASSERT_EQ(PLAY_StopDataRecord(port), 1);

    HashSink replay;
    const int32_t again = Open(replay);
    ASSERT_TRUE(FeedAll(again, ReadFile(path), 4096));
    PLAY_Flush(again);
    ASSERT_TRUE(replay.WaitFor(stream.pictures.size()));
    ASSERT_TRUE(WaitDrained(again));
    const std::vector<uint64_t> shown = replay.Pictures();
    EXPECT_EQ(std::vector<uint64_t>(shown.begin(), shown.begin() + long(stream.pictures.size())),
              stream.pictures);
}

TEST_F(Svac, AnEncryptedStreamNeedsItsKeyAndTakesACorrectedOne)
{
    svacenc::Config config = Config();
    config.cipher = 2;
    const std::string key = "0123456789abcdef";
    config.key.assign(key.begin(), key.end());
    const Encoded stream = Encode(config, 15);   // three groups of five pictures
    const std::vector<uint8_t> bytes = Concat(stream.packets);

    HashSink keyed;
    const int32_t a = Open(keyed);
    ASSERT_EQ(PLAY_SetSecurityKey(a, key.data(), int32_t(key.size())), 1);
    ASSERT_TRUE(FeedAll(a, bytes, 999));
    PLAY_Flush(a);
    ASSERT_TRUE(keyed.WaitFor(stream.pictures.size()));
    const std::vector<uint64_t> shown = keyed.Pictures();
    EXPECT_EQ(std::vector<uint64_t>(shown.begin(), shown.begin() + long(stream.pictures.size())),
              stream.pictures);

    HashSink keyless;
    const int32_t b = Open(keyless);
    ASSERT_TRUE(FeedAll(b, bytes, 999));
    PLAY_Flush(b);
    ASSERT_TRUE(WaitDrained(b));
    EXPECT_TRUE(keyless.Pictures().empty());

    // A wrong key for the first group, then the right one: from the next key picture on, the
    // window shows the right pictures.
    HashSink corrected;
    const int32_t c = Open(corrected);
    const std::string wrong = "fedcba9876543210";
    ASSERT_EQ(PLAY_SetSecurityKey(c, wrong.data(), int32_t(wrong.size())), 1);
    const size_t firstGroup = stream.packets[0].bytes.size() + stream.packets[1].bytes.size() +
                              stream.packets[2].bytes.size() + stream.packets[3].bytes.size() +
                              stream.packets[4].bytes.size();
    ASSERT_TRUE(FeedAll(c, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(firstGroup)), 999));
    ASSERT_TRUE(WaitDrained(c));
    ASSERT_EQ(PLAY_SetSecurityKey(c, key.data(), int32_t(key.size())), 1);
    ASSERT_TRUE(FeedAll(c, std::vector<uint8_t>(bytes.begin() + long(firstGroup), bytes.end()), 999));
    PLAY_Flush(c);
    ASSERT_TRUE(WaitDrained(c));
    const std::vector<uint64_t> later = corrected.Pictures();
    ASSERT_GE(later.size(), 10u);
    const std::vector<uint64_t> expected(stream.pictures.begin() + 5, stream.pictures.end());
    EXPECT_EQ(std::vector<uint64_t>(later.end() - 10, later.end()), expected);
}

TEST_F(Svac, ReverseShowsEachGroupLastToFirstAndASnapshotHoldsThePicture)
{
    const Encoded stream = Encode(Config(), 15);
    // The groups from the last to the first, each in decoding order, as a device sends a
    // recording backwards.
    std::vector<packetfmt::Packet> backward;
    for (int g = 2; g >= 0; --g)
        backward.insert(backward.end(), stream.packets.begin() + 5 * g, stream.packets.begin() + 5 * g + 5);
    HashSink sink;
    const int32_t port = Open(sink);
    ASSERT_EQ(PLAY_SetPlayDirection(port, 1), 1);
    ASSERT_TRUE(FeedAll(port, Concat(backward), 2048));
    PLAY_Flush(port);
    ASSERT_TRUE(sink.WaitFor(stream.pictures.size()));
    ASSERT_TRUE(WaitDrained(port));
    const std::vector<uint64_t> shown = sink.Pictures();
    const std::vector<uint64_t> reversed(stream.pictures.rbegin(), stream.pictures.rend());
    ASSERT_GE(shown.size(), reversed.size());
    EXPECT_EQ(std::vector<uint64_t>(shown.begin(), shown.begin() + long(reversed.size())), reversed);

    // Forward again: the window's last picture is the stream's last, and so is its snapshot.
    HashSink again;
    const int32_t forward = Open(again);
    ASSERT_TRUE(FeedAll(forward, Concat(stream.packets), 4096));
    PLAY_Flush(forward);
    ASSERT_TRUE(again.WaitFor(stream.pictures.size()));
    ASSERT_TRUE(WaitDrained(forward));
    const std::string path = TempPath("svac-snap.bmp");
    m_paths.push_back(path);
    ASSERT_EQ(PLAY_CatchPicEx(forward, path.c_str(), PLAY_PIC_BMP), 1);
    const std::vector<uint8_t> bmp = ReadFile(path);
    const int w = Config().width, h = Config().height;
    ASSERT_EQ(bmp.size(), 54u + size_t(w) * 3 * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t *px = bmp.data() + 54 + size_t(h - 1 - y) * w * 3 + size_t(x) * 3;   // bottom-up
            const uint8_t *want = stream.lastRgb.data() + (size_t(y) * w + x) * 4;
            ASSERT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{want[0], want[1], want[2]}))
                << "row " << y << " column " << x;
        }
}

}  // namespace
