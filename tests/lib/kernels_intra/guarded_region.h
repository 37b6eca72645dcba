// Memory with an inaccessible page on each side, so a kernel that reads or
// writes past the window it documents crashes the test.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class GuardedRegion {
public:
    explicit GuardedRegion(size_t bytes)
    {
        m_page = size_t(sysconf(_SC_PAGESIZE));
        m_len = (bytes + m_page - 1) / m_page * m_page;
        if (m_len == 0)
            m_len = m_page;
        void *p = mmap(nullptr, m_len + 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            std::abort();
        m_base = static_cast<uint8_t *>(p);
        if (mprotect(m_base, m_page, PROT_NONE) != 0 || mprotect(m_base + m_page + m_len, m_page, PROT_NONE) != 0)
            std::abort();
    }
    ~GuardedRegion() { munmap(m_base, m_len + 2 * m_page); }
    GuardedRegion(const GuardedRegion &) = delete;
    GuardedRegion &operator=(const GuardedRegion &) = delete;

    // First byte after the leading guard page.
    uint8_t *head() const { return m_base + m_page; }
    // Start of the last `bytes` bytes before the trailing guard page.
    uint8_t *tail(size_t bytes) const { return m_base + m_page + m_len - bytes; }

private:
    uint8_t *m_base = nullptr;
    size_t m_page = 0;
    size_t m_len = 0;
};

// Samples of 8-bit pictures are bytes, all others 16-bit words.
inline int sample_bytes(int bit_depth)
{
    return bit_depth > 8 ? 2 : 1;
}

inline void put_sample(uint8_t *p, int bit_depth, size_t index, int v)
{
    if (bit_depth > 8)
        reinterpret_cast<uint16_t *>(p)[index] = uint16_t(v);
    else
        p[index] = uint8_t(v);
}

inline int get_sample(const uint8_t *p, int bit_depth, size_t index)
{
    return bit_depth > 8 ? reinterpret_cast<const uint16_t *>(p)[index] : p[index];
}
