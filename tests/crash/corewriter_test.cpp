// The dump writer in-process: parsing of the maps text, which memory is copied,
// and the layout of a core written from a normal thread.

#include "corewriter.h"
#include "sigsafe.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using crashdump::Mapping;

namespace {

TEST(MapsCursorTest, ParsesLinesAndDecidesWhatIsCopied)
{
    const std::string maps =
        "55d0a1a00000-55d0a1a02000 r--p 00000000 08:01 1234      /opt/app/bin/Brevix\n"
        "55d0a1a02000-55d0a1a05000 r-xp 00002000 08:01 1234      /opt/app/bin/Brevix\n"
        "55d0a1a08000-55d0a1a09000 rw-p 00007000 08:01 1234      /opt/app/bin/Brevix\n"
        "55d0a2000000-55d0a2021000 rw-p 00000000 00:00 0         [heap]\n"
        "7f0000000000-7f0000001000 ---p 00000000 00:00 0 \n"
        "7f0000001000-7f0000003000 rw-p 00000000 00:00 0\n"
        "7f0000003000-7f0000004000 r-xp 00000000 00:05 77        /memfd:jit (deleted)\n"
        "7f0000004000-7f0000005000 rw-s 00000000 00:06 88        /dev/dri/card0\n"
        "7f0000005000-7f0000006000 rw-s 00000000 00:17 99        /dev/shm/frames\n"
        "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0         [stack]\n"
        "7ffc00022000-7ffc00026000 r--p 00000000 00:00 0         [vvar]\n"
        "7ffc00026000-7ffc00028000 r-xp 00000000 00:00 0         [vdso]\n"
        "garbage line\n"
        "7ffc00030000-7ffc00031000 r--p 0000a000 08:01 55        /path with spaces/lib.so";

    struct Expected {
        uintptr_t start;
        uintptr_t end;
        uint64_t offset;
        const char* perms;
        const char* path;
        bool dumped;
        bool copied;
    };
    const std::vector<Expected> expected = {
        {0x55d0a1a00000, 0x55d0a1a02000, 0, "r--", "/opt/app/bin/Brevix", true, true},
        {0x55d0a1a02000, 0x55d0a1a05000, 0x2000, "r-x", "/opt/app/bin/Brevix", true, false},
        {0x55d0a1a08000, 0x55d0a1a09000, 0x7000, "rw-", "/opt/app/bin/Brevix", true, true},
        {0x55d0a2000000, 0x55d0a2021000, 0, "rw-", "[heap]", true, true},
        {0x7f0000000000, 0x7f0000001000, 0, "---", "", false, false},
        {0x7f0000001000, 0x7f0000003000, 0, "rw-", "", true, true},
        {0x7f0000003000, 0x7f0000004000, 0, "r-x", "/memfd:jit (deleted)", true, true},
        {0x7f0000004000, 0x7f0000005000, 0, "rw-", "/dev/dri/card0", true, false},
        {0x7f0000005000, 0x7f0000006000, 0, "rw-", "/dev/shm/frames", true, true},
        {0x7ffc00000000, 0x7ffc00021000, 0, "rw-", "[stack]", true, true},
        {0x7ffc00022000, 0x7ffc00026000, 0, "r--", "[vvar]", false, false},
        {0x7ffc00026000, 0x7ffc00028000, 0, "r-x", "[vdso]", true, true},
        {0x7ffc00030000, 0x7ffc00031000, 0xa000, "r--", "/path with spaces/lib.so", true, true},
    };

    crashdump::MapsCursor cursor(maps.data(), maps.size());
    Mapping m;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.path);
        ASSERT_TRUE(cursor.Next(m));
        EXPECT_EQ(m.start, e.start);
        EXPECT_EQ(m.end, e.end);
        EXPECT_EQ(m.offset, e.offset);
        const std::string perms = std::string(m.readable ? "r" : "-") + (m.writable ? "w" : "-")
            + (m.executable ? "x" : "-");
        EXPECT_EQ(perms, e.perms);
        EXPECT_EQ(std::string(m.path, m.pathLen), e.path);
        EXPECT_EQ(crashdump::IsDumped(m), e.dumped);
        EXPECT_EQ(crashdump::IsCopied(m), e.copied);
    }
    EXPECT_FALSE(cursor.Next(m));
}

TEST(FormatTextTest, FillsAndCuts)
{
    struct Case {
        const char* format;
        const char* text;
        int number;
        size_t cap;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"Failed to create dump file '%s' (error %d)", "/x.dmp", 13, 128, "Failed to create dump file '/x.dmp' (error 13)"},
        {"%d|%d", "", -5, 64, "-5|-5"},
        {"%d", "", INT_MIN, 64, "-2147483648"},
        {"%d", "", 0, 64, "0"},
        {"100%% \"%s\"", "a", 0, 64, "100% \"a\""},
        {"abc%sdef", "XYZ", 0, 6, "abcXY"},
        {"trailing %", "", 0, 64, "trailing %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        char out[64];
        std::memset(out, '#', sizeof out);
        const size_t len = crashdump::FormatText(out, c.cap, c.format, c.text, c.number);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(len, std::strlen(c.expected));
    }
}

// A core written from a normal thread, laid out around a mapping whose second
// page lies past the end of its file and cannot be read.
class CoreLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "corewriter-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        if (m_region != nullptr)
            munmap(m_region, 5 * m_page);
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    fs::path m_dir;
    size_t m_page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* m_region = nullptr;
};

TEST_F(CoreLayoutTest, UnreadablePagesBecomeHolesAndLaterSegmentsStayInPlace)
{
    // Pages 0, 3, 4: anonymous with a pattern; pages 1-2: a one-page file.
    m_region = static_cast<char*>(mmap(nullptr, 5 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(m_region, MAP_FAILED);
    const fs::path backing = m_dir / "backing.bin";
    {
        std::ofstream(backing, std::ios::binary) << std::string(m_page, 'F');
    }
    const int backingFd = open(backing.c_str(), O_RDONLY);
    ASSERT_GE(backingFd, 0);
    ASSERT_NE(mmap(m_region + m_page, 2 * m_page, PROT_READ, MAP_PRIVATE | MAP_FIXED, backingFd, 0), MAP_FAILED);
    close(backingFd);
    std::memset(m_region, 'A', m_page);
    std::memset(m_region + 3 * m_page, 'B', 2 * m_page);

    char mapsText[1 << 16];
    const long mapsLen = crashdump::ReadWholeFile("/proc/self/maps", mapsText, sizeof mapsText);
    ASSERT_GT(mapsLen, 0);
    ASSERT_LT(mapsLen, static_cast<long>(sizeof mapsText));

    const fs::path corePath = m_dir / "test.dmp";
    const int fd = open(corePath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    siginfo_t info {};
    info.si_signo = SIGSEGV;
    // The writer's own scratch memory (here page 3) is left out, the rest of
    // its mapping is kept.
    crashdump::ExcludedRange scratch;
    scratch.start = reinterpret_cast<uintptr_t>(m_region) + 3 * m_page;
    scratch.end = scratch.start + m_page;
    EXPECT_EQ(crashdump::WriteCore(fd, SIGSEGV, &info, nullptr, mapsText, static_cast<size_t>(mapsLen), scratch), 0);
    close(fd);

    std::ifstream in(corePath, std::ios::binary);
    const std::vector<char> core((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(core.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr ehdr;
    std::memcpy(&ehdr, core.data(), sizeof ehdr);
    ASSERT_EQ(ehdr.e_type, ET_CORE);

    // Bytes of the core that hold address addr, or null when none are stored.
    auto stored = [&](uintptr_t addr, size_t len) -> const char* {
        for (size_t i = 0; i < ehdr.e_phnum; ++i) {
            Elf64_Phdr ph;
            std::memcpy(&ph, core.data() + ehdr.e_phoff + i * sizeof ph, sizeof ph);
            if (ph.p_type == PT_LOAD && addr >= ph.p_vaddr && addr + len <= ph.p_vaddr + ph.p_filesz) {
                EXPECT_LE(ph.p_offset + ph.p_filesz, core.size());
                return core.data() + ph.p_offset + (addr - ph.p_vaddr);
            }
        }
        return nullptr;
    };
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_region);
    const char* page0 = stored(base, m_page);
    const char* file = stored(base + m_page, 2 * m_page);
    const char* tail = stored(base + 4 * m_page, m_page);
    ASSERT_TRUE(page0 && file && tail);
    EXPECT_EQ(std::string(page0, m_page), std::string(m_page, 'A'));
    EXPECT_EQ(std::string(file, m_page), std::string(m_page, 'F'));
    EXPECT_EQ(std::string(file + m_page, m_page), std::string(m_page, '\0'));
    EXPECT_EQ(std::string(tail, m_page), std::string(m_page, 'B'));
    EXPECT_EQ(stored(base + 3 * m_page, 1), nullptr);

    // The file mapping is named in the NT_FILE note.
    Elf64_Phdr notes;
    std::memcpy(&notes, core.data() + ehdr.e_phoff, sizeof notes);
    ASSERT_EQ(notes.p_type, PT_NOTE);
    std::string named;
    for (size_t pos = notes.p_offset; pos + sizeof(Elf64_Nhdr) <= notes.p_offset + notes.p_filesz;) {
        Elf64_Nhdr nh;
        std::memcpy(&nh, core.data() + pos, sizeof nh);
        const char* desc = core.data() + pos + sizeof nh + (nh.n_namesz + 3) / 4 * 4;
        pos += sizeof nh + (nh.n_namesz + 3) / 4 * 4 + (nh.n_descsz + 3) / 4 * 4;
        if (nh.n_type != NT_FILE)
            continue;
        uint64_t count, page;
        std::memcpy(&count, desc, 8);
        std::memcpy(&page, desc + 8, 8);
        EXPECT_EQ(page, m_page);
        const char* name = desc + 16 + count * 24;
        for (uint64_t i = 0; i < count; ++i, name += std::strlen(name) + 1) {
            uint64_t entry[3];
            std::memcpy(entry, desc + 16 + i * 24, sizeof entry);
            if (entry[0] == base + m_page)
                named = std::string(name) + " " + std::to_string((entry[1] - entry[0]) / m_page);
        }
    }
    EXPECT_EQ(named, backing.string() + " 2");
}

} // namespace
