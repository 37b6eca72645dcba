#include "cpu.h"

#include <cpuid.h>

static uint64_t read_xcr0()
{
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

// x86-64 always has CPUID, so there is no probe for it.
uint32_t cpu_detect()
{
    uint32_t flags = 0;
    unsigned a, b, c, d;
    const unsigned max_basic = __get_cpuid_max(0, nullptr);
    if (max_basic >= 1) {
        __cpuid(1, a, b, c, d);
        if (d & (1u << 23)) flags |= 0x1;
        if (d & (1u << 25)) flags |= 0x2 | 0x4;
        if (d & (1u << 26)) flags |= 0x8;
        if (d & (1u << 15)) flags |= 0x10000;
        if (c & (1u << 0)) flags |= 0x20000;
        if (c & (1u << 9)) flags |= 0x80;
        if (c & (1u << 19)) flags |= 0x40000;
        if (c & (1u << 20)) flags |= 0x80000;
        if ((c & (1u << 27)) && (c & (1u << 28)) && (read_xcr0() & 0x6) == 0x6) {
            flags |= 0x100000;
            if (c & (1u << 12)) flags |= 0x400000;
        }
    }
    if (max_basic >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        if (b & (1u << 5)) flags |= 0x200000;
        if (b & (1u << 3)) {
            flags |= 0x1000000;
            if (b & (1u << 8)) flags |= 0x2000000;
        }
    }
    const unsigned max_ext = __get_cpuid_max(0x80000000, nullptr);
    if (max_ext >= 0x80000001) {
        __cpuid(0x80000001, a, b, c, d);
        if (d & (1u << 31)) flags |= 0x10;
        if (d & (1u << 30)) flags |= 0x20;
        if (d & (1u << 23)) flags |= 0x1;
        if (d & (1u << 22)) flags |= 0x4;
        if (flags & 0x100000) {
            if (c & (1u << 11)) flags |= 0x4000000;
            if (c & (1u << 16)) flags |= 0x800000;
        }
    }
    return flags;
}
