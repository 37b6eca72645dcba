#include "Memory/packetmanager.h"

#include "Infra/printlog.h"

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

} // namespace

PacketManagerInternal* PacketManagerInternal::instance()
{
    return Infra::CSingleton<PacketManagerInternal>::instance();
}

PacketManagerInternal::PacketManagerInternal()
{
    m_mutex.create();
    m_alignment = powerOfTwoFloor(kAlignmentSetting);
    m_allocate = &systemAllocate;
    m_free = &systemFree;
    m_copy = &systemCopy;
    m_policy = kPolicy;
    Infra::PrintLog::log(Infra::PrintLog::kInfo, "Unknown", "PacketManager",
                         "PacketManagerInternal::PacketManagerInternal", __LINE__, "",
                         "CPacketManager: System Policy\n");
}

PacketManagerInternal::~PacketManagerInternal()
{
    m_mutex.destroy();
}

} // namespace Memory
} // namespace Tarvo
