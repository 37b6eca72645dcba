#include "packetfmt.h"

#include <gtest/gtest.h>

#include <random>

using namespace packetfmt;

namespace {

PacketInfo Video(uint8_t encoding, uint16_t w, uint16_t h, int64_t ts, bool key, uint32_t seq)
{
    PacketInfo i;
    i.kind = kVideo;
    i.encoding = encoding;
    i.width = w;
    i.height = h;
    i.frameRate = 25;
    i.timestampMs = ts;
    i.key = key;
    i.sequence = seq;
    return i;
}

// A stream of test pictures, I420 pictures and audio packets, with known timestamps.
std::vector<uint8_t> MixedStream(int frames, std::vector<int64_t> *stamps = nullptr)
{
    std::vector<uint8_t> out;
    for (int f = 0; f < frames; ++f) {
        const int64_t ts = 1714550400000LL + f * 40;
        if (f % 3 == 2) {
            std::vector<uint8_t> pic(16 * 8 * 3 / 2, uint8_t(f));
            EXPECT_TRUE(AppendPacket(Video(kEncI420, 16, 8, ts, true, f), pic.data(), pic.size(), out));
        } else if (f % 3 == 1) {
            PacketInfo a;
            a.kind = kAudio;
            a.encoding = kEncPcm16;
            a.channels = 1;
            a.sampleRate = 8000;
            a.timestampMs = ts;
            a.sequence = f;
            std::vector<uint8_t> pcm(640, uint8_t(f * 7));
            EXPECT_TRUE(AppendPacket(a, pcm.data(), pcm.size(), out));
        } else {
            TestPicture t{uint32_t(f), ts, 704, 576};
            auto payload = EncodeTestPicture(t);
            EXPECT_TRUE(AppendPacket(Video(kEncTestPic, 704, 576, ts, f % 6 == 0, f), payload.data(), payload.size(), out));
        }
        if (stamps)
            stamps->push_back(ts);
    }
    return out;
}

}  // namespace

TEST(PacketFormat, RoundTripKeepsEveryField)
{
    std::vector<int64_t> stamps;
    const auto bytes = MixedStream(12, &stamps);
    uint64_t skipped = 99;
    const auto packets = ParseAll(bytes.data(), bytes.size(), &skipped);
    ASSERT_EQ(packets.size(), 12u);
    EXPECT_EQ(skipped, 0u);
    for (size_t i = 0; i < packets.size(); ++i) {
        const PacketInfo &p = packets[i].info;
        EXPECT_EQ(p.timestampMs, stamps[i]);
        EXPECT_EQ(p.sequence, i);
        if (i % 3 == 1) {
            EXPECT_EQ(p.kind, kAudio);
            EXPECT_EQ(p.sampleRate, 8000);
            EXPECT_EQ(p.channels, 1);
            EXPECT_EQ(packets[i].payload.size(), 640u);
        } else if (i % 3 == 2) {
            EXPECT_EQ(p.encoding, kEncI420);
            EXPECT_EQ(p.width, 16);
            EXPECT_EQ(p.height, 8);
            EXPECT_TRUE(p.key);
        } else {
            EXPECT_EQ(p.encoding, kEncTestPic);
            EXPECT_EQ(p.frameRate, 25);
            EXPECT_EQ(p.key, i % 6 == 0);
            TestPicture t;
            ASSERT_TRUE(DecodeTestPicture(packets[i].payload.data(), packets[i].payload.size(), t));
            EXPECT_EQ(t.frameNumber, i);
            EXPECT_EQ(t.timestampMs, stamps[i]);
            EXPECT_EQ(t.width, 704);
            EXPECT_EQ(t.height, 576);
        }
    }
}

TEST(PacketFormat, RejectsBadI420Pictures)
{
    struct Case { uint16_t w, h; size_t length; bool ok; } cases[] = {
        {352, 288, 352 * 288 * 3 / 2, true},
        {354, 288, 354 * 288 * 3 / 2, false},   // wider than allowed
        {352, 290, 352 * 290 * 3 / 2, false},   // taller than allowed
        {16, 8, 100, false},                    // wrong length
        {15, 8, 15 * 8 * 3 / 2, false},         // odd width
        {0, 8, 0, false},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> pic(c.length), out;
        EXPECT_EQ(AppendPacket(Video(kEncI420, c.w, c.h, 0, true, 0), pic.data(), pic.size(), out), c.ok)
            << c.w << "x" << c.h << " " << c.length;
        EXPECT_EQ(out.empty(), !c.ok);
    }
}

TEST(PacketFormat, ReaderTakesAnySlices)
{
    const auto bytes = MixedStream(30);
    for (size_t slice : {1u, 7u, 40u, 41u, 1000u}) {
        Reader reader;
        std::vector<Packet> got;
        Packet p;
        for (size_t at = 0; at < bytes.size(); at += slice) {
            reader.Feed(bytes.data() + at, std::min(slice, bytes.size() - at));
            while (reader.Next(p))
                got.push_back(p);
        }
        EXPECT_EQ(got.size(), 30u) << "slice " << slice;
        EXPECT_EQ(reader.Buffered(), 0u);
        EXPECT_EQ(reader.SkippedBytes(), 0u);
    }
}

TEST(PacketFormat, ResynchronisesAfterGarbageAndCuts)
{
    const auto whole = MixedStream(9);
    const auto packets = ParseAll(whole.data(), whole.size());
    ASSERT_EQ(packets.size(), 9u);
    std::mt19937 rng(7);
    std::vector<uint8_t> garbage(300);
    for (auto &b : garbage)
        b = uint8_t(rng());
    garbage[10] = 'Q';   // false starts of a magic
    garbage[11] = 'V';
    garbage[50] = 'Q';

    // Garbage in front, between packets 2 and 3, a cut packet 5 (header and half of its payload),
    // and a truncated tail (packet 8 cut).
    std::vector<uint8_t> s(garbage.begin(), garbage.end());
    for (int i = 0; i < 8; ++i) {
        const auto &b = packets[i].bytes;
        if (i == 5)
            s.insert(s.end(), b.begin(), b.begin() + kHeaderSize + (b.size() - kHeaderSize) / 2);
        else
            s.insert(s.end(), b.begin(), b.end());
        if (i == 2)
            s.insert(s.end(), garbage.begin(), garbage.begin() + 77);
    }
    const auto &last = packets[8].bytes;
    s.insert(s.end(), last.begin(), last.begin() + 30);

    Reader reader;
    std::vector<uint32_t> seqs;
    Packet p;
    for (size_t at = 0; at < s.size(); at += 13) {
        reader.Feed(s.data() + at, std::min<size_t>(13, s.size() - at));
        while (reader.Next(p))
            seqs.push_back(p.info.sequence);
    }
    EXPECT_EQ(seqs, (std::vector<uint32_t>{0, 1, 2, 3, 4, 6, 7}));
    EXPECT_GT(reader.Buffered(), 0u);   // the cut tail waits for more
    EXPECT_EQ(reader.Flush(), 30u);
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(PacketFormat, RetimeRewritesHeaderAndTestPicture)
{
    TestPicture t{5, 1000, 352, 288};
    auto payload = EncodeTestPicture(t);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AppendPacket(Video(kEncTestPic, 352, 288, 1000, true, 5), payload.data(), payload.size(), bytes));
    ASSERT_TRUE(RetimePacket(bytes.data(), bytes.size(), 1714550400123LL, 77));
    const auto packets = ParseAll(bytes.data(), bytes.size());
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].info.timestampMs, 1714550400123LL);
    EXPECT_EQ(packets[0].info.sequence, 77u);
    ASSERT_TRUE(DecodeTestPicture(packets[0].payload.data(), packets[0].payload.size(), t));
    EXPECT_EQ(t.timestampMs, 1714550400123LL);
    EXPECT_EQ(t.frameNumber, 77u);
    EXPECT_FALSE(RetimePacket(bytes.data(), bytes.size() - 1, 0, 0));
}

TEST(PacketFormat, TimeTexts)
{
    struct Case { const char *text; bool ok; } cases[] = {
        {"2024-05-01 08:00:00", true}, {"2024-02-29 23:59:59", true}, {"1970-01-01 00:00:00", true},
        {"2023-02-29 00:00:00", false}, {"2024-13-01 00:00:00", false}, {"2024-05-01 24:00:00", false},
        {"2024-05-01 08:60:00", false}, {"2024-05-01", false}, {"2024-05-01 08:00:00x", false}, {"", false},
    };
    for (const Case &c : cases) {
        int64_t ms = -1;
        EXPECT_EQ(ParseTimeText(c.text, ms), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(FormatTimeText(ms), c.text);
        }
    }
    int64_t ms = 0;
    ASSERT_TRUE(ParseTimeText("1970-01-02 00:00:01", ms));
    EXPECT_EQ(ms, 86401000);
    const CivilTime t = MsToCivil(-1);
    EXPECT_EQ(t.year, 1969);
    EXPECT_EQ(t.millisecond, 999);
}
