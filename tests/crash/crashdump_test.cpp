// The crash hook, seen from outside: a child process installs it and crashes,
// and the test looks at the dump, the report file and how the child ended.

#include "crashdumpfilter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kSuccess[] = "Sorry, an error occur! please send \"%s\" to R&D for our analysis to solve the problem!";

struct ChildResult {
    int status = -1;
    std::string output; // standard output and standard error
};

// Runs a program in dir and collects its output.
ChildResult RunProgram(const std::vector<std::string>& args, const fs::path& dir)
{
    ChildResult result;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            result.output.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    waitpid(pid, &result.status, 0);
    return result;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Fill(const char* format, const std::string& path, int code = 0)
{
    char text[1024];
    snprintf(text, sizeof text, format, path.c_str(), code);
    return text;
}

class CrashDumpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "crashdump-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        // The children's data folder, where a plain dump name goes.
        SetDataHome(m_dir / "data");
    }

    void SetDataHome(const fs::path& folder)
    {
        setenv("XDG_DATA_HOME", folder.c_str(), 1);
        m_dumpFolder = (folder / "crash_child").string();
    }

    void TearDown() override
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(m_dir, ec))
            if (entry.is_directory(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }

    ChildResult Crash(const std::string& kind, const std::string& name, bool readonly = false)
    {
        std::vector<std::string> args {CRASH_CHILD, "crash", kind, name};
        if (readonly)
            args.push_back("readonly");
        return RunProgram(args, m_dir);
    }

    std::string Report() const { return ReadFile(m_dir / "DumpError.txt"); }

    fs::path m_dir;
    std::string m_dumpFolder;
};

// ---------------------------------------------------------------- install rules

struct InstallCase {
    const char* label;
    std::vector<std::string> names;
    std::string path; // expected dump path, empty when nothing is installed
};

TEST_F(CrashDumpTest, InstallRules)
{
    // A plain name goes to the data folder, and its path must fit too.
    const std::string folder = m_dumpFolder + "/";
    const std::string longest(CrashDumpFilter::kPathCapacity - 1 - folder.size() - 4, 'a');
    const std::string tooLong = longest + "a";
    const std::string a260(260, 'a');
    const std::string full255 = "/" + std::string(254, 'd');
    const std::string full256 = "/" + std::string(255, 'd');
    const std::vector<InstallCase> cases = {
        {"plain name goes to the data folder", {"RIZIVException"}, folder + "RIZIVException.dmp"},
        {"empty name", {""}, folder + "Application.dmp"},
        {"name holding a slash is a path", {"/var/dumps/x"}, "/var/dumps/x.dmp"},
        {"relative path", {"dumps/x"}, "dumps/x.dmp"},
        {"first installation wins", {"first", "second"}, folder + "first.dmp"},
        {"empty name first wins too", {"", "second"}, folder + "Application.dmp"},
        {"260 characters installs nothing", {a260}, ""},
        {"a refused name leaves room for the next", {a260, "later"}, folder + "later.dmp"},
        {"plain name at the path limit", {longest}, folder + longest + ".dmp"},
        {"plain name past the path limit", {tooLong}, ""},
        {"full path at the limit", {full255}, full255 + ".dmp"},
        {"full path past the limit", {full256}, ""},
    };
    for (const InstallCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> args {CRASH_CHILD, "install"};
        args.insert(args.end(), c.names.begin(), c.names.end());
        const ChildResult r = RunProgram(args, m_dir);
        ASSERT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << r.output;
        const bool installed = !c.path.empty();
        EXPECT_EQ(r.output, "path=" + c.path + "\nhandlers=" + (installed ? "5" : "0")
                      + "\naltstack=" + (installed ? "1" : "0") + "\n");
    }
    EXPECT_TRUE(fs::is_empty(m_dir)) << "installing writes nothing";
}

// ---------------------------------------------------------------- crashes

struct CrashCase {
    const char* kind;
    int signal;
    const char* signalName;
    const char* function; // where the child crashes
};

class CrashKindTest : public CrashDumpTest, public ::testing::WithParamInterface<CrashCase> {};

bool IsElfCore(const fs::path& path)
{
    Elf64_Ehdr header {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(&header), sizeof header);
    return in && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_type == ET_CORE;
}

TEST_P(CrashKindTest, DumpOpensInDebugger)
{
    const CrashCase& c = GetParam();
    // A long folder name makes the report longer than a short buffer would hold.
    const fs::path folder = m_dir / "dumps-of-the-client-kept-in-a-folder-whose-name-is-long-enough-to-matter";
    fs::create_directory(folder);
    const std::string dump = (folder / "RIZIVException.dmp").string();
    { std::ofstream(m_dir / "DumpError.txt") << std::string(1000, 'x'); } // replaced, not appended to

    const ChildResult r = Crash(c.kind, (folder / "RIZIVException").string());

    ASSERT_TRUE(WIFSIGNALED(r.status)) << "the default action ends the child: " << r.output;
    EXPECT_EQ(WTERMSIG(r.status), c.signal);
    EXPECT_EQ(Report(), Fill(kSuccess, dump));
    EXPECT_GT(Fill(kSuccess, dump).size(), 130u) << "the whole path is reported, however long";
    ASSERT_TRUE(fs::exists(dump));
    EXPECT_TRUE(IsElfCore(dump));
    EXPECT_FALSE(fs::exists(m_dir / "core")) << "no system core beside the dump";

    if (access(GDB_PROGRAM, X_OK) != 0)
        GTEST_SKIP() << "no debugger to open the dump with";
    const ChildResult gdb =
        RunProgram({GDB_PROGRAM, "-nx", "-batch", "-iex", "set debuginfod enabled off", "-c", dump,
                    CRASH_CHILD, "-ex", "bt 8"},
            m_dir);
    EXPECT_NE(gdb.output.find(std::string("signal ") + c.signalName), std::string::npos) << gdb.output;
    EXPECT_NE(gdb.output.find(std::string(" ") + c.function + " ("), std::string::npos) << gdb.output;
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashKindTest,
    ::testing::Values(CrashCase {"segv", SIGSEGV, "SIGSEGV", "CrashBySegv"},
                      CrashCase {"abort", SIGABRT, "SIGABRT", "CrashByAbort"},
                      CrashCase {"fpe", SIGFPE, "SIGFPE", "CrashByDivision"},
                      CrashCase {"ill", SIGILL, "SIGILL", "CrashByTrap"},
                      CrashCase {"bus", SIGBUS, "SIGBUS", "CrashByBus"},
                      CrashCase {"thread", SIGSEGV, "SIGSEGV", "CrashInWorkerThread"},
                      CrashCase {"overflow", SIGSEGV, "SIGSEGV", "RecurseWithoutEnd"}),
    [](const ::testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.kind); });

// ---------------------------------------------------------------- failures

TEST_F(CrashDumpTest, FailuresAreReportedWithTheErrorCode)
{
    const fs::path readonly = m_dir / "readonly";
    fs::create_directory(readonly);
    fs::permissions(readonly, fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_symlink("/dev/full", m_dir / "full.dmp");

    struct FailureCase {
        const char* label;
        fs::path name;
        bool dropRights;
        const char* format;
        int code;
    };
    const std::vector<FailureCase> cases = {
        {"unwritable folder", readonly / "x", true, "Failed to create dump file '%s' (error %d)", EACCES},
        {"missing folder", m_dir / "missing" / "x", false, "Failed to create dump file '%s' (error %d)", ENOENT},
        {"full device", m_dir / "full", false, "Failed to save dump file to '%s' (error %d)", ENOSPC},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.code == ENOSPC && access("/dev/full", W_OK) != 0)
            continue;
        const ChildResult r = Crash("segv", c.name.string(), c.dropRights);
        ASSERT_TRUE(WIFSIGNALED(r.status)) << r.output;
        EXPECT_EQ(WTERMSIG(r.status), SIGSEGV);
        EXPECT_EQ(Report(), Fill(c.format, c.name.string() + ".dmp", c.code));
    }
    EXPECT_TRUE(fs::is_empty(readonly));
}

// An ordinary user's crash: a plain dump name lands in the user's data folder
// (made on the crash), and gdb opens it; a data folder the user cannot write
// gives the create-failure report.
TEST_F(CrashDumpTest, OrdinaryUsersDumpGoesToTheirDataFolder)
{
    std::vector<std::string> asUser;
    if (geteuid() == 0) {
        // Run the child as "nobody" (the test itself runs as root in CI).
        const char* const setpriv = "/usr/bin/setpriv";
        const passwd* nobody = getpwnam("nobody");
        if (access(setpriv, X_OK) != 0 || nobody == nullptr)
            GTEST_SKIP() << "cannot run the child as an ordinary user";
        asUser = {setpriv, "--reuid=" + std::to_string(nobody->pw_uid),
                  "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"};
    }
    const fs::perms open = fs::perms::all;
    const fs::perms locked = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
        | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(m_dir, locked);
    const fs::path work = m_dir / "work";
    const fs::path home = m_dir / "home";
    const fs::path lockedHome = m_dir / "locked";
    for (const fs::path& folder : {work, home, lockedHome}) {
        fs::create_directory(folder);
        fs::permissions(folder, folder == lockedHome ? locked : open);
    }

    struct UserCase {
        const char* label;
        fs::path dataHome;
        bool written;
    };
    for (const UserCase& c : {UserCase {"writable data folder", home, true},
                              UserCase {"unwritable data folder", lockedHome, false}}) {
        SCOPED_TRACE(c.label);
        SetDataHome(c.dataHome);
        const std::string dump = m_dumpFolder + "/RIZIVException.dmp";
        std::vector<std::string> args = asUser;
        for (const char* arg : {CRASH_CHILD, "crash", "segv", "RIZIVException"})
            args.push_back(arg);
        const ChildResult r = RunProgram(args, work);
        ASSERT_TRUE(WIFSIGNALED(r.status)) << r.output;
        EXPECT_EQ(WTERMSIG(r.status), SIGSEGV);
        const std::string report = ReadFile(work / "DumpError.txt");
        if (!c.written) {
            EXPECT_EQ(report, Fill("Failed to create dump file '%s' (error %d)", dump, EACCES));
            EXPECT_FALSE(fs::exists(m_dumpFolder));
            continue;
        }
        EXPECT_EQ(report, Fill(kSuccess, dump));
        ASSERT_TRUE(IsElfCore(dump));
        if (access(GDB_PROGRAM, X_OK) != 0)
            continue;
        const ChildResult gdb = RunProgram({GDB_PROGRAM, "-nx", "-batch", "-iex", "set debuginfod enabled off", "-c",
                                            dump, CRASH_CHILD, "-ex", "bt 8"},
                                           m_dir);
        EXPECT_NE(gdb.output.find("signal SIGSEGV"), std::string::npos) << gdb.output;
        EXPECT_NE(gdb.output.find(" CrashBySegv ("), std::string::npos) << gdb.output;
    }
}

} // namespace
