// Any bytes as a serving child's replies: an image read through the page
// cache or in chunks, or a registry value asked of the parser, fails or
// comes back whole, never past its buffer, never hanging, and the child is
// always reaped.
//
// The replies are the pipe's bytes, so the fuzzer writes them into it itself
// before the program reads, and ends it as a child that answers once and
// exits does. The child the program asks, kills and reaps is cat, spawned
// without a copy of this process: it drains the requests and ends with
// their pipe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/parser/remote_registry.h"
#include "platform/posix/root/image_file_bytes.h"

extern char **environ;

namespace {

// The largest input and then some: the whole script fits in the pipe.
const int PipeRoom = 1 << 18;

pid_t StartServer(const std::uint8_t *script, std::size_t size, SandboxedServer &server)
{
    int requests[2], replies[2];
    if (pipe2(requests, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0 ||
        fcntl(replies[1], F_SETPIPE_SZ, PipeRoom) < PipeRoom)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, requests[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>("cat"), nullptr};
    pid_t child = -1;
    int spawned = posix_spawn(&child, "/bin/cat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(requests[0]);
    bool written = size == 0 || write(replies[1], script, size) == static_cast<ssize_t>(size);
    close(replies[1]);
    if (spawned != 0 || !written)
        return -1;
    server = SandboxedServer();
    server.child = child;
    server.requests = requests[1];
    server.replies = replies[0];
    server.replyMilliseconds = 2000;
    return child;
}

void ExpectReaped(pid_t child)
{
    if (waitpid(child, nullptr, WNOHANG) != -1 || errno != ECHILD)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes choose the read (an odd first one: a value), the rest are the replies.
    if (data[0] & 1) {
        RemoteRegistry remote;
        remote.root = "fuzz";
        pid_t child = StartServer(data + 4, size - 4, remote.server);
        if (child < 0)
            std::abort();
        DWORD type = 0;
        std::string value;
        if (remote.FindValue("Key", "Name", type, value) && value.size() > kRemoteValueLargest + 1)
            std::abort();
        remote.KeyExists("Key");
        StopSandboxedServer(remote.server);
        ExpectReaped(child);
        return 0;
    }
    std::uint64_t at = (data[0] | data[1] << 8) * 61u;
    std::vector<unsigned char> buffer((data[2] | data[3] << 8) * 3u + 1);
    auto server = std::make_shared<ImageServer>();
    server->root = "fuzz.img";
    pid_t child = StartServer(data + 4, size - 4, server->sandboxed);
    if (child < 0)
        std::abort();
    ImageFileBytes(server, 0, 1u << 20).ReadAt(at, buffer.data(), buffer.size());
    server.reset();
    ExpectReaped(child);
    return 0;
}
