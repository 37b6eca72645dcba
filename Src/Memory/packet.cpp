#include "Memory/packet.h"

#include "Memory/packetmanager.h"

namespace Tarvo {
namespace Memory {

CPacket::CPacket() = default;

CPacket::CPacket(void* buffer, uint32_t size, const Deleter& deleter)
{
    PacketManagerInternal::instance();
    m_internal = OldPacketInternal::wrap(static_cast<uint8_t*>(buffer), size, deleter);
    // Without storage nobody else would ever hand the buffer back.
    if (!m_internal && !deleter.empty())
        deleter(static_cast<uint8_t*>(buffer), size);
}

CPacket::CPacket(PacketManagerInternal& manager, uint32_t size, uint8_t extraSize)
{
    m_internal = OldPacketInternal::allocate(&manager, size, extraSize);
}

CPacket::CPacket(const CPacket& source, uint32_t offset, uint32_t size, uint8_t extraSize)
{
    PacketManagerInternal::instance();
    m_internal = OldPacketInternal::create(source.m_internal, offset, size, extraSize);
}

CPacket::CPacket(const CPacket& other) : m_internal(other.m_internal)
{
    if (m_internal)
        m_internal->addRef();
}

CPacket& CPacket::operator=(const CPacket& other)
{
    if (other.m_internal)
        other.m_internal->addRef();
    if (m_internal)
        m_internal->release();
    m_internal = other.m_internal;
    return *this;
}

CPacket::~CPacket()
{
    if (m_internal)
        m_internal->release();
}

uint8_t* CPacket::getBuffer() const
{
    return m_internal ? m_internal->getBuffer() : nullptr;
}

uint32_t CPacket::getSize() const
{
    return m_internal ? m_internal->getSize() : 0;
}

bool CPacket::setSize(uint32_t size)
{
    return m_internal && m_internal->setSize(size);
}

uint32_t CPacket::getCapacity() const
{
    return m_internal ? m_internal->getCapacity() : 0;
}

uint32_t CPacket::append(const void* data, uint32_t length)
{
    return m_internal ? m_internal->append(data, length) : 0;
}

uint8_t* CPacket::getExtra() const
{
    return m_internal ? m_internal->getExtra() : nullptr;
}

uint8_t CPacket::getExtraSize() const
{
    return m_internal ? m_internal->getExtraSize() : 0;
}

} // namespace Memory
} // namespace Tarvo
