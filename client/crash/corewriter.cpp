#include "corewriter.h"

#include "sigsafe.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <sys/procfs.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <asm/prctl.h>
#include <sys/user.h>
#endif

namespace crashdump {

namespace {

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#else
#error "crash dumps: registers of this architecture are not mapped"
#endif

constexpr char kNoteName[] = "CORE";
// The program-header count is 16 bits wide; one slot holds the notes.
constexpr size_t kMaxLoads = 0xfffe;

// Small /proc files read at crash time.
char g_auxv[8192];
char g_comm[64];
char g_cmdline[512];

size_t Align(size_t v, size_t to) { return (v + to - 1) / to * to; }

size_t NoteSize(size_t descSize) { return sizeof(Elf64_Nhdr) + Align(sizeof kNoteName, 4) + Align(descSize, 4); }

void PutNote(SafeWriter& out, uint32_t type, const void* desc, size_t descSize)
{
    Elf64_Nhdr header {};
    header.n_namesz = sizeof kNoteName;
    header.n_descsz = static_cast<Elf64_Word>(descSize);
    header.n_type = type;
    out.Put(&header, sizeof header);
    out.Put(kNoteName, sizeof kNoteName);
    out.PutZeros(Align(sizeof kNoteName, 4) - sizeof kNoteName);
    out.Put(desc, descSize);
    out.PutZeros(Align(descSize, 4) - descSize);
}

const char* ParseHex(const char* p, const char* end, uint64_t& value)
{
    value = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return p;
}

const char* SkipField(const char* p, const char* end)
{
    while (p < end && *p != ' ' && *p != '\n')
        ++p;
    while (p < end && *p == ' ')
        ++p;
    return p;
}

// Calls visit with the parts of m outside the excluded range (none, one or
// two). The range may share its mapping with neighbouring memory.
template <typename Visit>
void ForEachPiece(const Mapping& m, ExcludedRange excluded, Visit visit)
{
    if (excluded.start >= excluded.end || m.end <= excluded.start || excluded.end <= m.start) {
        visit(m);
        return;
    }
    if (m.start < excluded.start) {
        Mapping low = m;
        low.end = excluded.start;
        visit(low);
    }
    if (excluded.end < m.end) {
        Mapping high = m;
        high.start = excluded.end;
        high.offset += excluded.end - m.start;
        visit(high);
    }
}

uint32_t SegmentFlags(const Mapping& m)
{
    return (m.readable ? PF_R : 0) | (m.writable ? PF_W : 0) | (m.executable ? PF_X : 0);
}

bool IsFileBacked(const Mapping& m) { return m.pathLen > 0 && m.path[0] == '/'; }

void FillRegisters(elf_prstatus& status, const ucontext_t* uc)
{
#if defined(__x86_64__)
    const greg_t* g = uc->uc_mcontext.gregs;
    user_regs_struct r {};
    r.r15 = static_cast<unsigned long long>(g[REG_R15]);
    r.r14 = static_cast<unsigned long long>(g[REG_R14]);
    r.r13 = static_cast<unsigned long long>(g[REG_R13]);
    r.r12 = static_cast<unsigned long long>(g[REG_R12]);
    r.rbp = static_cast<unsigned long long>(g[REG_RBP]);
    r.rbx = static_cast<unsigned long long>(g[REG_RBX]);
    r.r11 = static_cast<unsigned long long>(g[REG_R11]);
    r.r10 = static_cast<unsigned long long>(g[REG_R10]);
    r.r9 = static_cast<unsigned long long>(g[REG_R9]);
    r.r8 = static_cast<unsigned long long>(g[REG_R8]);
    r.rax = static_cast<unsigned long long>(g[REG_RAX]);
    r.rcx = static_cast<unsigned long long>(g[REG_RCX]);
    r.rdx = static_cast<unsigned long long>(g[REG_RDX]);
    r.rsi = static_cast<unsigned long long>(g[REG_RSI]);
    r.rdi = static_cast<unsigned long long>(g[REG_RDI]);
    r.orig_rax = ~0ULL; // not inside a system call
    r.rip = static_cast<unsigned long long>(g[REG_RIP]);
    r.eflags = static_cast<unsigned long long>(g[REG_EFL]);
    r.rsp = static_cast<unsigned long long>(g[REG_RSP]);
    // cs, gs, fs and ss are packed as 16-bit fields, lowest first.
    const unsigned long long segments = static_cast<unsigned long long>(g[REG_CSGSFS]);
    r.cs = segments & 0xffff;
    r.gs = (segments >> 16) & 0xffff;
    r.fs = (segments >> 32) & 0xffff;
    r.ss = (segments >> 48) & 0xffff;
    if (r.ss == 0)
        r.ss = 0x2b; // the user data segment on this architecture
    // The handler runs on the crashing thread, so its thread pointer is ours.
    unsigned long base = 0;
    if (syscall(SYS_arch_prctl, ARCH_GET_FS, &base) == 0)
        r.fs_base = base;
    base = 0;
    if (syscall(SYS_arch_prctl, ARCH_GET_GS, &base) == 0)
        r.gs_base = base;
    static_assert(sizeof r == sizeof status.pr_reg, "register layout");
    std::memcpy(&status.pr_reg, &r, sizeof r);
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i)
        status.pr_reg[i] = uc->uc_mcontext.regs[i];
    status.pr_reg[31] = uc->uc_mcontext.sp;
    status.pr_reg[32] = uc->uc_mcontext.pc;
    status.pr_reg[33] = uc->uc_mcontext.pstate;
#endif
}

// Floating-point state in the layout of the core's NT_PRFPREG note; returns
// its size, 0 when the context carries none.
size_t FloatRegisters(const ucontext_t* uc, const void*& data)
{
#if defined(__x86_64__)
    if (uc != nullptr && uc->uc_mcontext.fpregs != nullptr) {
        data = uc->uc_mcontext.fpregs;
        return sizeof(user_fpregs_struct);
    }
#else
    (void)uc;
#endif
    data = nullptr;
    return 0;
}

void FillProcessInfo(elf_prpsinfo& ps)
{
    ps.pr_state = 0;
    ps.pr_sname = 'R';
    ps.pr_uid = getuid();
    ps.pr_gid = getgid();
    ps.pr_pid = getpid();
    ps.pr_ppid = getppid();
    ps.pr_pgrp = getpgrp();
    ps.pr_sid = getsid(0);

    long n = ReadWholeFile("/proc/self/comm", g_comm, sizeof g_comm);
    for (long i = 0; i < n && i < static_cast<long>(sizeof ps.pr_fname) - 1 && g_comm[i] != '\n'; ++i)
        ps.pr_fname[i] = g_comm[i];

    n = ReadWholeFile("/proc/self/cmdline", g_cmdline, sizeof g_cmdline);
    long len = n < static_cast<long>(sizeof ps.pr_psargs) - 1 ? n : static_cast<long>(sizeof ps.pr_psargs) - 1;
    for (long i = 0; i < len; ++i)
        ps.pr_psargs[i] = g_cmdline[i] == '\0' ? ' ' : g_cmdline[i];
    while (len > 0 && ps.pr_psargs[len - 1] == ' ')
        ps.pr_psargs[--len] = '\0';
}

// Counts of what the maps describe, for laying out the file before writing.
struct Layout {
    size_t loads = 0;
    size_t files = 0;
    size_t fileNameBytes = 0;
};

Layout Measure(const char* maps, size_t mapsLen, ExcludedRange excluded)
{
    Layout layout;
    MapsCursor cursor(maps, mapsLen);
    Mapping m;
    while (cursor.Next(m)) {
        ForEachPiece(m, excluded, [&](const Mapping& piece) {
            if (IsDumped(piece) && layout.loads < kMaxLoads)
                ++layout.loads;
            if (IsFileBacked(piece)) {
                ++layout.files;
                layout.fileNameBytes += piece.pathLen + 1;
            }
        });
    }
    return layout;
}

// Walks the dumped mappings in the order of their program headers.
template <typename Visit>
void ForEachLoad(const char* maps, size_t mapsLen, ExcludedRange excluded, Visit visit)
{
    size_t count = 0;
    MapsCursor cursor(maps, mapsLen);
    Mapping m;
    while (cursor.Next(m)) {
        ForEachPiece(m, excluded, [&](const Mapping& piece) {
            if (IsDumped(piece) && count < kMaxLoads) {
                ++count;
                visit(piece);
            }
        });
    }
}

} // namespace

MapsCursor::MapsCursor(const char* text, size_t len)
    : m_pos(text)
    , m_end(text + len)
{
}

bool MapsCursor::Next(Mapping& m)
{
    while (m_pos < m_end) {
        const char* line = m_pos;
        const char* eol = line;
        while (eol < m_end && *eol != '\n')
            ++eol;
        m_pos = eol < m_end ? eol + 1 : eol;

        // start-end perms offset dev inode [path]
        uint64_t start, end, offset;
        const char* p = ParseHex(line, eol, start);
        if (p == line || p >= eol || *p != '-')
            continue;
        const char* q = ParseHex(p + 1, eol, end);
        if (q == p + 1 || q + 5 >= eol || *q != ' ' || end <= start)
            continue;
        const char* perms = q + 1;
        p = SkipField(perms, eol);
        ParseHex(p, eol, offset);
        p = SkipField(p, eol); // offset
        p = SkipField(p, eol); // device
        p = SkipField(p, eol); // inode

        m = Mapping();
        m.start = static_cast<uintptr_t>(start);
        m.end = static_cast<uintptr_t>(end);
        m.offset = offset;
        m.readable = perms[0] == 'r';
        m.writable = perms[1] == 'w';
        m.executable = perms[2] == 'x';
        m.path = p;
        m.pathLen = static_cast<size_t>(eol - p);
        return true;
    }
    return false;
}

bool IsDumped(const Mapping& m)
{
    // The clock pages refuse plain reads and are of no use to a debugger.
    return m.readable && !StartsWith(m.path, m.pathLen, "[vvar");
}

bool IsCopied(const Mapping& m)
{
    if (!IsDumped(m))
        return false;
    if (!IsFileBacked(m))
        return true; // anonymous memory, heap, stacks, vdso
    if (EndsWith(m.path, m.pathLen, " (deleted)"))
        return true; // nothing left on disk to read it from
    if (StartsWith(m.path, m.pathLen, "/dev/"))
        return StartsWith(m.path, m.pathLen, "/dev/shm/") || StartsWith(m.path, m.pathLen, "/dev/zero");
    return m.writable || !m.executable;
}

int WriteCore(int fd, int sig, const siginfo_t* info, const void* context,
              const char* maps, size_t mapsLen, ExcludedRange excluded)
{
    const ucontext_t* uc = static_cast<const ucontext_t*>(context);
    const long pageSize = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
    const size_t page = static_cast<size_t>(pageSize);

    const Layout layout = Measure(maps, mapsLen, excluded);

    elf_prstatus status {};
    status.pr_info.si_signo = sig;
    status.pr_info.si_code = info != nullptr ? info->si_code : 0;
    status.pr_info.si_errno = info != nullptr ? info->si_errno : 0;
    status.pr_cursig = static_cast<short>(sig);
    status.pr_pid = static_cast<pid_t>(syscall(SYS_gettid));
    status.pr_ppid = getppid();
    status.pr_pgrp = getpgrp();
    status.pr_sid = getsid(0);
    if (uc != nullptr)
        FillRegisters(status, uc);
    const void* fpregs = nullptr;
    const size_t fpSize = FloatRegisters(uc, fpregs);
    status.pr_fpvalid = fpSize > 0 ? 1 : 0;

    elf_prpsinfo process {};
    FillProcessInfo(process);

    long auxvLen = ReadWholeFile("/proc/self/auxv", g_auxv, sizeof g_auxv);
    if (auxvLen < 0)
        auxvLen = 0;

    // NT_FILE: count, page size, {start, end, page offset} per file mapping,
    // then the file names, each terminated.
    const size_t fileNoteSize = 2 * sizeof(uint64_t) + layout.files * 3 * sizeof(uint64_t) + layout.fileNameBytes;

    size_t notesSize = NoteSize(sizeof status) + NoteSize(sizeof process) + NoteSize(sizeof(siginfo_t))
        + NoteSize(static_cast<size_t>(auxvLen)) + NoteSize(fileNoteSize);
    if (fpSize > 0)
        notesSize += NoteSize(fpSize);

    const size_t headerCount = 1 + layout.loads;
    const size_t notesOffset = sizeof(Elf64_Ehdr) + headerCount * sizeof(Elf64_Phdr);
    const size_t dataOffset = Align(notesOffset + notesSize, page);

    SafeWriter out(fd);

    Elf64_Ehdr ehdr {};
    std::memcpy(ehdr.e_ident, ELFMAG, SELFMAG);
    ehdr.e_ident[EI_CLASS] = ELFCLASS64;
    ehdr.e_ident[EI_DATA] = ELFDATA2LSB;
    ehdr.e_ident[EI_VERSION] = EV_CURRENT;
    ehdr.e_ident[EI_OSABI] = ELFOSABI_NONE;
    ehdr.e_type = ET_CORE;
    ehdr.e_machine = kMachine;
    ehdr.e_version = EV_CURRENT;
    ehdr.e_phoff = sizeof(Elf64_Ehdr);
    ehdr.e_ehsize = sizeof(Elf64_Ehdr);
    ehdr.e_phentsize = sizeof(Elf64_Phdr);
    ehdr.e_phnum = static_cast<Elf64_Half>(headerCount);
    out.Put(&ehdr, sizeof ehdr);

    Elf64_Phdr note {};
    note.p_type = PT_NOTE;
    note.p_offset = notesOffset;
    note.p_filesz = notesSize;
    note.p_align = 4;
    out.Put(&note, sizeof note);

    uint64_t fileOffset = dataOffset;
    ForEachLoad(maps, mapsLen, excluded, [&](const Mapping& m) {
        Elf64_Phdr load {};
        load.p_type = PT_LOAD;
        load.p_flags = SegmentFlags(m);
        load.p_offset = fileOffset;
        load.p_vaddr = m.start;
        load.p_memsz = m.end - m.start;
        load.p_filesz = IsCopied(m) ? load.p_memsz : 0;
        load.p_align = page;
        fileOffset += load.p_filesz;
        out.Put(&load, sizeof load);
    });

    PutNote(out, NT_PRSTATUS, &status, sizeof status);
    PutNote(out, NT_PRPSINFO, &process, sizeof process);
    siginfo_t signalInfo {};
    if (info != nullptr)
        signalInfo = *info;
    PutNote(out, NT_SIGINFO, &signalInfo, sizeof signalInfo);
    PutNote(out, NT_AUXV, g_auxv, static_cast<size_t>(auxvLen));

    Elf64_Nhdr fileHeader {};
    fileHeader.n_namesz = sizeof kNoteName;
    fileHeader.n_descsz = static_cast<Elf64_Word>(fileNoteSize);
    fileHeader.n_type = NT_FILE;
    out.Put(&fileHeader, sizeof fileHeader);
    out.Put(kNoteName, sizeof kNoteName);
    out.PutZeros(Align(sizeof kNoteName, 4) - sizeof kNoteName);
    const uint64_t counts[2] = {layout.files, page};
    out.Put(counts, sizeof counts);
    for (int pass = 0; pass < 2; ++pass) {
        MapsCursor cursor(maps, mapsLen);
        Mapping m;
        size_t files = 0;
        while (cursor.Next(m)) {
            ForEachPiece(m, excluded, [&](const Mapping& piece) {
                if (!IsFileBacked(piece) || files == layout.files)
                    return;
                ++files;
                if (pass == 0) {
                    const uint64_t entry[3] = {piece.start, piece.end, piece.offset / page};
                    out.Put(entry, sizeof entry);
                } else {
                    out.Put(piece.path, piece.pathLen);
                    out.PutZeros(1);
                }
            });
        }
    }
    out.PutZeros(Align(fileNoteSize, 4) - fileNoteSize);

    if (fpSize > 0)
        PutNote(out, NT_PRFPREG, fpregs, fpSize);

    if (out.Position() < dataOffset)
        out.PutZeros(dataOffset - out.Position());
    ForEachLoad(maps, mapsLen, excluded, [&](const Mapping& m) {
        if (IsCopied(m))
            out.PutMemory(m.start, m.end - m.start);
    });

    out.Finish();
    return out.Error();
}

} // namespace crashdump
