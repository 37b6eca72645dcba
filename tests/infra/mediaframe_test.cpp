#include "Memory/packetmanager.h"
#include "Stream/mediaframe.h"
#include "stdoutcapture.h"

#include <gtest/gtest.h>

#include <vector>

using Tarvo::Memory::CPacket;
using Tarvo::Stream::CMediaFrame;

namespace {

std::vector<uint8_t> expectedHeader(uint32_t length)
{
    std::vector<uint8_t> header(128, 0);
    header[1] = 1;
    header[2] = 1;
    header[24] = static_cast<uint8_t>(length);
    header[25] = static_cast<uint8_t>(length >> 8);
    header[26] = static_cast<uint8_t>(length >> 16);
    header[27] = static_cast<uint8_t>(length >> 24);
    return header;
}

TEST(MediaFrame, HeaderBytes)
{
    struct Case
    {
        uint32_t sourceSize;
        uint32_t offset;
        uint32_t length;
    };
    const Case cases[] = {
        {1000, 0, 1000},
        {1000, 0, 0},
        {1000, 999, 1},
        // A large claimed size: nothing is copied, the bytes show the order.
        {0x0A0B0C0Du, 0, 0x0A0B0C0Du},
    };
    static uint8_t data[1000];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        CPacket source(data, c.sourceSize);
        CMediaFrame frame(source, c.offset, c.length);
        ASSERT_NE(frame.getExtra(), nullptr);
        EXPECT_EQ(frame.getExtraSize(), 128);
        EXPECT_EQ(std::vector<uint8_t>(frame.getExtra(), frame.getExtra() + 128),
                  expectedHeader(c.length));
        EXPECT_EQ(frame.getBuffer(), data + c.offset);
        EXPECT_EQ(frame.getSize(), c.length);
    }
}

TEST(MediaFrame, RangePastTheSourceHasNoHeader)
{
    Tarvo::Memory::PacketManagerInternal::instance();
    uint8_t data[16] = {};
    CPacket source(data, sizeof data);
    StdoutCapture capture;
    CMediaFrame frame(source, 8, 9);
    EXPECT_NE(capture.take().find("offset or size is invalid"), std::string::npos);
    EXPECT_EQ(frame.getExtra(), nullptr);
    EXPECT_EQ(frame.getBuffer(), nullptr);
    EXPECT_EQ(frame.getSize(), 0u);
}

TEST(MediaFrame, CopyAsPacketKeepsHeaderAndSource)
{
    int released = 0;
    struct Release
    {
        int* count;
        void run(uint8_t*, uint32_t) { ++*count; }
    } release{&released};
    uint8_t data[32] = {};
    CPacket kept;
    {
        CPacket source(data, sizeof data, CPacket::Deleter::member<&Release::run>(&release));
        CMediaFrame frame(source, 4, 20);
        kept = frame;
    }
    EXPECT_EQ(released, 0);
    ASSERT_NE(kept.getExtra(), nullptr);
    EXPECT_EQ(kept.getExtra()[24], 20);
    EXPECT_EQ(kept.getBuffer(), data + 4);
    kept = CPacket();
    EXPECT_EQ(released, 1);
}

} // namespace
