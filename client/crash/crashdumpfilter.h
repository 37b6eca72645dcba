#ifndef BREVIX_CRASH_CRASHDUMPFILTER_H
#define BREVIX_CRASH_CRASHDUMPFILTER_H

#include <csignal>
#include <string>

// Process-wide crash hook. On SIGSEGV, SIGBUS, SIGILL, SIGFPE or SIGABRT it
// writes a core dump of the process and a one-line report "DumpError.txt" in
// the current directory, then lets the signal's default action run.
class CrashDumpFilter {
public:
    // Longest accepted dump name, and the buffer the dump path fits in.
    static constexpr size_t kPathCapacity = 260;

    // Sets the dump name and installs the handlers. The first installation
    // wins; an empty name becomes "Application"; a name whose dump path would
    // not fit in kPathCapacity - 1 characters installs nothing.
    // A name without '/' is dumped to DumpFolder() + "/" + name + ".dmp", a
    // name holding '/' is a path of its own and gets ".dmp" appended.
    static void Install(std::string name);

    // Where a plain dump name goes: the user's data folder for the program,
    // "$XDG_DATA_HOME/<program>" or "$HOME/.local/share/<program>"; without
    // either, the program's own folder. Made on the first crash.
    static std::string DumpFolder();

    // The path the dump goes to; empty before a successful Install.
    static std::string DumpPath();

    // The handler itself (SA_SIGINFO form); it runs on the crashing thread.
    static void OnUnhandledException(int sig, siginfo_t* info, void* context);

private:
    static bool BuildDumpPath(const std::string& name, char* path);
};

#endif
