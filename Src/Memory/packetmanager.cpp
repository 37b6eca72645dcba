#include "Memory/packetmanager.h"

#include "Infra/assertionreporter.h"
#include "Infra/printlog.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace Tarvo {
namespace Memory {

namespace {

// Fixed settings of this system.
constexpr int kPolicy = PacketManagerInternal::kPolicySystem;
// Storage objects hold pointers and an atomic count: align them for any scalar.
constexpr size_t kAlignmentSetting = alignof(std::max_align_t);

void* systemAllocate(size_t& size)
{
    return std::malloc(size);
}

void systemFree(void* pointer)
{
    std::free(pointer);
}

void systemCopy(void* destination, const void* source, size_t length)
{
    if (length)
        std::memcpy(destination, source, length);
}

size_t powerOfTwoFloor(size_t value)
{
    if (value == 0)
        return 1;
    size_t result = 1;
    while (result <= value / 2)
        result <<= 1;
    return result;
}

// Number of significant bits; 0 for 0.
int bitLength(size_t value)
{
    int result = 0;
    while (value) {
        value >>= 1;
        ++result;
    }
    return result;
}

// floor(log2(value)) for value >= 1.
int log2Floor(size_t value)
{
    return bitLength(value) - 1;
}

__attribute__((format(printf, 3, 4))) void logLine(int level, int line, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Infra::PrintLog::logv(level, "Unknown", "PacketManager", "PacketManagerInternal", line, "", format,
                          arguments);
    va_end(arguments);
}

} // namespace

PacketManagerInternal* PacketManagerInternal::instance()
{
    return Infra::CSingleton<PacketManagerInternal>::instance();
}

PacketManagerInternal::PacketManagerInternal() : PacketManagerInternal(kPolicy) {}

PacketManagerInternal::PacketManagerInternal(int policy)
{
    m_mutex.create();
    m_alignment = powerOfTwoFloor(kAlignmentSetting);
    m_allocate = &systemAllocate;
    m_free = &systemFree;
    m_copy = &systemCopy;
    m_policy = policy;
    if (policy == kPolicySystem) {
        logLine(Infra::PrintLog::kInfo, __LINE__, "CPacketManager: System Policy\n");
    } else if (policy == kPolicyPool || policy == kPolicyPoolAndExtra) {
        buildPool();
    }
}

PacketManagerInternal::~PacketManagerInternal()
{
    if (m_block)
        m_free(m_block);
    m_block = nullptr;
    m_start = nullptr;
    m_nodes.clear();
    m_mutex.destroy();
}

void PacketManagerInternal::buildPool()
{
    m_chunks = kPoolTotal / kPoolPage;
    m_pageShift = log2Floor(kPoolPage);
    m_orders = log2Floor(m_chunks) + 1;

    size_t blockSize = (m_chunks + 1) * kPoolPage;
    m_block = m_allocate(blockSize);
    if (!m_block) {
        logLine(Infra::PrintLog::kFatal, __LINE__, "sm_param.chunkSize malloc failed!\n");
        Infra::AssertionReporter::report("0", "PacketManagerInternal::buildPool", "PacketManager", __LINE__);
    }
    const uintptr_t raw = reinterpret_cast<uintptr_t>(m_block);
    const uintptr_t pageMask = kPoolPage - 1;
    m_start = reinterpret_cast<uint8_t*>((raw + pageMask) & ~pageMask);

    m_nodes.resize(m_chunks + static_cast<size_t>(m_orders));
    for (size_t i = 0; i < m_chunks; ++i)
        m_nodes[i] = ChunkNode{int32_t(i), 0, m_start + i * kPoolPage, -1, -1};
    for (int k = 0; k < m_orders; ++k) {
        const int32_t head = int32_t(m_chunks) + k;
        m_nodes[size_t(head)] = ChunkNode{head, 0, nullptr, head, head};
    }
    // Greedy cut from the highest order down.
    size_t index = 0;
    for (int k = m_orders - 1; k >= 0; --k) {
        const size_t pages = size_t(1) << k;
        while (index + pages <= m_chunks) {
            m_nodes[index].tag = k + 1;
            listAppend(k, int32_t(index));
            index += pages;
        }
    }

    logLine(Infra::PrintLog::kInfo, __LINE__,
            "CPacketManager: malloc total:%zu pagesize:%zublockCount:%d ManagermentSize:%zu\n", kPoolTotal,
            kPoolPage, int(m_chunks), (m_chunks + size_t(m_orders)) * 20);
    logLine(Infra::PrintLog::kInfo, __LINE__, "AddrRange:%p/%p)\n", static_cast<void*>(m_start),
            static_cast<void*>(m_start + kPoolTotal));
}

void* PacketManagerInternal::allocate(size_t& size)
{
    return usesPool() ? poolAllocate(size) : m_allocate(size);
}

void PacketManagerInternal::free(void* pointer)
{
    if (usesPool())
        poolFree(pointer);
    else
        m_free(pointer);
}

void PacketManagerInternal::copy(void* destination, const void* source, size_t length)
{
    // The same plain copy whether or not the ranges lie in the pool.
    m_copy(destination, source, length);
}

void PacketManagerInternal::listAppend(int order, int32_t index)
{
    const int32_t head = int32_t(m_chunks) + order;
    ChunkNode& headNode = m_nodes[size_t(head)];
    ChunkNode& node = m_nodes[size_t(index)];
    node.previous = headNode.previous;
    node.next = head;
    m_nodes[size_t(headNode.previous)].next = index;
    headNode.previous = index;
}

void PacketManagerInternal::listUnlink(int32_t index)
{
    ChunkNode& node = m_nodes[size_t(index)];
    m_nodes[size_t(node.previous)].next = node.next;
    m_nodes[size_t(node.next)].previous = node.previous;
    node.previous = -1;
    node.next = -1;
}

size_t PacketManagerInternal::freeBytesLocked() const
{
    size_t pages = 0;
    for (int k = 0; k < m_orders; ++k) {
        const int32_t head = int32_t(m_chunks) + k;
        for (int32_t i = m_nodes[size_t(head)].next; i != head; i = m_nodes[size_t(i)].next)
            pages += size_t(1) << k;
    }
    return pages * kPoolPage;
}

void* PacketManagerInternal::poolAllocate(size_t& size)
{
    const size_t pagesLess = size == 0 ? 0 : (size - 1) >> m_pageShift;
    const int wanted = bitLength(pagesLess);

    Infra::CCriticalSectionGuard guard(m_mutex);
    int order = wanted;
    while (order < m_orders) {
        const int32_t head = int32_t(m_chunks) + order;
        if (m_nodes[size_t(head)].next != head)
            break;
        ++order;
    }
    if (order >= m_orders) {
        const size_t freeSize = freeBytesLocked();
        logLine(Infra::PrintLog::kWarn, __LINE__, "CPacket No Free Space, totalSize:%u, freeSize:%u \n",
                unsigned(kPoolTotal), unsigned(freeSize));
        return nullptr;
    }
    const int32_t index = m_nodes[size_t(m_chunks) + size_t(order)].next;
    listUnlink(index);
    // Split: the upper halves go back, one order lower each time.
    while (order > wanted) {
        --order;
        const int32_t buddy = index + (int32_t(1) << order);
        m_nodes[size_t(buddy)].tag = order + 1;
        listAppend(order, buddy);
    }
    m_nodes[size_t(index)].tag = ~wanted;
    size = (size_t(1) << wanted) * kPoolPage;
    return m_nodes[size_t(index)].address;
}

void PacketManagerInternal::poolFree(void* pointer)
{
    if (!pointer)
        return;
    // Only the first byte of a block handed out and not yet given back is accepted: anything
    // else (a second free, a pointer into a block, one outside the pool) would corrupt the lists.
    const uintptr_t offset = reinterpret_cast<uintptr_t>(pointer) - reinterpret_cast<uintptr_t>(m_start);
    const bool onPage = offset < kPoolTotal && (offset & (kPoolPage - 1)) == 0;
    {
        Infra::CCriticalSectionGuard guard(m_mutex);
        int32_t index = int32_t(offset >> m_pageShift);
        const int32_t tag = onPage ? m_nodes[size_t(index)].tag : 0;
        if (tag < 0 && tag >= -m_orders) {
            int order = ~tag;
            m_nodes[size_t(index)].tag = 0;
            // Merge with free buddies of the same order.
            while (order + 1 < m_orders) {
                const int32_t buddy = index ^ (int32_t(1) << order);
                if (size_t(buddy) >= m_chunks || m_nodes[size_t(buddy)].tag != order + 1)
                    break;
                listUnlink(buddy);
                m_nodes[size_t(buddy)].tag = 0;
                index &= ~(int32_t(1) << order);
                ++order;
            }
            m_nodes[size_t(index)].tag = order + 1;
            listAppend(order, index);
            return;
        }
    }
    logLine(Infra::PrintLog::kWarn, __LINE__,
            "PacketManager::free() pointer is not an allocated block!! pointer:%p, AddrRange:%p/%p\n", pointer,
            static_cast<void*>(m_start), static_cast<void*>(m_start + kPoolTotal));
}

PacketManagerInternal::ChunkNode PacketManagerInternal::chunk(size_t index) const
{
    Infra::CCriticalSectionGuard guard(m_mutex);
    return index < m_nodes.size() ? m_nodes[index] : ChunkNode{-1, 0, nullptr, -1, -1};
}

std::vector<int32_t> PacketManagerInternal::freeBlocks(int order) const
{
    std::vector<int32_t> blocks;
    if (order < 0 || order >= m_orders)
        return blocks;
    Infra::CCriticalSectionGuard guard(m_mutex);
    const int32_t head = int32_t(m_chunks) + order;
    for (int32_t i = m_nodes[size_t(head)].next; i != head; i = m_nodes[size_t(i)].next)
        blocks.push_back(i);
    return blocks;
}

size_t PacketManagerInternal::freeBytes() const
{
    if (!usesPool())
        return 0;
    Infra::CCriticalSectionGuard guard(m_mutex);
    return freeBytesLocked();
}

} // namespace Memory
} // namespace Tarvo
