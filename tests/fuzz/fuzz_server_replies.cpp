// Any bytes as a serving child's replies: an image read through the page
// cache or in chunks, or a registry value asked of the parser, fails or
// comes back whole, never past its buffer, never hanging, and the child is
// always reaped.
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../fixtures/scripted_server.h"
#include "platform/posix/parser/remote_registry.h"
#include "platform/posix/root/image_file_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes choose the read (an odd first one: a value), the rest are the replies.
    if (data[0] & 1) {
        RemoteRegistry remote;
        remote.root = "fuzz";
        pid_t child = StartScriptedServer(std::string(data + 4, data + size), Then::Exit, 2000, remote.server);
        if (child < 0)
            std::abort();
        DWORD type = 0;
        std::string value;
        if (remote.FindValue("Key", "Name", type, value) && value.size() > kRemoteValueLargest + 1)
            std::abort();
        remote.KeyExists("Key");
        StopSandboxedServer(remote.server);
        if (waitpid(child, nullptr, WNOHANG) != -1 || errno != ECHILD)
            std::abort();
        return 0;
    }
    std::uint64_t at = (data[0] | data[1] << 8) * 61u;
    std::vector<unsigned char> buffer((data[2] | data[3] << 8) * 3u + 1);
    auto server = std::make_shared<ImageServer>();
    server->root = "fuzz.img";
    pid_t child = StartScriptedServer(std::string(data + 4, data + size), Then::Exit, 2000, server->sandboxed);
    if (child < 0)
        std::abort();
    ImageFileBytes(server, 0, 1u << 20).ReadAt(at, buffer.data(), buffer.size());
    server.reset();
    if (waitpid(child, nullptr, WNOHANG) != -1 || errno != ECHILD)
        std::abort();
    return 0;
}
