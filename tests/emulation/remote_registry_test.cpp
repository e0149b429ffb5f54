// The program's side of the parser's pipe: a value comes back whole, in
// parts if need be, and a child that lies about one is killed, said once,
// and leaves the empty registry's answers.
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/parser/parser_protocol.h"
#include "platform/posix/parser/remote_registry.h"
#include "scripted_server.h"

namespace {

std::string Answer(std::int32_t error, const std::string &payload)
{
    ServerRecordHeader header = {kServerAnswer, error, static_cast<std::uint32_t>(payload.size()), 0};
    return std::string(reinterpret_cast<const char *>(&header), sizeof header) + payload;
}

std::string Value(std::uint32_t type, std::uint64_t total, const std::string &part)
{
    ValueAnswer answer = {type, 0, total};
    return Answer(0, std::string(reinterpret_cast<const char *>(&answer), sizeof answer) + part);
}

TEST(RemoteRegistry, ValuesComeWholeAndALyingChildIsSaidOnce)
{
    const char *gone = "dorovivi: drive: reading the drive failed; it may be damaged\n";
    const struct {
        const char *what;
        std::string script;
        Then then;
        bool found;
        std::string data;     // what FindValue gives, where it finds the value
        std::string said;     // on stderr, over two questions
    } cases[] = {
        {"whole", Value(1, 3, std::string("ab\0", 3)), Then::Again, true, std::string("ab\0", 3), ""},
        {"asked once: kept, though the child has gone since", Value(1, 3, std::string("ab\0", 3)), Then::Exit, true,
         std::string("ab\0", 3), ""},
        {"a string without its NUL", Value(1, 2, "ab"), Then::Again, true, std::string("ab\0", 3), ""},
        {"in parts, each from where the last ended", Value(3, 6, "abc"), Then::Again, true, "abcabc", ""},
        {"not there", Answer(ENOENT, ""), Then::Again, false, "", ""},
        {"shorter than its header", Answer(0, "abcd"), Then::Again, false, "", gone},
        {"more than its whole", Value(3, 2, "abc"), Then::Again, false, "", gone},
        {"a part that does not move", Value(3, 6, ""), Then::Again, false, "", gone},
        {"larger than any value taken", Value(3, kRemoteValueLargest + 1, "abc"), Then::Again, false, "", gone},
        {"killed mid-reply", Answer(0, std::string(100, 'x')).substr(0, 18), Then::Die, false, "",
         "dorovivi: drive: reading the drive failed (Terminated); it may be damaged\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RemoteRegistry remote;
        remote.root = "drive";
        remote.what = "the drive";
        pid_t child = StartScriptedServer(c.script, c.then, 2000, remote.server);
        ASSERT_GT(child, 0);
        testing::internal::CaptureStderr();
        for (int i = 0; i < 2; ++i) {
            DWORD type = 0;
            std::string data = "stale";
            EXPECT_EQ(remote.FindValue("Key", "Name", type, data), c.found);
            EXPECT_EQ(c.found ? data : "", c.data);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said);
        StopSandboxedServer(remote.server);
        EXPECT_TRUE(waitpid(child, nullptr, WNOHANG) < 0 && errno == ECHILD);
    }
}

TEST(RemoteRegistry, AKeyIsAskedOnceAndReadsAsMissingOnceTheChildHasGone)
{
    RemoteRegistry remote;
    remote.root = "drive";
    remote.what = "the drive";
    pid_t child = StartScriptedServer(Answer(0, ""), Then::Again, 2000, remote.server);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(remote.KeyExists("Key"));
    kill(child, SIGKILL);
    EXPECT_TRUE(remote.KeyExists("Key")) << "asked once: the answer is kept";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(remote.KeyExists("Other"));
    EXPECT_FALSE(remote.KeyExists("Key")) << "the empty registry's answer, once the child has gone";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dorovivi: drive: reading the drive failed (Killed); it may be damaged\n");
}

} // namespace
