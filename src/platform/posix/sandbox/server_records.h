// What goes through a serving child's pipes: one fixed-size request, and a
// reply that is a run of records, the lines the child said on the way
// (line_diverter.h), then its answer.
#pragma once

#include <cstddef>
#include <cstdint>

// The most one answer may carry, and the text one request may.
constexpr std::uint32_t kServerReadLargest = 65536;
constexpr std::uint32_t kServerTextLargest = 2048;
// How many lines one reply, and the start, may carry before its answer.
constexpr std::size_t kServerLinesPerReply = 1024;
// How long the parent waits for one reply, and for the child to go at the end.
constexpr int kServerReplyMilliseconds = 20000;
constexpr int kServerStopMilliseconds = 2000;

struct ServerRequest {
    std::uint32_t op;       // what is asked, the caller's to number
    std::uint32_t file;     // which of the child's open files, where one is read
    std::uint64_t offset;   // bytes into it
    std::uint32_t size;     // at most kServerReadLargest bytes asked
    std::uint32_t textSize; // how much of `text` holds the question
    char text[kServerTextLargest];
};

// The answer to a request, followed by `got` bytes; `error` is 0 or an errno value.
struct ServerReplyHeader {
    std::int32_t error;
    std::uint32_t got;
};

// Each record of a reply: a line of LineKind `kind` of `size` bytes, the
// answer (kServerAnswer) with its header's fields, or a file the child asks
// its parent to open (kServerOpen: the path as its bytes, `error` 1 for a
// folder), whose descriptor comes back over the request socket.
constexpr std::uint32_t kServerAnswer = 3;
constexpr std::uint32_t kServerOpen = 5;
struct ServerRecordHeader {
    std::uint32_t kind;
    std::int32_t error;
    std::uint32_t size;
    std::uint32_t spare;
};

// What the parent reads from the pipe at once: a whole answer with its
// header, so that one read usually brings a reply.
constexpr std::size_t kServerReadBuffer = sizeof(ServerRecordHeader) + kServerReadLargest;

// What the last read from the pipe brought and is not yet taken.
struct ReplyBuffer {
    unsigned char bytes[kServerReadBuffer];
    std::size_t from = 0, to = 0;
};

static_assert(sizeof(ServerRequest) == 24 + kServerTextLargest,
              "the request goes through the pipe as it lies in memory");
static_assert(sizeof(ServerRecordHeader) == 16, "the record header likewise");

// In the child: fill `reply` and up to request.size bytes of `payload`
// (kServerReadLargest of room) for `request`.
typedef void (*ServeCall)(void *context, const ServerRequest &request, ServerReplyHeader &reply, void *payload);
