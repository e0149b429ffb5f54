// Every file a run reads as evidence is opened here, with one set of flags:
// read-only, never blocking on a FIFO or device, never made the controlling
// terminal. Each open is checked against the trace's file, so that a trace
// named as evidence under any path is never written.
#pragma once

#include <string>

// The descriptor, or -1 with errno set.
int OpenEvidenceFile(const std::string &path);
// A folder of evidence, opened to be listed.
int OpenEvidenceFolder(const std::string &path);

// In a child that may open no file itself, every evidence open goes to
// `opener` (its parent's broker); null: opened here.
typedef int (*EvidenceOpener)(const std::string &path, bool folder);
void OpenEvidenceThrough(EvidenceOpener opener);
bool EvidenceComesThroughBroker();

// Checks every descriptor this process holds against the trace's file: a
// reader library may have opened files by name that the run never saw.
void CheckHeldFilesAgainstTrace();
