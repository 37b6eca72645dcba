// Memory between two inaccessible pages, so a kernel that reads or writes past the window
// it documents faults inside the test.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class GuardedBytes {
public:
    // At least `bytes` usable bytes between two guard pages (rounded up to whole pages).
    explicit GuardedBytes(size_t bytes)
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
    ~GuardedBytes() { munmap(m_base, m_len + 2 * m_page); }
    GuardedBytes(const GuardedBytes &) = delete;
    GuardedBytes &operator=(const GuardedBytes &) = delete;

    uint8_t *begin() const { return m_base + m_page; }
    uint8_t *end() const { return m_base + m_page + m_len; }
    // Start of the last `bytes` bytes before the trailing guard page.
    uint8_t *tail(size_t bytes) const { return end() - bytes; }

private:
    uint8_t *m_base = nullptr;
    size_t m_page = 0;
    size_t m_len = 0;
};
