// Any bytes as the image child's replies: a read through the page cache or
// in chunks fails or comes back whole, never past its buffer, never hanging,
// and the child is always reaped.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/posix/root/image_file_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes choose the read: where, and how long.
    std::uint64_t at = (data[0] | data[1] << 8) * 61u;
    std::size_t length = (data[2] | data[3] << 8) * 3u + 1;
    int requests[2], replies[2];
    if (pipe2(requests, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0)
        std::abort();
    pid_t child = fork();
    if (child == 0) {
        close(requests[1]);
        close(replies[0]);
        std::size_t done = 4;
        while (done < size) {
            ssize_t wrote = write(replies[1], data + done, size - done);
            if (wrote <= 0)
                _exit(0);
            done += static_cast<std::size_t>(wrote);
        }
        _exit(0);
    }
    close(requests[0]);
    close(replies[1]);
    auto server = std::make_shared<ImageServer>();
    server->root = "fuzz.img";
    server->sandboxed = SandboxedServer{child, requests[1], replies[0], 2000, SandboxOutcome{}};
    ImageFileBytes file(server, 0, 1u << 20);
    std::vector<unsigned char> buffer(length);
    file.ReadAt(at, buffer.data(), buffer.size());
    server.reset();
    file.server.reset();
    if (waitpid(child, nullptr, WNOHANG) != -1 || errno != ECHILD)
        std::abort();
    return 0;
}
