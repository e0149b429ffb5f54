#include "platform/posix/sandbox/seccomp_rules.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>

namespace {

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#elif defined(__i386__)
constexpr unsigned kArch = AUDIT_ARCH_I386;
#else
#error "the seccomp filter needs this architecture's audit number"
#endif

// Refused outright, where the architecture has the call at all.
const long kRefused[] = {
    SYS_execve, SYS_execveat, SYS_clone, SYS_socket, SYS_socketpair, SYS_connect, SYS_bind, SYS_listen,
    SYS_accept4, SYS_ptrace, SYS_process_vm_readv, SYS_process_vm_writev, SYS_setuid, SYS_setgid,
    SYS_setreuid, SYS_setregid, SYS_setresuid, SYS_setresgid, SYS_setfsuid, SYS_setfsgid, SYS_setgroups,
    SYS_capset, SYS_mount, SYS_umount2, SYS_pivot_root, SYS_chroot, SYS_unshare, SYS_setns, SYS_init_module,
    SYS_finit_module, SYS_delete_module, SYS_kexec_load, SYS_bpf, SYS_perf_event_open, SYS_userfaultfd,
    SYS_keyctl, SYS_add_key, SYS_request_key, SYS_open_by_handle_at, SYS_name_to_handle_at, SYS_truncate,
    SYS_unlinkat, SYS_renameat2, SYS_mkdirat, SYS_linkat, SYS_symlinkat, SYS_fchmod, SYS_fchmodat,
    SYS_fchown, SYS_fchownat, SYS_mknodat, SYS_io_uring_setup, SYS_openat2,
#ifdef SYS_clone3
    SYS_clone3,
#endif
#ifdef SYS_kexec_file_load
    SYS_kexec_file_load,
#endif
#ifdef SYS_fork
    SYS_fork, SYS_vfork, SYS_accept, SYS_creat, SYS_unlink, SYS_rename, SYS_renameat, SYS_mkdir, SYS_rmdir,
    SYS_link, SYS_symlink, SYS_chmod, SYS_chown, SYS_lchown, SYS_mknod,
#endif
};

constexpr unsigned kWriting = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
constexpr std::size_t kRefusedCount = sizeof kRefused / sizeof kRefused[0];
// Refused numbers are tested a few at a time, at the end of a search by halves.
constexpr std::size_t kLeafCalls = 3;
constexpr std::size_t kMostInstructions = 3 * kRefusedCount + 32;

struct Program {
    sock_filter code[kMostInstructions];
    std::size_t size = 0;
    bool fits = true; // every jump within the 255 instructions a test may skip
};

void Add(Program &program, sock_filter instruction)
{
    if (program.size < kMostInstructions)
        program.code[program.size++] = instruction;
    else
        program.fits = false;
}

void Refuse(Program &program) { Add(program, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA))); }

unsigned char Skip(Program &program, std::size_t from, std::size_t to)
{
    program.fits = program.fits && to > from && to - from - 1 <= 255;
    return static_cast<unsigned char>(to - from - 1);
}

// The calls in sorted[from, to): refused where named; else on to `allowed`,
// whose jumps are patched once it is known.
void AddSearch(Program &program, const unsigned *sorted, std::size_t from, std::size_t to, std::size_t *allowed,
               std::size_t &allowedCount)
{
    if (to - from <= kLeafCalls) {
        for (std::size_t i = from; i < to; ++i)
            Add(program, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, sorted[i], static_cast<unsigned char>(to - i), 0));
        allowed[allowedCount++] = program.size;
        Add(program, BPF_STMT(BPF_JMP | BPF_JA, 0));
        Refuse(program);
        return;
    }
    std::size_t middle = from + (to - from) / 2, test = program.size;
    Add(program, BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, sorted[middle], 0, 0));
    AddSearch(program, sorted, from, middle, allowed, allowedCount);
    if (test < kMostInstructions)
        program.code[test].jt = Skip(program, test, program.size);
    AddSearch(program, sorted, middle, to, allowed, allowedCount);
}

// An open for writing is refused; its flags are argument `argument`.
void AddOpenCheck(Program &program, int argument)
{
    Add(program, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<unsigned>(offsetof(seccomp_data, args) + argument * sizeof(__u64))));
    Add(program, BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kWriting, 0, 1));
    Refuse(program);
    Add(program, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
}

} // namespace

int FilteredCallCount()
{
    return static_cast<int>(sizeof kRefused / sizeof kRefused[0]);
}

// The kernel runs the filter for every call number when it installs it, to
// learn which it may let through unasked: a search by halves keeps that walk
// short (a walk past every refused number cost 0.2 ms per child).
bool FilterSystemCalls()
{
    static unsigned sorted[kRefusedCount];
    for (std::size_t i = 0; i < kRefusedCount; ++i) {
        std::size_t at = i;
        for (; at > 0 && sorted[at - 1] > static_cast<unsigned>(kRefused[i]); --at)
            sorted[at] = sorted[at - 1];
        sorted[at] = static_cast<unsigned>(kRefused[i]);
    }
    static Program program;
    program = Program();
    Add(program, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    Add(program, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0));
    Add(program, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS)); // another ABI's numbers mean other calls
    Add(program, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
#if defined(__x86_64__)
    Add(program, BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1)); // x32 numbers
    Refuse(program);
#endif
    std::size_t allowed[kRefusedCount];
    std::size_t allowedCount = 0;
    AddSearch(program, sorted, 0, kRefusedCount, allowed, allowedCount);
    for (std::size_t i = 0; i < allowedCount && program.fits; ++i)
        program.code[allowed[i]].k = static_cast<unsigned>(program.size - allowed[i] - 1);
    std::size_t openat = program.size;
    Add(program, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 0));
#ifdef SYS_open
    std::size_t open = program.size;
    Add(program, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_open, 0, 0));
#endif
    Add(program, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    if (openat < kMostInstructions)
        program.code[openat].jt = Skip(program, openat, program.size);
    AddOpenCheck(program, 2);
#ifdef SYS_open
    if (open < kMostInstructions)
        program.code[open].jt = Skip(program, open, program.size);
    AddOpenCheck(program, 1);
#endif
    if (!program.fits) {
        errno = E2BIG;
        return false;
    }
    sock_fprog filter = {static_cast<unsigned short>(program.size), program.code};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}
