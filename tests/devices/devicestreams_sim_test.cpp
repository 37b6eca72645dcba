// The device object against the simulated demo device: live video, playback by file and by
// time, a download by file and a file fetched piece by piece bring the device's own bytes, in
// order, and transfers end with the position (total, -1).

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <foundation/JsonRead.h>

#include "packetfmt.h"
#include "streamsink.h"

namespace {

using devtest::QuillnetStandIn;
using devtest::StreamSink;

const std::string kDemoFolder = std::string(DEMO_DEVICES_FOLDER) + "/demo";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Joined(const std::vector<std::vector<uint8_t>>& blocks)
{
    std::string all;
    for (const std::vector<uint8_t>& block : blocks) {
        all.append(block.begin(), block.end());
    }
    return all;
}

class DemoDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(QuillnetStandIn::Load(&error)) << error;
        ASSERT_TRUE(Foundation::JsonParse(ReadFile(kDemoFolder + "/device.json"), m_config))
            << "no demo device in " << kDemoFolder;
        m_host = std::make_unique<testsupport::TestHost>();
        QuillnetStandIn::FillResolveTable(*m_host);
        QuillnetStandIn::StartSimulated(DEMO_DEVICES_FOLDER);
        m_device = std::make_unique<Tolvane::CQuillnetDev>(m_host->Context(), "");
        ASSERT_EQ(m_device->LoginDevice("127.0.0.1", 37777, 0, "admin", "admin123", 0, 0), 0);
        ASSERT_TRUE(m_device->IsLogin());
    }

    void TearDown() override
    {
        if (m_device) {
            m_device->LogoutDevice();
            m_device.reset();
        }
        QuillnetStandIn::StartScripted();
        m_host.reset();
    }

    Tolvane::CQuillnetDev& Device() { return *m_device; }

    // The recording of channel 3 as the page describes it, and its bytes.
    Json::Value Recording() const
    {
        for (const Json::Value& r : m_config["recordings"]) {
            if (r["channel"].asInt() == 3) {
                return r;
            }
        }
        ADD_FAILURE() << "no recording of channel 3";
        return Json::Value();
    }
    std::string LiveFile() const { return m_config["channels"][3]["streams"]["Main"].asString(); }
    std::string RecordingBytes() const { return ReadFile(kDemoFolder + "/" + Recording()["file"].asString()); }

    Json::Value FileInfo() const
    {
        const Json::Value r = Recording();
        Json::Value info;
        info["channel"] = 3;
        info["length"] = r["length"];
        info["startTime"] = r["startTime"];
        info["endTime"] = r["endTime"];
        info["filePath"] = r["filePath"];
        info["disk"] = 0;
        info["cluster"] = 0;
        return info;
    }

    Json::Value TimeInfo() const
    {
        const Json::Value r = Recording();
        Json::Value info;
        info["channel"] = 3;
        info["streamType"] = "Main";
        info["startTime"] = r["startTime"];
        info["endTime"] = r["endTime"];
        return info;
    }

    // Every block is one whole packet of the recording, the blocks are the recording in
    // order, and the last position is (its size, -1).
    void ExpectWholeRecording(StreamSink& sink)
    {
        ASSERT_TRUE(sink.WaitForEnd());
        const std::string bytes = RecordingBytes();
        const std::vector<std::vector<uint8_t>> blocks = sink.Blocks();
        const std::vector<packetfmt::Packet> packets = packetfmt::ParseAll(bytes.data(), bytes.size());
        ASSERT_GT(packets.size(), 1u);
        ASSERT_EQ(blocks.size(), packets.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i], packets[i].bytes) << "block " << i;
        }
        EXPECT_EQ(Joined(blocks), bytes);
        const std::vector<std::pair<uint32_t, int32_t>> positions = sink.Positions();
        EXPECT_EQ(positions.back(), std::make_pair(static_cast<uint32_t>(bytes.size()), -1));
        for (size_t i = 0; i + 1 < positions.size(); ++i) {
            EXPECT_EQ(positions[i].first, bytes.size());
            EXPECT_GE(positions[i].second, 0);
        }
    }

private:
    Json::Value m_config;
    std::unique_ptr<testsupport::TestHost> m_host;
    std::unique_ptr<Tolvane::CQuillnetDev> m_device;
};

TEST_F(DemoDevice, PlaybackByFileAndByTimeBringTheRecordingInOrder)
{
    for (bool byTime : {false, true}) {
        SCOPED_TRACE(byTime ? "by time" : "by file");
        // The third block is refused once: it must come again, in its place.
        StreamSink sink({2});
        const long handle =
            Device().Playback(byTime ? TimeInfo() : FileInfo(), &sink.Position(), &sink.Data(), byTime, false);
        ASSERT_NE(handle, 0);
        EXPECT_TRUE(Device().SetPlayBackSpeed(handle, 6));
        ExpectWholeRecording(sink);
        EXPECT_EQ(sink.Refused(), 1);
        EXPECT_TRUE(Device().StopPlayBack(handle));
    }
}

TEST_F(DemoDevice, DownloadByFileBringsTheRecordingInOrder)
{
    StreamSink sink;
    Json::Value info = FileInfo();
    info["recordFileType"] = 0;
    const long handle = Device().DownloadByFile(info, "", "", &sink.Position(), &sink.Data());
    ASSERT_NE(handle, 0);
    ExpectWholeRecording(sink);
    EXPECT_TRUE(Device().StopDownload(handle));
}

TEST_F(DemoDevice, LiveVideoBringsTheChannelsPacketsInOrder)
{
    const std::string bytes = ReadFile(kDemoFolder + "/" + LiveFile());
    const std::vector<packetfmt::Packet> packets = packetfmt::ParseAll(bytes.data(), bytes.size());
    ASSERT_GT(packets.size(), 4u);

    StreamSink sink;
    const long real = Device().ConnectRealvideo(3, 2, 0, &sink.Data());
    ASSERT_NE(real, 0);
    ASSERT_TRUE(sink.WaitForBlocks(4));
    EXPECT_TRUE(Device().StopRealvideo(real));
    EXPECT_GT(Device().GetStatiscFlux(real), -1);

    // Live packets are stamped anew by the device; their pictures follow the stream's order.
    const std::vector<std::vector<uint8_t>> blocks = sink.Blocks();
    std::vector<packetfmt::Packet> received;
    for (const std::vector<uint8_t>& block : blocks) {
        const std::vector<packetfmt::Packet> one = packetfmt::ParseAll(block.data(), block.size());
        ASSERT_EQ(one.size(), 1u);
        received.push_back(one[0]);
    }
    size_t start = packets.size();
    for (size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].payload == received[0].payload) {
            start = i;
            break;
        }
    }
    ASSERT_LT(start, packets.size());
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].payload, packets[(start + i) % packets.size()].payload) << "block " << i;
        if (i > 0) {
            EXPECT_GT(received[i].info.timestampMs, received[i - 1].info.timestampMs);
        }
    }
}

TEST_F(DemoDevice, FileFetchedPieceByPieceIsTheDevicesFile)
{
    QTemporaryDir folder;
    const std::string local = (folder.path() + "/big.bin").toStdString();
    QuillnetStandIn::ClearJournal();
    ASSERT_TRUE(Device().DownloadPieceFile("/mnt/data/big.bin", local.c_str()));
    const std::string expected = ReadFile(kDemoFolder + "/files/big.bin");
    ASSERT_EQ(expected.size(), 70000u);
    EXPECT_EQ(ReadFile(local), expected);
    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DownloadPieceFile").size(), 3u);

    // A file the device does not have fails and leaves nothing behind.
    const std::string missing = (folder.path() + "/none.bin").toStdString();
    EXPECT_FALSE(Device().DownloadPieceFile("/mnt/data/none.bin", missing.c_str()));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
}

}  // namespace
