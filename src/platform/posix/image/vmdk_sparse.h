// A hosted sparse VMDK extent read through its own grain directory and
// tables, so that a zeroed grain (a table entry of 1) reads as zeros and an
// absent one falls through to the parent: libvmdk 20210807 answers a zeroed
// grain from sector 1 of the file, the embedded descriptor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"

struct VmdkSparseExtent {
    int fd;
    std::uint64_t fileSize;
    std::uint64_t capacity;   // bytes of disk the extent holds
    std::uint64_t grainBytes;
    std::uint32_t perTable;   // entries per grain table
    bool zeroedGrains;        // whether an entry of 1 means a zeroed grain
    std::vector<std::uint32_t> directory;
    std::map<std::uint64_t, std::vector<std::uint32_t>> tables; // by directory index, read on first use
};

enum class VmdkExtentKind { Sparse, Other, Damaged };

// Reads the header and grain directory of the extent open as `fd`. Other
// where the file is not a hosted sparse extent this program reads itself
// (no such header, or stream-optimized); Damaged with `fault` on `name`.
VmdkExtentKind ReadVmdkSparseExtent(int fd, const std::string &name, VmdkSparseExtent &extent, Fault &fault);

enum class VmdkGrain { Data, Zeroed, Absent };

// The grain that holds byte `offset` (below the capacity) of the extent: its
// state, for Data the file offset of that byte (`at`), and how many bytes
// from `offset` share the answer (`run`, to the grain's end). False where
// its grain table cannot be read or the grain lies past the end of the file.
bool FindVmdkGrain(VmdkSparseExtent &extent, std::uint64_t offset, VmdkGrain &state, std::uint64_t &at,
                   std::uint64_t &run);
