// What a child that parses evidence may still do after its lockdown: each row
// of the policy table tries one thing inside a locked-down child and must be
// refused; reading below the folder it was given must still work. The same
// table run with only one half of the lockdown shows which half refuses what.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>

#include "platform/posix/base/error_line.h"
#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/landlock_rules.h"
#include "platform/posix/sandbox/seccomp_rules.h"
#include "platform/posix/system/emulated_system.h"
#include "process_run.h"

namespace {

std::string Inside, Outside; // a folder the child is given, and one it is not
int Held = -1;               // a file inside, opened before the lockdown

// Each returns the call's result; errno says why it failed.
struct Row {
    const char *what;
    int refusedWith; // the errno a refusal gives
    long (*attempt)();
};

const Row kTable[] = {
    {"read a file outside", EACCES, [] { return long(open((Outside + "/file").c_str(), O_RDONLY)); }},
    {"write a file outside", EPERM, [] { return long(open((Outside + "/new").c_str(), O_WRONLY | O_CREAT, 0600)); }},
    {"write a file inside", EPERM, [] { return long(open((Inside + "/file").c_str(), O_RDWR)); }},
    {"write to a file held", EBADF, [] { return long(write(Held, "x", 1)); }},
    {"execve /bin/true", EPERM, [] {
         char *argv[] = {const_cast<char *>("/bin/true"), nullptr};
         return long(execve("/bin/true", argv, environ));
     }},
    {"fork", EPERM, [] {
         pid_t child = fork();
         if (child == 0)
             _exit(0);
         return long(child);
     }},
    {"a socket to 127.0.0.1", EPERM, [] {
         int fd = socket(AF_INET, SOCK_STREAM, 0);
         if (fd < 0)
             return -1L;
         sockaddr_in to = {};
         to.sin_family = AF_INET;
         to.sin_port = htons(9);
         to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
         return long(connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to));
     }},
    {"ptrace the parent", EPERM, [] { return ptrace(PTRACE_ATTACH, getppid(), nullptr, nullptr); }},
    {"setuid", EPERM, [] { return long(setuid(getuid())); }},
    {"mount", EPERM, [] { return long(mount("none", Outside.c_str(), "tmpfs", 0, nullptr)); }},
    {"init_module", EPERM, [] { return syscall(SYS_init_module, nullptr, 0, ""); }},
    // Refused numbers from across the filter's search, each harmless where it is not.
    {"socketpair", EPERM, [] { int fds[2]; return long(socketpair(AF_UNIX, SOCK_STREAM, 0, fds)); }},
    {"fchmod", EPERM, [] { return syscall(SYS_fchmod, Held, 0644); }},
    {"setgroups", EPERM, [] { return syscall(SYS_setgroups, 0, nullptr); }},
    {"unlinkat", EPERM, [] { return syscall(SYS_unlinkat, AT_FDCWD, (Outside + "/file").c_str(), 0); }},
    {"process_vm_readv", EPERM, [] { return syscall(SYS_process_vm_readv, getppid(), nullptr, 0, nullptr, 0, 0); }},
    {"bpf", EPERM, [] { return syscall(SYS_bpf, -1, nullptr, 0); }},
    {"io_uring_setup", EPERM, [] { return syscall(SYS_io_uring_setup, 0, nullptr); }},
    {"openat2", EPERM, [] { return syscall(SYS_openat2, AT_FDCWD, nullptr, nullptr, 0); }},
};
constexpr std::size_t kRows = sizeof kTable / sizeof kTable[0];

enum class Half { Both, LandlockOnly, SeccompOnly };

// Runs the table in a child locked down as `half` says; `refused[i]` tells
// whether row i was refused as the lockdown refuses it. False when the child
// could not read inside its folder.
bool RunTable(Half half, bool (&refused)[kRows], LockdownReport &report)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const char *readable[] = {Inside.c_str()};
        LockdownReport mine;
        if (half == Half::Both) {
            LockDownChild(readable, 1, mine);
        } else {
            prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
            if (half == Half::LandlockOnly)
                RestrictToReading(readable, 1, LandlockAbi());
            else
                FilterSystemCalls();
        }
        struct {
            LockdownReport report;
            bool readsInside;
            bool refused[kRows];
        } answer = {mine, false, {}};
        char byte;
        int fd = open((Inside + "/file").c_str(), O_RDONLY);
        answer.readsInside = fd >= 0 && read(fd, &byte, 1) == 1;
        for (std::size_t i = 0; i < kRows; ++i) {
            errno = 0;
            answer.refused[i] = kTable[i].attempt() < 0 && errno == kTable[i].refusedWith;
        }
        _exit(write(pipeFds[1], &answer, sizeof answer) == sizeof answer ? 0 : 1);
    }
    close(pipeFds[1]);
    struct {
        LockdownReport report;
        bool readsInside;
        bool refused[kRows];
    } answer = {};
    bool whole = read(pipeFds[0], &answer, sizeof answer) == static_cast<ssize_t>(sizeof answer);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    report = answer.report;
    for (std::size_t i = 0; i < kRows; ++i)
        refused[i] = answer.refused[i];
    return whole && answer.readsInside;
}

TEST(ChildLockdown, EveryRowOfThePolicyIsRefusedInsideTheChild)
{
    if (LandlockAbi() == 0)
        GTEST_SKIP() << "this kernel has no Landlock";
    std::string top = MakeTempDir("dorovivi-lockdown");
    Inside = top + "/given";
    Outside = top + "/other";
    mkdir(Inside.c_str(), 0755);
    mkdir(Outside.c_str(), 0755);
    WriteFile(Inside + "/file", "inside");
    WriteFile(Outside + "/file", "outside");
    Held = open((Inside + "/file").c_str(), O_RDONLY);
    bool refused[kRows];
    LockdownReport report;
    ASSERT_TRUE(RunTable(Half::Both, refused, report));
    EXPECT_TRUE(report.landlock && report.seccomp && report.noNewPrivileges) << report.missing;
    EXPECT_STREQ(report.missing, "");
    for (std::size_t i = 0; i < kRows; ++i)
        EXPECT_TRUE(refused[i]) << kTable[i].what;
    // Each half alone leaves rows open: the ones that are the other half's.
    std::size_t open[2] = {0, 0};
    for (Half half : {Half::LandlockOnly, Half::SeccompOnly}) {
        ASSERT_TRUE(RunTable(half, refused, report));
        for (std::size_t i = 0; i < kRows; ++i)
            open[half == Half::SeccompOnly] += refused[i] ? 0 : 1;
        EXPECT_EQ(refused[0], half == Half::LandlockOnly) << "reading outside is Landlock's to refuse";
        EXPECT_EQ(refused[4], half == Half::SeccompOnly) << "exec is the filter's to refuse";
    }
    std::printf("policy rows: %zu refused with both; %zu left open without the filter, %zu without the ruleset\n",
                kRows, open[0], open[1]);
    close(Held);
    RemoveTree(top);
}

// The same table inside the child that parses the program's root, once it
// has given up its rights: each row says what became of it on the child's
// stderr, which the program writes as its own. Before its first byte, the
// child may open no file of the root itself: the program hands them over.
TEST(ChildLockdown, EveryRowIsRefusedInsideTheParserChild)
{
    if (LandlockAbi() == 0)
        GTEST_SKIP() << "this kernel has no Landlock";
    // An image's own child runs the table too, confined before it reads a byte.
    for (const char *kind : {"export", "drive", "image"}) {
        SCOPED_TRACE(kind);
        bool exported = std::strcmp(kind, "export") == 0, image = std::strcmp(kind, "image") == 0;
        std::string top = MakeTempDir("dorovivi-parser-lockdown");
        Inside = top + "/root";
        Outside = top + "/other";
        mkdir(Inside.c_str(), 0755);
        mkdir(Outside.c_str(), 0755);
        if (exported)
            WriteFile(Inside + "/HKLM.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Probe]\n\"Name\"=\"held\"\n");
        WriteFile(Inside + "/file", "inside");
        WriteFile(Outside + "/file", "outside");
        if (image)
            WriteFile(Inside + "/disk.img", std::string(4096, 'x'));
        // Numbered far above what a child opens of its own, which it may write.
        int opened = open((Inside + "/file").c_str(), O_RDONLY);
        Held = fcntl(opened, F_DUPFD_CLOEXEC, 900);
        close(opened);
        setenv("DOROVIVI_ROOT", (image ? Inside + "/disk.img" : Inside).c_str(), 1);
        setenv("DOROVIVI_POLICY_TABLE", "1", 1);
        ResetEmulatedSystem();
        testing::internal::CaptureStderr();
        DWORD type = 0;
        std::string data;
        bool found = SystemRegistry().FindValue("Software\\Probe", "Name", type, data);
        std::string said = testing::internal::GetCapturedStderr();
        ResetEmulatedSystem();
        unsetenv("DOROVIVI_POLICY_TABLE");
        unsetenv("DOROVIVI_ROOT");
        EXPECT_EQ(found && data == std::string("held", 5), exported) << "the locked-down child still answers";
        for (const Row &row : kTable)
            EXPECT_NE(said.find(std::string("dorovivi: refused: ") + row.what + "\n"), std::string::npos) << said;
        EXPECT_EQ(said.find("dorovivi: open: "), std::string::npos) << said;
        std::size_t before = 0;
        for (std::size_t at = 0; (at = said.find("dorovivi: before its first byte, refused: a file of its root\n", at)) !=
                                 std::string::npos;
             ++at)
            ++before;
        EXPECT_EQ(before, image ? 2u : 1u) << said; // the parser, and the image's own child
        EXPECT_EQ(said.find("before its first byte, opened"), std::string::npos) << said;
        close(Held);
        RemoveTree(top);
    }
}

} // namespace

// Runs in every serving child of this test program, where the test above asks for it.
extern "C" void DoroviviChildLockedDown(void)
{
    if (getenv("DOROVIVI_POLICY_TABLE") == nullptr)
        return;
    for (const Row &row : kTable) {
        errno = 0;
        bool refused = row.attempt() < 0 && errno == row.refusedWith;
        PrintErrorLine(std::string(refused ? "refused: " : "open: ") + row.what);
    }
}

extern "C" void DoroviviChildBeforeWork(void)
{
    if (getenv("DOROVIVI_POLICY_TABLE") == nullptr)
        return;
    int fd = open((Inside + "/file").c_str(), O_RDONLY);
    PrintErrorLine(std::string("before its first byte, ") + (fd < 0 && errno == EACCES ? "refused" : "opened") +
                   ": a file of its root");
    if (fd >= 0)
        close(fd);
}
