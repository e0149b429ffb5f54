// The shipped binary against a shared atom table under load, against roots
// that cannot be written, and against registry files and disk images of any
// shape.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "creg_writer.h"
#include "disk_image_writer.h"
#include "process_run.h"
#include "regf_writer.h"
#include "scenarios.h"
#include "windows_drives.h"

namespace {

// Starts `count` runs of "@" at once over `root` and waits for all; returns
// how many ended with `expected`.
int RunConcurrently(int count, const std::string &root, int expected)
{
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("DOROVIVI_ROOT", root.c_str(), 1);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, STDOUT_FILENO);
            execl(DOROVIVI_BINARY, DOROVIVI_BINARY, "@", static_cast<char *>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
    }
    int matching = 0;
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        matching += WIFEXITED(status) && WEXITSTATUS(status) == expected;
    }
    return matching;
}

std::string CompanionRoot()
{
    std::string root = MakeTempDir("dorovivi-atoms");
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + scenario::Companion("1"));
    return root;
}

TEST(AtomLoad, TwoHundredConcurrentRunsCountTwoHundred)
{
    std::string root = CompanionRoot();
    // Another atom already in the table must keep its count throughout.
    WriteFile(root + "/atoms", "7 PXM INSTALLED 0\n");
    EXPECT_EQ(RunConcurrently(200, root, 101), 200);
    EXPECT_EQ(ReadFile(root + "/atoms"), "7 PXM INSTALLED 0\n200 PXM INSTALLED 1\n");
}

TEST(AtomFaults, UnusableTablesNeverChangeTheAnswer)
{
    struct Case {
        const char *what;
        std::string (*prepare)(const std::string &root); // returns the root to run in
        std::string tableAfter;                          // "" when not judged
        bool diskTakesNothing = false;                   // every write to a file returns 0
    };
    const Case cases[] = {
        {"root is a file", [](const std::string &root) {
             WriteFile(root + "/file", "x");
             return root + "/file";
         }, ""},
        {"root missing", [](const std::string &root) { return root + "/missing"; }, ""},
        {"atoms is a directory", [](const std::string &root) {
             mkdir((root + "/atoms").c_str(), 0755);
             return root;
         }, ""},
        {"corrupt lines are kept", [](const std::string &root) {
             WriteFile(root + "/atoms", "\x01\xff garbage\n\n-3 PXM INSTALLED 0\n2 PXM INSTALLED 0\n");
             return root;
         }, "\x01\xff garbage\n\n-3 PXM INSTALLED 0\n3 PXM INSTALLED 0\n"},
        {"truncated table", [](const std::string &root) {
             WriteFile(root + "/atoms", "5 PXM INSTALLED 1\n2 PXM INST");
             return root;
         }, "5 PXM INSTALLED 1\n2 PXM INST\n1 PXM INSTALLED 0\n"},
        {"the table's disk takes nothing", [](const std::string &root) {
             WriteFile(root + "/atoms", "2 PXM INSTALLED 0\n");
             return root;
         }, "2 PXM INSTALLED 0\n", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string base = MakeTempDir("dorovivi-faults");
        std::string root = c.prepare(base);
        // A file root is read as a disk image, whose table is the user's:
        // that of a TMPDIR of the test's own.
        mkdir((base + "/tmp").c_str(), 0700);
        std::vector<std::string> environment = {"DOROVIVI_ROOT=" + root, "TMPDIR=" + base + "/tmp", "XDG_RUNTIME_DIR="};
        if (c.diskTakesNothing) {
            environment.push_back("LD_PRELOAD=" DOROVIVI_WRITES_TAKE_NOTHING);
            environment.push_back("DOROVIVI_FILES_TAKE_NOTHING=1");
            environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0"); // the preload comes before ASan's runtime
        }
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "@"}, environment, "", 60);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 100);
        EXPECT_EQ(result.output, "");
        if (!c.tableAfter.empty()) {
            EXPECT_EQ(ReadFile(root + "/atoms"), c.tableAfter);
        }
    }
}

// Reads one byte from `fd`, waiting at most a minute: only a bound on a run
// gone wrong.
bool AwaitByte(int fd)
{
    pollfd ready = {fd, POLLIN, 0};
    char byte = 0;
    return poll(&ready, 1, 60000) == 1 && read(fd, &byte, 1) == 1;
}

// Another writer holds the table's lock while the tool runs: the tool waits
// for it, past its commit and its being killed, and counts on from there.
TEST(AtomFaults, WriterKilledWhileHoldingTheLockLosesNothing)
{
    std::string root = CompanionRoot();
    WriteFile(root + "/atoms", "4 PXM INSTALLED 1\n9 Other\n");
    int held[2], go[2], committed[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(committed), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((root + "/atoms.lock").c_str(), O_RDWR | O_CREAT, 0644);
        char byte = 1;
        if (flock(fd, LOCK_EX) != 0 || write(held[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1)
            _exit(1);
        // Its own update, committed as the tool commits, then a half-written
        // replacement, as a crash before the next rename leaves it.
        WriteFile(root + "/atoms.tmp.0", "5 PXM INSTALLED 1\n9 Other\n");
        rename((root + "/atoms.tmp.0").c_str(), (root + "/atoms").c_str());
        WriteFile(root + "/atoms.tmp.1", "6 PXM INSTA");
        if (write(committed[1], &byte, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    ASSERT_TRUE(AwaitByte(held[0])) << "the holder never took the lock";
    // The tool's open of the lock file shows it has come to the lock.
    int opens = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(inotify_add_watch(opens, root.c_str(), IN_OPEN), 0);
    pid_t tool = fork();
    if (tool == 0) {
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        execl(DOROVIVI_BINARY, DOROVIVI_BINARY, "@", static_cast<char *>(nullptr));
        _exit(127);
    }
    bool cameToLock = false;
    alignas(inotify_event) char events[4096];
    while (!cameToLock) {
        pollfd ready = {opens, POLLIN, 0};
        ssize_t got = poll(&ready, 1, 60000) == 1 ? read(opens, events, sizeof events) : -1;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(events + at);
            cameToLock = cameToLock || (event->len > 0 && std::string(event->name) == "atoms.lock");
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(opens);
    EXPECT_TRUE(cameToLock) << "the tool never opened the lock";
    char byte = 1;
    EXPECT_EQ(write(go[1], &byte, 1), 1);
    EXPECT_TRUE(AwaitByte(committed[0])) << "the holder never committed";
    int status = 0;
    EXPECT_EQ(waitpid(tool, &status, WNOHANG), 0) << "the tool ended while the lock was held";
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 101) << status;
    EXPECT_EQ(ReadFile(root + "/atoms"), "6 PXM INSTALLED 1\n9 Other\n");
    for (int fd : {held[0], held[1], go[0], go[1], committed[0], committed[1]})
        close(fd);
}

TEST(MalformedRegistry, AnswersAsAnEmptyOrPartialRegistry)
{
    using namespace scenario;
    const std::string version = Section("Software\\Microsoft\\Windows NT\\CurrentVersion") + Text("CurrentVersion", "5.1");
    const std::string adapter = CardNt(1, Adapter, "NtNet");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 131 + 7) % 256);
    struct Case {
        const char *what;
        std::string file;
        int exitCode;
        std::string output;
    };
    const Case cases[] = {
        // The release values are cut off, the name survives.
        {"truncated inside the adapter's section", "REGEDIT4\r\n" + version + adapter.substr(0, adapter.size() - 30), 5,
         "NtNet"},
        {"binary garbage", garbage, 2, "XXXXXX"},
        {"garbage after a good start", "REGEDIT4\r\n" + version + adapter + garbage, 0, "NtNet"},
        {"a huge line before the adapter", "REGEDIT4\r\n" + version + "\"x\"=\"" + std::string(4 << 20, 'x') + "\r\n" + adapter,
         0, "NtNet"},
        {"unterminated string", "REGEDIT4\r\n" + version + Section("System\\CurrentControlSet\\Services\\TESRO411\\Parameters") +
                                    "\"VendorDescription\"=\"Tessaro/IEEE PC Card\r\n\"DesiredSSID\"=\"N\"\r\n",
         2, "XXXXXX"},
        {"unterminated continuation", "REGEDIT4\r\n" + version + adapter + "\"Z\"=hex:41,\\", 0, "NtNet"},
        {"odd-length UTF-16", std::string("\xFF\xFE", 2) + "W\0i\0n\0" + "\x01", 2, "XXXXXX"},
        {"NUL bytes inside lines", "REGEDIT4\r\n" + version + std::string("\0\0[\0]\r\n", 7) + adapter, 0, "NtNet"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string root = MakeTempDir("dorovivi-malformed");
        WriteFile(root + "/HKLM.reg", c.file);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

// An NT drive whose SYSTEM hive (or SOFTWARE hive) is replaced by `damage`
// of a good one, or by a hive of another kind: one line naming the file and
// the fault in the format's words, and the empty answer, or where hivex reads
// past the fault, the answer from what is there.
TEST(DamagedInstallation, AnswersAsAnEmptyRegistryWithOneMessage)
{
    using namespace scenario;
    RegistryFixture system = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}},
                              {"ControlSet001\\Services\\TESRO411\\Parameters",
                               {{"VendorDescription", REG_SZ, std::string(Adapter) + '\0'},
                                {"DesiredSSID", REG_SZ, std::string("NtNet\0", 6)}}}};
    std::string scratch = MakeTempDir("dorovivi-hive");
    ASSERT_TRUE(WriteRegfHive(system, scratch + "/SYSTEM"));
    const std::string good = ReadFile(scratch + "/SYSTEM");
    auto withChecksum = [](std::string hive) {
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4)
            sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 3])) << 24;
        for (int i = 0; i < 4; ++i)
            hive[0x1FC + i] = static_cast<char>(sum >> (8 * i));
        return hive;
    };
    auto patched = [&](std::size_t at, const std::string &bytes) {
        std::string hive = good;
        hive.replace(at, bytes.size(), bytes);
        return withChecksum(hive);
    };
    RegistryFixture software = {
        {"Microsoft\\Windows NT\\CurrentVersion", {{"CurrentVersion", REG_SZ, std::string("5.1\0", 4)}}}};
    ASSERT_TRUE(WriteRegfHive(software, scratch + "/SOFTWARE"));
    const std::string goodSoftware = ReadFile(scratch + "/SOFTWARE");
    // Hives of other kinds, by the keys at their root.
    auto hiveOf = [&](const RegistryFixture &keys) {
        EXPECT_TRUE(WriteRegfHive(keys, scratch + "/other"));
        return ReadFile(scratch + "/other");
    };
    std::string binsSize = good.substr(0x28, 4);
    binsSize[1] = static_cast<char>(binsSize[1] + 0x10); // 4096 bytes more than the file holds
    struct Case {
        const char *what;
        const char *file; // which hive is damaged, or "SYSTEM.DAT"
        std::string bytes; // "" with `fifo` false: an empty file
        const char *reason; // in the one line; nullptr: not judged
        bool fifo = false;
        bool readable = false; // SYSTEM is read: damage hivex reads past, or SOFTWARE's
        const char *windows = "WINNT";
        bool silent = false; // no line: nothing damaged is read
    };
    const Case cases[] = {
        {"empty SYSTEM", "SYSTEM", "", ": empty file; read as an empty hive"},
        {"only the base block", "SYSTEM", good.substr(0, 4096), ": cut short: 4096 bytes, where its base block declares"},
        {"cut inside the bin", "SYSTEM", good.substr(0, 4096 + 200), ": cut short: 4296 bytes"},
        {"bad checksum", "SYSTEM", good.substr(0, 0x30) + "X" + good.substr(0x31),
         ": dirty hive, not replayed (no transaction log beside it); its base block fails its checksum;"},
        {"root cell out of the file", "SYSTEM", patched(0x24, std::string("\0\0\0\x7F", 4)),
         ": its root key cannot be read (an offset, hive bin offset 0x7f000000 (file offset 0x7f001000), past the hive "
         "bins its base block declares); read as an empty hive"},
        {"bin size past the end", "SYSTEM", patched(4096 + 8, std::string("\0\0\0\x10", 4)),
         ": its root key cannot be read (no sound hive bin holds the cell at hive bin offset 0x20 (file offset "
         "0x1020)); read as an empty hive"},
        // Damage is named where a lookup reaches it, and only there.
        {"the adapter's key not a key", "SYSTEM", patched(good.find("TESRO411") - 76, "xx"),
         ": damaged hive (the cell at hive bin offset 0x"},
        {"bins size past the end", "SYSTEM", patched(0x28, std::string("\0\0\0\x10", 4)),
         ": cut short: 12288 bytes, where its base block declares 268439552 (268435456 of hive bins); keys past the end "
         "read as missing", false, true},
        {"declared bins past the last bin, zeros after it, never reached", "SYSTEM",
         patched(0x28, binsSize) + std::string(4096, '\0'), nullptr, false, true, "WINNT", true},
        {"format version 2", "SYSTEM", patched(0x14, std::string("\2\0\0\0", 4)),
         ": hive format version 2.3, where every NT hive is 1.x"},
        {"a transaction log as SYSTEM", "SYSTEM", patched(0x1C, std::string("\1\0\0\0", 4)),
         ": a transaction log, not a hive (file type 1)"},
        {"garbage SOFTWARE", "SOFTWARE", std::string(8192, '\xA5'),
         ": not a registry hive (no regf signature); read as an empty hive", false, true},
        {"a SAM hive as SYSTEM", "SYSTEM", hiveOf({{"SAM\\Domains\\Account", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but SAM; read as an empty hive"},
        {"an NTUSER.DAT as SYSTEM", "SYSTEM", hiveOf({{"Control Panel\\Desktop", {}}, {"Environment", {}},
                                                      {"Software\\Microsoft", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but Control Panel, Environment, "
         "Software; read as an empty hive"},
        {"a BCD store as SYSTEM", "SYSTEM", hiveOf({{"Description", {}}, {"Objects", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but Description, Objects; read as "
         "an empty hive"},
        {"Select without a control set", "SYSTEM", hiveOf({{"Select", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no ControlSet key, but Select; read as an empty hive"},
        {"SYSTEM as SOFTWARE", "SOFTWARE", good,
         ": not a SOFTWARE hive: its root key ROOT holds no Microsoft key, but ControlSet001, Select; read as an empty hive",
         false, true},
        {"SYSTEM is a FIFO", "SYSTEM", "", ": not a regular file; read as an empty hive", true},
        {"SYSTEM.DAT is a FIFO", "SYSTEM.DAT", "", nullptr, true},
        {"SYSTEM.DAT cut short", "SYSTEM.DAT", WriteCregFile({}).substr(0, 40), nullptr},
        {"a USER.DAT as SYSTEM.DAT", "SYSTEM.DAT",
         WriteCregFile({{"AppEvents\\Schemes", {}}, {"Control Panel\\Desktop", {}}, {"Software\\Microsoft", {}}}, true),
         ": not a SYSTEM.DAT: no Config, Enum or System key at its top"},
        {"a line end in the Windows directory's name", "SYSTEM", "", ": empty file; read as an empty hive", false, false,
         "WIN\r\nNT"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeTempDir("dorovivi-damaged");
        std::string damaged;
        if (std::string(c.file) == "SYSTEM.DAT") {
            mkdir((drive + "/WINDOWS").c_str(), 0755);
            damaged = drive + "/WINDOWS/SYSTEM.DAT";
        } else {
            std::string windows = drive + "/" + c.windows;
            std::string config = windows + "/system32/config";
            for (const std::string &dir : {windows, windows + "/system32", config})
                mkdir(dir.c_str(), 0755);
            WriteFile(config + "/SYSTEM", good);
            WriteFile(config + "/SOFTWARE", goodSoftware);
            damaged = config + "/" + c.file;
        }
        unlink(damaged.c_str());
        if (c.fifo)
            mkfifo(damaged.c_str(), 0644);
        else
            WriteFile(damaged, c.bytes);
        std::string outside = MakeTempDir("dorovivi-damaged-run");
        std::string errors = outside + "/stderr";
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + drive, "DOROVIVI_ATOMS=" + outside + "/atoms"};
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, env, errors);
        std::string message = ReadFile(errors);
        EXPECT_EQ(TracedStderrFault({DOROVIVI_BINARY, "H"}, env, message), "");
        EXPECT_EQ(result.exitCode, c.readable ? 5 : 2); // 5: the release values are not in this hive
        EXPECT_EQ(result.output, c.readable ? "NtNet" : "XXXXXX");
        if (c.silent) {
            EXPECT_EQ(message, "");
            continue;
        }
        std::string shown = damaged; // as the one line names it
        std::replace(shown.begin(), shown.end(), '\r', '?');
        std::replace(shown.begin(), shown.end(), '\n', '?');
        EXPECT_EQ(message.find(shown), std::string("dorovivi: ").size()) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        if (c.reason != nullptr) {
            EXPECT_EQ(message.find(c.reason), std::string("dorovivi: ").size() + shown.size()) << message;
        }
    }
}

// Where "@" keeps the atom table when the root is a Windows drive, which is
// never written: DOROVIVI_ATOMS, else per user outside the drive.
TEST(AtomLocation, WindowsDrivesKeepTheTableOutside)
{
    using namespace scenario;
    struct Case {
        const char *what;
        bool xdg, named, foreignTmpDir;
        const char *table; // relative to the scratch directory; nullptr: no table written
    };
    const Case cases[] = {
        {"DOROVIVI_ATOMS names it", true, true, false, "named/atoms"},
        {"XDG_RUNTIME_DIR", true, false, false, "runtime/dorovivi/atoms"},
        {"private directory in TMPDIR", false, false, false, "tmp/dorovivi-UID/atoms"},
        {"a directory of another user is refused", false, false, true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string scratch = MakeTempDir("dorovivi-atomdir");
        std::string drive = scratch + "/drive";
        for (const std::string &dir : {drive, drive + "/WINDOWS", scratch + "/runtime", scratch + "/named", scratch + "/tmp"})
            mkdir(dir.c_str(), 0755);
        WriteFile(drive + "/WINDOWS/SYSTEM.DAT",
                  WriteCregFile({{"Software\\KALVORA\\KALVORA PXM", {{"version", REG_SZ, std::string("1\0", 2)}}}}));
        if (c.foreignTmpDir) {
            mkdir((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), 0700);
            ASSERT_EQ(chown((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), getuid() + 1, getgid()), 0);
        }
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + drive, "TMPDIR=" + scratch + "/tmp",
                                        std::string("XDG_RUNTIME_DIR=") + (c.xdg ? scratch + "/runtime" : "")};
        if (c.named)
            env.push_back("DOROVIVI_ATOMS=" + scratch + "/named/atoms");
        std::string errors = scratch + "/stderr";
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env, errors).exitCode, 101);
        if (c.table != nullptr) {
            std::string table = c.table;
            if (table.find("UID") != std::string::npos)
                table.replace(table.find("UID"), 3, std::to_string(getuid()));
            EXPECT_EQ(ReadFile(scratch + "/" + table), std::string("1 ") + Installed + "\n");
            EXPECT_EQ(ReadFile(errors), "");
        } else {
            EXPECT_NE(ReadFile(errors).find("not a private directory"), std::string::npos);
            EXPECT_EQ(TracedStderrFault({DOROVIVI_BINARY, "@"}, env, ReadFile(errors)), "");
        }
        struct stat info;
        EXPECT_NE(stat((drive + "/atoms").c_str(), &info), 0) << "nothing is written on the drive";
        EXPECT_NE(stat((drive + "/atoms.lock").c_str(), &info), 0);
    }
}

} // namespace

namespace {

// A sparse file of 4 GiB with a good adapter at its start: refused with one
// line on stderr and the empty registry's answer, never read as if empty.
TEST(MalformedRegistry, ExportOf4GiBIsRefusedAloud)
{
    using namespace scenario;
    std::string root = MakeTempDir("dorovivi-large");
    std::string path = root + "/HKLM.reg";
    WriteFile(path, "REGEDIT4\r\n" + Section("Software\\Microsoft\\Windows NT\\CurrentVersion") +
                        Text("CurrentVersion", "5.1") + CardNt(1, Adapter, "NtNet"));
    for (off_t size : {static_cast<off_t>(4ll << 30), static_cast<off_t>(5ll << 30)}) {
        ASSERT_EQ(truncate(path.c_str(), size), 0);
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + root}, root + "/stderr");
        EXPECT_EQ(result.exitCode, 2) << size;
        EXPECT_EQ(result.output, "XXXXXX") << size;
        std::string message = ReadFile(root + "/stderr");
        EXPECT_EQ(message, "dorovivi: " + path + " is 4 GiB or more, too large to read; the registry is empty\n") << size;
        // No traced rerun here: the trace digests the file as stored, gigabytes
        // that the other rows' message events need not cost.
    }
    unlink(path.c_str());
}

} // namespace

namespace {

std::string Noise(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::uint64_t Le(const std::string &bytes, std::uint64_t at, int size)
{
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::uint64_t>(i)]);
    return value;
}

std::string LeBytes(std::uint64_t value, int size)
{
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i));
    return bytes;
}

void Patch(const std::string &path, std::uint64_t at, const std::string &bytes)
{
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

void CutAt(const std::string &path, std::uint64_t size)
{
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

std::uint64_t FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// Where a FAT16 file system at `fs` in `disk` keeps its first FAT, its second,
// and its data area, and the size of a cluster.
struct FatPlaces {
    std::uint64_t fat1, fat2, data, cluster;
};

FatPlaces Fat16Places(const std::string &disk, std::uint64_t fs)
{
    std::uint64_t sector = Le(disk, fs + 0x0B, 2), reserved = Le(disk, fs + 0x0E, 2);
    std::uint64_t fatSectors = Le(disk, fs + 0x16, 2);
    std::uint64_t fat1 = fs + reserved * sector, fat2 = fat1 + fatSectors * sector;
    return {fat1, fat2, fat2 + fatSectors * sector + Le(disk, fs + 0x11, 2) * 32, sector * Le(disk, fs + 0x0D, 1)};
}

const char NtAnswer[] = "NtNet";

std::string WriteNtTree(const std::string &dir)
{
    using namespace scenario;
    mkdir(dir.c_str(), 0755);
    WriteNtDrive(dir, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, NtAnswer));
    return dir;
}

struct ImageRun {
    ProcessResult result;
    std::string errors;
};

// Runs `args` over the image, checking that the run ends in time and that
// nothing in `dir` (the image and what it was made from) changes.
ImageRun RunOverImage(const std::string &image, const std::string &dir, const std::vector<std::string> &args,
                      std::vector<std::string> env = {})
{
    // The table, its lock and stderr live beside `dir`, in a directory of their own.
    std::string outside = MakeTempDir("dorovivi-image-run");
    env.push_back("DOROVIVI_ROOT=" + image);
    env.push_back("DOROVIVI_ATOMS=" + outside + "/atoms");
    std::string before = Snapshot(dir), errors = outside + "/stderr";
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ImageRun run = {RunProcess(argv, env, errors, 60), ReadFile(errors)};
    if (!run.errors.empty()) {
        EXPECT_EQ(TracedStderrFault(argv, env, run.errors), "");
    }
    RemoveTree(outside);
    EXPECT_FALSE(run.result.timedOut) << "no hang";
    EXPECT_EQ(Snapshot(dir), before) << "nothing is written to the image";
    return run;
}

// An NT drive in a disk image, damaged in one place: where the damage makes
// the installation unreadable, the empty answer and one line naming the
// image; elsewhere, the answer stands.
TEST(DamagedImage, EmptyAnswerWithOneLineOrTheAnswerUnchanged)
{
    typedef void (*DamageDisk)(const std::string &raw, const std::vector<PlacedPartition> &placed);
    typedef void (*DamageImage)(const std::string &image);
    struct Case {
        const char *what;
        FileSystem system;
        Layout layout;
        Container container;
        DamageDisk onDisk;    // before the disk goes into its container
        DamageImage onImage;  // after
        bool readable = false; // the damage leaves the installation readable
        const char *line = nullptr; // readable, with this said once on stderr
    };
    const Case cases[] = {
        {"empty file", FileSystem::Ntfs, Layout::Bare, Container::Raw, nullptr,
         [](const std::string &image) { WriteFile(image, ""); }},
        {"random bytes", FileSystem::Ntfs, Layout::Bare, Container::Raw, nullptr,
         [](const std::string &image) { WriteFile(image, Noise(1 << 20, 7)); }},
        {"truncated inside the file system", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             CutAt(raw, placed[0].offset + 65536);
         },
         nullptr},
        {"truncated inside the registry file", FileSystem::Fat16, Layout::Mbr, Container::SplitRaw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::size_t hive = ReadFile(raw).find("regf", placed[0].offset);
             ASSERT_NE(hive, std::string::npos);
             CutAt(raw, hive + 2048);
         },
         nullptr},
        {"a partition starting past the end", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &) { Patch(raw, 446 + 8, LeBytes(1 << 22, 4)); },
         nullptr},
        // The installation is the primary partition; the logical one's boot
        // record links back to itself, which Windows reads past.
        {"an extended chain that links to itself", FileSystem::Ntfs, Layout::MbrLogical, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::uint64_t record = placed[1].offset - (1 << 20);
             Patch(raw, record + 446 + 16, std::string("\0\0\0\0\x05\0\0\0", 8) + LeBytes(0, 4) + LeBytes(4096, 4));
         },
         nullptr, true, "the extended partition's chain of boot records loops"},
        {"a FAT cluster chain that loops", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::string disk = ReadFile(raw);
             FatPlaces fat = Fat16Places(disk, placed[0].offset);
             std::size_t hive = disk.find("regf", fat.data);
             ASSERT_NE(hive, std::string::npos);
             std::uint64_t cluster = (hive - fat.data) / fat.cluster + 2;
             for (std::uint64_t table : {fat.fat1, fat.fat2})
                 Patch(raw, table + cluster * 2, LeBytes(cluster, 2));
         },
         nullptr},
        {"NTFS $MFT overwritten", FileSystem::Ntfs, Layout::Gpt, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             std::string disk = ReadFile(raw);
             std::uint64_t fs = placed[0].offset;
             std::uint64_t mft = fs + Le(disk, fs + 0x30, 8) * Le(disk, fs + 0x0D, 1) * Le(disk, fs + 0x0B, 2);
             Patch(raw, mft, Noise(16384, 3));
         },
         nullptr},
        {"VHD with footer and header zeroed", FileSystem::Ntfs, Layout::Mbr, Container::VhdDynamic, nullptr,
         [](const std::string &image) {
             Patch(image, 0, std::string(1536, '\0'));
             Patch(image, FileSize(image) - 512, std::string(512, '\0'));
         }},
        // Halving a qcow2 file may keep every cluster the installation needs;
        // cut where the first hive's data lies instead.
        {"qcow2 cut inside a hive", FileSystem::Ntfs, Layout::Mbr, Container::Qcow2V3, nullptr,
         [](const std::string &image) {
             std::size_t hive = ReadFile(image).find("regf");
             ASSERT_NE(hive, std::string::npos);
             CutAt(image, hive + 4096 + 512);
         }},
        {"E01 cut in half", FileSystem::Ntfs, Layout::Mbr, Container::E01, nullptr,
         [](const std::string &image) { CutAt(image, FileSize(image) / 2); }},
        {"noise after the last partition", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             Patch(raw, placed[0].offset + placed[0].size, Noise(1 << 20, 5));
         },
         nullptr, true},
        {"GPT backup zeroed", FileSystem::Ntfs, Layout::Gpt, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &) {
             Patch(raw, FileSize(raw) - 33 * 512, std::string(33 * 512, '\0'));
         },
         nullptr, true},
        {"second FAT zeroed", FileSystem::Fat16, Layout::Mbr, Container::Raw,
         [](const std::string &raw, const std::vector<PlacedPartition> &placed) {
             FatPlaces fat = Fat16Places(ReadFile(raw), placed[0].offset);
             Patch(raw, fat.fat2, std::string(fat.data - fat.fat2 < 8192 ? fat.data - fat.fat2 : 8192, '\0'));
         },
         nullptr, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-damaged-image");
        std::string tree = WriteNtTree(dir + "/tree");
        std::vector<ImagePartition> partitions = {FsPartition(c.system, tree, true)};
        if (c.layout == Layout::MbrLogical)
            partitions.push_back(FsPartition(FileSystem::Fat12, "", false));
        std::vector<PlacedPartition> placed;
        std::string error, raw = dir + "/disk.raw";
        ASSERT_TRUE(WriteRawDisk(partitions, c.layout, raw, &placed, &error)) << error;
        if (c.onDisk != nullptr)
            c.onDisk(raw, placed);
        std::string image = WriteContainer(raw, c.container, dir, "disk", &error);
        ASSERT_NE(image, "") << error;
        if (c.onImage != nullptr)
            c.onImage(image);
        ImageRun run = RunOverImage(image, dir, {"H"});
        EXPECT_EQ(run.result.exitCode, c.readable ? 0 : 2);
        EXPECT_EQ(run.result.output, c.readable ? NtAnswer : "XXXXXX");
        if (c.readable && c.line != nullptr) {
            EXPECT_NE(run.errors.find(c.line), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        } else if (c.readable) {
            EXPECT_EQ(run.errors, "");
        } else {
            EXPECT_NE(run.errors.find(image), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        }
        RemoveTree(dir);
    }
}

// Windows 98 on partition 1 (FAT32, active) and NT on partition 2 (NTFS, a
// logical partition): what chooses between them, and what happens when
// nothing does.
TEST(MultiBootImage, BootFilesAndDOROVIVI_WINDIRChoose)
{
    using namespace scenario;
    struct Case {
        const char *what;
        const char *bootIni;  // on partition 1; nullptr: none
        const char *msdosSys; // on partition 1; nullptr: none
        const char *windir;   // DOROVIVI_WINDIR; nullptr: unset
        const char *command;
        int exitCode;
        const char *output;
        const char *message; // what the one stderr line holds; nullptr: no line
        bool foreign = false;  // a third partition holds another file system
        bool readOnly = false; // the image is 0444
    };
    const char *toNt = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n";
    const char *to98 = "[boot loader]\r\ndefault=C:\\\r\n[operating systems]\r\nC:\\=\"Windows 98\"\r\n";
    const char *winDir = "[Paths]\r\nWinDir=C:\\WINDOWS\r\n";
    const char *listing = "partition(1)\\WINDOWS, partition(2)\\WINNT";
    const Case cases[] = {
        {"boot.ini names NT", toNt, winDir, nullptr, "H", 0, NtAnswer, nullptr},
        {"boot.ini boots C:\\, MSDOS.SYS names WINDOWS", to98, winDir, nullptr, "H", 0, "HomeNet", nullptr},
        {"MSDOS.SYS alone", nullptr, winDir, nullptr, "H", 0, "HomeNet", nullptr},
        {"a second disk's entry is not followed",
         "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(1)partition(2)\\WINNT\r\n",
         nullptr, nullptr, "H", 2, "XXXXXX", listing},
        {"DOROVIVI_WINDIR over boot.ini", toNt, winDir, "partition(1)\\windows", "H", 0, "HomeNet", nullptr},
        {"DOROVIVI_WINDIR names NT", nullptr, nullptr, "partition(2)\\WINNT", "H", 0, NtAnswer, nullptr},
        {"DOROVIVI_WINDIR names nothing", toNt, winDir, "partition(3)\\WINNT", "H", 2, "XXXXXX", "partition(3)\\WINNT"},
        {"no boot file: refused, H", nullptr, nullptr, nullptr, "H", 2, "XXXXXX", listing},
        {"no boot file: refused, @", nullptr, nullptr, nullptr, "@", 100, "", listing},
        {"another file system beside them", toNt, winDir, nullptr, "H", 0, NtAnswer, "partition(3)", true},
        {"a read-only image", toNt, winDir, nullptr, "H", 0, NtAnswer, nullptr, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-multiboot");
        std::string win98 = dir + "/win98", nt = WriteNtTree(dir + "/nt");
        mkdir(win98.c_str(), 0755);
        Write98Drive(win98, "REGEDIT4\r\n" + VersionKeys(Family::Windows98) +
                                Card98(CardOne, "Net\\0000", Adapter, "HomeNet"));
        RemoveTree(win98 + "/WINDOWS.OLD"); // one installation a partition
        unlink((win98 + "/MSDOS.SYS").c_str());
        if (c.bootIni != nullptr)
            WriteFile(win98 + "/BOOT.INI", c.bootIni);
        if (c.msdosSys != nullptr)
            WriteFile(win98 + "/MSDOS.SYS", c.msdosSys);
        std::vector<ImagePartition> partitions = {FsPartition(FileSystem::Fat32, win98, true),
                                                  FsPartition(FileSystem::Ntfs, nt)};
        if (c.foreign)
            partitions.push_back(OtherPartition(0x83, Noise(1 << 20, 11)));
        std::string error;
        std::string image = WriteDiskImage(partitions, Layout::MbrLogical, Container::Raw, dir, "disk", &error);
        ASSERT_NE(image, "") << error;
        if (c.readOnly)
            chmod(image.c_str(), 0444);
        std::vector<std::string> env;
        if (c.windir != nullptr)
            env.push_back(std::string("DOROVIVI_WINDIR=") + c.windir);
        ImageRun run = RunOverImage(image, dir, {c.command}, env);
        EXPECT_EQ(run.result.exitCode, c.exitCode);
        EXPECT_EQ(run.result.output, c.output);
        if (c.message == nullptr) {
            EXPECT_EQ(run.errors, "");
        } else {
            EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
            EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
        }
        RemoveTree(dir);
    }
}

} // namespace

namespace {

// The bound the image tables rely on to turn a hang into a failure.
TEST(ProcessRun, ARunPastItsTimeIsKilled)
{
    ProcessResult result = RunProcess({"/bin/sleep", "30"}, {}, "", 1);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_FALSE(RunProcess({"/bin/true"}, {}, "", 1).timedOut);
}

} // namespace

namespace {

// An NT drive, or that drive in an NTFS image, whose SYSTEM hive is dirty
// and its logs damaged or stale: what can be replayed is, the rest answers
// from the primary as it stands (which lacks the adapter), and one line
// says which.
TEST(DirtyInstallation, DamagedLogsAnswerFromWhatTheyHold)
{
    using K = HiveLogKind;
    using D = HiveLogDamage;
    struct Case {
        const char *what;
        DirtyHive dirty;
        bool inImage;
        bool replayed; // the adapter is there
        const char *line; // after "<SYSTEM>: "; nullptr: no line
        std::uint64_t log1Size = 0; // SYSTEM.LOG1 grown to this (sparse), 0: as written
    };
    const Case cases[] = {
        {"first entry not signed", {K::NewDual, D::BadSignature}, false, false,
         "dirty hive, not replayed (the first log entry of SYSTEM.LOG1 is not signed HvLE); read as it stands"},
        {"an entry's hash wrong: replayed up to it", {K::NewDual, D::BadHash}, true, false,
         "dirty hive; replayed SYSTEM.LOG1 (stopped short: log entry 8 in SYSTEM.LOG1 fails its hash)"},
        {"the old log's base block fails its checksum", {K::OldSingle, D::BadLogChecksum}, false, false,
         "dirty hive, not replayed (no valid log (SYSTEM.LOG: base block fails its checksum)); read as it stands"},
        {"the current log's dirty vector unsigned", {K::OldDual, D::BadDirtyVector}, true, false,
         "dirty hive, not replayed (SYSTEM.LOG2: dirty vector not signed DIRT); read as it stands"},
        {"the primary's base block broken: the log's stands in", {K::OldSingle, D::BrokenPrimary}, false, true,
         "dirty hive; replayed SYSTEM.LOG"},
        {"a clean primary beside newer logs", {K::NewDual, D::None, true}, false, false, nullptr},
        {"a clean primary beside an old log", {K::OldSingle, D::None, true}, true, false, nullptr},
        {"a log over 64 MiB is not read", {K::OldDual}, false, true,
         "dirty hive; replayed SYSTEM.LOG2 (SYSTEM.LOG1 not read: larger than 64 MiB)", 65ull << 20},
        {"a log over 64 MiB in an image", {K::OldDual}, true, true,
         "dirty hive; replayed SYSTEM.LOG2 (SYSTEM.LOG1 not read: larger than 64 MiB)", 65ull << 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-dirty");
        std::string tree = dir + "/tree";
        mkdir(tree.c_str(), 0755);
        WriteNtDrive(tree, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) +
                               scenario::CardNt(1, scenario::Adapter, NtAnswer), &c.dirty);
        std::string config = tree + "/WINNT/System32/config/SYSTEM";
        if (c.log1Size != 0) {
            ASSERT_EQ(truncate((config + ".LOG1").c_str(), static_cast<off_t>(c.log1Size)), 0);
        }
        std::string root = tree, shown = config;
        if (c.inImage) {
            std::string error;
            root = WriteDiskImage({FsPartition(FileSystem::Ntfs, tree, true)}, Layout::Mbr, Container::Raw, dir, "disk",
                                  &error);
            ASSERT_NE(root, "") << error;
            shown = root + ": partition(1)\\WINNT\\System32\\config\\SYSTEM";
        }
        ImageRun run = RunOverImage(root, dir, {"H"});
        EXPECT_EQ(run.result.exitCode, c.replayed ? 0 : 2);
        EXPECT_EQ(run.result.output, c.replayed ? NtAnswer : "XXXXXX");
        EXPECT_EQ(run.errors, c.line == nullptr ? "" : "dorovivi: " + shown + ": " + c.line + "\n");
        RemoveTree(dir);
    }
}

} // namespace

namespace {

// "major.minor.build" of the trace's version event, "none" when it failed.
std::string TracedVersion(const std::string &trace)
{
    std::size_t at = trace.find("{\"event\":\"version\"");
    std::string event = at == std::string::npos ? "" : trace.substr(at, trace.find('\n', at) - at);
    if (event.empty() || event.find("\"failed\"") != std::string::npos)
        return "none";
    std::string version;
    for (const char *field : {"\"major\":", "\"minor\":", "\"build\":"}) {
        std::size_t from = event.find(field) + std::strlen(field);
        version += (version.empty() ? "" : ".") + event.substr(from, event.find_first_of(",}", from) - from);
    }
    return version;
}

// Registry files Windows wrote (needs ../shared/real), put on an NT drive as
// they are, cut or declared longer: real SYSTEM hives of XP and 10 pass as
// SYSTEM, each fault gets its line.
TEST(RealHives, EachFaultNamedAndRealHivesPass)
{
    struct stat st;
    if (stat(DOROVIVI_REAL, &st) != 0) {
        const char *ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true")
            FAIL() << DOROVIVI_REAL " is missing";
        GTEST_SKIP() << "needs the genuine registry files in " DOROVIVI_REAL;
    }
    struct Case {
        const char *what;
        const char *system, *software; // below DOROVIVI_REAL, without .xz
        std::vector<const char *> logs; // beside SYSTEM, named after it; "dirty/NAME.LOG2": another hive's
        std::uint64_t cutTo;            // SYSTEM cut to this size; 0: whole
        std::vector<const char *> lines; // after "<SYSTEM or SOFTWARE>: ", in order
        bool longer = false; // SYSTEM declares bins up to its end, zeros past its last bin
        const char *answer = "XXXXXX"; // H's, from SYSTEM
        // From SOFTWARE, as the trace gives it; "none": failed. An NT drive whose
        // SOFTWARE records none is of the NT family, 0.0.0.
        const char *version = "5.2.3790";
    };
    const char *xpSystem = "genuine/xp_system", *xpSoftware = "genuine/xp_software";
    const Case cases[] = {
        {"XP's SYSTEM and SOFTWARE", xpSystem, xpSoftware, {}, 0, {}},
        {"XP's setup copy of SYSTEM", "genuine/xp_system_sav", xpSoftware, {}, 0, {}},
        {"Windows 10's dirty SYSTEM and its logs", "dirty/SYSTEM_B", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2"}},
        {"SOFTWARE as SYSTEM", xpSoftware, xpSoftware, {}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key $$$PROTO.HIV holds no Select and no ControlSet key, but ADFS, "
          "Classes, Clients, Microsoft, Policies, Program Groups and 2 more; read as an empty hive"}},
        {"SYSTEM as SOFTWARE", xpSystem, xpSystem, {}, 0,
         {"SOFTWARE: not a SOFTWARE hive: its root key $$$PROTO.HIV holds no Microsoft key, but ControlSet001, "
          "ControlSet002, LastKnownGoodRecovery, MountedDevices, Select, Setup and 1 more; read as an empty hive"},
         false, "XXXXXX", "0.0.0"},
        {"its last page cut off", xpSystem, xpSoftware, {}, 2379776,
         {"SYSTEM: cut short: 2379776 bytes, where its base block declares 2383872 (2379776 of hive bins); keys past "
          "the end read as missing"}},
        {"12 KB of a dirty hive of 476 KB", "dirty/OldDirtyHive", xpSoftware, {}, 12288,
         {"SYSTEM: dirty hive, not replayed (no transaction log beside it); cut short: 12288 bytes, where its base block "
          "declares 491520 (487424 of hive bins); not a SYSTEM hive: its root key "
          "{6214ff27-7b1b-41a3-9ae4-5fb851ffed63} holds no Select and no ControlSet key, but key_with_many_subkeys; read "
          "as an empty hive"}},
        // Cells are checked where a lookup reaches them: zeros no lookup reaches go unseen.
        {"zeros inside its declared bins, never reached", xpSystem, xpSoftware, {}, 0, {}, true},
        {"a SYSTEM whose bins break, SOFTWARE still read", "dirty/corrupted_system_hive", xpSoftware, {}, 0,
         {"SYSTEM: damaged hive (no sound hive bin holds the cell at hive bin offset 0x130140 (file offset 0x131140)); "
          "keys in the damaged part read as missing"}},
        {"a damaged SYSTEM as SOFTWARE, SYSTEM still read", "genuine/xp_card_system", "dirty/corrupted_system_hive", {},
         0,
         {"SOFTWARE: not a SOFTWARE hive: its root key $$$PROTO.HIV holds no Microsoft key, but ControlSet001, "
          "ControlSet003, LastKnownGoodRecovery, MountedDevices, Select, Setup and 1 more; read as an empty hive"},
         false, "RealXP", "0.0.0"},
        {"Windows 10's dirty SYSTEM without its logs", "dirty/SYSTEM_WIN_10_1709", xpSoftware, {}, 0,
         {"SYSTEM: dirty hive, not replayed (no transaction log beside it); read as it stands"}},
        {"an NTUSER.DAT and its logs as SYSTEM", "dirty/transactions_NTUSER", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1; not a SYSTEM hive: its root key ROOT holds no Select and no "
          "ControlSet key, but AppEvents, Console, Control Panel, Environment, EUDC, Keyboard Layout and 3 more; read "
          "as an empty hive"}},
        {"a UsrClass.dat and its logs as SYSTEM", "dirty/UsrClass", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2; not a SYSTEM hive: its root key "
          "S-1-5-21-2734969515-1644526556-1039763013-1001_Classes holds no Select and no ControlSet key, but *, .3g2, "
          ".3gp, .3gp2, .3gpp, .3mf and 373 more; read as an empty hive"}},
        {"a dirty Amcache.hve and its logs as SYSTEM", "dirty/Amcache_Win10_APT", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2; not a SYSTEM hive: its root key "
          "{11517B7C-E79D-4e20-961B-75A811715ADD} holds no Select and no ControlSet key, but Root; read as an empty "
          "hive"}},
        {"a clean Amcache.hve beside stale logs as SYSTEM", "dirty/Amcache_Win2012R2", xpSoftware, {"LOG1", "LOG2"}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key {11517B7C-E79D-4e20-961B-75A811715ADD} holds no Select and no "
          "ControlSet key, but Root; read as an empty hive"}},
        {"a key name with a NUL in it", "genuine/hivex_special", xpSoftware, {}, 0,
         {"SYSTEM: not a SYSTEM hive: its root key $$$PROTO.HIV holds no Select and no ControlSet key, but "
          "abcd_\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F, weird\xE2\x84\xA2, zero\\u0000key; read as an empty hive"}},
        {"another hive's log replayed into a dirty hive", "dirty/OldDirtyHive", xpSoftware,
         {"dirty/transactions_NTUSER.LOG1", "dirty/transactions_NTUSER.LOG2"}, 0,
         {"SYSTEM: dirty hive, not replayed: its log SYSTEM.LOG2 does not fit it (replayed, the cell at hive bin "
          "offset 0x10420 (file offset 0x11420) gives an impossible size); not a SYSTEM hive: its root "
          "key {6214ff27-7b1b-41a3-9ae4-5fb851ffed63} holds no Select and no ControlSet key, but "
          "key_with_many_subkeys; read as an empty hive"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeTempDir("dorovivi-real");
        std::string config = drive + "/WINDOWS/system32/config/";
        ASSERT_EQ(std::system(("mkdir -p '" + config + "'").c_str()), 0);
        auto unpack = [](const std::string &from, const std::string &to) {
            return std::system(("xz -dc '" DOROVIVI_REAL "/" + from + ".xz' > '" + to + "'").c_str()) == 0;
        };
        ASSERT_TRUE(unpack(c.system, config + "SYSTEM") && unpack(c.software, config + "SOFTWARE"));
        for (std::string log : c.logs) {
            std::string from = log.find('/') == std::string::npos ? std::string(c.system) + "." + log : log;
            ASSERT_TRUE(unpack(from, config + "SYSTEM." + log.substr(log.rfind('.') + 1)));
        }
        if (c.cutTo != 0)
            CutAt(config + "SYSTEM", c.cutTo);
        if (c.longer) {
            std::string hive = ReadFile(config + "SYSTEM");
            hive.replace(0x28, 4, LeBytes(hive.size() - 4096, 4));
            std::uint32_t sum = 0;
            for (std::size_t at = 0; at < 0x1FC; at += 4)
                sum ^= static_cast<std::uint32_t>(Le(hive, at, 4));
            hive.replace(0x1FC, 4, LeBytes(sum, 4));
            WriteFile(config + "SYSTEM", hive);
        }
        std::string trace = MakeTempDir("dorovivi-real-trace") + "/trace";
        ImageRun run = RunOverImage(drive, drive, {"H"}, {"DOROVIVI_TRACE=" + trace});
        EXPECT_EQ(run.result.exitCode, std::string(c.answer) == "XXXXXX" ? 2 : 0);
        EXPECT_EQ(run.result.output, c.answer);
        EXPECT_EQ(TracedVersion(ReadFile(trace)), c.version);
        RemoveTree(trace.substr(0, trace.rfind('/')));
        std::string expected;
        for (const char *line : c.lines)
            expected += "dorovivi: " + config + line + "\n";
        EXPECT_EQ(run.errors, expected);
        RemoveTree(drive);
    }
}

} // namespace

namespace {

// Virtual disks others made (needs ../shared/real/images), none holding
// Windows: the empty answer, after a line for each fault read past. "%"
// stands for the folder they lie in.
TEST(RealImages, EachChainFaultNamed)
{
    struct stat st;
    if (stat(DOROVIVI_REAL "/images", &st) != 0) {
        const char *ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true")
            FAIL() << DOROVIVI_REAL "/images is missing";
        GTEST_SKIP() << "needs the virtual disks in " DOROVIVI_REAL "/images";
    }
    const std::string none = "no partition table and no FAT or NTFS file system; reading an empty registry";
    const std::vector<std::string> cases[] = { // the root, then the lines after "dorovivi: %/<root>: "
        {"image-differential.vhd", "VHD footer and dynamic disk header fail their checksums; read as they are",
         "%/image.vhd: VHD footer fails its checksum; read as it is", none},
        {"image.vhd", "VHD footer fails its checksum; read as it is", none},
        {"fat-differential.vhd", "its parent '.\\fat-parent.vhd' or 'C:\\Projects\\dfvfs\\test_data\\fat-parent.vhd' is "
                                 "missing (looked for %/fat-parent.vhd); reading an empty registry"},
    };
    for (const std::vector<std::string> &c : cases) {
        SCOPED_TRACE(c[0]);
        std::string dir = MakeTempDir("dorovivi-real-images"), expected;
        ASSERT_EQ(std::system(("for f in '" DOROVIVI_REAL "'/images/*.xz; do xz -dc \"$f\" > " + dir +
                               "/\"$(basename \"$f\" .xz)\" || exit 1; done").c_str()), 0);
        for (std::string line : std::vector<std::string>(c.begin() + 1, c.end())) {
            if (line.find('%') != std::string::npos)
                line.replace(line.find('%'), 1, dir);
            expected += "dorovivi: " + dir + "/" + c[0] + ": " + line + "\n";
        }
        ImageRun run = RunOverImage(dir + "/" + c[0], dir, {"H"});
        EXPECT_EQ(run.result.exitCode, 2);
        EXPECT_EQ(run.result.output, "XXXXXX");
        EXPECT_EQ(run.errors, expected);
        RemoveTree(dir);
    }
}

} // namespace
