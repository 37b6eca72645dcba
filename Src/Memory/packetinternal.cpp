#include "Memory/packetinternal.h"

#include "Infra/assertionreporter.h"
#include "Infra/printlog.h"
#include "Memory/packet.h"
#include "Memory/packetmanager.h"

#include <cstdlib>
#include <cstddef>
#include <new>

namespace Tarvo {
namespace Memory {

static_assert(alignof(OldPacketInternal) <= alignof(std::max_align_t),
              "packet storage must fit the manager's alignment");

OldPacketInternal* OldPacketInternal::create(OldPacketInternal* source, uint32_t offset,
                                             uint32_t size, uint8_t extra)
{
    const uint32_t sourceSize = source ? source->m_size : 0;
    // size is compared against the room after offset so that the sum cannot wrap.
    if (!source || offset >= sourceSize || size > sourceSize - offset) {
        Infra::PrintLog::log(Infra::PrintLog::kWarn, "Unknown", "Packet", "PacketInternal::create",
                             165, "",
                             "PacketInternal::create() offset or size is invalid!! huge_size:%zu, "
                             "offset:%zu, size:%zu\n",
                             static_cast<size_t>(sourceSize), static_cast<size_t>(offset),
                             static_cast<size_t>(size));
        return nullptr;
    }

    size_t blockSize = 0;
    OldPacketInternal* packet = newInBlock(extra, PacketManagerInternal::instance()->alignment(), blockSize);
    CPacket* parent = packet ? new (std::nothrow) CPacket : nullptr;
    if (!parent) {
        if (packet)
            deleteInBlock(packet);
        Infra::PrintLog::log(Infra::PrintLog::kError, "Unknown", "Packet",
                             "PacketInternal::create", 174, "",
                             "PacketInternal::create(): malloc failured! size:%zu\n", blockSize);
        return nullptr;
    }

    packet->m_kind = kView;
    packet->m_buffer = source->m_buffer + offset;
    packet->m_size = size;
    packet->m_capacity = size;
    source->addRef();
    parent->m_internal = source;
    packet->m_parent = parent;
    return packet;
}

OldPacketInternal* OldPacketInternal::allocate(PacketManagerInternal* manager, uint32_t size,
                                               uint8_t extra)
{
    if (!manager)
        return nullptr;
    const bool extraFromManager = manager->policy() == PacketManagerInternal::kPolicyPoolAndExtra;
    size_t given = size;
    uint8_t* buffer = static_cast<uint8_t*>(manager->allocate(given));
    if (!buffer)
        return nullptr;

    uint8_t* extraArea = nullptr;
    OldPacketInternal* packet = nullptr;
    if (extraFromManager) {
        size_t extraGiven = extra;
        extraArea = extra ? static_cast<uint8_t*>(manager->allocate(extraGiven)) : nullptr;
        packet = (extraArea || !extra) ? new (std::nothrow) OldPacketInternal : nullptr;
        if (!packet && extraArea)
            manager->free(extraArea);
    } else {
        size_t blockSize = 0;
        packet = newInBlock(extra, manager->alignment(), blockSize);
        extraArea = packet ? packet->m_extra : nullptr;
    }
    if (!packet) {
        manager->free(buffer);
        return nullptr;
    }
    packet->m_kind = kManaged;
    packet->m_manager = manager;
    packet->m_buffer = buffer;
    packet->m_size = 0;
    packet->m_capacity = given > UINT32_MAX ? UINT32_MAX : uint32_t(given);
    packet->m_extra = extraArea;
    packet->m_extraSize = extra;
    return packet;
}

OldPacketInternal* OldPacketInternal::newInBlock(uint8_t extra, size_t alignment, size_t& blockSize)
{
    const size_t storageOffset = (size_t{extra} + alignment - 1) / alignment * alignment;
    blockSize = storageOffset + sizeof(OldPacketInternal);
    uint8_t* block = static_cast<uint8_t*>(std::malloc(blockSize));
    if (!block)
        return nullptr;
    auto* packet = new (block + storageOffset) OldPacketInternal;
    packet->m_extra = block;
    packet->m_extraSize = extra;
    return packet;
}

void OldPacketInternal::deleteInBlock(OldPacketInternal* packet)
{
    uint8_t* block = packet->m_extra;
    packet->~OldPacketInternal();
    std::free(block);
}

OldPacketInternal* OldPacketInternal::wrap(uint8_t* buffer, uint32_t size,
                                           const PacketDeleter& deleter)
{
    auto* packet = new (std::nothrow) OldPacketInternal;
    if (!packet)
        return nullptr;
    packet->m_kind = kWrapped;
    packet->m_buffer = buffer;
    packet->m_size = size;
    packet->m_capacity = size;
    packet->m_deleter = deleter;
    return packet;
}

void OldPacketInternal::addRef()
{
    m_refCount.fetch_add(1);
}

void OldPacketInternal::release()
{
    if (m_refCount.fetch_sub(1) == 1)
        destroy(this);
}

void OldPacketInternal::destroy(OldPacketInternal* packet)
{
    switch (packet->m_kind) {
    case kView:
        delete packet->m_parent;
        deleteInBlock(packet);
        break;
    case kWrapped:
        if (!packet->m_deleter.empty())
            packet->m_deleter(packet->m_buffer, packet->m_size);
        delete packet;
        break;
    case kManaged: {
        PacketManagerInternal* manager = packet->m_manager;
        manager->free(packet->m_buffer);
        if (manager->policy() == PacketManagerInternal::kPolicyPoolAndExtra) {
            if (packet->m_extra)
                manager->free(packet->m_extra);
            delete packet;
        } else {
            deleteInBlock(packet);
        }
        break;
    }
    default:
        Infra::AssertionReporter::report("false", "PacketInternal::destroy(): unreachable!\n",
                                         "PacketInternal::destroy", "Packet", 239);
    }
}

uint32_t OldPacketInternal::append(const void* data, uint32_t length)
{
    uint32_t count = m_capacity - m_size;
    if (length < count)
        count = length;
    if (count == 0 || !data)
        return 0;
    PacketManagerInternal* manager = m_manager ? m_manager : PacketManagerInternal::instance();
    manager->copy(m_buffer + m_size, data, count);
    m_size += count;
    return count;
}

bool OldPacketInternal::setSize(uint32_t size)
{
    if (size > m_capacity)
        return false;
    m_size = size;
    return true;
}

} // namespace Memory
} // namespace Tarvo
