// The serving child's parent side: reads come back whole through the page
// cache and the chunks, and a child that lies, stops or dies mid-reply makes
// every read fail, once said, never hangs, and leaves no child behind.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/base/error_line.h"
#include "platform/posix/root/image_file_bytes.h"
#include "platform/posix/sandbox/file_broker.h"
#include "process_run.h"
#include "scripted_server.h"

namespace {

unsigned char Pattern(std::uint64_t i) { return static_cast<unsigned char>(i * 7 + (i >> 9)); }

int Requests = 0;

void Ready(void *, void *record)
{
    std::strcpy(static_cast<char *>(record), "ready");
    PrintErrorLine("said before the answer"); // kept for the caller to write after its own
}

// File 0: 200000 bytes of the pattern; file 8: the same, with a line said
// once they are in place; file 9: how many requests came so far.
void ServePattern(void *, const ServerRequest &request, ServerReplyHeader &reply, void *payload)
{
    unsigned char *bytes = static_cast<unsigned char *>(payload);
    reply.got = request.file == 9 ? sizeof Requests : request.size;
    if (request.file == 9)
        std::memcpy(payload, &Requests, sizeof Requests);
    for (std::uint32_t i = 0; request.file != 9 && i < request.size; ++i)
        bytes[i] = Pattern(request.offset + i);
    if (request.file == 8)
        PrintErrorLine("said while answering");
    ++Requests;
}

ServerRequest Counted()
{
    ServerRequest request = {};
    request.file = 9;
    request.size = 4;
    return request;
}

bool Reaped(pid_t child) { return waitpid(child, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(SandboxedServer, ReadsComeBackWholeAndTheLastFileStopsTheChild)
{
    auto server = std::make_shared<ImageServer>();
    char record[16] = {};
    ASSERT_EQ(StartSandboxedServer(Ready, ServePattern, nullptr, record, sizeof record, SandboxLimits{10, 20},
                                   server->sandboxed).end, SandboxEnd::Answered);
    EXPECT_STREQ(record, "ready");
    ASSERT_EQ(server->sandboxed.startLines.size(), 1u);
    EXPECT_EQ(server->sandboxed.startLines[0].second, "said before the answer");
    pid_t child = server->sandboxed.child;
    ImageFileBytes file(server, 0, 200000);
    const struct { std::uint64_t at; std::size_t size; bool whole; } reads[] = {
        {0, 1, true}, {4090, 20, true}, {8191, 8193, true}, {1000, 150000, true}, {199990, 10, true},
        {199990, 11, false}, {200000, 0, true}, {200001, 0, false}, {65530, 65546, true},
    };
    for (const auto &read : reads) {
        std::string bytes(read.size, '\0'), expected(read.size, '\0');
        for (std::size_t i = 0; i < read.size; ++i)
            expected[i] = static_cast<char>(Pattern(read.at + i));
        EXPECT_EQ(file.ReadAt(read.at, &bytes[0], read.size), read.whole) << read.at << "+" << read.size;
        EXPECT_TRUE(!read.whole || bytes == expected) << read.at << "+" << read.size;
    }
    // Small reads within one page already read cost no trip to the child.
    int before = 0, after = 0;
    ServerReplyHeader reply;
    ASSERT_TRUE(AskSandboxedServer(server->sandboxed, Counted(), reply, &before));
    char small[8];
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(file.ReadAt(4096 * 3 + i * 8, small, sizeof small));
    ASSERT_TRUE(AskSandboxedServer(server->sandboxed, Counted(), reply, &after));
    EXPECT_EQ(after - before, 2); // one page, and the question itself
    // A line said while the answer is in place spoils none of it.
    ServerRequest saying = Counted();
    saying.file = 8;
    saying.size = 64;
    unsigned char said[64];
    testing::internal::CaptureStderr();
    ASSERT_TRUE(AskSandboxedServer(server->sandboxed, saying, reply, said));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "dorovivi: said while answering\n");
    for (std::size_t i = 0; i < sizeof said; ++i)
        ASSERT_EQ(said[i], Pattern(i)) << i;
    ImageFileBytes(server, 0, 200000).Size();
    server.reset();
    EXPECT_FALSE(Reaped(child)) << "one file still reads through it";
    file.server.reset();
    EXPECT_TRUE(Reaped(child));
}

std::string Header(std::int32_t error, std::uint32_t got, std::uint32_t kind = kServerAnswer)
{
    ServerRecordHeader header = {kind, error, got, 0};
    return std::string(reinterpret_cast<const char *>(&header), sizeof header);
}

// A line the child said on the way: written by the parent before the answer.
std::string Line(LineKind kind, const std::string &text)
{
    return Header(0, static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(kind)) + text;
}

TEST(SandboxedServer, HostileRepliesFailEveryReadAndLeaveNoChild)
{
    const struct {
        const char *what;
        std::string script;
        Then then;
        int error;            // errno after each read
        const char *message;  // said once on stderr; "" for none
    } cases[] = {
        {"more than asked", Header(0, 4097) + std::string(4097, 'x'), Then::Again, EIO, "reading the image failed;"},
        {"a short header", Header(0, 4096).substr(0, 5), Then::Exit, EIO, "reading the image failed;"},
        {"a short payload, then gone", Header(0, 4096) + "abc", Then::Exit, EIO, "reading the image failed;"},
        {"a short payload, then nothing", Header(0, 4096) + "abc", Then::Hang, EIO, "took too long"},
        {"no answer", "", Then::Hang, EIO, "took too long"},
        {"killed mid-reply", Header(0, 4096) + "abc", Then::Die, EIO, "(Terminated)"},
        {"an error", Header(EACCES, 0), Then::Again, EACCES, ""},
        {"fewer bytes than asked", Header(0, 3) + "abc", Then::Again, 0, ""},
        {"a record of no kind", Header(0, 3, 7) + "abc" + Header(0, 0), Then::Again, EIO, "reading the image failed;"},
        {"a line longer than any", Line(LineKind::Error, std::string(8193, 'x')), Then::Again, EIO,
         "reading the image failed;"},
        {"a trace line that is no event", Line(LineKind::Trace, "{}") + Header(0, 0), Then::Again, EIO,
         "reading the image failed;"},
        {"a trace line with a line end", Line(LineKind::Trace, "{\"event\":\"x\"\n") + Header(0, 0), Then::Again,
         EIO, "reading the image failed;"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto server = std::make_shared<ImageServer>();
        server->root = "disk.img";
        pid_t child = StartScriptedServer(c.script, c.then, 500, server->sandboxed);
        ASSERT_GT(child, 0);
        ImageFileBytes file(server, 0, 100000);
        char bytes[16];
        testing::internal::CaptureStderr();
        for (int i = 0; i < 2; ++i) {
            errno = -1;
            EXPECT_FALSE(file.ReadAt(0, bytes, sizeof bytes));
            EXPECT_EQ(errno, c.error);
        }
        std::string said = testing::internal::GetCapturedStderr();
        if (*c.message == '\0') {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_EQ(said.rfind("dorovivi: disk.img: ", 0), 0u) << said;
            EXPECT_NE(said.find(c.message), std::string::npos) << said;
            EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
        }
        server.reset();
        file.server.reset();
        EXPECT_TRUE(Reaped(child));
    }
}

// What a parser that may open nothing itself gets from the program: what
// lies within its root's scope, as named, links followed; never a name that
// climbs out or only begins like the root, and never a device.
TEST(FileBroker, OpensOnlyWhatTheRootsScopeHolds)
{
    std::string top = MakeTempDir("dorovivi-broker"), drive = top + "/drive";
    ASSERT_EQ(mkdir(drive.c_str(), 0755), 0);
    mkdir((top + "/driveX").c_str(), 0755);
    for (const std::string &file : {drive + "/SYSTEM", top + "/outside", top + "/driveX/SYSTEM", drive + "/HKLM.reg"})
        WriteFile(file, "bytes");
    ASSERT_EQ(symlink((top + "/outside").c_str(), (drive + "/linked").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (drive + "/device").c_str()), 0);
    ASSERT_EQ(mkfifo((drive + "/fifo").c_str(), 0644), 0);
    const BrokerScope tree{drive, true}, export_{drive + "/HKLM.reg", false};
    struct Case {
        const BrokerScope &scope;
        std::string path;
        int error; // 0: opened
    };
    const Case cases[] = {
        {tree, drive + "/SYSTEM", 0},
        {tree, drive, 0},
        {tree, drive + "/./SYSTEM", 0},
        {tree, drive + "/linked", 0}, // a link the user laid in the root
        {tree, drive + "/fifo", 0},   // opened without blocking, and found no regular file
        {tree, drive + "/device", ENXIO},
        {tree, drive + "/../outside", EACCES},
        {tree, drive + "/SYSTEM/../../outside", EACCES},
        {tree, top + "/outside", EACCES},
        {tree, top + "/driveX/SYSTEM", EACCES},
        {tree, "/etc/passwd", EACCES},
        {tree, drive + "/missing", ENOENT},
        {export_, drive + "/HKLM.reg", 0},
        {export_, drive + "/SYSTEM", EACCES},
        {export_, drive + "/HKLM.reg/../SYSTEM", EACCES},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        errno = 0;
        int fd = OpenForChild(c.scope, c.path, false);
        EXPECT_EQ(fd >= 0 ? 0 : errno, c.error);
        if (fd >= 0)
            close(fd);
    }
    RemoveTree(top);
}

} // namespace
