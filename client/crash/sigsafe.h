#ifndef BREVIX_CRASH_SIGSAFE_H
#define BREVIX_CRASH_SIGSAFE_H

// Helpers for code that runs inside a fatal-signal handler: no allocation, no
// stdio, no locks; only plain system calls on caller-supplied buffers.

#include <cstddef>
#include <cstdint>

namespace crashdump {

size_t StrLen(const char* s);
bool StartsWith(const char* s, size_t len, const char* prefix);
bool EndsWith(const char* s, size_t len, const char* suffix);

// printf-style formatting of "%s" and "%d" (and "%%") into out[cap]; the
// result is always terminated and cut at cap - 1 characters. Returns its length.
size_t FormatText(char* out, size_t cap, const char* format, const char* text, int number);

// Reads a whole file into buf[cap]; returns the number of bytes read, or -1
// with errno set when the file does not open.
long ReadWholeFile(const char* path, char* buf, size_t cap);

// Writes all of data to fd, retrying after interruptions. Returns 0 or errno.
int WriteAll(int fd, const void* data, size_t len);

// Sequential writer of one output file with a small internal buffer. It keeps
// the file offset itself, so a span of unreadable memory becomes a hole of the
// same size and everything after it stays at its planned offset.
class SafeWriter {
public:
    explicit SafeWriter(int fd);

    bool Put(const void* data, size_t len);
    bool PutZeros(size_t len);
    // Copies len bytes of this process's memory at addr to the file. Pages
    // that cannot be read are left as holes; only a failing file counts.
    bool PutMemory(uintptr_t addr, size_t len);
    // Writes pending bytes and makes the file exactly Position() bytes long.
    bool Finish();

    uint64_t Position() const { return m_pos; }
    int Error() const { return m_error; }

private:
    bool Flush();

    int m_fd;
    int m_error = 0;
    uint64_t m_pos = 0;
    size_t m_used = 0;
    bool m_endsInHole = false;
};

} // namespace crashdump

#endif
