#include "platform/posix/bitlocker/locked_secret.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

void WipeBytes(void *bytes, std::size_t size)
{
    volatile unsigned char *p = static_cast<volatile unsigned char *>(bytes);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

bool AllocateSecret(LockedSecret &secret, std::size_t size)
{
    ReleaseSecret(secret);
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t capacity = (size + page) / page * page;
    void *pages = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return false;
    // Both are best effort: a locked-memory limit of zero still reads the volume.
    mlock(pages, capacity);
    madvise(pages, capacity, MADV_DONTDUMP);
    secret.bytes = static_cast<unsigned char *>(pages);
    secret.size = size;
    secret.capacity = capacity;
    return true;
}

void CopySecret(LockedSecret &secret, const unsigned char *bytes, std::size_t size)
{
    std::memcpy(secret.bytes, bytes, size < secret.size ? size : secret.size);
}

void ReleaseSecret(LockedSecret &secret)
{
    if (secret.bytes == nullptr)
        return;
    WipeBytes(secret.bytes, secret.capacity);
    munlock(secret.bytes, secret.capacity);
    munmap(secret.bytes, secret.capacity);
    secret = LockedSecret();
}
