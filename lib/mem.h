// Aligned allocation: every block starts on a 32-byte boundary; the distance to the system
// block is kept in the byte just below the returned address.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int SVAC_MEM_ALIGN = 32;
constexpr size_t SVAC_MEM_MAX = 0x7FFFFFDF;

void *mem_malloc(size_t size);
void *mem_alloc(size_t size);
void *mem_calloc(size_t count, size_t size);
void *mem_resize(void *p, size_t size);
void *mem_realloc(void *p, int32_t *capacity, int32_t min_size);
void mem_free(void *p);

template <typename T>
inline void mem_freep(T **pp)
{
    mem_free(*pp);
    *pp = nullptr;
}

// Test hook: when >= 0, the allocation that many calls ahead fails once.
extern int mem_fail_countdown;
