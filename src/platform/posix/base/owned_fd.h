// A descriptor closed when its owner goes out of scope, so that no early
// return leaks it. Release() hands it on to whoever closes it next.
#pragma once

#include <unistd.h>

struct OwnedFd {
    int fd = -1;

    OwnedFd() = default;
    explicit OwnedFd(int opened) : fd(opened) {}
    OwnedFd(const OwnedFd &) = delete;
    OwnedFd &operator=(const OwnedFd &) = delete;
    OwnedFd(OwnedFd &&other) noexcept : fd(other.Release()) {}
    OwnedFd &operator=(OwnedFd &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ~OwnedFd() { Reset(-1); }

    bool Valid() const { return fd >= 0; }

    int Release()
    {
        int held = fd;
        fd = -1;
        return held;
    }

    // Closes what is held and takes `opened`; the close's own result, 0 where nothing was held.
    int Reset(int opened = -1)
    {
        int closed = fd >= 0 ? close(fd) : 0;
        fd = opened;
        return closed;
    }
};
