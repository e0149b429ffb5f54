// SHA-256, so that a trace names each registry file by the digest of its
// bytes as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/base/file_bytes.h"

struct Sha256 {
    std::uint32_t state[8];
    std::uint64_t length; // bytes added so far
    unsigned char block[64];
    std::size_t used; // bytes waiting in `block`
};

void Sha256Start(Sha256 &hash);
void Sha256Add(Sha256 &hash, const void *bytes, std::size_t size);
// The digest as 64 lower-case hex digits; `hash` is spent.
std::string Sha256Finish(Sha256 &hash);

// What a trace says of a file: its size and digest, `read` false where it
// could not be opened or read.
struct FileDigest {
    bool read = false;
    std::uint64_t size = 0;
    std::string sha256;
};

// The digest of the whole file, as long as it says it is; false on a read error.
bool Sha256OfFile(const FileBytes &file, std::string &hex);
