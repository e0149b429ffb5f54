// The trace's state event: which state of the installation the run reads
// (DOROVIVI_STATE), when it was taken and by what account, and its files.
#pragma once

#include "platform/posix/root/installation.h"

// `found`'s registry files as they are read (a cabinet's member, extracted).
void TraceState(const Installation &found);
