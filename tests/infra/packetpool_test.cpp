// The packet manager on its page pool (policies 2 and 3): the block layout, buddy splits
// and merges, exhaustion, and packet storage taken from and given back to the pool.
#include "Memory/packet.h"
#include "Memory/packetmanager.h"
#include "stdoutcapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using Tarvo::Memory::CPacket;
using Tarvo::Memory::PacketManagerInternal;

namespace {

constexpr size_t kTotal = PacketManagerInternal::kPoolTotal;
constexpr size_t kPage = PacketManagerInternal::kPoolPage;
constexpr int kTopOrder = 11;

using Blocks = std::vector<int32_t>;

class PacketPoolTest : public testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        StdoutCapture capture;
        manager = std::make_unique<PacketManagerInternal>(GetParam());
        buildLog = capture.take();
        ASSERT_TRUE(manager->usesPool());
    }

    // Every order's free list, lowest order first.
    std::vector<Blocks> FreeLists() const
    {
        std::vector<Blocks> lists;
        for (int k = 0; k < manager->orderCount(); ++k)
            lists.push_back(manager->freeBlocks(k));
        return lists;
    }
    // The whole pool as one free block of the top order.
    void ExpectWhole() const
    {
        std::vector<Blocks> whole(size_t(manager->orderCount()));
        whole[kTopOrder] = {0};
        EXPECT_EQ(FreeLists(), whole);
        EXPECT_EQ(manager->freeBytes(), kTotal);
        EXPECT_EQ(manager->chunk(0).tag, kTopOrder + 1);
    }
    uint8_t* Page(size_t index) const { return manager->poolStart() + index * kPage; }

    std::unique_ptr<PacketManagerInternal> manager;
    std::string buildLog;
};

TEST_P(PacketPoolTest, BlockLayoutIsOneTopOrderBlockOfPageAlignedChunks)
{
    EXPECT_EQ(manager->chunkCount(), 2048u);
    EXPECT_EQ(manager->orderCount(), 12);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(manager->poolStart()) % kPage, 0u);
    for (size_t index : {size_t(0), size_t(1), size_t(1000), size_t(2047)}) {
        const PacketManagerInternal::ChunkNode node = manager->chunk(index);
        EXPECT_EQ(node.index, int32_t(index));
        EXPECT_EQ(node.address, Page(index));
        if (index != 0) {
            EXPECT_EQ(node.tag, 0) << index;
        }
    }
    ExpectWhole();
    EXPECT_NE(buildLog.find("CPacketManager: malloc total:2097152 pagesize:1024blockCount:2048 "
                            "ManagermentSize:41200\n"),
              std::string::npos)
        << buildLog;
    EXPECT_NE(buildLog.find("AddrRange:"), std::string::npos) << buildLog;
    EXPECT_EQ(buildLog.find("System Policy"), std::string::npos);
}

TEST_P(PacketPoolTest, AllocationSplitsBuddiesAndFreeingMergesThemBack)
{
    // One byte: a one-page block, cut from the top block by eleven splits.
    size_t size = 1;
    void* first = manager->allocate(size);
    EXPECT_EQ(first, Page(0));
    EXPECT_EQ(size, kPage);
    EXPECT_EQ(manager->chunk(0).tag, ~0);
    std::vector<Blocks> lists = FreeLists();
    for (int k = 0; k < kTopOrder; ++k)
        EXPECT_EQ(lists[size_t(k)], Blocks{int32_t(1) << k}) << "order " << k;
    EXPECT_TRUE(lists[kTopOrder].empty());

    // Three pages' worth: a four-page block (order 2), the free one at page 4.
    size = 3 * kPage - 100;
    void* second = manager->allocate(size);
    EXPECT_EQ(second, Page(4));
    EXPECT_EQ(size, 4 * kPage);
    EXPECT_EQ(manager->chunk(4).tag, ~2);
    EXPECT_TRUE(manager->freeBlocks(2).empty());
    // Exactly one page stays one page; the next page's worth takes the order-0 buddy.
    size = kPage;
    EXPECT_EQ(manager->allocate(size), Page(1));
    EXPECT_EQ(manager->freeBytes(), kTotal - 6 * kPage);

    // Freed in any order, the buddies merge back into the one top block.
    manager->free(first);
    EXPECT_EQ(manager->freeBlocks(0), Blocks{0});  // its buddy (page 1) is still taken
    manager->free(second);
    EXPECT_EQ(manager->freeBlocks(2), Blocks{4});
    manager->free(Page(1));
    ExpectWhole();
    manager->free(nullptr);
    ExpectWhole();
}

TEST_P(PacketPoolTest, AnExhaustedPoolAnswersNullWithTheFreeSpace)
{
    size_t size = kTotal;
    void* whole = manager->allocate(size);
    ASSERT_EQ(whole, Page(0));
    EXPECT_EQ(manager->freeBytes(), 0u);
    {
        StdoutCapture capture;
        size_t one = 1;
        EXPECT_EQ(manager->allocate(one), nullptr);
        EXPECT_NE(capture.take().find("CPacket No Free Space, totalSize:2097152, freeSize:0 \n"), std::string::npos);
    }
    manager->free(whole);

    // Half taken: a request above the largest free block is refused, naming what is free.
    size = kTotal / 2;
    void* half = manager->allocate(size);
    ASSERT_NE(half, nullptr);
    {
        StdoutCapture capture;
        size_t more = kTotal / 2 + 1;
        EXPECT_EQ(manager->allocate(more), nullptr);
        EXPECT_NE(capture.take().find("CPacket No Free Space, totalSize:2097152, freeSize:1048576 \n"),
                  std::string::npos);
    }
    manager->free(half);
    ExpectWhole();
}

TEST_P(PacketPoolTest, PacketStorageComesFromThePoolAndGoesBackToIt)
{
    const bool extraFromPool = GetParam() == PacketManagerInternal::kPolicyPoolAndExtra;
    {
        CPacket packet(*manager, 5000, 16);
        ASSERT_TRUE(packet.valid());
        EXPECT_EQ(packet.getBuffer(), Page(0));
        EXPECT_EQ(packet.getCapacity(), 8 * kPage);  // 5000 bytes: a block of eight pages
        EXPECT_EQ(packet.getSize(), 0u);
        ASSERT_NE(packet.getExtra(), nullptr);
        EXPECT_EQ(packet.getExtraSize(), 16);
        const bool extraInPool = packet.getExtra() >= Page(0) && packet.getExtra() < Page(0) + kTotal;
        EXPECT_EQ(extraInPool, extraFromPool);
        EXPECT_EQ(manager->freeBytes(), kTotal - (extraFromPool ? 9 : 8) * kPage);

        const std::string text = "pooled bytes";
        EXPECT_EQ(packet.append(text.data(), uint32_t(text.size())), text.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(packet.getBuffer()), packet.getSize()), text);

        // A view keeps the pooled storage alive after the packet itself has gone.
        CPacket view(packet, 0, 6, 4);
        packet = CPacket();
        EXPECT_EQ(std::string(reinterpret_cast<char*>(view.getBuffer()), view.getSize()), "pooled");
        EXPECT_LT(manager->freeBytes(), kTotal);
    }
    ExpectWhole();

    // More than the pool holds: no storage, nothing taken.
    StdoutCapture capture;
    CPacket tooBig(*manager, uint32_t(kTotal + 1));
    EXPECT_FALSE(tooBig.valid());
    EXPECT_NE(capture.take().find("CPacket No Free Space"), std::string::npos);
    ExpectWhole();
}

TEST_P(PacketPoolTest, AFreeOfAnythingButAnAllocatedBlockIsRefusedAndThePoolStaysSound)
{
    // Page 0 freed again (its buddy, page 1, is taken), pages 4-7 taken, pages 2-3 and 8 on free.
    size_t size = 1;
    void* first = manager->allocate(size);
    size = 4 * kPage;
    void* four = manager->allocate(size);
    size = 1;
    void* buddy = manager->allocate(size);
    ASSERT_EQ(first, Page(0));
    ASSERT_EQ(four, Page(4));
    ASSERT_EQ(buddy, Page(1));
    manager->free(first);
    const std::vector<Blocks> lists = FreeLists();
    const size_t freeBytes = manager->freeBytes();

    const uintptr_t start = reinterpret_cast<uintptr_t>(manager->poolStart());
    struct Case
    {
        const char* name;
        uintptr_t pointer;
    };
    const Case cases[] = {
        {"freed twice", start},
        {"second page of a block", start + 5 * kPage},
        {"last page of a block", start + 7 * kPage},
        {"inside a block's first page", start + 4 * kPage + 1},
        {"last byte of a block", start + 8 * kPage - 1},
        {"head of a block never handed out", start + 2 * kPage},
        {"inside a free block", start + 3 * kPage},
        {"head of the large free block", start + 1024 * kPage},
        {"one past the pool's end", start + kTotal},
        {"a page past the pool's end", start + kTotal + kPage},
        {"last byte of the pool", start + kTotal - 1},
        {"a page before the pool", start - kPage},
        {"one byte before the pool", start - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        manager->free(reinterpret_cast<void*>(c.pointer));
        const std::string log = capture.take();
        EXPECT_NE(log.find("PacketManager::free() pointer is not an allocated block!!"), std::string::npos) << log;
        EXPECT_EQ(FreeLists(), lists);
        EXPECT_EQ(manager->freeBytes(), freeBytes);
    }
    EXPECT_EQ(manager->chunk(4).tag, ~2) << "the block that was pointed into is still taken";

    manager->free(four);
    manager->free(buddy);
    ExpectWhole();
    // Every page handed out exactly once, then the pool is whole again.
    std::vector<void*> pages;
    for (size_t i = 0; i < manager->chunkCount(); ++i) {
        size = kPage;
        pages.push_back(manager->allocate(size));
        ASSERT_EQ(pages.back(), Page(i));
    }
    {
        StdoutCapture capture;
        size = 1;
        EXPECT_EQ(manager->allocate(size), nullptr);
    }
    for (void* page : pages)
        manager->free(page);
    ExpectWhole();
}

INSTANTIATE_TEST_SUITE_P(Policies, PacketPoolTest,
                         testing::Values(int(PacketManagerInternal::kPolicyPool),
                                         int(PacketManagerInternal::kPolicyPoolAndExtra)),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == PacketManagerInternal::kPolicyPool ? std::string("Pages")
                                                                                     : std::string("PagesAndExtra");
                         });

TEST(PacketManager, TheProcessWideManagerKeepsTheSystemPolicy)
{
    PacketManagerInternal* manager = PacketManagerInternal::instance();
    EXPECT_EQ(manager->policy(), PacketManagerInternal::kPolicySystem);
    EXPECT_FALSE(manager->usesPool());
    size_t size = 100;
    void* block = manager->allocate(size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 100u);
    manager->free(block);
}

} // namespace
