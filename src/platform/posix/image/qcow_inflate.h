// A compressed qcow2 cluster: raw deflate data (no zlib header), inflated
// through zlib, loaded on first use like the other readers.
#pragma once

#include <cstddef>

#include "platform/posix/base/fault.h"

// Inflates `packed` (`packedSize` bytes, possibly with trailing sector
// padding) into exactly `clusterSize` bytes at `cluster`. False with
// `fault` set when zlib is missing or the data does not fill the cluster.
bool InflateQcowCluster(const unsigned char *packed, std::size_t packedSize, unsigned char *cluster,
                        std::size_t clusterSize, Fault &fault);
