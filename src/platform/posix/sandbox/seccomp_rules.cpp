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
constexpr std::size_t kMostInstructions = 8 + sizeof kRefused / sizeof kRefused[0] + 12;

struct Program {
    sock_filter code[kMostInstructions];
    std::size_t size = 0;
    std::size_t toRefuse[kMostInstructions]; // jumps whose true branch goes to the EPERM return
    std::size_t jumps = 0;
};

void Add(Program &program, unsigned short code, unsigned k, bool refuseIfTrue = false)
{
    if (refuseIfTrue)
        program.toRefuse[program.jumps++] = program.size;
    program.code[program.size++] = BPF_STMT(code, k);
}

void LoadOpenFlags(Program &program, int argument)
{
    Add(program, BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + argument * sizeof(__u64));
    Add(program, BPF_JMP | BPF_JSET | BPF_K, kWriting, true);
    Add(program, BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
}

} // namespace

int FilteredCallCount()
{
    return static_cast<int>(sizeof kRefused / sizeof kRefused[0]);
}

bool FilterSystemCalls()
{
    static Program program;
    program = Program();
    Add(program, BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    program.code[program.size++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0);
    Add(program, BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS); // another ABI's numbers mean other calls
    Add(program, BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    program.toRefuse[program.jumps++] = program.size;
    program.code[program.size++] = BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 0); // x32 numbers
#endif
    for (long call : kRefused) {
        program.toRefuse[program.jumps++] = program.size;
        program.code[program.size++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 0);
    }
    // An open for writing is refused; its flags are the third argument of
    // openat and the second of open.
#ifdef SYS_open
    std::size_t open = program.size;
    program.code[program.size++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_open, 0, 0);
#endif
    std::size_t openat = program.size;
    program.code[program.size++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 0);
    Add(program, BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    program.code[openat].jt = static_cast<unsigned char>(program.size - openat - 1);
    LoadOpenFlags(program, 2);
#ifdef SYS_open
    program.code[open].jt = static_cast<unsigned char>(program.size - open - 1);
    LoadOpenFlags(program, 1);
#endif
    std::size_t refuse = program.size;
    Add(program, BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA));
    for (std::size_t i = 0; i < program.jumps; ++i)
        program.code[program.toRefuse[i]].jt = static_cast<unsigned char>(refuse - program.toRefuse[i] - 1);
    sock_fprog filter = {static_cast<unsigned short>(program.size), program.code};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}
