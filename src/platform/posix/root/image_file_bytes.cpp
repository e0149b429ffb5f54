#include "platform/posix/root/image_file_bytes.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/base/error_line.h"

namespace {

// Reads past this size go straight to the child in its largest chunks: a
// whole hive or log read a page at a time would cost sixteen times the trips.
const std::size_t CachedReadLargest = 2 * kImagePageSize;

// Exactly `size` bytes of `file` at `at` from the child, or false.
bool Fetch(ImageServer &server, std::uint32_t file, std::uint64_t at, unsigned char *buffer, std::uint32_t size)
{
    static ServerRequest request;
    request.file = file;
    request.size = size;
    request.offset = at;
    ServerReplyHeader reply = {0, 0};
    if (server.serveHere != nullptr) {
        static unsigned char served[kServerReadLargest];
        server.serveHere(server.serveContext, request, reply, served);
        std::memcpy(buffer, served, reply.got < size ? reply.got : size);
        return reply.error == 0 && reply.got == size;
    }
    // Said once, when the child goes; not for a child stopped at exit.
    bool running = server.sandboxed.child >= 0;
    if (!AskSandboxedServer(server.sandboxed, request, reply, buffer)) {
        if (running)
            PrintErrorLine(server.root + ": " + ChildFailure(server.sandboxed.ended, "the image"));
        errno = EIO;
        return false;
    }
    if (reply.error != 0) {
        errno = reply.error;
        return false;
    }
    if (reply.got != size) {
        errno = 0; // the file is shorter than its entry says
        return false;
    }
    return true;
}

const ImagePage *Page(ImageServer &server, std::uint32_t file, std::uint64_t index, std::uint64_t fileSize)
{
    ImagePage *oldest = &server.pages[0];
    for (ImagePage &page : server.pages) {
        if (page.filled && page.file == file && page.index == index) {
            page.used = ++server.clock;
            return &page;
        }
        if (!page.filled || (oldest->filled && page.used < oldest->used))
            oldest = &page;
    }
    std::uint64_t start = index * kImagePageSize;
    std::size_t length = fileSize - start < kImagePageSize ? static_cast<std::size_t>(fileSize - start) : kImagePageSize;
    oldest->filled = false;
    if (!Fetch(server, file, start, oldest->bytes, static_cast<std::uint32_t>(length)))
        return nullptr;
    oldest->filled = true;
    oldest->file = file;
    oldest->index = index;
    oldest->length = length;
    oldest->used = ++server.clock;
    return oldest;
}

} // namespace

bool ImageFileBytes::ReadAt(std::uint64_t at, void *buffer, std::size_t length) const
{
    if (at > size || length > size - at) {
        errno = 0;
        return false;
    }
    unsigned char *bytes = static_cast<unsigned char *>(buffer);
    if (length > CachedReadLargest) {
        for (std::size_t done = 0; done < length;) {
            std::size_t part = length - done < kServerReadLargest ? length - done : kServerReadLargest;
            if (!Fetch(*server, file, at + done, bytes + done, static_cast<std::uint32_t>(part)))
                return false;
            done += part;
        }
        return true;
    }
    for (std::size_t done = 0; done < length;) {
        std::uint64_t position = at + done;
        const ImagePage *page = Page(*server, file, position / kImagePageSize, size);
        if (page == nullptr)
            return false;
        std::size_t within = static_cast<std::size_t>(position % kImagePageSize);
        std::size_t part = page->length - within < length - done ? page->length - within : length - done;
        std::memcpy(bytes + done, page->bytes + within, part);
        done += part;
    }
    return true;
}
