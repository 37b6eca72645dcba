#include "crashdumpfilter.h"

#include "corewriter.h"
#include "sigsafe.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

constexpr char kReportFile[] = "DumpError.txt";
constexpr char kCreateFailed[] = "Failed to create dump file '%s' (error %d)";
constexpr char kSaveFailed[] = "Failed to save dump file to '%s' (error %d)";
constexpr char kSaved[] =
    "Sorry, an error occur! please send \"%s\" to R&D for our analysis to solve the problem!";

// Room for the longest text with the longest path, so the path is never cut.
constexpr size_t kReportCapacity = 512;

// Stack for the handler, so that a stack overflow can still be reported.
constexpr size_t kAltStackSize = 256 * 1024;
// Reserved for the text of /proc/self/maps; pages are touched only on a crash.
constexpr size_t kMapsCapacity = 8 * 1024 * 1024;

char g_dumpName[CrashDumpFilter::kPathCapacity];
char g_dumpPath[CrashDumpFilter::kPathCapacity];
// The folder a plain dump name goes to, made on the first crash; empty when the
// dump name is a path of its own.
char g_dumpFolder[CrashDumpFilter::kPathCapacity];
char* g_maps = nullptr;
std::atomic<bool> g_dumping {false};

void* MapAnonymous(size_t size)
{
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// Reads /proc/self/maps into g_maps, keeping whole lines only. Returns the
// length, or -1 with errno set.
long ReadMaps()
{
    if (g_maps == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    long len = crashdump::ReadWholeFile("/proc/self/maps", g_maps, kMapsCapacity);
    if (len < 0)
        return -1;
    while (len > 0 && g_maps[len - 1] != '\n')
        --len;
    return len;
}

// Writes the dump to an open file; returns 0 or errno.
int WriteDump(int fd, int sig, const siginfo_t* info, const void* context)
{
    const long mapsLen = ReadMaps();
    if (mapsLen < 0)
        return errno != 0 ? errno : EIO;
    crashdump::ExcludedRange scratch;
    scratch.start = reinterpret_cast<uintptr_t>(g_maps);
    scratch.end = scratch.start + kMapsCapacity;
    return crashdump::WriteCore(fd, sig, info, context, g_maps, static_cast<size_t>(mapsLen), scratch);
}

// Makes folder and its missing parents (mkdir is safe in a signal handler).
// Returns 0, or the error of the last folder that could not be made.
int MakeFolders(const char* folder)
{
    char part[CrashDumpFilter::kPathCapacity];
    int err = 0;
    auto make = [&] {
        if (mkdir(part, 0700) == 0 || errno == EEXIST)
            err = 0;
        else
            err = errno;
    };
    size_t i = 0;
    for (; folder[i] != '\0' && i + 1 < sizeof part; ++i) {
        if (folder[i] == '/' && i > 0) {
            part[i] = '\0';
            make();
        }
        part[i] = folder[i];
    }
    part[i] = '\0';
    make();
    return err;
}

void WriteReport(const char* text, size_t len)
{
    const int fd = open(kReportFile, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    crashdump::WriteAll(fd, text, len);
    close(fd);
}

} // namespace

std::string CrashDumpFilter::DumpFolder()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    }
    char exe[kPathCapacity];
    const ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string program = len > 0 ? std::string(exe, static_cast<size_t>(len)) : std::string();
    const size_t slash = program.rfind('/');
    if (base.empty())
        return slash != std::string::npos && slash > 0 ? program.substr(0, slash) : std::string(".");
    const std::string name = slash != std::string::npos ? program.substr(slash + 1) : program;
    return base + "/" + (name.empty() ? std::string("Application") : name);
}

bool CrashDumpFilter::BuildDumpPath(const std::string& name, char* path)
{
    const bool fullPath = name.find('/') != std::string::npos;
    const std::string result = (fullPath ? "" : DumpFolder() + "/") + name + ".dmp";
    if (result.size() >= kPathCapacity || result.find('\0') != std::string::npos)
        return false;
    std::memcpy(path, result.c_str(), result.size() + 1);
    return true;
}

void CrashDumpFilter::Install(std::string name)
{
    if (g_dumpName[0] != '\0')
        return;
    if (name.empty())
        name = "Application";
    else if (name.size() >= kPathCapacity)
        return;
    char path[kPathCapacity];
    if (!BuildDumpPath(name, path))
        return;

    std::memcpy(g_dumpName, name.c_str(), name.size() + 1);
    std::memcpy(g_dumpPath, path, sizeof path);
    if (name.find('/') == std::string::npos) {
        // The path's folder part is DumpFolder().
        const size_t folderLen = static_cast<size_t>(std::strrchr(path, '/') - path);
        std::memcpy(g_dumpFolder, path, folderLen);
        g_dumpFolder[folderLen] = '\0';
    }
    g_maps = static_cast<char*>(MapAnonymous(kMapsCapacity));

    if (void* stack = MapAnonymous(kAltStackSize)) {
        stack_t ss {};
        ss.ss_sp = stack;
        ss.ss_size = kAltStackSize;
        sigaltstack(&ss, nullptr);
    }

    struct sigaction action {};
    action.sa_sigaction = &CrashDumpFilter::OnUnhandledException;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A fault inside the handler then ends the process instead of re-entering.
    sigemptyset(&action.sa_mask);
    for (int sig : kFatalSignals)
        sigaddset(&action.sa_mask, sig);
    for (int sig : kFatalSignals)
        sigaction(sig, &action, nullptr);
}

std::string CrashDumpFilter::DumpPath()
{
    return g_dumpPath;
}

void CrashDumpFilter::OnUnhandledException(int sig, siginfo_t* info, void* context)
{
    // The first crashing thread writes the dump; any other one waits for the
    // process to end.
    if (g_dumping.exchange(true)) {
        for (;;) {
            timespec delay {1, 0};
            nanosleep(&delay, nullptr);
        }
    }

    char report[kReportCapacity];
    size_t len;
    const int folderErr = g_dumpFolder[0] != '\0' ? MakeFolders(g_dumpFolder) : 0;
    const int fd = open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A folder that could not be made tells why better than its absence.
        const int err = errno == ENOENT && folderErr != 0 ? folderErr : errno;
        len = crashdump::FormatText(report, sizeof report, kCreateFailed, g_dumpPath, err);
    } else {
        const int err = WriteDump(fd, sig, info, context);
        if (err == 0)
            len = crashdump::FormatText(report, sizeof report, kSaved, g_dumpPath, 0);
        else
            len = crashdump::FormatText(report, sizeof report, kSaveFailed, g_dumpPath, err);
        close(fd);
    }
    WriteReport(report, len);

    // The signal stays blocked until the handler returns, then the default
    // action ends the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig);
}
