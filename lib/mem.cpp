#include "mem.h"

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "svac_assert.h"

int mem_fail_countdown = -1;

static bool injected_failure()
{
    if (mem_fail_countdown < 0)
        return false;
    if (mem_fail_countdown-- == 0) {
        mem_fail_countdown = -1;
        return true;
    }
    return false;
}

static unsigned char *place(unsigned char *raw)
{
    size_t offset = SVAC_MEM_ALIGN - reinterpret_cast<uintptr_t>(raw) % SVAC_MEM_ALIGN;
    raw[offset - 1] = static_cast<unsigned char>(offset);
    return raw + offset;
}

// Blocks of this size and more (pictures, per-picture tables) start on a huge-page boundary
// and ask the system for huge pages: motion compensation reads the reference pictures at
// scattered places, and with 4 KiB pages most of those reads miss the address cache.
constexpr size_t large_block = size_t(2) << 20;

static unsigned char *system_block(size_t size)
{
#ifdef MADV_HUGEPAGE
    if (size >= large_block) {
        void *raw = nullptr;
        const size_t whole = (size + large_block - 1) & ~(large_block - 1);
        if (posix_memalign(&raw, large_block, whole) != 0)
            return nullptr;
        madvise(raw, whole, MADV_HUGEPAGE);
        return static_cast<unsigned char *>(raw);
    }
#endif
    return static_cast<unsigned char *>(std::malloc(size));
}

void *mem_malloc(size_t size)
{
    if (size == 0 || size > SVAC_MEM_MAX || injected_failure())
        return nullptr;
    auto *raw = system_block(size + SVAC_MEM_ALIGN);
    return raw ? place(raw) : nullptr;
}

void *mem_alloc(size_t size)
{
    void *p = mem_malloc(size);
    if (p)
        std::memset(p, 0, size);
    return p;
}

void *mem_calloc(size_t count, size_t size)
{
    if (size == 0 || count >= 0x7FFFFFFF / size)
        return nullptr;
    size_t total = count * size;
    if (total == 0 || total >= 0x7FFFFFE0)
        return nullptr;
    return mem_alloc(total);
}

// Unlike a plain realloc of the system block, the result stays 32-byte aligned: when the
// system moved the block to another alignment, the contents are shifted into place.
void *mem_resize(void *p, size_t size)
{
    if (size > SVAC_MEM_MAX)
        return nullptr;
    if (!p)
        return mem_malloc(size);
    if (injected_failure())
        return nullptr;
    auto *block = static_cast<unsigned char *>(p);
    size_t diff = block[-1];
    SVAC_ASSERT(diff>0 && diff<=SVAC_MEM_ALIGN);
    auto *raw = static_cast<unsigned char *>(std::realloc(block - diff, size + SVAC_MEM_ALIGN));
    if (!raw)
        return nullptr;
    size_t offset = SVAC_MEM_ALIGN - reinterpret_cast<uintptr_t>(raw) % SVAC_MEM_ALIGN;
    if (offset != diff)
        std::memmove(raw + offset, raw + diff, size);
    raw[offset - 1] = static_cast<unsigned char>(offset);
    return raw + offset;
}

void *mem_realloc(void *p, int32_t *capacity, int32_t min_size)
{
    if (min_size < *capacity)
        return p;
    int64_t wanted = static_cast<int64_t>(min_size) * 17 / 16 + 32;
    if (wanted < min_size)
        wanted = min_size;
    if (wanted > static_cast<int64_t>(SVAC_MEM_MAX)) {
        *capacity = 0;
        return nullptr;
    }
    void *grown = p ? mem_resize(p, static_cast<size_t>(wanted)) : mem_malloc(static_cast<size_t>(wanted));
    *capacity = grown ? static_cast<int32_t>(wanted) : 0;
    return grown;
}

void mem_free(void *p)
{
    if (!p)
        return;
    auto *block = static_cast<unsigned char *>(p);
    int v = block[-1];
    SVAC_ASSERT(v>0 && v<=SVAC_MEM_ALIGN);
    std::free(block - v);
}
