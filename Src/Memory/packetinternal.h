#pragma once

// Shared storage behind CPacket: a counted record of a buffer that is either a
// view of another packet (with an optional extra header area in the same
// allocation) or a wrapped outside buffer with an optional deleter.

#include "Infra/function.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Tarvo {
namespace Memory {

class CPacket;
class PacketManagerInternal;

using PacketDeleter = Infra::TFunction2<void, uint8_t*, uint32_t>;

class OldPacketInternal
{
public:
    enum Kind : uint8_t
    {
        kManaged = 0, // storage taken from the manager
        kView = 1,    // view of another packet
        kWrapped = 2, // outside buffer
    };

    // A view of bytes [offset, offset + size) of source with an extra area of
    // extra bytes; null (after a log line) when the range is invalid or memory runs out.
    static OldPacketInternal* create(OldPacketInternal* source, uint32_t offset, uint32_t size,
                                     uint8_t extra);
    // Storage of at least size bytes taken from the manager (capacity: what it gave),
    // empty, with an extra area of extra bytes (from the manager too under policy 3);
    // null when the manager has no room.
    static OldPacketInternal* allocate(PacketManagerInternal* manager, uint32_t size, uint8_t extra);
    // Wraps an outside buffer; null when memory runs out.
    static OldPacketInternal* wrap(uint8_t* buffer, uint32_t size, const PacketDeleter& deleter);

    void addRef();
    // Drops one reference; the last one destroys the storage.
    void release();

    uint32_t append(const void* data, uint32_t length);
    uint8_t* getBuffer() const { return m_buffer; }
    uint32_t getSize() const { return m_size; }
    bool setSize(uint32_t size);
    uint32_t getCapacity() const { return m_capacity; }
    uint8_t* getExtra() const { return m_extraSize ? m_extra : nullptr; }
    uint8_t getExtraSize() const { return m_extraSize; }

private:
    OldPacketInternal() = default;
    ~OldPacketInternal() = default;
    static void destroy(OldPacketInternal* packet);
    // A storage object at the end of one heap block whose start is the extra area of extra
    // bytes (m_extra is the block); null when memory runs out. blockSize: the block's size.
    static OldPacketInternal* newInBlock(uint8_t extra, size_t alignment, size_t& blockSize);
    static void deleteInBlock(OldPacketInternal* packet);

    std::atomic<int32_t> m_refCount{1};
    uint8_t* m_buffer = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;
    uint8_t* m_extra = nullptr;
    uint8_t m_extraSize = 0;
    uint8_t m_kind = kWrapped;
    CPacket* m_parent = nullptr;
    PacketManagerInternal* m_manager = nullptr; // managed storage only
    PacketDeleter m_deleter;
};

} // namespace Memory
} // namespace Tarvo
