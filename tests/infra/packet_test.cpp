#include "Memory/packet.h"
#include "Memory/packetmanager.h"
#include "stdoutcapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using Tarvo::Memory::CPacket;

namespace {

// Counts deleter calls and remembers the last arguments.
struct CountingDeleter
{
    std::atomic<int> calls{0};
    uint8_t* buffer = nullptr;
    uint32_t size = 0;

    void onRelease(uint8_t* b, uint32_t s)
    {
        buffer = b;
        size = s;
        ++calls;
    }
    CPacket::Deleter deleter() { return CPacket::Deleter::member<&CountingDeleter::onRelease>(this); }
};

class PacketTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The manager reports its policy once; keep it out of captured output.
        Tarvo::Memory::PacketManagerInternal::instance();
    }
    uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
};

TEST_F(PacketTest, ManagerRunsOnTheSystemHeap)
{
    auto* manager = Tarvo::Memory::PacketManagerInternal::instance();
    EXPECT_EQ(manager, Tarvo::Memory::PacketManagerInternal::instance());
    EXPECT_EQ(manager->policy(), Tarvo::Memory::PacketManagerInternal::kPolicySystem);
    EXPECT_GE(manager->alignment(), alignof(void*));
}

TEST_F(PacketTest, DeleterRunsOnceWhenTheLastCopyGoes)
{
    CountingDeleter counter;
    {
        auto* first = new CPacket(bytes, sizeof bytes, counter.deleter());
        CPacket second(*first);
        CPacket third;
        third = second;
        third = third;
        delete first;
        EXPECT_EQ(counter.calls, 0);
        EXPECT_EQ(third.getBuffer(), bytes);
    }
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(counter.buffer, bytes);
    EXPECT_EQ(counter.size, sizeof bytes);
}

TEST_F(PacketTest, WrapWithoutDeleterLeavesTheBufferAlone)
{
    {
        CPacket packet(bytes, sizeof bytes);
        EXPECT_EQ(packet.getSize(), 10u);
        EXPECT_EQ(packet.getCapacity(), 10u);
        EXPECT_EQ(packet.getExtra(), nullptr);
        EXPECT_EQ(packet.getExtraSize(), 0);
    }
    EXPECT_EQ(bytes[9], 9);
}

TEST_F(PacketTest, ViewKeepsItsSourceAlive)
{
    CountingDeleter counter;
    auto* source = new CPacket(bytes, sizeof bytes, counter.deleter());
    CPacket view(*source, 2, 5, 16);
    delete source;
    EXPECT_EQ(counter.calls, 0);
    ASSERT_NE(view.getBuffer(), nullptr);
    EXPECT_EQ(view.getBuffer(), bytes + 2);
    EXPECT_EQ(view.getBuffer()[4], 6);

    CPacket viewOfView(view, 1, 3, 0);
    view = CPacket();
    EXPECT_EQ(counter.calls, 0);
    EXPECT_EQ(viewOfView.getBuffer(), bytes + 3);
    viewOfView = CPacket();
    EXPECT_EQ(counter.calls, 1);
}

struct ViewCase
{
    uint32_t offset;
    uint32_t size;
    uint8_t extra;
    bool valid;
};

TEST_F(PacketTest, ViewRangeIsChecked)
{
    const ViewCase cases[] = {
        {0, 10, 0, true},          {0, 10, 128, true},   {9, 1, 255, true},
        {0, 0, 4, true},           {10, 0, 4, false},    {0, 11, 4, false},
        {5, 6, 4, false},          {1, 0xFFFFFFFFu, 4, false}, // offset + size wraps
        {0xFFFFFFFFu, 2, 4, false},
    };
    CPacket source(bytes, sizeof bytes);
    for (const ViewCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " size " << c.size);
        StdoutCapture capture;
        CPacket view(source, c.offset, c.size, c.extra);
        const std::string out = capture.take();
        EXPECT_EQ(view.valid(), c.valid);
        if (c.valid) {
            EXPECT_EQ(out, "");
            EXPECT_EQ(view.getBuffer(), bytes + c.offset);
            EXPECT_EQ(view.getSize(), c.size);
            EXPECT_EQ(view.getCapacity(), c.size);
            EXPECT_EQ(view.getExtraSize(), c.extra);
            EXPECT_EQ(view.getExtra() != nullptr, c.extra != 0);
            if (c.extra)
                std::memset(view.getExtra(), 0xAB, c.extra); // the whole area is writable
        } else {
            const std::string expected = "PacketInternal::create() offset or size is invalid!! "
                                         "huge_size:10, offset:"
                + std::to_string(c.offset) + ", size:" + std::to_string(c.size) + "\n";
            EXPECT_NE(out.find(expected), std::string::npos) << out;
            EXPECT_NE(out.find(" warn "), std::string::npos) << out;
            EXPECT_EQ(view.getBuffer(), nullptr);
            EXPECT_EQ(view.getExtra(), nullptr);
            EXPECT_EQ(view.getSize(), 0u);
            EXPECT_EQ(view.getExtraSize(), 0);
        }
    }
}

TEST_F(PacketTest, ViewOfAnEmptyPacketIsRefused)
{
    CPacket empty;
    StdoutCapture capture;
    CPacket view(empty, 0, 0, 8);
    EXPECT_NE(capture.take().find("huge_size:0, offset:0, size:0"), std::string::npos);
    EXPECT_FALSE(view.valid());
}

TEST_F(PacketTest, ViewsHaveTheirOwnExtraAreas)
{
    CPacket source(bytes, sizeof bytes);
    CPacket a(source, 0, 10, 32);
    CPacket b(source, 0, 10, 32);
    ASSERT_NE(a.getExtra(), nullptr);
    ASSERT_NE(b.getExtra(), nullptr);
    std::memset(a.getExtra(), 1, 32);
    std::memset(b.getExtra(), 2, 32);
    EXPECT_EQ(a.getExtra()[31], 1);
    EXPECT_EQ(a.getBuffer(), b.getBuffer());
}

TEST_F(PacketTest, AppendAndSetSizeStayWithinCapacity)
{
    uint8_t storage[8] = {};
    CPacket packet(storage, sizeof storage);
    struct Step
    {
        const char* what;
        int setSize;       // -1: append instead
        const char* data;  // appended text
        uint32_t expected; // bytes copied, or 1/0 for setSize
        uint32_t sizeAfter;
    };
    const Step steps[] = {
        {"full packet takes nothing", -1, "AB", 0, 8},
        {"shrink", 3, nullptr, 1, 3},
        {"append what fits", -1, "ABCDEFGHIJ", 5, 8},
        {"full again", -1, "Z", 0, 8},
        {"above capacity", 9, nullptr, 0, 8},
        {"empty", 0, nullptr, 1, 0},
        {"null data", -1, nullptr, 0, 0},
        {"append part", -1, "xy", 2, 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.setSize >= 0) {
            EXPECT_EQ(packet.setSize(static_cast<uint32_t>(s.setSize)), s.expected == 1);
        } else {
            const uint32_t length = s.data ? static_cast<uint32_t>(std::strlen(s.data)) : 3;
            EXPECT_EQ(packet.append(s.data, length), s.expected);
        }
        EXPECT_EQ(packet.getSize(), s.sizeAfter);
        EXPECT_EQ(packet.getCapacity(), 8u);
    }
    EXPECT_EQ(std::memcmp(storage, "xy\0ABCDE", 8), 0);
}

TEST_F(PacketTest, EmptyPacketAnswersNothing)
{
    CPacket packet;
    EXPECT_EQ(packet.getBuffer(), nullptr);
    EXPECT_EQ(packet.getSize(), 0u);
    EXPECT_EQ(packet.getCapacity(), 0u);
    EXPECT_FALSE(packet.setSize(0));
    EXPECT_EQ(packet.append("a", 1), 0u);
}

TEST_F(PacketTest, CopiesFromManyThreadsReleaseOnce)
{
    CountingDeleter counter;
    {
        CPacket shared(bytes, sizeof bytes, counter.deleter());
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&shared] {
                for (int i = 0; i < 20000; ++i) {
                    CPacket copy(shared);
                    CPacket view(copy, 1, 2, 0);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(counter.calls, 0);
    }
    EXPECT_EQ(counter.calls, 1);
}

} // namespace
