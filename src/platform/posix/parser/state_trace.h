// The trace's state event: which state of the installation the run reads
// (DOROVIVI_STATE), when it was taken and by what account, and its files.
#pragma once

#include "platform/posix/base/sha256.h"
#include "platform/posix/root/installation.h"

// `found`'s registry files as they are read (a cabinet's member, extracted),
// SYSTEM's digest first, then SOFTWARE's.
void TraceState(const Installation &found, const FileDigest digests[2]);
