#pragma once

// Monotonic clock readings.

#include <cstdint>

namespace Tolvane {

uint64_t PerfCounterMicroseconds();
uint64_t PerfCounterSeconds();

} // namespace Tolvane
