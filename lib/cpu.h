// Processor feature word; inside the library only SVAC_CPU_SSSE3 (0x80) has an effect.
#pragma once
#include <cstdint>

uint32_t cpu_detect();
