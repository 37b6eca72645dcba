#pragma once

// The process-wide manager behind all packet storage. This system runs it on
// the system heap (policy 1: allocate/free/copy are malloc, free and memcpy).
// Policies 2 and 3 run it on a page pool with buddy allocation: 2 MiB in
// 1024-byte pages, blocks of 2^k pages; policy 3 also takes the extra areas of
// managed packets from the pool. Policy 4 sets up nothing beyond the system
// operations.

#include "Infra/criticalsectionmutex.h"
#include "Infra/singleton.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tarvo {
namespace Memory {

class PacketManagerInternal
{
public:
    enum Policy
    {
        kPolicySystem = 1,
        kPolicyPool = 2,
        kPolicyPoolAndExtra = 3,
        kPolicyNone = 4,
    };

    static constexpr size_t kPoolTotal = 2097152;
    static constexpr size_t kPoolPage = 1024;

    // One chunk (page) of the pool, or the head of an order's circular list.
    struct ChunkNode
    {
        int32_t index;
        int32_t tag; // free block head of order k: k + 1; allocated block of order k: ~k; inside a block: 0
        uint8_t* address;
        int32_t previous;
        int32_t next;
    };

    // Created on first use with the system's policy, destroyed at process exit.
    static PacketManagerInternal* instance();

    // A manager of its own with the given policy (tests build the pool policies this way).
    explicit PacketManagerInternal(int policy);
    ~PacketManagerInternal();
    PacketManagerInternal(const PacketManagerInternal&) = delete;
    PacketManagerInternal& operator=(const PacketManagerInternal&) = delete;

    // size in: bytes wanted; out: bytes given (a whole block of pages on the pool).
    void* allocate(size_t& size);
    // On the pool, anything but the start of a block handed out and not yet freed (a second
    // free, a pointer into a block or outside the pool) is refused with a warn message.
    void free(void* pointer);
    void copy(void* destination, const void* source, size_t length);

    int policy() const { return m_policy; }
    bool usesPool() const { return m_start != nullptr; }
    // Alignment of packet storage objects, a power of two.
    size_t alignment() const { return m_alignment; }

    // The pool as it stands (empty answers without one).
    uint8_t* poolStart() const { return m_start; }
    size_t chunkCount() const { return m_chunks; }
    int orderCount() const { return m_orders; }
    ChunkNode chunk(size_t index) const;
    // Chunk indices of the free blocks of the order, in list order.
    std::vector<int32_t> freeBlocks(int order) const;
    size_t freeBytes() const;

private:
    friend class Infra::CSingleton<PacketManagerInternal>;

    PacketManagerInternal();
    void buildPool();
    void* poolAllocate(size_t& size);
    void poolFree(void* pointer);
    // Circular lists: the head of order k is node m_chunks + k.
    void listAppend(int order, int32_t index);
    void listUnlink(int32_t index);
    size_t freeBytesLocked() const;

    int m_policy = kPolicySystem;
    size_t m_alignment = 1;
    mutable Infra::CCriticalSectionMutex m_mutex;
    void* (*m_allocate)(size_t& size) = nullptr;
    void (*m_free)(void* pointer) = nullptr;
    void (*m_copy)(void* destination, const void* source, size_t length) = nullptr;

    void* m_block = nullptr;
    uint8_t* m_start = nullptr;
    std::vector<ChunkNode> m_nodes; // m_chunks chunk nodes, then m_orders list heads
    int m_pageShift = 0;
    size_t m_chunks = 0;
    int m_orders = 0;
};

} // namespace Memory
} // namespace Tarvo
