#pragma once

// The process-wide manager behind all packet storage. This system runs it on
// the system heap only: allocate/free/copy are malloc, free and memcpy.

#include "Infra/criticalsectionmutex.h"
#include "Infra/singleton.h"

#include <cstddef>
#include <cstdint>

namespace Tarvo {
namespace Memory {

class PacketManagerInternal
{
public:
    enum Policy
    {
        kPolicySystem = 1,
    };

    // Created on first use, destroyed at process exit.
    static PacketManagerInternal* instance();

    void* allocate(size_t& size) const { return m_allocate(size); }
    void free(void* pointer) const { m_free(pointer); }
    void copy(void* destination, const void* source, size_t length) const
    {
        m_copy(destination, source, length);
    }

    int policy() const { return m_policy; }
    // Alignment of packet storage objects, a power of two.
    size_t alignment() const { return m_alignment; }

private:
    friend class Infra::CSingleton<PacketManagerInternal>;

    PacketManagerInternal();
    ~PacketManagerInternal();
    PacketManagerInternal(const PacketManagerInternal&) = delete;
    PacketManagerInternal& operator=(const PacketManagerInternal&) = delete;

    int m_policy = kPolicySystem;
    size_t m_alignment = 1;
    Infra::CCriticalSectionMutex m_mutex;
    void* (*m_allocate)(size_t& size) = nullptr;
    void (*m_free)(void* pointer) = nullptr;
    void (*m_copy)(void* destination, const void* source, size_t length) = nullptr;
};

} // namespace Memory
} // namespace Tarvo
