// Reads and writes on descriptors that carry on through EINTR and short
// counts, and the path that names an open descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// All `size` bytes, or false with errno set (a write that takes nothing
// fails with EIO).
bool WriteAll(int fd, const void *bytes, std::size_t size);

// Up to `capacity` bytes, until the end of the file; false on a read error.
bool ReadUpTo(int fd, void *buffer, std::size_t capacity, std::size_t &size);

// The same from byte `at`, leaving the descriptor's offset where it is.
bool ReadUpToAt(int fd, void *buffer, std::size_t capacity, std::uint64_t at, std::size_t &size);

// All `size` bytes from byte `at`, or false where the file ends before them
// or the read fails.
bool ReadExactlyAt(int fd, void *buffer, std::size_t size, std::uint64_t at);

// "/proc/self/fd/N": a library that opens files by name reaches the
// descriptor's bytes through it, also where they live only in memory.
std::string DescriptorPath(int fd);
