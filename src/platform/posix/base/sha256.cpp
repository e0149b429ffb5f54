#include "platform/posix/base/sha256.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"

namespace {

const std::uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

const std::uint32_t InitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t Rotate(std::uint32_t x, int n)
{
    return x >> n | x << (32 - n);
}

void Compress(std::uint32_t (&state)[8], const unsigned char *block)
{
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = ReadBe32(block + 4 * t);
    for (int t = 16; t < 64; ++t) {
        std::uint32_t s0 = Rotate(w[t - 15], 7) ^ Rotate(w[t - 15], 18) ^ w[t - 15] >> 3;
        std::uint32_t s1 = Rotate(w[t - 2], 17) ^ Rotate(w[t - 2], 19) ^ w[t - 2] >> 10;
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        std::uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                           RoundConstants[t] + w[t];
        std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

} // namespace

void Sha256Start(Sha256 &hash)
{
    std::memcpy(hash.state, InitialState, sizeof hash.state);
    hash.length = 0;
    hash.used = 0;
}

void Sha256Add(Sha256 &hash, const void *bytes, std::size_t size)
{
    const unsigned char *next = static_cast<const unsigned char *>(bytes);
    hash.length += size;
    while (size > 0) {
        std::size_t take = sizeof hash.block - hash.used < size ? sizeof hash.block - hash.used : size;
        std::memcpy(hash.block + hash.used, next, take);
        hash.used += take;
        next += take;
        size -= take;
        if (hash.used == sizeof hash.block) {
            Compress(hash.state, hash.block);
            hash.used = 0;
        }
    }
}

std::string Sha256Finish(Sha256 &hash)
{
    // A one bit, zeros to 56 bytes into a block, then the length in bits.
    std::uint64_t bits = hash.length * 8;
    unsigned char pad[72] = {0x80};
    std::size_t padding = (hash.used < 56 ? 56 : 120) - hash.used;
    WriteBe32(pad + padding, static_cast<std::uint32_t>(bits >> 32));
    WriteBe32(pad + padding + 4, static_cast<std::uint32_t>(bits));
    Sha256Add(hash, pad, padding + 8);
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint32_t word : hash.state) {
        unsigned char bytes[4];
        WriteBe32(bytes, word);
        for (unsigned char byte : bytes) {
            hex += Digits[byte >> 4];
            hex += Digits[byte & 15];
        }
    }
    return hex;
}

bool Sha256OfFile(const FileBytes &file, std::string &hex)
{
    Sha256 hash;
    Sha256Start(hash);
    static unsigned char chunk[1 << 16];
    std::uint64_t size = file.Size();
    for (std::uint64_t at = 0; at < size;) {
        std::size_t part = size - at < sizeof chunk ? static_cast<std::size_t>(size - at) : sizeof chunk;
        if (!file.ReadAt(at, chunk, part))
            return false;
        Sha256Add(hash, chunk, part);
        at += part;
    }
    hex = Sha256Finish(hash);
    return true;
}
