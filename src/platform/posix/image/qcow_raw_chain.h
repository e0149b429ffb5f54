// A qcow2 chain whose base is a raw file (qemu-img create -F raw -b ...).
// libqcow takes only qcow2 parents and reads no file whose parent it lacks,
// so this chain is walked here, cluster by cluster: the newest link that
// holds a cluster gives it, and the raw base gives what none holds.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct QcowRawChain;

// `fds` are the qcow2 links newest first, checked as the chain was opened;
// `raw` the base. Null with `problem` set when a link's L1 table cannot be
// read.
QcowRawChain *OpenQcowRawChain(const std::vector<int> &fds, int raw, std::string &problem);

// The disk's bytes at `offset`; the count read, -1 on error.
ssize_t ReadQcowRawChain(void *chain, std::uint64_t offset, char *buffer, std::size_t size);
