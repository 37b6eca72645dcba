#ifndef BREVIX_CRASH_COREWRITER_H
#define BREVIX_CRASH_COREWRITER_H

// Writes an ELF core file of the running process from inside a fatal-signal
// handler: the crashing thread's registers and the process's readable memory,
// so that a debugger opens it together with the program.

#include <csignal>
#include <cstddef>
#include <cstdint>

namespace crashdump {

// One line of /proc/self/maps.
struct Mapping {
    uintptr_t start = 0;
    uintptr_t end = 0;
    uint64_t offset = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    const char* path = nullptr; // not terminated; pathLen characters
    size_t pathLen = 0;
};

// Walks the text of /proc/self/maps held in [text, text + len).
class MapsCursor {
public:
    MapsCursor(const char* text, size_t len);
    bool Next(Mapping& m);

private:
    const char* m_pos;
    const char* m_end;
};

// Whether a mapping is described in the core at all, and whether its bytes are
// copied. Machine code of files on disk is not copied: the debugger reads it
// from the files, as it does for the system's own cores.
bool IsDumped(const Mapping& m);
bool IsCopied(const Mapping& m);

// Memory the writer must leave out (its own scratch buffers).
struct ExcludedRange {
    uintptr_t start = 0;
    uintptr_t end = 0;
};

// Writes the core to fd. maps is the text of /proc/self/maps read at the time
// of the crash. Returns 0, or the errno of the failing write.
int WriteCore(int fd, int sig, const siginfo_t* info, const void* ucontext,
              const char* maps, size_t mapsLen, ExcludedRange excluded);

} // namespace crashdump

#endif
