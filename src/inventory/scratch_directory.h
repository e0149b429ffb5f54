#pragma once

#include <string>

// A private directory for the runs' atom tables, made with mkdtemp in
// $TMPDIR or /tmp. False with one line on stderr when it cannot be made.
bool MakeScratchDirectory(std::string &path);

// Removes the directory and the files the runs left in it (tables, locks,
// half-written replacements); one line on stderr for what stays.
void RemoveScratchDirectory(const std::string &path);
