// A qcow2 image and its backing chain, read here cluster by cluster: the
// newest link that holds a cluster gives it (its data, its compressed data
// inflated, or zeros for a version 3 zero cluster), and the raw base, where
// there is one, gives what none holds; else it reads as zeros. libqcow opens
// and checks the links but is not read through: it answers a version 3 zero
// cluster from offset 0 of the file, and a read that starts in a cluster a
// child lacks from the parent past that cluster's end.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"

struct QcowChain;

// `fds` are the qcow2 links newest first, checked as the chain was opened;
// `raw` the raw base, or -1 when the oldest link has no backing file. The
// chain takes them all, and closes them when it cannot be read. Null with
// `fault` set when a link's L1 table cannot be read.
QcowChain *OpenQcowChain(const std::vector<int> &fds, int raw, Fault &fault);

// Closes the chain's files and frees it.
void CloseQcowChain(void *chain);

// The disk's bytes at `offset`; the count read, -1 on error.
ssize_t ReadQcowChain(void *chain, std::uint64_t offset, char *buffer, std::size_t size);
