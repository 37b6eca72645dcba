#include "perfcounter.h"

#include <chrono>

namespace Tolvane {

uint64_t PerfCounterMicroseconds()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

uint64_t PerfCounterSeconds()
{
    return PerfCounterMicroseconds() / 1000000;
}

} // namespace Tolvane
