#include "sigsafe.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace crashdump {

namespace {

// Only one thread ever writes a dump (the handler admits the first crash), so
// the writer's buffer can be static instead of taking stack space.
constexpr size_t kBufferSize = 64 * 1024;
alignas(64) char g_buffer[kBufferSize];

// Largest piece handed to one write() when copying memory.
constexpr size_t kCopyChunk = 8 * 1024 * 1024;

size_t PageSize()
{
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
}

} // namespace

size_t StrLen(const char* s)
{
    size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

bool StartsWith(const char* s, size_t len, const char* prefix)
{
    const size_t n = StrLen(prefix);
    return len >= n && std::memcmp(s, prefix, n) == 0;
}

bool EndsWith(const char* s, size_t len, const char* suffix)
{
    const size_t n = StrLen(suffix);
    return len >= n && std::memcmp(s + len - n, suffix, n) == 0;
}

size_t FormatText(char* out, size_t cap, const char* format, const char* text, int number)
{
    if (cap == 0)
        return 0;
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < cap)
            out[n++] = c;
    };
    for (const char* f = format; *f != '\0'; ++f) {
        if (f[0] != '%' || f[1] == '\0') {
            put(*f);
            continue;
        }
        ++f;
        if (*f == 's') {
            for (const char* t = text ? text : ""; *t != '\0'; ++t)
                put(*t);
        } else if (*f == 'd') {
            char digits[12];
            int count = 0;
            // Work on the negative value so INT_MIN needs no special case.
            int v = number > 0 ? -number : number;
            do {
                digits[count++] = static_cast<char>('0' - v % 10);
                v /= 10;
            } while (v != 0);
            if (number < 0)
                put('-');
            while (count > 0)
                put(digits[--count]);
        } else {
            put(*f);
        }
    }
    out[n] = '\0';
    return n;
}

long ReadWholeFile(const char* path, char* buf, size_t cap)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t total = 0;
    while (total < cap) {
        const ssize_t n = read(fd, buf + total, cap - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<size_t>(n);
    }
    close(fd);
    return static_cast<long>(total);
}

int WriteAll(int fd, const void* data, size_t len)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = write(fd, p, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        p += n;
        len -= static_cast<size_t>(n);
    }
    return 0;
}

SafeWriter::SafeWriter(int fd)
    : m_fd(fd)
{
}

bool SafeWriter::Flush()
{
    if (m_error != 0)
        return false;
    const int err = WriteAll(m_fd, g_buffer, m_used);
    m_used = 0;
    if (err != 0)
        m_error = err;
    return err == 0;
}

bool SafeWriter::Put(const void* data, size_t len)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0 && m_error == 0) {
        if (m_used == kBufferSize && !Flush())
            break;
        const size_t n = len < kBufferSize - m_used ? len : kBufferSize - m_used;
        std::memcpy(g_buffer + m_used, p, n);
        m_used += n;
        m_endsInHole = false;
        m_pos += n;
        p += n;
        len -= n;
    }
    return m_error == 0;
}

bool SafeWriter::PutZeros(size_t len)
{
    static const char zeros[256] = {};
    while (len > 0 && m_error == 0) {
        const size_t n = len < sizeof zeros ? len : sizeof zeros;
        Put(zeros, n);
        len -= n;
    }
    return m_error == 0;
}

bool SafeWriter::PutMemory(uintptr_t addr, size_t len)
{
    if (!Flush())
        return false;
    const size_t page = PageSize();
    while (len > 0) {
        const size_t want = len < kCopyChunk ? len : kCopyChunk;
        const ssize_t n = write(m_fd, reinterpret_cast<const void*>(addr), want);
        if (n > 0) {
            addr += static_cast<size_t>(n);
            len -= static_cast<size_t>(n);
            m_pos += static_cast<size_t>(n);
            m_endsInHole = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EFAULT) {
            // The page at addr cannot be read: leave a hole up to the next page.
            size_t skip = page - addr % page;
            if (skip > len)
                skip = len;
            if (lseek(m_fd, static_cast<off_t>(skip), SEEK_CUR) < 0) {
                m_error = errno;
                return false;
            }
            addr += skip;
            len -= skip;
            m_pos += skip;
            m_endsInHole = true;
            continue;
        }
        m_error = n < 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool SafeWriter::Finish()
{
    if (!Flush())
        return false;
    // A hole at the very end does not extend the file by itself.
    if (m_endsInHole && ftruncate(m_fd, static_cast<off_t>(m_pos)) != 0) {
        m_error = errno;
        return false;
    }
    return true;
}

} // namespace crashdump
