// Small program that installs the crash hook and then crashes on purpose.
//
//   crash_child install NAME...            installs each name in turn and prints
//                                          the dump path and what got installed
//   crash_child crash KIND NAME [readonly] installs NAME and crashes by KIND;
//                                          "readonly" first drops the power to
//                                          write into folders it may not write to

#include "crashdumpfilter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#define NOINLINE __attribute__((noinline))

volatile int g_seven = 7;
volatile int g_zero = 0;
volatile int g_sink = 0;

NOINLINE void CrashBySegv()
{
    volatile int* volatile target = nullptr;
    *target = 1;
}

NOINLINE void CrashByAbort()
{
    g_sink = 1;
    abort();
}

NOINLINE void CrashByDivision()
{
    g_sink = g_seven / g_zero;
}

NOINLINE void CrashByTrap()
{
    g_sink = 2;
    __builtin_trap();
}

NOINLINE void CrashByBus()
{
    // Reading a mapped page past the end of its file raises SIGBUS.
    const int fd = open("bus.bin", O_RDWR | O_CREAT | O_TRUNC, 0600);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    unlink("bus.bin");
    if (page == MAP_FAILED)
        return;
    g_sink = *static_cast<volatile char*>(page);
}

NOINLINE void CrashInWorkerThread()
{
    volatile int* volatile target = nullptr;
    g_sink = *target;
}

#pragma GCC diagnostic ignored "-Winfinite-recursion"
NOINLINE int RecurseWithoutEnd(int depth)
{
    volatile char pad[512];
    pad[depth % sizeof pad] = static_cast<char>(depth);
    return RecurseWithoutEnd(depth + 1) + pad[0];
}

namespace {

bool DropDacOverride()
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return syscall(SYS_capset, &header, data) == 0;
}

int CountHandlers()
{
    int count = 0;
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        struct sigaction current {};
        sigaction(sig, nullptr, &current);
        if ((current.sa_flags & SA_SIGINFO) && (current.sa_flags & SA_ONSTACK)
            && current.sa_sigaction == &CrashDumpFilter::OnUnhandledException)
            ++count;
    }
    return count;
}

bool HasAltStack()
{
    stack_t current {};
    return sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE);
}

int Crash(const std::string& kind)
{
    if (kind == "segv")
        CrashBySegv();
    else if (kind == "abort")
        CrashByAbort();
    else if (kind == "fpe")
        CrashByDivision();
    else if (kind == "ill")
        CrashByTrap();
    else if (kind == "bus")
        CrashByBus();
    else if (kind == "thread")
        std::thread(CrashInWorkerThread).join();
    else if (kind == "overflow") {
        rlimit stack {1024 * 1024, 1024 * 1024};
        setrlimit(RLIMIT_STACK, &stack);
        return RecurseWithoutEnd(0);
    }
    fprintf(stderr, "did not crash: %s\n", kind.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // The hook's own dump is the only one wanted; no system core next to it.
    rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "install") {
        for (int i = 2; i < argc; ++i)
            CrashDumpFilter::Install(argv[i]);
        printf("path=%s\nhandlers=%d\naltstack=%d\n", CrashDumpFilter::DumpPath().c_str(), CountHandlers(),
               HasAltStack() ? 1 : 0);
        return 0;
    }
    if (mode == "crash" && argc >= 4) {
        CrashDumpFilter::Install(argv[3]);
        if (argc > 4 && std::string(argv[4]) == "readonly" && !DropDacOverride()) {
            fprintf(stderr, "cannot drop capabilities\n");
            return 3;
        }
        return Crash(argv[2]);
    }
    fprintf(stderr, "usage: crash_child install NAME... | crash KIND NAME [readonly]\n");
    return 2;
}
