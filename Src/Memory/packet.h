#pragma once

// Reference-counted byte buffer. A packet either wraps a buffer that belongs to
// somebody else (with an optional deleter, called once with (buffer, size) when
// the last copy goes) or views a range of another packet, keeping it alive, with
// an extra header area of its own. Copies share the storage.

#include "Memory/packetinternal.h"

#include <cstdint>

namespace Tarvo {
namespace Memory {

class CPacket
{
public:
    using Deleter = PacketDeleter;

    // A packet without storage.
    CPacket();
    // Wraps buffer; with an empty deleter the buffer is never freed by the packet.
    CPacket(void* buffer, uint32_t size, const Deleter& deleter = Deleter());
    // Empty storage of at least size bytes from the manager, with extraSize bytes of
    // extra area; without storage when the manager has no room.
    CPacket(PacketManagerInternal& manager, uint32_t size, uint8_t extraSize = 0);
    // Views bytes [offset, offset + size) of source, with extraSize bytes of
    // extra area. An invalid range leaves the packet without storage.
    CPacket(const CPacket& source, uint32_t offset, uint32_t size, uint8_t extraSize);
    CPacket(const CPacket& other);
    CPacket& operator=(const CPacket& other);
    virtual ~CPacket();

    bool valid() const { return m_internal != nullptr; }

    uint8_t* getBuffer() const;
    uint32_t getSize() const;
    // False when size exceeds the capacity.
    bool setSize(uint32_t size);
    uint32_t getCapacity() const;
    // Copies what fits between size and capacity; returns the bytes copied.
    uint32_t append(const void* data, uint32_t length);
    // Null when there is no extra area.
    uint8_t* getExtra() const;
    uint8_t getExtraSize() const;

private:
    friend class OldPacketInternal;

    OldPacketInternal* m_internal = nullptr;
};

} // namespace Memory
} // namespace Tarvo
