// The serving child's parent side: reads come back whole through the page
// cache and the chunks, and a child that lies, stops or dies mid-reply makes
// every read fail, once said, never hangs, and leaves no child behind.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/base/error_line.h"
#include "platform/posix/root/image_file_bytes.h"
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
        {"a file asked of a parent that opens none", Header(0, 11, kServerOpen) + "/etc/passwd" + Header(0, 0),
         Then::Again, EIO, "reading the image failed;"},
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

// The outer child starts a server of its own before it gives up its rights,
// as the parser starts an image's reader, and answers with its pid.
SandboxedServer Inner;

void StartInner(void *)
{
    char record[16];
    StartSandboxedServer(Ready, ServePattern, nullptr, record, sizeof record, SandboxLimits{10, 20}, Inner);
}

void SayInner(void *, void *record) { std::memcpy(record, &Inner.child, sizeof Inner.child); }

TEST(SandboxedServer, AStoppedChildIsReapedHoweverItGoesAndLeavesNoneOfItsOwn)
{
    const struct { const char *what; Then then; bool linger; } cases[] = {
        {"ends at the end of its requests", Then::Again, false},
        {"already gone", Then::Exit, false},
        {"stays on", Then::Linger, true},
    };
    for (bool fdsLeft : {true, false}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (fdsLeft ? "" : ", no descriptor left for a pidfd"));
            SandboxedServer server;
            pid_t child = StartScriptedServer(Header(0, 0), c.then, 500, server);
            server.stopMilliseconds = 200;
            ServerReplyHeader reply;
            AskSandboxedServer(server, Counted(), reply, nullptr);
            struct rlimit was, none;
            getrlimit(RLIMIT_NOFILE, &was);
            none = was;
            none.rlim_cur = static_cast<rlim_t>(dup(0));
            close(static_cast<int>(none.rlim_cur));
            if (!fdsLeft)
                setrlimit(RLIMIT_NOFILE, &none);
            StopSandboxedServer(server);
            setrlimit(RLIMIT_NOFILE, &was);
            EXPECT_TRUE(Reaped(child));
            EXPECT_EQ(server.ended.end == SandboxEnd::TimedOut, c.linger);
        }
    }
    // Orphans come here, where a zombie is seen, not to init.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    SandboxedServer outer;
    pid_t inner = -1;
    SandboxLimits limits{10, 20};
    limits.beforeLockdown = StartInner;
    ASSERT_EQ(StartSandboxedServer(SayInner, ServePattern, nullptr, &inner, sizeof inner, limits, outer).end,
              SandboxEnd::Answered);
    ASSERT_GT(inner, 0);
    StopSandboxedServer(outer);
    EXPECT_TRUE(kill(inner, 0) < 0 && errno == ESRCH) << "the outer child's own server outlived it";
    waitpid(inner, nullptr, 0);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

} // namespace
